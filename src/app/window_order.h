// Which window stays above which: owned windows over the main window, and the
// window that holds the user's attention brought forward.
#pragma once

#include <QWidget>
#include <initializer_list>

namespace app {

// Makes a top-level window transient for its owner (WM_TRANSIENT_FOR on X11,
// the parent toplevel on Wayland) without making it a child widget, so it stays
// above the owner on any window manager yet stays usable while the owner is
// disabled, as the main window is during a batch.
void KeepAbove(QWidget* window, QWidget* owner);

// The window the user should see: an open modal box or dialog, else the first
// visible of the owned windows, else the main window.
QWidget* WindowHoldingAttention(QWidget* main, std::initializer_list<QWidget*> owned);

// Brings the main window back from the task bar and that window to the front.
void BringForward(QWidget* main, std::initializer_list<QWidget*> owned);

}  // namespace app
