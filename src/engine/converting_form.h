// TfrmConverting: the progress window of a batch, with its component models and
// handlers. It talks to the batch driver only through the batch state and by
// ending the encoder processes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/batch_state.h"
#include "ui/models.h"
#include "ui/timer_attachment.h"

struct TConvertParameterStruct;
namespace ui {
class Dialogs;
class EventLoop;
class SourceGrid;
}  // namespace ui

// What the progress window works with besides its own components.
struct ConvertingDeps {
  BatchState& state;
  // The parameter record of the job being converted.
  const TConvertParameterStruct& job;
  // The rows of the batch.
  const ui::SourceGrid& grid;
  ui::Dialogs& dialogs;
  ui::EventLoop& loop;
  // Caption of the confirmation boxes.
  std::string title;
  int spinner_ms = 0;
  // Gives the main window back to the user.
  std::function<void()> enable_main_window;
  // Suspends (true) or resumes (false) the running encoder; false when none runs.
  std::function<bool(bool)> suspend_encoder;
  // Ends every encoder this program started.
  std::function<void()> stop_encoder;
  // The batch's fixed waits: before each row's encoder starts, and the least
  // time a row's encoder is given before the batch looks whether it has ended.
  int row_prepare_ms = 0;
  int row_grace_ms = 0;
};

class TfrmConverting {
 public:
  explicit TfrmConverting(ConvertingDeps deps);
  ~TfrmConverting();
  TfrmConverting(const TfrmConverting&) = delete;
  TfrmConverting& operator=(const TfrmConverting&) = delete;

  ui::Window Form{"Converting"};
  ui::Label lblInfo{"Please wait . . ."};
  ui::Label lblCurConvertFileL{"Current Convert File:"};
  ui::Label lblCurFileName;
  ui::Label lblTotalFilr{"Total File:"};
  ui::ProgressBar pbTotal;
  ui::Label lblCurprog{"Current File:"};
  ui::ProgressBar ProgressBar1;
  ui::Label lblPersent{"Current: 1, Total: ..."};
  ui::StatusBar statState;
  // Suspends the running encoder; Resume takes its place while it is suspended.
  ui::Button btnPause{"Pause", "Pause the conversion"};
  ui::Button btnResume{"Resume", "Resume the conversion", false};
  // The estimate of the time the whole batch still needs, or "Paused".
  ui::Label lblTimeLeft;
  // Drives the spinner; runs from creation to the end, shown or not.
  ui::Timer tmrChanging;

  // 0 when the window was shown, then 1 to 5 round and round.
  int SpinnerStep = 0;

  // Runs each time the window becomes visible.
  void FormShow();
  void tmrChangingTimer();
  // The progress refresh, run for each console text the encoder relays.
  void actRefreshProgressExecute();
  // A row begins: the counter and the total bar name it at once (a short file
  // may relay a single text, which the refresh skips), and the last row's
  // console text goes.
  void RowStarted();
  // Stop, after the user confirms.
  void btnStop1Click();
  // The close box: true when the window may close, false when the user said No.
  bool FormClose();

  // The running encoder is suspended.
  bool Paused = false;
  void btnPauseClick();
  void btnResumeClick();
  // Shows the paused state (or not) without touching the encoder: for when the
  // encoder has gone.
  void ShowPaused(bool paused);
  // Estimates the time left for the batch from the trimmed lengths still to
  // convert, the pace the encoder has kept while it ran and the fixed waits of
  // the rows to come; "estimating..." until a second of media is done. Run
  // after each progress refresh.
  void UpdateTimeLeft();
  // Milliseconds of a steady clock; tests put their own in.
  std::function<int64_t()> NowMs;

 private:
  // The counter and the total bar, the current file at `share` of 100.
  void ShowBatchProgress(int64_t share);
  // Resumes a suspended encoder, so that it can take the request to end.
  void ResumeBeforeStop();

  ConvertingDeps deps_;
  ui::TimerAttachment timers_;
  // Start of the current pause and the time spent paused in the batch.
  int64_t paused_since_ms_ = 0;
  int64_t paused_total_ms_ = 0;
  // Length in seconds of each row of the batch, 0 for a row not converted.
  std::vector<int64_t> row_seconds_;
  // The pace: media seconds and encoder time of the rows seen running, the
  // current row's start (first text) and the pause total then; the trimmed
  // seconds of the rows that have ended.
  int64_t timed_row_ = -1;
  int64_t row_start_ms_ = 0;
  int64_t row_paused_base_ms_ = 0;
  int64_t row_run_ms_ = 0;
  int64_t row_done_seconds_ = 0;
  int64_t earlier_run_ms_ = 0;
  int64_t earlier_done_seconds_ = 0;
  int64_t ended_seconds_ = 0;
};

// Milliseconds of encoder time for media seconds, at the pace of done_seconds
// in run_ms.
int64_t RunMsFor(int64_t media_seconds, int64_t done_seconds, int64_t run_ms);
