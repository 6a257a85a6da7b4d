// The busy window shown while chosen files are added: borderless, 273 x 45,
// centred on the main window, its label white bold Arial on a stretched picture.
#pragma once

#include <QLabel>
#include <QWidget>

#include "app/bindings.h"

class TFrmInitFileForm;

namespace app {

class BusyView : public QWidget {
 public:
  BusyView(TFrmInitFileForm& form, QWidget* main_window);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  void SyncWindow();
  TFrmInitFileForm& form_;
  QWidget* main_window_;
  Subscription subscription_;
};

}  // namespace app
