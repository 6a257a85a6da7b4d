#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/platform.h"
#include "settings_fixture.h"

using settings_test::SettingsTest;
using testing_support::Exists;
using testing_support::TempDir;

namespace {

constexpr const char* kSettings = "UserSettings.ini";

class UserSettings : public SettingsTest {};

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(path);
}

}  // namespace

TEST_F(UserSettings, FirstStartGivesUntickedBoxesTheHomeFolderDefaultsAndWritesNothing) {
  EXPECT_TRUE(main.chkShowOutputDirectory.Checked());  // the window's design state
  proc.LoadUserSettings();
  EXPECT_FALSE(main.chkShowOutputDirectory.Checked());
  EXPECT_FALSE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), platform::HomeFolder() + "/Video To Plim Converter");
  EXPECT_EQ(proc.ReadInitDir(), platform::HomeFolder() + "/");
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));
}

TEST_F(UserSettings, FirstRunFileHoldsTheKeysInFirstWrittenOrderWithCrLf) {
  main.dlgOpenSourceFile.Execute(tp.dialogs);  // cancelled: never returned a file
  proc.SaveInitDir();
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));

  tp.dialogs.open_answers.push_back({"/media/clips/a.avi", "/other/b.avi"});
  main.dlgOpenSourceFile.Execute(tp.dialogs);
  proc.SaveInitDir();
  EXPECT_EQ(Content(kSettings), "\r\n[USRInfo]\r\nInitDir=/media/clips/\r\n");

  main.chkShutdown.SetChecked(true);
  main.edtOutputFolder.SetText("/srv/out");
  proc.SaveUserSettings();
  EXPECT_EQ(Content(kSettings),
            "\r\n[USRInfo]\r\nInitDir=/media/clips/\r\nSHWDDir=1\r\nSHUTDOWN=1\r\nOutDir=/srv/out\r\n");

  // A cancelled dialog keeps the file it returned before: the folder stays.
  main.dlgOpenSourceFile.Execute(tp.dialogs);
  proc.SaveInitDir();
  EXPECT_EQ(proc.ReadInitDir(), "/media/clips/");
}

TEST_F(UserSettings, SavingRewritesAllThreeInPlaceEvenWhenNothingChanged) {
  Write(kSettings, "[USRInfo]\r\nOutDir = /old\r\nSHUTDOWN=0\r\nkeep me\r\nSHWDDir=1\r\n[Other]\r\nx=1\r\n");
  proc.LoadUserSettings();
  proc.SaveUserSettings();
  EXPECT_EQ(Content(kSettings), "[USRInfo]\r\nOutDir=/old\r\nSHUTDOWN=0\r\nkeep me\r\nSHWDDir=1\r\n[Other]\r\nx=1\r\n");
}

TEST_F(UserSettings, OnlyAStoredOneTicksABoxAndAnEmptyOutDirKeepsTheDesignText) {
  Write(kSettings, "[usrinfo]\nSHWDDir=yes\nSHUTDOWN=  1  \nOutDir=\n");
  main.chkShutdown.SetChecked(false);
  proc.LoadUserSettings();
  EXPECT_FALSE(main.chkShowOutputDirectory.Checked());
  EXPECT_TRUE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), platform::DefaultOutputFolder());

  Write(kSettings, "[USRInfo]\nSHWDDir=1\nSHUTDOWN=01\nOutDir=/data/My Videos\nInitDir=/x/\n");
  proc.LoadUserSettings();
  EXPECT_TRUE(main.chkShowOutputDirectory.Checked());
  EXPECT_FALSE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), "/data/My Videos");
  EXPECT_EQ(proc.ReadInitDir(), "/x/");
}

TEST_F(UserSettings, LoadingDoesNotCreateTheOutputFolder) {
  const std::string out = tp.AppDir() + "not yet";
  Write(kSettings, "[USRInfo]\r\nOutDir=" + out + "\r\n");
  proc.LoadUserSettings();
  EXPECT_EQ(main.edtOutputFolder.Text(), out);
  EXPECT_FALSE(Exists(out));
}

TEST_F(UserSettings, AFailedSaveThrowsTheStoreErrorButTheCloseVariantReportsAndGoesOn) {
  std::filesystem::remove_all(tp.AppDir() + "Config");
  EXPECT_THROW(proc.SaveUserSettings(), FileCreateError);
  EXPECT_TRUE(tp.dialogs.messages.empty());

  EXPECT_FALSE(proc.SaveUserSettingsOnClose());
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Error);
  EXPECT_EQ(tp.dialogs.messages[0].caption, "Video To Plim Converter");
  EXPECT_EQ(tp.dialogs.messages[0].text.rfind("Cannot create file \"" + ConfigFile(kSettings) + "\". ", 0), 0u)
      << tp.dialogs.messages[0].text;
}

TEST_F(UserSettings, TheCloseVariantSavesQuietlyWhenItCan) {
  EXPECT_TRUE(proc.SaveUserSettingsOnClose());
  EXPECT_TRUE(tp.dialogs.messages.empty());
  EXPECT_EQ(Content(kSettings),
            "\r\n[USRInfo]\r\nSHWDDir=1\r\nSHUTDOWN=0\r\nOutDir=" + platform::DefaultOutputFolder() + "\r\n");
}

