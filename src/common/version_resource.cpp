#include "common/version_resource.h"

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/helpers.h"

namespace version_resource {

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

bool ReadAt(FILE* file, uint64_t offset, void* buffer, size_t size) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file) == size;
}

// Section headers of either ELF class, reduced to what the lookup needs.
struct Section {
  uint32_t name;
  uint64_t offset;
  uint64_t size;
};

template <typename Ehdr, typename Shdr>
std::optional<std::string> FindSection(FILE* file, uint64_t file_size) {
  Ehdr header{};
  if (!ReadAt(file, 0, &header, sizeof header)) return std::nullopt;
  if (header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 || header.e_shstrndx >= header.e_shnum)
    return std::nullopt;
  if (header.e_shoff > file_size || header.e_shnum * uint64_t{sizeof(Shdr)} > file_size - header.e_shoff)
    return std::nullopt;
  std::vector<Section> sections;
  sections.reserve(header.e_shnum);
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Shdr sh{};
    if (!ReadAt(file, header.e_shoff + uint64_t{i} * sizeof(Shdr), &sh, sizeof sh)) return std::nullopt;
    sections.push_back({sh.sh_name, sh.sh_offset, sh.sh_size});
  }
  const Section& names = sections[header.e_shstrndx];
  if (names.offset > file_size || names.size > file_size - names.offset || names.size > (1u << 24)) return std::nullopt;
  std::string table(names.size, '\0');
  if (!ReadAt(file, names.offset, table.data(), table.size())) return std::nullopt;
  for (const Section& s : sections) {
    if (s.name >= table.size()) continue;
    if (std::strncmp(table.c_str() + s.name, kSectionName, table.size() - s.name) != 0) continue;
    if (s.size > kMaxSize || s.offset > file_size || s.size > file_size - s.offset) return std::nullopt;
    std::string data(s.size, '\0');
    if (!ReadAt(file, s.offset, data.data(), data.size())) return std::nullopt;
    return data;
  }
  return std::nullopt;
}

// Splits the resource into its NUL-ended texts after the magic line.
std::vector<std::string> Texts(const std::string& resource) {
  std::vector<std::string> texts;
  size_t pos = 0;
  while (pos < resource.size()) {
    const size_t end = resource.find('\0', pos);
    if (end == std::string::npos) break;  // an unterminated tail is not a text
    texts.push_back(resource.substr(pos, end - pos));
    pos = end + 1;
  }
  return texts;
}

}  // namespace

std::optional<std::string> Read(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  if (fseeko(file.get(), 0, SEEK_END) != 0) return std::nullopt;
  const off_t end = ftello(file.get());
  if (end < 0) return std::nullopt;
  const uint64_t file_size = static_cast<uint64_t>(end);
  unsigned char ident[EI_NIDENT] = {};
  if (!ReadAt(file.get(), 0, ident, sizeof ident)) return std::nullopt;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0) return std::nullopt;
  // Only files of this machine's byte order are read; the program carries its own.
  const unsigned char native = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ? ELFDATA2LSB : ELFDATA2MSB;
  if (ident[EI_DATA] != native) return std::nullopt;
  std::optional<std::string> data;
  if (ident[EI_CLASS] == ELFCLASS64)
    data = FindSection<Elf64_Ehdr, Elf64_Shdr>(file.get(), file_size);
  else if (ident[EI_CLASS] == ELFCLASS32)
    data = FindSection<Elf32_Ehdr, Elf32_Shdr>(file.get(), file_size);
  if (!data) return std::nullopt;
  const std::vector<std::string> texts = Texts(*data);
  if (texts.empty() || texts.front() != kMagic) return std::nullopt;
  return data;
}

std::optional<std::string> QueryValue(const std::string& resource, const std::string& key) {
  const std::vector<std::string> texts = Texts(resource);
  // texts[0] is the magic; then key, value pairs until an empty key.
  for (size_t i = 1; i + 1 < texts.size(); i += 2) {
    if (texts[i].empty()) break;
    if (SameTextAscii(texts[i], key)) return texts[i + 1];
  }
  return std::nullopt;
}

std::optional<uint32_t> QueryTranslation(const std::string& resource) {
  const auto value = QueryValue(resource, "\\VarFileInfo\\Translation");
  if (!value || value->size() != 8) return std::nullopt;
  uint32_t number = 0;
  for (char c : *value) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    number = number * 16 + static_cast<uint32_t>(digit);
  }
  // Stored as language then code page, four digits each.
  const uint32_t language = number >> 16, code_page = number & 0xFFFF;
  return language | (code_page << 16);
}

}  // namespace version_resource

std::string GetFileVersionText(const std::string& path) {
  const auto resource = version_resource::Read(path);
  if (!resource) return {};
  const auto translation = version_resource::QueryTranslation(*resource);
  if (!translation) return {};
  char key[64];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%.04X%.04X\\FileVersion", *translation & 0xFFFF,
                *translation >> 16);
  const auto version = version_resource::QueryValue(*resource, key);
  if (!version) return {};
  std::vector<std::string> parts;
  SplitSkipEmpty(*version, '.', parts);
  if (parts.empty()) return {};
  if (parts.size() == 1) return parts[0];
  return parts[0] + "." + parts[1];
}
