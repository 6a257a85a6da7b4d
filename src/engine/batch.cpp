#include "engine/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/helpers.h"
#include "common/text.h"
#include "engine/builder.h"
#include "engine/converting_form.h"
#include "engine/job.h"
#include "engine/parameter.h"
#include "engine/process_table.h"
#include "engine/runner.h"
#include "media/duration_probe.h"
#include "platform/desktop.h"
#include "ui/event_loop.h"
#include "ui/source_grid.h"
#include "ui/timing.h"

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

// The file name alone, for a row's status.
std::string NameOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// Keeps a converting row's status at the share of its range the current-file
// bar has reached, for as long as it lives.
class PercentReport {
 public:
  PercentReport(ui::ProgressBar& bar, engine::BatchHost& host, int row) : bar_(bar), host_(host), row_(row) {
    subscription_ = bar_.Subscribe([this] { Update(); });
  }
  ~PercentReport() { bar_.Unsubscribe(subscription_); }
  PercentReport(const PercentReport&) = delete;
  PercentReport& operator=(const PercentReport&) = delete;

 private:
  void Update() {
    const int64_t span = int64_t{bar_.Max()} - bar_.Min();
    const int percent =
        span <= 0 ? 0
                  : static_cast<int>(std::clamp<int64_t>((int64_t{bar_.Position()} - bar_.Min()) * 100 / span, 0, 100));
    if (percent == shown_) return;
    shown_ = percent;
    host_.ShowRowStatus(row_, {ui::RowState::Converting, percent, {}});
  }
  ui::ProgressBar& bar_;
  engine::BatchHost& host_;
  int row_;
  int shown_ = 0;
  int subscription_ = 0;
};

// Clears a flag however the scope is left.
struct FlagGuard {
  bool& flag;
  ~FlagGuard() { flag = false; }
};

}  // namespace

