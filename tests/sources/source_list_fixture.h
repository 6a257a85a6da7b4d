// The source list's tests: a source folder with clips made on demand.
#pragma once

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "sources_fixture.h"
#include "test_media.h"

struct SourceListTest : SourcesTest {
  // A two-second clip (or another length) in the test folder.
  std::string Clip(const std::string& name, double seconds = 2) {
    const std::string path = t.dir.file(name);
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    testing_support::MakeClip(ext, seconds, path);
    return path;
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int r = 0; r < grid.RowCount(); ++r) paths.push_back(grid.Cell(r, 1));
    return paths;
  }
  std::string SavedInitDir() const {
    return TIniFile32(t.AppDir() + "Config/UserSettings.ini").ReadString("USRInfo", "InitDir", "");
  }
};
