// Small component models: the state the logic reads and writes, and the
// user-side calls the views turn user actions into.
#pragma once

#include <functional>
#include <string>

#include "ui/model.h"

namespace ui {

class EventLoop;

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
  explicit EditBox(std::string text = {}, bool read_only = false) : text_(std::move(text)), read_only_(read_only) {}
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
  explicit Timer(int interval_ms = 1000, bool enabled = true) : interval_(interval_ms), enabled_(enabled) {}
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

  // Shows the window modally: returns when it has been hidden again. Pending
  // events keep being handled meanwhile, in slices of the given length.
  void ShowModal(EventLoop& loop, int slice_ms = 10);
  bool Modal() const { return modal_; }

  // Minimized to the task bar, or shown normally.
  bool Minimized() const { return minimized_; }
  void Minimize();
  void Restore();

 private:
  std::string caption_;
  bool visible_ = false;
  bool enabled_ = true;
  bool modal_ = false;
  bool minimized_ = false;
};

// A push button: its hint, whether it is shown and usable, and its click handler.
class Button : public Model {
 public:
  explicit Button(std::string caption = {}, std::string hint = {}, bool visible = true)
      : caption_(std::move(caption)), hint_(std::move(hint)), visible_(visible) {}
  std::function<void()> OnClick;
  // Whether the hint is shown when the mouse rests on the button.
  bool ShowHint = true;
  const std::string& Caption() const { return caption_; }
  const std::string& Hint() const { return hint_; }
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  void SetVisible(bool visible);
  void SetEnabled(bool enabled);
  // A click by the user or by code (a shortcut): runs OnClick. A hidden button
  // still clicks from code, as the hidden folder button does through its key.
  void Click() {
    if (OnClick) OnClick();
  }

 private:
  std::string caption_;
  std::string hint_;
  bool visible_;
  bool enabled_ = true;
};

// Modifier keys and mouse buttons held during a key press or a mouse click.
struct ShiftState {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool left = false;
  bool right = false;
  bool middle = false;
  bool double_click = false;

  // Exactly Ctrl: no Shift, no Alt, no mouse button.
  bool OnlyCtrl() const { return ctrl && !shift && !alt && !left && !right && !middle; }
};

}  // namespace ui
