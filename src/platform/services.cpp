#include "platform/services.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool SpawnDetached(const std::string& program, const std::string& argument) {
  return SpawnDetached(std::vector<std::string>{program, argument});
}

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // Built before the fork: the child only calls async-signal-safe functions.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // Fork twice so the launched program is adopted by init and never left a zombie.
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void XdgLauncher::Open(const std::string& target) {
  SpawnDetached("xdg-open", target);
}

}  // namespace platform
