// TCustomProc: the controller behind the batch, the profiles, the user settings,
// the preview and the trim bar. Operations are defined in the folder of the
// subsystem they belong to.
#pragma once

#include <cstdint>
#include <string>

class Program;

class TCustomProc {
 public:
  explicit TCustomProc(Program& program) : program_(program) {}

  // --- Batch state: counters and flags of the batch that runs or ran last. ---
  int32_t FilesDone = 0;
  int32_t CheckedCount = 0;
  int32_t RefreshCount = 0;
  int32_t RowIndex = 0;
  std::string CurrentCommand;
  bool StopRequested = false;

  // Start (hh:mm:ss) and length (whole seconds) of the range of the job last built.
  std::string TrimStartText;
  std::string TrimSecondsText;

  // --- User settings (settings/user_settings.cpp). ---
  // Folder the add-files dialog opens at.
  std::string ReadInitDir() const;
  // Stores the folder of the file the open dialog last returned, if any.
  void SaveInitDir() const;

  // --- Custom profiles (settings/custom_profiles.cpp). ---
  // Sets the six profile-driven option lists from the custom profile selected in
  // the Options dialog, if one is selected and stored.
  void ApplyCustomProfile();

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

 private:
  Program& program_;
};
