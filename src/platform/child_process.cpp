#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
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

// RAII for the spawn attribute objects.
struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes {
  posix_spawnattr_t attr;
  SpawnAttributes() { posix_spawnattr_init(&attr); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
};

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

std::unique_ptr<PipedChild> PipedChild::Start(const std::vector<std::string>& argv, const std::string& folder) {
  if (argv.empty() || argv[0].empty()) return nullptr;

  // Close-on-exec everywhere, so no other child started meanwhile inherits our
  // pipe ends; the dup2 actions below clear the flag on the child's copies.
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return nullptr;
  UniqueFd in_read(in[0]), in_write(in[1]);
  if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
  UniqueFd out_read(out[0]), out_write(out[1]);

  SpawnActions fa;
  posix_spawn_file_actions_adddup2(&fa.actions, in_read.Get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&fa.actions, out_write.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&fa.actions, out_write.Get(), STDERR_FILENO);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&fa.actions, folder.c_str());

  // A session of its own (no terminal signals reach it), and the signal state a
  // fresh program expects: the user-interface thread may block or ignore some.
  SpawnAttributes sa;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&sa.attr, &none);
  posix_spawnattr_setsigdefault(&sa.attr, &all);
  posix_spawnattr_setflags(&sa.attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  // glibc reports a failed exec here and reaps the failed child itself.
  if (posix_spawn(&pid, argv[0].c_str(), &fa.actions, &sa.attr, args.data(), environ) != 0) return nullptr;

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
