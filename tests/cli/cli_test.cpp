// The console front end at the parser level: its table of options (and the
// manual page and completion that follow it), the settings it takes, times,
// profiles, and the texts it prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>

#include "cli/report.h"
#include "cli/vtp_convert.h"
#include "cli_fixture.h"
#include "common/helpers.h"
#include "common/text.h"
#include "engine/catalogue.h"
#include "engine/job.h"
#include "fakes.h"
#include "platform/data_layout.h"
#include "platform/errors.h"
#include "sources/source_list.h"
#include "test_media.h"

using namespace testing_support;
using namespace cli_test;

namespace {

cli::CliOptions Parse(std::vector<std::string> args) {
  return cli::ParseArguments(args);
}

std::string Refusal(std::vector<std::string> args) {
  try {
    Parse(args);
  } catch (const cli::UsageError& error) {
    return error.what();
  }
  return "<accepted>";
}

// --- The option table and getopt_long. ---

TEST(CliOptionTable, GnuFormsAllWork) {
  const auto o = Parse({"-tmp3", "--qual=Low Quality", "-oout", "--start", "1:30", "--end=90.5", "--conf", "cfg", "-j2",
                        "--json", "a.avi", "--", "-b.avi"});
  EXPECT_EQ(*o.type, "mp3");
  EXPECT_EQ(*o.quality, "Low Quality");
  EXPECT_EQ(*o.output, "out");
  EXPECT_EQ(*o.start, "1:30");
  EXPECT_EQ(*o.end, "90.5");
  EXPECT_EQ(*o.config, "cfg");
  EXPECT_EQ(o.jobs, 2);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.files, (std::vector<std::string>{"a.avi", "-b.avi"}));
  // Flags combine, a value may close the group.
  const auto combined = Parse({"-nv0j3", "-"});
  EXPECT_TRUE(combined.dry_run);
  EXPECT_TRUE(combined.verbose);
  EXPECT_TRUE(combined.null_separated);
  EXPECT_EQ(combined.jobs, 3);
  EXPECT_TRUE(combined.files_from_stdin);
  EXPECT_TRUE(combined.files.empty());
  EXPECT_EQ(*Parse({"-q3", "x.avi"}).quality, "3");
  EXPECT_EQ(*Parse({"--output", "--json", "x.avi"}).output, "--json") << "a value may begin with -";
  EXPECT_TRUE(Parse({"--list-prof"}).list_profiles);
  EXPECT_TRUE(Parse({"--list-types=names"}).names_only);
}

TEST(CliOptionTable, BadUsageIsRefusedWithAReasonThatSaysWhat) {
  EXPECT_THAT(Refusal({"-t=mp3", "a.avi"}), HasSubstr("write -t mp3 or --type=mp3"));
  EXPECT_THAT(Refusal({"--j", "a.avi"}), HasSubstr("ambiguous: --jobs, --json"));
  EXPECT_THAT(Refusal({"--list", "a.avi"}), HasSubstr("ambiguous"));
  EXPECT_THAT(Refusal({"--frobnicate", "a.avi"}), HasSubstr("unknown option '--frobnicate'"));
  EXPECT_THAT(Refusal({"-x", "a.avi"}), HasSubstr("unknown option '-x'"));
  EXPECT_THAT(Refusal({"--json=1", "a.avi"}), HasSubstr("'--json' takes no value"));
  EXPECT_THAT(Refusal({"--js=1", "a.avi"}), HasSubstr("(--json) takes no value"));
  EXPECT_THAT(Refusal({"a.avi", "-t"}), HasSubstr("option -t needs a value"));
  EXPECT_THAT(Refusal({"a.avi", "--type"}), HasSubstr("'--type' needs a value"));
  EXPECT_THAT(Refusal({"-j", "0", "a.avi"}), HasSubstr("1 to 999"));
  EXPECT_THAT(Refusal({"-jtwo", "a.avi"}), HasSubstr("1 to 999"));
  EXPECT_THAT(Refusal({"--jobs=", "a.avi"}), HasSubstr("1 to 999"));
  EXPECT_THAT(Refusal({"--list-types=all"}), HasSubstr("'names'"));
  EXPECT_THAT(Refusal({}), HasSubstr("no files"));
  EXPECT_THAT(Refusal({"-", "a.avi"}), HasSubstr("must be the only file"));
  EXPECT_THAT(Refusal({"-0", "a.avi"}), HasSubstr("--null"));
  EXPECT_THAT(Refusal({"--quiet", "-v", "a.avi"}), HasSubstr("exclude"));
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--vers"}).version);
}

