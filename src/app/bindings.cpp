#include "app/bindings.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "app/qt_services.h"
#include "shell/program.h"

namespace app {

Guard MakeGuard(Program& program) {
  return [&program](const std::function<void()>& handler) { program.Guarded(handler); };
}

ListBoxCombo::ListBoxCombo(ui::ListBox& model, Guard guard, QWidget* parent)
    : QComboBox(parent), model_(model), guard_(std::move(guard)) {
  setEditable(false);
  // activated: only the user's pick, never a selection made from code.
  connect(this, &QComboBox::activated, this, [this](int index) { guard_([&] { model_.UserSelect(index); }); });
  subscription_ = Subscription(model_, [this] { Sync(); });
  Sync();
}

void SyncComboItems(QComboBox& box, const std::vector<std::string>& items, int selected) {
  QStringList wanted;
  for (const auto& item : items) wanted << Q(item);
  QStringList shown;
  for (int i = 0; i < box.count(); ++i) shown << box.itemText(i);
  if (shown != wanted) {
    box.clear();
    box.addItems(wanted);
  }
  box.setCurrentIndex(selected);
}

void ListBoxCombo::Sync() {
  QSignalBlocker block(this);
  SyncComboItems(*this, model_.Items(), model_.ItemIndex());
}

CheckBoxView::CheckBoxView(ui::CheckBox& model, Guard guard, QWidget* parent)
    : QCheckBox(parent), model_(model), guard_(std::move(guard)) {
  setChecked(model_.Checked());
  connect(this, &QCheckBox::clicked, this, [this](bool checked) {
    if (checked != model_.Checked()) guard_([&] { model_.UserToggle(); });
  });
  subscription_ = Subscription(model_, [this] {
    QSignalBlocker block(this);
    setChecked(model_.Checked());
  });
}

LabelView::LabelView(ui::Label& model, QWidget* parent) : QLabel(Q(model.Caption()), parent) {
  subscription_ = Subscription(model, [this, &model] { setText(Q(model.Caption())); });
}

EditBoxView::EditBoxView(ui::EditBox& model, Guard guard, QWidget* parent) : QLineEdit(Q(model.Text()), parent) {
  setReadOnly(model.ReadOnly());
  connect(this, &QLineEdit::textEdited, this,
          [&model, guard](const QString& text) { guard([&] { model.UserType(S(text)); }); });
  subscription_ = Subscription(model, [this, &model] {
    if (text() != Q(model.Text())) setText(Q(model.Text()));
  });
}

ProgressBarView::ProgressBarView(ui::ProgressBar& model, QWidget* parent) : QProgressBar(parent) {
  auto sync = [this, &model] {
    setRange(model.Min(), model.Max());
    setValue(model.Position());
  };
  setTextVisible(false);
  subscription_ = Subscription(model, sync);
  sync();
}

void NameAfter(QWidget* control, QLabel* label) {
  QString name = label->text().trimmed();
  if (name.endsWith(':')) name.chop(1);
  control->setAccessibleName(name);
  // An editable box's own line is a control of its own to a screen reader.
  if (auto* box = qobject_cast<QComboBox*>(control); box && box->lineEdit()) box->lineEdit()->setAccessibleName(name);
  label->setBuddy(control);
}

LinkLabel::LinkLabel(const QString& text, const QColor& color, std::function<void()> on_click, QWidget* parent)
    : QLabel(text, parent), on_click_(std::move(on_click)) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, color);
  setPalette(pal);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && on_click_) on_click_();
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
      on_click_) {
    on_click_();
    return;
  }
  QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter p(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = contentsRect().intersected(QRect(QPoint(0, 0), sizeHint()));
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
}

}  // namespace app
