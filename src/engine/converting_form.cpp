#include "engine/converting_form.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <exception>
#include <utility>

#include "common/text.h"
#include "engine/parameter.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"
#include "ui/source_grid.h"

namespace {

// Time a row may take beyond its grace time for the batch to see its encoder
// gone (the process table's poll, the exit): a row within it was held by the wait.
constexpr int64_t kRowEndSlackMs = 500;

// The console text's time value that the encoder prints before it knows one.
constexpr const char* kUnknownTime = "10000000000";

int ClampToInt(int64_t value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

TfrmConverting::TfrmConverting(ConvertingDeps deps) : tmrChanging(deps.spinner_ms, true), deps_(std::move(deps)) {
  pbTotal.SetRange(0, 1);
  ProgressBar1.SetRange(0, 1);
  Form.OnShow = [this] { FormShow(); };
  btnPause.OnClick = [this] { btnPauseClick(); };
  btnResume.OnClick = [this] { btnResumeClick(); };
  NowMs = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  tmrChanging.OnTimer = [this] { tmrChangingTimer(); };
  timers_.Attach(deps_.loop, tmrChanging);
}

TfrmConverting::~TfrmConverting() = default;

void TfrmConverting::FormShow() {
  const BatchState& proc = deps_.state;
  SpinnerStep = 0;
  lblCurFileName.SetCaption(deps_.job.SourceFile);
  // The last batch's final console text is no news of this one.
  statState.SetPanelText("");
  lblPersent.SetCaption("Current: 1, Total: " + std::to_string(proc.CheckedCount));
  ProgressBar1.SetRange(0, 1);
  ProgressBar1.SetPosition(0);
  pbTotal.SetRange(0, 1);
  pbTotal.SetPosition(0);

  // The window shows once per batch: the estimate starts afresh.
  ShowPaused(false);
  paused_total_ms_ = 0;
  timed_row_ = -1;
  row_run_ms_ = row_done_seconds_ = earlier_run_ms_ = earlier_done_seconds_ = ended_seconds_ = 0;
  lblTimeLeft.SetCaption("");
  const ui::SourceGrid& grid = deps_.grid;
  row_seconds_.assign(static_cast<size_t>(std::max(grid.RowCount(), 0)), 0);
  for (int row = 0; row < grid.RowCount(); ++row) {
    int64_t seconds = 0;
    // A row whose cells are no times is refused by the builder and takes no time.
    if (grid.Cell(row, ui::kColChecked) == "True" &&
        text::RangeSeconds(grid.Cell(row, ui::kColStart), grid.Cell(row, ui::kColEnd), seconds))
      row_seconds_[static_cast<size_t>(row)] = std::max<int64_t>(seconds, 0);
  }
}

void TfrmConverting::tmrChangingTimer() {
  // A spinner that turns would say the encoder works.
  if (Paused) return;
  ++SpinnerStep;
  if (SpinnerStep > 5) SpinnerStep = 1;
  static constexpr const char* kMarks[] = {"|", "|", "/", "-", "\\", "|"};
  const std::string head = ProgressBar1.Position() < 3 ? "Installing convert information  " : "Converting  ";
  lblInfo.SetCaption(head + kMarks[SpinnerStep]);
}

void TfrmConverting::actRefreshProgressExecute() {
  BatchState& proc = deps_.state;
  const TConvertParameterStruct& job = deps_.job;

  // The first text of a row often predates the encoder's first real status line.
  ++proc.RefreshCount;
  if (proc.RefreshCount <= 1) return;

  // Batch progress, from where the current-file bar stood before this refresh.
  ShowBatchProgress(int64_t{ProgressBar1.Position()} * 100 / (int64_t{ProgressBar1.Max()} + 1));

  // Current-file range: the row's length in seconds. A bar cannot reach below its
  // minimum, so a negative length leaves the maximum at 0.
  int64_t seconds = 0;
  if (text::ParseWholeNumber(proc.TrimSecondsText, seconds)) ProgressBar1.SetRange(0, ClampToInt(seconds));

  const std::string text = statState.PanelText();
  if (text.empty()) return;

  // The elapsed time starts the third field of an audio status line and the
  // fifth of a video one.
  const bool audio_only = text::TrimBlanks(job.CodecArgs).rfind("-acodec", 0) == 0 && job.OutputExt != ".3gp";
  const auto fields = text::SplitText(text, '=');
  const size_t index = audio_only ? 2 : 4;
  const size_t needed = audio_only ? 4 : 5;
  if (fields.size() < needed) return;

  const auto parts = text::SplitText(fields[index], '.');
  if (parts.empty()) return;
  const std::string whole = parts.front();
  if (whole == kUnknownTime) return;

  double value = 0;
  try {
    value = text::ParseLenientNumber(whole);
  } catch (const std::exception&) {
    return;  // Not a time after all: the bar stays where it was.
  }
  if (value >= static_cast<double>(INT_MAX)) {
    ProgressBar1.SetPosition(INT_MAX);
  } else if (value <= static_cast<double>(INT_MIN)) {
    ProgressBar1.SetPosition(INT_MIN);
  } else {
    ProgressBar1.SetPosition(static_cast<int>(value));
  }
}

void TfrmConverting::RowStarted() {
  statState.SetPanelText("");
  ShowBatchProgress(0);
}

void TfrmConverting::ShowBatchProgress(int64_t share) {
  const BatchState& proc = deps_.state;
  pbTotal.SetMax(ClampToInt(int64_t{proc.CheckedCount} * 100));
  pbTotal.SetPosition(ClampToInt(share + int64_t{proc.FilesDone} * 100));
  // One form of the counter, the same as when the window shows.
  lblPersent.SetCaption("Current: " + std::to_string(int64_t{proc.FilesDone} + 1) +
                        ", Total: " + std::to_string(proc.CheckedCount));
}

void TfrmConverting::btnStop1Click() {
  if (!deps_.dialogs.AskYesNo(deps_.title, "Are you sure you want to stop the work ? ")) return;
  BatchState& proc = deps_.state;
  ResumeBeforeStop();
  proc.StopRequested = true;
  proc.BatchInterrupted = true;
  Form.Hide();
  deps_.enable_main_window();
  proc.RowIndex = deps_.grid.RowCount() + 10;
  // One call ends every encoder this program started, whatever its name: a
  // second would only repeat the wait for one that cannot be ended.
  deps_.stop_encoder();
  ProgressBar1.SetPosition(0);
  pbTotal.SetMax(0);
  pbTotal.SetPosition(0);
  lblPersent.SetCaption("Current: 1, Total: ...");
  lblTimeLeft.SetCaption("");
}

bool TfrmConverting::FormClose() {
  if (!deps_.dialogs.AskYesNo(deps_.title, "Are you sure to stop processing ?")) return false;
  BatchState& proc = deps_.state;
  ResumeBeforeStop();
  proc.BatchInterrupted = true;
  Form.Hide();
  deps_.enable_main_window();
  proc.RowIndex = deps_.grid.RowCount() + 10;
  deps_.stop_encoder();
  return true;
}

void TfrmConverting::btnPauseClick() {
  if (Paused) return;
  // Between rows there is no encoder to suspend.
  if (deps_.suspend_encoder(true)) ShowPaused(true);
}

void TfrmConverting::btnResumeClick() {
  if (!Paused) return;
  deps_.suspend_encoder(false);
  ShowPaused(false);
}

void TfrmConverting::ResumeBeforeStop() {
  // A suspended process keeps the request to end pending until it runs again.
  if (Paused) btnResumeClick();
}

void TfrmConverting::ShowPaused(bool paused) {
  if (paused == Paused) return;
  Paused = paused;
  btnPause.SetVisible(!paused);
  btnResume.SetVisible(paused);
  if (paused) {
    paused_since_ms_ = NowMs();
    lblTimeLeft.SetCaption("Paused");
  } else {
    paused_total_ms_ += NowMs() - paused_since_ms_;
    lblTimeLeft.SetCaption("");
  }
}

void TfrmConverting::UpdateTimeLeft() {
  if (Paused || !Form.Visible()) return;
  const BatchState& proc = deps_.state;
  const int64_t now = NowMs();
  int64_t current = 0;
  if (!text::ParseWholeNumber(proc.TrimSecondsText, current) || current < 0) current = 0;
  const int64_t position = std::clamp<int64_t>(ProgressBar1.Position(), 0, current);

  // The pace counts only the time the encoders ran, from each row's first text
  // on: the fixed waits are added for the rows to come, and pauses count for
  // nothing.
  const int64_t grace = deps_.row_grace_ms;
  const int64_t paused_in_row = paused_total_ms_ - row_paused_base_ms_;
  if (proc.RowIndex != timed_row_) {
    if (timed_row_ >= 0 && timed_row_ < static_cast<int64_t>(row_seconds_.size())) {
      // The row before has ended, all of it, in the time up to this row's wait.
      // A row that ended within its grace time was held back by that wait, not
      // by its encoder: only its own progress reports, if any, give the pace.
      const int64_t whole = row_seconds_[static_cast<size_t>(timed_row_)];
      const int64_t whole_run_ms = now - row_start_ms_ - paused_in_row - deps_.row_prepare_ms;
      if (whole_run_ms > grace + kRowEndSlackMs) {
        row_done_seconds_ = whole;
        row_run_ms_ = whole_run_ms;
      }
      ended_seconds_ += whole;
    }
    earlier_run_ms_ += row_run_ms_;
    earlier_done_seconds_ += row_done_seconds_;
    timed_row_ = proc.RowIndex;
    row_start_ms_ = now;
    row_paused_base_ms_ = paused_total_ms_;
    row_run_ms_ = 0;
    row_done_seconds_ = 0;
  } else {
    row_run_ms_ = std::max<int64_t>(now - row_start_ms_ - paused_in_row, 0);
    row_done_seconds_ = position;
  }
  if (ended_seconds_ + position < 1) {
    lblTimeLeft.SetCaption("Time left: estimating...");
    return;
  }

  // Without a pace yet every row is given its grace time, the least it takes.
  const int64_t done = earlier_done_seconds_ + row_done_seconds_;
  const int64_t run_ms = earlier_run_ms_ + row_run_ms_;
  int64_t left_ms = std::max(RunMsFor(current - position, done, run_ms), grace - row_run_ms_);
  for (size_t row = 0; row < row_seconds_.size(); ++row) {
    if (static_cast<int64_t>(row) <= proc.RowIndex || row_seconds_[row] <= 0) continue;
    left_ms += deps_.row_prepare_ms + std::max(RunMsFor(row_seconds_[row], done, run_ms), grace);
  }
  lblTimeLeft.SetCaption("Time left: " + text::FormatSeconds((left_ms + 999) / 1000));
}

int64_t RunMsFor(int64_t media_seconds, int64_t done_seconds, int64_t run_ms) {
  if (media_seconds <= 0 || done_seconds <= 0) return 0;
  const double ms =
      static_cast<double>(media_seconds) * static_cast<double>(run_ms) / static_cast<double>(done_seconds);
  if (ms >= static_cast<double>(INT64_MAX / 4)) return INT64_MAX / 4;
  return static_cast<int64_t>(ms);
}
