// Video To Plim Converter: program entry.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/desktop_identity.h"
#include "platform/desktop.h"
#include "platform/process_table.h"
#include "platform/services.h"
#include "platform/single_instance.h"
#include "shell/program.h"

namespace {

// The files named on the command line: every argument that is no option;
// "--" ends the options for names that start with "-".
std::vector<std::string> FileArguments(int argc, char** argv) {
  std::vector<std::string> files;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (options_end || arg.empty() || arg[0] != '-') {
      files.push_back(arg);
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt, which needs a display.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "Usage: video-to-plim-converter [FILE...]\n"
        "Opens the converter with the video files in its list.\n");
    return 0;
  }
  // A program already running in this session takes the files; this start ends.
  std::string why;
  if (platform::HandToRunningInstance(FileArguments(argc, argv), why)) return 0;

  QApplication qt(argc, argv);
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
  // What Qt left of the arguments are files to add ("Open with", the menu's %F).
  const std::vector<std::string> files = FileArguments(argc, argv);
  app::Application application(options);
  // Two starts at the same moment: the one that lost the name hands its files
  // to the other after all. Without a session bus, each runs on its own.
  if (!application.ListenForOtherStarts(why) && platform::HandToRunningInstance(files, why)) return 0;
  // The message loop shows the main window; its start-up runs first.
  QTimer::singleShot(0, [&application, files] { application.Start(files); });
  return qt.exec();
}
