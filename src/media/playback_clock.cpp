#include "media/playback_clock.h"

#include <algorithm>
#include <limits>

namespace media {
namespace {

uint32_t ToUnsignedMs(int64_t ms) {
  return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

PlaybackClock::PlaybackClock(int interval_ms) : timer_(interval_ms, false) {
  timer_.OnTimer = [this] { Tick(); };
}

PlaybackClock::~PlaybackClock() {
  SetFilterGraph(nullptr);
}

void PlaybackClock::SetFilterGraph(PreviewGraph* graph) {
  if (graph_) graph_->Unsubscribe(subscription_);
  graph_ = graph;
  subscription_ = 0;
  if (graph_) {
    subscription_ = graph_->Subscribe([this](PreviewGraph::State state) { Follow(state); });
    Follow(graph_->GetState());
  } else {
    timer_.SetEnabled(false);
  }
}

void PlaybackClock::Follow(PreviewGraph::State state) {
  // Ticks only between a run and the next pause or stop; a new run starts a new period.
  timer_.SetEnabled(false);
  if (state == PreviewGraph::State::Running) timer_.SetEnabled(true);
}

void PlaybackClock::SetPosition(int seconds) {
  position_ = std::clamp(seconds, 0, std::max(0, max_));
  Changed();
}

void PlaybackClock::Tick() {
  if (!graph_ || !graph_->Active()) return;
  const uint32_t current = ToUnsignedMs(graph_->CurrentPosition() / 10000);
  const uint32_t stop = ToUnsignedMs(graph_->DurationMs());
  max_ = static_cast<int>(stop / 1000);
  position_ = std::min(static_cast<int>(current / 1000), max_);
  Changed();
  if (OnTimer) OnTimer(current, stop);
}

}  // namespace media
