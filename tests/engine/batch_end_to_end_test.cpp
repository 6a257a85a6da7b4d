// Whole batches with the real encoder, real processes and generated media.
// The encoder runs under a name of the test's own (a link to build/evc), so the
// process lookups and the Stop button only ever see what these tests started.
// Set VTPC_E2E_ENCODER to run them against another encoder binary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "engine/converting_form.h"
#include "engine/process_table.h"
#include "engine_test_support.h"
#include "media_probe.h"
#include "platform/command_line.h"
#include "platform/process_table.h"
#include "test_media.h"
#include "test_program.h"
#include "ui/event_loop.h"

using engine_tests::AddRow;
using engine_tests::MakeClip;
using engine_tests::ProbeMedia;
using testing_support::Exists;

namespace {

// The real table, with a look at every snapshot the program takes.
class WatchedTable : public platform::ProcProcessTable {
 public:
  std::vector<platform::ProcessEntry> Snapshot() override {
    auto entries = platform::ProcProcessTable::Snapshot();
    if (on_snapshot) on_snapshot(entries);
    return entries;
  }
  std::function<void(const std::vector<platform::ProcessEntry>&)> on_snapshot;
};

class EndToEnd : public ::testing::Test {
 protected:
  // The program folder, with a trailing separator.
  virtual std::string ProgramFolder() const { return dir.path(); }

  void SetUp() override {
    const char* override_path = std::getenv("VTPC_E2E_ENCODER");
    const std::string encoder = override_path ? override_path : std::string(VTPC_PROGRAM_DIR) + "evc";
    if (!Exists(encoder)) GTEST_SKIP() << "no encoder at " << encoder << " yet";

    const std::string app_dir = ProgramFolder();
    ::mkdir(app_dir.c_str(), 0755);
    ::mkdir((app_dir + "Config").c_str(), 0755);
    name = engine_tests::UniqueProcessName("e2e");
    ASSERT_EQ(::symlink(encoder.c_str(), (app_dir + name).c_str()), 0);
    // The RealMedia encoder is the same program under its own name.
    ASSERT_EQ(::symlink(encoder.c_str(), (app_dir + "r" + name).c_str()), 0);
    launcher.journal = &journal;
    power.journal = &journal;

    ProgramServices services;
    services.app_dir = app_dir;
    services.dialogs = &dialogs;
    services.loop = &loop;
    services.launcher = &launcher;
    services.power = &power;
    services.processes = &table;
    services.encoder_name = name;
    services.rm_encoder_name = "r" + name;
    services.quit = [this] { journal.push_back("quit"); };
    services.timing.convert_prepare_ms = 200;
    services.timing.convert_grace_ms = 500;
    Wire(services);
    program = std::make_unique<Program>(std::move(services));
    engine_tests::SetUpConversionLists(*program);
    program->MainForm().edtOutputFolder.SetText(out());
  }

  void TearDown() override {
    // Nothing of our encoder's name may outlive the test.
    if (program) program->CommonLib().StopEncoder(name);
  }

  // Lets a fixture put services of its own in.
  virtual void Wire(ProgramServices&) {}

  std::string out() const { return dir.path() + "out"; }
  std::string media(const std::string& file) const { return dir.path() + "media/" + file; }
  void Clip(const std::string& file, double seconds, const std::string& size = "160x120", int fps = 15) {
    ::mkdir((dir.path() + "media").c_str(), 0755);
    ASSERT_TRUE(MakeClip(media(file), seconds, size, fps)) << "ffmpeg could not make " << file;
  }
  std::vector<std::string> LogStarting(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : testing_support::ReadLogMessages(ProgramFolder()))
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }

  testing_support::TempDir dir;
  testing_support::FakeDialogs dialogs;
  testing_support::FakeLauncher launcher;
  testing_support::FakePowerControl power;
  ui::SteadyClock clock;
  ui::BasicEventLoop loop{clock};
  WatchedTable table;
  std::vector<std::string> journal;
  std::string name;
  std::unique_ptr<Program> program;
};

}  // namespace

