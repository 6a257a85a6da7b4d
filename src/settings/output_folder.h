// The output folder: choosing it in the folder browser, and creating it.
#pragma once

#include <functional>
#include <string>

#include "settings/config_files.h"

namespace settings {

// Creates a folder with every missing level; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

// Lets the user browse for a folder and returns the folder the output box should
// show: the chosen one when it exists and can be written, else current. Folders
// are created through make_folders, so tests can stand in for read-only media.
std::string ChooseOutputFolder(const std::string& current, const Messages& messages,
                               const std::function<bool(const std::string&)>& make_folders);

}  // namespace settings
