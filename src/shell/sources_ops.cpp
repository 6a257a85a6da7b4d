// The controllers' and the main window's side of the source list, the trim bar
// and the preview player: each hands the sources layer what it acts on.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/helpers.h"
#include "media/duration_probe.h"
#include "media/preview_graph.h"
#include "platform/desktop.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "sources/init_file_form.h"
#include "sources/preview_player.h"
#include "sources/source_list.h"
#include "sources/trim_editing.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"
#include "ui/open_dialog.h"
#include "ui/source_grid.h"

namespace {

sources::TrimBar TrimBarOf(TFrmMainForm& form, Program& program) {
  return {form.Panel1,          form.Panel2,
          form.Splitter1,       form.Splitter2,
          form.Panel3,          TFrmMainForm::kTrimBarWidth,
          form.TrimBarReady,    form.StartMarkSeconds,
          form.PreviewStopText, form.TrimDurationSeconds,
          form.TrimRowId,       form.dxTreeSourceFileInfo,
          program.loop(),       program.previewGraph()};
}

sources::Preview PreviewOf(Program& program, bool& is_playing, std::unique_ptr<platform::Hold>& screen_on) {
  TFrmMainForm& form = program.MainForm();
  return {program.previewGraph(),
          form.panLogo,
          form.pnlCurTime,
          form.pbPlayState,
          form.dstrckbrMainform,
          is_playing,
          program.CommonLib().PreviewFile,
          program.desktop(),
          screen_on,
          program.loop(),
          program.timing(),
          [&program](const std::string& message) { program.WriteLog(message); },
          form.TrimBarReady,
          form.StartMarkSeconds,
          form.Panel1};
}

// The player's buttons and clock go through the controller's operations.
class ControllerPreviewHost : public sources::PreviewHost {
 public:
  explicit ControllerPreviewHost(TCustomProc& proc) : proc_(proc) {}
  void Play() override { proc_.PreviewPlay(); }
  void Pause() override { proc_.PreviewPause(); }
  void Stop() override { proc_.PreviewStop(); }
  void OpenAndPlay(const std::string& path) override { proc_.PreviewOpenAndPlay(path); }

 private:
  TCustomProc& proc_;
};

}  // namespace

// --- TCommonLib: the source list and the preview's seek. ---

bool TCommonLib::AcceptedSourceExtension(const std::string& path) {
  return sources::AcceptedSourceExtension(path);
}

int64_t TCommonLib::ProbeDurationSeconds(const std::string& path, const media::DurationProbe& probe) {
  return sources::ProbeDurationSeconds(path, probe);
}

int64_t TCommonLib::SourceFileSize(const std::string& path) {
  return sources::SourceFileSize(path);
}

void TCommonLib::AddSourceFiles(ui::SourceGrid& grid, const std::vector<std::string>& paths,
                                const sources::AddProgress& progress) const {
  sources::AddSourceFiles(
      grid, paths, [this](const std::string& path) { ShowCodecError(path); },
      [this] { program_.CustomProc().LoadTrimBar(); }, progress);
}

std::vector<std::string> TCommonLib::SelectSourceFiles(ui::OpenDialog& dialog, bool unique,
                                                       const std::string& initial_folder) const {
  return sources::SelectSourceFiles(dialog, program_.dialogs(), unique, initial_folder);
}

std::vector<std::string> TCommonLib::UniqueFileList(const std::vector<std::string>& paths) {
  return sources::UniqueFileList(paths);
}

sources::RemovedRows TCommonLib::RemoveSelectedRows(ui::SourceGrid& grid) const {
  return sources::RemoveSelectedRows(grid, program_.loop());
}

bool TCommonLib::ClearRows(ui::SourceGrid& grid) {
  return sources::ClearRows(grid);
}

void TCommonLib::ShowCodecError(const std::string& path) const {
  program_.dialogs().ShowCodecError(path);
}

void TCommonLib::SeekToMilliseconds(media::PreviewGraph& graph, int64_t ms) {
  sources::SeekToMilliseconds(graph, ms);
}

