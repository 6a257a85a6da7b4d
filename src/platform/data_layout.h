// Where the program's data lives. Two layouts, decided in one place:
// - program-folder mode: a Config/ folder beside the executable (the build
//   folder, a copied program folder). Settings, log and scratch files stay in
//   the program folder.
// - installed mode: no Config/ beside the executable (a package under /usr).
//   Per-user folders by the XDG base directory rules; nothing is written
//   beside the executable.
// The encoders, Res.so, Form.so and Help.html are always found beside the
// real executable.
#pragma once

#include <functional>
#include <string>

namespace platform {

// The folder name under the XDG base folders.
inline constexpr const char* kDataFolderName = "video-to-plim-converter";

struct DataLayout {
  bool installed = false;
  // Encoders, Res.so, Form.so, Help.html; trailing separator.
  std::string program_folder;
  // The settings files (UserSettings.ini, UserProfileInfo.ini, ...); trailing separator.
  std::string config_folder;
  // Full path of log.txt.
  std::string log_file;
  // VideoFile.avs and every other short-lived file; trailing separator. In
  // installed mode it is private to the user (0700).
  std::string scratch_folder;
  // The output folder box's text until the user picks another; no trailing separator.
  std::string default_output_folder;
  // What a relative folder in the settings is taken below: the program folder,
  // or the home folder when installed (the program folder is not the user's).
  std::string relative_base;
};

// Value of an environment variable; empty when unset.
using Environment = std::function<std::string(const char* name)>;
// The process environment.
std::string SystemEnvironment(const char* name);

// The user's home folder (HOME, else the account's), without a trailing separator.
std::string HomeFolder(const Environment& env);

// The layout for a program folder (with or without a trailing separator): the
// one decision between the two modes.
DataLayout ResolveDataLayout(const std::string& program_folder, const Environment& env = SystemEnvironment);
// Each mode on its own, for callers that know which they want.
DataLayout ProgramFolderLayout(const std::string& program_folder, const Environment& env = SystemEnvironment);
DataLayout InstalledLayout(const std::string& program_folder, const Environment& env = SystemEnvironment);

// The layout of the running executable, resolved once.
const DataLayout& CurrentDataLayout();

// The user's videos folder: XDG_VIDEOS_DIR of user-dirs.dirs in the config
// home, else ~/Videos. No trailing separator.
std::string VideosFolder(const Environment& env = SystemEnvironment);

// Creates the folders the program writes into (the config, log and scratch
// folders; each missing level with mode 0700, and scratch kept at 0700).
// Nothing to do in program-folder mode.
// Returns an empty text on success, else one line per folder that could not be
// made, saying which folder, what it is for, and why.
std::string PrepareDataFolders(const DataLayout& layout);
// The scratch folder alone, for a run that writes nothing else (vtp-convert):
// where files for the encoders go and where a clean-up of dead runs looks.
std::string PrepareScratchFolder(const DataLayout& layout);

}  // namespace platform
