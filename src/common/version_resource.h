// The version resource an executable carries (the ".vtpc_version" ELF section),
// read from the file itself, and the queries made on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace version_resource {

inline constexpr const char* kSectionName = ".vtpc_version";
inline constexpr const char* kMagic = "VTPCVERSIONINFO1";
// A resource larger than this is not ours; refusing it keeps a hostile file from
// making us allocate without bound.
inline constexpr size_t kMaxSize = 64 * 1024;

// The raw resource of an ELF file, or nothing when the file has none (not
// readable, not ELF, no such section, a damaged header or a wrong magic).
std::optional<std::string> Read(const std::string& path);

// The value stored under a key such as "\VarFileInfo\Translation" or
// "\StringFileInfo\080904E4\FileVersion"; nothing when the key is absent.
std::optional<std::string> QueryValue(const std::string& resource, const std::string& key);

// The first translation entry: language in the low 16 bits, code page in the high.
std::optional<uint32_t> QueryTranslation(const std::string& resource);

}  // namespace version_resource

// The first two numbers of the file version joined by ".", "2.0" for "2.0.0.0";
// a version of one number gives that number. Empty when the file has no
// version resource, no translation entry or no FileVersion.
std::string GetFileVersionText(const std::string& path);
