#include "engine/runner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "engine_test_support.h"
#include "platform/command_line.h"

using testing_support::Exists;
using testing_support::TempDir;

namespace {

// Runs in the folder with a short pause after each relayed text.
RunnerSettings QuickSettings(const std::string& folder) {
  RunnerSettings settings;
  settings.folder = folder;
  settings.relay_pause_ms = 20;
  return settings;
}

class Runner : public ::testing::Test {
 protected:
  void SetUp() override {
    helper = engine_tests::InstallChildHelper(folder.path(), "child");
    settings.folder = folder.path().substr(0, folder.path().size() - 1);
    settings.relay_pause_ms = 20;
  }

  // Runs on this thread, collecting every text.
  RunOutcome Run(const std::string& arguments) {
    return RunPipedProcess(
        helper + " " + arguments, [this](const std::string& t) { texts.push_back(t); }, settings);
  }

  std::string AllText() const {
    std::string all;
    for (const auto& t : texts) all += t;
    return all;
  }

  TempDir folder;
  std::string helper;
  RunnerSettings settings;
  std::vector<std::string> texts;
};

bool HasUnreapedChildren() {
  int status = 0;
  return waitpid(-1, &status, WNOHANG | WNOWAIT) >= 0;
}

}  // namespace

TEST_F(Runner, MissingExecutableFailsAtOnceWithoutCallbackOrChild) {
  const auto outcome = RunPipedProcess(
      folder.path() + "no-such-program -y", [this](const std::string& t) { texts.push_back(t); }, settings);
  EXPECT_FALSE(outcome.started);
  EXPECT_TRUE(texts.empty());
  EXPECT_FALSE(HasUnreapedChildren());
  // A folder is no program either, nor is an empty command line.
  EXPECT_FALSE(RunPipedProcess(folder.path(), nullptr, settings).started);
  EXPECT_FALSE(RunPipedProcess("", nullptr, settings).started);
}

TEST_F(Runner, SilentChildGivesNoCallbackAndItsExitCode) {
  auto outcome = Run("silent");
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_TRUE(texts.empty());

  outcome = Run("exit 3");
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(outcome.exit_code, 3);

  // Ended by a signal: reported as 128 + the signal number.
  outcome = Run("selfkill");
  EXPECT_EQ(outcome.exit_code, 128 + SIGKILL);
  EXPECT_FALSE(HasUnreapedChildren());
}

TEST_F(Runner, TextWrittenJustBeforeExitingIsRelayedOnce) {
  EXPECT_TRUE(Run("print \"last words\"").started);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "last words");
}

// The encoder's closing line names the file it kept; it is for the batch, and
// the status shown keeps the last status line.
TEST_F(Runner, TheClosingLineIsKeptForTheBatchNotShown) {
  const RunOutcome finished = Run("print \"frame= 1 time=1.00\r\noutput: /out/a b.mp4\n\"");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "frame= 1 time=1.00\r\n");
  const auto kept = ReadKeptOutput(finished.tail);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->path, "/out/a b.mp4");
  EXPECT_FALSE(kept->partial);

  texts.clear();
  const RunOutcome stopped = Run("print \"partial output: 339.04 /out/long.partial.mp4\n\"");
  EXPECT_TRUE(texts.empty());
  const auto part = ReadKeptOutput(stopped.tail);
  ASSERT_TRUE(part);
  EXPECT_TRUE(part->partial);
  EXPECT_EQ(part->path, "/out/long.partial.mp4");
  EXPECT_DOUBLE_EQ(part->seconds, 339.04);
  EXPECT_EQ(FormatLength(part->seconds) + " of " + FormatLength(600), "05:39 of 10:00");
  EXPECT_EQ(FormatLength(3725), "1:02:05");
  EXPECT_FALSE(ReadKeptOutput("evc: stopped on request\npartial output: x\n"));
}

TEST_F(Runner, OnlyTheNewestChunkOfABacklogIsRelayed) {
  Run("bytes 3000");
  std::string block;
  for (int i = 0; i < 3000; ++i) block += static_cast<char>('a' + i % 26);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].size(), 954u);
  EXPECT_EQ(texts[0], block.substr(3000 - 954));

  // Exactly one window full is relayed whole.
  texts.clear();
  Run("bytes 1023");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], block.substr(0, 1023));
}

