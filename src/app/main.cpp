// Video To Plim Converter: program entry.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/desktop_identity.h"
#include "common/version_resource.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/process_table.h"
#include "platform/services.h"
#include "platform/single_instance.h"
#include "shell/program.h"

int main(int argc, char** argv) {
  const std::string version = GetFileVersionText(platform::ExecutablePath());
  const app::CommandLine command_line = app::ReadCommandLine(argc, argv, version.empty() ? "2.0" : version);
  if (command_line.exit_code >= 0) return app::Answer(command_line);
  // The files to add ("Open with", the menu's %F).
  const std::vector<std::string>& files = command_line.files;
  // A program already running in this session takes the files; this start ends.
  std::string why;
  if (platform::HandToRunningInstance(files, why)) return 0;

  const std::unique_ptr<QApplication> qt = app::OpenDisplay(argc, argv);
  app::SetDesktopIdentity();
  // The program ends only through its main window's close handling (or the
  // start-up's presence check), never because a window was hidden.
  QApplication::setQuitOnLastWindowClosed(false);

  // The real desktop services are wired here and nowhere else.
  platform::XdgLauncher launcher;
  platform::LogindPowerControl power;
  platform::DBusDesktop desktop(kApplicationTitle);
  platform::ProcProcessTable processes;
  app::ApplicationOptions options;
  options.launcher = &launcher;
  options.power = &power;
  options.desktop = &desktop;
  options.processes = &processes;
  options.end_process = [](int code) {
    std::fflush(nullptr);
    std::_Exit(code);
  };
  app::Application application(options);
  // Two starts at the same moment: the one that lost the name hands its files
  // to the other after all. Without a session bus, each runs on its own.
  if (!application.ListenForOtherStarts(why) && platform::HandToRunningInstance(files, why)) return 0;
  // The message loop shows the main window; its start-up runs first.
  QTimer::singleShot(0, [&application, files] { application.Start(files); });
  return qt->exec();
}
