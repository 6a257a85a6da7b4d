#include "app/skin.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleFactory>

namespace app::skin {

QPalette DialogPalette() {
  const QColor field(18, 24, 37);
  const QColor button(48, 62, 88);
  const QColor muted(150, 160, 176);
  QPalette p;
  p.setColor(QPalette::Window, kPanel);
  p.setColor(QPalette::WindowText, kText);
  p.setColor(QPalette::Base, field);
  p.setColor(QPalette::AlternateBase, kBackgroundTop);
  p.setColor(QPalette::Text, kText);
  p.setColor(QPalette::PlaceholderText, muted);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, kText);
  p.setColor(QPalette::BrightText, kAccent);
  p.setColor(QPalette::Highlight, kAccent);
  p.setColor(QPalette::HighlightedText, kTitleStrip);
  p.setColor(QPalette::Link, kAccent);
  p.setColor(QPalette::LinkVisited, kAccent.darker(120));
  p.setColor(QPalette::ToolTipBase, kTitleStrip);
  p.setColor(QPalette::ToolTipText, kText);
  p.setColor(QPalette::Light, button.lighter(150));
  p.setColor(QPalette::Midlight, button.lighter(120));
  p.setColor(QPalette::Mid, button.darker(120));
  p.setColor(QPalette::Dark, kBackgroundBottom);
  p.setColor(QPalette::Shadow, Qt::black);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, muted.darker(130));
  p.setColor(QPalette::Disabled, QPalette::Button, kPanel);
  p.setColor(QPalette::Disabled, QPalette::Base, kPanel);
  return p;
}

QFont ArialBold(int pixel_size) {
  QFont f("Arial");
  f.setBold(true);
  f.setPixelSize(pixel_size);
  return f;
}

QFont DialogFont() {
  // The main window's face and size.
  QFont f("Arial");
  f.setPointSize(9);
  return f;
}

void ApplyToApplication() {
  // Fusion draws with the palette it is given; a desktop style may ignore it.
  if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
  QApplication::setPalette(DialogPalette());
  QApplication::setFont(DialogFont());
}

namespace {

// A circle with a bold character in it (help, about).
void DrawLetterGlyph(QPainter& p, const QRectF& r, const QString& letter, double size) {
  QFont f("Arial");
  f.setBold(true);
  f.setPixelSize(static_cast<int>(r.height() * size));
  p.setFont(f);
  p.drawEllipse(r.adjusted(r.width() * 0.15, r.height() * 0.15, -r.width() * 0.15, -r.height() * 0.15));
  p.drawText(r, Qt::AlignCenter, letter);
}

// The glyphs drawn filled in the ink: the player's buttons and the options knobs.
bool DrawFilledGlyph(QPainter& p, Glyph glyph, const QRectF& r, const QColor& ink) {
  const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
  auto pt = [&](double fx, double fy) { return QPointF(x + fx * w, y + fy * h); };
  switch (glyph) {
    case Glyph::Play:
      p.setBrush(ink);
      p.drawPolygon(QPolygonF{pt(0.32, 0.22), pt(0.32, 0.78), pt(0.78, 0.5)});
      return true;
    case Glyph::Pause:
      p.setBrush(ink);
      p.drawRect(QRectF(pt(0.28, 0.24), pt(0.42, 0.76)));
      p.drawRect(QRectF(pt(0.58, 0.24), pt(0.72, 0.76)));
      return true;
    case Glyph::Stop:
      p.setBrush(ink);
      p.drawRect(QRectF(pt(0.28, 0.28), pt(0.72, 0.72)));
      return true;
    case Glyph::Options:
      for (double fy : {0.3, 0.5, 0.7}) p.drawLine(pt(0.2, fy), pt(0.8, fy));
      p.setBrush(ink);
      p.drawEllipse(pt(0.35, 0.3), w * 0.07, h * 0.07);
      p.drawEllipse(pt(0.65, 0.5), w * 0.07, h * 0.07);
      p.drawEllipse(pt(0.45, 0.7), w * 0.07, h * 0.07);
      return true;
    default:
      return false;
  }
}

// The glyphs drawn in lines only.
void DrawLineGlyph(QPainter& p, Glyph glyph, const QRectF& r) {
  const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
  auto pt = [&](double fx, double fy) { return QPointF(x + fx * w, y + fy * h); };
  switch (glyph) {
    case Glyph::Minimize:
      p.drawLine(pt(0.2, 0.75), pt(0.8, 0.75));
      break;
    case Glyph::Close:
      p.drawLine(pt(0.25, 0.25), pt(0.75, 0.75));
      p.drawLine(pt(0.75, 0.25), pt(0.25, 0.75));
      break;
    case Glyph::Home:
      p.drawPolyline(QPolygonF{pt(0.15, 0.5), pt(0.5, 0.18), pt(0.85, 0.5)});
      p.drawRect(QRectF(pt(0.27, 0.48), pt(0.73, 0.85)));
      p.drawRect(QRectF(pt(0.44, 0.62), pt(0.56, 0.85)));
      break;
    case Glyph::Email:
      p.drawRect(QRectF(pt(0.15, 0.28), pt(0.85, 0.75)));
      p.drawPolyline(QPolygonF{pt(0.15, 0.28), pt(0.5, 0.55), pt(0.85, 0.28)});
      break;
    case Glyph::Help:
      DrawLetterGlyph(p, r, "?", 0.6);
      break;
    case Glyph::About:
      DrawLetterGlyph(p, r, "i", 0.5);
      break;
    case Glyph::Folder:
    case Glyph::Open:
      p.drawPolygon(
          QPolygonF{pt(0.12, 0.3), pt(0.4, 0.3), pt(0.48, 0.4), pt(0.88, 0.4), pt(0.88, 0.78), pt(0.12, 0.78)});
      if (glyph == Glyph::Open) {
        p.drawLine(pt(0.5, 0.48), pt(0.5, 0.72));
        p.drawLine(pt(0.38, 0.6), pt(0.62, 0.6));
      }
      break;
    case Glyph::Remove:
      p.drawLine(pt(0.25, 0.5), pt(0.75, 0.5));
      break;
    case Glyph::Clear:
      p.drawRect(QRectF(pt(0.3, 0.32), pt(0.7, 0.82)));
      p.drawLine(pt(0.22, 0.32), pt(0.78, 0.32));
      p.drawLine(pt(0.42, 0.2), pt(0.58, 0.2));
      break;
    case Glyph::Convert:
      p.drawLine(pt(0.15, 0.5), pt(0.8, 0.5));
      p.drawPolyline(QPolygonF{pt(0.58, 0.28), pt(0.82, 0.5), pt(0.58, 0.72)});
      break;
    default:
      break;
  }
}

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& r, const QColor& ink) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(ink, std::max(1.5, r.width() / 12.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  if (!DrawFilledGlyph(p, glyph, r, ink)) DrawLineGlyph(p, glyph, r);
  p.restore();
}

}  // namespace

