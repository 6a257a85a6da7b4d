#include "app/window_order.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWindow>

namespace app {

namespace {

// Sets the transient parent each time the window is shown: the show event comes
// after Qt made the native window and before it is mapped, and Qt may make the
// native window afresh between two shows.
class TransientFor : public QObject {
 public:
  TransientFor(QWidget* window, QWidget* owner) : QObject(window), owner_(owner) { window->installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && owner_) {
      auto* window = static_cast<QWidget*>(watched);
      QWindow* own = window->windowHandle();
      QWindow* parent = owner_->window()->windowHandle();
      if (own && parent && own != parent && own->transientParent() != parent) own->setTransientParent(parent);
    }
    return false;
  }

 private:
  QPointer<QWidget> owner_;
};

}  // namespace

void KeepAbove(QWidget* window, QWidget* owner) {
  if (!window || !owner) return;
  new TransientFor(window, owner);
}

QWidget* WindowHoldingAttention(QWidget* main, std::initializer_list<QWidget*> owned) {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  for (QWidget* window : owned)
    if (window && window->isVisible()) return window;
  return main;
}

void BringForward(QWidget* main, std::initializer_list<QWidget*> owned) {
  if (!main) return;
  if (main->isMinimized()) main->showNormal();
  QWidget* target = WindowHoldingAttention(main, owned);
  // The main window first, then the window above it, so a window manager that
  // raises only what it is asked to still ends with the right one on top.
  main->raise();
  if (target != main) target->raise();
  target->activateWindow();
}

}  // namespace app
