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

// The OutDir value made absolute; `fallback` when none is stored. A foreign one
// throws, saying what is used instead when `instead` names it.
std::string StoredOutputFolder(const TIniFile32& ini, const std::string& app_dir, const std::string& fallback,
                               const std::string& instead) {
  const std::string folder = ini.ReadString(kSection, "OutDir", fallback);
  const std::string reason = ForeignFolderReason(folder);
  if (reason.empty()) return TFileFunc::AbsolutePath(folder, app_dir);
  throw ForeignFolderError("The output folder \"" + folder + "\" stored in " + ini.FileName() + " is " + reason +
                           ", not a folder of this system" +
                           (instead.empty() ? "." : "; " + instead + " \"" + fallback + "\" is used instead."));
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
  SelectStoredItem(ini, "OutType", controls.cbbOutputFiletype);
  SelectStoredItem(ini, "Profile", controls.cbbProfile);
  // The folder is neither tested nor created here; the conversion creates it when
  // needed. A hand-edited relative folder is taken below the program folder, the
  // encoder's current folder, and made absolute before anything creates or
  // writes it: the program's own current folder may be another one.
  controls.edtOutputFolder.SetText(StoredOutputFolder(ini, app_dir, controls.edtOutputFolder.Text(), "the folder"));
}

std::string ForeignFolderReason(const std::string& folder) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (folder.size() >= 2 && letter(folder[0]) && folder[1] == ':') return "a Windows path";
  if (folder.rfind("\\\\", 0) == 0) return "a Windows network path";
  if (!folder.empty() && (folder[0] == '~' || folder[0] == '$'))
    return "a shell expression, which only a shell expands";
  return {};
}

std::string ReadOutputFolder(const std::string& config_folder, const std::string& app_dir,
                             const std::string& default_folder) {
  const TIniFile32 ini(ConfigPath(config_folder, kUserSettingsFile));
  return StoredOutputFolder(ini, app_dir, default_folder, "");
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
