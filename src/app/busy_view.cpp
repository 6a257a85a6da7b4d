#include "app/busy_view.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include "app/skin.h"
#include "sources/init_file_form.h"

namespace app {

BusyView::BusyView(TFrmInitFileForm& form, QWidget* main_window)
    : QWidget(main_window, Qt::Tool | Qt::FramelessWindowHint), form_(form), main_window_(main_window) {
  setObjectName("FrmInitFileForm");
  setFixedSize(TFrmInitFileForm::kWidth, TFrmInitFileForm::kHeight);
  // Modal in effect: the main window takes no input while files are added. Not
  // modal to Qt, which would drop the keys typed meanwhile; the filter keeps
  // them, and the keyboard focus never leaves the main window.
  setAttribute(Qt::WA_ShowWithoutActivating);
  qApp->installEventFilter(this);
  auto* label = new LabelView(form.lblInfo, this);
  label->setObjectName("lblInfo");
  label->setAlignment(Qt::AlignCenter);
  QFont f("Arial");
  f.setBold(true);
  f.setPixelSize(14);
  label->setFont(f);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(pal);
  label->setGeometry(rect());
  subscription_ = Subscription(form.Form, [this] { SyncWindow(); });
  SyncWindow();
}

void BusyView::SyncWindow() {
  if (form_.Form.Visible() && !isVisible()) {
    if (main_window_) move(main_window_->geometry().center() - QPoint(width() / 2, height() / 2));
    show();
    raise();
  } else if (!form_.Form.Visible() && isVisible()) {
    hide();
    QTimer::singleShot(0, this, [this] { Replay(); });
  }
}

bool BusyView::eventFilter(QObject* watched, QEvent* event) {
  if (!isVisible() || !watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != main_window_)
    return false;
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      kept_keys_.push_back(std::make_unique<QKeyEvent>(key->type(), key->key(), key->modifiers(), key->nativeScanCode(),
                                                       key->nativeVirtualKey(), key->nativeModifiers(), key->text(),
                                                       key->isAutoRepeat(), key->count()));
      return true;
    }
    case QEvent::ShortcutOverride:
      event->accept();  // no shortcut either
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
      event->ignore();
      return true;
    default:
      return false;
  }
}

void BusyView::Replay() {
  if (isVisible() || kept_keys_.empty()) return;
  const std::unique_ptr<QKeyEvent> key = std::move(kept_keys_.front());
  kept_keys_.pop_front();
  // The next one is due before this one runs: a key that opens a dialog runs
  // the dialog's own loop, and the keys after it belong to the dialog.
  if (!kept_keys_.empty()) QTimer::singleShot(0, this, [this] { Replay(); });
  QWidget* target = QApplication::focusWidget();
  QApplication::sendEvent(target ? target : main_window_, key.get());
}

void BusyView::paintEvent(QPaintEvent*) {
  // The background picture, stretched over the whole window.
  QPainter p(this);
  QLinearGradient g(0, 0, width(), height());
  g.setColorAt(0, skin::kBackgroundTop.lighter(130));
  g.setColorAt(1, skin::kBackgroundBottom);
  p.fillRect(rect(), g);
  p.setPen(QPen(skin::kAccent, 2));
  p.drawRect(rect().adjusted(1, 1, -1, -1));
}

}  // namespace app
