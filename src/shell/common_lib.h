// TCommonLib: the program folder, the parameter record of the job last built,
// the option fragments and the shared text, message and file operations.
// Operations are defined in the folder of the subsystem they belong to.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/parameter.h"
#include "engine/runner.h"
#include "sources/source_list.h"
#include "ui/dialogs.h"

namespace ui {
class ListBox;
class OpenDialog;
class SourceGrid;
}  // namespace ui
namespace media {
class DurationProbe;
class PreviewGraph;
}  // namespace media
class Program;

class TCommonLib {
 public:
  explicit TCommonLib(Program& program);

  // Program folder with a trailing separator; set once.
  const std::string AppDir;
  TConvertParameterStruct ConvertParameter;
  // Path of the file loaded in the preview player; empty when none.
  std::string PreviewFile;

  // --- Option fragments (shell/engine_ops.cpp). Each begins with a blank. ---
  std::string GetCodecArgs(int output_type) const;
  std::string GetVideoBitrateArg(const ui::ListBox& list, int position) const;
  std::string GetVideoSizeArg(const ui::ListBox& list, int position) const;
  std::string GetFrameRateArg(const ui::ListBox& list, int position) const;
  std::string GetAspectArg(const ui::ListBox& list, int position) const;
  std::string GetAudioBitrateArg(const ui::ListBox& list, int position) const;
  std::string GetVolumeArg(const ui::ListBox& list, int position) const;
  std::string GetChannelsArg(const ui::ListBox& list, int position) const;
  std::string GetSampleRateArg(const ui::ListBox& list, int position) const;
  std::string GetFormatArg(int output_type) const;
  std::string GetOutputExt(int output_type) const;

  // --- Text helpers (common/text.h). ---
  static std::vector<std::string> SplitText(const std::string& t, char separator) {
    return text::SplitText(t, separator);
  }
  static double ParseLenientNumber(const std::string& t) { return text::ParseLenientNumber(t); }
  static std::string FormatFileSize(int64_t bytes) { return text::FormatFileSize(bytes); }
  static std::string FormatSeconds(int64_t seconds) { return text::FormatSeconds(seconds); }
  static std::string PadNumber(int width, int64_t value, int64_t divisor) {
    return text::PadNumber(width, value, divisor);
  }
  // The seconds of a time text as FormatSeconds writes it; false for any other text.
  static bool ReadTimeText(const std::string& t, int64_t& seconds) { return text::ParseTimeText(t, seconds); }

  // A message box with the application title as caption and an OK button.
  // Kind 0 error, 1 warning, 2 question, 3 information; any other kind shows
  // nothing and returns false.
  bool ShowMessageBox(const std::string& text, int kind) const;
  bool ShowMessageBox(const std::string& text, ui::MessageKind kind) const {
    return ShowMessageBox(text, static_cast<int>(kind));
  }

  // --- INI wrappers for files in the Config folder (shell/settings_ops.cpp, on settings/config_files.h). ---
  std::vector<std::string> ReadIniSections(const std::string& file_name) const;
  std::string ReadNamedValue(const std::string& file_name, const std::string& name) const;
  std::string ConfigPath(const std::string& file_name) const;

  // --- Process table operations (shell/engine_ops.cpp). ---
  // The encoder processes this program's runners started and have not yet
  // collected. Only these are ever waited for or ended.
  mutable ChildRegistry EncoderChildren;
  // Like TSysFunc::ProcessIdByName, but logs "Get Process id error." when none is found.
  pid_t GetProcessIdByName(const std::string& name) const;
  // Asks every process of that name that this program started to end; true when
  // the last attempt succeeded. Logs "Terminate process error." when none
  // matched or the last attempt failed.
  bool KillProcessByName(const std::string& name) const;
  // Privileges need no adjusting here; both report success.
  bool SetTokenPrivilege(int token, const std::string& privilege, bool enable) const;
  bool EnableDebugPrivilege() const;
  // True while the process table still holds an encoder this program started.
  bool OwnEncoderRunning() const;
  // One bounded attempt at ending every encoder this program started (the path
  // names the job's encoder; a runner starts no other), letting pending events
  // run meanwhile: each is asked once (SIGTERM), one still there after
  // Timing::stop_kill_after_ms is killed, and after Timing::stop_give_up_ms each
  // one left gets one "Terminate process error." line.
  void StopEncoder(const std::string& path) const;

  // --- After-batch actions (shell/engine_ops.cpp). ---
  // Shows the folder in the desktop's file manager; the outcome is not looked at.
  void OpenFolder(const std::string& folder) const;
  // Asks the system to power off (no force). When it refuses or cannot be
  // asked, tells the user why and returns false.
  bool ShutdownComputer() const;
  void EnableShutdownPrivilege() const;
  // --- Output folder choice (shell/settings_ops.cpp, delegating to settings/output_folder.h). ---
  // Lets the user browse for a folder and returns the folder the output box
  // should show: the chosen one when it exists and can be written, else current.
  std::string ChooseOutputFolder(const std::string& current) const;
  // Creates a folder with every missing level; true when it exists afterwards.
  // Replaceable so tests can stand in for media on which nothing can be created.
  std::function<bool(const std::string&)> MakeFolders = &TCommonLib::MakeFoldersOnDisk;
  static bool MakeFoldersOnDisk(const std::string& folder);

  // --- Source list (sources/source_list.cpp). ---
  // Appends a row for every path that has an accepted extension, is not in the
  // grid yet (exact comparison) and lasts at least a second; files that cannot be
  // measured get the codec error window. Selects the first row and loads the trim bar.
  void AddSourceFiles(ui::SourceGrid& grid, const std::vector<std::string>& paths,
                      const sources::AddProgress& progress = {}) const;
  // Runs the open dialog at the folder; the chosen paths, empty when cancelled.
  std::vector<std::string> SelectSourceFiles(ui::OpenDialog& dialog, bool unique,
                                             const std::string& initial_folder) const;
  // First occurrence of each path, order kept, exact comparison.
  static std::vector<std::string> UniqueFileList(const std::vector<std::string>& paths);
  // Whole seconds the file plays; 0 when it cannot be measured.
  static int64_t ProbeDurationSeconds(const std::string& path, const media::DurationProbe& probe);
  // Size in bytes; throws FileOpenError when the file cannot be opened.
  static int64_t SourceFileSize(const std::string& path);
  // Whether the lower-cased extension of the path is one the list takes.
  static bool AcceptedSourceExtension(const std::string& path);
  // Deletes the selected rows; focuses the row above the focused one if it stays.
  // Returns what it deleted, for putting back.
  sources::RemovedRows RemoveSelectedRows(ui::SourceGrid& grid) const;
  // Deletes all rows; false when that failed.
  static bool ClearRows(ui::SourceGrid& grid);
  // A new modal codec error window; returns when the user has closed it.
  void ShowCodecError(const std::string& path) const;

  // --- Preview media (sources/preview_player.cpp). ---
  // Moves the graph's current position (absolute); failures are ignored.
  static void SeekToMilliseconds(media::PreviewGraph& graph, int64_t ms);

 private:
  Program& program_;
};