QPixmap ButtonPicture(Glyph glyph, const QString& text, QSize size, State state, qreal ratio) {
  // Drawn in code at the screen's own pixels, on nothing: the corners stay
  // transparent at any scale, with no transparent colour bleeding into the rim.
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top(62, 80, 112), bottom(36, 48, 70), ink = kText;
  if (state == State::Hover) {
    top = QColor(82, 104, 142);
    bottom = QColor(50, 66, 96);
  } else if (state == State::Down) {
    top = QColor(28, 38, 56);
    bottom = QColor(50, 66, 96);
    ink = kAccent;
  } else if (state == State::Disabled) {
    top = QColor(52, 58, 68);
    bottom = QColor(40, 44, 52);
    ink = QColor(120, 126, 136);
  }
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  const QRectF face = QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
  p.setPen(QPen(state == State::Hover ? kAccent : QColor(12, 16, 26), 1));
  p.setBrush(g);
  const double radius = std::min(size.width(), size.height()) / 5.0;
  p.drawRoundedRect(face, radius, radius);
  if (text.isEmpty()) {
    const double side = std::min(size.width(), size.height()) * 0.7;
    DrawGlyph(p, glyph, QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side), ink);
  } else {
    const double side = size.height() * 0.6;
    DrawGlyph(p, glyph, QRectF(8, (size.height() - side) / 2, side, side), ink);
    QFont f("Arial");
    f.setBold(true);
    f.setPixelSize(std::max(10, size.height() / 3));
    p.setFont(f);
    p.setPen(ink);
    p.drawText(QRectF(side + 10, 0, size.width() - side - 14, size.height()), Qt::AlignVCenter | Qt::AlignHCenter,
               text);
  }
  p.end();
  return pixmap;
}

void PaintBackground(QPainter& p, const QRect& rect, int title_height) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(rect.topLeft(), rect.bottomLeft());
  g.setColorAt(0, kBackgroundTop);
  g.setColorAt(1, kBackgroundBottom);
  p.fillRect(rect, g);
  QLinearGradient strip(0, 0, 0, title_height);
  strip.setColorAt(0, kTitleStrip.lighter(130));
  strip.setColorAt(1, kTitleStrip);
  p.fillRect(QRect(rect.left(), rect.top(), rect.width(), title_height), strip);
  p.setPen(QPen(kAccent, 2));
  p.drawLine(rect.left(), rect.top() + title_height, rect.right(), rect.top() + title_height);
  p.restore();
}

QRegion WindowShape(const QSize& size) {
  QPainterPath path;
  path.addRoundedRect(QRectF(0, 0, size.width(), size.height()), 12, 12);
  return QRegion(path.toFillPolygon().toPolygon());
}

