// Handling of pending events, waits that keep the window alive, and the hand-over
// of work from worker threads to the user-interface thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace ui {

class Timer;

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Handles the events that are pending now: posted work, due timers, user input.
  virtual void ProcessEvents() = 0;

  // Pauses for the given time while pending events keep being handled in small
  // slices, so the window never freezes.
  virtual void Wait(int ms) = 0;

  // Queues work for the user-interface thread; callable from any thread.
  // Posted work runs in the order it was posted.
  virtual void Post(std::function<void()> work) = 0;

  // Timers fire only while attached to a loop.
  virtual void Attach(Timer& timer) = 0;
  virtual void Detach(Timer& timer) = 0;
};

// Time source of BasicEventLoop: real in the program, virtual in tests.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};

class SteadyClock : public Clock {
 public:
  int64_t NowMs() override;
  void SleepMs(int ms) override;
};

// An event loop without a window system: posted work and timers only. It drives
// a console front end and the end-to-end tests; the Qt front end has its own.
class BasicEventLoop : public EventLoop {
 public:
  static constexpr int kSliceMs = 10;

  explicit BasicEventLoop(Clock& clock) : clock_(clock) {}

  void ProcessEvents() override;
  void Wait(int ms) override;
  void Post(std::function<void()> work) override;
  void Attach(Timer& timer) override;
  void Detach(Timer& timer) override;

  Clock& GetClock() { return clock_; }

 protected:
  // Hook for subclasses: runs at the start of every ProcessEvents.
  virtual void BeforeEvents() {}

 private:
  struct TimerState {
    Timer* timer;
    bool was_enabled;
    unsigned restarts;
    int64_t due_ms;
    bool firing;
  };
  void RunDueTimers();

  Clock& clock_;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
  std::vector<TimerState> timers_;
};

}  // namespace ui
