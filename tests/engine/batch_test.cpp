// The batch driver in virtual time: pretend encoder processes in a fake process
// table, a stand-in encoder script for the exit codes, and the user's clicks
// injected at chosen moments.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/converting_form.h"
#include "engine_test_support.h"
#include "platform/errors.h"

using engine_tests::AddRow;
using testing_support::WriteFile;

namespace {

// The encoder each converted row starts shows up in the process table at the
// row's first lookup, as a child of this program, and stays for the given time
// (or until it is ended).
class PretendEncoders {
 public:
  PretendEncoders(testing_support::TestProgram& tp, int duration_ms) : tp_(tp), duration_ms_(duration_ms) {
    tp_.processes.on_snapshot = [this] { Tick(); };
  }
  // Rows (by count of rows done before them) whose encoder never shows up.
  std::vector<int> absent;

 private:
  void Tick() {
    const int row = tp_->CustomProc().FilesDone;
    const int64_t now = tp_.loop.Now();
    if (row != current_row_) {
      current_row_ = row;
      if (std::find(absent.begin(), absent.end(), row) == absent.end()) {
        pid_ = tp_.processes.Add(tp_->EncoderName());
        tp_->CommonLib().EncoderChildren.Add(pid_);
        ends_at_ = now + duration_ms_;
      }
    }
    if (pid_ && now >= ends_at_) {
      tp_.processes.Remove(pid_);
      tp_->CommonLib().EncoderChildren.Collect(pid_, [] { return std::optional<int>(0); });
      pid_ = 0;
    }
  }
  testing_support::TestProgram& tp_;
  int duration_ms_;
  int current_row_ = -1;
  pid_t pid_ = 0;
  int64_t ends_at_ = 0;
};

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_tests::SetUpConversionLists(*tp);
    tp->MainForm().edtOutputFolder.SetText(tp.dir.path() + "out");
    // Stands in for the encoder: sources named "fail" fail; the others write
    // their output file (the last argument), except that those named "none"
    // write nothing and those named "empty" an empty file.
    WriteFile(tp.AppDir() + "evc",
              "#!/bin/sh\nfor a; do case \"$a\" in *fail*) exit 1;; esac; out=$a; done\n"
              "case \"$out\" in *none*) exit 0;; *empty*) : > \"$out\"; exit 0;; esac\n"
              "printf data > \"$out\"\nexit 0\n");
    std::filesystem::permissions(tp.AppDir() + "evc", std::filesystem::perms::owner_all);
    tp->ConvertingForm().Form.Subscribe([this] {
      const bool visible = tp->ConvertingForm().Form.Visible();
      if (visible && !progress_visible_) ++progress_shown;
      progress_visible_ = visible;
    });
  }

  TCustomProc& proc() { return tp->CustomProc(); }
  TFrmMainForm& main() { return tp->MainForm(); }
  TfrmConverting& progress() { return tp->ConvertingForm(); }

  std::vector<std::string> LogStarting(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const auto& line : tp.LogMessages())
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }
  void PressStop(int64_t at_ms, bool answer) {
    tp.loop.At(at_ms, [this, answer] {
      tp.dialogs.yes_no_answers.push_back(answer);
      progress().btnStop1Click();
    });
  }
  void PressClose(int64_t at_ms, bool answer) {
    tp.loop.At(at_ms, [this, answer] {
      tp.dialogs.yes_no_answers.push_back(answer);
      closed = progress().FormClose();
    });
  }
  std::string Folder() const { return tp.dir.path() + "out/"; }

  testing_support::TestProgram tp;
  int progress_shown = 0;
  bool closed = false;

 private:
  bool progress_visible_ = false;
};

}  // namespace

TEST_F(Batch, EmptyListWarnsAndDoesNothingElse) {
  main().chkShowOutputDirectory.SetChecked(true);
  main().chkShutdown.SetChecked(true);
  main().btnConvertClick();
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Warning);
  EXPECT_EQ(tp.dialogs.messages[0].caption, "Video To Plim Converter");
  EXPECT_EQ(tp.dialogs.messages[0].text, "Please add media files you want to convert into the list.");
  EXPECT_TRUE(tp.journal.empty());
  EXPECT_EQ(progress_shown, 0);
  EXPECT_TRUE(main().Form.Enabled());
  EXPECT_TRUE(tp.LogMessages().empty());
}

