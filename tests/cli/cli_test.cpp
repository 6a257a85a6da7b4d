// The console front end: its arguments, the settings it takes, and whole runs of
// the real vtp-convert with the real encoder.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "cli/vtp_convert.h"
#include "fakes.h"
#include "media/duration_probe.h"
#include "private_bus.h"
#include "test_media.h"

using namespace testing_support;
using ::testing::HasSubstr;

namespace {

cli::CliOptions Parse(std::vector<std::string> args) {
  return cli::ParseArguments(args);
}

TEST(CliArguments, ShortLongAndEqualsFormsAllWork) {
  const auto o = Parse({"-t", "mp3", "--quality=Low Quality", "-o", "out", "--start", "00:00:01", "--end=00:00:05",
                        "--config", "cfg", "-j", "2", "--json", "a.avi", "--", "-b.avi"});
  EXPECT_EQ(*o.type, "mp3");
  EXPECT_EQ(*o.quality, "Low Quality");
  EXPECT_EQ(*o.output, "out");
  EXPECT_EQ(*o.start, "00:00:01");
  EXPECT_EQ(*o.end, "00:00:05");
  EXPECT_EQ(*o.config, "cfg");
  EXPECT_EQ(o.jobs, 2);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.files, (std::vector<std::string>{"a.avi", "-b.avi"}));
}

TEST(CliArguments, BadUsageIsRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},  // no files
      {"--frobnicate", "a.avi"},
      {"-t"},
      {"-j", "0", "a.avi"},
      {"-j", "two", "a.avi"},
      {"--jobs=", "a.avi"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(Parse(args), cli::UsageError) << ::testing::PrintToString(args);
  }
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
}

class CliPlan : public ::testing::Test {
 protected:
  cli::Plan Resolve(std::vector<std::string> args) {
    args.push_back("--config");
    args.push_back(config.path());
    args.push_back("x.avi");
    return cli::ResolvePlan(Parse(args), "/opt/vtpc", "/home/ann/work");
  }
  TempDir config;
};

TEST_F(CliPlan, DefaultsAreTheFirstTypeAndTheThirdQualityLevel) {
  const auto plan = Resolve({});
  EXPECT_EQ(plan.output_type, 0);
  // "Normal Quality" of the video row: 320x240 at 15 frames, 768 kbit/s, 128 kbit/s audio.
  EXPECT_EQ(plan.options.video_size, "320x240");
  EXPECT_EQ(plan.options.frame_rate, "15");
  EXPECT_EQ(plan.options.video_bitrate, "768");
  EXPECT_EQ(plan.options.audio_bitrate, "128");
  EXPECT_EQ(plan.app_dir, "/opt/vtpc/");
}

TEST_F(CliPlan, TypeAndQualityByNameOrPositionAgree) {
  EXPECT_EQ(Resolve({"-t", "MP3"}).output_type, 3);
  EXPECT_EQ(Resolve({"-t", ".m4a"}).output_type, 2);
  const auto by_name = Resolve({"-q", "superb quality"}).options;
  const auto by_position = Resolve({"-q", "4"}).options;
  EXPECT_EQ(by_name.video_bitrate, by_position.video_bitrate);
  EXPECT_NE(by_name.video_bitrate, Resolve({"-q", "0"}).options.video_bitrate);
  EXPECT_THROW(Resolve({"-t", "avi"}), cli::UsageError);
  EXPECT_THROW(Resolve({"-q", "5"}), cli::UsageError);
  EXPECT_THROW(Resolve({"-q", "Nonesuch"}), cli::UsageError);
}

TEST_F(CliPlan, ACustomProfileComesFromTheProfileFile) {
  WriteFile(config.file("UserProfileInfo.ini"), "\r\n[Travel]\r\nTravel=0|6|0|0|0|0\r\n[Broken]\r\nBroken=1|2\r\n");
  const auto plan = Resolve({"-q", "Travel"});
  EXPECT_EQ(plan.options.video_size, "160x112");
  EXPECT_EQ(plan.options.frame_rate, "30");
  EXPECT_THROW(Resolve({"-q", "Broken"}), cli::UsageError);
  EXPECT_THROW(Resolve({"-q", "travel"}), cli::UsageError) << "profile names are matched exactly";
}

TEST_F(CliPlan, OutputFolderComesFromTheSettingsAndIsMadeAbsolute) {
  WriteFile(config.file("UserSettings.ini"), "\r\n[USRInfo]\r\nOutDir=/srv/videos\r\n");
  EXPECT_EQ(Resolve({}).output_dir, "/srv/videos/");
  EXPECT_EQ(Resolve({"-o", "rel/out"}).output_dir, "/home/ann/work/rel/out/");
  // A hand-edited relative folder means what it means in the program: below the program folder.
  WriteFile(config.file("UserSettings.ini"), "\r\n[USRInfo]\r\nOutDir=relout\r\n");
  EXPECT_EQ(Resolve({}).output_dir, "/opt/vtpc/relout/");
}

TEST_F(CliPlan, TimesMustBeWholeTimesInOrder) {
  EXPECT_EQ(Resolve({"--start", "00:00:02"}).start_text, "00:00:02");
  for (const char* bad : {"1:30", "00:90:00", "00:00:5", "aa:bb:cc", ""})
    EXPECT_THROW(Resolve({"--start", bad}), cli::UsageError) << bad;
  EXPECT_THROW(Resolve({"--start", "00:00:05", "--end", "00:00:05"}), cli::UsageError);
}

