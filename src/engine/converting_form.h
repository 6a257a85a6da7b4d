// TfrmConverting: the progress window of a batch, with its component models and
// handlers. It talks to the batch driver only through the batch state of
// TCustomProc and by ending the encoder processes.
#pragma once

#include "ui/models.h"

class Program;

class TfrmConverting {
 public:
  explicit TfrmConverting(Program& program);
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
  // Drives the spinner; runs from creation to the end, shown or not.
  ui::Timer tmrChanging;

  // 0 when the window was shown, then 1 to 5 round and round.
  int SpinnerStep = 0;

  // Runs each time the window becomes visible.
  void FormShow();
  void tmrChangingTimer();
  // The progress refresh, run for each console text the encoder relays.
  void actRefreshProgressExecute();
  // Stop, after the user confirms.
  void btnStop1Click();
  // The close box: true when the window may close, false when the user said No.
  bool FormClose();

 private:
  Program& program_;
};