namespace {

// The program's mark: a film frame with a play sign on an orange tile.
void DrawTile(QPainter& p, const QRectF& t) {
  const double tile = t.width();
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  p.drawRoundedRect(t, tile / 5.0, tile / 5.0);
  const QRectF film = t.adjusted(tile * 0.12, tile * 0.2, -tile * 0.12, -tile * 0.2);
  p.setBrush(QColor(20, 34, 64));
  p.drawRoundedRect(film, tile / 40.0 + 1, tile / 40.0 + 1);
  p.setBrush(QColor(245, 248, 252));
  p.drawPolygon(QPolygonF{QPointF(film.center().x() - tile * 0.1, film.center().y() - tile * 0.14),
                          QPointF(film.center().x() - tile * 0.1, film.center().y() + tile * 0.14),
                          QPointF(film.center().x() + tile * 0.15, film.center().y())});
  p.restore();
}

}  // namespace

QIcon BuiltInIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawTile(p, QRectF(0, 0, side, side));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap Logo(QSize size, qreal ratio) {
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::black);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, QColor(16, 28, 56));
  g.setColorAt(1, QColor(26, 96, 122));
  p.fillRect(QRect(QPoint(0, 0), size), g);
  const int tile = std::min(size.width(), size.height()) * 11 / 20;
  const QRectF t((size.width() - tile) / 2.0, size.height() * 0.12, tile, tile);
  DrawTile(p, t);
  // The name fits the picture whole: on one line where there is room, else
  // wrapped, the letters made smaller until it fits.
  const QString name = "Video To Plim Converter";
  const QRect room(2, static_cast<int>(t.bottom()) + 2, size.width() - 4,
                   size.height() - static_cast<int>(t.bottom()) - 3);
  QFont f("Arial");
  f.setBold(true);
  int pixels = std::max(9, size.height() / 10);
  int flags = Qt::AlignHCenter | Qt::AlignTop;
  for (;; --pixels) {
    f.setPixelSize(pixels);
    const QFontMetrics metrics(f);
    if (metrics.horizontalAdvance(name) <= room.width()) break;
    const QRect wrapped = metrics.boundingRect(room, flags | Qt::TextWordWrap, name);
    if ((wrapped.width() <= room.width() && wrapped.height() <= room.height()) || pixels <= 6) {
      flags |= Qt::TextWordWrap;
      break;
    }
  }
  p.setFont(f);
  p.setPen(QColor(245, 248, 252));
  p.drawText(room, flags, name);
  return pixmap;
}

QPixmap MarkerPicture(bool start, qreal ratio) {
  // Black pixels of the picture take the marker's background colour.
  QImage image(QSize(17, 19) * ratio, QImage::Format_ARGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  if (start)
    p.drawPolygon(QPolygonF{QPointF(2, 1), QPointF(15, 1), QPointF(15, 11), QPointF(8.5, 18), QPointF(2, 11)});
  else
    p.drawPolygon(QPolygonF{QPointF(2, 18), QPointF(15, 18), QPointF(15, 8), QPointF(8.5, 1), QPointF(2, 8)});
  p.setBrush(QColor(20, 30, 46));
  p.drawRect(QRectF(7.5, 4, 2, 11));
  p.end();
  return QPixmap::fromImage(image);
}

SkinButton::SkinButton(ui::Button& model, Glyph glyph, const QString& text, const QString& name, QWidget* parent)
    : QAbstractButton(parent), model_(model), glyph_(glyph), text_(text) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setAccessibleName(name);
  subscription_ = model_.Subscribe([this] { Sync(); });
  Sync();
}

SkinButton::~SkinButton() {
  model_.Unsubscribe(subscription_);
}

void SkinButton::Sync() {
  setVisible(model_.Visible());
  setEnabled(model_.Enabled());
  setToolTip(model_.ShowHint ? QString::fromStdString(model_.Hint()) : QString());
  setAccessibleDescription(QString::fromStdString(model_.Hint()));
}

void SkinButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  State state = State::Up;
  if (!isEnabled())
    state = State::Disabled;
  else if (isDown())
    state = State::Down;
  else if (hover_)
    state = State::Hover;
  p.drawPixmap(0, 0, ButtonPicture(glyph_, text_, size(), state, devicePixelRatioF()));
  if (hasFocus()) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kAccent, 1.5, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    const double radius = std::min(width(), height()) / 6.0;
    p.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), radius, radius);
  }
}

void SkinButton::keyPressEvent(QKeyEvent* event) {
  // Space is the button's own key; Enter presses it too, as on a dialog's buttons.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
      !event->isAutoRepeat()) {
    animateClick();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void SkinButton::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void SkinButton::leaveEvent(QEvent*) {
  hover_ = false;
  update();
}

}  // namespace app::skin