TEST(CliStatus, TimeIsReadFromStatusLinesOnly) {
  EXPECT_DOUBLE_EQ(*cli::StatusTime("frame=   10 q=2.0 size=  12kB time=1.52 bitrate= 1.0kbits/s"), 1.52);
  EXPECT_DOUBLE_EQ(*cli::StatusTime("size=   3kB time=0.00 bitrate=  0.0kbits/s"), 0.0);
  EXPECT_FALSE(cli::StatusTime("evc: cannot open the input"));
  EXPECT_FALSE(cli::StatusTime("time=N/A"));
}

TEST(CliJson, StringsAreEscaped) {
  cli::FileResult r;
  r.source = "a \"b\"\n\\c.avi";
  r.reason = "tab\there";
  const std::string json = cli::ResultJson(r);
  EXPECT_THAT(json, HasSubstr(R"("source":"a \"b\"\n\\c.avi")"));
  EXPECT_THAT(json, HasSubstr(R"("reason":"tab\there")"));
  EXPECT_THAT(json, HasSubstr(R"("status":"failed")"));
}

// Whole runs of the built program: its exit code, standard output and error.
struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

RunResult RunCli(const std::vector<std::string>& args, const TempDir& scratch, const std::string& folder = "/") {
  std::string command = "cd '" + folder + "' && '" VTPC_CLI "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " 2>'" + scratch.file("stderr.txt") + "'";
  RunResult result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) result.out.append(buffer.data(), n);
  const int status = pclose(pipe.release());
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = ReadFile(scratch.file("stderr.txt")).value_or("");
  return result;
}

class CliRun : public ::testing::Test {
 protected:
  TempDir sources, out, config, scratch;
};

TEST_F(CliRun, GoodFilesConvertWhileABrokenOneFailsTheRun) {
  MakeClip(".avi", 2, sources.file("one.avi"));
  MakeClip(".mp4", 2, sources.file("two.mp4"));
  WriteFile(sources.file("broken.avi"), std::string(4096, '\x42'));
  const auto r = RunCli({"--config", config.path(), "-o", out.path(), "-t", "mp3", "--json", "-j", "2",
                         sources.file("one.avi"), sources.file("broken.avi"), sources.file("two.mp4")},
                        scratch);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_THAT(r.err, HasSubstr("broken.avi"));
  EXPECT_THAT(r.err, HasSubstr("1 of 3 files failed"));
  for (const char* name : {"one.mp3", "two.mp3"}) {
    ASSERT_TRUE(Exists(out.file(name))) << name << "\n" << r.err;
    EXPECT_GT(media::DurationProbe().DurationMs(out.file(name)), 1500) << name;
  }
  EXPECT_FALSE(Exists(out.file("broken.mp3")));
  // One line per file, in the order they finished.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
  EXPECT_THAT(r.out, HasSubstr(R"("status":"failed")"));
}

TEST_F(CliRun, SameNamesInParallelGetDistinctOutputs) {
  TempDir other;
  MakeClip(".avi", 1, sources.file("clip.avi"));
  MakeClip(".avi", 1, other.file("clip.avi"));
  WriteFile(out.file("clip.txt"), "taken");
  // Relative paths are the caller's, not the encoder's folder.
  const auto r = RunCli({"--config", config.path(), "-o", out.path(), "-j", "2", "--start", "00:00:00", "--end",
                         "00:00:01", "clip.avi", other.file("clip.avi")},
                        scratch, sources.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Exists(out.file("clip_1.mp4")));
  EXPECT_TRUE(Exists(out.file("clip_2.mp4")));
  EXPECT_FALSE(Exists(out.file("clip.mp4")));
}

TEST_F(CliRun, BadUsageExitsWithTwoAndConvertsNothing) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--config", config.path(), "-o", out.path(), "-t", "ogg", sources.file("a.avi")},
        std::vector<std::string>{"--bogus", sources.file("a.avi")}, std::vector<std::string>{}}) {
    const auto r = RunCli(args, scratch);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_THAT(r.err, HasSubstr("vtp-convert: "));
  }
  EXPECT_FALSE(Exists(out.file("a.mp4")));
  EXPECT_EQ(RunCli({"--help"}, scratch).exit_code, 0);
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
  EXPECT_EQ(WEXITSTATUS(*status), 1);
  const std::string err = ReadFile(scratch.file("stderr.txt")).value_or("");
  const std::string json = ReadFile(scratch.file("stdout.txt")).value_or("");
  EXPECT_THAT(err, HasSubstr("partial output kept: " + out.file("long.partial.mp4") + " (0"));
  EXPECT_THAT(err, ::testing::ContainsRegex(" of 02:00\\)"));
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
  const auto scratch_folders = [] {
    std::set<std::string> folders;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec))
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
  // another test may have started one meanwhile, and holds it).
  std::set<std::string> left;
  for (const auto& folder : started) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) left.insert(folder);
    if (fd >= 0) close(fd);
  }
  ASSERT_EQ(left.size(), 1u);
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
