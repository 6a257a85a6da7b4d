// The engine driven without the program around it: a host of the test's own,
// the progress window on its narrow dependencies, and the range length.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/builder.h"
#include "engine/converting_form.h"
#include "engine/parameter.h"
#include "engine/runner.h"
#include "fakes.h"
#include "platform/desktop.h"
#include "platform/process_table.h"
#include "ui/source_grid.h"
#include "ui/timing.h"

namespace {

class RecordingHost : public engine::BatchHost {
 public:
  void EnableMainWindow(bool enabled) override { enabled_calls.push_back(enabled); }
  std::string BuildCommand(const std::string& source) override {
    built.push_back(source);
    throw TrimTimeError(source, "end", "1:30");
  }
  void ConvertOutput(const std::string& text) override { outputs.push_back(text); }
  void ShowRowStatus(int row, const ui::RowStatus& status) override {
    statuses.push_back(std::to_string(row) + " " + ui::StatusText(status));
  }
  bool ShowOutputFolderChecked() const override { return show_folder; }
  bool ShutdownChecked() const override { return shutdown; }
  void OpenFolder(const std::string& folder) override { opened.push_back(folder); }
  bool ShutdownComputer() override {
    ++shutdown_calls;
    return power_off_works;
  }
  void Quit() override { ++quits; }
  void Warn(const std::string& text) override { warnings.push_back(text); }
  void Log(const std::string& line) override { log.push_back(line); }

  bool show_folder = true, shutdown = false, power_off_works = false;
  std::vector<bool> enabled_calls;
  std::vector<std::string> built, outputs, opened, warnings, log, statuses;
  int shutdown_calls = 0, quits = 0;
};

class EngineAlone : public ::testing::Test {
 protected:
  EngineAlone()
      : progress(ConvertingDeps{state, job, grid, dialogs, loop, "Title", 500, [this] { ++main_enabled; },
                                [this](bool) { return suspend_answer; }, [this] { ++stops; }}) {
    timing.convert_prepare_ms = timing.convert_grace_ms = timing.convert_poll_ms = 1;
  }
  ~EngineAlone() override = default;

