// Whole runs of the built vtp-convert with the real encoder on small media: its
// exit status, standard output and error, signals, and what it leaves behind.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
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

TEST_F(CliRun, GoodFilesConvertWhileABrokenOneFailsTheRun) {
  MakeClip(".avi", 2, sources.file("one.avi"));
  MakeClip(".mp4", 2, sources.file("two.mp4"));
  WriteFile(sources.file("broken.avi"), std::string(4096, '\x42'));
  const auto r = RunCli(With({"-t", "mp3", "--json", "-j", "2", sources.file("one.avi"), sources.file("broken.avi"),
                              sources.file("two.mp4")}),
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
  const auto r =
      RunCli(With({"-j", "2", "--start", "00:00:00", "--end", "00:00:01", "clip.avi", other.file("clip.avi")}), scratch,
             sources.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Exists(out.file("clip_1.mp4")));
  EXPECT_TRUE(Exists(out.file("clip_2.mp4")));
  EXPECT_FALSE(Exists(out.file("clip.mp4")));
  // Encoders side by side share the cores rather than each taking all of them.
  const auto plans = [&](const char* jobs) {
    return Count(RunCli(With({"-n", "-j", jobs, "clip.avi", "clip.avi"}), scratch, sources.path()).out, " -threads ");
  };
  EXPECT_EQ(plans("1"), 0u);
  EXPECT_EQ(plans("2"), 2u);
}

TEST_F(CliRun, BadUsageExitsWithTwoAndConvertsNothing) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  for (const std::vector<std::string>& args :
       {With({"-t", "ogg", sources.file("a.avi")}), With({"-t=mp3", sources.file("a.avi")}),
        std::vector<std::string>{"--bogus", sources.file("a.avi")}, std::vector<std::string>{}}) {
    const auto r = RunCli(args, scratch);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_THAT(r.err, HasSubstr("vtp-convert: "));
    EXPECT_THAT(r.err, HasSubstr("Try 'vtp-convert --help'"));
  }
  EXPECT_FALSE(Exists(out.file("a.mp4")));
  EXPECT_EQ(RunCli({"--help"}, scratch).exit_code, 0);
}

// --start and --end as ffmpeg takes them, fractions exact.
TEST_F(CliRun, AFractionalRangeGivesThatLength) {
  MakeClip(".mkv", 3, sources.file("a.mkv"));
  const auto r = RunCli(With({"-t", "m4a", "--start", "0.5", "--end", "0:01.75", sources.file("a.mkv")}), scratch);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NEAR(media::DurationProbe().DurationMs(out.file("a.m4a")), 1250, 60);
}

TEST_F(CliRun, ADryRunPrintsCommandsAndNamesAndWritesNothing) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  MakeClip(".avi", 1, sources.file("two\nlines.avi"));
  MakeClip(".rm", 1, sources.file("c.rm"));
  WriteFile(out.file("a.mp4"), "taken");
  const std::string new_folder = out.file("new/");
  const auto r = RunCli({"--config", config.path(), "-o", new_folder, "-n", "--start", "0.25", sources.file("a.avi"),
                         sources.file("a.avi"), sources.file("two\nlines.avi"), sources.file("c.rm")},
                        scratch);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = text::SplitText(r.out, '\n');
  ASSERT_EQ(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], "# " + sources.file("a.avi") + " -> " + new_folder + "a.mp4");
  // No end: no length, so the clip runs to its own end, fraction and all.
  EXPECT_THAT(lines[1], HasSubstr(" -ss 00:00:00.25 "));
  EXPECT_THAT(lines[1], Not(HasSubstr(" -t ")));
  EXPECT_THAT(lines[1], HasSubstr(" " + new_folder + "a.mp4"));
  EXPECT_EQ(lines[2], "# " + sources.file("a.avi") + " -> " + new_folder + "a_1.mp4") << "names taken in the run";
  EXPECT_EQ(lines[4], "# " + sources.file("two\\nlines.avi") + " -> " + new_folder + "two\\nlines.mp4");
  EXPECT_THAT(lines[5], HasSubstr("$'" + sources.file("two\\012lines.avi") + "'"));
  EXPECT_THAT(lines[7], ContainsRegex("/revc -y -i [^ ]*/vtp-convert-X+/VideoFile-3.avs"))
      << "RealMedia goes through a script";
  // Nothing written: no output folder, no script.
  EXPECT_FALSE(Exists(new_folder));
  const auto r2 = RunCli(With({"--dry-run", "--json", sources.file("a.avi")}), scratch);
  EXPECT_THAT(r2.out, HasSubstr(R"("output":")" + out.file("a_1.mp4") + R"(","status":"planned","command":")"));
  EXPECT_EQ(ReadFile(out.file("a.mp4")), "taken");
}

