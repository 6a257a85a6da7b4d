#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/platform.h"
#include "settings/ini_file.h"
#include "settings_fixture.h"

using settings_test::SettingsTest;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

constexpr const char* kSettings = "UserSettings.ini";

class UserSettings : public SettingsTest {};

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(path);
}

}  // namespace

TEST_F(UserSettings, FirstStartGivesUntickedBoxesAndTheHomeFolderDefaults) {
  EXPECT_TRUE(main.chkShowOutputDirectory.Checked());  // the window's design state
  proc.LoadUserSettings();
  EXPECT_FALSE(main.chkShowOutputDirectory.Checked());
  EXPECT_FALSE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), platform::HomeFolder() + "/Video To Plim Converter");
  EXPECT_EQ(proc.ReadInitDir(), platform::HomeFolder() + "/");
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));
}

TEST_F(UserSettings, FirstRunFileHoldsTheKeysInFirstWrittenOrderWithCrLf) {
  main.dlgOpenSourceFile.Execute(tp.dialogs);  // cancelled, never returned a file
  proc.SaveInitDir();
  EXPECT_FALSE(Exists(ConfigFile(kSettings)));

  tp.dialogs.open_answers.push_back({"/media/clips/a.avi", "/other/b.avi"});
  main.dlgOpenSourceFile.Execute(tp.dialogs);
  proc.SaveInitDir();
  main.chkShutdown.SetChecked(true);
  main.edtOutputFolder.SetText("/srv/out");
  proc.SaveUserSettings();
  EXPECT_EQ(Content(kSettings),
            "\r\n[USRInfo]\r\nInitDir=/media/clips/\r\nSHWDDir=1\r\nSHUTDOWN=1\r\nOutDir=/srv/out\r\n");

  // A cancelled dialog still holds the file it returned before: the folder stays.
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
  proc.LoadUserSettings();
  EXPECT_FALSE(main.chkShowOutputDirectory.Checked());
  EXPECT_TRUE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), platform::HomeFolder() + "/Video To Plim Converter");

  const std::string out = tp.AppDir() + "not yet";
  Write(kSettings, "[USRInfo]\nSHWDDir=1\nSHUTDOWN=01\nOutDir=" + out + "\n");
  proc.LoadUserSettings();
  EXPECT_TRUE(main.chkShowOutputDirectory.Checked());
  EXPECT_FALSE(main.chkShutdown.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), out);
  EXPECT_FALSE(Exists(out));  // created only when a conversion needs it
}

TEST_F(UserSettings, AFailedSaveThrowsTheStoreErrorAndTheCloseVariantReportsAndGoesOn) {
  EXPECT_TRUE(proc.SaveUserSettingsOnClose());
  EXPECT_TRUE(tp.dialogs.messages.empty());

  std::filesystem::remove_all(tp.AppDir() + "Config");
  EXPECT_THROW(proc.SaveUserSettings(), FileCreateError);
  EXPECT_FALSE(proc.SaveUserSettingsOnClose());
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Error);
  EXPECT_EQ(tp.dialogs.messages[0].caption, "Video To Plim Converter");
  EXPECT_EQ(tp.dialogs.messages[0].text.rfind("Cannot create file \"" + ConfigFile(kSettings) + "\". ", 0), 0u)
      << tp.dialogs.messages[0].text;
}

// --- Choosing the output folder ---

