#include "platform/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fakes.h"

using platform::QuoteArgument;
using platform::SplitArguments;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitArguments, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitArguments(""), Args{});
  EXPECT_EQ(SplitArguments("   \t "), Args{});
  EXPECT_EQ(SplitArguments(" -y  -i\tx "), (Args{"-y", "-i", "x"}));
  EXPECT_EQ(SplitArguments("\"a b\" c"), (Args{"a b", "c"}));
  EXPECT_EQ(SplitArguments("pre\"mid dle\"post"), (Args{"premid dlepost"}));
  EXPECT_EQ(SplitArguments("\"\" x"), (Args{"", "x"}));
  // An unclosed quote runs to the end.
  EXPECT_EQ(SplitArguments("\"open ended"), (Args{"open ended"}));
}

TEST(SplitArguments, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(SplitArguments(R"(a\b c\\d)"), (Args{R"(a\b)", R"(c\\d)"}));
  EXPECT_EQ(SplitArguments(R"(a\"b)"), (Args{R"(a"b)"}));
  EXPECT_EQ(SplitArguments(R"(a\\"b c")"), (Args{R"(a\b c)"}));
  EXPECT_EQ(SplitArguments(R"(a\\\"b)"), (Args{R"(a\"b)"}));
  EXPECT_EQ(SplitArguments(R"("end\\" next)"), (Args{R"(end\)", "next"}));
  // Two quotes inside a group give one literal quote and the group goes on.
  EXPECT_EQ(SplitArguments(R"("say ""hi"" now")"), (Args{R"(say "hi" now)"}));
}

TEST(QuoteArgument, PlainTextOnlyGetsItsQuotes) {
  EXPECT_EQ(QuoteArgument("/home/me/My Videos/clip.avi"), "\"/home/me/My Videos/clip.avi\"");
  EXPECT_EQ(QuoteArgument(R"(/a\b/c)"), R"("/a\b/c")");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
}

TEST(QuoteArgument, EveryTextComesBackWhole) {
  const std::string texts[] = {
      "",          "plain",         "with blank", "\"",        "\"\"",        "a\"b",
      "ends\\",    "ends\\\\",      "\\\"",       "\\\\\"x\\", " -f null \"", "\" -i /etc/passwd \"",
      "tab\there", "-leading dash", "über ☃",
  };
  for (const std::string& text : texts) {
    const Args args = SplitArguments("-i " + QuoteArgument(text) + " " + QuoteArgument("out"));
    ASSERT_EQ(args.size(), 3u) << text;
    EXPECT_EQ(args[1], text);
    EXPECT_EQ(args[2], "out");
  }
}

TEST(SplitCommandLine, UnquotedProgramWithBlanksTakesTheShortestExistingPrefix) {
  testing_support::TempDir dir;
  const std::string folder = dir.path() + "My Programs/";
  std::filesystem::create_directories(folder + "sub dir");
  testing_support::WriteFile(folder + "evc", "");
  ::chmod((folder + "evc").c_str(), 0755);
  EXPECT_EQ(SplitCommandLine(folder + "evc -y -i \"a b.avi\""), (Args{folder + "evc", "-y", "-i", "a b.avi"}));

  // A data file at a shorter prefix is no program and does not take the encoder's place.
  testing_support::WriteFile(dir.path() + "My", "");
  EXPECT_EQ(SplitCommandLine(folder + "evc -y")[0], folder + "evc");
  // A program that names a shorter prefix wins, as it would on the original platform.
  ::chmod((dir.path() + "My").c_str(), 0755);
  EXPECT_EQ(SplitCommandLine(folder + "evc -y")[0], dir.path() + "My");

  // A folder is not a program; nothing existing: the first blank ends the program.
  EXPECT_EQ(SplitCommandLine(folder + "sub dir/x -y"), (Args{dir.path() + "My", "Programs/sub", "dir/x", "-y"}));
  EXPECT_EQ(SplitCommandLine("/nowhere/a b c"), (Args{"/nowhere/a", "b", "c"}));
}

TEST(SplitCommandLine, QuotedProgramEndsAtTheNextQuote) {
  EXPECT_EQ(SplitCommandLine("\"/opt/my app/evc\" -y"), (Args{"/opt/my app/evc", "-y"}));
  EXPECT_EQ(SplitCommandLine("  /bin/true"), (Args{"/bin/true"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
}

TEST(SplitCommandLine, QuotedProgramComesBackWholeWhateverItsFolderHolds) {
  testing_support::TempDir dir;
  // A runnable file at a shorter prefix must not matter once the program is quoted.
  testing_support::WriteFile(dir.path() + "My", "#!/bin/sh\n");
  ::chmod((dir.path() + "My").c_str(), 0755);
  for (const std::string folder :
       {"My Apps/", "My \"quoted\" Apps/", "My, Apps, Too/", "tab\there/", "back\\slash\\/", "trailing\\"}) {
    const std::string program = dir.path() + folder + "evc";
    const Args args = SplitCommandLine(QuoteArgument(program) + " -y -i " + QuoteArgument("/in/a \"b\".avi"));
    EXPECT_EQ(args, (Args{program, "-y", "-i", "/in/a \"b\".avi"})) << folder;
  }
  // A program whose own name ends in a backslash keeps it.
  EXPECT_EQ(SplitCommandLine(QuoteArgument("/opt/x\\") + " -y"), (Args{"/opt/x\\", "-y"}));
}
