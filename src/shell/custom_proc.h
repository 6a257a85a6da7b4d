// TCustomProc: the controller behind the batch, the profiles, the user settings,
// the preview and the trim bar. Operations are defined in the folder of the
// subsystem they belong to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/batch_state.h"
#include "platform/desktop.h"

namespace ui {
class ListBox;
}
class Program;
class TAdvanceSystem;
namespace ui {
class SourceGrid;
}

// The batch state (engine/batch_state.h) is part of the controller.
class TCustomProc : public BatchState {
 public:
  explicit TCustomProc(Program& program) : program_(program) {}

  // --- User settings (shell/settings_ops.cpp, delegating to settings/user_settings.h). ---
  // Folder the add-files dialog opens at.
  std::string ReadInitDir() const;
  // Stores the folder of the file the open dialog last returned, if any.
  void SaveInitDir() const;
  // Sets the two after-batch check boxes and the output folder box from
  // UserSettings.ini; missing keys give the defaults.
  void LoadUserSettings() const;
  // Writes the two check boxes and the output folder box. Throws the store's
  // FileCreateError when the file cannot be written.
  void SaveUserSettings() const;
  // SaveUserSettings for the main window's close: a failure is shown as an error
  // box and swallowed, so closing goes on. True when everything was written.
  bool SaveUserSettingsOnClose() const;

  // --- Option lists and profile selection (shell/settings_ops.cpp, delegating to settings/profiles.h). ---
  // Fills the ten option lists from the catalogue, then loads the user settings.
  // A profile or settings file that cannot be read is reported through the
  // general error report (each message once); every list is filled all the same.
  void FillOptionLists();
  // Appends a display table's entries (all but its last) and selects its default index.
  static void FillListFromCatalogue(ui::ListBox& control, const std::vector<std::string>& table);
  // Appends the quality levels and the stored custom profile names and selects
  // the default quality level. When the profile file cannot be read the levels
  // are still there and selected, and the store's error is thrown afterwards.
  void FillProfileList(ui::ListBox& control) const;
  // Applies the profile selected in the main window to the six profile-driven lists.
  void ApplyProfile();

  // --- Custom profiles (shell/settings_ops.cpp, delegating to settings/profiles.h). ---
  // Stored value of the profile selected in the Options dialog's box; empty when
  // none is selected or stored.
  std::string CustomProfileValue() const;
  // Sets the six profile-driven option lists from the custom profile selected in
  // the Options dialog, if one is selected and stored. A field that is no
  // integer throws ConversionError; the fields before it stay applied.
  void ApplyCustomProfile();
  // Asks for a name (counting every attempt) and stores the six lists under it.
  // A name the profile file could not hold is refused with a warning.
  void AddCustomProfile();
  // Stores the six lists under the name shown in the Options dialog's box; a name
  // the profile file could not hold is refused with a warning.
  void SaveCustomProfile();
  // Removes the profile named in the Options dialog's box.
  void DeleteCustomProfile();

  // --- Trim bar (sources/trim_editing.cpp). ---
  // Places the trim markers for the last selected row that is not in the preview.
  void LoadTrimBar();
  // End minus start, in seconds, of the last row whose path equals this one
  // ignoring letter case; 0 when none does.
  int64_t RowCutSeconds(const std::string& path) const;

  // --- Preview player (sources/preview_player.cpp). ---
  // True while the preview graph runs.
  bool IsPlaying = false;
  void PreviewOpenAndPlay(const std::string& path);
  void PreviewPlay();
  void PreviewPause();
  void PreviewStop();

  // --- Command-line builder (shell/engine_ops.cpp). ---
  // Composes the encoder command line for a source, filling the parameter record,
  // the trim texts and VideoFile.avs; empty when the codec text is unknown.
  // Throws FileCreateError when the script cannot be written.
  std::string CreateConvertParameter(const std::string& source);
  // The output folder with a trailing separator, created when missing.
  std::string GetOutputDirectory();
  // Start cell of the source's last row; empty when no row holds the source.
  std::string GetTrimStart(const std::string& source);
  // End minus start of the source's last row in whole seconds; empty when none.
  std::string GetTrimSeconds(const std::string& source);

  // --- Batch driver (shell/engine_ops.cpp). ---
  // Converts every checked row in list order, then carries out the after-batch
  // actions. Refused while a batch runs. Errors while a row is prepared propagate
  // after the windows are restored.
  void ConvertCheckedRows(ui::SourceGrid& grid);
  // Receives each console text of the running encoder, on the user-interface thread.
  void ConvertOutputCallback(const std::string& text);
  bool BatchRunning() const { return Running; }
  // Suspends (true) or resumes (false) the encoder of the row being converted:
  // our own child, nothing else. False when none of ours runs.
  bool SuspendEncoder(bool suspend);

 private:
  Program& program_;
  // Keeps the screen saver off while the preview plays.
  std::unique_ptr<platform::Hold> screen_on_;
  void SyncScreenSaver();
};
