// TIniFile32: the program's own INI reader and writer. It loads the whole file,
// answers reads from its lines and rewrites the whole file after every write.
// Sections match without regard to letter case, keys match exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIniFile32 {
 public:
  // Loads the file if it exists; a missing file gives no lines. Throws
  // FileOpenError when the file exists but cannot be read or is not a regular
  // file (a FIFO would block).
  explicit TIniFile32(std::string file_name);

  const std::string& FileName() const { return file_name_; }
  const std::vector<std::string>& Lines() const { return lines_; }

  std::string ReadString(const std::string& section, const std::string& key, const std::string& default_value) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t default_value) const;

  // Every write rewrites the file; throws FileCreateError when it cannot, and the
  // file on disk keeps its former content. A symlink is written through to its
  // target; a folder that takes no new entries gets its file rewritten in place.
  // A section, key or value holding a line break is refused (AppError).
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void EraseSection(const std::string& section);

  // Empties the list and fills it with every header's section name, in file order.
  // Throws AssertionError without a list.
  void ReadSections(std::vector<std::string>* list) const;

 private:
  int FindSection(const std::string& section) const;
  static bool IsSectionLine(const std::string& line);
  static std::string KeyOfLine(const std::string& line);
  static std::string ValueOfLine(const std::string& line);
  void Save() const;

  std::string file_name_;
  std::vector<std::string> lines_;
};
