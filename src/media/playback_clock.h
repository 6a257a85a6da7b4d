// The hidden playback clock bound to a preview graph: while the graph runs it
// ticks every TimerInterval with the current and the stop position, and keeps a
// range (0 .. duration in seconds) with the position in seconds.
#pragma once

#include <cstdint>
#include <functional>

#include "media/preview_graph.h"
#include "ui/model.h"
#include "ui/models.h"

namespace media {

class PlaybackClock : public ui::Model {
 public:
  explicit PlaybackClock(int interval_ms = 1000);
  ~PlaybackClock() override;

  // Binds the clock to a graph (or none); the graph must outlive the binding.
  void SetFilterGraph(PreviewGraph* graph);
  PreviewGraph* FilterGraph() const { return graph_; }

  // The timer that drives the ticks; its owner attaches it to the event loop.
  ui::Timer& timer() { return timer_; }
  int TimerInterval() const { return timer_.Interval(); }
  void SetTimerInterval(int ms) { timer_.SetInterval(ms); }

  // Each tick: current and stop position in milliseconds (the stop position is
  // the stream's duration).
  std::function<void(uint32_t current_pos, uint32_t stop_pos)> OnTimer;

  int Min() const { return 0; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetPosition(int seconds);

  // One tick, as the timer runs it.
  void Tick();

 private:
  void Follow(PreviewGraph::State state);

  ui::Timer timer_;
  PreviewGraph* graph_ = nullptr;
  int subscription_ = 0;
  int max_ = 0;
  int position_ = 0;
};

}  // namespace media
