#include "common/helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>

#include "platform/errors.h"
#include "test_program.h"

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(FileNames, BaseNameFolderAndExtension) {
  EXPECT_EQ(TFileFunc::GetFileBaseName("/a.b/movie.part1.avi"), "movie.part1");
  EXPECT_EQ(TFileFunc::GetFileBaseName("/video/README"), "README");
  EXPECT_EQ(TFileFunc::GetFileBaseName("/v/name."), "name");
  EXPECT_EQ(TFileFunc::GetFileBaseName("/v/.hidden"), "");
  EXPECT_EQ(TFileFunc::GetFileFolder("/v/w/clip.avi"), "/v/w/");
  EXPECT_EQ(TFileFunc::GetFileFolder("clip.avi"), "");
  EXPECT_EQ(TFileFunc::GetFileExt("/a.b/clip"), "");
  EXPECT_EQ(TFileFunc::GetFileExt("/a/clip.RMVB"), ".RMVB");
  EXPECT_EQ(TStrFunc::TextAfterLast("clip_12", "_"), "12");
  EXPECT_EQ(TStrFunc::TextAfterLast("clip", "_"), "clip");
  EXPECT_EQ(TStrFunc::TextAfterLast("a_b_", "_"), "");
}

TEST(FileNames, RelativePathsAreTakenBelowTheBaseFolder) {
  EXPECT_EQ(TFileFunc::AbsolutePath("relout", "/opt/app/"), "/opt/app/relout");
  EXPECT_EQ(TFileFunc::AbsolutePath("../out/x", "/opt/app/"), "/opt/app/../out/x");
  EXPECT_EQ(TFileFunc::AbsolutePath("/abs/out", "/opt/app/"), "/abs/out");
  EXPECT_EQ(TFileFunc::AbsolutePath("", "/opt/app/"), "");
}

TEST(FileNames, SplitSkipEmptyKeepsOnlyNonEmptyParts) {
  std::vector<std::string> parts{"stale"};
  SplitSkipEmpty("1.2.5.2", '.', parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"1", "2", "5", "2"}));
  SplitSkipEmpty("a..b.", '.', parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"a", "b"}));
  SplitSkipEmpty("", '.', parts);
  EXPECT_TRUE(parts.empty());
}

TEST(FileNames, ListFolderFilesSkipsFoldersAndFiltersByExactExtension) {
  TempDir dir;
  WriteFile(dir.file("a.mp4"), "");
  WriteFile(dir.file("b.MP4"), "");
  WriteFile(dir.file(".hidden"), "");
  ::mkdir(dir.file("sub.mp4").c_str(), 0755);
  auto all = TFileFunc::ListFolderFiles(dir.path());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{dir.file(".hidden"), dir.file("a.mp4"), dir.file("b.MP4")}));
  EXPECT_EQ(TFileFunc::ListFolderFiles(dir.path(), ".mp4"), std::vector<std::string>{dir.file("a.mp4")});
  EXPECT_TRUE(TFileFunc::ListFolderFiles(dir.file("missing/")).empty());
}

TEST(UniqueFileName, TakenBaseNamesOfAnyExtensionAndLetterCaseAreSkipped) {
  TempDir dir;
  TFileFunc files;
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("clip.mp4")), dir.file("clip.mp4"));
  WriteFile(dir.file("Clip.MP4"), "");
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("clip.mp4")), dir.file("clip_1.mp4"));
  WriteFile(dir.file("clip_1.txt"), "");
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("clip.mp4")), dir.file("clip_2.mp4"));
  EXPECT_EQ(files.RequestedBaseName(), "clip");
}

TEST(UniqueFileName, NumberedRequestsGetTheirOwnSuffixAndFoldersDoNotBlock) {
  TempDir dir;
  TFileFunc files;
  WriteFile(dir.file("take_7.avi"), "");
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("take_7.mp4")), dir.file("take_7_1.mp4"));
  WriteFile(dir.file("take_7_1.mp4"), "");
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("take_7.mp4")), dir.file("take_7_2.mp4"));
  ::mkdir(dir.file("holiday").c_str(), 0755);
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("holiday.mp4")), dir.file("holiday.mp4"));
  // A folder that cannot be listed blocks nothing.
  EXPECT_EQ(files.MakeUniqueFileName(dir.file("nowhere/clip.mp4")), dir.file("nowhere/clip.mp4"));
}

TEST(Log, LinesAreAppendedInTheFixedFormat) {
  testing_support::TestProgram tp;
  tp->WriteLog("first");
  tp->AppFunc().WriteLog("parameter: evc -y");
  const auto content = testing_support::ReadFile(tp.AppDir() + "log.txt").value();
  const std::regex line(R"(Quorvan Soft \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\|first\r\n)"
                        R"(Quorvan Soft \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\|parameter: evc -y\r\n)");
  EXPECT_TRUE(std::regex_match(content, line)) << content;
  EXPECT_EQ(tp.LogMessages(), (std::vector<std::string>{"first", "parameter: evc -y"}));
}

TEST(Log, ControlCharactersAreEscapedSoEveryMessageIsOneLine) {
  testing_support::TestProgram tp;
  tp->WriteLog("parameter: \"/clips/a\r\nQuorvan Soft 01/01/2024 00:00:00|SHUTDOWN\n.avi\"");
  tp->WriteLog(std::string("tab\tstays, esc\x1b and nul\0 and del\x7f", 33));
  tp->WriteLog("utf-8 \xc3\xa9 and a backslash \\ stay");
  EXPECT_EQ(tp.LogMessages(),
            (std::vector<std::string>{"parameter: \"/clips/a\\r\\nQuorvan Soft 01/01/2024 00:00:00|SHUTDOWN\\n.avi\"",
                                      "tab\tstays, esc\\x1B and nul\\x00 and del\\x7F",
                                      "utf-8 \xc3\xa9 and a backslash \\ stay"}));
}

TEST(Log, AnUnwritableLogFailsToTheCaller) {
  TempDir dir;
  WriteFile(dir.file("file"), "");
  TAppFunc app(dir.file("file/log.txt"));  // a log folder that is a file
  EXPECT_THROW(app.WriteLog("x"), FileWriteError);
}
