// The user settings in UserSettings.ini: the main window's two after-batch check
// boxes, its output folder box, its output type and profile, and the folder the
// add-files dialog opens at.
#pragma once

#include <string>

#include "platform/errors.h"
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
// A stored output folder that is not a folder of this system as written: a
// Windows path ("C:\...", "\\server\...") or one only a shell expands
// ("~/...", "$HOME/..."). Taken as it is, it would become a folder of that name
// below the program folder.
class ForeignFolderError : public AppError {
 public:
  using AppError::AppError;
};

// Why the folder text cannot be used as a folder here; empty when it can.
std::string ForeignFolderReason(const std::string& folder);

// The stored output folder, made absolute below the program folder when a hand
// edit left it relative (the encoders run there); the default when none is
// stored. Throws ForeignFolderError for a folder ForeignFolderReason refuses.
std::string ReadOutputFolder(const std::string& config_folder, const std::string& app_dir,
                             const std::string& default_folder);
// Sets the controls from the file; missing keys give the defaults. A relative
// output folder is taken below the program folder. The output type and profile
// are kept by their item text: a name the list no longer holds (a deleted custom
// profile) leaves the list's current selection. A foreign output folder leaves
// the box as it was and throws ForeignFolderError once the rest is set.
void LoadUserSettings(const std::string& config_folder, const std::string& app_dir,
                      const UserSettingsControls& controls);
// Writes the controls. Throws the store's FileCreateError when the file cannot be written.
void SaveUserSettings(const std::string& config_folder, const UserSettingsControls& controls);
// SaveUserSettings for the main window's close: a failure is shown as an error
// box and swallowed. True when everything was written.
bool SaveUserSettingsOnClose(const std::string& config_folder, const UserSettingsControls& controls,
                             const Messages& messages);

}  // namespace settings
