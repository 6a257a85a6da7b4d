#include "engine/common_lib.h"
#include "engine/custom_proc.h"
#include "platform/platform.h"
#include "settings/ini_file.h"
#include "shell/helpers.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

constexpr const char* kUserSettingsFile = "UserSettings.ini";
constexpr const char* kSection = "USRInfo";

}  // namespace

std::string TCustomProc::ReadInitDir() const {
  return TIniFile32(program_.CommonLib().ConfigPath(kUserSettingsFile))
      .ReadString(kSection, "InitDir", platform::DefaultInitDir());
}

void TCustomProc::SaveInitDir() const {
  const std::string folder = TFileFunc::GetFileFolder(program_.MainForm().dlgOpenSourceFile.FileName());
  if (folder.empty()) return;
  TIniFile32(program_.CommonLib().ConfigPath(kUserSettingsFile)).WriteString(kSection, "InitDir", folder);
}
