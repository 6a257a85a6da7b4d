#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/catalogue.h"
#include "settings_fixture.h"

using settings_test::kNormalVideo;
using settings_test::SettingsTest;

namespace {

class OptionLists : public SettingsTest {
 protected:
  void WriteThreeProfiles() {
    Write("UserProfileInfo.ini",
          "\r\n[Travel]\r\nTravel=1|5|2|5|1|2\r\n\r\n[Night]\r\nNight=2|6|4|8|0|3\r\n\r\n[Phone]\r\nPhone=0|0|0|0|0|"
          "0\r\n");
  }
};

}  // namespace

TEST_F(OptionLists, FillingAloneSelectsEveryCatalogueDefaultAndLoadsTheSettings) {
  Write("UserSettings.ini", "[USRInfo]\r\nSHUTDOWN=1\r\nOutDir=/out\r\n");
  proc.FillOptionLists();
  EXPECT_EQ(main.cbbOutputFiletype.Text(), "Plim MPEG-4 Video Files (*.mp4)");
  EXPECT_EQ(main.cbbOutputFiletype.Count(), 4);
  EXPECT_EQ(main.cbbProfile.Text(), "Normal Quality");
  EXPECT_EQ(main.cbbProfile.Count(), 5);
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"160x112", "25", "1000", "48", "2 channels, Stereo", "48000"}));
  EXPECT_EQ(options.cbbAspectratio.Text(), "4:3");
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "200");
  EXPECT_EQ(options.cbbAudioVolumeGain.Count(), 21);
  EXPECT_EQ(options.cbbFramerate.ItemText(2), "23.967");
  // The settings are loaded last.
  EXPECT_TRUE(main.chkShutdown.Checked());
  EXPECT_FALSE(main.chkShowOutputDirectory.Checked());
  EXPECT_EQ(main.edtOutputFolder.Text(), "/out");
}

TEST_F(OptionLists, StartUpAppliesTheThirdLevelOfTheFirstTypeAndKeepsAspectAndVolume) {
  StartUp();
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"320x240", "15", "768", "128", "2 channels, Stereo", "44100"}));
  EXPECT_EQ(options.cbbAspectratio.Text(), "4:3");
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "200");
}

TEST_F(OptionLists, FillingFromTheCatalogueAppendsToWhatIsThere) {
  ui::ListBox list;
  list.Add("old");
  TCustomProc::FillListFromCatalogue(list, catalogue::AspectRatioList());
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"old", "4:3", "16:9"}));
  // The default index is a plain position in the control, old items included.
  EXPECT_EQ(list.Text(), "old");
}

TEST_F(OptionLists, CustomProfilesFollowTheLevelsInFileOrderAndTheDefaultStaysALevel) {
  WriteThreeProfiles();
  StartUp();
  EXPECT_EQ(main.cbbProfile.Count(), 8);
  EXPECT_EQ(main.cbbProfile.ItemText(5), "Travel");
  EXPECT_EQ(main.cbbProfile.ItemText(7), "Phone");
  EXPECT_EQ(main.cbbProfile.ItemIndex(), 2);
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
}

TEST_F(OptionLists, ChoosingTheSeventhEntrySelectsAndAppliesTheSecondCustomProfile) {
  WriteThreeProfiles();
  StartUp();
  // The dialog has never been shown: its box still knows the names.
  EXPECT_EQ(options.cbbCustomProfile.Count(), 3);
  EXPECT_EQ(options.cbbCustomProfile.Text(), "");
  main.cbbProfile.UserSelect(6);
  EXPECT_EQ(options.cbbCustomProfile.ItemIndex(), 1);
  EXPECT_EQ(options.cbbCustomProfile.Text(), "Night");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 6, 4, 8, 0, 3}));

  // Another output type re-applies the custom profile, not the type's preset.
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  main.cbbOutputFiletype.UserSelect(3);
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 6, 4, 8, 0, 3}));
}

