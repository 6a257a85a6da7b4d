// The Options dialog: bound to TfrmOption. Modeless; OK and Cancel are its
// default and cancel buttons, the close box only hides it.
#pragma once

#include <QComboBox>
#include <QDialog>

#include "app/bindings.h"
#include "ui/combo_box.h"

class Program;
class TfrmOption;

namespace app {

// An editable drop-down box showing a ComboBox: the user's pick and typing reach
// the model as such; changes made by code are only shown.
class ComboBoxView : public QComboBox {
 public:
  ComboBoxView(ui::ComboBox& model, Guard guard, QWidget* parent);

 private:
  void Sync();
  ui::ComboBox& model_;
  Guard guard_;
  Subscription subscription_;
};

class OptionView : public QDialog {
 public:
  OptionView(Program& program, TfrmOption& form);

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SyncWindow();
  Program& program_;
  TfrmOption& form_;
  Guard guard_;
  Subscription subscription_;
  bool centred_ = false;
};

}  // namespace app
