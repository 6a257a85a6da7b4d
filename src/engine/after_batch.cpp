#include "shell/common_lib.h"
#include "platform/services.h"
#include "shell/program.h"

void TCommonLib::OpenFolder(const std::string& folder) const {
  // The folder goes to the file manager as one argument, never through a shell.
  program_.launcher().Open(folder);
}

void TCommonLib::EnableShutdownPrivilege() const {
  // Whether the power-off is allowed is the system's decision (polkit); nothing
  // to enable in our own process.
}

bool TCommonLib::ShutdownComputer() const {
  EnableShutdownPrivilege();
  std::string reason;
  if (program_.power().PowerOff(reason)) return true;
  // The user left the machine to switch itself off; a refusal must not pass in silence.
  program_.WriteLog("Power off error: " + reason);
  ShowMessageBox("The computer could not be shut down: " + reason, ui::MessageKind::Warning);
  return false;
}
