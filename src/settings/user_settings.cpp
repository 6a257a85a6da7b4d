#include "settings/user_settings.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "common/helpers.h"
#include "platform/platform.h"
#include "settings/ini_file.h"

namespace settings {

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

// Selects the item stored under key; a missing key or a name the list does not
// hold keeps the current selection.
void SelectStoredItem(const TIniFile32& ini, const char* key, ui::ListBox& list) {
  const std::string stored = ini.ReadString(kSection, key, "");
  if (stored.empty()) return;
  const std::vector<std::string>& items = list.Items();
  const auto found = std::find(items.begin(), items.end(), stored);
  if (found != items.end()) list.SetItemIndex(static_cast<int>(found - items.begin()));
}

// An empty list selection is not written: it would read back as "keep the default".
void WriteSelectedItem(TIniFile32& ini, const char* key, const ui::ListBox& list) {
  if (list.ItemIndex() != ui::ListBox::kNone) ini.WriteString(kSection, key, list.Text());
}

}  // namespace

std::string ReadInitDir(const std::string& config_folder) {
  return TIniFile32(ConfigPath(config_folder, kUserSettingsFile))
      .ReadString(kSection, "InitDir", platform::DefaultInitDir());
}

void SaveInitDir(const std::string& config_folder, const ui::OpenDialog& dialog) {
  const std::string folder = TFileFunc::GetFileFolder(dialog.FileName());
  if (folder.empty()) return;
  TIniFile32(ConfigPath(config_folder, kUserSettingsFile)).WriteString(kSection, "InitDir", folder);
}

void LoadUserSettings(const std::string& config_folder, const std::string& app_dir,
                      const UserSettingsControls& controls) {
  const TIniFile32 ini(ConfigPath(config_folder, kUserSettingsFile));
  controls.chkShowOutputDirectory.SetChecked(IsTicked(ini.ReadString(kSection, "SHWDDir", "0")));
  controls.chkShutdown.SetChecked(IsTicked(ini.ReadString(kSection, "SHUTDOWN", "0")));
  // The folder is neither tested nor created here; the conversion creates it when
  // needed. A hand-edited relative folder is taken below the program folder, the
  // encoder's current folder, and made absolute before anything creates or
  // writes it: the program's own current folder may be another one.
  controls.edtOutputFolder.SetText(
      TFileFunc::AbsolutePath(ini.ReadString(kSection, "OutDir", controls.edtOutputFolder.Text()), app_dir));
  SelectStoredItem(ini, "OutType", controls.cbbOutputFiletype);
  SelectStoredItem(ini, "Profile", controls.cbbProfile);
}

std::string ReadOutputFolder(const std::string& config_folder, const std::string& app_dir,
                             const std::string& default_folder) {
  const TIniFile32 ini(ConfigPath(config_folder, kUserSettingsFile));
  return TFileFunc::AbsolutePath(ini.ReadString(kSection, "OutDir", default_folder), app_dir);
}

void SaveUserSettings(const std::string& config_folder, const UserSettingsControls& controls) {
  TIniFile32 ini(ConfigPath(config_folder, kUserSettingsFile));
  ini.WriteString(kSection, "SHWDDir", TickText(controls.chkShowOutputDirectory.Checked()));
  ini.WriteString(kSection, "SHUTDOWN", TickText(controls.chkShutdown.Checked()));
  ini.WriteString(kSection, "OutDir", controls.edtOutputFolder.Text());
  WriteSelectedItem(ini, "OutType", controls.cbbOutputFiletype);
  WriteSelectedItem(ini, "Profile", controls.cbbProfile);
}

bool SaveUserSettingsOnClose(const std::string& config_folder, const UserSettingsControls& controls,
                             const Messages& messages) {
  // The user is leaving: tell them what could not be kept, but never hold them back.
  try {
    SaveUserSettings(config_folder, controls);
    return true;
  } catch (const std::exception& error) {
    messages.Show(error.what(), ui::MessageKind::Error);
    return false;
  }
}

}  // namespace settings
