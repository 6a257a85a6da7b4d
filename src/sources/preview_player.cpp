// The preview player: loading, playing, pausing and stopping the preview graph,
// its buttons and the playback clock's tick.
#include <cinttypes>
#include <cstdio>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "media/preview_graph.h"
#include "platform/desktop.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/event_loop.h"

namespace {

std::string ClockText(int64_t seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, (seconds % 3600) / 60,
                seconds % 60);
  return buf;
}

}  // namespace

void TCommonLib::SeekToMilliseconds(media::PreviewGraph& graph, int64_t ms) {
  try {
    graph.SeekToMilliseconds(ms);
  } catch (const std::exception&) {
    // A graph that cannot seek leaves the position where it is.
  }
}

namespace {

// Play and Pause differ only in the graph call and the play flag; a failure
// brings the logo back.
void RunOrPause(Program& program, bool& is_playing, bool run) {
  media::PreviewGraph& graph = program.previewGraph();
  TFrmMainForm& form = program.MainForm();
  if (!graph.Active()) return;
  try {
    if (run)
      graph.Run();
    else
      graph.Pause();
    is_playing = run;
    form.panLogo.Hide();
  } catch (const std::exception&) {
    form.panLogo.Show();
  }
}

}  // namespace

void TCustomProc::SyncScreenSaver() {
  if (!IsPlaying)
    screen_on_.reset();
  else if (!screen_on_)
    screen_on_ = program_.desktop().KeepScreenOn(platform::kPreviewInhibitReason);
}

void TCustomProc::PreviewPlay() {
  RunOrPause(program_, IsPlaying, true);
  SyncScreenSaver();
}

void TCustomProc::PreviewPause() {
  RunOrPause(program_, IsPlaying, false);
  SyncScreenSaver();
}

void TCustomProc::PreviewStop() {
  media::PreviewGraph& graph = program_.previewGraph();
  TFrmMainForm& form = program_.MainForm();
  if (!graph.Active()) return;
  try {
    graph.Stop();
    graph.SetActive(false);
    graph.Clear();
    program_.CommonLib().PreviewFile.clear();
    form.pnlCurTime.SetCaption(ClockText(0));
    IsPlaying = false;
    form.panLogo.Show();
    form.dstrckbrMainform.SetPosition(0);
    form.pbPlayState.SetPosition(0);
  } catch (const std::exception&) {
    form.panLogo.Show();
    form.pbPlayState.SetPosition(0);
  }
  SyncScreenSaver();
}

void TCustomProc::PreviewOpenAndPlay(const std::string& path) {
  media::PreviewGraph& graph = program_.previewGraph();
  TFrmMainForm& form = program_.MainForm();
  TCommonLib& lib = program_.CommonLib();
  try {
    graph.SetActive(false);
    graph.Clear();
    if (graph.Active()) return;
    graph.SetActive(true);

    bool failed = false;
    int result = 0;
    try {
      // The file counts as the one in the preview while it loads: loading
      // handles events, and a reload of the trim bar meanwhile (the grid's
      // key-up of the Ctrl+P that started it) must not stop it.
      lib.PreviewFile = path;
      result = graph.RenderFile(path);
    } catch (const std::exception&) {
      lib.PreviewFile.clear();
      failed = true;
    }
    if (failed || result != 0) {
      program_.WriteLog("Playing Video error.");
      graph.Clear();
      return;
    }

    try {
      PreviewPause();
      PreviewPlay();
      // A graph that would not run has shown the logo; calling it playing would
      // leave Play dead until a Pause.
      if (graph.GetState() != media::PreviewGraph::State::Running) return;
      program_.loop().Wait(program_.timing().preview_start_ms);
      program_.loop().ProcessEvents();
      if (form.TrimBarReady) TCommonLib::SeekToMilliseconds(graph, int64_t{form.StartMarkSeconds} * 1000);
      IsPlaying = true;
      SyncScreenSaver();
      form.panLogo.Hide();
    } catch (const std::exception&) {
      form.panLogo.Show();
    }
  } catch (const std::exception&) {
    // A preview that cannot be loaded leaves the list as it is.
  }
}

void TFrmMainForm::btnPlayClick() {
  TCustomProc& proc = program_.CustomProc();
  if (!program_.CommonLib().PreviewFile.empty()) {
    // Play resumes where the graph stands.
    if (!proc.IsPlaying) proc.PreviewPlay();
    return;
  }
  // Each selected row in turn, so the last one ends up playing.
  for (int row : dxTreeSourceFileInfo.SelectedRows())
    proc.PreviewOpenAndPlay(dxTreeSourceFileInfo.Cell(row, sources::dxtrlSourceFileName));
}

void TFrmMainForm::btnPauseClick() {
  TCustomProc& proc = program_.CustomProc();
  if (!program_.CommonLib().PreviewFile.empty() && proc.IsPlaying) proc.PreviewPause();
}

void TFrmMainForm::btnStopClick() { program_.CustomProc().PreviewStop(); }

void TFrmMainForm::dstrckbrMainformTimer(uint32_t current_pos, uint32_t stop_pos) {
  pbPlayState.SetRange(dstrckbrMainform.Min(), dstrckbrMainform.Max());
  pbPlayState.SetPosition(dstrckbrMainform.Position());
  media::PreviewGraph& graph = program_.previewGraph();
  int64_t seconds = graph.CurrentPosition() / 10000000;
  if (seconds < 0) seconds = 0;
  pnlCurTime.SetCaption(ClockText(seconds));
  if (pnlCurTime.Caption() == PreviewStopText) {
    // The end mark rewinds to the beginning of the file, not to the start mark.
    TCommonLib::SeekToMilliseconds(graph, 0);
    program_.CustomProc().PreviewPause();
  }
  if (current_pos >= stop_pos) {
    TCommonLib::SeekToMilliseconds(graph, 0);
    program_.CustomProc().PreviewStop();
  }
}
