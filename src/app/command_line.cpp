#include "app/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace app {
namespace {

constexpr const char* kProgram = "video-to-plim-converter";

constexpr const char* kUsage =
    "Usage: video-to-plim-converter [OPTION]... [FILE]...\n"
    "Opens the converter with the video files in its list.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "      --         end of options: every following argument is a file\n"
    "\n"
    "Qt's own options (for example -platform offscreen) are accepted as well.\n";

// The options Qt reads from the command line, with one dash or two.
constexpr std::string_view kQtValueOptions[] = {"platform",
                                                "platformpluginpath",
                                                "platformtheme",
                                                "plugin",
                                                "qwindowgeometry",
                                                "geometry",
                                                "qwindowtitle",
                                                "title",
                                                "qwindowicon",
                                                "icon",
                                                "session",
                                                "style",
                                                "stylesheet",
                                                "display",
                                                "name",
                                                "visual",
                                                "qmljsdebugger"};
constexpr std::string_view kQtFlags[] = {"reverse", "testability", "widgetcount", "nograb", "dograb", "sync"};

enum class QtOption { None, Flag, Value, ValueAttached };

QtOption QtOptionOf(std::string_view arg) {
  arg.remove_prefix(arg.rfind("--", 0) == 0 ? 2 : 1);
  for (std::string_view flag : kQtFlags)
    if (arg == flag) return QtOption::Flag;
  for (std::string_view name : kQtValueOptions) {
    if (arg == name) return QtOption::Value;
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=')
      return QtOption::ValueAttached;
  }
  return QtOption::None;
}

CommandLine Refusal(const std::string& why) {
  CommandLine refused;
  refused.exit_code = 2;
  refused.text = std::string(kProgram) + ": " + why + " (see --help)\n";
  return refused;
}

}  // namespace

CommandLine ReadCommandLine(int argc, char** argv, const std::string& version) {
  CommandLine result;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      // "-" alone names no file the program could open; it is refused below.
      if (arg == "-" && !options_end) return Refusal("'-' is no file name; write ./- for a file named '-'");
      result.files.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "-h" || arg == "--help") {
      result.exit_code = 0;
      result.text = kUsage;
      return result;
    } else if (arg == "--version") {
      result.exit_code = 0;
      result.text = std::string(kProgram) + " " + version + "\n";
      return result;
    } else {
      switch (QtOptionOf(arg)) {
        case QtOption::None:
          return Refusal("unknown option '" + arg + "'");
        case QtOption::Value:
          if (++i == argc) return Refusal("option '" + arg + "' needs a value");
          break;
        case QtOption::Flag:
        case QtOption::ValueAttached:
          break;
      }
    }
  }
  return result;
}

int Answer(const CommandLine& command_line) {
  std::fputs(command_line.text.c_str(), command_line.exit_code == 0 ? stdout : stderr);
  return command_line.exit_code;
}

namespace {

// What Qt says while it starts is held back: on success it is passed on as
// usual, on a fatal failure to open the display only the reason is shown.
struct HeldMessage {
  QtMsgType type;
  std::string category;
  QString text;
};
std::vector<HeldMessage>* held = nullptr;
QtMessageHandler previous = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    held->push_back({type, context.category ? context.category : "", text});
    return;
  }
  // The platform plug-in's own warning says what failed ("could not connect to display :1").
  std::string reason;
  for (const HeldMessage& message : *held)
    if (reason.empty() && message.category.rfind("qt.qpa", 0) == 0 && message.type >= QtWarningMsg)
      reason = message.text.trimmed().toStdString();
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) {
    const std::string unset = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    reason = reason.empty() ? unset : reason + " (" + unset + ")";
  } else if (reason.empty()) {
    reason = "no platform plug-in of Qt could start";
  }
  std::fprintf(stderr, "%s: cannot open the display: %s\n", kProgram, reason.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv) {
  std::vector<HeldMessage> messages;
  held = &messages;
  previous = qInstallMessageHandler(HoldMessage);
  auto application = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  held = nullptr;
  for (const HeldMessage& message : messages) {
    const QByteArray category = QByteArray::fromStdString(message.category);
    previous(message.type, QMessageLogContext(nullptr, 0, nullptr, category.isEmpty() ? nullptr : category.constData()),
             message.text);
  }
  return application;
}

}  // namespace app
