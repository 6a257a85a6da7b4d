#include "app/busy_view.h"

#include <QLinearGradient>
#include <QPainter>

#include "app/skin.h"
#include "sources/init_file_form.h"

namespace app {

BusyView::BusyView(TFrmInitFileForm& form, QWidget* main_window)
    : QWidget(main_window, Qt::Tool | Qt::FramelessWindowHint), form_(form), main_window_(main_window) {
  setObjectName("FrmInitFileForm");
  setFixedSize(TFrmInitFileForm::kWidth, TFrmInitFileForm::kHeight);
  // Shown modally: the main window takes no input while files are added.
  setWindowModality(Qt::ApplicationModal);
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
  }
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
