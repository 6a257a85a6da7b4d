#include "engine/common_lib.h"

#include "shell/program.h"

TCommonLib::TCommonLib(Program& program) : AppDir(program.AppDir()), program_(program) {}
