#include <gtest/gtest.h>

#include "settings_fixture.h"

using settings_test::kNormalVideo;
using settings_test::SettingsTest;

namespace {

constexpr const char* kProfiles = "UserProfileInfo.ini";

class OptionsDialog : public SettingsTest {
 protected:
  void SetUp() override {
    Write(kProfiles, "\r\n[Travel]\r\nTravel=0|6|4|8|0|3\r\n\r\n[Night]\r\nNight=2|0|0|0|1|0\r\n");
    StartUp();
  }
  ui::ComboBox& box = options.cbbCustomProfile;
  // What the main window's Options button does.
  void Open() { options.Form.Show(); }
};

}  // namespace

TEST_F(OptionsDialog, ShowingWithALevelChosenLeavesANeverUsedBoxEmptyAndUnselected) {
  Open();
  EXPECT_TRUE(options.Form.Visible());
  EXPECT_EQ(box.Items(), (std::vector<std::string>{"Travel", "Night"}));
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");
}

TEST_F(OptionsDialog, ShowingFollowsTheMainWindowsCustomProfileWithoutApplyingIt) {
  main.cbbProfile.UserSelect(6);  // Night, applied by the main window
  SelectProfilePositions(kNormalVideo);
  box.SetItemIndex(ui::ComboBox::kNone);
  Open();
  EXPECT_EQ(box.ItemIndex(), 1);
  EXPECT_EQ(box.Text(), "Night");
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
  EXPECT_EQ(options.OptionSnapshot().CustomProfile, 1);
}

TEST_F(OptionsDialog, ANameLeftFromAnEarlierShowingStaysShownButUnselected) {
  Open();
  box.UserSelect(0);
  options.btnApplyClick();
  EXPECT_FALSE(options.Form.Visible());
  main.cbbProfile.UserSelect(6);  // would pick Night if the box were empty
  Open();
  EXPECT_EQ(box.Text(), "Night");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(options.OptionSnapshot().CustomProfile, ui::ComboBox::kNone);
}

TEST_F(OptionsDialog, CancelRestoresFrameRateAndVolumeAndOkKeepsThem) {
  Open();
  box.UserSelect(0);  // Travel, applied to the six lists
  options.cbbFramerate.UserSelect(6);
  options.cbbAudioVolumeGain.UserSelect(0);
  options.cbbAspectratio.UserSelect(1);
  options.btnCancelClick();
  EXPECT_FALSE(options.Form.Visible());
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "200");
  EXPECT_EQ(options.cbbAspectratio.Text(), "4:3");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");

  Open();
  options.cbbFramerate.UserSelect(6);
  options.cbbAudioVolumeGain.UserSelect(0);
  options.btnApplyClick();
  EXPECT_EQ(options.cbbFramerate.Text(), "30");
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "0");
}

TEST_F(OptionsDialog, CancelRestoringTheBoxAppliesNoProfile) {
  main.cbbProfile.SetItemIndex(5);  // Travel, not applied
  Open();
  EXPECT_EQ(options.OptionSnapshot().CustomProfile, 0);
  box.UserSelect(1);  // Night
  SelectProfilePositions({1, 1, 1, 1, 1, 1});
  options.btnCancelClick();
  EXPECT_EQ(box.Text(), "Travel");
  // The six lists come from the snapshot, not from Travel applied again.
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
}

TEST_F(OptionsDialog, AProfileChosenInTheMainWindowStaysShownButUnselectedAtTheNextShowing) {
  main.cbbProfile.UserSelect(5);  // Travel: applied, and named in the box
  EXPECT_EQ(box.Text(), "Travel");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 6, 4, 8, 0, 3}));
  Open();
  EXPECT_EQ(box.Text(), "Travel");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  options.btnCancelClick();
  EXPECT_EQ(box.Text(), "Travel");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 6, 4, 8, 0, 3}));
}

TEST_F(OptionsDialog, OkShowsTheThirdLevelWhileTheListsKeepTheCustomProfile) {
  Open();
  box.UserSelect(0);  // Travel
  options.btnApplyClick();
  EXPECT_EQ(main.cbbProfile.Text(), "Normal Quality");
  EXPECT_EQ(main.cbbProfile.Count(), 7);
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 6, 4, 8, 0, 3}));
  // The next change in the main window applies a profile again.
  main.cbbOutputFiletype.UserSelect(0);
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
}

