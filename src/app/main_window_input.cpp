// The main window's input: the key preview, the title bar drag, dropped files,
// the pointer over the video and the keyboard focus around it, the grid's menu.
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/main_window_view.h"
#include "app/qt_services.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace app {

namespace {

ui::ShiftState ShiftOf(Qt::KeyboardModifiers modifiers) {
  ui::ShiftState s;
  s.shift = modifiers & Qt::ShiftModifier;
  s.ctrl = modifiers & Qt::ControlModifier;
  s.alt = modifiers & Qt::AltModifier;
  const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  s.left = buttons & Qt::LeftButton;
  s.right = buttons & Qt::RightButton;
  s.middle = buttons & Qt::MiddleButton;
  return s;
}

// Letters are their upper-case character, F1 and Delete their key codes.
int KeyCode(int qt_key) {
  if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) return 'A' + (qt_key - Qt::Key_A);
  if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) return '0' + (qt_key - Qt::Key_0);
  switch (qt_key) {
    case Qt::Key_F1:
      return vk::F1;
    case Qt::Key_Delete:
      return vk::Delete;
    case Qt::Key_Escape:
      return vk::Escape;
    default:
      return 0;
  }
}

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
  return paths;
}
}  // namespace

bool MainWindowView::InVideo(const QWidget* widget) const {
  return video_ && widget && (widget == video_ || video_->isAncestorOf(widget));
}

// The video widget draws in a window of its own, which platforms activate as
// it appears or on a click into the picture. The keys then reach a window
// without controls, so the window's Ctrl keys stop working until the list is
// clicked; and Qt moves the focused widget into the video (6.8) or drops it
// (6.4). The keyboard goes back to the window and the control that had it.
void MainWindowView::KeepFocusOffTheVideo() {
  auto give_back = [this] {
    QWidget* back = last_focus_ ? last_focus_.data() : grid_;
    if (!back->isVisible() || !back->isEnabled()) back = this;
    back->setFocus(Qt::OtherFocusReason);
  };
  connect(qApp, &QApplication::focusChanged, this, [this, give_back](QWidget*, QWidget* now) {
    if (InVideo(now))
      give_back();
    else if (now && now->window() == this)
      last_focus_ = now;
  });
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this, give_back](QWindow* focus) {
    QWindow* own = windowHandle();
    if (!video_ || !focus || !own) return;
    if (focus != own && own->isAncestorOf(focus)) {
      own->requestActivate();
    } else if (focus == own) {
      QWidget* current = QApplication::focusWidget();
      if (!current || InVideo(current)) give_back();
    }
  });
}

void MainWindowView::WatchPointer(QWidget* widget) {
  // Moves without a button held reach only widgets that track the mouse.
  widget->setMouseTracking(true);
  widget->installEventFilter(this);
}

void MainWindowView::ShowPointer() {
  pointer_timer_->stop();
  if (video_panel_->testAttribute(Qt::WA_SetCursor)) video_panel_->unsetCursor();
}

void MainWindowView::PointerEvent(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool moved = type == QEvent::Enter || type == QEvent::MouseMove || type == QEvent::MouseButtonPress ||
                     type == QEvent::MouseButtonRelease || type == QEvent::Wheel;
  if (!moved && type != QEvent::Leave) return;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || (widget != video_panel_ && !video_panel_->isAncestorOf(widget))) return;
  if (moved) {
    pointer_inside_ = true;
    ShowPointer();
    if (!logo_->isVisible()) pointer_timer_->start();
  } else if (widget == video_panel_) {
    pointer_inside_ = false;
    ShowPointer();
  }
}

void MainWindowView::ShowGridMenu(const QPoint& at) {
  auto* menu = new QMenu(this);
  menu->setObjectName("GridMenu");
  menu->setAttribute(Qt::WA_DeleteOnClose);
  auto add = [this, menu](const QString& text, const QKeySequence& keys, bool enabled, std::function<void()> run) {
    QAction* action = menu->addAction(text, this, [this, run] { guard_(run); });
    action->setShortcut(keys);  // shown beside the item; the window's key handling does the work
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(enabled);
  };
  add(Q(form_.UndoCaption()), QKeySequence(Qt::CTRL | Qt::Key_Z), form_.CanUndoRemove(),
      [this] { form_.UndoRemove(); });
  menu->addSeparator();
  const bool rows = form_.dxTreeSourceFileInfo.RowCount() > 0;
  add("Select All", QKeySequence(Qt::CTRL | Qt::Key_A), rows, [this] { form_.SelectAllRows(); });
  add("Remove", QKeySequence(Qt::CTRL | Qt::Key_R), form_.dxTreeSourceFileInfo.SelectedCount() > 0,
      [this] { form_.btnRemoveFile.Click(); });
  add("Clear", QKeySequence(Qt::CTRL | Qt::Key_L), rows, [this] { form_.btnClearFile.Click(); });
  menu->popup(grid_->viewport()->mapToGlobal(at));
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  // A disabled window cannot be closed, as during a conversion batch.
  if (!form_.Form.Enabled()) {
    event->ignore();
    return;
  }
  guard_([this] { form_.FormClose(); });
  event->accept();
}

void MainWindowView::dragEnterEvent(QDragEnterEvent* event) {
  if (form_.AcceptsDroppedFiles && !LocalFiles(event->mimeData()).empty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainWindowView::dragMoveEvent(QDragMoveEvent* event) {
  if (form_.AcceptsDroppedFiles && !LocalFiles(event->mimeData()).empty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainWindowView::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = LocalFiles(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  guard_([&] { form_.WMDropFiles(paths); });
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
  PointerEvent(watched, event);
  if (event->type() == QEvent::KeyPress && event != previewed_key_) {
    // The key preview: the window's handler runs first, once per key, and the
    // key goes on to the focused control.
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (widget && widget == first && widget->window() == this && isEnabled()) {
      auto* key = static_cast<QKeyEvent*>(event);
      const int code = KeyCode(key->key());
      if (code != 0) {
        guard_([&] { form_.FormKeyDown(code, ShiftOf(key->modifiers())); });
        // A dialog the key opened has moved the focus meanwhile; when the
        // focused control passes the key on to its parents, this same event
        // must not count as a key of the window's own.
        previewed_key_ = event;
      }
    }
  } else if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
    previewed_key_ = nullptr;
  }
  if (watched == title_) {
    QPoint& offset = drag_offset_;
    if (event->type() == QEvent::MouseButtonPress) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) {
        // The system moves the window while the button is held; where it
        // cannot, the window follows the mouse itself.
        if (!(windowHandle() && windowHandle()->startSystemMove()))
          offset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
        else
          offset = QPoint(-1, -1);
        return true;
      }
    } else if (event->type() == QEvent::MouseMove) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if ((mouse->buttons() & Qt::LeftButton) && offset != QPoint(-1, -1))
        move(mouse->globalPosition().toPoint() - offset);
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace app
