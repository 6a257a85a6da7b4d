// How the desktop knows the program's windows: the app ID of its desktop entry
// and its icon.
#pragma once

#include <QIcon>

namespace app {

// The desktop entry's application ID (example.quorvansoft.VideoToPlimConverter):
// the Wayland app ID and the class of the windows' WM_CLASS on X11, which task
// bars and docks match with the entry's StartupWMClass. Call once, before the
// program makes its first window.
void SetDesktopIdentity();

// The icon theme's icon of the program where the theme can draw it, else the
// program's own picture.
QIcon ProgramIcon();

}  // namespace app