TEST_F(CliRun, ListsComeFromTheSettingsFolder) {
  WriteFile(config.file("UserProfileInfo.ini"), "[Travel]\r\nTravel=0|6|0|0|0|0\r\n");
  const auto types = RunCli({"--list-types"}, scratch);
  EXPECT_EQ(types.exit_code, 0);
  EXPECT_THAT(types.out, HasSubstr("m4a   M4A MPEG Audio Files (*.m4a)"));
  const auto names = RunCli({"--config", config.path(), "--list-profiles=names"}, scratch);
  EXPECT_EQ(names.exit_code, 0);
  EXPECT_THAT(names.out, HasSubstr("Superb Quality\nTravel\n"));
  // Whatever else the settings hold wrong.
  WriteFile(config.file("UserSettings.ini"), "[USRInfo]\r\nOutDir=C:\\Videos\r\n");
  const auto full = RunCli({"--config", config.path(), "-t", "mp3", "-q", "nonesuch", "--list-profiles"}, scratch);
  EXPECT_EQ(full.exit_code, 0) << full.err;
  EXPECT_THAT(full.out, HasSubstr("Travel"));
  EXPECT_THAT(full.out, HasSubstr("30 fps"));
}

// MP3 below 32 kHz holds at most 160 kbit/s: the listing and the encoder say
// so for the levels that ask more; the stored values are left alone.
TEST_F(CliRun, Mp3LevelsSayTheRateTheFileWillReallyHave) {
  const auto mp3 = RunCli({"--config", config.path(), "-t", "mp3", "--list-profiles"}, scratch);
  EXPECT_THAT(mp3.out, HasSubstr("audio 160 (192 asked) kbit/s, "));
  EXPECT_THAT(RunCli({"--config", config.path(), "-t", "m4a", "--list-profiles"}, scratch).out,
              Not(HasSubstr("asked")));
  std::string level;
  for (const auto& line : text::SplitText(mp3.out, '\n'))
    if (level.empty() && line.find("(192 asked)") != std::string::npos) level = text::TrimBlanks(line).substr(0, 1);
  ASSERT_FALSE(level.empty()) << mp3.out;
  MakeSoundClip(".wav", 1, sources.file("tone.wav"));
  const auto r = RunCli(With({"-v", "-t", "mp3", "-q", level, sources.file("tone.wav")}), scratch);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("warning: MP3 at 22050 Hz holds at most 160 kbit/s: the file gets 160 (192 asked)"));
}

// The completion runs vtp-convert for the names, from the --config typed.
TEST_F(CliRun, TheCompletionOffersTypesLevelsAndProfiles) {
  WriteFile(config.file("UserProfileInfo.ini"), "[Travel]\r\nTravel=0|6|0|0|0|0\r\n[2]\r\n2=0|0|0|0|0|0\r\n");
  const auto complete = [&](const std::string& words, int cword) {
    WriteFile(scratch.file("complete.sh"),
              "source " + Quote(VTPC_DATA_DIR "/vtp-convert.bash-completion") + "\nCOMP_WORDS=(" + words +
                  ")\nCOMP_CWORD=" + std::to_string(cword) +
                  "\n_vtp_convert\nfor w in \"${COMPREPLY[@]}\"; do printf '%s|' \"$w\"; done\n");
    return RunShell("bash " + Quote(scratch.file("complete.sh"))).out;
  };
  const std::string cli = Quote(VTPC_CLI);
  EXPECT_EQ(complete(cli + " --config = " + Quote(config.path()) + " -q ''", 5),
            "Low Quality|Acceptable Quality|Normal Quality|Excellent Quality|Superb Quality|Travel|profile:2|");
  EXPECT_EQ(complete(cli + " -q tr", 2), "") << "no --config: the program's own profiles";
  EXPECT_EQ(complete(cli + " --config " + Quote(config.path()) + " -q tr", 4), "Travel|");
  EXPECT_EQ(complete(cli + " --type = m", 3), "mp4|m4a|mp3|");
  EXPECT_EQ(complete(cli + " --li", 1), "--list-types|--list-profiles|");
}

