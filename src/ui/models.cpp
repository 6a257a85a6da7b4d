#include "ui/models.h"

#include <algorithm>

#include "ui/event_loop.h"

namespace ui {

void Label::SetCaption(const std::string& caption) {
  caption_ = caption;
  Changed();
}

void CheckBox::SetChecked(bool checked) {
  checked_ = checked;
  Changed();
}

void CheckBox::UserToggle() {
  SetChecked(!checked_);
  if (OnClick) OnClick();
}

void EditBox::SetText(const std::string& text) {
  text_ = text;
  Changed();
}

void EditBox::UserType(const std::string& text) {
  if (read_only_) return;
  SetText(text);
  if (OnChange) OnChange();
}

void ProgressBar::Clamp() {
  position_ = std::clamp(position_, min_, std::max(min_, max_));
}

void ProgressBar::SetMin(int value) {
  min_ = value;
  if (max_ < min_) max_ = min_;
  Clamp();
  Changed();
}

void ProgressBar::SetMax(int value) {
  max_ = std::max(value, min_);
  Clamp();
  Changed();
}

void ProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  Clamp();
  Changed();
}

void ProgressBar::SetPosition(int value) {
  position_ = value;
  Clamp();
  Changed();
}

void StatusBar::SetPanelText(const std::string& text) {
  text_ = text;
  Changed();
}

void Timer::SetInterval(int ms) {
  if (ms != interval_) ++restarts_;
  interval_ = ms;
  Changed();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled && !enabled_) ++restarts_;
  enabled_ = enabled;
  Changed();
}

void Window::SetCaption(const std::string& caption) {
  caption_ = caption;
  Changed();
}

void Window::Show() {
  if (visible_) return;
  visible_ = true;
  Changed();
  if (OnShow) OnShow();
}

void Window::Hide() {
  if (!visible_) return;
  visible_ = false;
  Changed();
}

void Window::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed();
}

void Window::ShowModal(EventLoop& loop, int slice_ms) {
  modal_ = true;
  if (visible_) Changed();
  Show();
  while (visible_) loop.Wait(slice_ms);
  modal_ = false;
  Changed();
}

void Window::Minimize() {
  minimized_ = true;
  Changed();
}

void Window::Restore() {
  minimized_ = false;
  Changed();
}

void Button::SetVisible(bool visible) {
  visible_ = visible;
  Changed();
}

void Button::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed();
}

}  // namespace ui
