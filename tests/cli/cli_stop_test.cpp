// Stopping vtp-convert: signals and their exit statuses, nohup, partial files,
// a run killed outright, and the desktop services around a run.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "cli_fixture.h"
#include "common/text.h"
#include "fakes.h"
#include "media/duration_probe.h"
#include "private_bus.h"
#include "test_media.h"

extern char** environ;

using namespace testing_support;
using namespace cli_test;

namespace {

// --- Signals: the shell's exit statuses, and nohup respected. ---

class CliSignals : public CliRun {
 protected:
  void SetUp() override { MakeClip(".avi", 20, sources.file("long.avi")); }

  // Starts a run of the long clip (behind `wrapper`, if any), waits until its
  // encoder runs, sends the signal and returns the exit status.
  int StatusAfter(int signal_number, const std::vector<std::string>& wrapper = {}) {
    std::vector<std::string> argv = wrapper;
    for (const auto& a : {std::string(VTPC_CLI), std::string("--config"), config.path(), std::string("-o"), out.path(),
                          std::string("-q"), std::string("4"), sources.file("long.avi")})
      argv.push_back(a);
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, scratch.file("stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -2;
    const bool running = Eventually(
        [&] { return ReadFile(scratch.file("stderr.txt")).value_or("").find("converting") != std::string::npos; },
        20000);
    EXPECT_TRUE(running) << ReadFile(scratch.file("stderr.txt")).value_or("");
    kill(pid, signal_number);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
};

TEST_F(CliSignals, EachStoppingSignalGivesItsShellStatus) {
  EXPECT_EQ(StatusAfter(SIGINT), 130);
  EXPECT_EQ(StatusAfter(SIGTERM), 143);
  EXPECT_EQ(StatusAfter(SIGHUP), 129);
}

TEST_F(CliSignals, UnderNohupAHangUpIsIgnored) {
  EXPECT_EQ(StatusAfter(SIGHUP, {"nohup"}), 0) << ReadFile(scratch.file("stderr.txt")).value_or("");
  EXPECT_GT(media::DurationProbe().DurationMs(out.file("long.mp4")), 19000);
}

// Two runs at once into one folder, each with a source named clip.avi: each
// name is held on disk the moment it is chosen, so neither result is lost and
// each run reports the file it really wrote.
TEST_F(CliRun, TwoRunsRacingOnOneFolderKeepBothResults) {
  TempDir other, scratch2;
  MakeClip(".avi", 2, sources.file("clip.avi"));
  MakeClip(".avi", 3, other.file("clip.avi"));
  RunResult first, second;
  std::thread racer([&] {
    first = RunCli({"--config", config.path(), "-o", out.path(), "--json", sources.file("clip.avi")}, scratch);
  });
  second = RunCli({"--config", config.path(), "-o", out.path(), "--json", other.file("clip.avi")}, scratch2);
  racer.join();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  ASSERT_EQ(second.exit_code, 0) << second.err;
  const auto output_of = [](const std::string& json) {
    const size_t at = json.find("\"output\":\"") + 10;
    return json.substr(at, json.find('"', at) - at);
  };
  const std::string a = output_of(first.out), b = output_of(second.out);
  EXPECT_NE(a, b);
  std::vector<std::string> names = {a, b};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{out.file("clip.mp4"), out.file("clip_1.mp4")}));
  // Each report names its own source's result.
  EXPECT_NEAR(media::DurationProbe().DurationMs(a), 2000, 300);
  EXPECT_NEAR(media::DurationProbe().DurationMs(b), 3000, 300);
}

// "From this time on" runs to the source's real end: a 6.92 s source keeps
// its last 0.92 s whether the end is left out or lies past the end.
TEST_F(CliRun, OpenEndedRangesKeepTheLastFractionOfASecond) {
  const std::string source = sources.file("odd.avi");
  ASSERT_EQ(RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x48:r=25:d=6.92", "-f",
                        "lavfi", "-i", "sine=duration=6.92", "-c:v", "mpeg4", "-c:a", "mp2", source}),
            0);
  struct Case {
    std::vector<std::string> range;
    const char* output;
    int64_t ms;
  } cases[] = {{{"--start", "00:00:00"}, "odd.mp4", 6920},
               {{"--end", "00:00:30"}, "odd_1.mp4", 6920},
               {{"--start", "00:00:01"}, "odd_2.mp4", 5920},
               {{"--start", "00:00:01", "--end", "00:00:03"}, "odd_3.mp4", 2000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.range));
    std::vector<std::string> args = {"--config", config.path(), "-o", out.path()};
    args.insert(args.end(), c.range.begin(), c.range.end());
    args.push_back(source);
    const auto r = RunCli(args, scratch);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NEAR(media::DurationProbe().DurationMs(out.file(c.output)), c.ms, 150);
  }
}

// The encoders of the run, as the kernel lists the children of its threads.
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::istringstream list(ReadFile(task.path().string() + "/children").value_or(""));
    for (pid_t child; list >> child;) children.push_back(child);
  }
  return children;
}

