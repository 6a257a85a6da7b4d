// The menu entry offers the program for every file type the list accepts: each
// accepted extension's MIME type (by the system's shared-mime-info) is listed.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/text.h"
#include "sources/source_list.h"

namespace {

std::set<std::string> ListedMimeTypes() {
  std::ifstream entry(VTPC_DESKTOP_ENTRY);
  std::string line;
  while (std::getline(entry, line))
    if (line.rfind("MimeType=", 0) == 0) {
      const auto types = text::SplitText(line.substr(9), ';');
      return {types.begin(), types.end()};
    }
  return {};
}

TEST(DesktopEntry, ListsTheMimeTypeOfEveryAcceptedExtension) {
  std::ifstream globs("/usr/share/mime/globs2");
  if (!globs) GTEST_SKIP() << "shared-mime-info is not installed";
  // weight:type:*.ext, one line per glob.
  std::map<std::string, std::set<std::string>> types_of;
  std::string line;
  while (std::getline(globs, line)) {
    const auto fields = text::SplitText(line, ':');
    if (fields.size() < 3 || fields[2].rfind("*.", 0) != 0) continue;
    const std::string ext = fields[2].substr(1);
    if (sources::AcceptedSourceExtension("clip" + ext)) types_of[ext].insert(fields[1]);
  }
  const std::set<std::string> listed = ListedMimeTypes();
  ASSERT_FALSE(listed.empty());
  EXPECT_GE(types_of.size(), 20u) << "the accepted extensions should be known to shared-mime-info";
  for (const auto& [ext, types] : types_of) {
    bool found = false;
    for (const std::string& type : types) found = found || listed.count(type) > 0;
    EXPECT_TRUE(found) << ext << " is accepted but none of its types is in the desktop entry";
  }
}

}  // namespace
