#include "platform/scratch_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace platform {

namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& parent, const std::string& prefix) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string pattern = WithSeparator(parent) + prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    UniqueFd fd(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Waits while a clean-up that found the folder still unlocked removes it;
    // a removed folder has no links left, and another is made.
    struct stat info {};
    if (fd && ::flock(fd.Get(), LOCK_EX) == 0 && ::fstat(fd.Get(), &info) == 0 && info.st_nlink > 0) {
      path_ = pattern + "/";
      lock_ = std::move(fd);
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

int RemoveDeadScratchFolders(const std::string& parent, const std::string& prefix) {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    UniqueFd fd(::open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || info.st_uid != ::getuid()) continue;
    // Held by a living run: not ours to touch.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
    std::error_code remove_error;
    if (std::filesystem::remove_all(entry.path(), remove_error) > 0) ++removed;
  }
  return removed;
}

}  // namespace platform
