#include "app/time_editor.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <algorithm>

#include "app/qt_services.h"
#include "shell/common_lib.h"

namespace app {

namespace {

// The longest hours section the editor steps to; far beyond any video.
constexpr int64_t kMostHours = 99999;

bool IsDigit(QChar c) {
  return c >= '0' && c <= '9';
}

}  // namespace

TimeEditor::TimeEditor(QWidget* parent) : QLineEdit(parent) {
  // Text comes in by keys and by paste only, each checked here.
  setContextMenuPolicy(Qt::NoContextMenu);
  setAcceptDrops(false);
  setDragEnabled(false);
}

int TimeEditor::FirstColon() const {
  const int colon = static_cast<int>(text().indexOf(':'));
  return colon < 0 ? 2 : colon;
}

void TimeEditor::Change(const QString& wanted, int cursor) {
  int64_t seconds = 0;
  if (!TCommonLib::ReadTimeText(S(wanted), seconds)) return;
  // Hours lose leading zeros beyond two digits, as the grid writes them.
  const QString normal = Q(TCommonLib::FormatSeconds(seconds));
  cursor = std::clamp(cursor - static_cast<int>(wanted.size() - normal.size()), 0, static_cast<int>(normal.size()));
  const bool changed = normal != text();
  setText(normal);
  setCursorPosition(cursor);
  if (changed && OnTimeChanged) OnTimeChanged(normal);
}

void TimeEditor::TypeDigit(int digit) {
  QString t = text();
  int at = hasSelectedText() ? selectionStart() : cursorPosition();
  if (at < t.size() && t[at] == ':') ++at;
  if (at >= t.size()) {
    setCursorPosition(static_cast<int>(t.size()));
    return;
  }
  const int colon = FirstColon();
  const bool tens_of_sixty = at == colon + 1 || at == colon + 4;
  int next = at + 1;
  typed_at_ = at;
  if (tens_of_sixty && digit > 5) {
    // No minute or second has a tens digit above 5: the digit is the whole section.
    t[at] = '0';
    t[at + 1] = QChar('0' + digit);
    next = at + 2;
  } else {
    t[at] = QChar('0' + digit);
  }
  // The cursor skips the colon, so the next digit goes into the next section.
  if (next < t.size() && t[next] == ':') ++next;
  Change(t, next);
}

void TimeEditor::Step(int delta) {
  const QString t = text();
  const int colon = FirstColon();
  const int at = cursorPosition();
  const int64_t h = t.left(colon).toLongLong(), m = t.mid(colon + 1, 2).toInt(), s = t.mid(colon + 4, 2).toInt();
  int64_t hours = h, minutes = m, secs = s;
  if (at <= colon)
    hours = std::clamp<int64_t>(h + delta, 0, kMostHours);
  else if (at <= colon + 3)
    minutes = std::clamp<int64_t>(m + delta, 0, 59);
  else
    secs = std::clamp<int64_t>(s + delta, 0, 59);
  const QString wanted =
      QString("%1:%2:%3").arg(hours, 2, 10, QChar('0')).arg(minutes, 2, 10, QChar('0')).arg(secs, 2, 10, QChar('0'));
  // The cursor stays in its section when the hours grow or shrink a digit.
  Change(wanted, at + static_cast<int>(wanted.size() - t.size()));
}

void TimeEditor::ZeroDigits(int from, int to, int cursor) {
  QString t = text();
  for (int i = std::max(0, from); i < std::min(to, static_cast<int>(t.size())); ++i)
    if (IsDigit(t[i])) t[i] = '0';
  Change(t, cursor);
}

void TimeEditor::NextSection() {
  const int colon = FirstColon();
  const int at = cursorPosition();
  const bool hours = at <= colon;
  const int section = hours ? 0 : at <= colon + 3 ? colon + 1 : colon + 4;
  const bool one_digit = typed_at_ == section && at == section + 1;
  typed_at_ = -1;
  if (one_digit) {
    // "1:" means one hour, as "01:" does.
    QString t = text();
    const int width = hours ? colon : 2;
    t.replace(section, width, QString(width - 1, '0') + t[section]);
    Change(t, at);
  }
  const int first = FirstColon();
  setCursorPosition(hours ? first + 1 : std::min(first + 4, static_cast<int>(text().size())));
}

void TimeEditor::Paste() {
  int64_t seconds = 0;
  const QString pasted = QApplication::clipboard()->text().trimmed();
  if (TCommonLib::ReadTimeText(S(pasted), seconds)) Change(pasted, 0);
}

void TimeEditor::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  if (key >= Qt::Key_0 && key <= Qt::Key_9 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
    TypeDigit(key - Qt::Key_0);
    return;
  }
  if (key == Qt::Key_Colon) {
    NextSection();
    return;
  }
  typed_at_ = -1;
  if ((key == Qt::Key_Up || key == Qt::Key_Down) && mods == Qt::NoModifier) {
    Step(key == Qt::Key_Up ? 1 : -1);
    return;
  }
  if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
    Step(key == Qt::Key_PageUp ? 10 : -10);
    return;
  }
  if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
    if (hasSelectedText()) {
      const int from = selectionStart();
      ZeroDigits(from, from + static_cast<int>(selectedText().size()), from);
    } else if (key == Qt::Key_Backspace) {
      int at = cursorPosition() - 1;
      if (at >= 0 && text()[at] == ':') --at;
      if (at >= 0) ZeroDigits(at, at + 1, at);
    } else {
      const int at = cursorPosition();
      ZeroDigits(at, at + 1, at);
    }
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    return;
  }
  if (event->matches(QKeySequence::Cut)) {
    copy();
    return;
  }
  // Moving, selecting and copying as in any line; other text is no part of a
  // time, and the line's own editing keys (undo, kill to the end) change nothing.
  if (!event->text().isEmpty() && event->text()[0].isPrint() && !(mods & Qt::ControlModifier)) return;
  const QString before = text();
  const int cursor = cursorPosition();
  QLineEdit::keyPressEvent(event);
  if (text() != before) {
    setText(before);
    setCursorPosition(cursor);
  }
}

void TimeEditor::inputMethodEvent(QInputMethodEvent* event) {
  event->ignore();
}

}  // namespace app