  void Row(const std::string& check, const std::string& path) {
    grid.AddRow({check, path, "1 KB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  }
  void Run() {
    engine::ConvertCheckedRows(
        grid, state, host, engine::BatchServices{progress, job, loop, timing, desktop, processes, children, "/app/"});
  }

  BatchState state;
  TConvertParameterStruct job;
  ui::SourceGrid grid;
  testing_support::FakeDialogs dialogs;
  testing_support::FakeEventLoop loop;
  ui::Timing timing;
  platform::InertDesktop desktop;
  platform::InertProcessTable processes;
  ChildRegistry children;
  RecordingHost host;
  int main_enabled = 0, stops = 0;
  bool suspend_answer = false;
  TfrmConverting progress;
};

}  // namespace

TEST_F(EngineAlone, AnEmptyListIsRefusedWithAWarningAndTheWindowsGivenBack) {
  progress.Form.Show();
  Run();
  EXPECT_EQ(host.warnings, std::vector<std::string>{"Please add media files you want to convert into the list."});
  EXPECT_FALSE(progress.Form.Visible());
  EXPECT_EQ(host.enabled_calls, std::vector<bool>{true});
  EXPECT_FALSE(state.Running);
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(EngineAlone, RefusedRowsAreNamedAtTheEndAndTheAfterBatchActionsFollowTheHost) {
  Row("True", "/clips/a.avi");
  Row("False", "/clips/b.avi");
  Row("True", "/clips/c.avi");
  job.OutputDir = "/out/";
  state.StopRequested = false;
  Run();
  // Only the checked rows are built; unchecked ones are skipped.
  EXPECT_EQ(host.built, (std::vector<std::string>{"/clips/a.avi", "/clips/c.avi"}));
  EXPECT_EQ(state.CheckedCount, 2);
  EXPECT_EQ(state.FilesDone, 2);
  EXPECT_EQ(state.RowIndex, 3);
  ASSERT_EQ(host.log.size(), 2u);
  EXPECT_EQ(host.log[0], "Convert result: /clips/a.avi -> the end time \"1:30\" is not a time of the form hh:mm:ss");
  EXPECT_EQ(host.opened, std::vector<std::string>{"/out/"});
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0],
            "These files could not be converted:\n"
            "/clips/a.avi (the end time \"1:30\" is not a time of the form hh:mm:ss)\n"
            "/clips/c.avi (the end time \"1:30\" is not a time of the form hh:mm:ss)");
  EXPECT_FALSE(state.Running);
  // Each checked row waits, then shows why it failed; the unchecked row is left alone.
  EXPECT_EQ(host.statuses,
            (std::vector<std::string>{"0 Waiting", "2 Waiting",
                                      "0 Failed: the end time \"1:30\" is not a time of the form hh:mm:ss",
                                      "2 Failed: the end time \"1:30\" is not a time of the form hh:mm:ss"}));

  // A power-off the system grants ends the program before anything else is shown.
  host = RecordingHost{};
  host.shutdown = true;
  host.power_off_works = true;
  Run();
  EXPECT_EQ(host.shutdown_calls, 1);
  EXPECT_EQ(host.quits, 1);
  EXPECT_TRUE(host.warnings.empty());

  // A refused power-off leaves the program running, and the failures are still named.
  host = RecordingHost{};
  host.shutdown = true;
  Run();
  EXPECT_EQ(host.shutdown_calls, 1);
  EXPECT_EQ(host.quits, 0);
  EXPECT_EQ(host.warnings.size(), 1u);
}

TEST_F(EngineAlone, ProgressWindowStopGoesThroughItsDependencies) {
  Row("True", "/clips/a.avi");
  progress.Form.Show();
  dialogs.yes_no_answers = {false, true};
  progress.btnStop1Click();
  EXPECT_EQ(stops, 0);
  EXPECT_TRUE(progress.Form.Visible());
  progress.btnStop1Click();
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(main_enabled, 1);
  EXPECT_TRUE(state.StopRequested);
  EXPECT_TRUE(state.BatchInterrupted);
  EXPECT_EQ(state.RowIndex, 11);
  EXPECT_FALSE(progress.Form.Visible());

  // Pause only shows when the encoder could be suspended.
  progress.btnPauseClick();
  EXPECT_FALSE(progress.Paused);
  suspend_answer = true;
  progress.btnPauseClick();
  EXPECT_TRUE(progress.Paused);
}

TEST(RangeSecondsText, EndMinusStartOrTheWholeFileOrARefusal) {
  EXPECT_EQ(RangeSecondsText("/a.avi", "00:00:10", "00:01:00"), "50");
  // A range that holds nothing is refused with its cells named.
  for (const auto& [start, end] : {std::pair{"01:00:00", "00:59:00"}, {"00:00:10", "00:00:10"}}) {
    try {
      RangeSecondsText("/a.avi", start, end);
      ADD_FAILURE() << start << " to " << end << " was accepted";
    } catch (const TrimTimeError& refused) {
      EXPECT_EQ(refused.reason(), std::string("the range is empty (start ") + start + ", end " + end + ")");
    }
  }
  // Without a start nothing is checked: the length is the end's, or 0.
  EXPECT_EQ(RangeSecondsText("/a.avi", "", "00:00:07"), "7");
  EXPECT_EQ(RangeSecondsText("/a.avi", "", "junk"), "0");
  EXPECT_EQ(RangeSecondsText("/a.avi", "", ""), "0");
  EXPECT_THROW(RangeSecondsText("/a.avi", "00:00:10", "1:30"), TrimTimeError);
  EXPECT_THROW(RangeSecondsText("/a.avi", "0:0:10", "00:01:30"), TrimTimeError);
}