TEST_F(Batch, ThreeCheckedRowsOfFiveConvertInListOrder) {
  PretendEncoders encoders(tp, 1500);
  AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:10");
  AddRow(*tp, "true", "/clips/b.avi", "00:00:00", "00:00:10");
  AddRow(*tp, "True", "/clips/c.avi", "00:00:00", "00:00:10");
  AddRow(*tp, "False", "/clips/d.avi", "00:00:00", "00:00:10");
  AddRow(*tp, "True", "/clips/e.avi", "00:00:00", "00:00:10");
  // During the first row: the progress window up, the main window disabled.
  bool seen_busy = false;
  tp.loop.At(1000, [&] { seen_busy = progress().Form.Visible() && !main().Form.Enabled(); });

  main().btnConvertClick();

  EXPECT_TRUE(seen_busy);
  EXPECT_EQ(proc().CheckedCount, 3);
  EXPECT_EQ(proc().FilesDone, 3);
  const auto params = LogStarting("parameter: ");
  ASSERT_EQ(params.size(), 3u);
  EXPECT_NE(params[0].find("\"/clips/a.avi\""), std::string::npos);
  EXPECT_NE(params[1].find("\"/clips/c.avi\""), std::string::npos);
  EXPECT_NE(params[2].find("\"/clips/e.avi\""), std::string::npos);
  // Each command is logged before its row's result.
  const auto log = tp.LogMessages();
  std::vector<std::string> order;
  for (const auto& line : log)
    if (line.rfind("parameter: ", 0) == 0 || line.rfind("Convert result: ", 0) == 0) order.push_back(line.substr(0, 9));
  EXPECT_EQ(order,
            (std::vector<std::string>{"parameter", "Convert r", "parameter", "Convert r", "parameter", "Convert r"}));
  EXPECT_EQ(LogStarting("Convert result: /clips/c.avi -> exit code 0").size(), 1u);
  // Two pauses and the encoder's time for every row.
  EXPECT_GE(tp.loop.Now(), 3 * (2000 + 3000));
  // Shown once, and left as it should be.
  EXPECT_EQ(progress_shown, 1);
  EXPECT_FALSE(progress().Form.Visible());
  EXPECT_TRUE(main().Form.Enabled());
  EXPECT_EQ(tp.journal, std::vector<std::string>{"open " + Folder()});
  EXPECT_TRUE(tp.dialogs.messages.empty());
  EXPECT_FALSE(proc().BatchRunning());
}

TEST_F(Batch, NoneCheckedStillRunsTheAfterBatchActions) {
  AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:10");
  main().btnConvertClick();
  tp.journal.clear();

  main().dxTreeSourceFileInfo.SetCell(0, 0, "False");
  main().chkShutdown.SetChecked(true);
  main().btnConvertClick();
  EXPECT_EQ(progress_shown, 1) << "only the first batch showed the window";
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_EQ(tp.journal, (std::vector<std::string>{"open " + Folder(), "power off", "quit"}));
}

TEST_F(Batch, ForeignEncoderProcessesNeitherHoldTheBatchNorAreEnded) {
  // Another user's or another instance's encoders, one of them immune to signals.
  const pid_t foreign = tp.processes.Add("evc");
  const pid_t foreign_rm = tp.processes.Add("revc");
  const pid_t foreign_protected = tp.processes.Add("evc", false, /*protected_process=*/true);
  PretendEncoders encoders(tp, 8000);
  AddRow(*tp, "True", "/clips/a.avi");
  AddRow(*tp, "True", "/clips/b.avi");
  main().btnConvertClick();
  // The first row waits for its own encoder only; Stop comes during the second.
  EXPECT_EQ(proc().FilesDone, 2);
  EXPECT_LT(tp.loop.Now(), 2 * (2000 + 3000 + 8000) + 300);

  PressStop(tp.loop.Now() + 7000, true);
  main().btnConvertClick();
  EXPECT_TRUE(tp.processes.Alive(foreign));
  EXPECT_TRUE(tp.processes.Alive(foreign_rm));
  EXPECT_TRUE(tp.processes.Alive(foreign_protected));
  for (const pid_t pid : {foreign, foreign_rm, foreign_protected}) {
    EXPECT_EQ(std::count(tp.processes.signals.begin(), tp.processes.signals.end(), "TERM " + std::to_string(pid)), 0);
    EXPECT_EQ(std::count(tp.processes.signals.begin(), tp.processes.signals.end(), "KILL " + std::to_string(pid)), 0);
  }
  EXPECT_EQ(tp.processes.signals.size(), 1u) << "only our own encoder was asked to end";
  EXPECT_EQ(LogStarting("Terminate process error.").size(), 0u);
}

