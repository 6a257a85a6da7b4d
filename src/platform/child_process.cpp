#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace platform {

namespace {

int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The stop signals a child may start with blocked (see the header).
void BlockStopSignals(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, SIGTERM);
  sigaddset(set, SIGINT);
  sigaddset(set, SIGHUP);
}

// In the forked child, up to the exec: only async-signal-safe calls. Never returns.
[[noreturn]] void RunChild(pid_t parent, int stdin_fd, int output_fd, int error_report_fd, const char* folder,
                           char* const* argv, char* const* envp, bool hold_stop_signals) {
  // A session of its own: no terminal signals reach it.
  setsid();
  // SIGTERM when the starting thread ends; a parent that died before this
  // line was reached is seen by the changed parent id instead.
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(128 + SIGTERM);
  if (dup2(stdin_fd, STDIN_FILENO) < 0 || dup2(output_fd, STDOUT_FILENO) < 0 || dup2(output_fd, STDERR_FILENO) < 0)
    _exit(127);
  int error = 0;
  if (folder && chdir(folder) != 0) error = errno;
  if (error == 0) {
    // The signal state a fresh program expects, whatever the starting thread
    // blocked or handled.
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) sigaction(number, &defaults, nullptr);
    sigset_t blocked;
    if (hold_stop_signals)
      BlockStopSignals(&blocked);
    else
      sigemptyset(&blocked);
    sigprocmask(SIG_SETMASK, &blocked, nullptr);
    execve(argv[0], argv, envp);
    error = errno;
  }
  ssize_t ignored = write(error_report_fd, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

std::unique_ptr<PipedChild> PipedChild::Start(const std::vector<std::string>& argv, const std::string& folder,
                                              const std::vector<std::string>& environment, bool hold_stop_signals) {
  if (argv.empty() || argv[0].empty()) return nullptr;

  // Close-on-exec everywhere, so no other child started meanwhile inherits our
  // pipe ends; dup2 in the child clears the flag on its copies.
  int in[2], out[2], report[2];
  if (pipe2(in, O_CLOEXEC) != 0) return nullptr;
  UniqueFd in_read(in[0]), in_write(in[1]);
  if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
  UniqueFd out_read(out[0]), out_write(out[1]);
  // Tells a failed exec (the child writes its errno) from a started program
  // (the exec closes it unwritten).
  if (pipe2(report, O_CLOEXEC) != 0) return nullptr;
  UniqueFd report_read(report[0]), report_write(report[1]);

  // Everything the child needs is made before the fork: after it, in a process
  // with threads, the child may not allocate.
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
  for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return nullptr;
  if (pid == 0)
    RunChild(parent, in_read.Get(), out_write.Get(), report_write.Get(), folder.empty() ? nullptr : folder.c_str(),
             args.data(), env.data(), hold_stop_signals);
  report_write.Reset();
  out_write.Reset();
  in_read.Reset();
  int exec_error = 0;
  ssize_t got;
  do {
    got = ::read(report_read.Get(), &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  }

  std::unique_ptr<PipedChild> child(new PipedChild());
  child->pid_ = pid;
  child->stdin_write_ = std::move(in_write);
  child->output_read_ = std::move(out_read);
  // The pidfd lets us sleep until the child ends instead of polling for it.
  const long pidfd = syscall(SYS_pidfd_open, pid, 0);
  if (pidfd >= 0) child->pidfd_.Reset(static_cast<int>(pidfd));
  return child;
}

PipedChild::~PipedChild() {
  ExitStatus();
}

bool PipedChild::Signal(int signal_number) const {
  if (pidfd_) return syscall(SYS_pidfd_send_signal, pidfd_.Get(), signal_number, nullptr, 0) == 0;
  // Without a pidfd (an old kernel) the number is all we have.
  return pid_ > 0 && ::kill(pid_, signal_number) == 0;
}

std::optional<int> PipedChild::ExitStatus() {
  if (status_ || pid_ <= 0) return status_;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    status_ = DecodeStatus(status);
  } else if (r < 0 && errno == ECHILD) {
    // Someone else reaped it; it has ended all the same.
    status_ = -1;
  }
  return status_;
}

size_t PipedChild::BytesWaiting() const {
  int n = 0;
  if (ioctl(output_read_.Get(), FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<size_t>(n);
}

size_t PipedChild::Read(char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(output_read_.Get(), buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

bool PipedChild::PollFor(bool output, int timeout_ms) {
  pollfd fds[2];
  int count = 0;
  int output_index = -1;
  if (pidfd_) fds[count++] = {pidfd_.Get(), POLLIN, 0};
  if (output && !output_closed_) {
    output_index = count;
    fds[count++] = {output_read_.Get(), POLLIN, 0};
  }
  // Without a pidfd we cannot sleep until the child ends: look again soon.
  if (!pidfd_) timeout_ms = std::min(timeout_ms, 10);
  if (count == 0) {
    if (timeout_ms > 0) {
      timespec ts{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
      nanosleep(&ts, nullptr);
    }
    return false;
  }
  const int r = ::poll(fds, static_cast<nfds_t>(count), std::max(timeout_ms, 0));
  if (r <= 0) return false;
  if (output_index >= 0) {
    const short ev = fds[output_index].revents;
    // A hang-up without data would wake us at once forever; stop watching the pipe.
    if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLIN)) output_closed_ = true;
  }
  return true;
}

void PipedChild::WaitForOutputOrExit(int timeout_ms) {
  if (ExitStatus()) return;
  PollFor(true, timeout_ms);
}

bool PipedChild::WaitForExit(int timeout_ms) {
  const int64_t end = MonotonicMs() + std::max(timeout_ms, 0);
  for (;;) {
    if (ExitStatus()) return true;
    const int64_t left = end - MonotonicMs();
    if (left <= 0) return false;
    PollFor(false, static_cast<int>(left));
  }
}

}  // namespace platform
