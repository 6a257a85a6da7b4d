// The console front end: its arguments, the settings it takes, and whole runs of
// the real vtp-convert with the real encoder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>

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

TEST_F(CliRun, SoundFilesConvertToEveryTypeAndToASoundOnlyMp4) {
  std::vector<std::string> args = {"--config", config.path(), "-o", out.path(), "-t", "aac", "-j", "2"};
  for (const std::string& ext : AcceptedSoundTypes()) {
    const std::string name = "tone_" + ext.substr(1) + ext;
    MakeSoundClip(ext, 2, sources.file(name));
    args.push_back(sources.file(name));
  }
  const auto to_aac = RunCli(args, scratch);
  EXPECT_EQ(to_aac.exit_code, 0) << to_aac.err;
  for (const std::string& ext : AcceptedSoundTypes()) {
    const std::string output = out.file("tone_" + ext.substr(1) + ".aac");
    ASSERT_TRUE(Exists(output)) << output << "\n" << to_aac.err;
    EXPECT_GT(media::DurationProbe().DurationMs(output), 1500) << output;
  }
  for (const char* type : {"mp3", "m4a", "mp4"}) {
    // A folder each: the names taken by the first run would get the others a "_1".
    TempDir typed;
    const auto r =
        RunCli({"--config", config.path(), "-o", typed.path(), "-t", type, sources.file("tone_wav.wav")}, scratch);
    EXPECT_EQ(r.exit_code, 0) << type << "\n" << r.err;
    const std::string output = typed.file(std::string("tone_wav.") + type);
    ASSERT_TRUE(Exists(output)) << output;
    const media::MediaInfo info = media::DurationProbe().Probe(output);
    EXPECT_GT(info.duration_ms, 1500) << output;
    EXPECT_FALSE(info.has_video) << output;
  }
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
