// The program's pictures, drawn in code: the window background, the bitmap
// buttons in their up, down and mouse-over states, the logo, the trim markers.
#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QRegion>
#include <QSize>

#include "ui/models.h"

namespace app::skin {

// Colours of the skin.
inline const QColor kBackgroundTop(38, 50, 72);
inline const QColor kBackgroundBottom(22, 30, 46);
inline const QColor kTitleStrip(14, 20, 32);
inline const QColor kAccent(255, 153, 51);
inline const QColor kPanel(30, 40, 58);
inline const QColor kText(235, 240, 248);

// The skin's palette, font and style for every window of the program, the
// dialogs, message boxes and folder and file dialogs included; set once, before
// the first window is made. The file dialogs stay the desktop's own where it
// has them: only Qt's own dialogs take the skin.
void ApplyToApplication();
QPalette DialogPalette();
QFont DialogFont();
// The bold Arial of the titles and the clock, at a pixel size.
QFont ArialBold(int pixel_size);

enum class Glyph {
  None,
  Minimize,
  Close,
  Home,
  Email,
  Help,
  About,
  Play,
  Pause,
  Stop,
  Options,
  Folder,
  Open,
  Remove,
  Clear,
  Convert
};
enum class State { Up, Hover, Down, Disabled };

// The face of a bitmap button in one state, drawn for a device pixel ratio
// (2 on a screen at twice the scale) so it stays sharp; the corners outside
// the rounded face are transparent.
QPixmap ButtonPicture(Glyph glyph, const QString& text, QSize size, State state, qreal ratio = 1.0);
// The window background: gradient, title strip, panels framing the areas.
void PaintBackground(QPainter& painter, const QRect& rect, int title_height);
// The rounded outline of the window: everything outside it is cut out.
QRegion WindowShape(const QSize& size);
// The program's icon, drawn in code at the usual icon sizes.
QIcon BuiltInIcon();
// The logo that covers the video window while nothing plays.
QPixmap Logo(QSize size, qreal ratio = 1.0);
// The trim markers: start (`imgL`) and end (`imgR`), 17 x 19.
QPixmap MarkerPicture(bool start, qreal ratio = 1.0);

// A bitmap button bound to a Button model: hint, visibility, enabled state and
// the click handler come from the model. Its accessible name says what it does
// and its description is the hint; Tab reaches it (a click does not take the
// focus from the list), and Space or Enter presses it.
class SkinButton : public QAbstractButton {
  Q_OBJECT  // for qobject_cast and findChild<SkinButton*>

      public : SkinButton(ui::Button& model, Glyph glyph, const QString& text, const QString& name, QWidget* parent);
  ~SkinButton() override;
  ui::Button& model() { return model_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

 private:
  void Sync();
  ui::Button& model_;
  Glyph glyph_;
  QString text_;
  bool hover_ = false;
  int subscription_;
};

}  // namespace app::skin