// --- TCustomProc: the trim bar and the preview player. ---

int64_t TCustomProc::RowCutSeconds(const std::string& path) const {
  return sources::RowCutSeconds(program_.MainForm().dxTreeSourceFileInfo, path);
}

void TCustomProc::LoadTrimBar() {
  sources::TrimBar bar = TrimBarOf(program_.MainForm(), program_);
  sources::LoadTrimBar(bar, program_.CommonLib().PreviewFile, [this] { PreviewStop(); });
}

void TCustomProc::SyncScreenSaver() {
  sources::Preview preview = PreviewOf(program_, IsPlaying, screen_on_);
  sources::SyncScreenSaver(preview);
}

void TCustomProc::PreviewPlay() {
  sources::Preview preview = PreviewOf(program_, IsPlaying, screen_on_);
  sources::PreviewPlay(preview);
}

void TCustomProc::PreviewPause() {
  sources::Preview preview = PreviewOf(program_, IsPlaying, screen_on_);
  sources::PreviewPause(preview);
}

void TCustomProc::PreviewStop() {
  sources::Preview preview = PreviewOf(program_, IsPlaying, screen_on_);
  sources::PreviewStop(preview);
}

void TCustomProc::PreviewOpenAndPlay(const std::string& path) {
  sources::Preview preview = PreviewOf(program_, IsPlaying, screen_on_);
  sources::PreviewOpenAndPlay(preview, path);
}

// --- TFrmMainForm: the list's, the trim bar's and the player's handlers. ---

void TFrmMainForm::InitSourceList() {
  const ui::Timing& timing = program_.timing();
  ui::EventLoop& loop = program_.loop();

  dlgOpenSourceFile.Filter = sources::OpenDialogFilter();
  dlgOpenSourceFile.MultiSelect = true;

  dxTreeSourceFileInfo.OnEdited = [this] { dxTreeSourceFileInfoEdited(); };
  dxTreeSourceFileInfo.OnEditorChange = [this](int column) {
    if (column == ui::kColStart) dxtrlSourceFileStartTimeChange();
  };

  tmrPaintSP.SetInterval(timing.marker_paint_ms);
  tmrPaintSP.OnTimer = [this] { tmrPaintSPTimer(); };
  source_list_timers_.Attach(loop, tmrPaintSP);

  dstrckbrMainform.SetTimerInterval(timing.playback_clock_ms);
  dstrckbrMainform.SetFilterGraph(&program_.previewGraph());
  dstrckbrMainform.OnTimer = [this](uint32_t current, uint32_t stop) { dstrckbrMainformTimer(current, stop); };
  source_list_timers_.Attach(loop, dstrckbrMainform.timer());
}

void TFrmMainForm::ResetTrimFillers() {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  sources::ResetFillers(bar);
}

void TFrmMainForm::btnOpenFileClick() {
  TCustomProc& proc = program_.CustomProc();
  const std::vector<std::string> paths =
      program_.CommonLib().SelectSourceFiles(dlgOpenSourceFile, /*unique=*/true, proc.ReadInitDir());
  TFrmInitFileForm& busy = program_.InitFileForm();
  busy.SetFileList(paths);
  busy.ShowModal();
  proc.SaveInitDir();
}

void TFrmMainForm::btnRemoveFileClick() {
  KeepRemoved(program_.CommonLib().RemoveSelectedRows(dxTreeSourceFileInfo));
  if (dxTreeSourceFileInfo.RowCount() == 0) ResetTrimFillers();
  program_.CustomProc().PreviewStop();
  program_.CustomProc().LoadTrimBar();
}

void TFrmMainForm::btnClearFileClick() {
  sources::RemovedRows all = sources::AllRows(dxTreeSourceFileInfo);
  if (TCommonLib::ClearRows(dxTreeSourceFileInfo)) KeepRemoved(std::move(all));
  program_.CustomProc().PreviewStop();
  ResetTrimFillers();
}

