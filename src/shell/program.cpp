#include "shell/program.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "common/helpers.h"
#include "engine/catalogue.h"
#include "engine/converting_form.h"
#include "engine/job.h"
#include "engine/process_table.h"
#include "media/preview_graph.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/process_table.h"
#include "platform/services.h"
#include "settings/config_files.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/startup.h"
#include "sources/init_file_form.h"
#include "ui/dialogs.h"

Program::Program(ProgramServices services) : services_(std::move(services)) {
  if (!services_.dialogs || !services_.loop) throw std::invalid_argument("Program needs dialogs and an event loop");
  if (services_.app_dir.empty()) services_.app_dir = services_.layout.program_folder;
  if (services_.app_dir.empty() || services_.app_dir.back() != '/') services_.app_dir += '/';
  if (services_.layout.program_folder.empty()) services_.layout = platform::ResolveDataLayout(services_.app_dir);
  if (!services_.launcher) {
    inert_launcher_ = std::make_unique<platform::InertLauncher>();
    services_.launcher = inert_launcher_.get();
  }
  if (services_.executable_path.empty()) services_.executable_path = platform::ExecutablePath();
  if (!services_.power) {
    inert_power_ = std::make_unique<platform::InertPowerControl>();
    services_.power = inert_power_.get();
  }
  if (!services_.desktop) {
    inert_desktop_ = std::make_unique<platform::InertDesktop>();
    services_.desktop = inert_desktop_.get();
  }
  if (!services_.processes) {
    inert_processes_ = std::make_unique<platform::InertProcessTable>();
    services_.processes = inert_processes_.get();
  }
  if (!services_.preview_graph) {
    inert_preview_graph_ = std::make_unique<media::NullPreviewGraph>();
    services_.preview_graph = inert_preview_graph_.get();
  }
  main_form_ = std::make_unique<TFrmMainForm>(*this);
  option_form_ =
      std::make_unique<TfrmOption>(services_.layout.config_folder,
                                   settings::Messages{*services_.dialogs, kApplicationTitle}, main_form_->cbbProfile);
  option_form_->OutputExt = [this] {
    const int type = MainForm().cbbOutputFiletype.ItemIndex();
    const auto exts = catalogue::ExtensionList();
    return type >= 0 && type < static_cast<int>(exts.size()) ? exts[static_cast<size_t>(type)] : std::string();
  };
  init_file_form_ = std::make_unique<TFrmInitFileForm>(
      loop(), timing(), [this](const std::vector<std::string>& paths, const sources::AddProgress& progress) {
        CommonLib().AddSourceFiles(MainForm().dxTreeSourceFileInfo, paths, progress);
        CustomProc().SaveInitDir();
      });
  custom_proc_ = std::make_unique<TCustomProc>(*this);
  common_lib_ = std::make_unique<TCommonLib>(*this);
  // The progress window works on the batch state and the parameter record, so it
  // comes after the controllers that hold them.
  converting_form_ = std::make_unique<TfrmConverting>(ConvertingDeps{
      *custom_proc_,
      common_lib_->ConvertParameter,
      main_form_->dxTreeSourceFileInfo,
      *services_.dialogs,
      *services_.loop,
      kApplicationTitle,
      services_.timing.spinner_ms,
      [this] { main_form_->Form.SetEnabled(true); },
      [this](bool suspend) { return custom_proc_->SuspendEncoder(suspend); },
      [this] { common_lib_->StopEncoder(common_lib_->ConvertParameter.EncoderPath); },
      services_.timing.convert_prepare_ms,
      services_.timing.convert_grace_ms,
  });
  app_func_ = std::make_unique<TAppFunc>(services_.layout.log_file);
  file_func_ = std::make_unique<TFileFunc>();
  soft_info_ = std::make_unique<RecSoftInfo>();
  sys_func_ = std::make_unique<TSysFunc>(*services_.processes);
  // A desktop service that cannot be reached says so in our log; a log that
  // cannot be written must not stop a batch over an optional service either.
  services_.desktop->SetLog([this](const std::string& line) {
    try {
      WriteLog(line);
    } catch (const std::exception&) {
    }
  });
}

Program::~Program() {
  services_.desktop->SetLog({});
}

void Program::WriteLog(const std::string& message) const {
  app_func_->WriteLog(message);
}

void Program::EndProcess(int exit_code) {
  ended_ = true;
  exit_code_ = exit_code;
  RemoveScratchScript();
  if (services_.end_process) services_.end_process(exit_code);
}

void Program::RemoveScratchScript() const {
  const std::string script = services_.layout.scratch_folder + kScriptFile;
  if (std::remove(script.c_str()) == 0 || errno == ENOENT) return;
  const std::string problem = "Cannot remove " + script + ": " + platform::LastErrorText(errno);
  // Also when the log itself cannot be written: the program must still end.
  try {
    WriteLog(problem);
  } catch (const std::exception&) {
    std::fprintf(stderr, "%s\n", problem.c_str());
  }
}

void Program::ReportError(const std::exception& error) const {
  services_.dialogs->Message(ui::MessageKind::Error, kApplicationTitle, error.what());
}
