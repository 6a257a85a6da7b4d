#include "platform/platform.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/data_layout.h"

namespace platform {

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  auto slash = exe.rfind(kPathSeparator);
  if (slash == std::string::npos) return "./";
  return exe.substr(0, slash + 1);
}

std::string HomeFolder() {
  return HomeFolder(SystemEnvironment);
}

std::string DefaultInitDir() {
  std::string home = HomeFolder();
  if (home.empty() || home.back() != kPathSeparator) home += kPathSeparator;
  return home;
}

std::string LastErrorText(int error) {
  return std::strerror(error);
}

}  // namespace platform