TEST_F(CliRun, NamesComeFromStandardInputOneALineOrNulSeparated) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  MakeClip(".avi", 1, sources.file("b c.avi"));
  MakeClip(".avi", 1, sources.file("new\nline.avi"));
  const auto lines = RunCli(With({"-n", "-"}), scratch, sources.path(), "printf 'a.avi\\n\\nb c.avi\\n' |");
  EXPECT_EQ(lines.exit_code, 0) << lines.err;
  EXPECT_EQ(Count(lines.out, "\n# "), 1u) << lines.out;
  EXPECT_THAT(lines.out, HasSubstr("b c.mp4"));
  const auto nul =
      RunCli(With({"-0", "--json", "-"}), scratch, sources.path(), "find . -name '*.avi' -print0 | sort -z |");
  EXPECT_EQ(nul.exit_code, 0) << nul.err;
  EXPECT_TRUE(Exists(out.file("new\nline.mp4")));
  EXPECT_TRUE(Exists(out.file("b c.mp4")));
  EXPECT_THAT(nul.out, HasSubstr(R"("index":2,"source":")" + sources.file("new\\nline.avi")));
  const auto none = RunCli(With({"-"}), scratch, sources.path(), "true |");
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_THAT(none.err, HasSubstr("no file names on standard input"));
}

TEST_F(CliRun, QuietPrintsOnlyFailuresAndTheSummary) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  WriteFile(config.file("UserProfileInfo.ini"), "[Odd]\r\nOdd=0|9|0|0|0|0\r\n");
  const auto quiet =
      RunCli(With({"--quiet", "-q", "odd", sources.file("a.avi"), sources.file("missing.avi")}), scratch);
  EXPECT_EQ(quiet.exit_code, 1);
  EXPECT_EQ(quiet.err, "vtp-convert: failed: " + sources.file("missing.avi") +
                           ": no such file, or not a regular file\nvtp-convert: 1 of 2 files failed\n");
  const auto normal = RunCli(With({"-q", "odd", sources.file("a.avi")}), scratch);
  EXPECT_THAT(normal.err, HasSubstr("warning: custom profile 'Odd': frame rate position 9 is out of range"));
  EXPECT_THAT(normal.err, HasSubstr("converting " + sources.file("a.avi")));
  const auto verbose = RunCli(With({"-v", sources.file("a.avi")}), scratch);
  EXPECT_THAT(verbose.err, HasSubstr(sources.file("a.avi") + ": frame=")) << "the encoder's status lines";
}

// Library chatter and desktop notes stay out of a normal run; a name with a
// line break cannot forge a second message.
TEST_F(CliRun, MessagesStayOneLineAndFreeOfLibraryChatter) {
  std::string moovless(8192, '\0');
  const std::string head = std::string(
      "\0\0\0\x20"
      "ftypisom\0\0\x02\0isomiso2avc1mp41",
      32);
  moovless.replace(0, head.size(), head);
  WriteFile(sources.file("cut\nvtp-convert: forged.mp4"), moovless);
  // No session bus and no system bus at this address.
  const std::string no_bus =
      "env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + scratch.file("none");
  const auto r = RunCli(With({sources.file("cut\nvtp-convert: forged.mp4")}), scratch, "/", no_bus);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "vtp-convert: failed: " + sources.file("cut\\nvtp-convert: forged.mp4") +
                       ": not a media file\nvtp-convert: 1 of 1 files failed\n");
  const auto v = RunCli(With({"--verbose", sources.file("cut\nvtp-convert: forged.mp4")}), scratch, "/", no_bus);
  EXPECT_THAT(v.err, HasSubstr("moov atom not found"));
  EXPECT_THAT(v.err, HasSubstr("skipped"));
  EXPECT_THAT(v.err, Not(HasSubstr("No medium found")));
  EXPECT_THAT(v.err, HasSubstr("cannot reach the session bus: none is set up"));
  EXPECT_THAT(v.err, HasSubstr("cannot reach the system bus: none is running at unix:path="));
}