// Starts vtp-convert with its output to files in `scratch`; its pid.
pid_t StartCli(const std::vector<std::string>& args, const TempDir& scratch) {
  std::vector<std::string> argv = {VTPC_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const int out = open(scratch.file("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(scratch.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    execv(raw[0], raw.data());
    _exit(127);
  }
  return pid;
}

// Ctrl+C: the encoders stop, each part is kept under a name that says so,
// and the run says where and how much.
TEST_F(CliRun, AStopKeepsEachPartUnderAPartialNameAndSaysSo) {
  MakeClip(".avi", 120, sources.file("long.avi"));
  const pid_t cli =
      StartCli({"--config", config.path(), "-o", out.path(), "--json", sources.file("long.avi")}, scratch);
  ASSERT_TRUE(Eventually([&] { return ChildrenOf(cli).size() == 1; }, 20000));
  usleep(800000);
  kill(cli, SIGINT);
  const auto status = testing_support::WaitForProcess(cli, 10000);
  ASSERT_TRUE(status);
  EXPECT_EQ(WEXITSTATUS(*status), 130);
  const std::string err = ReadFile(scratch.file("stderr.txt")).value_or("");
  const std::string json = ReadFile(scratch.file("stdout.txt")).value_or("");
  EXPECT_THAT(err, HasSubstr("partial output kept: " + out.file("long.partial.mp4") + " (0"));
  EXPECT_THAT(err, ContainsRegex(" of 02:00\\)"));
  EXPECT_THAT(json, HasSubstr("\"output\":\"" + out.file("long.partial.mp4") + "\""));
  EXPECT_THAT(json, HasSubstr("\"partial\":true"));
  EXPECT_FALSE(Exists(out.file("long.mp4")));
  EXPECT_GT(media::DurationProbe().DurationMs(out.file("long.partial.mp4")), 0);
}

// kill -9 of vtp-convert: its encoders end with it instead of running on
// alone, and the next run clears the scratch folder it left.
TEST_F(CliRun, KilledOutrightItsEncodersEndTooAndTheNextRunClearsItsScratch) {
  MakeClip(".avi", 120, sources.file("a.avi"));
  MakeClip(".avi", 120, sources.file("b.avi"));
  // Orphans come to this test, which can then wait for them.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  struct NoSubreaper {
    ~NoSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } restore;
  // The program folder keeps the scratch folders: the build tree is one.
  const auto scratch_folders = [] {
    std::set<std::string> folders;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(VTPC_CLI).parent_path(), ec))
      if (entry.path().filename().string().rfind("vtp-convert-", 0) == 0) folders.insert(entry.path().string());
    return folders;
  };
  const auto before = scratch_folders();
  const pid_t cli = StartCli(
      {"--config", config.path(), "-o", out.path(), "-j", "2", sources.file("a.avi"), sources.file("b.avi")}, scratch);
  ASSERT_TRUE(Eventually([&] { return ChildrenOf(cli).size() == 2; }, 20000));
  const std::vector<pid_t> encoders = ChildrenOf(cli);
  usleep(800000);  // some seconds converted
  std::set<std::string> started;
  for (const auto& folder : scratch_folders())
    if (!before.count(folder)) started.insert(folder);

  kill(cli, SIGKILL);
  ASSERT_TRUE(testing_support::WaitForProcess(cli, 5000));
  // The killed run's folder: no living run holds its lock any more (a run of
  // another test may have started one meanwhile, and holds it, or may have
  // cleared the dead one already, as the next run must).
  ASSERT_FALSE(started.empty());
  std::set<std::string> left;
  for (const auto& folder : started) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) left.insert(folder);
    if (fd >= 0) close(fd);
  }
  EXPECT_LE(left.size(), 1u);
  for (const pid_t encoder : encoders) {
    const auto status = testing_support::WaitForProcess(encoder, 5000);
    ASSERT_TRUE(status) << "encoder " << encoder << " outlived its parent";
    // Ended as on SIGTERM, keeping its part under the partial name.
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 128 + SIGTERM) << *status;
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.partial.mp4", "b.partial.mp4"}));

  MakeClip(".avi", 1, sources.file("short.avi"));
  const auto next = RunCli({"--config", config.path(), "-o", out.path(), sources.file("short.avi")}, scratch);
  EXPECT_EQ(next.exit_code, 0) << next.err;
  for (const auto& folder : left) EXPECT_FALSE(Exists(folder)) << folder;
}

// The run on a desktop: a private bus with mock logind and notification services.
TEST_F(CliRun, KeepsTheMachineAwakeOnlyWhileConvertingThenNotifiesOnce) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok()) << bus.error();
  ASSERT_TRUE(bus.StartTemplate("logind", "org.freedesktop.login1"));
  ASSERT_TRUE(bus.StartTemplate("notification_daemon", "org.freedesktop.Notifications"));
  MakeClip(".mkv", 2, sources.file("a.mkv"));
  MakeClip(".webm", 2, sources.file("b.webm"));
  WriteFile(sources.file("c.avi"), "not a video");
  EXPECT_TRUE(bus.Inhibitors().empty());

  // The bus variables of this process point at the private bus; the child inherits them.
  const std::string command = "'" VTPC_CLI "' --config '" + config.path() + "' -o '" + out.path() + "' '" +
                              sources.file("a.mkv") + "' '" + sources.file("b.webm") + "' '" + sources.file("c.avi") +
                              "' 2>'" + scratch.file("stderr.txt") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  const bool held = Eventually(
      [&] {
        return bus.Inhibitors() ==
               std::vector<std::string>{"sleep:idle|Video To Plim Converter|Converting videos|block"};
      },
      20000);
  const int status = pclose(pipe);
  EXPECT_TRUE(held) << "no inhibitor while converting";
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << ReadFile(scratch.file("stderr.txt")).value_or("");
  EXPECT_TRUE(Eventually([&] { return bus.Inhibitors().empty(); }, 3000)) << "held after the run";
  EXPECT_TRUE(Exists(out.file("a.mp4")));
  EXPECT_TRUE(Exists(out.file("b.mp4")));

  std::vector<std::string> notes;
  for (const auto& call : bus.Calls("org.freedesktop.Notifications"))
    if (call.rfind("Notify ", 0) == 0) notes.push_back(call);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_THAT(notes[0], HasSubstr("2 files converted, 1 failed"));
}

}  // namespace
