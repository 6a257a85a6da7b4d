// Video To Plim Converter: program entry.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "platform/desktop.h"
#include "platform/process_table.h"
#include "platform/services.h"
#include "shell/program.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
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
  // The message loop shows the main window; its start-up runs first.
  QTimer::singleShot(0, [&application] { application.Start(); });
  return qt.exec();
}
