// Component models of the source list, trim bar and preview: panels with a width,
// a caption and visibility, the two trim markers, and the mouse and key facts the
// handlers take.
#pragma once

#include <string>
#include <vector>

#include "ui/event_loop.h"
#include "ui/model.h"
#include "ui/models.h"
#include "ui/timer_attachment.h"

namespace sources {

class Panel : public ui::Model {
 public:
  explicit Panel(int width = 0, std::string caption = {}, bool visible = true)
      : width_(width), caption_(std::move(caption)), visible_(visible) {}
  int Width() const { return width_; }
  void SetWidth(int width) {
    width_ = width;
    Changed();
  }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) {
    caption_ = caption;
    Changed();
  }
  bool Visible() const { return visible_; }
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void SetVisible(bool visible) {
    visible_ = visible;
    Changed();
  }

 private:
  int width_;
  std::string caption_;
  bool visible_;
};

// A trim marker: a fixed-width splitter showing its picture over its whole face.
class Splitter : public ui::Model {
 public:
  Splitter(int width, std::string picture) : width_(width), picture_(std::move(picture)) {}
  int Width() const { return width_; }
  // Name of the hidden picture the marker shows ("imgL", "imgR").
  const std::string& Picture() const { return picture_; }
  // Asks the views to draw the picture again.
  void Repaint() {
    ++paints_;
    Changed();
  }
  int Paints() const { return paints_; }

 private:
  int width_;
  std::string picture_;
  int paints_ = 0;
};

enum class MouseButton { Left, Right, Middle };

// Modifier keys held during a mouse press, and whether it was a double click.
struct ShiftState {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool double_click = false;
};

// The keys the grid's key handlers tell apart.
enum class GridKey { Delete, Other };

// The main window's source-list timers share the windows' one attachment.
using ui::TimerAttachment;

}  // namespace sources