TEST_F(CliRun, JsonRecordsSayWhatExists) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  MakeClip(".avi", 1, sources.file("bad\xff.avi"));
  WriteFile(sources.file("notes.txt"), "not a video");
  const auto r = RunCli(
      With({"--json", "../" + std::filesystem::path(sources.path()).parent_path().filename().string() + "/./a.avi",
            "notes.txt", "bad\xff.avi"}),
      scratch, sources.path());
  EXPECT_EQ(r.exit_code, 1) << r.err;
  const auto lines = text::SplitText(r.out, '\n');
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[0], HasSubstr(R"({"index":0,"source":")" + sources.file("a.avi") + R"(","output":")" +
                                  out.file("a.mp4") + R"(","status":"converted","reason":"","exit_code":0,)"));
  EXPECT_THAT(lines[1], HasSubstr(R"({"index":1,"source":")" + sources.file("notes.txt") +
                                  R"(","output":null,"status":"failed","reason":"not a supported source type",)"
                                  R"("exit_code":null)"));
  EXPECT_THAT(lines[2],
              HasSubstr(R"({"index":2,"source":")" + sources.file("bad\xef\xbf\xbd.avi") + R"(","source_base64":")"));
  EXPECT_TRUE(Exists(out.file("bad\xff.mp4")));
}

TEST_F(CliRun, EachRefusedFileSaysWhyAndAWmvWithoutAStatedLengthConverts) {
  MakeWmvsWithoutLength(sources.file("cut.wmv"), sources.file("junk.wmv"));
  WriteFile(sources.file("notes.avi"), "not a video");
  MakeSubtitleOnlyClip(sources.file("subtitles.mp4"));
  const auto r = RunCli(With({"--json", "-t", "mp3", sources.file("cut.wmv"), sources.file("junk.wmv"),
                              sources.file("notes.avi"), sources.file("subtitles.mp4")}),
                        scratch);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  const std::pair<const char*, const char*> expected[] = {{"cut.wmv", R"("status":"converted","reason":"")"},
                                                          {"junk.wmv", R"("status":"converted","reason":"")"},
                                                          {"notes.avi", R"("reason":"not a media file")"},
                                                          {"subtitles.mp4", R"("reason":"no video or audio stream")"}};
  for (const auto& [name, result] : expected)
    EXPECT_THAT(JsonLineOf(r.out, sources.file(name)), HasSubstr(result)) << name << "\n" << r.err;
  EXPECT_GT(media::DurationProbe().DurationMs(out.file("junk.mp3")), 1900);
}

// Sources whose demuxer gives up early: an FLV tag that claims 16 MB, an Ogg
// zeroed from a third of the way to near its end. Less than half of the range
// comes out, so the file is kept as partial and the run fails, saying how much.
TEST_F(CliRun, ASourceThatGivesOutBeforeHalfItsRangeIsAPartialFailure) {
  MakeClipThatGivesOut(sources.file("tag.flv"));
  MakeClip(".ogv", 2, sources.file("hole.ogv"));
  std::string ogv = *ReadFile(sources.file("hole.ogv"));
  std::fill(ogv.begin() + static_cast<long>(ogv.size() * 3 / 10),
            ogv.begin() + static_cast<long>(ogv.size() * 92 / 100), '\0');
  WriteFile(sources.file("hole.ogv"), ogv);

  const auto r = RunCli(With({"--json", sources.file("tag.flv"), sources.file("hole.ogv")}), scratch);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  for (const char* name : {"tag", "hole"}) {
    const std::string line = JsonLineOf(r.out, sources.file(name));
    const std::string partial = out.file(std::string(name) + ".partial.mp4");
    EXPECT_THAT(line, HasSubstr("\"output\":\"" + partial + "\",\"status\":\"failed\"")) << r.err;
    EXPECT_THAT(line, ContainsRegex("\"reason\":\"the source could be read for [01]\\.[0-9]+ s of 2\\.[0-9]+ s\""));
    EXPECT_THAT(line, HasSubstr("\"partial\":true"));
    EXPECT_TRUE(Exists(partial)) << partial;
    EXPECT_FALSE(Exists(out.file(std::string(name) + ".mp4")));
  }
}

