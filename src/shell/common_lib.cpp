#include "shell/common_lib.h"

#include "shell/program.h"
#include "ui/dialogs.h"

TCommonLib::TCommonLib(Program& program) : AppDir(program.AppDir()), program_(program) {}

bool TCommonLib::ShowMessageBox(const std::string& text, int kind) const {
  if (kind < 0 || kind > 3) return false;
  program_.dialogs().Message(static_cast<ui::MessageKind>(kind), kApplicationTitle, text);
  return true;
}
