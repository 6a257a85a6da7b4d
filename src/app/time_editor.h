// The time editor of the "Start Time" and "End Time" cells: a line with fixed
// hh:mm:ss sections that always holds a whole time. Digits overwrite the one
// under the cursor and move on, filling the sections in turn; the arrow keys
// step the section under the cursor; ":" moves on to the next section (after a
// single digit, that digit is the section's value); every change is a complete time.
#pragma once

#include <QLineEdit>
#include <functional>

namespace app {

class TimeEditor : public QLineEdit {
 public:
  explicit TimeEditor(QWidget* parent);

  // Run on each change the user makes, with the new whole time.
  std::function<void(const QString&)> OnTimeChanged;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  // Positions of the two colons; hours take every digit before the first.
  int FirstColon() const;
  void TypeDigit(int digit);
  void Step(int delta);
  // Sets digits to zero from `from` up to (not including) `to`.
  void ZeroDigits(int from, int to, int cursor);
  void Paste();
  // ":" after one digit typed at a section's start: that digit is the section.
  void NextSection();
  // Shows the text normalised, places the cursor and reports a change.
  void Change(const QString& text, int cursor);

  // Where the last digit was typed; -1 after any other key.
  int typed_at_ = -1;
};

}  // namespace app
