#include "platform/data_layout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/platform.h"

namespace platform {

namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::string WithoutSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  return folder;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder of this user that it can write in.
bool OwnFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are to be ignored), else the default below the home folder.
std::string BaseFolder(const Environment& env, const char* variable, const std::string& fallback) {
  const std::string value = env(variable);
  if (!value.empty() && value.front() == kPathSeparator) return WithoutSeparator(value);
  return fallback;
}

std::string ConfigHome(const Environment& env) {
  return BaseFolder(env, "XDG_CONFIG_HOME", HomeFolder(env) + "/.config");
}

std::string UnderHome(const std::string& home, const std::string& name) {
  return (home == "/" ? "" : home) + kPathSeparator + name;
}

// Makes every missing level of a folder with mode 0700, as the XDG rules ask
// for base folders that do not exist yet.
int MakeFolder(const std::string& folder) {
  std::string path;
  size_t at = 0;
  while (at != std::string::npos) {
    at = folder.find(kPathSeparator, at + 1);
    path = folder.substr(0, at);
    if (path.empty() || IsFolder(path)) continue;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return IsFolder(folder) ? 0 : ENOTDIR;
}

// The scratch folder holds paths of the user's videos: it must be a real
// folder of this user that nobody else can enter.
int MakePrivateFolder(const std::string& folder) {
  if (int error = MakeFolder(folder)) return error;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) return EPERM;
  if ((st.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return errno;
  return 0;
}

}  // namespace

std::string SystemEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder(const Environment& env) {
  std::string home = env("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  if (home.empty()) home = "/";
  return WithoutSeparator(home);
}

std::string VideosFolder(const Environment& env) {
  const std::string home = HomeFolder(env);
  std::ifstream dirs(ConfigHome(env) + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    // XDG_VIDEOS_DIR="$HOME/Videos" or an absolute path, as xdg-user-dirs writes it.
    const std::string key = "XDG_VIDEOS_DIR=";
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
    value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == kPathSeparator))
      value = (home == "/" ? "" : home) + value.substr(5);
    if (value.empty() || value.front() != kPathSeparator) continue;
    return WithoutSeparator(value);
  }
  return UnderHome(home, "Videos");
}

DataLayout ProgramFolderLayout(const std::string& program_folder, const Environment& env) {
  DataLayout layout;
  layout.program_folder = WithSeparator(program_folder);
  layout.config_folder = layout.program_folder + kConfigFolder;
  layout.log_file = layout.program_folder + kLogFile;
  layout.scratch_folder = layout.program_folder;
  layout.default_output_folder = UnderHome(HomeFolder(env), kOutputFolderName);
  layout.relative_base = layout.program_folder;
  return layout;
}

DataLayout InstalledLayout(const std::string& program_folder, const Environment& env) {
  const std::string home = HomeFolder(env);
  const std::string name = std::string(1, kPathSeparator) + kDataFolderName + kPathSeparator;
  DataLayout layout;
  layout.installed = true;
  layout.program_folder = WithSeparator(program_folder);
  layout.config_folder = ConfigHome(env) + name;
  layout.log_file = BaseFolder(env, "XDG_STATE_HOME", UnderHome(home, ".local/state")) + name + kLogFile;
  // The runtime folder is the user's own, in memory and emptied at log-out;
  // without a usable one (unset, or another user's kept by su or sudo), a
  // private folder in the cache.
  std::string runtime = BaseFolder(env, "XDG_RUNTIME_DIR", "");
  if (!runtime.empty() && !OwnFolder(runtime)) runtime.clear();
  layout.scratch_folder =
      (runtime.empty() ? BaseFolder(env, "XDG_CACHE_HOME", UnderHome(home, ".cache")) : runtime) + name;
  layout.default_output_folder = VideosFolder(env) + kPathSeparator + kOutputFolderName;
  layout.relative_base = WithSeparator(home);
  return layout;
}

DataLayout ResolveDataLayout(const std::string& program_folder, const Environment& env) {
  if (IsFolder(WithSeparator(program_folder) + kConfigFolder)) return ProgramFolderLayout(program_folder, env);
  return InstalledLayout(program_folder, env);
}

const DataLayout& CurrentDataLayout() {
  static const DataLayout layout = ResolveDataLayout(ExecutableFolder());
  return layout;
}

namespace {

// One line naming the folder, its use and the reason; empty without an error.
std::string FolderProblem(const std::string& folder, const char* purpose, int error) {
  if (error == 0) return {};
  return "Cannot create the folder \"" + WithoutSeparator(folder) + "\" for " + purpose + ": " + LastErrorText(error) +
         ".";
}

}  // namespace

std::string PrepareDataFolders(const DataLayout& layout) {
  if (!layout.installed) return {};
  const std::string log_folder = layout.log_file.substr(0, layout.log_file.rfind(kPathSeparator));
  std::string problems;
  for (const std::string& line :
       {FolderProblem(layout.config_folder, "the settings", MakeFolder(WithoutSeparator(layout.config_folder))),
        FolderProblem(log_folder, "the log", MakeFolder(log_folder)), PrepareScratchFolder(layout)})
    if (!line.empty()) problems += (problems.empty() ? "" : "\n") + line;
  return problems;
}

std::string PrepareScratchFolder(const DataLayout& layout) {
  if (!layout.installed) return {};
  return FolderProblem(layout.scratch_folder, "scratch files",
                       MakePrivateFolder(WithoutSeparator(layout.scratch_folder)));
}

}  // namespace platform
