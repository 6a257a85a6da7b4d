// The one place that maps the program's Windows-born names onto Linux.
// A port to another system changes this header and platform.cpp only.
#pragma once

#include <string>

namespace platform {

// Folder separator used in every path the program composes.
inline constexpr char kPathSeparator = '/';

// Encoders (process names as the process table reports them).
inline constexpr const char* kEncoderName = "evc";
inline constexpr const char* kRealMediaEncoderName = "revc";

// Files in the program folder.
inline constexpr const char* kResLibrary = "Res.so";
inline constexpr const char* kFormLibrary = "Form.so";
// The duration probe on the media libraries, loaded when vtp-convert first measures a file.
inline constexpr const char* kProbeModule = "vtp-probe.so";
inline constexpr const char* kUpdater = "AutoUpDate";
inline constexpr const char* kHelpFile = "Help.html";
inline constexpr const char* kConfigFolder = "Config/";
inline constexpr const char* kLogFile = "log.txt";

// Name of the default output folder inside the home (or videos) folder.
inline constexpr const char* kOutputFolderName = "Video To Plim Converter";

// Folder of the running executable, with a trailing separator.
std::string ExecutableFolder();

// Full path of the running executable.
std::string ExecutablePath();

// The user's home folder, without a trailing separator.
std::string HomeFolder();

// First folder of the add-files dialog: the home folder with a trailing separator.
std::string DefaultInitDir();

// Text of the system's last error (errno) for messages.
std::string LastErrorText(int error);

}  // namespace platform
