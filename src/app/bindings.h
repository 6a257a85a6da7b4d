// Small pieces that tie Qt widgets to the component models: a subscription that
// ends with its owner, and widgets that show a model and pass user actions on.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <functional>

#include "ui/list_box.h"
#include "ui/models.h"

class Program;

namespace app {

// Runs a view's callback on every change of a model while the subscription lives.
class Subscription {
 public:
  Subscription() = default;
  Subscription(ui::Model& model, std::function<void()> observer)
      : model_(&model), id_(model.Subscribe(std::move(observer))) {}
  ~Subscription() { Reset(); }
  Subscription(Subscription&& other) noexcept : model_(other.model_), id_(other.id_) { other.model_ = nullptr; }
  Subscription& operator=(Subscription&& other) noexcept {
    Reset();
    model_ = other.model_;
    id_ = other.id_;
    other.model_ = nullptr;
    return *this;
  }
  void Reset() {
    if (model_) model_->Unsubscribe(id_);
    model_ = nullptr;
  }

 private:
  ui::Model* model_ = nullptr;
  int id_ = 0;
};

// Every user action reaches the logic through this, under the general error report.
using Guard = std::function<void(const std::function<void()>&)>;
Guard MakeGuard(Program& program);

// Makes a combo box show these items (untouched when it already does) and this
// selection; the caller blocks the box's signals.
void SyncComboItems(QComboBox& box, const std::vector<std::string>& items, int selected);

// A pick-only drop-down list showing a ListBox; the user's pick runs its OnChange.
class ListBoxCombo : public QComboBox {
 public:
  ListBoxCombo(ui::ListBox& model, Guard guard, QWidget* parent);

 private:
  void Sync();
  ui::ListBox& model_;
  Guard guard_;
  Subscription subscription_;
};

// A check box drawn as its box alone; its caption is a separate label.
class CheckBoxView : public QCheckBox {
 public:
  CheckBoxView(ui::CheckBox& model, Guard guard, QWidget* parent);

 private:
  ui::CheckBox& model_;
  Guard guard_;
  Subscription subscription_;
};

class LabelView : public QLabel {
 public:
  LabelView(ui::Label& model, QWidget* parent);

 private:
  Subscription subscription_;
};

class EditBoxView : public QLineEdit {
 public:
  EditBoxView(ui::EditBox& model, Guard guard, QWidget* parent);

 private:
  Subscription subscription_;
};

class ProgressBarView : public QProgressBar {
 public:
  ProgressBarView(ui::ProgressBar& model, QWidget* parent);

 private:
  Subscription subscription_;
};

// Names a control after the label that stands beside it (its text without the
// colon), for screen readers, and makes the label its buddy.
void NameAfter(QWidget* control, QLabel* label);

// A label that reads as a link: underlined, hand cursor, runs a handler on click,
// or on Space or Enter once Tab has brought the focus to it.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, const QColor& color, std::function<void()> on_click, QWidget* parent);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void()> on_click_;
};

}  // namespace app