TEST_F(Runner, StandardOutputAndErrorArriveTogether) {
  Run("mixed");
  EXPECT_NE(AllText().find("OUT-TEXT"), std::string::npos);
  EXPECT_NE(AllText().find("ERR-TEXT"), std::string::npos);
}

TEST_F(Runner, ChildRunsInTheProgramFolder) {
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path("/");
  Run("cwd");
  std::filesystem::current_path(before);
  EXPECT_EQ(std::filesystem::canonical(AllText()), std::filesystem::canonical(settings.folder));
}

TEST_F(Runner, CommandLineIsSplitWithTheWindowsRules) {
  // The program's folder holds blanks and stands unquoted, as the builder writes it.
  const std::string spaced = folder.path() + "My Programs/";
  std::filesystem::create_directories(spaced);
  const std::string program = engine_tests::InstallChildHelper(spaced, "child helper");
  RunPipedProcess(
      program + " args -i " + platform::QuoteArgument("a \"b\" c\\") + " \"two words\" plain",
      [this](const std::string& t) { texts.push_back(t); }, settings);
  EXPECT_EQ(AllText(), "[-i]\n[a \"b\" c\\]\n[two words]\n[plain]\n");
}

TEST(RunnerThread, TextsReachTheCallbackOnTheLoopThreadInOrder) {
  TempDir folder;
  const std::string helper = engine_tests::InstallChildHelper(folder.path(), "child");
  testing_support::FakeEventLoop loop;
  const auto ui_thread = std::this_thread::get_id();
  std::vector<std::string> texts;
  bool on_ui_thread = true;
  {
    TAdvanceSystem runner(
        helper + " sequence",
        [&](const std::string& t) {
          texts.push_back(t);
          on_ui_thread = on_ui_thread && std::this_thread::get_id() == ui_thread;
        },
        loop, QuickSettings(folder.path()));
    runner.Start();
    while (!runner.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Nothing is handed over until the loop handles its pending events.
    EXPECT_TRUE(texts.empty());
    ASSERT_TRUE(runner.Outcome().has_value());
    EXPECT_TRUE(runner.Outcome()->started);
  }
  loop.ProcessEvents();
  std::string all;
  for (const auto& t : texts) all += t;
  EXPECT_EQ(all, "one\ntwo\nthree\n");
  EXPECT_TRUE(on_ui_thread);
}

TEST(RunnerThread, StopRequestChangesNothingAndFreeingWaitsForTheChild) {
  TempDir folder;
  const std::string helper = engine_tests::InstallChildHelper(folder.path(), "child");
  const std::string marker = folder.path() + "finished";
  testing_support::FakeEventLoop loop;
  {
    TAdvanceSystem runner(helper + " sleep 300 " + marker, nullptr, loop, QuickSettings(folder.path()));
    EXPECT_FALSE(runner.Finished());
    runner.Start();
    runner.Start();  // a second resume does nothing
    runner.Terminate();
    EXPECT_TRUE(runner.Terminated());
    EXPECT_FALSE(runner.Finished());
  }
  // The child was not cut short: it lived to write its marker.
  EXPECT_TRUE(Exists(marker));
  EXPECT_FALSE(HasUnreapedChildren());
}

TEST_F(Runner, RelaysAtMostOnceAPauseAndSleepsWhileThePipeIsEmpty) {
  settings.relay_pause_ms = 200;
  const auto start = std::chrono::steady_clock::now();
  Run("stream 1000");
  const auto wall_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  // Fifty status lines over a second, but one text per pause at most.
  EXPECT_GE(texts.size(), 2u);
  EXPECT_LE(static_cast<long>(texts.size()), wall_ms / 200 + 2);
  for (const auto& t : texts) EXPECT_NE(t.find("time="), std::string::npos);

  // A silent child: the runner waits for it without spinning on the pipe.
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  Run("sleep 500");
  getrusage(RUSAGE_SELF, &after);
  const auto cpu_ms = [](const rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000L + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000L;
  };
  EXPECT_LT(cpu_ms(after) - cpu_ms(before), 250);
}
