// A folder of scratch files (the RealMedia scripts of a run) that lives as
// long as its run. A run killed outright cannot remove it; the next run does:
// a living run holds a lock on its folder, so a folder nobody holds a lock on
// belongs to a run that is gone.
#pragma once

#include <string>

#include "platform/child_process.h"

namespace platform {

class ScratchFolder {
 public:
  // Makes "<parent>/<prefix>XXXXXX" and holds its lock. path() is empty when
  // the folder cannot be made.
  explicit ScratchFolder(const std::string& parent, const std::string& prefix = "vtp-convert-");
  // Removes the folder and its files.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // With a trailing separator; empty when none could be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  UniqueFd lock_;
};

// Removes the folders "<parent>/<prefix>*" of ours that no living run holds,
// with their files; returns how many went.
int RemoveDeadScratchFolders(const std::string& parent, const std::string& prefix = "vtp-convert-");

}  // namespace platform
