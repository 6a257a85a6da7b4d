#include "app/desktop_identity.h"

#include <QApplication>
#include <QWindow>

#include "app/skin.h"
#include "platform/single_instance.h"
#include "shell/program.h"

namespace app {

namespace {
// The icon's name in the icon theme, as the desktop entry names it.
constexpr const char* kIconName = "video-to-plim-converter";
}  // namespace

QIcon ProgramIcon() {
  // A theme may list the icon in a format no installed image plug-in reads
  // (SVG without Qt SVG): such an icon draws nothing.
  const QIcon themed = QIcon::fromTheme(kIconName);
  if (!themed.isNull() && !themed.pixmap(48, 48).isNull()) return themed;
  return skin::BuiltInIcon();
}

void SetDesktopIdentity() {
  QGuiApplication::setDesktopFileName(platform::kInstanceBusName);
  // X11 takes the class of every window's WM_CLASS from the application name
  // as the first window is made, and keeps it. Screen readers name the program
  // by the application name, so it is the app ID only while that window is made.
  QApplication::setApplicationName(platform::kInstanceBusName);
  QWindow first;
  first.create();
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setWindowIcon(ProgramIcon());
}

}  // namespace app
