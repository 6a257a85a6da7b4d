#include "app/splash_view.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "app/skin.h"
#include "shell/program.h"
#include "shell/startup.h"

namespace app {

SplashView::SplashView(TFrmFlashForm& splash)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), splash_(splash) {
  setObjectName("FrmFlashForm");
  if (!splash.ImgFlash.Empty()) {
    // The picture is copied: the decoded data goes with the splash.
    picture_ = QImage(splash.ImgFlash.Rgb.data(), splash.ImgFlash.Width, splash.ImgFlash.Height,
                      splash.ImgFlash.Width * 3, QImage::Format_RGB888)
                   .copy();
  }
  setFixedSize(splash.Width, splash.Height);
  auto sync = [this] {
    setWindowModality(splash_.Form.Modal() ? Qt::ApplicationModal : Qt::NonModal);
    if (splash_.Form.Visible() && !isVisible()) {
      if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
      show();
      raise();
    } else if (!splash_.Form.Visible() && isVisible()) {
      hide();
    }
  };
  subscription_ = Subscription(splash.Form, sync);
  sync();
}

SplashView::~SplashView() = default;

void SplashView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!picture_.isNull()) {
    p.drawImage(0, 0, picture_);
    return;
  }
  skin::PaintBackground(p, rect(), 0);
  p.setPen(skin::kText);
  p.setFont(skin::ArialBold(24));
  p.drawText(rect(), Qt::AlignCenter, kApplicationTitle);
}

}  // namespace app
