#include "settings/option_form.h"

#include <utility>

#include "engine/catalogue.h"

TfrmOption::TfrmOption(std::string config_folder, settings::Messages messages, ui::ListBox& main_profiles)
    : config_folder_(std::move(config_folder)), messages_(std::move(messages)), main_profiles_(main_profiles) {
  Form.OnShow = [this] { FormShow(); };
  cbbCustomProfile.OnChange = [this] { cbbCustomProfileChange(); };
}

void TfrmOption::ReloadProfiles() {
  cbbCustomProfile.SetItems(settings::ReadIniSections(config_folder_, settings::kProfileFile));
}

void TfrmOption::SelectLastProfile() {
  cbbCustomProfile.SetItemIndex(cbbCustomProfile.Count() - 1);
}

void TfrmOption::FormShow() {
  ReloadProfiles();
  // A name still shown from an earlier showing stays, unselected; otherwise the
  // box follows the custom profile chosen in the main window, if any.
  if (cbbCustomProfile.Text().empty())
    cbbCustomProfile.SetItemIndex(main_profiles_.ItemIndex() - catalogue::kFirstCustomProfile);
  snapshot_ = {cbbVideoSize.ItemIndex(),       cbbVideoBitrate.ItemIndex(),  cbbFramerate.ItemIndex(),
               cbbAspectratio.ItemIndex(),     cbbAudioBitrate.ItemIndex(),  cbbAudioSample.ItemIndex(),
               cbbAudioVolumeGain.ItemIndex(), cbbAudioChannels.ItemIndex(), cbbCustomProfile.ItemIndex()};
}

void TfrmOption::cbbCustomProfileChange() {
  settings::ApplyCustomProfile(config_folder_, cbbCustomProfile, ProfileFields());
}

void TfrmOption::btnAddClick() {
  settings::AddCustomProfile(config_folder_, ProfileFields(), messages_);
  ReloadProfiles();
  SelectLastProfile();
}

void TfrmOption::btnSaveClick() {
  settings::SaveCustomProfile(config_folder_, cbbCustomProfile, ProfileFields(), messages_);
  ReloadProfiles();
  SelectLastProfile();
}

void TfrmOption::btnDelClick() {
  settings::DeleteCustomProfile(config_folder_, cbbCustomProfile);
  ReloadProfiles();
  SelectLastProfile();
  if (cbbCustomProfile.Count() == 0) cbbCustomProfile.SetText("");
}

void TfrmOption::btnApplyClick() {
  main_profiles_.Clear();
  settings::FillProfileList(config_folder_, main_profiles_);
  Form.Hide();
}

void TfrmOption::btnCancelClick() {
  cbbVideoSize.SetItemIndex(snapshot_.VideoSize);
  cbbVideoBitrate.SetItemIndex(snapshot_.VideoBitrate);
  cbbFramerate.SetItemIndex(snapshot_.Framerate);
  cbbAspectratio.SetItemIndex(snapshot_.Aspectratio);
  cbbAudioBitrate.SetItemIndex(snapshot_.AudioBitrate);
  cbbAudioSample.SetItemIndex(snapshot_.AudioSample);
  cbbAudioVolumeGain.SetItemIndex(snapshot_.AudioVolumeGain);
  cbbAudioChannels.SetItemIndex(snapshot_.AudioChannels);
  cbbCustomProfile.SetItemIndex(snapshot_.CustomProfile);
  Form.Hide();
}

void TfrmOption::FormClose() {
  Form.Hide();
}