TEST_F(EndToEnd, ThreeCheckedRowsOfFiveBecomePlayableOutputsInOrder) {
  Clip("a.avi", 3);
  Clip("b.avi", 2);
  Clip("c.avi", 4);
  Clip("d.avi", 2);
  Clip("e.avi", 3);
  AddRow(*program, "True", media("a.avi"), "00:00:00", "00:00:02");
  AddRow(*program, "False", media("b.avi"), "00:00:00", "00:00:02");
  AddRow(*program, "True", media("c.avi"), "00:00:01", "00:00:03");
  AddRow(*program, "false", media("d.avi"), "00:00:00", "00:00:02");
  AddRow(*program, "True", media("e.avi"));  // no range: the whole file

  program->MainForm().btnConvertClick();

  EXPECT_EQ(LogStarting("parameter: ").size(), 3u);
  const auto results = LogStarting("Convert result: ");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0], "Convert result: " + media("a.avi") + " -> exit code 0");
  EXPECT_EQ(results[1], "Convert result: " + media("c.avi") + " -> exit code 0");
  EXPECT_EQ(results[2], "Convert result: " + media("e.avi") + " -> exit code 0");
  const std::pair<const char*, double> expected[] = {{"a.mp4", 2}, {"c.mp4", 2}, {"e.mp4", 3}};
  for (const auto& [file, seconds] : expected) {
    const auto facts = ProbeMedia(out() + "/" + file);
    EXPECT_TRUE(facts.opened) << file;
    EXPECT_GT(facts.video_frames, 0) << file;
    EXPECT_GT(facts.audio_frames, 0) << file;
    EXPECT_NEAR(facts.duration_s, seconds, 0.25) << file;
  }
  EXPECT_FALSE(Exists(out() + "/b.mp4"));
  EXPECT_FALSE(Exists(out() + "/d.mp4"));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(journal, std::vector<std::string>{"open " + out() + "/"});
  EXPECT_EQ(program->SysFunc().ProcessIdByName(name), 0);
}

// Short files relay a text or two each: the counter and the total bar still
// follow every one, and a new batch does not open on the last one's text.
TEST_F(EndToEnd, TheCounterAndTheTotalBarFollowEveryShortFile) {
  constexpr int kFiles = 6;
  for (int i = 0; i < kFiles; ++i) {
    Clip("s" + std::to_string(i) + ".avi", 1.2);
    AddRow(*program, "True", media("s" + std::to_string(i) + ".avi"));
  }
  TfrmConverting& progress = program->ConvertingForm();
  std::vector<std::string> counters, opened_on;
  int total_peak = 0;
  const int counter_id = progress.lblPersent.Subscribe([&] {
    if (counters.empty() || counters.back() != progress.lblPersent.Caption())
      counters.push_back(progress.lblPersent.Caption());
  });
  const int total_id =
      progress.pbTotal.Subscribe([&] { total_peak = std::max(total_peak, progress.pbTotal.Position()); });
  bool was_visible = false;
  const int form_id = progress.Form.Subscribe([&] {
    if (progress.Form.Visible() && !was_visible) opened_on.push_back(progress.statState.PanelText());
    was_visible = progress.Form.Visible();
  });
  program->MainForm().btnConvertClick();
  for (int k = 1; k <= kFiles; ++k) {
    const std::string counter = "Current: " + std::to_string(k) + ", Total: " + std::to_string(kFiles);
    EXPECT_NE(std::find(counters.begin(), counters.end(), counter), counters.end())
        << counter << " never shown: " << ::testing::PrintToString(counters);
  }
  EXPECT_GE(total_peak, (kFiles - 1) * 100);

  ASSERT_FALSE(progress.statState.PanelText().empty());
  ui::SourceGrid& grid = program->MainForm().dxTreeSourceFileInfo;
  for (int row = 1; row < kFiles; ++row) grid.SetCell(row, ui::kColChecked, "False");
  opened_on.clear();
  program->MainForm().btnConvertClick();
  progress.lblPersent.Unsubscribe(counter_id);
  progress.pbTotal.Unsubscribe(total_id);
  progress.Form.Unsubscribe(form_id);
  ASSERT_FALSE(opened_on.empty());
  EXPECT_EQ(opened_on.front(), "");
}

