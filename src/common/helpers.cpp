#include "common/helpers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/errors.h"
#include "platform/platform.h"

namespace {

// Local short date and long time, as the log line shows them.
std::string LogTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &local);
  return buf;
}

// One message, one line: a file name holding CR or LF must not forge log lines,
// so line breaks and other control characters (tabs aside) are written escaped.
std::string EscapeLogMessage(const std::string& message) {
  std::string out;
  out.reserve(message.size());
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if ((byte < 32 && c != '\t') || byte == 127) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void TAppFunc::WriteLog(const std::string& message) const {
  const std::string& path = log_file_;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "ab"), &std::fclose);
  if (!file) throw FileWriteError(path, platform::LastErrorText(errno));
  const std::string line = "Quorvan Soft " + LogTimestamp() + "|" + EscapeLogMessage(message) + "\r\n";
  if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size() || std::fflush(file.get()) != 0)
    throw FileWriteError(path, platform::LastErrorText(errno));
}

std::string TStrFunc::TextAfterLast(const std::string& text, const std::string& separator) {
  if (separator.empty()) return text;
  auto pos = text.rfind(separator);
  if (pos == std::string::npos) return text;
  // Everything after the first character of the last occurrence; for the
  // one-character separators in use that is the part after the separator.
  return text.substr(pos + 1);
}

std::vector<std::string> TFileFunc::ListFolderFiles(const std::string& folder,
                                                    const std::optional<std::string>& filter) {
  std::vector<std::string> result;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), &closedir);
  if (!dir) return result;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = folder + name;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (filter && GetFileExt(name) != *filter) continue;
    result.push_back(full);
  }
  return result;
}

std::string TFileFunc::GetFileFolder(const std::string& path) {
  auto slash = path.rfind(platform::kPathSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TFileFunc::GetFileExt(const std::string& path) {
  const std::string name = path.substr(GetFileFolder(path).size());
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string TFileFunc::AbsolutePath(const std::string& path, const std::string& base_folder) {
  if (path.empty() || path.front() == platform::kPathSeparator) return path;
  return base_folder + path;
}

std::string TFileFunc::NormalPath(const std::string& path, std::string base_folder) {
  if (base_folder.empty() || base_folder.back() != platform::kPathSeparator) base_folder += platform::kPathSeparator;
  return std::filesystem::path(AbsolutePath(path, base_folder)).lexically_normal().string();
}

std::string TFileFunc::GetFileBaseName(const std::string& path) {
  const std::string name = path.substr(GetFileFolder(path).size());
  auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string TFileFunc::MakeUniqueFileName(const std::string& path) {
  requested_base_name_ = GetFileBaseName(path);
  return SearchFreeName(path);
}

std::string TFileFunc::ReserveUniqueFileName(const std::string& path) {
  // Bounded: each pass either returns or counts one more name as taken.
  for (int attempt = 0; attempt < 10000; ++attempt) {
    const std::string candidate = MakeUniqueFileName(path);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    const int error = errno;
    Reserve(candidate);
    if (fd >= 0) {
      struct stat info {};
      if (::fstat(fd, &info) == 0) placeholders_[candidate] = {info.st_dev, info.st_ino};
      ::close(fd);
      return candidate;
    }
    // Taken by another run since the folder was read: the next name.
    if (error != EEXIST) return candidate;
  }
  return MakeUniqueFileName(path);
}

void TFileFunc::ReleaseReservation(const std::string& path) {
  const auto held = placeholders_.find(path);
  if (held == placeholders_.end()) return;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0 &&
      info.st_dev == held->second.first && info.st_ino == held->second.second)
    ::unlink(path.c_str());
  placeholders_.erase(held);
}

void TFileFunc::Reserve(const std::string& path) {
  reserved_.insert(GetFileFolder(path) + UpperAscii(GetFileBaseName(path)));
}

std::string TFileFunc::SearchFreeName(const std::string& first_candidate) {
  // Iterative form of the search step; ends because the folder is finite.
  std::string candidate = first_candidate;
  for (;;) {
    const std::string folder = GetFileFolder(candidate);
    const std::string base = GetFileBaseName(candidate);
    const std::string ext = GetFileExt(candidate);
    bool taken = reserved_.count(folder + UpperAscii(base)) > 0;
    for (const std::string& entry : ListFolderFiles(folder)) {
      if (SameTextAscii(GetFileBaseName(entry), base)) {
        taken = true;
        break;
      }
    }
    if (!taken) return folder + base + ext;
    if (base == requested_base_name_) {
      candidate = folder + base + "_1" + ext;
      continue;
    }
    // base is the requested name + "_" + a number: raise the number.
    const auto underscore = base.rfind('_');
    const std::string number = TStrFunc::TextAfterLast(base, "_");
    long long n = 0;
    try {
      n = std::stoll(number);
    } catch (const std::exception&) {
      n = 0;
    }
    candidate = folder + base.substr(0, underscore + 1) + std::to_string(n + 1) + ext;
  }
}

void SplitSkipEmpty(const std::string& text, char separator, std::vector<std::string>& list) {
  list.clear();
  std::string rest = text + separator;
  size_t start = 0;
  for (size_t pos = rest.find(separator); pos != std::string::npos; pos = rest.find(separator, start)) {
    if (pos > start) list.push_back(rest.substr(start, pos - start));
    start = pos + 1;
  }
}
