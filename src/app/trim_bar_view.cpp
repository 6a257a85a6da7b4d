#include "app/trim_bar_view.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include "app/skin.h"
#include "shell/main_form.h"

namespace app {

namespace {

const QColor kMarkerBackground(40, 52, 76);

// The marker pictures with their black pixels in the marker's background colour.
QPixmap OnBackground(const QPixmap& picture) {
  QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qRed(line[x]) == 0 && qGreen(line[x]) == 0 && qBlue(line[x]) == 0) line[x] = kMarkerBackground.rgb();
  }
  return QPixmap::fromImage(image);
}

sources::MouseButton ButtonOf(Qt::MouseButton button) {
  if (button == Qt::RightButton) return sources::MouseButton::Right;
  if (button == Qt::MiddleButton) return sources::MouseButton::Middle;
  return sources::MouseButton::Left;
}

}  // namespace

TrimBarView::TrimBarView(TFrmMainForm& form, Guard guard, QWidget* parent)
    : QWidget(parent), form_(form), guard_(std::move(guard)) {
  setObjectName("Panel1");
  setAccessibleName("Trim range");
  setFocusPolicy(Qt::ClickFocus);  // Esc ends a drag
  for (ui::Model* model :
       std::initializer_list<ui::Model*>{&form.Panel1, &form.Panel2, &form.Panel3, &form.Splitter1, &form.Splitter2})
    subscriptions_.emplace_back(*model, [this] {
      setFixedWidth(form_.Panel1.Width());
      update();
    });
  setFixedSize(form.Panel1.Width(), TFrmMainForm::kTrimBarHeight);
}

QRect TrimBarView::LeftFiller() const {
  return QRect(0, 0, form_.Panel2.Width(), height());
}

QRect TrimBarView::StartMarker() const {
  return QRect(form_.Panel2.Width(), 0, form_.Splitter1.Width(), height());
}

QRect TrimBarView::EndMarker() const {
  const int right = form_.Panel1.Width() - form_.Panel3.Width();
  return QRect(right - form_.Splitter2.Width(), 0, form_.Splitter2.Width(), height());
}

QRect TrimBarView::RightFiller() const {
  const int w = form_.Panel3.Width();
  return QRect(form_.Panel1.Width() - w, 0, w, height());
}

void TrimBarView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // Fillers: the parts left out; the track between the markers: what is kept.
  QLinearGradient off(0, 0, 0, height());
  off.setColorAt(0, QColor(30, 36, 48));
  off.setColorAt(1, QColor(18, 22, 30));
  QLinearGradient kept(0, 0, 0, height());
  kept.setColorAt(0, skin::kAccent.lighter(120));
  kept.setColorAt(1, skin::kAccent.darker(130));
  p.fillRect(rect(), off);
  p.fillRect(QRect(StartMarker().center().x(), 6, EndMarker().center().x() - StartMarker().center().x(), 7), kept);
  p.setPen(QColor(70, 90, 124));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  // Made for the screen the bar is on, so they stay sharp at any scale; the
  // pictures are copied over the markers' whole faces.
  const qreal ratio = devicePixelRatioF();
  if (start_picture_.isNull() || start_picture_.devicePixelRatio() != ratio) {
    start_picture_ = OnBackground(skin::MarkerPicture(true, ratio));
    end_picture_ = OnBackground(skin::MarkerPicture(false, ratio));
  }
  p.drawPixmap(StartMarker(), start_picture_);
  p.drawPixmap(EndMarker(), end_picture_);
}

void TrimBarView::FillerClick(QMouseEvent* event, bool double_click) {
  sources::ShiftState shift;
  shift.shift = event->modifiers() & Qt::ShiftModifier;
  shift.ctrl = event->modifiers() & Qt::ControlModifier;
  shift.alt = event->modifiers() & Qt::AltModifier;
  shift.double_click = double_click;
  const sources::MouseButton button = ButtonOf(event->button());
  const QPoint at = event->position().toPoint();
  if (LeftFiller().contains(at))
    guard_([&] { form_.Panel2MouseDown(button, shift); });
  else if (RightFiller().contains(at))
    guard_([&] { form_.Panel3MouseDown(button, shift); });
}

void TrimBarView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && StartMarker().contains(at)) {
    drag_ = Drag::Start;
    grab_offset_ = at.x() - StartMarker().left();
  } else if (event->button() == Qt::LeftButton && EndMarker().contains(at)) {
    drag_ = Drag::End;
    grab_offset_ = at.x() - EndMarker().left();
  } else {
    FillerClick(event, false);
  }
}

void TrimBarView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) FillerClick(event, true);
}

void TrimBarView::mouseMoveEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) return;
  const int marker_left = static_cast<int>(event->position().x()) - grab_offset_;
  // Every change of the filler's width moves the cells with it.
  if (drag_ == Drag::Start) {
    guard_([&] { form_.Splitter1DragTo(marker_left); });
  } else {
    const int right_filler = form_.Panel1.Width() - (marker_left + form_.Splitter2.Width());
    guard_([&] { form_.Splitter2DragTo(right_filler); });
  }
}

void TrimBarView::EndDrag() {
  const Drag drag = drag_;
  drag_ = Drag::None;
  if (drag == Drag::Start) guard_([this] { form_.Splitter1EndDrag(); });
  if (drag == Drag::End) guard_([this] { form_.Splitter2EndDrag(); });
}

void TrimBarView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) EndDrag();
}

void TrimBarView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && drag_ != Drag::None) {
    EndDrag();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace app