TEST_F(OptionsDialog, AddThenCancelKeepsTheProfileButRestoresTheBoxSelection) {
  Open();
  tp.dialogs.input_answers.push_back("Beach");
  options.btnAddClick();
  EXPECT_EQ(box.Items(), (std::vector<std::string>{"Travel", "Night", "Beach"}));
  EXPECT_EQ(box.Text(), "Beach");
  EXPECT_EQ(ProfilePositions(), kNormalVideo);  // selected from code: nothing applied
  options.btnCancelClick();
  EXPECT_EQ(box.Count(), 3);
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");
  EXPECT_NE(Content(kProfiles).find("[Beach]\r\nBeach=1|1|2|5|1|2\r\n"), std::string::npos);
  // The main window's list has it at once.
  EXPECT_EQ(main.cbbProfile.Count(), 8);
  EXPECT_EQ(main.cbbProfile.ItemText(7), "Beach");
}

TEST_F(OptionsDialog, SavingUnderAnExistingNameSelectsTheLastProfileNotTheOneWritten) {
  Open();
  box.UserSelect(0);
  options.btnSaveClick();
  EXPECT_EQ(box.Text(), "Night");
  EXPECT_EQ(box.ItemIndex(), 1);
  box.UserType("Zoom");
  options.btnSaveClick();
  EXPECT_EQ(box.Text(), "Zoom");
  EXPECT_EQ(box.ItemIndex(), 2);
}

TEST_F(OptionsDialog, DeletingTheOnlyProfileEmptiesTheListAndTheText) {
  Write(kProfiles, "\r\n[Solo]\r\nSolo=0|0|0|0|0|0\r\n");
  Open();
  box.UserSelect(0);
  options.btnDelClick();
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.Text(), "");
  EXPECT_EQ(Content(kProfiles), "\r\n\r\n");
}

TEST_F(OptionsDialog, DeletingSelectsTheLastRemainingProfile) {
  Open();
  box.UserSelect(1);
  options.btnDelClick();
  EXPECT_EQ(box.Items(), std::vector<std::string>{"Travel"});
  EXPECT_EQ(box.Text(), "Travel");
  EXPECT_EQ(box.ItemIndex(), 0);
}

TEST_F(OptionsDialog, AfterADeleteTheMainListHoldsWhatIsLeftAndKeepsItsPick) {
  Open();
  main.cbbProfile.UserSelect(6);  // Night
  box.UserSelect(0);
  options.btnDelClick();  // Travel gone; Night is now first
  options.btnCancelClick();
  EXPECT_EQ(main.cbbProfile.Count(), 6);
  EXPECT_EQ(main.cbbProfile.ItemText(5), "Night");
  EXPECT_EQ(main.cbbProfile.ItemIndex(), 5);
  main.cbbProfile.UserSelect(5);
  EXPECT_EQ(box.Text(), "Night");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 0, 0, 0, 1, 0}));
}

TEST_F(OptionsDialog, TheCloseBoxHidesWithoutRestoringOrRebuilding) {
  Open();
  options.cbbFramerate.UserSelect(6);
  tp.dialogs.input_answers.push_back("Beach");
  options.btnAddClick();
  options.FormClose();
  EXPECT_FALSE(options.Form.Visible());
  EXPECT_EQ(options.cbbFramerate.Text(), "30");
  EXPECT_EQ(box.Text(), "Beach");
  EXPECT_EQ(main.cbbProfile.Count(), 8);
}

TEST_F(OptionsDialog, EveryShowingTakesANewSnapshotOfWhatTheMainWindowLeft) {
  Open();
  options.cbbAudioVolumeGain.UserSelect(1);
  options.FormClose();
  main.cbbProfile.UserSelect(4);
  Open();
  EXPECT_EQ(options.OptionSnapshot().AudioVolumeGain, 1);
  options.cbbAudioVolumeGain.UserSelect(2);
  main.cbbProfile.UserSelect(0);  // the main window works while the dialog is open
  options.btnCancelClick();
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "25");
  EXPECT_EQ(options.cbbVideoBitrate.Text(), "1500");
}