void TFrmMainForm::OpenFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  std::error_code ec;
  const std::string here = std::filesystem::current_path(ec).string();
  std::vector<std::string> absolute;
  // "./a.avi" and "a.avi" are one file, as one row.
  for (const std::string& path : paths) absolute.push_back(TFileFunc::NormalPath(path, here));
  TCommonLib& lib = program_.CommonLib();
  std::vector<std::string> accepted;
  for (const std::string& full : TCommonLib::UniqueFileList(absolute)) {
    if (TCommonLib::AcceptedSourceExtension(full) && !std::filesystem::is_directory(full, ec))
      accepted.push_back(full);
    else
      lib.ShowCodecError(full);
  }
  if (accepted.empty()) return;
  TFrmInitFileForm& busy = program_.InitFileForm();
  busy.SetFileList(accepted);
  busy.ShowModal();
}

void TFrmMainForm::KeepRemoved(sources::RemovedRows rows) {
  if (rows.empty()) return;
  drag_step_open_ = false;
  undo_.push_back({std::move(rows), {}});
}

void TFrmMainForm::KeepTrimChange(const std::function<void()>& change, TrimChange kind) {
  const bool dragging = kind == TrimChange::Drag;
  ui::SourceGrid& grid = dxTreeSourceFileInfo;
  sources::TrimCellList before = sources::TrimCellsOf(grid);
  // A typed time is in its cell already: the step keeps what the cell held.
  const ui::SourceGrid::CommittedEdit& edit = grid.LastCommittedEdit();
  const int edited = grid.IndexOf(edit.id);
  if (kind == TrimChange::Typed && edited != ui::SourceGrid::kNone && static_cast<size_t>(edited) < before.size()) {
    if (edit.column == ui::kColStart) before[static_cast<size_t>(edited)].start = edit.before;
    if (edit.column == ui::kColEnd) before[static_cast<size_t>(edited)].end = edit.before;
  }
  const auto keep = [&] {
    sources::TrimCellList changed = sources::ChangedTrimCells(grid, before);
    sources::MarkEmptyRanges(grid);
    if (changed.empty()) return;
    UndoStep* open = drag_step_open_ && dragging && !undo_.empty() ? &undo_.back() : nullptr;
    if (open) {
      // The step keeps each row's cells from before the drag began.
      std::unordered_set<std::string> kept;
      for (const auto& t : open->trims) kept.insert(t.path);
      for (auto& cells : changed)
        if (!kept.count(cells.path)) open->trims.push_back(std::move(cells));
    } else {
      undo_.push_back({{}, std::move(changed)});
    }
    drag_step_open_ = dragging;
  };
  try {
    change();
  } catch (...) {
    keep();
    throw;
  }
  keep();
}

void TFrmMainForm::UndoRemove() {
  // Not while a time is typed: Ctrl+Z there belongs to the editor.
  if (undo_.empty() || dxTreeSourceFileInfo.Editing()) return;
  const UndoStep step = std::move(undo_.back());
  undo_.pop_back();
  drag_step_open_ = false;
  if (!step.trims.empty())
    sources::RestoreTrimCells(dxTreeSourceFileInfo, step.trims);
  else
    sources::PutBackRows(dxTreeSourceFileInfo, step.rows);
  program_.CustomProc().LoadTrimBar();
}

void TFrmMainForm::SelectAllRows() {
  if (dxTreeSourceFileInfo.Editing()) return;
  dxTreeSourceFileInfo.SelectAll();
  program_.CustomProc().LoadTrimBar();
}

void TFrmMainForm::dxTreeSourceFileInfoHeaderClick(int column) {
  ui::SourceGrid& grid = dxTreeSourceFileInfo;
  if (column == ui::kColChecked) {
    grid.UserSetAllChecked(!grid.AllChecked());
    return;
  }
  if (!sources::SortableColumn(column)) return;
  SortAscending = column == SortColumn ? !SortAscending : true;
  SortColumn = column;
  sources::SortRows(grid, column, SortAscending);
}

void TFrmMainForm::WMDropFiles(const std::vector<std::string>& paths) {
  program_.CommonLib().AddSourceFiles(dxTreeSourceFileInfo, paths);
}

