#include "shell/common_lib.h"
#include "platform/platform.h"
#include "settings/ini_file.h"

std::string TCommonLib::ConfigPath(const std::string& file_name) const {
  return AppDir + platform::kConfigFolder + file_name;
}

std::vector<std::string> TCommonLib::ReadIniSections(const std::string& file_name) const {
  std::vector<std::string> names;
  TIniFile32(ConfigPath(file_name)).ReadSections(&names);
  return names;
}

std::string TCommonLib::ReadNamedValue(const std::string& file_name, const std::string& name) const {
  return TIniFile32(ConfigPath(file_name)).ReadString(name, name, "");
}
