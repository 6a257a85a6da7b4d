// Whole runs of the built vtp-convert with the real encoder on small media: its
// exit status, standard output and error, signals, and what it leaves behind.
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

#include "common/text.h"
#include "fakes.h"
#include "media/duration_probe.h"
#include "private_bus.h"
#include "test_media.h"

extern char** environ;

using namespace testing_support;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs vtp-convert through the shell: `before` goes in front of the program
// (variables, a wrapper), `after` behind the arguments (redirections).
RunResult RunCli(const std::vector<std::string>& args, const TempDir& scratch, const std::string& folder = "/",
                 const std::string& before = "", const std::string& after = "") {
  std::string command = "cd " + Quote(folder) + " && " + before + " " + Quote(VTPC_CLI);
  for (const auto& a : args) command += " " + Quote(a);
  command += " 2>" + Quote(scratch.file("stderr.txt")) + " " + after;
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

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class CliRun : public ::testing::Test {
 protected:
  std::vector<std::string> Base() { return {"--config", config.path(), "-o", out.path()}; }
  std::vector<std::string> With(std::vector<std::string> extra) {
    auto args = Base();
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  TempDir sources, out, config, scratch;
};

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
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("bash " + Quote(scratch.file("complete.sh"))).c_str(), "r"),
                                               &pclose);
    std::string offered;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) offered.append(buffer.data(), n);
    return offered;
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
  MakeClip(".wmv", 2, sources.file("whole.wmv"));
  const std::string whole = *ReadFile(sources.file("whole.wmv"));
  WriteFile(sources.file("cut.wmv"), whole.substr(0, whole.size() * 6 / 10));
  WriteFile(sources.file("junk.wmv"), whole + std::string(4096, 'Z'));
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
  for (const auto& [name, result] : expected) {
    std::string line;
    for (const auto& l : text::SplitText(r.out, '\n'))
      if (l.find(sources.file(name)) != std::string::npos) line = l;
    EXPECT_THAT(line, HasSubstr(result)) << name << "\n" << r.err;
  }
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
    std::string line;
    for (const auto& l : text::SplitText(r.out, '\n'))
      if (l.find(sources.file(name)) != std::string::npos) line = l;
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
TEST_F(CliRun, AMissingEncoderIsNamedOnceUpFront) {
  TempDir program;
  std::filesystem::copy_file(VTPC_CLI, program.file("vtp-convert"));
  MakeClip(".avi", 1, sources.file("a.avi"));
  MakeClip(".avi", 1, sources.file("b.avi"));
  const std::string cli = program.file("vtp-convert");
  const std::string command = Quote(cli) + " --config " + Quote(config.path()) + " -o " + Quote(out.path()) + " " +
                              Quote(sources.file("a.avi")) + " " + Quote(sources.file("b.avi")) + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  std::string text;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) text.append(buffer.data(), n);
  const int status = pclose(pipe.release());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(text, "vtp-convert: the encoder " + program.file("evc") + " is missing: No such file or directory\n");
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

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
