// The preview player: loading, playing, pausing and stopping the preview graph,
// its buttons and the playback clock's tick.
#include "sources/preview_player.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "media/playback_clock.h"
#include "media/preview_graph.h"
#include "platform/desktop.h"
#include "ui/event_loop.h"
#include "ui/models.h"
#include "ui/source_grid.h"
#include "ui/timing.h"

namespace {

std::string ClockText(int64_t seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, (seconds % 3600) / 60,
                seconds % 60);
  return buf;
}

// Play and Pause differ only in the graph call and the play flag; a failure
// brings the logo back.
void RunOrPause(sources::Preview& preview, bool run) {
  media::PreviewGraph& graph = preview.graph;
  if (!graph.Active()) return;
  try {
    if (run)
      graph.Run();
    else
      graph.Pause();
    preview.is_playing = run;
    preview.logo.Hide();
  } catch (const std::exception&) {
    preview.logo.Show();
  }
}

}  // namespace

namespace sources {

void SeekToMilliseconds(media::PreviewGraph& graph, int64_t ms) {
  try {
    graph.SeekToMilliseconds(ms);
  } catch (const std::exception&) {
    // A graph that cannot seek leaves the position where it is.
  }
}

void SyncScreenSaver(Preview& preview) {
  if (!preview.is_playing)
    preview.screen_on.reset();
  else if (!preview.screen_on)
    preview.screen_on = preview.desktop.KeepScreenOn(platform::kPreviewInhibitReason);
}

void PreviewPlay(Preview& preview) {
  RunOrPause(preview, true);
  SyncScreenSaver(preview);
}

void PreviewPause(Preview& preview) {
  RunOrPause(preview, false);
  SyncScreenSaver(preview);
}

void PreviewStop(Preview& preview) {
  media::PreviewGraph& graph = preview.graph;
  if (!graph.Active()) return;
  try {
    graph.Stop();
    graph.SetActive(false);
    graph.Clear();
    preview.file.clear();
    preview.clock_text.SetCaption(ClockText(0));
    preview.is_playing = false;
    preview.logo.Show();
    preview.clock.SetPosition(0);
    preview.progress.SetPosition(0);
  } catch (const std::exception&) {
    preview.logo.Show();
    preview.progress.SetPosition(0);
  }
  SyncScreenSaver(preview);
}

// A preview that fails says so under the trim bar, until the bar shows
// another row, and in the log.
static void ShowPreviewFailure(Preview& preview, std::string reason) {
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
  preview.log("Playing Video error.");
  preview.trim_bar.SetCaption(kPreviewFailurePrefix + reason);
}

void PreviewOpenAndPlay(Preview& preview, const std::string& path) {
  media::PreviewGraph& graph = preview.graph;
  try {
    graph.SetActive(false);
    graph.Clear();
    if (graph.Active()) return;
    graph.SetActive(true);

    std::string failure;
    int result = 0;
    try {
      // The file counts as the one in the preview while it loads: loading
      // handles events, and a reload of the trim bar meanwhile (the grid's
      // key-up of the Ctrl+P that started it) must not stop it.
      preview.file = path;
      result = graph.RenderFile(path);
      if (result != 0) failure = "it holds no picture or sound the player can show";
    } catch (const std::exception& error) {
      preview.file.clear();
      failure = error.what();
      if (failure.empty()) failure = "the player cannot open it";
    }
    if (!failure.empty()) {
      ShowPreviewFailure(preview, failure);
      graph.Clear();
      return;
    }

    try {
      PreviewPause(preview);
      PreviewPlay(preview);
      // A graph that would not run has shown the logo; calling it playing would
      // leave Play dead until a Pause.
      if (graph.GetState() != media::PreviewGraph::State::Running) {
        ShowPreviewFailure(preview, "the player would not start it");
        return;
      }
      preview.loop.Wait(preview.timing.preview_start_ms);
      preview.loop.ProcessEvents();
      if (preview.trim_bar_ready) {
        SeekToMilliseconds(graph, int64_t{preview.start_mark_seconds} * 1000);
        // The clock ticks only once a second: until then it must tell where the
        // picture on screen is, not where the file begins.
        preview.clock_text.SetCaption(ClockText(std::max<int64_t>(graph.CurrentPosition() / 10000000, 0)));
      }
      preview.is_playing = true;
      SyncScreenSaver(preview);
      preview.logo.Hide();
    } catch (const std::exception&) {
      preview.logo.Show();
    }
  } catch (const std::exception&) {
    // A preview that cannot be loaded leaves the list as it is.
  }
}

void PlayClicked(PreviewHost& host, const std::string& preview_file, bool is_playing, const ui::SourceGrid& grid) {
  if (!preview_file.empty()) {
    // Play resumes where the graph stands.
    if (!is_playing) host.Play();
    return;
  }
  // Each selected row in turn, so the last one ends up playing.
  for (int row : grid.SelectedRows()) host.OpenAndPlay(grid.Cell(row, ui::kColPath));
}

void PauseClicked(PreviewHost& host, const std::string& preview_file, bool is_playing) {
  if (!preview_file.empty() && is_playing) host.Pause();
}

void ClockTick(PreviewHost& host, media::PreviewGraph& graph, const media::PlaybackClock& clock,
               ui::ProgressBar& progress, Panel& clock_text, const std::string& stop_text, uint32_t current_pos,
               uint32_t stop_pos) {
  progress.SetRange(clock.Min(), clock.Max());
  progress.SetPosition(clock.Position());
  int64_t seconds = graph.CurrentPosition() / 10000000;
  if (seconds < 0) seconds = 0;
  clock_text.SetCaption(ClockText(seconds));
  if (clock_text.Caption() == stop_text) {
    // The end mark rewinds to the beginning of the file, not to the start mark.
    SeekToMilliseconds(graph, 0);
    host.Pause();
  }
  if (current_pos >= stop_pos) {
    SeekToMilliseconds(graph, 0);
    host.Stop();
  }
}

}  // namespace sources
