// The user settings in UserSettings.ini: the main window's two after-batch check
// boxes, its output folder box, its output type and profile, and the folder the
// add-files dialog opens at.
#pragma once

#include <string>

#include "settings/config_files.h"
#include "ui/list_box.h"
#include "ui/models.h"
#include "ui/open_dialog.h"

namespace settings {

// The main window's controls the user settings are kept for.
struct UserSettingsControls {
  ui::CheckBox& chkShowOutputDirectory;
  ui::CheckBox& chkShutdown;
  ui::EditBox& edtOutputFolder;
  ui::ListBox& cbbOutputFiletype;
  ui::ListBox& cbbProfile;
};

// Folder the add-files dialog opens at.
std::string ReadInitDir(const std::string& config_folder);
// Stores the folder of the file the open dialog last returned, if any.
void SaveInitDir(const std::string& config_folder, const ui::OpenDialog& dialog);
// The stored output folder, made absolute below the program folder when a hand
// edit left it relative (the encoders run there); the default when none is stored.
std::string ReadOutputFolder(const std::string& config_folder, const std::string& app_dir,
                             const std::string& default_folder);
// Sets the controls from the file; missing keys give the defaults. A relative
// output folder is taken below the program folder. The output type and profile
// are kept by their item text: a name the list no longer holds (a deleted custom
// profile) leaves the list's current selection.
void LoadUserSettings(const std::string& config_folder, const std::string& app_dir,
                      const UserSettingsControls& controls);
// Writes the controls. Throws the store's FileCreateError when the file cannot be written.
void SaveUserSettings(const std::string& config_folder, const UserSettingsControls& controls);
// SaveUserSettings for the main window's close: a failure is shown as an error
// box and swallowed. True when everything was written.
bool SaveUserSettingsOnClose(const std::string& config_folder, const UserSettingsControls& controls,
                             const Messages& messages);

}  // namespace settings
