// A preview graph on virtual time: records what the preview asked of it, fails on
// request, and while running moves its position with the clock it is given.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "media/preview_graph.h"
#include "ui/event_loop.h"

namespace testing_support {

class FakePreviewGraph : public media::PreviewGraph {
 public:
  explicit FakePreviewGraph(ui::Clock* clock = nullptr) : clock_(clock) {}
  void SetClock(ui::Clock* clock) { clock_ = clock; }

  // Scripts: render result per path (0 when not listed), paths that cannot be
  // rendered at all, the duration of every loaded file, failing operations.
  std::map<std::string, int> render_results;
  std::set<std::string> unrenderable;
  int32_t duration_ms = 60000;
  bool fail_run = false;
  bool fail_pause = false;
  bool fail_stop = false;
  bool fail_seek = false;  // breaks the promise not to throw, to test the callers' guard

  // Records.
  std::vector<std::string> calls;  // "render <path>", "run", "pause", "stop", "unload"
  std::vector<int64_t> seeks_ms;
  std::string loaded;  // the loaded file; empty when none

  // Position in milliseconds as the graph stands now.
  int64_t PositionMs() const { return Position() / 10000; }
  void SetPositionMs(int64_t ms) {
    base_ms_ = ms;
    since_ = Now();
  }

 protected:
  void Unload() override {
    calls.push_back("unload");
    loaded.clear();
    running_ = false;
    base_ms_ = 0;
  }
  int Render(const std::string& path) override {
    calls.push_back("render " + path);
    if (unrenderable.count(path)) throw media::MediaError("cannot render " + path);
    loaded = path;
    base_ms_ = 0;
    auto it = render_results.find(path);
    return it == render_results.end() ? 0 : it->second;
  }
  int32_t LoadedDurationMs() const override { return loaded.empty() ? 0 : duration_ms; }
  void DoRun() override {
    calls.push_back("run");
    if (fail_run) throw media::MediaError("run failed");
    SetPositionMs(PositionMs());
    running_ = true;
  }
  void DoPause() override {
    calls.push_back("pause");
    if (fail_pause) throw media::MediaError("pause failed");
    SetPositionMs(PositionMs());
    running_ = false;
  }
  void DoStop() override {
    calls.push_back("stop");
    if (fail_stop) throw media::MediaError("stop failed");
    SetPositionMs(PositionMs());
    running_ = false;
  }
  int64_t Position() const override {
    if (loaded.empty()) return 0;
    int64_t ms = base_ms_ + (running_ ? Now() - since_ : 0);
    return std::min<int64_t>(ms, duration_ms) * 10000;  // stays at the end, as a graph does
  }
  void Seek(int64_t position) override {
    seeks_ms.push_back(position / 10000);
    if (fail_seek) throw media::MediaError("seek failed");
    if (loaded.empty()) return;
    SetPositionMs(position / 10000);
  }

 private:
  int64_t Now() const { return clock_ ? clock_->NowMs() : 0; }
  ui::Clock* clock_;
  bool running_ = false;
  int64_t base_ms_ = 0;
  int64_t since_ = 0;
};

}  // namespace testing_support
