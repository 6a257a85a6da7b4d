#include "settings/option_form.h"

#include <algorithm>
#include <utility>

#include "engine/catalogue.h"
#include "engine/job.h"

TfrmOption::TfrmOption(std::string config_folder, settings::Messages messages, ui::ListBox& main_profiles)
    : config_folder_(std::move(config_folder)), messages_(std::move(messages)), main_profiles_(main_profiles) {
  Form.OnShow = [this] { FormShow(); };
  cbbCustomProfile.OnChange = [this] { cbbCustomProfileChange(); };
  // Lists the dialog owns: the subscriptions end with it.
  cbbAudioBitrate.Subscribe([this] { ShowKeptAudioBitrate(); });
  cbbAudioSample.Subscribe([this] { ShowKeptAudioBitrate(); });
}

void TfrmOption::ShowKeptAudioBitrate() {
  const std::string asked = cbbAudioBitrate.Text();
  const std::string rate = cbbAudioSample.Text();
  const std::string ext = OutputExt ? OutputExt() : std::string();
  const std::string kept = KeptAudioBitrate(ext, asked, rate);
  lblAudioBitrateKept.SetCaption(kept == asked ? std::string() : "MP3 at " + rate + " Hz: " + kept + " kbit/s");
}

void TfrmOption::ReloadProfiles() {
  cbbCustomProfile.SetItems(settings::ReadIniSections(config_folder_, settings::kProfileFile));
}

void TfrmOption::SelectLastProfile() {
  cbbCustomProfile.SetItemIndex(cbbCustomProfile.Count() - 1);
}

void TfrmOption::FormShow() {
  ReloadProfiles();
  ShowKeptAudioBitrate();
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

void TfrmOption::ReloadMainProfiles() {
  // The main window's pick stays as it was, by name: a profile added before
  // it does not shift it onto another one.
  const std::string picked = main_profiles_.Text();
  main_profiles_.Clear();
  settings::FillProfileList(config_folder_, main_profiles_);
  const auto& items = main_profiles_.Items();
  const auto at = std::find(items.begin(), items.end(), picked);
  main_profiles_.SetItemIndex(picked.empty() || at == items.end() ? ui::ListBox::kNone
                                                                  : static_cast<int>(at - items.begin()));
}

void TfrmOption::btnAddClick() {
  settings::AddCustomProfile(config_folder_, ProfileFields(), messages_);
  ReloadProfiles();
  SelectLastProfile();
  ReloadMainProfiles();
}

void TfrmOption::btnSaveClick() {
  settings::SaveCustomProfile(config_folder_, cbbCustomProfile, ProfileFields(), messages_);
  ReloadProfiles();
  SelectLastProfile();
  ReloadMainProfiles();
}

void TfrmOption::btnDelClick() {
  settings::DeleteCustomProfile(config_folder_, cbbCustomProfile);
  ReloadProfiles();
  SelectLastProfile();
  if (cbbCustomProfile.Count() == 0) cbbCustomProfile.SetText("");
  ReloadMainProfiles();
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
