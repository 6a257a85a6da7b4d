#include "platform/services.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool SpawnDetached(const std::string& program, const std::string& argument) {
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
    execlp(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void XdgLauncher::Open(const std::string& target) { SpawnDetached("xdg-open", target); }

void SystemdPowerControl::PowerOff() { SpawnDetached("systemctl", "poweroff"); }

}  // namespace platform