namespace {

class OutputFolder : public SettingsTest {
 protected:
  testing_support::TempDir media;
  std::string current = media.path() + "current";
  void SetUp() override { main.edtOutputFolder.SetText(current); }
  std::string Choose(const std::string& folder) {
    tp.dialogs.folder_answers.push_back(folder);
    main.btnSelectOutputFolderClick();
    return main.edtOutputFolder.Text();
  }
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
}

TEST_F(OutputFolder, TheBrowserOpensAtTheOutputFolderOrTheNearestOneAboveThatExists) {
  // Not made yet: its parent, the nearest that exists.
  main.edtOutputFolder.SetText(media.path() + "a/b/out");
  main.btnSelectOutputFolderClick();
  std::filesystem::create_directories(media.path() + "shown");
  main.edtOutputFolder.SetText(media.path() + "shown");
  main.btnSelectOutputFolderClick();
  EXPECT_EQ(tp.dialogs.folder_starts,
            (std::vector<std::string>{media.path().substr(0, media.path().size() - 1), media.path() + "shown"}));
}

TEST_F(OutputFolder, AWritableFolderIsAcceptedWithoutTraceAndAMissingOneRefused) {
  const std::string chosen = media.path() + "chosen";
  std::filesystem::create_directory(chosen);
  EXPECT_EQ(Choose(chosen), chosen);
  EXPECT_FALSE(Exists(chosen + "/test"));
  EXPECT_FALSE(Exists(current));
  // Shown only: the settings are written when the main window closes.
  EXPECT_FALSE(Exists(ConfigFile("UserSettings.ini")));

  EXPECT_EQ(Choose(media.path() + "gone"), chosen);
  EXPECT_EQ(Warnings(), std::vector<std::string>{"The path is invalid."});
  EXPECT_FALSE(Exists(media.path() + "gone"));
}

TEST_F(OutputFolder, AFolderThatRefusesTheProbeIsReadOnlyAndKeepsTheOldFolder) {
  const std::string chosen = media.path() + "cdrom";
  std::filesystem::create_directory(chosen);
  std::vector<std::string> attempts;
  program.CommonLib().MakeFolders = [&](const std::string& folder) {
    attempts.push_back(folder);
    return folder == current && TCommonLib::MakeFoldersOnDisk(folder);
  };
  EXPECT_EQ(Choose(chosen), current);
  EXPECT_EQ(Warnings(), std::vector<std::string>{"This is a read-only path."});
  EXPECT_EQ(attempts, (std::vector<std::string>{chosen + "/test", current}));
  EXPECT_FALSE(Exists(chosen + "/test"));
  EXPECT_TRUE(IsFolder(current));
}

TEST_F(OutputFolder, AFolderInWhichEvenRootCannotCreateIsReadOnly) {
  // Nothing can be created inside a process's /proc folder, whoever asks.
  if (!IsFolder("/proc/self") || ::mkdir("/proc/self/test", 0755) == 0) GTEST_SKIP() << "no /proc here";
  EXPECT_EQ(Choose("/proc/self"), current);
  EXPECT_EQ(Warnings(), std::vector<std::string>{"This is a read-only path."});
}

TEST_F(OutputFolder, AnExistingTestFolderIsAcceptedAndLeftAlone) {
  const std::string full = media.path() + "full";
  const std::string empty = media.path() + "empty";
  std::filesystem::create_directories(full + "/test");
  WriteFile(full + "/test/clip.mp4", "data");
  std::filesystem::create_directories(empty + "/test");
  EXPECT_EQ(Choose(full), full);
  EXPECT_EQ(Choose(empty), empty);
  EXPECT_EQ(ReadFile(full + "/test/clip.mp4"), "data");
  EXPECT_TRUE(IsFolder(empty + "/test"));
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(OutputFolder, AFileNamedTestDoesNotMakeAWritableFolderReadOnly) {
  const std::string chosen = media.path() + "videos";
  std::filesystem::create_directory(chosen);
  WriteFile(chosen + "/test", "notes");
  WriteFile(chosen + "/test_1", "more notes");
  EXPECT_EQ(Choose(chosen), chosen);
  EXPECT_TRUE(Warnings().empty());
  EXPECT_EQ(ReadFile(chosen + "/test"), "notes");
  EXPECT_EQ(ReadFile(chosen + "/test_1"), "more notes");
  EXPECT_FALSE(Exists(chosen + "/test_2"));
}

TEST_F(OutputFolder, AFolderWithALineBreakIsRefusedAndNothingForgesASettingsLine) {
  const std::string chosen = media.path() + "a\nSHUTDOWN=1";
  std::filesystem::create_directory(chosen);
  EXPECT_EQ(Choose(chosen), current);
  EXPECT_EQ(Choose(media.path() + "b\r"), current);
  EXPECT_EQ(Warnings(), (std::vector<std::string>{"The path must not contain a line break.",
                                                  "The path must not contain a line break."}));
  EXPECT_FALSE(Exists(chosen + "/test"));
  proc.SaveUserSettings();
  EXPECT_EQ(TIniFile32(ConfigFile("UserSettings.ini")).ReadString("USRInfo", "SHUTDOWN", ""), "0");
}

TEST_F(UserSettings, ARelativeOutputFolderIsTakenBelowTheProgramFolder) {
  Write("UserSettings.ini", "[USRInfo]\r\nOutDir=relout\r\n");
  proc.LoadUserSettings();
  EXPECT_EQ(main.edtOutputFolder.Text(), tp.AppDir() + "relout");
  Write("UserSettings.ini", "[USRInfo]\r\nOutDir=/abs/out\r\n");
  proc.LoadUserSettings();
  EXPECT_EQ(main.edtOutputFolder.Text(), "/abs/out");
}

TEST_F(UserSettings, AForeignStoredOutputFolderIsNamedAndTheDefaultKept) {
  const std::string kDefault = "/home/ann/Video To Plim Converter";
  for (const std::string foreign : {"C:\\Videos", "d:/clips", "\\\\server\\share", "~/Videos", "$HOME/out"}) {
    tp.dialogs.messages.clear();
    Write(kSettings, "[USRInfo]\r\nSHUTDOWN=1\r\nOutDir=" + foreign + "\r\n");
    main.edtOutputFolder.SetText(kDefault);
    proc.FillOptionLists();
    // The rest of the settings still load; the box keeps a folder of this system.
    EXPECT_TRUE(main.chkShutdown.Checked()) << foreign;
    EXPECT_EQ(main.edtOutputFolder.Text(), kDefault) << foreign;
    ASSERT_EQ(tp.dialogs.messages.size(), 1u) << foreign;
    EXPECT_NE(tp.dialogs.messages[0].text.find("\"" + foreign + "\""), std::string::npos)
        << tp.dialogs.messages[0].text;
    EXPECT_NE(tp.dialogs.messages[0].text.find("not a folder of this system"), std::string::npos);
    EXPECT_NE(tp.dialogs.messages[0].text.find(kDefault + "\" is used instead"), std::string::npos);
  }
  EXPECT_FALSE(Exists(tp.AppDir() + "C:\\Videos"));
  // A plain relative folder keeps its meaning: below the program folder.
  tp.dialogs.messages.clear();
  Write(kSettings, "[USRInfo]\r\nOutDir=relout\r\n");
  proc.FillOptionLists();
  EXPECT_TRUE(tp.dialogs.messages.empty());
  EXPECT_EQ(main.edtOutputFolder.Text(), tp.AppDir() + "relout");
}

TEST_F(UserSettings, OutputTypeAndProfileAreKeptByNameAndAnOldFileKeepsTheDefaults) {
  Write("UserProfileInfo.ini", "[Road]\r\nRoad=2|0|1|0|1|0\r\n");
  // A file from before the two keys existed: the defaults, as always.
  Write(kSettings, "[USRInfo]\r\nSHWDDir=1\r\nSHUTDOWN=0\r\nOutDir=/o\r\n");
  StartUp();
  EXPECT_EQ(main.cbbOutputFiletype.ItemIndex(), 0);
  EXPECT_EQ(main.cbbProfile.Text(), "Normal Quality");
  EXPECT_EQ(ProfilePositions(), settings_test::kNormalVideo);

  main.cbbOutputFiletype.UserSelect(3);
  main.cbbProfile.UserSelect(main.cbbProfile.Count() - 1);  // the custom "Road"
  proc.SaveUserSettings();
  EXPECT_EQ(Content(kSettings),
            "[USRInfo]\r\nSHWDDir=1\r\nSHUTDOWN=0\r\nOutDir=/o\r\nOutType=MP3 Files (*.mp3)\r\nProfile=Road\r\n");

  // The next start selects both and applies the profile they name.
  main.cbbOutputFiletype.SetItemIndex(0);
  main.cbbProfile.SetItemIndex(2);
  proc.ApplyProfile();
  proc.LoadUserSettings();
  proc.ApplyProfile();
  EXPECT_EQ(main.cbbOutputFiletype.Text(), "MP3 Files (*.mp3)");
  EXPECT_EQ(main.cbbProfile.Text(), "Road");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 0, 1, 0, 1, 0}));

  // A profile deleted since, or a type that no longer exists, keeps what is selected.
  main.cbbOutputFiletype.SetItemIndex(0);
  main.cbbProfile.SetItemIndex(2);
  Write(kSettings, "[USRInfo]\r\nOutType=Ogg Files (*.ogg)\r\nProfile=Gone\r\n");
  proc.LoadUserSettings();
  EXPECT_EQ(main.cbbOutputFiletype.ItemIndex(), 0);
  EXPECT_EQ(main.cbbProfile.Text(), "Normal Quality");
}