TEST_F(EndToEnd, StopDuringARowEndsTheEncoderAndLeavesAPlayablePart) {
  Clip("long.avi", 300, "160x120", 5);
  Clip("next.avi", 2);
  AddRow(*program, "True", media("long.avi"), "00:00:00", "00:05:00", "00:05:00");
  AddRow(*program, "True", media("next.avi"));
  program->MainForm().chkShutdown.SetChecked(true);

  // Stop once the encoder has reported its progress twice.
  TfrmConverting& progress = program->ConvertingForm();
  ui::Timer watcher(20, true);
  int64_t stop_ms = -1;
  watcher.OnTimer = [&] {
    if (stop_ms >= 0 || program->CustomProc().RefreshCount < 2) return;
    if (progress.statState.PanelText().find("time=") == std::string::npos) return;
    dialogs.yes_no_answers.push_back(true);
    const auto start = std::chrono::steady_clock::now();
    progress.btnStop1Click();
    stop_ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  loop.Attach(watcher);
  program->MainForm().btnConvertClick();
  loop.Detach(watcher);

  ASSERT_GE(stop_ms, 0) << "the encoder never reported";
  EXPECT_LT(stop_ms, 3000) << "the encoder should end within about a second";
  EXPECT_EQ(program->SysFunc().ProcessIdByName(name), 0);
  EXPECT_EQ(LogStarting("parameter: ").size(), 1u);
  EXPECT_FALSE(Exists(out() + "/next.mp4"));
  // The part is kept under a name that says so; the finished name stays free.
  EXPECT_FALSE(Exists(out() + "/long.mp4"));
  const auto facts = ProbeMedia(out() + "/long.partial.mp4");
  EXPECT_TRUE(facts.opened) << "a stopped conversion leaves a playable file";
  EXPECT_GT(facts.video_frames, 0);
  EXPECT_GT(facts.duration_s, 0);
  EXPECT_LT(facts.duration_s, 299);
  EXPECT_TRUE(journal.empty()) << "no after-batch action after Stop";
  // The closing message lists it with how much of the source it holds.
  ASSERT_EQ(dialogs.messages.size(), 1u);
  const std::string& closing = dialogs.messages[0].text;
  EXPECT_NE(closing.find("\nlong.partial.mp4: 0"), std::string::npos) << closing;
  EXPECT_EQ(closing.substr(closing.size() - 9), " of 05:00") << closing;
  EXPECT_EQ(LogStarting("Convert result: " + media("long.avi") +
                        " -> stopped, exit code 143, partial output kept: " + out() + "/long.partial.mp4 (0")
                .size(),
            1u);
}

// The output's name is held from the moment it is chosen; a file made there
// by hand while the row converts is the user's: it is kept, and the output
// goes to the next free name, which the log gives.
TEST_F(EndToEnd, AFileMadeAtTheOutputNameMeanwhileIsKept) {
  Clip("clip.avi", 120, "160x120", 5);
  AddRow(*program, "True", media("clip.avi"));
  const std::string taken = out() + "/clip.mp4";
  ui::Timer watcher(20, true);
  bool swapped = false;
  watcher.OnTimer = [&] {
    if (swapped || program->CustomProc().RefreshCount < 1) return;
    ASSERT_TRUE(Exists(taken)) << "the name is not held";
    ::unlink(taken.c_str());
    testing_support::WriteFile(taken, "made meanwhile");
    swapped = true;
  };
  loop.Attach(watcher);
  program->MainForm().btnConvertClick();
  loop.Detach(watcher);
  ASSERT_TRUE(swapped);
  EXPECT_EQ(testing_support::ReadFile(taken), "made meanwhile");
  EXPECT_GT(ProbeMedia(out() + "/clip_1.mp4").video_frames, 0);
  EXPECT_EQ(LogStarting("Convert result: " + media("clip.avi") + " -> exit code 0, output written to " + out() +
                        "/clip_1.mp4")
                .size(),
            1u);
  EXPECT_EQ(program->CustomProc().LastOutput, out() + "/clip_1.mp4");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EndToEnd, ASourceThatGivesOutEarlyFailsItsRowAndKeepsWhatItGave) {
  ::mkdir((dir.path() + "media").c_str(), 0755);
  testing_support::MakeClipThatGivesOut(media("cut.flv"));
  AddRow(*program, "True", media("cut.flv"));
  program->MainForm().btnConvertClick();

  const std::string status = ui::StatusText(program->MainForm().dxTreeSourceFileInfo.Status(0));
  const std::string kept = ", kept as cut.partial.mp4";
  EXPECT_EQ(status.rfind("Failed: the source could be read for 0.", 0), 0u) << status;
  EXPECT_NE(status.find(" s of 2."), std::string::npos) << status;
  EXPECT_EQ(status.substr(status.size() - std::min(status.size(), kept.size())), kept);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            "These files could not be converted:\n" + media("cut.flv") + " (" + status.substr(8) + ")");
  EXPECT_TRUE(Exists(out() + "/cut.partial.mp4"));
  EXPECT_FALSE(Exists(out() + "/cut.mp4"));
}

TEST_F(EndToEnd, RowWhoseEncoderFailsIsListedInTheWarning) {
  Clip("good.avi", 2);
  testing_support::WriteFile(media("broken.avi"), "this is no video at all\n");
  AddRow(*program, "True", media("broken.avi"), "00:00:00", "00:00:02");
  AddRow(*program, "True", media("good.avi"), "00:00:00", "00:00:02");
  program->MainForm().btnConvertClick();

  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].kind, ui::MessageKind::Warning);
  const std::string& text = dialogs.messages[0].text;
  EXPECT_EQ(text.rfind("These files could not be converted:\n" + media("broken.avi") + " (exit code ", 0), 0u) << text;
  EXPECT_EQ(text.find("good.avi"), std::string::npos);
  EXPECT_TRUE(ProbeMedia(out() + "/good.mp4").opened);
  EXPECT_FALSE(Exists(out() + "/broken.mp4"));
}