TEST_F(CliRun, AFailedWriteOfTheResultsFailsTheRun) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  const auto r = RunCli(With({"--json", sources.file("a.avi")}), scratch, "/", "", ">/dev/full");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("vtp-convert: write error: No space left on device"));
  EXPECT_TRUE(Exists(out.file("a.mp4"))) << "the conversion itself went on";
  for (const char* option : {"--help", "--list-types", "--version"}) {
    const auto small = RunCli({option}, scratch, "/", "", ">/dev/full");
    EXPECT_EQ(small.exit_code, 1) << option;
    EXPECT_THAT(small.err, HasSubstr("write error: No space left on device")) << option;
  }
}

TEST_F(CliRun, AConfigThatIsNoFolderAndAForeignStoredFolderAreUsageErrors) {
  MakeClip(".avi", 1, sources.file("a.avi"));
  const auto missing = RunCli({"--config", config.file("nope"), sources.file("a.avi")}, scratch);
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_THAT(missing.err, HasSubstr("--config " + config.file("nope") + ": No such file or directory"));
  WriteFile(config.file("UserSettings.ini"), "[USRInfo]\r\nOutDir=C:\\Videos\r\n");
  const auto foreign = RunCli({"--config", config.path(), sources.file("a.avi")}, scratch);
  EXPECT_EQ(foreign.exit_code, 2);
  EXPECT_THAT(foreign.err, HasSubstr("\"C:\\Videos\" stored in " + config.file("UserSettings.ini") +
                                     " is a Windows "
                                     "path, not a folder of this system. Give the output folder with -o DIR."));
  EXPECT_FALSE(Exists(std::filesystem::path(VTPC_CLI).parent_path().string() + "/C:\\Videos"));
}

// The program folder without the encoder: said once, with its path.
TEST_F(CliRun, AMissingEncoderIsNamedOnceUpFrontAndAMissingProbeFailsEachFileLeavingNothing) {
  TempDir program;
  std::filesystem::copy_file(VTPC_CLI, program.file("vtp-convert"));
  MakeClip(".avi", 1, sources.file("a.avi"));
  MakeClip(".avi", 1, sources.file("b.avi"));
  auto run = [&](bool both = true) {
    const RunResult r =
        RunShell(Quote(program.file("vtp-convert")) + " --config " + Quote(config.path()) + " -o " + Quote(out.path()) +
                 " " + Quote(sources.file("a.avi")) + " " + (both ? Quote(sources.file("b.avi")) : "") + " 2>&1");
    return std::make_pair(r.exit_code, r.out);
  };
  EXPECT_EQ(run(), std::make_pair(1, "vtp-convert: the encoder " + program.file("evc") +
                                         " is missing: No such file or directory\n"));
  // The encoder starts before the probe is loaded, and is stopped when it cannot be.
  std::filesystem::create_symlink(std::filesystem::path(VTPC_CLI).parent_path() / "evc", program.file("evc"));
  const auto [status, text] = run();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Count(text, ": cannot measure files without " + program.file("vtp-probe.so") + ": "), 2u) << text;
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  // A refusal that comes after the encoder has written its file takes the file
  // away: this encoder writes and then lets the probe module (a pipe) be read.
  std::filesystem::remove(program.file("evc"));
  ASSERT_EQ(mkfifo(program.file("vtp-probe.so").c_str(), 0600), 0);
  WriteFile(program.file("evc"),
            "#!/bin/sh\nfor last; do :; done\necho x >\"$last\"\necho >" + Quote(program.file("vtp-probe.so")) + "\n");
  std::filesystem::permissions(program.file("evc"), std::filesystem::perms::owner_all);
  EXPECT_EQ(run(false).first, 1);
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  // What keeps a short run short: the media libraries come with the probe alone.
  EXPECT_THAT(RunShell("readelf -d " + Quote(VTPC_CLI)).out, Not(HasSubstr("libav")));
}

}  // namespace
