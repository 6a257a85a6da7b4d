// Which files the source list and vtp-convert take, apart from the list itself
// so that vtp-convert does not link what measures and adds files.
#pragma once

#include <string>
#include <vector>

namespace sources {

// The open dialog's filter: every accepted extension is in its first entry
// ("All supported files"), then "Video files", "Audio files" and one per format.
const std::string& OpenDialogFilter();

// The extensions the list takes, with the dot, lower case.
std::vector<std::string> AcceptedSourceExtensions();
// Whether the lower-cased extension of the path is one the list takes.
bool AcceptedSourceExtension(const std::string& path);
}  // namespace sources
