// The settings files in the program's Config folder, and how the settings speak
// to the user. Every operation here is handed the config folder it works in.
#pragma once

#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace settings {

// The stored custom profiles: one section per profile, holding one key of the same name.
inline constexpr const char* kProfileFile = "UserProfileInfo.ini";

// A file of the Config folder.
std::string ConfigPath(const std::string& config_folder, const std::string& file_name);
// Section names of a Config file, in file order; none when it is missing.
std::vector<std::string> ReadIniSections(const std::string& config_folder, const std::string& file_name);
// The value stored under the key of the section of the same name; empty when none.
std::string ReadNamedValue(const std::string& config_folder, const std::string& file_name, const std::string& name);

// The dialogs the settings show, captioned as the program's other boxes are.
struct Messages {
  ui::Dialogs& dialogs;
  std::string caption;

  void Show(const std::string& text, ui::MessageKind kind) const { dialogs.Message(kind, caption, text); }
};

}  // namespace settings