TEST_F(OptionLists, ChangingTheTypeReappliesTheLevelAndDropsDialogChangesButNotTheVolume) {
  StartUp();
  options.cbbFramerate.UserSelect(6);
  options.cbbAudioVolumeGain.UserSelect(4);
  options.cbbAspectratio.UserSelect(1);
  main.cbbOutputFiletype.UserSelect(1);  // AAC
  EXPECT_EQ(main.cbbProfile.ItemIndex(), 2);
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"320x240", "15", "768", "128", "1 channel, Mono", "22050"}));
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "100");
  EXPECT_EQ(options.cbbAspectratio.Text(), "16:9");

  main.cbbProfile.UserSelect(4);
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"320x240", "15", "1500", "224", "1 channel, Mono", "22050"}));
  main.cbbOutputFiletype.UserSelect(2);  // M4A: channels and rate rise with the level
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"320x240", "15", "1500", "224", "2 channels, Stereo", "48000"}));
}

TEST_F(OptionLists, WithoutAnOutputTypeOrLevelNothingChanges) {
  StartUp();
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  main.cbbOutputFiletype.SetItemIndex(ui::ListBox::kNone);
  proc.ApplyProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  main.cbbOutputFiletype.SetItemIndex(0);
  main.cbbProfile.SetItemIndex(ui::ListBox::kNone);
  proc.ApplyProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(OptionLists, ALevelLeavesTheBoxSelectionSoTheBuildersReapplyStillUsesTheCustomProfile) {
  WriteThreeProfiles();
  StartUp();
  main.cbbProfile.UserSelect(5);  // Travel
  main.cbbProfile.UserSelect(0);  // Low Quality
  EXPECT_EQ(options.cbbCustomProfile.Text(), "Travel");
  EXPECT_EQ(ProfileTexts(), (std::vector<std::string>{"320x240", "14.985", "256", "48", "1 channel, Mono", "22050"}));
  // What the command-line builder does before reading the lists for each job:
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{1, 5, 2, 5, 1, 2}));

  // Shown in between, the dialog's box no longer selects it: the level holds.
  options.Form.Show();
  options.FormClose();
  main.cbbProfile.UserSelect(0);
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{1, 0, 0, 2, 0, 0}));
}

TEST_F(OptionLists, AProfileFileThatCannotBeReadStillLeavesEveryListFilled) {
  for (const bool fifo : {true, false}) {
    testing_support::TestProgram fresh;
    const std::string path = fresh.AppDir() + "Config/UserProfileInfo.ini";
    if (fifo) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    } else {
      // A link to something that cannot be read as a file.
      ASSERT_EQ(::symlink("/proc/self/mem", path.c_str()), 0);
    }
    testing_support::WriteFile(fresh.AppDir() + "Config/UserSettings.ini", "[USRInfo]\r\nSHUTDOWN=1\r\n");
    TCustomProc& p = fresh->CustomProc();
    p.FillOptionLists();
    p.ApplyProfile();
    // Reported once, with the file named.
    ASSERT_EQ(fresh.dialogs.messages.size(), 1u) << fifo;
    EXPECT_EQ(fresh.dialogs.messages[0].kind, ui::MessageKind::Error);
    EXPECT_EQ(fresh.dialogs.messages[0].text.rfind("Cannot open file \"" + path + "\". ", 0), 0u);
    const TFrmMainForm& m = fresh->MainForm();
    const TfrmOption& o = fresh->OptionForm();
    EXPECT_EQ(m.cbbProfile.Count(), 5);
    EXPECT_EQ(m.cbbProfile.Text(), "Normal Quality");
    EXPECT_EQ(m.cbbOutputFiletype.ItemIndex(), 0);
    for (const ui::ListBox* list :
         {&o.cbbVideoSize, &o.cbbVideoBitrate, &o.cbbFramerate, &o.cbbAspectratio, &o.cbbAudioBitrate,
          &o.cbbAudioSample, &o.cbbAudioVolumeGain, &o.cbbAudioChannels}) {
      EXPECT_GT(list->Count(), 0);
      EXPECT_GE(list->ItemIndex(), 0);
    }
    // The settings were loaded all the same.
    EXPECT_TRUE(m.chkShutdown.Checked());
  }
}

TEST_F(OptionLists, ASettingsFileThatIsAFifoIsReportedAndStartUpGoesOn) {
  ASSERT_EQ(::mkfifo(ConfigFile("UserSettings.ini").c_str(), 0644), 0);
  WriteThreeProfiles();
  StartUp();
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].text,
            "Cannot open file \"" + ConfigFile("UserSettings.ini") + "\". It is not a regular file.");
  EXPECT_EQ(main.cbbProfile.Count(), 8);
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
}
