#include <exception>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "settings/ini_file.h"
#include "common/helpers.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/dialogs.h"

namespace {

constexpr const char* kUserSettingsFile = "UserSettings.ini";
constexpr const char* kSection = "USRInfo";

// Only the exact text "1" (after the store's trimming) ticks a box.
bool IsTicked(const std::string& value) {
  return value == "1";
}
const char* TickText(bool ticked) {
  return ticked ? "1" : "0";
}

}  // namespace

std::string TCustomProc::ReadInitDir() const {
  return TIniFile32(program_.CommonLib().ConfigPath(kUserSettingsFile))
      .ReadString(kSection, "InitDir", platform::DefaultInitDir());
}

void TCustomProc::SaveInitDir() const {
  const std::string folder = TFileFunc::GetFileFolder(program_.MainForm().dlgOpenSourceFile.FileName());
  if (folder.empty()) return;
  TIniFile32(program_.CommonLib().ConfigPath(kUserSettingsFile)).WriteString(kSection, "InitDir", folder);
}

void TCustomProc::LoadUserSettings() const {
  TFrmMainForm& form = program_.MainForm();
  const TIniFile32 ini(program_.CommonLib().ConfigPath(kUserSettingsFile));
  form.chkShowOutputDirectory.SetChecked(IsTicked(ini.ReadString(kSection, "SHWDDir", "0")));
  form.chkShutdown.SetChecked(IsTicked(ini.ReadString(kSection, "SHUTDOWN", "0")));
  // The folder is neither tested nor created here; the conversion creates it when
  // needed. A hand-edited relative folder is taken below the program folder, the
  // encoder's current folder, and made absolute before anything creates or
  // writes it: the program's own current folder may be another one.
  const std::string folder = ini.ReadString(kSection, "OutDir", form.edtOutputFolder.Text());
  form.edtOutputFolder.SetText(TFileFunc::AbsolutePath(folder, program_.CommonLib().AppDir));
}

void TCustomProc::SaveUserSettings() const {
  const TFrmMainForm& form = program_.MainForm();
  TIniFile32 ini(program_.CommonLib().ConfigPath(kUserSettingsFile));
  ini.WriteString(kSection, "SHWDDir", TickText(form.chkShowOutputDirectory.Checked()));
  ini.WriteString(kSection, "SHUTDOWN", TickText(form.chkShutdown.Checked()));
  ini.WriteString(kSection, "OutDir", form.edtOutputFolder.Text());
}

bool TCustomProc::SaveUserSettingsOnClose() const {
  // The user is leaving: tell them what could not be kept, but never hold them back.
  try {
    SaveUserSettings();
    return true;
  } catch (const std::exception& error) {
    program_.CommonLib().ShowMessageBox(error.what(), ui::MessageKind::Error);
    return false;
  }
}

void TFrmMainForm::btnSelectOutputFolderClick() {
  edtOutputFolder.SetText(program_.CommonLib().ChooseOutputFolder(edtOutputFolder.Text()));
}