TEST_F(EndToEnd, AfterBatchActionsReachTheServicesInOrder) {
  Clip("a.avi", 1);
  AddRow(*program, "True", media("a.avi"));
  program->MainForm().chkShowOutputDirectory.SetChecked(true);
  program->MainForm().chkShutdown.SetChecked(true);
  program->MainForm().btnConvertClick();
  EXPECT_EQ(journal, (std::vector<std::string>{"open " + out() + "/", "power off", "quit"}));
  EXPECT_TRUE(ProbeMedia(out() + "/a.mp4").opened);
}

namespace {

// A program folder whose name holds blanks (and quotes or commas), beside an
// executable named after its first word that must never run in its place.
class OddProgramFolder : public EndToEnd, public ::testing::WithParamInterface<const char*> {
 protected:
  std::string ProgramFolder() const override { return dir.path() + GetParam(); }
  void SetUp() override {
    testing_support::WriteFile(dir.path() + "My", "#!/bin/sh\necho ran > '" + hijacked() + "'\nexit 0\n");
    ::chmod((dir.path() + "My").c_str(), 0755);
    EndToEnd::SetUp();
  }
  std::string hijacked() const { return dir.path() + "hijacked"; }
};

}  // namespace

TEST_P(OddProgramFolder, OnlyTheEncoderInTheProgramFolderEverRuns) {
  Clip("a.avi", 2);
  // A RealMedia name: the other encoder, reading the script in the program
  // folder (it tells the format from the content).
  Clip("b.avi", 2);
  ASSERT_EQ(std::rename(media("b.avi").c_str(), media("b.rm").c_str()), 0);
  AddRow(*program, "True", media("a.avi"), "00:00:00", "00:00:01");
  AddRow(*program, "True", media("b.rm"));
  program->MainForm().btnConvertClick();

  EXPECT_FALSE(Exists(hijacked())) << "the executable at a shorter prefix ran";
  const auto params = LogStarting("parameter: ");
  ASSERT_EQ(params.size(), 2u);
  // The logged command shows the encoder's path quoted.
  EXPECT_EQ(params[0].rfind("parameter: " + platform::QuoteArgument(ProgramFolder() + name) + " -y -i ", 0), 0u)
      << params[0];
  EXPECT_EQ(params[1].rfind("parameter: " + platform::QuoteArgument(ProgramFolder() + "r" + name) + " -y -i " +
                                platform::QuoteArgument(ProgramFolder() + "VideoFile.avs"),
                            0),
            0u)
      << params[1];
  const auto results = LogStarting("Convert result: ");
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0], "Convert result: " + media("a.avi") + " -> exit code 0");
  EXPECT_EQ(results[1], "Convert result: " + media("b.rm") + " -> exit code 0");
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_NEAR(ProbeMedia(out() + "/a.mp4").duration_s, 1, 0.25);
  EXPECT_TRUE(ProbeMedia(out() + "/b.mp4").opened);
}

INSTANTIATE_TEST_SUITE_P(Folders, OddProgramFolder,
                         ::testing::Values("My Apps/", "My \"quoted\" Apps/", "My, Apps, Too/",
                                           "My \"odd\", \\\"folder\\/"));

TEST_F(EndToEnd, AnEncoderThatLeavesNoOutputIsAFailureDespiteExitCodeZero) {
  // The encoder finishes well, but its output is gone before the row is judged
  // (another program moved it away as soon as it appeared).
  Clip("a.avi", 2);
  AddRow(*program, "True", media("a.avi"));
  table.on_snapshot = [&](const std::vector<platform::ProcessEntry>& entries) {
    for (const auto& entry : entries)
      if (entry.name == name) return;
    if (Exists(out() + "/a.mp4")) std::rename((out() + "/a.mp4").c_str(), (dir.path() + "moved.mp4").c_str());
  };
  program->MainForm().btnConvertClick();
  table.on_snapshot = nullptr;
  EXPECT_TRUE(ProbeMedia(dir.path() + "moved.mp4").opened) << "the encoder did write it";
  EXPECT_EQ(LogStarting("Convert result: " + media("a.avi") + " -> exit code 0, no output file").size(), 1u);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "These files could not be converted:\n" + media("a.avi") + " (no output file)");
}
