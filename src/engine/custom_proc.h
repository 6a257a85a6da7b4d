// TCustomProc: the controller behind the batch, the profiles, the user settings,
// the preview and the trim bar. Operations are defined in the folder of the
// subsystem they belong to.
#pragma once

#include <cstdint>
#include <string>

class Program;
namespace ui {
class SourceGrid;
}

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
  // Set by the progress window's Stop and close handlers, cleared when a batch
  // starts: a row's encoder that ended on a stop counts as stopped, not failed.
  bool BatchInterrupted = false;

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

  // --- Command-line builder (engine/builder.cpp). ---
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

  // --- Batch driver (engine/batch.cpp). ---
  // Converts every checked row in list order, then carries out the after-batch
  // actions. Refused while a batch runs. Errors while a row is prepared propagate
  // after the windows are restored.
  void ConvertCheckedRows(ui::SourceGrid& grid);
  // Receives each console text of the running encoder, on the user-interface thread.
  void ConvertOutputCallback(const std::string& text);
  bool BatchRunning() const { return batch_running_; }

 private:
  Program& program_;
  bool batch_running_ = false;
};
