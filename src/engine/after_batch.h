// What may follow a batch: the output folder in the file manager, and the power-off.
#pragma once

#include <functional>
#include <string>

#include "engine/batch_state.h"

namespace platform {
class Launcher;
class PowerControl;
}  // namespace platform

namespace engine {

// Shows the folder in the desktop's file manager; the outcome is not looked at.
void OpenFolder(platform::Launcher& launcher, const std::string& folder);
// Asks the system to power off (no force). When it refuses or cannot be asked,
// logs why, tells the user through `warn` and returns false.
bool ShutdownComputer(platform::PowerControl& power, const EngineLog& log,
                      const std::function<void(const std::string&)>& warn);

}  // namespace engine