// --help, the manual page and the completion are all held to the table.
TEST(CliOptionTable, HelpManualAndCompletionListExactlyTheTable) {
  std::set<std::string> longs, shorts;
  for (const auto& entry : cli::OptionTable()) {
    longs.insert(entry.long_name);
    if (entry.short_name) shorts.insert(std::string(1, entry.short_name));
  }
  const std::string help = cli::UsageText();
  EXPECT_EQ(Matches(help, R"(--([a-z][a-z-]*[a-z]))"), longs) << help;
  EXPECT_EQ(Matches(help, R"(\n  -([a-z0-9]), --)"), shorts) << help;

  const std::string man = ReadFile(VTPC_DATA_DIR "/vtp-convert.1").value_or("");
  ASSERT_FALSE(man.empty());
  EXPECT_EQ(Matches(man, R"(\\fB\\-\\-((?:[a-z]|\\-)*[a-z]))"), [&] {
    std::set<std::string> escaped;
    for (const auto& name : longs) escaped.insert(std::regex_replace(name, std::regex("-"), "\\-"));
    return escaped;
  }()) << "the manual's options";
  EXPECT_EQ(Matches(man, R"(\n\\fB\\-([a-z0-9])\\fR, )"), shorts);

  const std::string completion = ReadFile(VTPC_DATA_DIR "/vtp-convert.bash-completion").value_or("");
  ASSERT_FALSE(completion.empty());
  EXPECT_EQ(Matches(completion, R"(--([a-z][a-z-]*[a-z]))"), longs);
  std::smatch line;
  ASSERT_TRUE(std::regex_search(completion, line, std::regex(R"(local short="([^"]*)\")")));
  EXPECT_EQ(Matches(line[1].str(), R"(-([a-z0-9]))"), shorts);
}

// --- Times. ---

TEST(CliTimes, TakenAsFfmpegTakesThem) {
  struct Case {
    const char* text;
    int64_t us;
  } good[] = {
      {"90", 90'000'000},
      {"1:30", 90'000'000},
      {"00:00:01.5", 1'500'000},
      {"1:00:00", 3'600'000'000},
      {"0:00:02", 2'000'000},
      {"100:00:00", 360'000'000'000},
      {"2.25", 2'250'000},
      {"1:05.000001", 65'000'001},
      {"0", 0},
      {"01:02:03.75", 3'723'750'000},
  };
  for (const auto& c : good) {
    int64_t us = -1;
    EXPECT_TRUE(text::ParseMediaTime(c.text, us)) << c.text;
    EXPECT_EQ(us, c.us) << c.text;
  }
  for (const char* bad : {"", "1:60", "60:00", "1:2:3:4", "aa", "1.", ".5", "1.2345678", "-5", "1:30:", ":30", " 90",
                          "1,5", "1e3", "00:90:00"}) {
    int64_t us = 0;
    EXPECT_FALSE(text::ParseMediaTime(bad, us)) << bad;
  }
  EXPECT_EQ(text::FormatClockTime(1'500'000), "00:00:01.5");
  EXPECT_EQ(text::FormatClockTime(3'723'000'000), "01:02:03");
  EXPECT_EQ(text::FormatDecimalSeconds(2'250'000), "2.25");
  EXPECT_EQ(text::FormatDecimalSeconds(50'000'000), "50");
  EXPECT_EQ(text::FormatDecimalSeconds(1), "0.000001");
}

// The fraction reaches the encoder's -ss and -t as it was given; whole times
// (the grid's cells) give the command they always gave.
TEST(CliTimes, FractionsReachTheEncoderExactly) {
  TempDir out;
  ConversionJob job;
  job.source = "/clips/a.avi";
  job.output_dir = out.path();
  job.app_dir = "/opt/vtpc/";
  job.write_files = false;
  job.options = DefaultJobOptions();
  TFileFunc names;
  job.start_text = "00:00:01.5";
  job.end_text = "00:00:03.75";
  EXPECT_THAT(BuildConversionCommand(job, names).command, HasSubstr(" -ss 00:00:01.5 -t 2.25 "));
  job.start_text = "00:00:10";
  job.end_text = "00:01:00";
  EXPECT_THAT(BuildConversionCommand(job, names).command, HasSubstr(" -ss 00:00:10 -t 50 "));
  job.end_text = "1:30";
  EXPECT_THROW(BuildConversionCommand(job, names), ConversionError) << "the job form stays hh:mm:ss";
}

class CliPlan : public ::testing::Test {
 protected:
  cli::Plan Resolve(std::vector<std::string> args) {
    args.push_back("--config");
    args.push_back(config.path());
    args.push_back("x.avi");
    return cli::ResolvePlan(Parse(args), platform::ProgramFolderLayout("/opt/vtpc"), "/home/ann/work");
  }
  std::string Refused(std::vector<std::string> args) {
    try {
      Resolve(args);
    } catch (const cli::UsageError& error) {
      return error.what();
    }
    return "<accepted>";
  }
  TempDir config;
};

TEST_F(CliPlan, TimesAreReadAndMustComeInOrder) {
  EXPECT_EQ(*Resolve({"--start", "1:30.25"}).start_us, 90'250'000);
  EXPECT_EQ(*Resolve({"--end", "7"}).end_us, 7'000'000);
  EXPECT_FALSE(Resolve({}).start_us);
  EXPECT_THAT(Refused({"--start", "00:90:00"}), HasSubstr("'00:90:00' is not a time"));
  EXPECT_THAT(Refused({"--start", "5", "--end", "0:05"}), HasSubstr("after the start"));
}

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

// --- -q and custom profiles. ---

TEST_F(CliPlan, CustomProfilesByAnyLetterCaseAndProfilePrefix) {
  WriteFile(config.file("UserProfileInfo.ini"),
            "\r\n[Travel]\r\nTravel=0|6|0|0|0|0\r\n[Broken]\r\nBroken=1|2\r\n"
            "[2]\r\n2=2|0|0|0|0|0\r\n[Low Quality]\r\nLow Quality=1|1|1|1|1|1\r\n");
  const auto plan = Resolve({"-q", "Travel"});
  EXPECT_EQ(plan.options.video_size, "160x112");
  EXPECT_EQ(plan.options.frame_rate, "30");
  EXPECT_TRUE(plan.warnings.empty());
  EXPECT_EQ(Resolve({"-q", "tRAVEL"}).options.frame_rate, "30");
  EXPECT_EQ(Resolve({"-q", "PROFILE:travel"}).options.frame_rate, "30");
  EXPECT_THAT(Refused({"-q", "Broken"}), HasSubstr("damaged"));
  // A level shadows a custom profile of its name; the prefix reaches the profile.
  EXPECT_EQ(Resolve({"-q", "2"}).options.video_size, "320x240");
  EXPECT_EQ(Resolve({"-q", "profile:2"}).options.video_size, "368x208");
  EXPECT_EQ(Resolve({"-q", "low quality"}).options.video_bitrate, Resolve({"-q", "0"}).options.video_bitrate);
  EXPECT_EQ(Resolve({"-q", "profile:low quality"}).options.video_size, "320x240");
  EXPECT_THAT(Refused({"-q", "profile:Superb Quality"}), HasSubstr("no custom profile named 'Superb Quality'"));
}

TEST_F(CliPlan, AStoredValueOutOfRangeIsWarnedNamingTheValue) {
  WriteFile(config.file("UserProfileInfo.ini"), "[Odd]\r\nOdd=0|9|none|x|-1|1\r\n");
  const auto plan = Resolve({"-q", "odd"});
  EXPECT_THAT(plan.warnings, ::testing::ElementsAre(
                                 "custom profile 'Odd': frame rate position 9 is out of range (0 to 6); the "
                                 "encoder's default is used",
                                 "custom profile 'Odd': audio bitrate \"x\" is no list position; it is left as it is",
                                 "custom profile 'Odd': audio channels position -1 is out of range (0 to 1); it is "
                                 "left as it is"));
  EXPECT_EQ(plan.options.video_size, "160x112") << "the sound fields still apply";
  EXPECT_EQ(plan.options.sample_rate, "32000");
  EXPECT_TRUE(ProfileValueProblems("none|none|none|none|none|none").empty());
  EXPECT_TRUE(ProfileValueProblems(catalogue::QualityPreset(0, 4)).empty());
}

// --- --config and the stored output folder. ---

TEST_F(CliPlan, OutputFolderComesFromTheSettingsAndIsMadeAbsolute) {
  WriteFile(config.file("UserSettings.ini"), "\r\n[USRInfo]\r\nOutDir=/srv/videos/../clips\r\n");
  EXPECT_EQ(Resolve({}).output_dir, "/srv/clips/");
  EXPECT_EQ(Resolve({"-o", "rel/./out/x/.."}).output_dir, "/home/ann/work/rel/out/");
  // A hand-edited relative folder means what it means in the program: below the program folder.
  WriteFile(config.file("UserSettings.ini"), "\r\n[USRInfo]\r\nOutDir=relout\r\n");
  EXPECT_EQ(Resolve({}).output_dir, "/opt/vtpc/relout/");
}

TEST_F(CliPlan, AConfigThatIsNoFolderOrAForeignStoredFolderIsRefused) {
  const auto refused_config = [](const std::string& folder) {
    try {
      cli::ResolvePlan(Parse({"--config", folder, "x.avi"}), platform::ProgramFolderLayout("/opt/vtpc"),
                       "/home/ann/work");
    } catch (const cli::UsageError& error) {
      return std::string(error.what());
    }
    return std::string("<accepted>");
  };
  EXPECT_EQ(refused_config(config.file("missing")),
            "--config " + config.file("missing") + ": No such file or directory");
  WriteFile(config.file("plain"), "");
  EXPECT_EQ(refused_config(config.file("plain")), "--config " + config.file("plain") + ": not a folder");
  for (const std::string foreign : {"C:\\Users\\ann\\Videos", "~/Videos", "$HOME/Videos"}) {
    WriteFile(config.file("UserSettings.ini"), "[USRInfo]\r\nOutDir=" + foreign + "\r\n");
    const std::string refusal = Refused({});
    EXPECT_THAT(refusal, HasSubstr("\"" + foreign + "\""));
    EXPECT_THAT(refusal, HasSubstr("not a folder of this system"));
    EXPECT_THAT(refusal, HasSubstr("-o DIR"));
    EXPECT_EQ(Resolve({"-o", "/srv"}).output_dir, "/srv/") << "-o needs no stored folder";
  }
}

// --- --list-types, --list-profiles. ---

TEST_F(CliPlan, ListsShowValuesOrBareNames) {
  WriteFile(config.file("UserProfileInfo.ini"), "[Travel]\r\nTravel=0|6|0|0|0|0\r\n[2]\r\n2=2|0|0|0|0|0\r\n");
  EXPECT_EQ(cli::TypeList(true), "mp4\naac\nm4a\nmp3\n");
  EXPECT_THAT(cli::TypeList(false), HasSubstr("mp3   MP3 Files (*.mp3)\n"));
  EXPECT_THAT(cli::TypeList(false), HasSubstr("Plim MPEG-4 Video Files (*.mp4) (default)"));
  EXPECT_EQ(cli::ProfileList(Resolve({}), true),
            "Low Quality\nAcceptable Quality\nNormal Quality\nExcellent Quality\nSuperb Quality\nTravel\nprofile:2\n");
  const std::string full = cli::ProfileList(Resolve({}), false);
  EXPECT_THAT(full, HasSubstr("  2  Normal Quality       320x240, 15 fps, video 768 kbit/s, audio 128 kbit/s"));
  EXPECT_THAT(full, HasSubstr("  Travel                  160x112, 30 fps, video 256 kbit/s, audio 16 kbit/s, "
                              "1 channel, Mono, 22050 Hz\n"));
  EXPECT_THAT(full, HasSubstr("  profile:2               368x208"));
  EXPECT_THAT(cli::ProfileList(Resolve({"-t", "mp3"}), false), HasSubstr("Quality levels for .mp3:"));
}

// --- --help. ---

TEST(CliHelp, ListsTheSourceTypesTheListTakesAndTheManualAgrees) {
  const std::string help = cli::UsageText();
  const std::string after = help.substr(help.find("Source types:"));
  const auto listed = Matches(after.substr(0, after.find("\n\n")), R"((\.[a-z0-9]+))");
  const auto taken = sources::AcceptedSourceExtensions();
  EXPECT_EQ(listed, std::set<std::string>(taken.begin(), taken.end())) << help;
  const std::string man = ReadFile(VTPC_DATA_DIR "/vtp-convert.1").value_or("");
  std::smatch line;
  ASSERT_TRUE(std::regex_search(man, line, std::regex(R"(\n\\&(\.[^\n]*)\n)")));
  EXPECT_EQ(Matches(line[1].str(), R"((\.[a-z0-9]+))"), listed) << "the manual's SOURCE TYPES";
  for (const std::string& row : text::SplitText(help, '\n')) EXPECT_LT(row.size(), 80u) << row;
}

TEST_F(CliPlan, TheDataLayoutGivesTheSettingsScratchAndDefaultOutputFolders) {
  TempDir home;
  platform::DataLayout layout = platform::InstalledLayout(
      "/usr/lib/vtpc/", [&](const char* name) { return std::string(name) == "HOME" ? home.path() : std::string(); });
  layout.config_folder = config.path();
  const cli::Plan plan = cli::ResolvePlan(Parse({"x.avi"}), layout, "/home/ann/work");
  EXPECT_EQ(plan.app_dir, "/usr/lib/vtpc/");
  EXPECT_EQ(plan.config_dir, config.path());
  EXPECT_EQ(plan.scratch_dir, home.path() + ".cache/video-to-plim-converter/");
  EXPECT_EQ(plan.output_dir, home.path() + "Videos/Video To Plim Converter/");
  // Installed, a hand-edited relative folder is the user's, below the home folder.
  WriteFile(config.file("UserSettings.ini"), "\r\n[USRInfo]\r\nOutDir=relout\r\n");
  EXPECT_EQ(cli::ResolvePlan(Parse({"x.avi"}), layout, "/home/ann/work").output_dir, home.path() + "relout/");
}

// Records what a run reports.
struct RecordingReporter : cli::Reporter {
  void FileStarted(size_t, const std::string&) override {}
  void FileProgress(size_t, double, double) override {}
  void EncoderLine(size_t, const std::string&) override {}
  void FileFinished(size_t, const cli::FileResult& r) override { finished.push_back(r); }
  std::vector<cli::FileResult> finished;
};

TEST(CliRunFolders, AScratchFolderThatCannotBeMadeFailsEveryFileAndWritesNoScript) {
  TempDir work, out;
  WriteFile(work.file("scratch"), "a file where the scratch folder should be");
  MakeClip(".avi", 1, work.file("a.avi"));
  cli::Plan plan;
  plan.app_dir = work.path();
  plan.output_dir = out.path();
  plan.scratch_dir = work.file("scratch/");
  plan.current_folder = work.path();
  RecordingReporter reporter;
  cli::RunControl control;
  const auto results = cli::RunConversions(plan, {work.file("a.avi"), work.file("b.avi")}, 1, reporter, control);
  ASSERT_EQ(results.size(), 2u);
  for (const auto& r : results) {
    EXPECT_FALSE(r.converted);
    EXPECT_THAT(r.reason, HasSubstr("cannot create a scratch folder in " + work.file("scratch/")));
  }
  EXPECT_EQ(reporter.finished.size(), 2u);
  // No script went anywhere else instead, the current folder least of all.
  EXPECT_FALSE(Exists(work.file("VideoFile-0.avs")));
  EXPECT_FALSE(Exists("VideoFile-0.avs"));
}

}  // namespace
