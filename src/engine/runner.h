// TAdvanceSystem: runs one encoder command line as a hidden child on a worker
// thread and relays the newest part of its console text to a callback.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class PipedChild;
}
namespace ui {
class EventLoop;
}

// Receives each relayed console text.
using TOutputCallback = std::function<void(const std::string&)>;

// The encoder processes this program instance has started and not yet collected.
// A runner adds its child once started and removes it in the same locked step
// in which it collects the exit status; whoever signals holds the lock as well,
// so an id is never signalled after the kernel may have given it to another
// process.
class ChildRegistry {
 public:
  void Add(pid_t pid);
  // Runs collect (a non-blocking wait for the child) under the lock and forgets
  // the child once it reports an exit status.
  std::optional<int> Collect(pid_t pid, const std::function<std::optional<int>()>& collect);
  // Runs the action with the ids held steady.
  void WithChildren(const std::function<void(const std::set<pid_t>&)>& action) const;

 private:
  mutable std::mutex mutex_;
  std::set<pid_t> pids_;
};

struct RunnerSettings {
  // Current folder of the child: the program folder.
  std::string folder;
  // Pause after each relayed text; it ends early when the child ends.
  int relay_pause_ms = 500;
  // Where the child is known while it runs; none: nowhere.
  ChildRegistry* children = nullptr;
  // Called once on the runner's thread: the child has been started (and is in
  // the registry) or could not be.
  std::function<void()> launched;
  // Added to the child's environment ("NAME=value").
  std::vector<std::string> environment;
  // The child starts with its stop signals held until it unblocks them (our encoders).
  bool hold_stop_signals = false;
};

// What one run came to.
struct RunOutcome {
  // The child was started and followed until it ended.
  bool started = false;
  // Its exit code (128 + signal when a signal ended it); only when started.
  int exit_code = 0;
  // The last few kilobytes it wrote, whole: the closing lines are read from them.
  std::string tail;
};

// The file an encoder run kept, as its closing line names it ("output: PATH",
// or "partial output: SECONDS PATH" for a run cut short).
struct KeptOutput {
  std::string path;
  bool partial = false;
  double seconds = 0;  // of a partial file
};
std::optional<KeptOutput> ReadKeptOutput(const std::string& text);
// The reason a failed encoder gave: its last "evc: REASON" (or "revc: ") line,
// without the name; empty when it gave none.
std::string ReadFailureReason(const std::string& text);

// "mm:ss", or "h:mm:ss" from an hour on: a length as a closing message shows it.
std::string FormatLength(double seconds);

// The console text is read through a window of this many bytes.
inline constexpr size_t kRelayWindow = 1023;

// Starts the command line (split with the Windows rules) and follows the child
// until it ends, handing the newest chunk of its output to the callback on the
// calling thread. `started` is false, with no callback, when a pipe or the
// process cannot be created.
// `on_child`, when given, sees the child once it runs and nothing (nullptr)
// before the child object goes.
RunOutcome RunPipedProcess(const std::string& command_line, const TOutputCallback& callback,
                           const RunnerSettings& settings,
                           const std::function<void(platform::PipedChild*)>& on_child = {});

class TAdvanceSystem {
 public:
  // Created suspended: nothing runs until Start. Each text reaches the callback on
  // the user-interface thread, through the loop, in the order it was read.
  TAdvanceSystem(std::string command_line, TOutputCallback callback, ui::EventLoop& loop, RunnerSettings settings);
  // Freeing waits until the body has returned, that is until the child has ended.
  ~TAdvanceSystem();
  TAdvanceSystem(const TAdvanceSystem&) = delete;
  TAdvanceSystem& operator=(const TAdvanceSystem&) = delete;

  const std::string CommandLine;
  const TOutputCallback OutputCallback;

  // Resumes the suspended thread; later calls do nothing.
  void Start();
  // Sets the stop request, which the body never looks at: only ending the child
  // ends a run.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // The body has returned.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Blocks until the body has returned or the time is up; true when it has returned.
  bool WaitFinished(int timeout_ms) const;
  // Blocks until the child has been started and registered, or could not be
  // started; true when that is known.
  bool WaitLaunched(int timeout_ms) const;
  // The outcome, once the body has returned.
  std::optional<RunOutcome> Outcome() const;

  // Suspends (SIGSTOP) or resumes (SIGCONT) the child of this runner alone;
  // false when no child of ours runs.
  bool Suspend(bool suspend);

 protected:
  // The thread body.
  virtual void Execute();

 private:
  ui::EventLoop& loop_;
  RunnerSettings settings_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool launched_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable finished_cv_;
  RunOutcome outcome_;
  // The running child, under the mutex: it cannot go while it is being signalled.
  platform::PipedChild* child_ = nullptr;
};
