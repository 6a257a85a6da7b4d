// Awkward file names, and stopping an encoder with a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "encoder/output_file.h"
#include "fakes.h"
#include "harness.h"

namespace {

using encoder_test::Media;
using encoder_test::RunEncoder;
using testing_support::Exists;

void Copy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

TEST(FileNames, BlanksQuotesNonAsciiLettersAndLeadingDashesArriveWhole) {
  testing_support::TempDir dir;
  const std::vector<std::string> names = {
      "-starts with a dash",
      "with \"double\" and 'single' quotes",
      "ünïcødé ñame 日本語",
      "commas, colons: semis; and $HOME",
      "--y",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string input = dir.file(name + ".avi");
    Copy(Media("clip.avi"), input);
    const std::string video = dir.file(name + ".mp4");
    auto run = RunEncoder(
        "evc", {"-y", "-i", input, "-vcodec", "mpeg4", "-acodec", "aac", "-s", "320x240", "-r", "15", video});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(encoder_test::PlaysThrough(video));
    const std::string sound = dir.file(name + ".mp3");
    run = RunEncoder("evc", {"-y", "-i", input, "-acodec", "mp3", "-vn", sound});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(encoder_test::PlaysThrough(sound));
  }
  EXPECT_TRUE(encoder_test::TemporaryFiles(dir.path()).empty());
}

TEST(FileNames, RelativeNamesWithLeadingDashesInTheCurrentFolder) {
  testing_support::TempDir dir;
  Copy(Media("clip.wmv"), dir.file("-i.wmv"));
  const auto run = RunEncoder("evc", {"-i", "-i.wmv", "-acodec", "aac", "-vn", "-y.m4a"}, 60000, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(encoder_test::PlaysThrough(dir.file("-y.m4a")));
}

TEST(FileNames, RevcReadsASourceWithQuotesAndCommasThroughTheScript) {
  testing_support::TempDir dir;
  const std::string source = dir.file("clip \"one\", fps=5, two.rm");
  Copy(Media("clip.rm"), source);
  const std::string script = dir.file("VideoFile.avs");
  testing_support::WriteFile(script, "DirectShowSource(\"" + source + "\", fps=29.9700898503294, convertfps=true)\r\n");
  const std::string output = dir.file("clip \"one\".mp4");
  const auto run = RunEncoder(
      "revc", {"-y", "-i",      script, "-vcodec", "mpeg4", "-acodec", "aac", "-b",  "768", "-s",  "320x240", "-r",
               "15", "-aspect", "4:3",  "-ab",     "128",   "-vol",    "200", "-ac", "2",   "-ar", "44100",   output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto info = encoder_test::Probe(output);
  ASSERT_NE(info.Find("video"), nullptr);
  EXPECT_EQ(info.Find("video")->frame_rate_num, 15);
  EXPECT_NEAR(info.duration, encoder_test::kClipSeconds, 0.15);
}

// ---------------------------------------------------------------------------
// Stopping. The source is fed through a named pipe, so the test decides when
// the encoder is busy and when it waits for input.

struct StopCase {
  int signal_number;
  bool video;
  bool stall;  // stop while the encoder waits for input rather than while it works
  const char* name;
};

void PrintTo(const StopCase& c, std::ostream* out) {
  *out << c.name;
}

class Stopping : public ::testing::TestWithParam<StopCase> {};

// Writes a file into a pipe: a large part at once, then the rest slowly, or
// nothing more at all when stalling.
class PipeFeeder {
 public:
  PipeFeeder(std::string pipe, std::string source, bool stall)
      : thread_([this, pipe = std::move(pipe), source = std::move(source), stall] { Feed(pipe, source, stall); }) {}
  ~PipeFeeder() {
    done_ = true;
    thread_.join();
  }

 private:
  void Feed(const std::string& pipe, const std::string& source, bool stall) {
    std::ifstream in(source, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    const std::string data = content.str();
    int fd = -1;
    // Non-blocking open, retried: an encoder that never opens the pipe must
    // not hang the test.
    while (!done_ && (fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) usleep(10000);
    if (fd < 0) return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size_t sent = 0;
    auto send = [&](size_t count) {
      count = std::min(count, data.size() - sent);
      const ssize_t n = write(fd, data.data() + sent, count);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
      return true;
    };
    bool open_pipe = send(data.size() * 2 / 5);
    while (open_pipe && !done_ && sent < data.size()) {
      if (stall) {
        usleep(10000);
        continue;
      }
      open_pipe = send(4096);
      usleep(20000);
    }
    close(fd);
  }

  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST_P(Stopping, FinishesAPlayableFileAndEndsWithinASecond) {
  const StopCase c = GetParam();
  testing_support::TempDir dir;
  const std::string pipe = dir.file("feed.ts");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string output = dir.file(c.video ? "stopped.mp4" : "stopped.mp3");
  std::vector<std::string> argv = {encoder_test::EncoderPath("evc"), "-y", "-i", pipe};
  if (c.video) {
    argv.insert(argv.end(), {"-vcodec", "mpeg4", "-acodec", "aac", "-b", "768", "-s", "320x240", "-r", "15"});
  } else {
    argv.insert(argv.end(), {"-acodec", "mp3", "-vn", "-ab", "128", "-ac", "1", "-ar", "22050"});
  }
  argv.push_back(output);

  PipeFeeder feeder(pipe, Media("long.ts"), c.stall);
  encoder_test::ChildProcess child(argv);
  // Wait until some seconds of output exist.
  ASSERT_TRUE(encoder_test::ReachesSeconds(child, 2, c.video)) << child.err();
  if (c.stall) {
    // Status lines keep coming while the encoder waits for input.
    const size_t before = encoder_test::StatusLines(child.err()).size();
    child.ReadErrUntil([](const std::string&) { return false; }, 1200);
    EXPECT_GE(encoder_test::StatusLines(child.err()).size(), before + 2);
  }

  const auto asked = std::chrono::steady_clock::now();
  child.Signal(c.signal_number);
  const auto result = child.Wait(5000);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
  ASSERT_TRUE(result) << "still running after a stop request";
  EXPECT_LT(took.count(), 1500);
  EXPECT_EQ(result->exit_code, 128 + c.signal_number) << result->err;
  // The file cut short never takes the finished name; the last line names it.
  const std::string partial = dir.file(c.video ? "stopped.partial.mp4" : "stopped.partial.mp3");
  const std::string reason = result->err.substr(0, result->err.size() - encoder_test::LastLine(result->err).size() - 1);
  EXPECT_EQ(encoder_test::LastLine(reason).rfind("evc: stopped on request; the output holds the first ", 0), 0u)
      << result->err;
  EXPECT_EQ(encoder_test::LastLine(result->err).rfind("partial output: ", 0), 0u) << result->err;
  EXPECT_EQ(encoder_test::LastLine(result->err).substr(encoder_test::LastLine(result->err).size() - partial.size()),
            partial);
  EXPECT_FALSE(testing_support::Exists(output));

  // Every status line has the form the progress window reads, and time only grows.
  long last_seconds = 0;
  for (const std::string& line : encoder_test::StatusLines(result->err)) {
    const auto seconds = encoder_test::ReadProgressSeconds(line, c.video);
    ASSERT_TRUE(seconds) << line;
    EXPECT_GE(*seconds, last_seconds);
    last_seconds = *seconds;
  }
  // Nothing but status lines before the closing reason.
  const std::string before_reason = reason.substr(0, reason.rfind('\n', reason.size() - 2) + 1);
  for (char ch : std::string("[@")) EXPECT_EQ(before_reason.find(ch), std::string::npos) << before_reason;

  std::string why;
  EXPECT_TRUE(encoder_test::PlaysThrough(partial, &why)) << why;
  const auto info = encoder_test::Probe(partial);
  for (const auto& stream : info.streams) EXPECT_GE(stream.duration, 1.5) << stream.type;
  EXPECT_TRUE(encoder_test::TemporaryFiles(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, Stopping,
                         ::testing::Values(StopCase{SIGTERM, true, false, "TermWhileBusyVideo"},
                                           StopCase{SIGTERM, false, false, "TermWhileBusyAudio"},
                                           StopCase{SIGTERM, true, true, "TermWhileWaitingVideo"},
                                           StopCase{SIGINT, false, true, "IntWhileWaitingAudio"},
                                           // A closed terminal.
                                           StopCase{SIGHUP, true, false, "HupWhileBusyVideo"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A job's name is held by an empty file; a file that takes the name while the
// job runs is the user's, and is kept: the output goes to the next free name.
TEST(ReservedName, AFileMadeAtTheNameDuringTheRunIsKept) {
  testing_support::TempDir dir;
  const std::string pipe = dir.file("feed.ts");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string output = dir.file("clip.mp4");
  testing_support::WriteFile(output, "");
  setenv(encoder::kReservedEnvironment, "1", 1);
  std::optional<PipeFeeder> feeder(std::in_place, pipe, Media("long.ts"), true);
  encoder_test::ChildProcess child({encoder_test::EncoderPath("evc"), "-y", "-i", pipe, "-vcodec", "mpeg4", "-acodec",
                                    "aac", "-s", "160x120", output});
  unsetenv(encoder::kReservedEnvironment);
  ASSERT_TRUE(encoder_test::ReachesSeconds(child, 1)) << child.err();
  ASSERT_EQ(unlink(output.c_str()), 0);
  testing_support::WriteFile(output, "made meanwhile");
  feeder.reset();  // the end of the input
  const auto result = child.Wait(20000);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->exit_code, 0) << result->err;
  EXPECT_EQ(testing_support::ReadFile(output), "made meanwhile");
  EXPECT_EQ(encoder_test::LastLine(result->err), "output: " + dir.file("clip_1.mp4"));
  EXPECT_TRUE(encoder_test::PlaysThrough(dir.file("clip_1.mp4")));
}

// Killed outright, the encoder cannot clean up: its file never had a name,
// so nothing is left behind.
TEST(Killing, AKilledEncoderLeavesNothingBehind) {
  testing_support::TempDir dir;
  const std::string pipe = dir.file("feed.ts");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  PipeFeeder feeder(pipe, Media("long.ts"), false);
  encoder_test::ChildProcess child({encoder_test::EncoderPath("evc"), "-y", "-i", pipe, "-vcodec", "mpeg4", "-acodec",
                                    "aac", "-s", "320x240", dir.file("killed.mp4")});
  ASSERT_TRUE(encoder_test::ReachesSeconds(child, 1)) << child.err();
  child.Signal(SIGKILL);
  ASSERT_TRUE(child.Wait(5000));
  EXPECT_EQ(encoder_test::FolderEntries(dir.path()), std::vector<std::string>{"feed.ts"});
}

}  // namespace
