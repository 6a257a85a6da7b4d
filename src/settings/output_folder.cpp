#include "settings/output_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "ui/dialogs.h"

namespace settings {

namespace {

constexpr const char* kBrowseTitle = "Please select output folder:";
constexpr const char* kInvalidPath = "The path is invalid.";
constexpr const char* kReadOnlyPath = "This is a read-only path.";
constexpr const char* kProbeName = "test";
constexpr const char* kLineBreakPath = "The path must not contain a line break.";

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == platform::kPathSeparator) return folder + name;
  return folder + platform::kPathSeparator + name;
}

// The probe goes by "test". Only when a file (not a folder) already holds that
// name does it move to "test_1", "test_2", ...: a file named "test" says nothing
// about whether the folder can be written, so it must not get the folder refused.
std::string ProbePath(const std::string& folder) {
  std::string probe = JoinPath(folder, kProbeName);
  for (int n = 1; EntryExists(probe) && !IsFolder(probe); ++n)
    probe = JoinPath(folder, std::string(kProbeName) + "_" + std::to_string(n));
  return probe;
}

// The browser opens at the current output folder; one not made yet is shown
// through the nearest folder above it that exists.
std::string NearestExistingFolder(const std::string& folder) {
  std::filesystem::path path(folder);
  while (!path.empty() && !IsFolder(path.string())) {
    if (path == path.parent_path()) return {};
    path = path.parent_path();
  }
  return path.string();
}

}  // namespace

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return IsFolder(folder);
}

std::string ChooseOutputFolder(const std::string& current, const Messages& messages,
                               const std::function<bool(const std::string&)>& make_folders) {
  const std::optional<std::string> chosen =
      messages.dialogs.BrowseForFolder(kBrowseTitle, NearestExistingFolder(current));
  constexpr auto warning = ui::MessageKind::Warning;
  bool accepted = false;
  if (chosen) {
    // Such a folder would break the line it is saved on in UserSettings.ini.
    if (chosen->find_first_of("\r\n") != std::string::npos) {
      messages.Show(kLineBreakPath, warning);
    } else if (!IsFolder(*chosen)) {
      messages.Show(kInvalidPath, warning);
    } else {
      // Creating a sub-folder is the one test of writability that holds on every medium.
      const std::string probe = ProbePath(*chosen);
      const bool probe_existed = IsFolder(probe);
      accepted = make_folders(probe);
      // A "test" folder the user had stays; only our own probe is removed.
      if (!probe_existed) ::rmdir(probe.c_str());
      if (!accepted) messages.Show(kReadOnlyPath, warning);
    }
  }
  if (accepted) {
    if (!IsFolder(*chosen)) make_folders(*chosen);
    return *chosen;
  }
  // Failures are left to the conversion, which reports output folder problems itself.
  if (!IsFolder(current)) make_folders(current);
  return current;
}

}  // namespace settings
