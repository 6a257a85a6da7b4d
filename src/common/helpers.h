// Small shared services: the log, file-name helpers and the choice of an output
// name not yet taken.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TAppFunc {
 public:
  explicit TAppFunc(std::string log_file) : log_file_(std::move(log_file)) {}

  // Appends "Quorvan Soft <date> <time>|<message>" and CR LF to the log file
  // (log.txt of the data layout); CR, LF and other control characters but tab in the message
  // are written escaped ("\r", "\n", "\x1B"), so every message stays one line.
  // Throws FileWriteError when the file cannot be written.
  void WriteLog(const std::string& message) const;

 private:
  std::string log_file_;
};

class TStrFunc {
 public:
  // The part after the last occurrence of the separator; the whole text without one.
  static std::string TextAfterLast(const std::string& text, const std::string& separator);
};

class TFileFunc {
 public:
  // Full paths of the non-folder entries of a folder (given with a trailing
  // separator), in the file system's order; only those whose extension equals
  // the filter exactly when one is given. Empty for a folder that cannot be read.
  static std::vector<std::string> ListFolderFiles(const std::string& folder,
                                                  const std::optional<std::string>& filter = std::nullopt);

  // File name without folder and without its last extension.
  static std::string GetFileBaseName(const std::string& path);

  // Folder part up to and including the last separator; empty when there is none.
  static std::string GetFileFolder(const std::string& path);

  // Extension of the file name from its last "." on, dot included; empty without one.
  static std::string GetFileExt(const std::string& path);

  // The path itself when absolute (or empty), else the path below the base folder
  // (given with a trailing separator).
  static std::string AbsolutePath(const std::string& path, const std::string& base_folder);
  // AbsolutePath without "." and ".." steps ("./a.avi" and "a.avi" are one file);
  // the base folder's trailing separator may be left out.
  static std::string NormalPath(const std::string& path, std::string base_folder);

  // A path in the same folder with the same extension whose base name no entry of
  // the folder has (compared without regard to letter case): clip.mp4, clip_1.mp4, ...
  std::string MakeUniqueFileName(const std::string& path);

  // Counts the path's base name as taken from now on, though no file has it yet:
  // an output being written in parallel appears only when its encoder ends.
  void Reserve(const std::string& path);

  // Base name of the path MakeUniqueFileName was last asked for.
  const std::string& RequestedBaseName() const { return requested_base_name_; }

  // MakeUniqueFileName, with the name also held on disk at once by an empty
  // file made with an exclusive create, so that every other run and program
  // instance sees it taken; a name taken meanwhile is skipped. Where nothing
  // can be created the name is only reserved here (the encoder then names the
  // reason).
  std::string ReserveUniqueFileName(const std::string& path);
  // Removes the empty file of a name handed out by ReserveUniqueFileName, if it
  // is still that same empty file: the job that was to replace it did not.
  void ReleaseReservation(const std::string& path);

 private:
  std::string SearchFreeName(const std::string& candidate);
  std::string requested_base_name_;
  // Folder + upper-cased base name of every reserved path.
  std::set<std::string> reserved_;
  // The files made by ReserveUniqueFileName: path, device and inode.
  std::map<std::string, std::pair<uint64_t, uint64_t>> placeholders_;
};

// Splits at a separator and keeps the non-empty parts: "1.2.5.2" gives 1, 2, 5, 2.
void SplitSkipEmpty(const std::string& text, char separator, std::vector<std::string>& list);

// ASCII letters folded, everything else compared byte for byte.
bool SameTextAscii(const std::string& a, const std::string& b);
std::string UpperAscii(std::string text);
std::string LowerAscii(std::string text);
