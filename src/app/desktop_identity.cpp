#include "app/desktop_identity.h"

#include <QApplication>

#include "app/skin.h"
#include "platform/single_instance.h"

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
  // On X11 the class part of WM_CLASS is the application name; window titles
  // are set by each window and do not use it.
  QApplication::setApplicationName(platform::kInstanceBusName);
  QGuiApplication::setDesktopFileName(platform::kInstanceBusName);
  QApplication::setWindowIcon(ProgramIcon());
}

}  // namespace app
