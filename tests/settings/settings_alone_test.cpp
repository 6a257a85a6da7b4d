// The settings run on what they are handed: a config folder, the controls they
// act on and the dialogs, with no program around them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "platform/platform.h"
#include "settings/option_form.h"
#include "settings/output_folder.h"
#include "settings/profiles.h"
#include "settings/user_settings.h"
#include "ui/models.h"

namespace {

using testing_support::FakeDialogs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class SettingsAlone : public ::testing::Test {
 protected:
  TempDir dir;
  FakeDialogs dialogs;
  const std::string config = dir.path();
  settings::Messages messages{dialogs, "Caption"};

  ui::ListBox cbbOutputFiletype;
  ui::ListBox cbbProfile;
  TfrmOption options{config, messages, cbbProfile};

  settings::OptionLists Lists() {
    return {cbbOutputFiletype,          cbbProfile,
            options.cbbVideoSize,       options.cbbVideoBitrate,
            options.cbbFramerate,       options.cbbAspectratio,
            options.cbbAudioBitrate,    options.cbbAudioSample,
            options.cbbAudioVolumeGain, options.cbbAudioChannels};
  }
  std::vector<int> ProfilePositions() {
    std::vector<int> positions;
    for (const ui::ListBox* list : options.ProfileFields()) positions.push_back(list->ItemIndex());
    return positions;
  }
};

TEST_F(SettingsAlone, TheOptionsDialogStoresAppliesAndRefillsThroughWhatItWasHanded) {
  int loads = 0;
  std::vector<std::string> reports;
  settings::FillOptionLists(
      config, Lists(), options.cbbCustomProfile, [&] { ++loads; },
      [&](const std::exception& error) { reports.emplace_back(error.what()); });
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(reports.empty());
  settings::ApplyProfile(config, Lists(), options.cbbCustomProfile);
  const std::vector<int> preset = ProfilePositions();
  const std::vector<std::string> levels = cbbProfile.Items();

  options.Form.Show();
  options.cbbFramerate.UserSelect(0);
  dialogs.input_answers.push_back("Road");
  options.btnAddClick();
  ASSERT_EQ(dialogs.prompts, (std::vector<std::string>{"Caption|Please input a name|UserProfileInfo1"}));
  std::vector<int> stored = preset;
  stored[1] = 0;
  std::string value;
  for (const int position : stored) value += (value.empty() ? "" : "|") + std::to_string(position);
  EXPECT_EQ(ReadFile(config + "UserProfileInfo.ini"), "\r\n[Road]\r\nRoad=" + value + "\r\n");
  EXPECT_EQ(ReadFile(config + "UserProfileCount.ini"), "\r\n[count]\r\ncount=1\r\n");
  EXPECT_EQ(options.cbbCustomProfile.Text(), "Road");

  // Cancel puts the lists back; picking the stored profile applies it again.
  options.btnCancelClick();
  EXPECT_EQ(ProfilePositions(), preset);
  options.Form.Show();
  options.cbbCustomProfile.UserSelect(0);
  EXPECT_EQ(ProfilePositions(), stored);

  // OK rebuilds the main window's list it was handed, levels first, the default selected.
  const int default_level = cbbProfile.ItemIndex();
  cbbProfile.UserSelect(0);
  options.btnApplyClick();
  EXPECT_FALSE(options.Form.Visible());
  std::vector<std::string> expected = levels;
  expected.push_back("Road");
  EXPECT_EQ(cbbProfile.Items(), expected);
  EXPECT_EQ(cbbProfile.ItemIndex(), default_level);

  // A name the file could not hold is refused with a warning under the handed caption.
  options.cbbCustomProfile.SetText("a[b");
  options.btnSaveClick();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Caption");
  EXPECT_EQ(dialogs.messages[0].kind, ui::MessageKind::Warning);
}

TEST_F(SettingsAlone, UserSettingsGoToTheHandedControlsAndFolder) {
  ui::CheckBox show{true}, shutdown{false};
  ui::EditBox folder{"/x/out", true};
  ui::ListBox type, profile;
  const settings::UserSettingsControls controls{show, shutdown, folder, type, profile};
  WriteFile(config + "UserSettings.ini", "[USRInfo]\r\nSHWDDir=0\r\nSHUTDOWN=1\r\nOutDir=rel/out\r\n");
  settings::LoadUserSettings(config, "/prog/", controls);
  EXPECT_FALSE(show.Checked());
  EXPECT_TRUE(shutdown.Checked());
  EXPECT_EQ(folder.Text(), "/prog/rel/out");

  show.SetChecked(true);
  folder.SetText("/y");
  EXPECT_TRUE(settings::SaveUserSettingsOnClose(config, controls, messages));
  EXPECT_EQ(ReadFile(config + "UserSettings.ini"), "[USRInfo]\r\nSHWDDir=1\r\nSHUTDOWN=1\r\nOutDir=/y\r\n");

  ui::OpenDialog open;
  settings::SaveInitDir(config, open);  // never returned a file: nothing stored
  EXPECT_EQ(settings::ReadInitDir(config), platform::DefaultInitDir());
  dialogs.open_answers.push_back({"/videos/a.avi"});
  ASSERT_TRUE(open.Execute(dialogs));
  settings::SaveInitDir(config, open);
  EXPECT_EQ(settings::ReadInitDir(config), "/videos/");
}

TEST_F(SettingsAlone, AFolderOnWhichNothingCanBeCreatedIsRefusedWithTheHandedMakeFolders) {
  const std::string chosen = dir.file("chosen");
  ASSERT_TRUE(settings::MakeFolders(chosen + "/a/b"));
  dialogs.folder_answers.push_back(chosen);
  const std::string shown =
      settings::ChooseOutputFolder(dir.file("current"), messages, [](const std::string&) { return false; });
  EXPECT_EQ(shown, dir.file("current"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "This is a read-only path.");
  EXPECT_EQ(dialogs.messages[0].caption, "Caption");

  dialogs.folder_answers.push_back(chosen);
  EXPECT_EQ(settings::ChooseOutputFolder(dir.file("current"), messages, &settings::MakeFolders), chosen);
  EXPECT_FALSE(settings::MakeFolders(""));
}

}  // namespace

// MP3 below 32 kHz holds at most 160 kbit/s: the dialog says what the file gets.
TEST_F(SettingsAlone, TheDialogShowsTheAudioRateAnMp3WillReallyHave) {
  settings::FillOptionLists(
      config, Lists(), options.cbbCustomProfile, [] {}, [](const std::exception&) {});
  std::string ext = ".mp3";
  options.OutputExt = [&] { return ext; };
  options.cbbAudioSample.SetItemIndex(0);  // 22050
  options.cbbAudioBitrate.SetItemIndex(7);
  ASSERT_EQ(options.cbbAudioBitrate.Text(), "192");
  EXPECT_EQ(options.lblAudioBitrateKept.Caption(), "MP3 at 22050 Hz: 160 (192 asked) kbit/s");
  options.cbbAudioBitrate.SetItemIndex(6);  // 160 fits
  EXPECT_EQ(options.lblAudioBitrateKept.Caption(), "");
  options.cbbAudioBitrate.SetItemIndex(7);
  ext = ".m4a";
  options.Form.Show();
  EXPECT_EQ(options.lblAudioBitrateKept.Caption(), "");
}