namespace engine {

// What the rows came to, for the notification and the closing warning.
struct Tally {
  int converted = 0;
  // Rows that did not convert, each with the reason.
  std::vector<std::string> failures;
  // Files of stopped rows kept as partial, "name.partial.mp4: 05:39 of 10:00".
  std::vector<std::string> partials;
};

// Runs the row's command and waits, handling events, until our own encoder has
// gone; what the run came to.
std::optional<RunOutcome> RunRowEncoder(BatchState& state, BatchHost& host, const BatchServices& services,
                                        const RunnerSettings& runner_settings) {
  ui::EventLoop& loop = services.loop;
  const ui::Timing& timing = services.timing;
  auto runner = std::make_unique<TAdvanceSystem>(
      state.CurrentCommand, [&host](const std::string& text) { host.ConvertOutput(text); }, loop, runner_settings);
  runner->Start();
  state.Runner = runner.get();
  // No event is handled before the child is known, so a Stop always finds it.
  runner->WaitLaunched(kLaunchWaitMs);

  // Grace time for the encoder to show up in the process table.
  loop.ProcessEvents();
  loop.Wait(timing.convert_grace_ms);
  // Only our own encoder counts: another user's or another instance's
  // process of the same name neither holds the batch nor is ended by it.
  while (OwnEncoderRunning(services.processes, services.children)) {
    PollPause(loop, *runner, timing.convert_poll_ms);
    loop.ProcessEvents();
  }
  // Freeing the runner waits for its child. That is at once when the encoder
  // has gone; but a child not yet (or never) seen in the table must not
  // freeze the window meanwhile.
  while (!runner->WaitFinished(10)) loop.ProcessEvents();
  const std::optional<RunOutcome> outcome = runner->Outcome();
  state.Runner = nullptr;
  if (services.progress.Paused) services.progress.ShowPaused(false);
  runner.reset();
  return outcome;
}

// The after-batch actions, the windows given back, the notification and the
// one warning that names the rows that failed.
void FinishBatch(BatchState& state, BatchHost& host, const BatchServices& services, const Tally& tally) {
  const std::vector<std::string>& failures = tally.failures;
  const int converted = tally.converted;
  const TConvertParameterStruct& job = services.job;
  const bool stopped = state.StopRequested || state.BatchInterrupted;
  if (!state.StopRequested) {
    if (host.ShowOutputFolderChecked() && !job.OutputDir.empty()) host.OpenFolder(job.OutputDir);
    if (host.ShutdownChecked()) {
      // The program ends here, without its close handling: the settings are not
      // saved. When the system refuses, the user has been told and the program goes on.
      if (host.ShutdownComputer()) {
        host.Quit();
        return;
      }
    }
  }
  state.StopRequested = false;
  services.progress.Form.Hide();
  host.EnableMainWindow(true);
  if (!stopped) platform::NotifyBatchFinished(services.desktop, converted, static_cast<int>(failures.size()));

  // A stop leaves files cut short under names that say so; the user is told
  // which, and how much each holds.
  if (stopped && !tally.partials.empty()) {
    std::string text = "The conversion was stopped. What was converted is kept in:";
    for (const auto& partial : tally.partials) text += "\n" + partial;
    host.Warn(text);
  }

  if (!stopped && !failures.empty()) {
    std::string text = "These files could not be converted:";
    for (const auto& failure : failures) text += "\n" + failure;
    host.Warn(text);
  }
}

// Builds, runs and judges one checked row; false when a stop came before its
// encoder started, which ends the batch.
// A video output that holds no picture (a sound file's, as ffmpeg makes it)
// says so in the row's status.
std::string SoundOnlyNote(const std::string& output) {
  if (TFileFunc::GetFileExt(output) != ".mp4") return {};
  return media::DurationProbe().HasVideoStream(output) ? std::string() : ", sound only";
}

bool ConvertRow(int row, const std::string& source, BatchState& state, BatchHost& host, const BatchServices& services,
                const RunnerSettings& runner_settings, Tally& tally) {
  TfrmConverting& progress = services.progress;
  const TConvertParameterStruct& job = services.job;
  ui::EventLoop& loop = services.loop;
  const ui::Timing& timing = services.timing;
  try {
    state.CurrentCommand = host.BuildCommand(source);
  } catch (const TrimTimeError& refused) {
    // That row alone is left out and named at the end; the others go on.
    host.Log("Convert result: " + source + " -> " + refused.reason());
    tally.failures.push_back(source + " (" + refused.reason() + ")");
    host.ShowRowStatus(row, {ui::RowState::Failed, 0, refused.reason()});
    return true;
  }
  host.ShowRowStatus(row, {ui::RowState::Converting, 0, {}});
  host.Log("parameter: " + state.CurrentCommand);

  state.RefreshCount = 0;
  progress.ProgressBar1.SetPosition(0);
  progress.RowStarted();
  progress.Form.Show();
  host.EnableMainWindow(false);

  const bool interrupted_before = state.BatchInterrupted;
  loop.ProcessEvents();
  loop.Wait(timing.convert_prepare_ms);
  loop.ProcessEvents();
  // A Stop or close confirmed during the pause has hidden the window that
  // holds Stop: starting the encoder now would leave it beyond reach.
  if (state.BatchInterrupted && !interrupted_before) {
    host.ReleaseOutputName(job.OutputFile);
    host.Log("Convert result: " + source + " -> stopped before the encoder started");
    host.ShowRowStatus(row, {ui::RowState::Stopped, 0, {}});
    return false;
  }

  std::optional<RunOutcome> outcome;
  {
    PercentReport percent(progress.ProgressBar1, host, row);
    outcome = RunRowEncoder(state, host, services, runner_settings);
  }
  // The name the encoder actually wrote: another run may have taken the one
  // chosen, and a stopped run's file is named as partial.
  const std::optional<KeptOutput> kept = outcome ? ReadKeptOutput(outcome->tail) : std::nullopt;
  // The empty file that held the chosen name, unless the encoder replaced it.
  host.ReleaseOutputName(job.OutputFile);

  const bool stopped = state.BatchInterrupted && !interrupted_before;
  const bool ran_well = Succeeded(outcome);
  const std::string output = kept && !kept->partial ? kept->path : job.OutputFile;
  const bool row_converted = ran_well && HasOutput(output);
  std::string result = DescribeOutcome(outcome);
  if (ran_well && !row_converted) result += ", no output file";
  if (row_converted && output != job.OutputFile) result += ", output written to " + output;
  if (kept && kept->partial) {
    int64_t total = 0;
    const bool known = text::ParseWholeNumber(state.TrimSecondsText, total) && total > 0;
    const std::string length = FormatLength(kept->seconds) + (known ? " of " + FormatLength(total) : "");
    result += ", partial output kept: " + kept->path + " (" + length + ")";
    tally.partials.push_back(std::filesystem::path(kept->path).filename().string() + ": " + length);
  }
  state.LastOutput = kept && kept->partial ? kept->path : row_converted ? output : std::string();
  host.Log("Convert result: " + source + " -> " + (stopped ? "stopped, " : "") + result);
  // A source that gave out early leaves a partial file, and the encoder's own
  // reason names how much of the range it could read.
  const bool cut_short = kept && kept->partial && !stopped;
  const std::string gave_out = cut_short ? ReadFailureReason(outcome->tail) : std::string();
  const std::string reason =
      cut_short  ? (gave_out.empty() ? "the source gave out early" : gave_out) + ", kept as " + NameOf(kept->path)
      : ran_well ? "no output file"
                 : result;
  if (!row_converted && !stopped) tally.failures.push_back(source + " (" + reason + ")");
  if (row_converted) ++tally.converted;
  if (row_converted)
    host.ShowRowStatus(row, {ui::RowState::Done, 100, NameOf(output) + SoundOnlyNote(output)});
  else if (stopped)
    host.ShowRowStatus(row, {ui::RowState::Stopped, 0, kept && kept->partial ? NameOf(kept->path) : std::string()});
  else
    host.ShowRowStatus(row, {ui::RowState::Failed, 0, reason});

  return true;
}

void ConvertCheckedRows(ui::SourceGrid& grid, BatchState& state, BatchHost& host, const BatchServices& services) {
  if (state.Running) return;
  state.Running = true;
  FlagGuard running{state.Running};
  state.BatchInterrupted = false;

  TfrmConverting& progress = services.progress;
  const ui::Timing& timing = services.timing;

  state.FilesDone = 0;
  state.CheckedCount = 0;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (grid.Cell(row, ui::kColChecked) == kChecked) ++state.CheckedCount;

  const auto restore_windows = [&] {
    progress.Form.Hide();
    host.EnableMainWindow(true);
  };

  if (grid.RowCount() == 0) {
    host.Warn("Please add media files you want to convert into the list.");
    restore_windows();
    return;
  }

  Tally tally;
  // The machine stays awake from here to the end of the batch, however it ends.
  std::unique_ptr<platform::Hold> awake;
  if (state.CheckedCount > 0) awake = services.desktop.KeepAwake(platform::kBatchInhibitReason);
  RunnerSettings runner_settings;
  runner_settings.folder = services.app_dir.substr(0, services.app_dir.size() - 1);
  runner_settings.relay_pause_ms = timing.relay_pause_ms;
  runner_settings.children = &services.children;
  runner_settings.environment = {kReservedOutputEnvironment};
  runner_settings.hold_stop_signals = true;

  // The checked rows wait from the start; the ones the batch does not reach
  // lose that status at its end, however it ends.
  std::vector<int> waiting;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (grid.Cell(row, ui::kColChecked) == kChecked) {
      waiting.push_back(row);
      host.ShowRowStatus(row, {ui::RowState::Waiting, 0, {}});
    }
  int last_begun = -1;
  const auto clear_waiting = [&] {
    for (int row : waiting)
      if (row > last_begun) host.ShowRowStatus(row, {});
  };

  try {
    state.RowIndex = 0;
    // The row count is read afresh for every pass; Stop moves RowIndex past it.
    while (state.RowIndex <= grid.RowCount() - 1) {
      if (grid.Cell(state.RowIndex, ui::kColChecked) != kChecked) {
        ++state.RowIndex;
        continue;
      }
      last_begun = state.RowIndex;
      if (!ConvertRow(last_begun, grid.Cell(last_begun, ui::kColPath), state, host, services, runner_settings, tally))
        break;
      ++state.FilesDone;
      ++state.RowIndex;
    }
  } catch (...) {
    // The error reaches the general error report; the user must not be left
    // with a disabled main window.
    state.Runner = nullptr;
    state.StopRequested = false;
    if (last_begun >= 0) host.ShowRowStatus(last_begun, {ui::RowState::Failed, 0, {}});
    clear_waiting();
    restore_windows();
    throw;
  }
  clear_waiting();

  awake.reset();
  FinishBatch(state, host, services, tally);
}

}  // namespace engine
