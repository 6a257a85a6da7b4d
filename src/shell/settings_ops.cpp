// The controllers' and the main window's settings operations, handing the
// settings what each one needs: the config folder, the controls it acts on and
// the dialogs.
#include "settings/config_files.h"
#include "settings/option_form.h"
#include "settings/output_folder.h"
#include "settings/profiles.h"
#include "settings/user_settings.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

std::string ConfigFolderOf(const Program& program) {
  return program.Layout().config_folder;
}

settings::Messages MessagesOf(const Program& program) {
  return {program.dialogs(), kApplicationTitle};
}

settings::UserSettingsControls UserControlsOf(TFrmMainForm& form) {
  return {form.chkShowOutputDirectory, form.chkShutdown, form.edtOutputFolder, form.cbbOutputFiletype, form.cbbProfile};
}

settings::OptionLists OptionListsOf(const Program& program) {
  TFrmMainForm& main = program.MainForm();
  TfrmOption& options = program.OptionForm();
  return {main.cbbOutputFiletype,     main.cbbProfile,         options.cbbVideoSize,    options.cbbVideoBitrate,
          options.cbbFramerate,       options.cbbAspectratio,  options.cbbAudioBitrate, options.cbbAudioSample,
          options.cbbAudioVolumeGain, options.cbbAudioChannels};
}

}  // namespace

// --- TCommonLib: INI wrappers and the output folder. ---

std::string TCommonLib::ConfigPath(const std::string& file_name) const {
  return settings::ConfigPath(ConfigFolderOf(program_), file_name);
}

std::vector<std::string> TCommonLib::ReadIniSections(const std::string& file_name) const {
  return settings::ReadIniSections(ConfigFolderOf(program_), file_name);
}

std::string TCommonLib::ReadNamedValue(const std::string& file_name, const std::string& name) const {
  return settings::ReadNamedValue(ConfigFolderOf(program_), file_name, name);
}

bool TCommonLib::MakeFoldersOnDisk(const std::string& folder) {
  return settings::MakeFolders(folder);
}

std::string TCommonLib::ChooseOutputFolder(const std::string& current) const {
  return settings::ChooseOutputFolder(current, MessagesOf(program_), MakeFolders);
}

// --- TCustomProc: user settings. ---

std::string TCustomProc::ReadInitDir() const {
  return settings::ReadInitDir(ConfigFolderOf(program_));
}

void TCustomProc::SaveInitDir() const {
  settings::SaveInitDir(ConfigFolderOf(program_), program_.MainForm().dlgOpenSourceFile);
}

void TCustomProc::LoadUserSettings() const {
  settings::LoadUserSettings(ConfigFolderOf(program_), program_.Layout().relative_base,
                             UserControlsOf(program_.MainForm()));
}

void TCustomProc::SaveUserSettings() const {
  settings::SaveUserSettings(ConfigFolderOf(program_), UserControlsOf(program_.MainForm()));
}

bool TCustomProc::SaveUserSettingsOnClose() const {
  return settings::SaveUserSettingsOnClose(ConfigFolderOf(program_), UserControlsOf(program_.MainForm()),
                                           MessagesOf(program_));
}

// --- TCustomProc: option lists and profile selection. ---

void TCustomProc::FillOptionLists() {
  settings::FillOptionLists(
      ConfigFolderOf(program_), OptionListsOf(program_), program_.OptionForm().cbbCustomProfile,
      [this] { LoadUserSettings(); }, [this](const std::exception& error) { program_.ReportError(error); });
}

void TCustomProc::FillListFromCatalogue(ui::ListBox& control, const std::vector<std::string>& table) {
  settings::FillListFromCatalogue(control, table);
}

void TCustomProc::FillProfileList(ui::ListBox& control) const {
  settings::FillProfileList(ConfigFolderOf(program_), control);
}

void TCustomProc::ApplyProfile() {
  settings::ApplyProfile(ConfigFolderOf(program_), OptionListsOf(program_), program_.OptionForm().cbbCustomProfile);
}

// --- TCustomProc: custom profiles of the Options dialog. ---

std::string TCustomProc::CustomProfileValue() const {
  return settings::CustomProfileValue(ConfigFolderOf(program_), program_.OptionForm().cbbCustomProfile);
}

void TCustomProc::ApplyCustomProfile() {
  TfrmOption& options = program_.OptionForm();
  settings::ApplyCustomProfile(ConfigFolderOf(program_), options.cbbCustomProfile, options.ProfileFields());
}

void TCustomProc::AddCustomProfile() {
  settings::AddCustomProfile(ConfigFolderOf(program_), program_.OptionForm().ProfileFields(), MessagesOf(program_));
}

void TCustomProc::SaveCustomProfile() {
  TfrmOption& options = program_.OptionForm();
  settings::SaveCustomProfile(ConfigFolderOf(program_), options.cbbCustomProfile, options.ProfileFields(),
                              MessagesOf(program_));
}

void TCustomProc::DeleteCustomProfile() {
  settings::DeleteCustomProfile(ConfigFolderOf(program_), program_.OptionForm().cbbCustomProfile);
}

// --- The main window's settings handlers. ---

void TFrmMainForm::btnSelectOutputFolderClick() {
  edtOutputFolder.SetText(program_.CommonLib().ChooseOutputFolder(edtOutputFolder.Text()));
}

void TFrmMainForm::cbbOutputFiletypeChange() {
  program_.CustomProc().ApplyProfile();
}

void TFrmMainForm::cbbProfileChange() {
  program_.CustomProc().ApplyProfile();
}

void TFrmMainForm::WireSettingsHandlers() {
  cbbOutputFiletype.OnChange = [this] { cbbOutputFiletypeChange(); };
  cbbProfile.OnChange = [this] { cbbProfileChange(); };
}
