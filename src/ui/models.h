// Small component models: the state the logic reads and writes, and the
// user-side calls the views turn user actions into.
#pragma once

#include <functional>
#include <string>

#include "ui/model.h"

namespace ui {

class Label : public Model {
 public:
  explicit Label(std::string caption = {}) : caption_(std::move(caption)) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  std::string caption_;
};

class CheckBox : public Model {
 public:
  explicit CheckBox(bool checked = false) : checked_(checked) {}
  // Run when the user ticks or unticks the box.
  std::function<void()> OnClick;
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void UserToggle();

 private:
  bool checked_;
};

class EditBox : public Model {
 public:
  explicit EditBox(std::string text = {}, bool read_only = false)
      : text_(std::move(text)), read_only_(read_only) {}
  std::function<void()> OnChange;
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  // Typing by the user (ignored when the box is read-only).
  void UserType(const std::string& text);
  bool ReadOnly() const { return read_only_; }

 private:
  std::string text_;
  bool read_only_;
};

// A progress bar that keeps its position inside its range.
class ProgressBar : public Model {
 public:
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMin(int value);
  void SetMax(int value);
  void SetRange(int min, int max);
  void SetPosition(int value);

 private:
  void Clamp();
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

// A status bar with one text panel.
class StatusBar : public Model {
 public:
  const std::string& PanelText() const { return text_; }
  void SetPanelText(const std::string& text);

 private:
  std::string text_;
};

// A timer: the event loop it is attached to fires OnTimer every Interval while enabled.
class Timer : public Model {
 public:
  explicit Timer(int interval_ms = 1000, bool enabled = true)
      : interval_(interval_ms), enabled_(enabled) {}
  std::function<void()> OnTimer;
  int Interval() const { return interval_; }
  bool Enabled() const { return enabled_; }
  void SetInterval(int ms);
  void SetEnabled(bool enabled);
  void Fire() {
    if (OnTimer) OnTimer();
  }
  // Raised each time the period restarts (enabled again, or a new interval), so a
  // loop can tell a restart even when it saw no disabled state in between.
  unsigned Restarts() const { return restarts_; }

 private:
  int interval_;
  bool enabled_;
  unsigned restarts_ = 0;
};

// A window's own state: shown or hidden, enabled or not, its caption.
class Window : public Model {
 public:
  explicit Window(std::string caption = {}) : caption_(std::move(caption)) {}
  // Run each time the window becomes visible.
  std::function<void()> OnShow;
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  void Show();
  void Hide();
  void SetEnabled(bool enabled);

 private:
  std::string caption_;
  bool visible_ = false;
  bool enabled_ = true;
};

}  // namespace ui
