#include "settings/option_form.h"

#include "engine/catalogue.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {
constexpr const char* kProfileFile = "UserProfileInfo.ini";
}

TfrmOption::TfrmOption(Program& program) : program_(program) {
  Form.OnShow = [this] { FormShow(); };
  cbbCustomProfile.OnChange = [this] { cbbCustomProfileChange(); };
}

void TfrmOption::ReloadProfiles() {
  cbbCustomProfile.SetItems(program_.CommonLib().ReadIniSections(kProfileFile));
}

void TfrmOption::SelectLastProfile() {
  cbbCustomProfile.SetItemIndex(cbbCustomProfile.Count() - 1);
}

void TfrmOption::FormShow() {
  ReloadProfiles();
  // A name still shown from an earlier showing stays, unselected; otherwise the
  // box follows the custom profile chosen in the main window, if any.
  if (cbbCustomProfile.Text().empty())
    cbbCustomProfile.SetItemIndex(program_.MainForm().cbbProfile.ItemIndex() - catalogue::kFirstCustomProfile);
  snapshot_ = {cbbVideoSize.ItemIndex(),       cbbVideoBitrate.ItemIndex(),  cbbFramerate.ItemIndex(),
               cbbAspectratio.ItemIndex(),     cbbAudioBitrate.ItemIndex(),  cbbAudioSample.ItemIndex(),
               cbbAudioVolumeGain.ItemIndex(), cbbAudioChannels.ItemIndex(), cbbCustomProfile.ItemIndex()};
}

void TfrmOption::cbbCustomProfileChange() {
  program_.CustomProc().ApplyCustomProfile();
}

void TfrmOption::btnAddClick() {
  program_.CustomProc().AddCustomProfile();
  ReloadProfiles();
  SelectLastProfile();
}

void TfrmOption::btnSaveClick() {
  program_.CustomProc().SaveCustomProfile();
  ReloadProfiles();
  SelectLastProfile();
}

void TfrmOption::btnDelClick() {
  program_.CustomProc().DeleteCustomProfile();
  ReloadProfiles();
  SelectLastProfile();
  if (cbbCustomProfile.Count() == 0) cbbCustomProfile.SetText("");
}

void TfrmOption::btnApplyClick() {
  ui::ListBox& profiles = program_.MainForm().cbbProfile;
  profiles.Clear();
  program_.CustomProc().FillProfileList(profiles);
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
