#include "platform/platform.h"
#include "settings/config_files.h"
#include "settings/ini_file.h"

namespace settings {

std::string ConfigPath(const std::string& config_folder, const std::string& file_name) {
  return config_folder + file_name;
}

std::vector<std::string> ReadIniSections(const std::string& config_folder, const std::string& file_name) {
  std::vector<std::string> names;
  TIniFile32(ConfigPath(config_folder, file_name)).ReadSections(&names);
  return names;
}

std::string ReadNamedValue(const std::string& config_folder, const std::string& file_name, const std::string& name) {
  return TIniFile32(ConfigPath(config_folder, file_name)).ReadString(name, name, "");
}

}  // namespace settings
