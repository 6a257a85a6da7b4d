#include "app/application.h"

#include <QPointer>
#include <QTimer>

#include "app/busy_view.h"
#include "app/converting_view.h"
#include "app/main_window_view.h"
#include "app/option_view.h"
#include "app/qt_preview_graph.h"
#include "app/skin.h"
#include "app/splash_view.h"
#include "app/window_order.h"
#include "engine/converting_form.h"
#include "platform/platform.h"
#include "platform/single_instance.h"
#include "settings/option_form.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "sources/init_file_form.h"

namespace app {

Application::Application(ApplicationOptions options) : application_object_(program_ref_) {
  skin::ApplyToApplication();
  ProgramServices services;
  services.app_dir = options.app_dir.empty() ? platform::ExecutableFolder() : options.app_dir;
  services.layout = options.layout;
  services.executable_path = options.executable_path;
  services.dialogs = options.dialogs ? options.dialogs : &qt_dialogs_;
  services.loop = &loop_;
  services.launcher = options.launcher;
  services.power = options.power;
  services.desktop = options.desktop;
  services.timing = options.timing;
  services.application = application_object_.Get();
  services.end_process = options.end_process;
  graph_ = std::make_unique<QtPreviewGraph>(
      [this]() -> QVideoWidget* { return main_view_ ? main_view_->videoWindow() : nullptr; });
  services.preview_graph = graph_.get();
  services.processes = options.processes;
  if (!options.encoder_name.empty()) services.encoder_name = options.encoder_name;
  if (!options.rm_encoder_name.empty()) services.rm_encoder_name = options.rm_encoder_name;
  // The after-batch shutdown ends the program as the close does, minus the close handling.
  services.quit = [this] { program_->EndProcess(0); };
  program_ = std::make_unique<Program>(std::move(services));
  program_ref_ = program_.get();
  qt_dialogs_.SetProgram(program_.get());
  Program* program = program_.get();
  loop_.SetReport([program](const std::exception& error) { program->ReportError(error); });

  // The views, in the order the windows are created.
  TFrmMainForm& form = program_->MainForm();
  main_view_ = std::make_unique<MainWindowView>(*program_, form);
  converting_view_ = std::make_unique<ConvertingView>(*program_, program_->ConvertingForm(), main_view_.get());
  option_view_ = std::make_unique<OptionView>(*program_, program_->OptionForm());
  busy_view_ = std::make_unique<BusyView>(program_->InitFileForm(), main_view_.get());
  KeepAbove(converting_view_.get(), main_view_.get());
  KeepAbove(option_view_.get(), main_view_.get());
  // The Options button and Ctrl+I bring an open Options dialog forward too.
  form.btnOptions.OnClick = [this, open = form.btnOptions.OnClick] {
    if (open) open();
    if (option_view_->isVisible()) BringForward(option_view_.get(), {});
  };
  qt_dialogs_.SetOwner(main_view_.get());
  form.CreateSplashView = [](TFrmFlashForm& splash) { return std::make_shared<SplashView>(splash); };
}

Application::~Application() {
  instance_watch_.reset();
  instance_.reset();
  // Views go before the models they observe.
  busy_view_.reset();
  option_view_.reset();
  converting_view_.reset();
  // The graph lets go of the video window before the window goes.
  program_->previewGraph().SetActive(false);
  graph_->ReleaseVideoWindow();
  main_view_.reset();
}

void Application::Start(const std::vector<std::string>& files) {
  program_->Guarded([this] { program_->MainForm().Start(); });
  if (files.empty() || program_->Ended()) return;
  program_->Guarded([this, &files] { program_->MainForm().OpenFiles(files); });
}

bool Application::ListenForOtherStarts(std::string& why) {
  QPointer<MainWindowView> window = main_view_.get();
  Program* program = program_.get();
  instance_ = platform::InstanceServer::Claim(
      [this, window, program](std::vector<std::string> paths) {
        // Added once the bus call has been answered, from the event loop as a
        // drop would be; the window that holds the user's attention comes to
        // the front with them: the progress window during a batch, an open dialog.
        QTimer::singleShot(0, window, [this, window, program, paths] {
          program->Guarded([&] { program->MainForm().OpenFiles(paths); });
          if (!window) return;
          BringForward(window, {converting_view_.get(), busy_view_.get(), option_view_.get()});
        });
      },
      why);
  if (!instance_) return false;
  instance_watch_ = std::make_unique<QSocketNotifier>(instance_->Fd(), QSocketNotifier::Read);
  QObject::connect(instance_watch_.get(), &QSocketNotifier::activated, [this] { instance_->Process(); });
  // Whatever arrived with the claim's own replies.
  instance_->Process();
  return true;
}

}  // namespace app
