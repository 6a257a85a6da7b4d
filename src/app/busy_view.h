// The busy window shown while chosen files are added: borderless, 273 x 45,
// centred on the main window, its label white bold Arial on a stretched picture.
#pragma once

#include <QKeyEvent>
#include <QLabel>
#include <QWidget>
#include <deque>
#include <memory>

#include "app/bindings.h"

class TFrmInitFileForm;

namespace app {

class BusyView : public QWidget {
 public:
  BusyView(TFrmInitFileForm& form, QWidget* main_window);

 protected:
  void paintEvent(QPaintEvent*) override;
  // While it is shown the main window takes no input; its keys are kept.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SyncWindow();
  // Gives the kept keys, one per turn of the event loop, to whatever has the
  // focus then, as if they were typed now.
  void Replay();
  TFrmInitFileForm& form_;
  QWidget* main_window_;
  Subscription subscription_;
  std::deque<std::unique_ptr<QKeyEvent>> kept_keys_;
};

}  // namespace app