TEST_F(Batch, StopDuringARowEndsTheBatchWithoutAfterBatchActions) {
  PretendEncoders encoders(tp, 10000);
  for (const char* name : {"a", "b", "c"}) AddRow(*tp, "True", std::string("/clips/") + name + ".avi");
  main().chkShowOutputDirectory.SetChecked(true);
  main().chkShutdown.SetChecked(true);
  PressStop(7000, true);
  main().btnConvertClick();

  EXPECT_LT(tp.loop.Now(), 7500) << "the wait ends at the next poll";
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_EQ(proc().FilesDone, 1);
  EXPECT_EQ(tp.processes.Count("evc"), 0u);
  EXPECT_TRUE(tp.journal.empty());
  EXPECT_FALSE(proc().StopRequested) << "cleared for the next batch";
  EXPECT_FALSE(progress().Form.Visible());
  EXPECT_TRUE(main().Form.Enabled());
  EXPECT_EQ(LogStarting("Convert result: /clips/a.avi -> stopped, exit code 0").size(), 1u);
  EXPECT_TRUE(tp.dialogs.messages.empty());

  // The next batch runs to its end and carries out its actions.
  main().chkShutdown.SetChecked(false);
  main().btnConvertClick();
  EXPECT_EQ(LogStarting("parameter: ").size(), 4u);
  EXPECT_EQ(tp.journal, std::vector<std::string>{"open " + Folder()});
}

TEST_F(Batch, StopAnsweredNoLetsTheBatchGoOn) {
  PretendEncoders encoders(tp, 2000);
  for (const char* name : {"a", "b"}) AddRow(*tp, "True", std::string("/clips/") + name + ".avi");
  PressStop(6000, false);
  PressClose(13000, false);
  main().btnConvertClick();
  EXPECT_EQ(tp.dialogs.questions.size(), 2u);
  EXPECT_EQ(proc().FilesDone, 2);
  EXPECT_FALSE(closed);
  EXPECT_EQ(tp.journal, std::vector<std::string>{"open " + Folder()});
}

TEST_F(Batch, StopBeforeTheRunnerStartsPreventsThatRow) {
  PretendEncoders encoders(tp, 5000);
  for (const char* name : {"a", "b", "c"}) AddRow(*tp, "True", std::string("/clips/") + name + ".avi");
  main().chkShowOutputDirectory.SetChecked(true);
  // During the first row's pause, before its encoder starts.
  PressStop(1000, true);
  main().btnConvertClick();
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_EQ(LogStarting("Convert result: ").size(), 1u);
  EXPECT_EQ(LogStarting("Convert result: /clips/a.avi -> stopped before the encoder started").size(), 1u);
  EXPECT_EQ(proc().FilesDone, 0);
  EXPECT_FALSE(testing_support::Exists(Folder() + "a.mp4")) << "the encoder ran";
  EXPECT_LT(tp.loop.Now(), 2100);
  EXPECT_TRUE(tp.journal.empty());
  EXPECT_FALSE(proc().StopRequested);
  EXPECT_FALSE(progress().Form.Visible());
  EXPECT_TRUE(main().Form.Enabled());
  EXPECT_TRUE(tp.dialogs.messages.empty());
}

TEST_F(Batch, CloseBeforeTheRunnerStartsPreventsThatRowButNotTheAfterBatchActions) {
  PretendEncoders encoders(tp, 5000);
  for (const char* name : {"a", "b"}) AddRow(*tp, "True", std::string("/clips/") + name + ".avi");
  main().chkShowOutputDirectory.SetChecked(true);
  PressClose(500, true);
  main().btnConvertClick();
  EXPECT_TRUE(closed);
  EXPECT_EQ(LogStarting("Convert result: /clips/a.avi -> stopped before the encoder started").size(), 1u);
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_FALSE(testing_support::Exists(Folder() + "a.mp4"));
  EXPECT_EQ(tp.journal, std::vector<std::string>{"open " + Folder()});
}

TEST_F(Batch, ExitCodeZeroWithoutAnOutputFileIsAFailure) {
  PretendEncoders encoders(tp, 500);
  AddRow(*tp, "True", "/clips/none.avi");
  AddRow(*tp, "True", "/clips/good.avi");
  // An empty file at the chosen name proves nothing either.
  AddRow(*tp, "True", "/clips/empty.avi");
  main().btnConvertClick();
  EXPECT_EQ(proc().FilesDone, 3);
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].text,
            "These files could not be converted:\n/clips/none.avi (no output file)\n/clips/empty.avi (no output file)");
  EXPECT_EQ(LogStarting("Convert result: /clips/none.avi -> exit code 0, no output file").size(), 1u);
  EXPECT_EQ(LogStarting("Convert result: /clips/empty.avi -> exit code 0, no output file").size(), 1u);
  EXPECT_EQ(LogStarting("Convert result: /clips/good.avi -> exit code 0").size(), 1u);
  EXPECT_TRUE(testing_support::Exists(Folder() + "good.mp4"));
}