void TFrmMainForm::dxTreeSourceFileInfoKeyDown(sources::GridKey key) {
  program_.CustomProc().LoadTrimBar();
  if (key != sources::GridKey::Delete) return;
  KeepRemoved(program_.CommonLib().RemoveSelectedRows(dxTreeSourceFileInfo));
  program_.CustomProc().PreviewStop();
  if (dxTreeSourceFileInfo.RowCount() == 0) ResetTrimFillers();
}

void TFrmMainForm::dxTreeSourceFileInfoKeyUp(sources::GridKey) {
  program_.CustomProc().LoadTrimBar();
}

void TFrmMainForm::actDxTreeListOnClickExecute() {
  program_.CustomProc().LoadTrimBar();
}

void TFrmMainForm::dxTreeSourceFileInfoEndDrag(bool dropped_on_grid) {
  if (!dropped_on_grid) btnRemoveFileClick();
}

int TFrmMainForm::TrackWidth() const {
  return sources::TrackWidth(Panel1, Panel2, Splitter1, Splitter2, Panel3);
}

void TFrmMainForm::SetStartTimeAndPlay() {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  sources::SetStartTimeAndPlay(bar);
}

void TFrmMainForm::Splitter2Moved() {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  sources::EndMarkerMoved(bar);
}

void TFrmMainForm::Splitter1DragTo(int left_filler_width) {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  KeepTrimChange([&] { sources::DragStartMarker(bar, left_filler_width); }, TrimChange::Drag);
}

void TFrmMainForm::Splitter2DragTo(int right_filler_width) {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  KeepTrimChange([&] { sources::DragEndMarker(bar, right_filler_width); }, TrimChange::Drag);
}

void TFrmMainForm::Splitter1EndDrag() {
  KeepTrimChange([this] { SetStartTimeAndPlay(); }, TrimChange::Drag);
  drag_step_open_ = false;
}

void TFrmMainForm::Splitter2EndDrag() {
  KeepTrimChange([this] { Splitter2Moved(); }, TrimChange::Drag);
  drag_step_open_ = false;
}

void TFrmMainForm::Panel2MouseDown(sources::MouseButton button, sources::ShiftState shift) {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  KeepTrimChange([&] { sources::LeftFillerMouseDown(bar, button, shift); }, TrimChange::Click);
}

void TFrmMainForm::Panel3MouseDown(sources::MouseButton button, sources::ShiftState shift) {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  KeepTrimChange([&] { sources::RightFillerMouseDown(bar, button, shift); }, TrimChange::Click);
}

void TFrmMainForm::dxTreeSourceFileInfoEdited() {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  KeepTrimChange([&] { sources::CheckEditedTimes(bar); }, TrimChange::Typed);
}

void TFrmMainForm::dxtrlSourceFileStartTimeChange() {
  sources::EndStartTimeEdit(dxTreeSourceFileInfo);
}

void TFrmMainForm::tmrPaintSPTimer() {
  sources::TrimBar bar = TrimBarOf(*this, program_);
  sources::RepaintMarkers(bar);
}

void TFrmMainForm::btnPlayClick() {
  TCustomProc& proc = program_.CustomProc();
  ControllerPreviewHost host(proc);
  sources::PlayClicked(host, program_.CommonLib().PreviewFile, proc.IsPlaying, dxTreeSourceFileInfo);
}

void TFrmMainForm::btnPauseClick() {
  TCustomProc& proc = program_.CustomProc();
  ControllerPreviewHost host(proc);
  sources::PauseClicked(host, program_.CommonLib().PreviewFile, proc.IsPlaying);
}

void TFrmMainForm::btnStopClick() {
  program_.CustomProc().PreviewStop();
}

void TFrmMainForm::dstrckbrMainformTimer(uint32_t current_pos, uint32_t stop_pos) {
  ControllerPreviewHost host(program_.CustomProc());
  sources::ClockTick(host, program_.previewGraph(), dstrckbrMainform, pbPlayState, pnlCurTime, PreviewStopText,
                     current_pos, stop_pos);
}