// --- Choosing the output folder ---

namespace {

class OutputFolder : public SettingsTest {
 protected:
  TempDir media;
  std::string current = media.path() + "current";
  void SetUp() override { main.edtOutputFolder.SetText(current); }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> texts;
    for (const auto& m : tp.dialogs.messages) {
      EXPECT_EQ(m.kind, ui::MessageKind::Warning);
      EXPECT_EQ(m.caption, "Video To Plim Converter");
      texts.push_back(m.text);
    }
    return texts;
  }
};

}  // namespace

TEST_F(OutputFolder, CancellingKeepsTheTextAndCreatesTheMissingFolder) {
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(tp.dialogs.folder_titles, std::vector<std::string>{"Please select output folder:"});
  EXPECT_EQ(main.edtOutputFolder.Text(), current);
  EXPECT_TRUE(IsFolder(current));
  EXPECT_TRUE(Warnings().empty());
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));
}

TEST_F(OutputFolder, AWritableFolderIsAcceptedAndTheProbeRemoved) {
  const std::string chosen = media.path() + "chosen";
  std::filesystem::create_directory(chosen);
  tp.dialogs.folder_answers.push_back(chosen);
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(main.edtOutputFolder.Text(), chosen);
  EXPECT_FALSE(Exists(chosen + "/test"));
  EXPECT_TRUE(Warnings().empty());
  // The folder is only shown: the settings are written when the main window closes.
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));
  EXPECT_FALSE(Exists(current));
}

TEST_F(OutputFolder, AMissingFolderIsRefusedAsInvalid) {
  tp.dialogs.folder_answers.push_back(media.path() + "gone");
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(Warnings(), std::vector<std::string>{"The path is invalid."});
  EXPECT_EQ(main.edtOutputFolder.Text(), current);
  EXPECT_FALSE(Exists(media.path() + "gone"));
  EXPECT_TRUE(IsFolder(current));
}

TEST_F(OutputFolder, AFolderThatRefusesTheProbeIsReadOnlyAndKeepsTheOldFolder) {
  const std::string chosen = media.path() + "cdrom";
  std::filesystem::create_directory(chosen);
  std::vector<std::string> attempts;
  program.CommonLib().MakeFolders = [&](const std::string& folder) {
    attempts.push_back(folder);
    return folder == current && TCommonLib::MakeFoldersOnDisk(folder);
  };
  tp.dialogs.folder_answers.push_back(chosen);
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(Warnings(), std::vector<std::string>{"This is a read-only path."});
  EXPECT_EQ(main.edtOutputFolder.Text(), current);
  EXPECT_EQ(attempts, (std::vector<std::string>{chosen + "/test", current}));
  EXPECT_FALSE(Exists(chosen + "/test"));
  EXPECT_TRUE(IsFolder(current));
}

TEST_F(OutputFolder, AFolderOnWhichEvenRootCannotCreateIsReadOnly) {
  // Nothing can be created inside a process's /proc folder, whoever asks.
  const std::string chosen = "/proc/self";
  if (!IsFolder(chosen) || ::mkdir("/proc/self/test", 0755) == 0) GTEST_SKIP() << "no /proc here";
  tp.dialogs.folder_answers.push_back(chosen);
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(Warnings(), std::vector<std::string>{"This is a read-only path."});
  EXPECT_EQ(main.edtOutputFolder.Text(), current);
  EXPECT_FALSE(Exists("/proc/self/test"));
}

TEST_F(OutputFolder, AnExistingTestFolderIsAcceptedAndLeftAlone) {
  const std::string full = media.path() + "full";
  const std::string empty = media.path() + "empty";
  std::filesystem::create_directories(full + "/test");
  testing_support::WriteFile(full + "/test/clip.mp4", "data");
  std::filesystem::create_directories(empty + "/test");
  for (const std::string& chosen : {full, empty}) {
    tp.dialogs.folder_answers.push_back(chosen);
    main.btnSelectOutputFolderClick();
    EXPECT_EQ(main.edtOutputFolder.Text(), chosen);
    EXPECT_TRUE(IsFolder(chosen + "/test")) << chosen;
  }
  EXPECT_EQ(testing_support::ReadFile(full + "/test/clip.mp4"), "data");
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(OutputFolder, AFileNamedTestDoesNotMakeAWritableFolderReadOnly) {
  const std::string chosen = media.path() + "videos";
  std::filesystem::create_directory(chosen);
  testing_support::WriteFile(chosen + "/test", "notes");
  testing_support::WriteFile(chosen + "/test_1", "more notes");
  tp.dialogs.folder_answers.push_back(chosen);
  main.btnSelectOutputFolderClick();
  EXPECT_TRUE(Warnings().empty());
  EXPECT_EQ(main.edtOutputFolder.Text(), chosen);
  EXPECT_EQ(testing_support::ReadFile(chosen + "/test"), "notes");
  EXPECT_EQ(testing_support::ReadFile(chosen + "/test_1"), "more notes");
  EXPECT_FALSE(Exists(chosen + "/test_2"));
}
