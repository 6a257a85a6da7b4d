#include "common/version_resource.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "fakes.h"
#include "platform/platform.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A minimal ELF64 file: header, the given section's bytes, a section-name
// table, and three section headers (null, ours, names).
std::string MakeElf(const std::string& section_name, const std::string& data) {
  const std::string names = std::string("\0", 1) + section_name + std::string("\0.shstrtab\0", 11);
  Elf64_Ehdr eh{};
  std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
  eh.e_ident[EI_CLASS] = ELFCLASS64;
  eh.e_ident[EI_DATA] = ELFDATA2LSB;
  eh.e_ident[EI_VERSION] = EV_CURRENT;
  eh.e_type = ET_EXEC;
  eh.e_machine = EM_X86_64;
  eh.e_version = EV_CURRENT;
  eh.e_ehsize = sizeof(Elf64_Ehdr);
  eh.e_shentsize = sizeof(Elf64_Shdr);
  eh.e_shnum = 3;
  eh.e_shstrndx = 2;
  const uint64_t data_at = sizeof(Elf64_Ehdr);
  const uint64_t names_at = data_at + data.size();
  eh.e_shoff = names_at + names.size();
  Elf64_Shdr sh[3]{};
  sh[1].sh_name = 1;
  sh[1].sh_type = SHT_PROGBITS;
  sh[1].sh_offset = data_at;
  sh[1].sh_size = data.size();
  sh[2].sh_name = static_cast<uint32_t>(1 + section_name.size() + 1);
  sh[2].sh_type = SHT_STRTAB;
  sh[2].sh_offset = names_at;
  sh[2].sh_size = names.size();
  std::string out(reinterpret_cast<const char*>(&eh), sizeof eh);
  out += data + names;
  out.append(reinterpret_cast<const char*>(sh), sizeof sh);
  return out;
}

std::string Resource(std::initializer_list<std::pair<std::string, std::string>> entries) {
  std::string r = std::string("VTPCVERSIONINFO1") + '\0';
  for (const auto& [k, v] : entries) r += k + '\0' + v + '\0';
  return r + '\0';
}

const std::string kTranslation = "\\VarFileInfo\\Translation";
const std::string kFileVersion = "\\StringFileInfo\\080904E4\\FileVersion";

std::string VersionOf(TempDir& dir, const std::string& content) {
  WriteFile(dir.file("exe"), content);
  return GetFileVersionText(dir.file("exe"));
}

}  // namespace

TEST(VersionResource, TheProgramsOwnFileCarriesVersionTwoPointZero) {
  // This test executable carries the program's resource.
  EXPECT_EQ(GetFileVersionText(platform::ExecutablePath()), "2.0");
  auto resource = version_resource::Read(platform::ExecutablePath());
  ASSERT_TRUE(resource);
  EXPECT_EQ(version_resource::QueryTranslation(*resource), 0x04E40809u);
  EXPECT_EQ(version_resource::QueryValue(*resource, kFileVersion), "2.0.0.0");
}

TEST(VersionResource, FileVersionTexts) {
  TempDir dir;
  auto with = [&](const std::string& version) {
    return VersionOf(dir, MakeElf(".vtpc_version", Resource({{kTranslation, "080904E4"}, {kFileVersion, version}})));
  };
  EXPECT_EQ(with("2.0.0.0"), "2.0");
  EXPECT_EQ(with("3.7"), "3.7");
  EXPECT_EQ(with("1..2.5"), "1.2");  // empty parts are dropped
  EXPECT_EQ(with("4"), "4");
  EXPECT_EQ(with(""), "");
}

TEST(VersionResource, TheTranslationEntryPicksTheStringTable) {
  TempDir dir;
  // Language 0407, code page 04B0: the FileVersion under 080904E4 is not it.
  EXPECT_EQ(VersionOf(dir, MakeElf(".vtpc_version", Resource({{kTranslation, "040704B0"}, {kFileVersion, "2.0"}}))),
            "");
  EXPECT_EQ(
      VersionOf(dir, MakeElf(".vtpc_version", Resource({{kTranslation, "040704B0"},
                                                        {"\\StringFileInfo\\040704B0\\FileVersion", "5.1.0.0"}}))),
      "5.1");
  EXPECT_EQ(VersionOf(dir, MakeElf(".vtpc_version", Resource({{kFileVersion, "2.0"}}))), "");
  EXPECT_EQ(VersionOf(dir, MakeElf(".vtpc_version", Resource({{kTranslation, "0809"}, {kFileVersion, "2.0"}}))), "");
}

TEST(VersionResource, FilesWithoutAResourceGiveTheEmptyText) {
  TempDir dir;
  EXPECT_EQ(GetFileVersionText(dir.file("missing")), "");
  EXPECT_EQ(VersionOf(dir, ""), "");
  EXPECT_EQ(VersionOf(dir, "#!/bin/sh\necho hello\n"), "");
  EXPECT_EQ(VersionOf(dir, MakeElf(".other", Resource({{kTranslation, "080904E4"}, {kFileVersion, "2.0"}}))), "");
  EXPECT_EQ(VersionOf(dir, MakeElf(".vtpc_version", "WRONGMAGIC\0\0")), "");
}

TEST(VersionResource, DamagedHeadersAreRefusedWithoutReadingOutOfBounds) {
  TempDir dir;
  const std::string good = MakeElf(".vtpc_version", Resource({{kTranslation, "080904E4"}, {kFileVersion, "2.0"}}));
  ASSERT_EQ(VersionOf(dir, good), "2.0");
  // Cut short anywhere: never a crash, and no version from half a file.
  for (size_t cut = 1; cut < good.size(); cut += 7) EXPECT_EQ(VersionOf(dir, good.substr(0, cut)), "") << cut;
  // Our section's header, changed by the given edit (copied out and back: the
  // file's bytes need not be aligned for the header type).
  auto with_section = [&](const std::function<void(Elf64_Shdr&)>& edit) {
    std::string file = good;
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    Elf64_Shdr sh;
    const size_t at = eh.e_shoff + sizeof(Elf64_Shdr);
    std::memcpy(&sh, file.data() + at, sizeof sh);
    edit(sh);
    std::memcpy(file.data() + at, &sh, sizeof sh);
    return file;
  };
  // A section claiming to be huge or to lie beyond the end of the file.
  EXPECT_EQ(VersionOf(dir, with_section([](Elf64_Shdr& sh) { sh.sh_size = uint64_t{1} << 40; })), "");
  EXPECT_EQ(VersionOf(dir, with_section([](Elf64_Shdr& sh) { sh.sh_offset = uint64_t{1} << 62; })), "");
  // A section name offset past the name table.
  EXPECT_EQ(VersionOf(dir, with_section([](Elf64_Shdr& sh) { sh.sh_name = 100000; })), "");
  // An unterminated value is no value.
  std::string open_end = std::string("VTPCVERSIONINFO1") + '\0' + kTranslation + '\0' + "080904E4";
  EXPECT_EQ(VersionOf(dir, MakeElf(".vtpc_version", open_end)), "");
}
