#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/builder.h"
#include "shell/common_lib.h"
#include "engine/converting_form.h"
#include "shell/custom_proc.h"
#include "engine/process_table.h"
#include "engine/runner.h"
#include "platform/desktop.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/event_loop.h"
#include "ui/source_grid.h"

namespace {

constexpr const char* kChecked = "True";

// How one row's encoder run ended, for the log and the failure warning.
std::string DescribeOutcome(const std::optional<RunOutcome>& outcome) {
  if (!outcome || !outcome->started) return "the encoder could not be started";
  return "exit code " + std::to_string(outcome->exit_code);
}

bool Succeeded(const std::optional<RunOutcome>& outcome) {
  return outcome && outcome->started && outcome->exit_code == 0;
}

// An exit code of 0 alone proves nothing: the row must also have left a
// non-empty file at the name the builder chose.
bool HasOutput(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// Longest the user-interface thread blocks for a runner to start its child.
constexpr int kLaunchWaitMs = 2000;

// The pause between two looks at the process table. When our own encoder ends
// meanwhile, the table is looked at again at once rather than up to a whole
// period later; only the table decides that the row is done.
void PollPause(ui::EventLoop& loop, const TAdvanceSystem& runner, int period_ms) {
  constexpr int kSliceMs = 10;
  const bool ours_running = !runner.Finished();
  for (int waited = 0; waited < period_ms; waited += kSliceMs) {
    loop.Wait(std::min(kSliceMs, period_ms - waited));
    if (ours_running && runner.Finished()) return;
  }
}

// Clears a flag however the scope is left.
struct FlagGuard {
  bool& flag;
  ~FlagGuard() { flag = false; }
};

}  // namespace

void TFrmMainForm::btnConvertClick() {
  TCustomProc& proc = program_.CustomProc();
  // The main window is disabled during a batch, but a stop before a row's encoder
  // started re-enables it while that row still converts.
  if (proc.BatchRunning()) return;
  proc.FilesDone = 0;
  proc.ConvertCheckedRows(dxTreeSourceFileInfo);
}

void TCustomProc::ConvertOutputCallback(const std::string& text) {
  TfrmConverting& progress = program_.ConvertingForm();
  progress.statState.SetPanelText(text);
  progress.lblCurFileName.SetCaption(program_.CommonLib().ConvertParameter.SourceFile);
  progress.actRefreshProgressExecute();
  progress.UpdateTimeLeft();
}

bool TCustomProc::SuspendEncoder(bool suspend) {
  return runner_ && runner_->Suspend(suspend);
}

void TCustomProc::ConvertCheckedRows(ui::SourceGrid& grid) {
  if (batch_running_) return;
  batch_running_ = true;
  FlagGuard running{batch_running_};
  BatchInterrupted = false;

  TfrmConverting& progress = program_.ConvertingForm();
  TFrmMainForm& main = program_.MainForm();
  TCommonLib& lib = program_.CommonLib();
  ui::EventLoop& loop = program_.loop();
  const ui::Timing& timing = program_.timing();

  FilesDone = 0;
  CheckedCount = 0;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (grid.Cell(row, 0) == kChecked) ++CheckedCount;

  const auto restore_windows = [&] {
    progress.Form.Hide();
    main.Form.SetEnabled(true);
  };

  if (grid.RowCount() == 0) {
    lib.ShowMessageBox("Please add media files you want to convert into the list.", ui::MessageKind::Warning);
    restore_windows();
    return;
  }

  // Rows whose encoder did not succeed, with the reason, for one warning at the end.
  std::vector<std::string> failures;
  int converted = 0;
  // The machine stays awake from here to the end of the batch, however it ends.
  std::unique_ptr<platform::Hold> awake;
  if (CheckedCount > 0) awake = program_.desktop().KeepAwake(platform::kBatchInhibitReason);
  RunnerSettings runner_settings;
  runner_settings.folder = lib.AppDir.substr(0, lib.AppDir.size() - 1);
  runner_settings.relay_pause_ms = timing.relay_pause_ms;
  runner_settings.children = &lib.EncoderChildren;

  try {
    RowIndex = 0;
    // The row count is read afresh for every pass; Stop moves RowIndex past it.
    while (RowIndex <= grid.RowCount() - 1) {
      if (grid.Cell(RowIndex, 0) != kChecked) {
        ++RowIndex;
        continue;
      }
      const std::string source = grid.Cell(RowIndex, 1);
      try {
        CurrentCommand = CreateConvertParameter(source);
      } catch (const TrimTimeError& refused) {
        // That row alone is left out and named at the end; the others go on.
        program_.WriteLog("Convert result: " + source + " -> " + refused.reason());
        failures.push_back(source + " (" + refused.reason() + ")");
        ++FilesDone;
        ++RowIndex;
        continue;
      }
      program_.WriteLog("parameter: " + CurrentCommand);

      RefreshCount = 0;
      progress.ProgressBar1.SetPosition(0);
      progress.Form.Show();
      main.Form.SetEnabled(false);

      const bool interrupted_before = BatchInterrupted;
      loop.ProcessEvents();
      loop.Wait(timing.convert_prepare_ms);
      loop.ProcessEvents();
      // A Stop or close confirmed during the pause has hidden the window that
      // holds Stop: starting the encoder now would leave it beyond reach.
      if (BatchInterrupted && !interrupted_before) {
        program_.WriteLog("Convert result: " + source + " -> stopped before the encoder started");
        break;
      }

      auto runner = std::make_unique<TAdvanceSystem>(
          CurrentCommand, [this](const std::string& text) { ConvertOutputCallback(text); }, loop, runner_settings);
      runner->Start();
      runner_ = runner.get();
      // No event is handled before the child is known, so a Stop always finds it.
      runner->WaitLaunched(kLaunchWaitMs);

      // Grace time for the encoder to show up in the process table.
      loop.ProcessEvents();
      loop.Wait(timing.convert_grace_ms);
      // Only our own encoder counts: another user's or another instance's
      // process of the same name neither holds the batch nor is ended by it.
      while (lib.OwnEncoderRunning()) {
        PollPause(loop, *runner, timing.convert_poll_ms);
        loop.ProcessEvents();
      }
      // Freeing the runner waits for its child. That is at once when the encoder
      // has gone; but a child not yet (or never) seen in the table must not
      // freeze the window meanwhile.
      while (!runner->WaitFinished(10)) loop.ProcessEvents();
      const std::optional<RunOutcome> outcome = runner->Outcome();
      runner_ = nullptr;
      if (progress.Paused) progress.ShowPaused(false);
      runner.reset();

      const bool stopped = BatchInterrupted && !interrupted_before;
      const bool ran_well = Succeeded(outcome);
      const bool row_converted = ran_well && HasOutput(lib.ConvertParameter.OutputFile);
      std::string result = DescribeOutcome(outcome);
      if (ran_well && !row_converted) result += ", no output file";
      program_.WriteLog("Convert result: " + source + " -> " + (stopped ? "stopped, " : "") + result);
      if (!row_converted && !stopped) failures.push_back(source + " (" + (ran_well ? "no output file" : result) + ")");
      if (row_converted) ++converted;

      ++FilesDone;
      ++RowIndex;
    }
  } catch (...) {
    // The error reaches the general error report; the user must not be left
    // with a disabled main window.
    runner_ = nullptr;
    StopRequested = false;
    restore_windows();
    throw;
  }

  const bool stopped = StopRequested || BatchInterrupted;
  awake.reset();
  if (!StopRequested) {
    if (main.chkShowOutputDirectory.Checked() && !lib.ConvertParameter.OutputDir.empty())
      lib.OpenFolder(lib.ConvertParameter.OutputDir);
    if (main.chkShutdown.Checked()) {
      // The program ends here, without its close handling: the settings are not
      // saved. When the system refuses, the user has been told and the program goes on.
      if (lib.ShutdownComputer()) {
        program_.Quit();
        return;
      }
    }
  }
  StopRequested = false;
  restore_windows();
  if (!stopped) platform::NotifyBatchFinished(program_.desktop(), converted, static_cast<int>(failures.size()));

  if (!stopped && !failures.empty()) {
    std::string text = "These files could not be converted:";
    for (const auto& failure : failures) text += "\n" + failure;
    lib.ShowMessageBox(text, ui::MessageKind::Warning);
  }
}
