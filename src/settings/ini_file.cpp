#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include "common/helpers.h"
#include "platform/child_process.h"
#include "platform/errors.h"
#include "platform/platform.h"

namespace {

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlankOrControl(text[first])) ++first;
  while (last > first && IsBlankOrControl(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Splits at CR, LF and CR LF; a NUL ends the text.
std::vector<std::string> SplitLines(const std::string& raw) {
  std::string text = raw.substr(0, raw.find('\0'));
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Whole-text conversion to a 32-bit signed integer: optional sign, then decimal
// digits or "$" and hexadecimal digits.
bool ToInt32(const std::string& text, int32_t& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  }
  if (i >= text.size()) return false;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * base + digit;
    if (value > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int32_t>(value);
  return true;
}

constexpr const char* kNotRegular = "It is not a regular file.";

// Where a chain of symlinks ends; the path itself when it is no link. A dangling
// link gives the path it names, so the first write creates the file there.
std::string FinalTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return current;
    std::string link(buf, static_cast<size_t>(n));
    if (link.front() != '/') {
      const auto slash = current.rfind('/');
      link = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
    }
    current = link;
  }
  return current;  // A loop: the write fails with the system's own reason.
}

int WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Creates a temporary sibling under a fresh random name, so a stale one left by a
// crash (or a folder of that name) never blocks a save; the fd, or -1 and errno.
int CreateTemporary(const std::string& target, mode_t mode, std::string& temp) {
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temp = target + ".tmp" + suffix + "~";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes a temporary sibling and renames it over the target; 0 or the errno.
int WriteReplacing(const std::string& target, const std::string& content, const struct stat* old) {
  std::string temp;
  const int fd = CreateTemporary(target, old ? (old->st_mode & 07777) : 0644, temp);
  if (fd < 0) return errno;
  int error = WriteAll(fd, content);
  if (error == 0 && old) {
    // The new file keeps the old one's permissions and, where allowed, its owner
    // (root saving a user's settings must not take them away from the user).
    if (::fchmod(fd, old->st_mode & 07777) != 0) error = errno;
    if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Not ours to give away: the file becomes the writer's, as a rewrite would.
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

// Rewrites the existing file itself; 0 or the errno.
int WriteInPlace(const std::string& target, const std::string& content) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno;
  int error = WriteAll(fd, content);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

TIniFile32::TIniFile32(std::string file_name) : file_name_(std::move(file_name)) {
  struct stat st {};
  if (stat(file_name_.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return;
  // Opened without blocking and checked on the open file: a FIFO or a device
  // at the path would hang start-up or never end.
  const int fd = ::open(file_name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw FileOpenError(file_name_, platform::LastErrorText(errno));
  platform::UniqueFd file(fd);
  if (fstat(fd, &st) != 0) throw FileOpenError(file_name_, platform::LastErrorText(errno));
  if (!S_ISREG(st.st_mode)) throw FileOpenError(file_name_, kNotRegular);
  std::string raw;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileOpenError(file_name_, platform::LastErrorText(errno));
    if (n == 0) break;
    raw.append(buf, static_cast<size_t>(n));
  }
  lines_ = SplitLines(raw);
}

bool TIniFile32::IsSectionLine(const std::string& line) {
  const std::string t = Trim(line);
  return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

std::string TIniFile32::KeyOfLine(const std::string& line) {
  return Trim(line.substr(0, line.find('=')));
}

std::string TIniFile32::ValueOfLine(const std::string& line) {
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
}

int TIniFile32::FindSection(const std::string& section) const {
  const std::string header = "[" + section + "]";
  for (size_t i = 0; i < lines_.size(); ++i)
    if (SameTextAscii(lines_[i], header)) return static_cast<int>(i);
  return -1;
}

std::string TIniFile32::ReadString(const std::string& section, const std::string& key,
                                   const std::string& default_value) const {
  if (lines_.empty() || key.empty()) return default_value;
  const int header = FindSection(section);
  if (header < 0) return default_value;
  for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (IsSectionLine(line)) break;
    if (line.find('=') == std::string::npos || KeyOfLine(line) != key) continue;
    const std::string value = ValueOfLine(line);
    return value.empty() ? default_value : value;
  }
  return default_value;
}

int32_t TIniFile32::ReadInteger(const std::string& section, const std::string& key, int32_t default_value) const {
  std::string text = ReadString(section, key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  int32_t value;
  return ToInt32(text, value) ? value : default_value;
}

void TIniFile32::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  // A line break (or a NUL, which ends the text when read) would forge lines of
  // its own: the file is left as it is.
  for (const std::string* text : {&section, &key, &value})
    if (text->find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      throw AppError("\"" + *text + "\" cannot be stored in \"" + file_name_ + "\": it holds a line break.");
  std::vector<std::string> lines = lines_;
  const int header = FindSection(section);
  if (header < 0) {
    lines.push_back("");
    lines.push_back("[" + section + "]");
    if (!key.empty()) lines.push_back(key + "=" + value);
  } else {
    size_t i = static_cast<size_t>(header) + 1;
    for (; i < lines.size(); ++i) {
      if (IsSectionLine(lines[i])) break;
      if (lines[i].find('=') != std::string::npos && KeyOfLine(lines[i]) == key) break;
    }
    const bool at_key = i < lines.size() && !IsSectionLine(lines[i]);
    if (!key.empty()) {
      if (at_key)
        lines[i] = key + "=" + value;
      else
        lines.insert(lines.begin() + static_cast<long>(i), key + "=" + value);
    }
  }
  // The lines change only once the file holds them: a failed write loses nothing on disk.
  std::swap(lines_, lines);
  try {
    Save();
  } catch (...) {
    std::swap(lines_, lines);
    throw;
  }
}

void TIniFile32::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile32::EraseSection(const std::string& section) {
  const int header = FindSection(section);
  if (header < 0) return;
  std::vector<std::string> lines = lines_;
  size_t end = static_cast<size_t>(header) + 1;
  while (end < lines.size() && !IsSectionLine(lines[end])) ++end;
  lines.erase(lines.begin() + header, lines.begin() + static_cast<long>(end));
  if (header > 0) lines.insert(lines.begin() + header, "");
  std::swap(lines_, lines);
  try {
    Save();
  } catch (...) {
    std::swap(lines_, lines);
    throw;
  }
}

void TIniFile32::ReadSections(std::vector<std::string>* list) const {
  if (!list) throw AssertionError("Param Strings must be assigned (IniFiles32, line 174)");
  std::vector<std::string> names;
  for (const std::string& line : lines_) {
    if (!IsSectionLine(line)) continue;
    const std::string t = Trim(line);
    names.push_back(Trim(t.substr(1, t.size() - 2)));
  }
  *list = std::move(names);
}

void TIniFile32::Save() const {
  std::string content;
  for (const std::string& line : lines_) content += line + "\r\n";

  // A symlinked settings file is written where it points, so the link stays.
  const std::string target = FinalTarget(file_name_);
  // A read-only file stays unwritten, as it would for any user; root included.
  struct stat st {};
  const bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode))
    throw FileCreateError(file_name_, S_ISDIR(st.st_mode) ? platform::LastErrorText(EISDIR) : kNotRegular);
  if (exists && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    throw FileCreateError(file_name_, platform::LastErrorText(EACCES));

  // Write a sibling file under a fresh name and rename it over the old one, so a
  // failure half-way (a full disk) never leaves a truncated settings file.
  const int error = WriteReplacing(target, content, exists ? &st : nullptr);
  if (error == 0) return;
  // A folder that takes no new entries can still hold a writable file (and a
  // file mounted on its own cannot be replaced): rewrite that in place.
  if (exists && (error == EACCES || error == EPERM || error == EROFS || error == EBUSY || error == EXDEV)) {
    const int in_place = WriteInPlace(target, content);
    if (in_place == 0) return;
    throw FileCreateError(file_name_, platform::LastErrorText(in_place));
  }
  throw FileCreateError(file_name_, platform::LastErrorText(error));
}