TEST_F(Batch, CloseBoxEndsTheBatchButTheAfterBatchActionsRun) {
  PretendEncoders encoders(tp, 10000);
  for (const char* name : {"a", "b", "c"}) AddRow(*tp, "True", std::string("/clips/") + name + ".avi");
  main().chkShowOutputDirectory.SetChecked(true);
  main().chkShutdown.SetChecked(true);
  PressClose(7000, true);
  main().btnConvertClick();
  EXPECT_TRUE(closed);
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_EQ(tp.journal, (std::vector<std::string>{"open " + Folder(), "power off", "quit"}));
  EXPECT_EQ(tp.quits, 1);
}

TEST_F(Batch, ShutdownEndsTheProgramRightAfterTheRequest) {
  PretendEncoders encoders(tp, 100);
  AddRow(*tp, "True", "/clips/fail.avi");
  main().chkShowOutputDirectory.SetChecked(false);
  main().chkShutdown.SetChecked(true);
  main().btnConvertClick();
  EXPECT_EQ(tp.journal, (std::vector<std::string>{"power off", "quit"}));
  // No box may hold up the power-off: the failure is in the log only.
  EXPECT_TRUE(tp.dialogs.messages.empty());
  EXPECT_EQ(LogStarting("Convert result: /clips/fail.avi -> exit code 1").size(), 1u);
}

TEST_F(Batch, FailedRowsAreLoggedAndListedInOneWarning) {
  PretendEncoders encoders(tp, 500);
  AddRow(*tp, "True", "/clips/fail one.avi");
  AddRow(*tp, "True", "/clips/good.avi");
  AddRow(*tp, "True", "/clips/fail two.avi");
  main().btnConvertClick();
  EXPECT_EQ(proc().FilesDone, 3) << "a failure does not end the batch";
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Warning);
  EXPECT_EQ(
      tp.dialogs.messages[0].text,
      "These files could not be converted:\n/clips/fail one.avi (exit code 1)\n/clips/fail two.avi (exit code 1)");
  EXPECT_EQ(LogStarting("Convert result: ").size(), 3u);
  // The box comes after the windows are back.
  EXPECT_TRUE(main().Form.Enabled());
}

TEST_F(Batch, ARowWhoseTrimCellIsNoTimeIsNamedAndTheOthersConvert) {
  PretendEncoders encoders(tp, 500);
  AddRow(*tp, "True", "/clips/bad.avi", "00:00:00", "1:30");
  AddRow(*tp, "True", "/clips/good.avi");
  main().btnConvertClick();
  EXPECT_EQ(proc().FilesDone, 2);
  EXPECT_EQ(progress_shown, 1) << "no encoder run for the refused row";
  EXPECT_TRUE(LogStarting("parameter: ").size() == 1u &&
              LogStarting("parameter: ")[0].find("good.avi") != std::string::npos);
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].text,
            "These files could not be converted:\n/clips/bad.avi (the end time \"1:30\" is not a time of the form "
            "hh:mm:ss)");
  EXPECT_TRUE(main().Form.Enabled());
}

TEST_F(Batch, EncoderThatCannotStartCountsAsDoneAfterTheGraceTime) {
  std::filesystem::remove(tp.AppDir() + "evc");
  AddRow(*tp, "True", "/clips/a.avi");
  AddRow(*tp, "True", "/clips/b.avi");
  main().btnConvertClick();
  EXPECT_EQ(proc().FilesDone, 2);
  EXPECT_LT(tp.loop.Now(), 2 * 5000 + 200);
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_NE(tp.dialogs.messages[0].text.find("/clips/b.avi (the encoder could not be started)"), std::string::npos);
  EXPECT_EQ(LogStarting("Convert result: /clips/a.avi -> the encoder could not be started").size(), 1u);
}

