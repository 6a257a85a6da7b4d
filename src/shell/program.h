// Program: made once at start-up, owns the windows, the controllers and the
// helper objects and hands each the references it needs. Tests build a fresh one
// with fake services.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/data_layout.h"
#include "platform/platform.h"
#include "ui/timing.h"

namespace ui {
class Dialogs;
class EventLoop;
}  // namespace ui
namespace platform {
class Desktop;
class Launcher;
class PowerControl;
class ProcessTable;
}  // namespace platform
namespace media {
class PreviewGraph;
}  // namespace media

class TAppFunc;
class TStrFunc;
class TFileFunc;
class TCommonLib;
class TCustomProc;
class TFrmMainForm;
class TfrmOption;
struct RecSoftInfo;
struct VtpcApplication;
class TSysFunc;
class TfrmConverting;
class TFrmInitFileForm;

inline constexpr const char* kApplicationTitle = "Video To Plim Converter";

// What the program needs from outside. The real services are wired only in main().
struct ProgramServices {
  // Program folder with a trailing separator.
  std::string app_dir;
  // Where settings, log and scratch files go. Left empty, it is resolved from
  // app_dir (a program folder with Config/ keeps everything in it).
  platform::DataLayout layout;
  ui::Dialogs* dialogs = nullptr;
  ui::EventLoop* loop = nullptr;
  // Left empty, these do nothing: only main() wires the real desktop in.
  platform::Launcher* launcher = nullptr;
  platform::PowerControl* power = nullptr;
  // Sleep inhibitor, screen saver and notifications. Left empty, nothing happens.
  platform::Desktop* desktop = nullptr;
  // The preview graph (Qt Multimedia in the program). Left empty, the preview plays nothing.
  media::PreviewGraph* preview_graph = nullptr;
  ui::Timing timing;
  // The executable whose version resource gives the caption; empty: the running one.
  std::string executable_path;
  // The application object handed to Form.so's About box; none: the box is not shown.
  const VtpcApplication* application = nullptr;
  // Ends the process at once with the exit code. Left empty (tests), the end is
  // only recorded: see Program::Ended.
  std::function<void(int)> end_process;

  // --- Conversion engine. ---
  // The process table the engine looks up and ends encoders in. Left empty it sees
  // nothing and ends nothing: only main() wires the real one in.
  platform::ProcessTable* processes = nullptr;
  // Process names of the encoders, which are also their file names in the program
  // folder. Tests that run real encoders give them names of their own.
  std::string encoder_name = platform::kEncoderName;
  std::string rm_encoder_name = platform::kRealMediaEncoderName;
  // Ends the program at once, without the main window's close handling (the
  // after-batch shutdown). main() wires it; tests record it. Left empty, nothing ends.
  std::function<void()> quit;
};

class Program {
 public:
  explicit Program(ProgramServices services);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  const std::string& AppDir() const { return services_.app_dir; }
  const platform::DataLayout& Layout() const { return services_.layout; }
  ui::Dialogs& dialogs() const { return *services_.dialogs; }
  ui::EventLoop& loop() const { return *services_.loop; }
  const ui::Timing& timing() const { return services_.timing; }
  platform::Launcher& launcher() const { return *services_.launcher; }
  platform::PowerControl& power() const { return *services_.power; }
  platform::Desktop& desktop() const { return *services_.desktop; }
  media::PreviewGraph& previewGraph() const { return *services_.preview_graph; }

  TAppFunc& AppFunc() const { return *app_func_; }
  TFileFunc& FileFunc() const { return *file_func_; }
  TCommonLib& CommonLib() const { return *common_lib_; }
  TCustomProc& CustomProc() const { return *custom_proc_; }
  TFrmMainForm& MainForm() const { return *main_form_; }
  TfrmOption& OptionForm() const { return *option_form_; }
  TFrmInitFileForm& InitFileForm() const { return *init_file_form_; }

  // --- Conversion engine. ---
  platform::ProcessTable& processes() const { return *services_.processes; }
  const std::string& EncoderName() const { return services_.encoder_name; }
  const std::string& RealMediaEncoderName() const { return services_.rm_encoder_name; }
  TSysFunc& SysFunc() const { return *sys_func_; }
  TfrmConverting& ConvertingForm() const { return *converting_form_; }
  // Ends the program through the wired hook.
  void Quit() const {
    if (services_.quit) services_.quit();
  }

  // Shorthand for the log, which nearly every operation writes.
  void WriteLog(const std::string& message) const;

  // Product information read at start-up.
  RecSoftInfo& SoftInfo() const { return *soft_info_; }
  const std::string& ExecutablePath() const { return services_.executable_path; }
  const VtpcApplication* Application() const { return services_.application; }

  // Ends the program at once; only the scratch script goes first.
  void EndProcess(int exit_code);
  // Removes the RealMedia script of the scratch folder, if there is one: at the
  // end, and at start-up for one a killed run left behind. A failure is logged.
  void RemoveScratchScript() const;
  bool Ended() const { return ended_; }
  int ExitCode() const { return exit_code_; }

  // The general error report: a message box with the error's text. The operation
  // that raised it is abandoned; the program goes on.
  void ReportError(const std::exception& error) const;
  // Runs a handler under the general error report.
  template <typename Handler>
  void Guarded(Handler&& handler) const {
    try {
      handler();
    } catch (const std::exception& error) {
      ReportError(error);
    }
  }

 private:
  ProgramServices services_;
  std::unique_ptr<platform::Launcher> inert_launcher_;
  std::unique_ptr<platform::PowerControl> inert_power_;
  std::unique_ptr<platform::Desktop> inert_desktop_;
  std::unique_ptr<media::PreviewGraph> inert_preview_graph_;
  // Windows first, as the start sequence creates them; then the controllers and helpers.
  std::unique_ptr<TFrmMainForm> main_form_;
  std::unique_ptr<TfrmOption> option_form_;
  std::unique_ptr<TFrmInitFileForm> init_file_form_;
  std::unique_ptr<TCustomProc> custom_proc_;
  std::unique_ptr<TCommonLib> common_lib_;
  std::unique_ptr<TAppFunc> app_func_;
  std::unique_ptr<TFileFunc> file_func_;
  std::unique_ptr<RecSoftInfo> soft_info_;
  bool ended_ = false;
  int exit_code_ = 0;
  // --- Conversion engine. ---
  std::unique_ptr<platform::ProcessTable> inert_processes_;
  std::unique_ptr<TSysFunc> sys_func_;
  std::unique_ptr<TfrmConverting> converting_form_;
};
