// The trim bar: 260 x 19, the left filler, the start marker, the track, the end
// marker and the right filler, drawn from the main window's models. Markers
// drag live; clicks on the fillers step them.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <vector>

#include "app/bindings.h"

class TFrmMainForm;

namespace app {

class TrimBarView : public QWidget {
 public:
  TrimBarView(TFrmMainForm& form, Guard guard, QWidget* parent);

  // Where the parts lie now, in the bar's coordinates.
  QRect LeftFiller() const;
  QRect StartMarker() const;
  QRect EndMarker() const;
  QRect RightFiller() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

 private:
  enum class Drag { None, Start, End };
  void FillerClick(QMouseEvent* event, bool double_click);
  void EndDrag();

  TFrmMainForm& form_;
  Guard guard_;
  std::vector<Subscription> subscriptions_;
  QPixmap start_picture_, end_picture_;
  Drag drag_ = Drag::None;
  int grab_offset_ = 0;
};

}  // namespace app