TEST_F(Batch, ErrorWhilePreparingARowRestoresTheWindows) {
  PretendEncoders encoders(tp, 1000);
  AddRow(*tp, "True", "/clips/a.avi");
  AddRow(*tp, "True", "/clips/b.avi");
  main().chkShowOutputDirectory.SetChecked(true);
  // During the first row the script's place is taken by a folder.
  tp.loop.At(3000, [&] {
    std::filesystem::remove(tp.AppDir() + "VideoFile.avs");
    std::filesystem::create_directory(tp.AppDir() + "VideoFile.avs");
  });
  EXPECT_THROW(main().btnConvertClick(), FileCreateError);
  EXPECT_EQ(proc().FilesDone, 1);
  EXPECT_FALSE(progress().Form.Visible());
  EXPECT_TRUE(main().Form.Enabled());
  EXPECT_FALSE(proc().BatchRunning());
  EXPECT_TRUE(tp.journal.empty());

  // Once the cause is gone the next batch runs normally.
  std::filesystem::remove(tp.AppDir() + "VideoFile.avs");
  main().btnConvertClick();
  EXPECT_EQ(proc().FilesDone, 2);
}

TEST_F(Batch, SecondConvertDuringABatchIsRefused) {
  PretendEncoders encoders(tp, 1000);
  AddRow(*tp, "True", "/clips/a.avi");
  tp.loop.At(1000, [&] { main().btnConvertClick(); });
  main().btnConvertClick();
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_EQ(proc().FilesDone, 1);
}

TEST_F(Batch, ConsoleTextsMoveTheProgressWindow) {
  PretendEncoders encoders(tp, 3000);
  AddRow(*tp, "True", "/clips/clip.rmvb", "00:00:00", "00:01:00");
  const std::string line = "frame=  450 q=2.0 size=     512kB time=30.45 bitrate= 137.7kbits/s\r";
  int position = -1;
  std::string file;
  tp.loop.At(5500, [&] {
    proc().ConvertOutputCallback(line);
    proc().ConvertOutputCallback(line);
    position = progress().ProgressBar1.Position();
    file = progress().lblCurFileName.Caption();
  });
  main().btnConvertClick();
  EXPECT_EQ(position, 30);
  EXPECT_EQ(file, tp.AppDir() + "VideoFile.avs");
}

TEST_F(Batch, RefusedShutdownIsToldAndTheProgramGoesOn) {
  PretendEncoders encoders(tp, 100);
  AddRow(*tp, "True", "/clips/a.avi");
  main().chkShowOutputDirectory.SetChecked(false);
  main().chkShutdown.SetChecked(true);
  tp.power.refusal = "Access denied";
  main().btnConvertClick();
  EXPECT_EQ(tp.journal, (std::vector<std::string>{"power off"}));
  EXPECT_EQ(tp.quits, 0);
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Warning);
  EXPECT_EQ(tp.dialogs.messages[0].text, "The computer could not be shut down: Access denied");
  EXPECT_EQ(LogStarting("Power off error: Access denied").size(), 1u);
  EXPECT_FALSE(progress().Form.Visible());
  EXPECT_TRUE(main().Form.Enabled());
}

TEST_F(Batch, ARelativeOutputFolderIsCreatedAndWrittenWhereTheEncoderWritesIt) {
  PretendEncoders encoders(tp, 500);
  testing_support::WriteFile(tp.AppDir() + "Config/UserSettings.ini", "[USRInfo]\r\nOutDir=relout\r\n");
  proc().LoadUserSettings();
  AddRow(*tp, "True", "/clips/a.avi");
  main().chkShowOutputDirectory.SetChecked(true);
  main().btnConvertClick();
  // The encoder runs in the program folder; the folder, the output and the
  // folder shown afterwards are all that one.
  EXPECT_TRUE(testing_support::Exists(tp.AppDir() + "relout/a.mp4"));
  EXPECT_TRUE(tp.dialogs.messages.empty());
  EXPECT_EQ(tp.journal, std::vector<std::string>{"open " + tp.AppDir() + "relout/"});
}

TEST_F(Batch, AFileNameWithLineBreaksStaysOnOneLogLine) {
  PretendEncoders encoders(tp, 500);
  AddRow(*tp, "True", "/clips/a\r\nQuorvan Soft 01/01/2024 00:00:00|forged.avi");
  main().btnConvertClick();
  const auto params = LogStarting("parameter: ");
  ASSERT_EQ(params.size(), 1u);
  EXPECT_NE(params[0].find("a\\r\\nQuorvan Soft 01/01/2024 00:00:00|forged.avi"), std::string::npos) << params[0];
  EXPECT_EQ(LogStarting("forged").size(), 0u);
  EXPECT_EQ(LogStarting("Quorvan").size(), 0u);
}
