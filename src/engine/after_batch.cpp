#include "engine/after_batch.h"

#include "platform/services.h"

namespace engine {

void OpenFolder(platform::Launcher& launcher, const std::string& folder) {
  // The folder goes to the file manager as one argument, never through a shell.
  launcher.Open(folder);
}

bool ShutdownComputer(platform::PowerControl& power, const EngineLog& log,
                      const std::function<void(const std::string&)>& warn) {
  // Whether the power-off is allowed is the system's decision (polkit); there
  // is no privilege to enable in our own process.
  std::string reason;
  if (power.PowerOff(reason)) return true;
  // The user left the machine to switch itself off; a refusal must not pass in silence.
  log("Power off error: " + reason);
  warn("The computer could not be shut down: " + reason);
  return false;
}

}  // namespace engine
