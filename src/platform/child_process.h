// A hidden child process whose standard output and standard error come back
// through one pipe: started in a session of its own, with a current folder of our
// choosing and a standard input that is a pipe we never write.
//
// The child never outlives its parent: it gets SIGTERM when the thread that
// started it ends (the process killed, a crash), so that thread must follow the
// child to its end.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Owns one file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

class PipedChild {
 public:
  // Starts argv[0] (a path; the search path is not used) with its arguments.
  // Nothing when a pipe cannot be made or the program cannot be started; then no
  // child exists.
  // `environment` entries ("NAME=value") are added to ours. With
  // `hold_stop_signals` the program starts with SIGTERM, SIGINT and SIGHUP
  // blocked, so a stop sent before it has installed its handlers waits for
  // them instead of killing it unheard; for our encoders, which unblock them.
  static std::unique_ptr<PipedChild> Start(const std::vector<std::string>& argv, const std::string& folder,
                                           const std::vector<std::string>& environment = {},
                                           bool hold_stop_signals = false);

  // Reaps the child when it has ended; a running child is left running.
  ~PipedChild();
  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;

  pid_t Pid() const { return pid_; }

  // The exit status once the child has ended, without blocking: the exit code,
  // or 128 + the signal number for a child ended by a signal.
  std::optional<int> ExitStatus();

  // Bytes waiting in the output pipe; 0 when none or on error.
  size_t BytesWaiting() const;

  // Reads up to size bytes; the count read, 0 at end of output or on error.
  size_t Read(char* buffer, size_t size);

  // Blocks until output is waiting or the child has ended, or the time is up.
  void WaitForOutputOrExit(int timeout_ms);

  // Blocks until the child has ended or the time is up; true when it has ended.
  bool WaitForExit(int timeout_ms);

  // Sends a signal to this child and no other process: through its pidfd, which
  // cannot reach a later process that reuses the number. Callable from another
  // thread than the one that follows the child. True when it was sent.
  bool Signal(int signal_number) const;

 private:
  PipedChild() = default;
  bool PollFor(bool output, int timeout_ms);

  pid_t pid_ = -1;
  std::optional<int> status_;
  UniqueFd pidfd_;
  UniqueFd stdin_write_;
  UniqueFd output_read_;
  // The output pipe reported hang-up: every writer has closed it.
  bool output_closed_ = false;
};

}  // namespace platform
