// The texts the console front end prints: JSON records, escaped names, shell
// quoting, the progress lines and bar, --quiet and --verbose.
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

// --- Texts: JSON, escaped names, shell quoting. ---

TEST(CliStatus, TimeIsReadFromStatusLinesOnly) {
  EXPECT_DOUBLE_EQ(*cli::StatusTime("frame=   10 q=2.0 size=  12kB time=1.52 bitrate= 1.0kbits/s"), 1.52);
  EXPECT_DOUBLE_EQ(*cli::StatusTime("size=   3kB time=0.00 bitrate=  0.0kbits/s"), 0.0);
  EXPECT_FALSE(cli::StatusTime("evc: cannot open the input"));
  EXPECT_FALSE(cli::StatusTime("time=N/A"));
}

// A strict check: python's decoder refuses bad UTF-8, its parser bad JSON.
bool StrictJson(const std::string& line, const TempDir& scratch) {
  WriteFile(scratch.file("line.json"), line);
  return Shell(
             "python3 -c 'import json,sys; json.loads(open(sys.argv[1],\"rb\").read().decode(\"utf-8\")); "
             "print(\"ok\")' '" +
             scratch.file("line.json") + "' 2>&1") == "ok\n";
}

TEST(CliJson, EveryRecordIsStrictUtf8JsonWithTheExactPathInBase64) {
  TempDir scratch;
  cli::FileResult r;
  r.index = 3;
  r.source = "/v/a \"b\"\n\\c\x01\x7f.avi";
  r.reason = "tab\there \xc3\xa9";
  std::string json = cli::ResultJson(r);
  EXPECT_THAT(json, HasSubstr(R"("source":"/v/a \"b\"\n\\c\u0001\u007f.avi")"));
  EXPECT_THAT(json, HasSubstr(R"("reason":"tab\there )"
                              "\xc3\xa9\""));
  EXPECT_THAT(json, HasSubstr(R"("index":3,)"));
  EXPECT_THAT(json, HasSubstr(R"("output":null)"));
  EXPECT_THAT(json, HasSubstr(R"("exit_code":null)"));
  EXPECT_THAT(json, Not(HasSubstr("_base64")));
  EXPECT_TRUE(StrictJson(json, scratch)) << json;

  // Bytes no UTF-8 decoder takes: a stray byte, an overlong "/", a surrogate, a cut sequence.
  for (const std::string bad : {"/v/bad\xff.mp4", "/v/\xc0\xaf.mp4", "/v/\xed\xa0\x80.mp4", "/v/cut\xe2\x82"}) {
    r.source = bad;
    r.output = bad + ".mp4";
    r.exit_code = 0;
    json = cli::ResultJson(r);
    EXPECT_TRUE(StrictJson(json, scratch)) << json;
    const std::string encoded = *Matches(json, R"("source_base64":"([^"]*))").begin();
    const std::string decoded = Shell("printf %s '" + encoded + "' | base64 -d");
    EXPECT_EQ(decoded, bad);
    EXPECT_THAT(json, HasSubstr(R"("output_base64":")"));
    EXPECT_THAT(json, HasSubstr(R"("exit_code":0)"));
  }
}

TEST(CliMessages, NamesAreEscapedAsLsDoes) {
  EXPECT_EQ(cli::EscapeName("/v/plain name é.avi"), "/v/plain name é.avi");
  EXPECT_EQ(cli::EscapeName("/v/two\nlines\r\t.avi"), "/v/two\\nlines\\r\\t.avi");
  EXPECT_EQ(cli::EscapeName("back\\slash"), "back\\\\slash");
  EXPECT_EQ(cli::EscapeName(std::string("nul\0esc\x1b\x7f", 9)), "nul\\000esc\\033\\177");
  EXPECT_EQ(cli::EscapeName("bad\xff\xc3"), "bad\\377\\303");
}

// What ShellQuote writes, run by a real shell, gives the same words back.
TEST(CliDryRun, QuotedCommandsGiveTheSameWordsToAShell) {
  const std::vector<std::string> words = {"/opt/my apps/evc", "-y",       "it's",    "a\nb",  "tab\there", "$HOME",
                                          "`date`",           "back\\sl", "bad\xff", "*.avi", "",          "plain-1.5"};
  const std::string quoted = cli::ShellQuote(words);
  EXPECT_EQ(quoted.find('\n'), std::string::npos) << "one line";
  TempDir scratch;
  WriteFile(scratch.file("words.sh"), "set -- " + quoted + "\nprintf '%s\\0' \"$@\"\n");
  const std::string out = Shell("cd '" + scratch.path() + "' && bash words.sh");
  std::string expected;
  for (const auto& word : words) expected += word + std::string(1, '\0');
  EXPECT_EQ(out, expected) << quoted;
  EXPECT_EQ(quoted.substr(0, quoted.find(" -y")), "'/opt/my apps/evc'");
}

// --- What a run prints: progress lines, the bar, --quiet and --verbose. ---

struct Captured {
  Captured() : out(open_memstream(&out_data, &out_size)), err(open_memstream(&err_data, &err_size)) {}
  ~Captured() {
    std::fclose(out);
    std::fclose(err);
    std::free(out_data);
    std::free(err_data);
  }
  std::string Out() {
    std::fflush(out);
    return std::string(out_data, out_size);
  }
  std::string Err() {
    std::fflush(err);
    return std::string(err_data, err_size);
  }
  char* out_data = nullptr;
  char* err_data = nullptr;
  size_t out_size = 0, err_size = 0;
  FILE* out;
  FILE* err;
};

class CliProgress : public ::testing::Test {
 protected:
  cli::ReportSettings Settings(cli::Verbosity verbosity, bool terminal = false) {
    cli::ReportSettings s;
    s.out = io.out;
    s.err = io.err;
    s.terminal = terminal;
    s.verbosity = verbosity;
    s.now = [this] { return now; };
    s.width = [this] { return width; };
    return s;
  }
  Captured io;
  double now = 100;
  int width = 80;
};

TEST_F(CliProgress, OffATerminalAFileShowsLifeEveryFiveSeconds) {
  cli::ConsoleReporter reporter(2, Settings(cli::Verbosity::Normal));
  reporter.FileStarted(0, "/v/long\nname.avi");
  for (int second = 1; second <= 12; ++second) {
    now += 1;
    reporter.FileProgress(0, second * 2.0, 60);  // twice as fast as it plays
  }
  const std::string err = io.Err();
  EXPECT_EQ(err,
            "vtp-convert: converting /v/long\\nname.avi\n"
            "vtp-convert: /v/long\\nname.avi: 16% at 2.00x, 00:00:25 left\n"
            "vtp-convert: /v/long\\nname.avi: 33% at 2.00x, 00:00:20 left\n");
}

TEST_F(CliProgress, QuietShowsFailuresOnlyAndVerboseTheEncoderLines) {
  cli::FileResult good, bad;
  good.source = "/v/a.avi";
  good.output = "/o/a.mp4";
  good.converted = true;
  bad.index = 1;
  bad.source = "/v/b.avi";
  bad.reason = "cannot be read as video or audio";
  {
    cli::ConsoleReporter quiet(2, Settings(cli::Verbosity::Quiet));
    quiet.FileStarted(0, good.source);
    now += 20;
    quiet.FileProgress(0, 1, 2);
    quiet.EncoderLine(0, "frame=  10 time=1.00");
    quiet.Note("Keeping the computer awake skipped: no system bus.", true);
    quiet.FileFinished(0, good);
    quiet.FileFinished(1, bad);
  }
  EXPECT_EQ(io.Err(), "vtp-convert: failed: /v/b.avi: cannot be read as video or audio\n");
  Captured verbose_io;
  cli::ReportSettings settings = Settings(cli::Verbosity::Verbose);
  settings.err = verbose_io.err;
  cli::ConsoleReporter verbose(2, settings);
  verbose.FileStarted(0, good.source);
  verbose.EncoderLine(0, "frame=  10 time=1.00\x1b[2J");
  verbose.Note("Keeping the computer awake skipped: no system bus.", true);
  verbose.FileFinished(0, good);
  EXPECT_EQ(verbose_io.Err(),
            "vtp-convert: converting /v/a.avi\n"
            "vtp-convert: /v/a.avi: frame=  10 time=1.00\\033[2J\n"
            "vtp-convert: Keeping the computer awake skipped: no system bus.\n"
            "vtp-convert: /v/a.avi -> /o/a.mp4\n");
}

TEST_F(CliProgress, TheBarFitsTheTerminalWidth) {
  for (int columns : {80, 40, 20, 8}) {
    width = columns;
    Captured bar_io;
    cli::ReportSettings settings = Settings(cli::Verbosity::Normal, true);
    settings.err = bar_io.err;
    cli::ConsoleReporter reporter(12, settings);
    reporter.FileStarted(0, "/v/a.avi");
    now += 10;
    reporter.FileProgress(0, 30, 60);
    reporter.ClearBar();
    const std::string err = bar_io.Err();
    for (const std::string& part : text::SplitText(err, '\r')) {
      const std::string drawn = part.substr(0, part.find('\x1b'));
      EXPECT_LT(drawn.size(), static_cast<size_t>(columns)) << columns << ": " << drawn;
    }
    EXPECT_THAT(err, HasSubstr("%")) << columns;
    if (columns >= 40) {
      EXPECT_THAT(err, HasSubstr("0/12 files")) << err;
    }
    if (columns == 80) {
      EXPECT_THAT(err, HasSubstr("[#")) << err;
    }
  }
}

// A results reader that went away or a full disk is not a success.
TEST_F(CliProgress, AFailedWriteOfAResultIsKept) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  cli::ReportSettings settings = Settings(cli::Verbosity::Normal);
  settings.out = full;
  settings.json = true;
  cli::ConsoleReporter reporter(1, settings);
  cli::FileResult r;
  r.source = "/v/a.avi";
  reporter.FileFinished(0, r);
  EXPECT_EQ(reporter.WriteError(), ENOSPC);
  std::fclose(full);
}

}  // namespace
