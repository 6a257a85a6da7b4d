#include "media/preview_graph.h"

namespace media {

void PreviewGraph::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    Activate();
    active_ = true;
  } else {
    // Released even when the implementation fails: a half-released graph must not
    // report itself usable.
    active_ = false;
    SetState(State::Stopped);
    Release();
  }
}

void PreviewGraph::Clear() {
  if (!active_) return;
  Unload();
  SetState(State::Stopped);
}

int PreviewGraph::RenderFile(const std::string& path) {
  RequireActive("render");
  return Render(path);
}

int32_t PreviewGraph::DurationMs() const {
  return active_ ? LoadedDurationMs() : 0;
}

void PreviewGraph::Run() {
  RequireActive("run");
  DoRun();
  SetState(State::Running);
}

void PreviewGraph::Pause() {
  RequireActive("pause");
  DoPause();
  SetState(State::Paused);
}

void PreviewGraph::Stop() {
  RequireActive("stop");
  DoStop();
  SetState(State::Stopped);
}

int64_t PreviewGraph::CurrentPosition() const {
  return active_ ? Position() : 0;
}

void PreviewGraph::SeekToMilliseconds(int64_t ms) {
  if (active_) Seek(ms * 10000);
}

int PreviewGraph::Subscribe(StateObserver observer) {
  observers_[next_id_] = std::move(observer);
  return next_id_++;
}

void PreviewGraph::Unsubscribe(int id) {
  observers_.erase(id);
}

void PreviewGraph::SetState(State state) {
  if (state == state_) return;
  state_ = state;
  auto copy = observers_;
  for (auto& [id, observer] : copy)
    if (observers_.count(id)) observer(state);
}

void PreviewGraph::RequireActive(const char* operation) const {
  if (!active_) throw MediaError(std::string("Cannot ") + operation + ": the preview graph is not active");
}

int NullPreviewGraph::Render(const std::string& path) {
  throw MediaError("No preview player for " + path);
}

}  // namespace media
