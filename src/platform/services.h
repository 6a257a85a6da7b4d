// Services of the desktop that tests must never reach for real: the file
// manager and browser, and the power-off (the real one is in desktop.h). The
// real ones are wired only in main().
#pragma once

#include <string>
#include <vector>

namespace platform {

// Opens a folder, an address or a file with the desktop's default handler.
class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual void Open(const std::string& target) = 0;
};

// Asks the system to power the machine off. False, with the reason, when the
// system refused or could not be asked.
class PowerControl {
 public:
  virtual ~PowerControl() = default;
  virtual bool PowerOff(std::string& reason) = 0;
};

// Does nothing: the default whenever no real service was wired in.
class InertLauncher : public Launcher {
 public:
  void Open(const std::string&) override {}
};

class InertPowerControl : public PowerControl {
 public:
  bool PowerOff(std::string&) override { return true; }
};

// `xdg-open TARGET`, the target as one argument, no shell, not waited for.
class XdgLauncher : public Launcher {
 public:
  void Open(const std::string& target) override;
};

// Starts a program detached (new session, no inherited output), not waited for.
// Returns false when it could not be started.
bool SpawnDetached(const std::string& program, const std::string& argument);
// The same with a whole argument list: argv[0] is the program, looked up in PATH
// when it holds no "/".
bool SpawnDetached(const std::vector<std::string>& argv);

}  // namespace platform
