// The whole front end put together: the Qt services, the Program and one view
// per window, in the order the start sequence creates the windows. main() runs
// it with the real desktop; tests and tools run it with fakes.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt_services.h"
#include "platform/data_layout.h"
#include "ui/timing.h"

class Program;
namespace platform {
class Desktop;
class Launcher;
class InstanceServer;
class PowerControl;
class ProcessTable;
}  // namespace platform

namespace app {

class MainWindowView;
class OptionView;
class BusyView;
class ConvertingView;
class QtPreviewGraph;

struct ApplicationOptions {
  // Program folder; empty: the folder of the running executable.
  std::string app_dir;
  // Where the data goes; empty: resolved from the program folder.
  platform::DataLayout layout;
  // Empty: the running executable.
  std::string executable_path;
  // None: the real Qt dialogs.
  ui::Dialogs* dialogs = nullptr;
  // None: services that do nothing (only main() hands in the real ones).
  platform::Launcher* launcher = nullptr;
  platform::PowerControl* power = nullptr;
  platform::Desktop* desktop = nullptr;
  ui::Timing timing;
  // Empty: the end is only recorded on the Program.
  std::function<void(int)> end_process;
  // None: a table that sees no process (only main() hands in the real one).
  platform::ProcessTable* processes = nullptr;
  // Empty: the encoders' own names. Tests running real encoders use names of their own.
  std::string encoder_name;
  std::string rm_encoder_name;
};

class Application {
 public:
  explicit Application(ApplicationOptions options);
  ~Application();

  Program& program() const { return *program_; }
  MainWindowView& mainWindow() const { return *main_view_; }
  OptionView& optionDialog() const { return *option_view_; }
  ConvertingView& progressWindow() const { return *converting_view_; }
  QtEventLoop& loop() { return loop_; }
  QtPreviewGraph& previewGraph() const { return *graph_; }

  // The main window's start-up steps; the window is shown unless the program
  // ended, then the files (from the command line) are added to the list.
  void Start(const std::vector<std::string>& files = {});
  // Takes the files of later starts of the program (handed over the session
  // bus) into the main window. False, with the reason, when there is no session
  // bus or another program took the name first.
  bool ListenForOtherStarts(std::string& why);

 private:
  QtDialogs qt_dialogs_;
  QtEventLoop loop_;
  Program* program_ref_ = nullptr;  // the application object's view of the program
  ApplicationObject application_object_;
  // The graph is made before the program, which binds its playback clock to it;
  // the video window it draws into comes with the main window's view.
  std::unique_ptr<QtPreviewGraph> graph_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<MainWindowView> main_view_;
  std::unique_ptr<ConvertingView> converting_view_;
  std::unique_ptr<OptionView> option_view_;
  std::unique_ptr<BusyView> busy_view_;
  std::unique_ptr<platform::InstanceServer> instance_;
  std::unique_ptr<QSocketNotifier> instance_watch_;
};

}  // namespace app
