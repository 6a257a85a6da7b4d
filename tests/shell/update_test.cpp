#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "shell/startup.h"
#include "test_program.h"

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestProgram;
using testing_support::WriteFile;

TEST(ProfileWriter, ReplacesTheValueAndKeepsEveryOtherLine) {
  TempDir dir;
  const std::string original =
      "; updater settings\r\n[Server]\r\nUrl=http://x\r\n\r\n[AutoUpdate]\r\nLastCheck=2024-01-01\r\n"
      "UpdateModalUsr=false\r\nInterval = 7 \r\n\r\n[Other]\r\nUpdateModalUsr=keep\r\n";
  WriteFile(dir.file("u.ini"), original);
  ASSERT_TRUE(WriteProfileString(dir.file("u.ini"), "AutoUpdate", "UpdateModalUsr", "true"));
  ASSERT_TRUE(WriteProfileString(dir.file("u.ini"), "AutoUpdate", "UpdateTodayExeced", "false"));
  EXPECT_EQ(*ReadFile(dir.file("u.ini")),
            "; updater settings\r\n[Server]\r\nUrl=http://x\r\n\r\n[AutoUpdate]\r\nLastCheck=2024-01-01\r\n"
            "UpdateModalUsr=true\r\nInterval = 7 \r\nUpdateTodayExeced=false\r\n\r\n[Other]\r\n"
            "UpdateModalUsr=keep\r\n");
}

TEST(ProfileWriter, MatchesSectionsAndKeysWithoutCaseAndAddsWhatIsMissing) {
  TempDir dir;
  WriteFile(dir.file("a.ini"), "[autoupdate]\nupdatemodalusr = false\n[Next]\nx=1");
  ASSERT_TRUE(WriteProfileString(dir.file("a.ini"), "AutoUpdate", "UpdateModalUsr", "true"));
  EXPECT_EQ(*ReadFile(dir.file("a.ini")), "[autoupdate]\nUpdateModalUsr=true\n[Next]\nx=1");
  ASSERT_TRUE(WriteProfileString(dir.file("a.ini"), "New", "k", "v"));
  EXPECT_EQ(*ReadFile(dir.file("a.ini")), "[autoupdate]\nUpdateModalUsr=true\n[Next]\nx=1\n[New]\nk=v\n");
  // A file that cannot be written is reported, and left as it was.
  EXPECT_FALSE(WriteProfileString(dir.file("no/such/folder.ini"), "S", "k", "v"));
}

TEST(Update, WritesTheUpdatersKeysAndStartsItWhenPresent) {
  TestProgram t;
  WriteFile(t.AppDir() + "UpDateSettings.ini", "[AutoUpdate]\r\nUpdateModalUsr=false\r\nVersion=1\r\n");
  // A stand-in updater of our own that leaves a mark when it runs.
  const std::string mark = t.AppDir() + "updater-ran";
  WriteFile(t.AppDir() + "AutoUpDate", "#!/bin/sh\ntouch '" + mark + "'\n");
  ::chmod((t.AppDir() + "AutoUpDate").c_str(), 0755);
  t->MainForm().btnUpdate.Click();
  EXPECT_EQ(*ReadFile(t.AppDir() + "UpDateSettings.ini"),
            "[AutoUpdate]\r\nUpdateModalUsr=true\r\nVersion=1\r\nUpdateTodayExeced=false\r\n");
  for (int i = 0; i < 200 && !Exists(mark); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(Exists(mark));
  EXPECT_FALSE(t->MainForm().btnUpdate.Visible());
  EXPECT_FALSE(t->MainForm().tmrAutoUpdate.Enabled());
}

TEST(Update, WithoutTheUpdatersFileNothingIsWrittenAndNothingFails) {
  TestProgram t;
  t->MainForm().actUpdateExecute();
  EXPECT_FALSE(Exists(t.AppDir() + "UpDateSettings.ini"));
  EXPECT_TRUE(t.dialogs.messages.empty());
}

TEST(CodecHelp, BothLinksOpenTheCodecSectionOfTheHelpPage) {
  TestProgram t;
  t->MainForm().Label3Click();
  TFrmCodeErrorForm error(*t);
  EXPECT_EQ(error.Form.Caption(), "Error Info");
  EXPECT_EQ(error.Label2.Caption(), "(Click here to download)");
  error.Form.Show();
  error.Label2Click();
  EXPECT_TRUE(error.Form.Visible());  // the link leaves the window open
  error.BitBtn1.Click();
  EXPECT_FALSE(error.Form.Visible());
  ASSERT_EQ(t.launcher.opened.size(), 2u);
  EXPECT_EQ(t.launcher.opened[0], "file://" + t.AppDir() + "Help.html#codecs");
  EXPECT_EQ(t.launcher.opened[1], t.launcher.opened[0]);
  EXPECT_EQ(CodecDownloadAddress("/opt/My Apps/vtpc/"), "file:///opt/My%20Apps/vtpc/Help.html#codecs");
}
