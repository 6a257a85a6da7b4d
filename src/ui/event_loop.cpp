#include "ui/event_loop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "ui/models.h"

namespace ui {

int64_t SteadyClock::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BasicEventLoop::Post(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.push_back(std::move(work));
}

void BasicEventLoop::Attach(Timer& timer) {
  for (auto& state : timers_)
    if (state.timer == &timer) return;
  timers_.push_back({&timer, false, timer.Restarts(), 0, false});
}

void BasicEventLoop::Detach(Timer& timer) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const TimerState& s) { return s.timer == &timer; }),
                timers_.end());
}

void BasicEventLoop::ProcessEvents() {
  BeforeEvents();
  // Only the work pending now: work posted by handlers waits for the next round,
  // as a window system's message queue would have it.
  size_t pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending = posted_.size();
  }
  for (size_t i = 0; i < pending; ++i) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (posted_.empty()) break;
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    work();
  }
  RunDueTimers();
}

void BasicEventLoop::RunDueTimers() {
  const int64_t now = clock_.NowMs();
  // Handlers may attach or detach timers; walk by index over a snapshot of pointers.
  std::vector<Timer*> snapshot;
  for (auto& s : timers_) snapshot.push_back(s.timer);
  for (Timer* timer : snapshot) {
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const TimerState& s) { return s.timer == timer; });
    if (it == timers_.end()) continue;
    if (!timer->Enabled() || timer->Interval() <= 0) {
      it->was_enabled = false;
      continue;
    }
    if (!it->was_enabled || it->restarts != timer->Restarts()) {
      it->was_enabled = true;
      it->restarts = timer->Restarts();
      it->due_ms = now + timer->Interval();
      continue;
    }
    // A handler that waits must not see its own timer fire inside itself.
    if (it->firing || now < it->due_ms) continue;
    it->firing = true;
    it->due_ms = now + timer->Interval();
    // The flag must drop even when the handler throws, or the timer never fires again.
    struct FiringDone {
      std::vector<TimerState>& timers;
      Timer* timer;
      ~FiringDone() {
        for (auto& s : timers)
          if (s.timer == timer) s.firing = false;
      }
    } done{timers_, timer};
    timer->Fire();
  }
}

void BasicEventLoop::Wait(int ms) {
  const int64_t end = clock_.NowMs() + std::max(ms, 0);
  ProcessEvents();
  for (;;) {
    const int64_t left = end - clock_.NowMs();
    if (left <= 0) break;
    clock_.SleepMs(static_cast<int>(std::min<int64_t>(left, kSliceMs)));
    ProcessEvents();
  }
}

}  // namespace ui
