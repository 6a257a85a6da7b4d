// The splash window.
#pragma once

#include <QImage>
#include <QWidget>

#include "app/bindings.h"

class TFrmFlashForm;

namespace app {

// The splash: the picture alone in a borderless window, centred on the desktop.
class SplashView : public QWidget {
 public:
  explicit SplashView(TFrmFlashForm& splash);
  ~SplashView() override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  TFrmFlashForm& splash_;
  QImage picture_;
  Subscription subscription_;
};

}  // namespace app
