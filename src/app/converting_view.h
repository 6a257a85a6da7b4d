// The progress window "Converting": bound to TfrmConverting. Not modal: the
// batch keeps running its wait loop while it is shown, and the main window is
// disabled meanwhile, so this window has no parent to share that with.
#pragma once

#include <QDialog>
#include <QStatusBar>
#include <memory>
#include <vector>

#include "app/bindings.h"
#include "ui/models.h"

class Program;
class TfrmConverting;

namespace app {

class ConvertingView : public QDialog {
 public:
  ConvertingView(Program& program, TfrmConverting& form, QWidget* main_window);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void SyncWindow();
  Program& program_;
  TfrmConverting& form_;
  QWidget* main_window_;
  Guard guard_;
  ui::Button btnStop{"Stop", "Stop the conversion"};
  // Its view goes before its model (children otherwise outlive the members).
  std::unique_ptr<QWidget> stop_view_;
  std::vector<Subscription> subscriptions_;
  QStatusBar* status_ = nullptr;
};

}  // namespace app
