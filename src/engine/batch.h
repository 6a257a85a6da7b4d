// The batch driver: converts the checked rows one after another, then carries
// out the after-batch actions. It reaches the windows above it only through
// BatchHost.
#pragma once

#include <string>

#include "engine/batch_state.h"
#include "ui/source_grid.h"

namespace platform {
class Desktop;
class ProcessTable;
}  // namespace platform
namespace ui {
class EventLoop;
struct Timing;
}  // namespace ui
class ChildRegistry;
class TfrmConverting;
struct TConvertParameterStruct;

namespace engine {

// What the batch asks of the program around it.
class BatchHost {
 public:
  virtual ~BatchHost() = default;
  // Makes the main window usable (true) or not (false).
  virtual void EnableMainWindow(bool enabled) = 0;
  // The command line of a row's source, filling the parameter record and the
  // trim texts; empty when no command can be built. Throws TrimTimeError for a
  // row whose range is no time.
  virtual std::string BuildCommand(const std::string& source) = 0;
  // Gives up the name a built command's output held, if its file is still the
  // empty one that held it.
  virtual void ReleaseOutputName(const std::string& path) { (void)path; }
  // Receives each console text of the running encoder, on the user-interface thread.
  virtual void ConvertOutput(const std::string& text) = 0;
  // What the batch has made of a row so far (by its index in the grid).
  virtual void ShowRowStatus(int row, const ui::RowStatus& status) = 0;
  // The two after-batch check boxes.
  virtual bool ShowOutputFolderChecked() const = 0;
  virtual bool ShutdownChecked() const = 0;
  virtual void OpenFolder(const std::string& folder) = 0;
  // True when the system powers off; false once the user has been told why not.
  virtual bool ShutdownComputer() = 0;
  // Ends the program at once, without the main window's close handling.
  virtual void Quit() = 0;
  virtual void Warn(const std::string& text) = 0;
  virtual void Log(const std::string& line) = 0;
};

// The services a batch runs on.
struct BatchServices {
  TfrmConverting& progress;
  // The parameter record the host's BuildCommand fills.
  const TConvertParameterStruct& job;
  ui::EventLoop& loop;
  const ui::Timing& timing;
  platform::Desktop& desktop;
  platform::ProcessTable& processes;
  ChildRegistry& children;
  // The program folder with a trailing separator: the encoder's current folder.
  std::string app_dir;
};

// Converts every checked row in list order, then carries out the after-batch
// actions. Refused while a batch runs. Errors while a row is prepared propagate
// after the windows are restored.
void ConvertCheckedRows(ui::SourceGrid& grid, BatchState& state, BatchHost& host, const BatchServices& services);

}  // namespace engine
