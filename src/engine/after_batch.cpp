#include "engine/common_lib.h"
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

void TCommonLib::ShutdownComputer() const {
  EnableShutdownPrivilege();
  program_.power().PowerOff();
}
