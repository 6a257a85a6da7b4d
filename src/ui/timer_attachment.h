// Attaches timers to an event loop and detaches them again when it goes, so a
// loop never fires a timer whose window is gone. A window declares one after
// the timers it holds.
#pragma once

#include <utility>
#include <vector>

#include "ui/event_loop.h"
#include "ui/models.h"

namespace ui {

class TimerAttachment {
 public:
  TimerAttachment() = default;
  TimerAttachment(const TimerAttachment&) = delete;
  TimerAttachment& operator=(const TimerAttachment&) = delete;
  ~TimerAttachment() {
    for (auto& [loop, timer] : attached_) loop->Detach(*timer);
  }
  void Attach(EventLoop& loop, Timer& timer) {
    loop.Attach(timer);
    attached_.emplace_back(&loop, &timer);
  }
  bool Empty() const { return attached_.empty(); }

 private:
  std::vector<std::pair<EventLoop*, Timer*>> attached_;
};

}  // namespace ui
