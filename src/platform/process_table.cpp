#include "platform/process_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace platform {

namespace {

// The kernel keeps 15 characters of a process name; longer names are cut.
constexpr size_t kCommLength = 15;

bool ReadSmallFile(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[1024];
  content.clear();
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return !content.empty();
}

// File name of the process's executable, for names the kernel has cut.
std::string ExecutableName(pid_t pid) {
  char buf[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<size_t>(n));
  // A program file replaced while it runs (a rebuild) reads " (deleted)".
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Signal(pid_t pid, int signal) {
  if (pid <= 0) return false;
  if (::kill(pid, signal) == 0) return true;
  // Gone meanwhile: it has ended, which is what was asked.
  return errno == ESRCH;
}

}  // namespace

bool ReadProcessEntry(pid_t pid, ProcessEntry& entry) {
  std::string stat;
  if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", stat)) return false;
  // "pid (name) S ...": the name may itself hold blanks and parentheses.
  const auto open = stat.find('(');
  const auto close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open || close + 2 >= stat.size()) return false;
  const char state = stat[close + 2];
  if (state == 'Z' || state == 'X' || state == 'x') return false;
  entry.pid = pid;
  entry.name = stat.substr(open + 1, close - open - 1);
  if (entry.name.size() >= kCommLength) {
    // Only trust the executable's name when it continues the cut one: for a
    // script the executable is the interpreter.
    const std::string full = ExecutableName(pid);
    if (full.size() > entry.name.size() && full.compare(0, entry.name.size(), entry.name) == 0) entry.name = full;
  }
  return true;
}

std::vector<ProcessEntry> ProcProcessTable::Snapshot() {
  std::vector<ProcessEntry> result;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("/proc"), &closedir);
  if (!dir) return result;
  while (const dirent* d = readdir(dir.get())) {
    const char* name = d->d_name;
    if (*name < '1' || *name > '9') continue;
    pid_t pid = 0;
    bool numeric = true;
    for (const char* p = name; *p; ++p) {
      if (*p < '0' || *p > '9') {
        numeric = false;
        break;
      }
      pid = pid * 10 + (*p - '0');
    }
    if (!numeric) continue;
    ProcessEntry entry;
    if (ReadProcessEntry(pid, entry)) result.push_back(std::move(entry));
  }
  std::sort(result.begin(), result.end(), [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
  return result;
}

bool ProcProcessTable::Terminate(pid_t pid) {
  return Signal(pid, SIGTERM);
}

bool ProcProcessTable::Kill(pid_t pid) {
  return Signal(pid, SIGKILL);
}

}  // namespace platform
