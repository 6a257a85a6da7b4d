#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/helpers.h"
#include "common/text.h"
#include "platform/errors.h"
#include "settings/ini_file.h"
#include "settings/profiles.h"
#include "ui/dialogs.h"

namespace settings {

namespace {

constexpr const char* kCountFile = "UserProfileCount.ini";
constexpr const char* kCountKey = "count";
constexpr const char* kNamePrefix = "UserProfileInfo";
constexpr const char* kNamePrompt = "Please input a name";
constexpr const char* kBadName =
    "A profile name must not contain \"=\", \"[\", \"]\", line breaks or other control characters.";

// Optional sign and decimal digits, the whole text, inside 32 bits. Unlike the
// general number rule no blanks are allowed: a field edited that way is refused.
int StrictInteger(const std::string& field) {
  int64_t value = 0;
  if (field != text::TrimBlanks(field) || !text::ParseWholeNumber(field, value) ||
      value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throw ConversionError("'" + field + "' is not a valid integer value");
  return static_cast<int>(value);
}

// Sections match without regard to letter case but keys exactly, so a name that
// differs from a stored one only in case would land as a second, unreadable key
// in that profile's section. Storing under the stored spelling updates that
// profile instead.
std::string StoredSpelling(const std::string& config_folder, const std::string& name) {
  for (const std::string& stored : ReadIniSections(config_folder, kProfileFile))
    if (SameTextAscii(stored, name)) return stored;
  return name;
}

// A name is both a section header and a key: "=" would end the key early, the
// brackets make header lines of their own, and line breaks split the line. Such
// a profile could never be read back.
bool StorableName(const std::string& name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '=' || c == '[' || c == ']' || byte < 32 || byte == 127) return false;
  }
  return true;
}

std::string ProfileValueOf(const ProfileLists& lists) {
  std::string value;
  for (const ui::ListBox* list : lists) {
    if (!value.empty()) value += '|';
    value += std::to_string(list->ItemIndex());
  }
  return value;
}

// Blanks around a name would make a section the store lists trimmed but never
// finds again, a profile that could not be applied: they are dropped.
void StoreProfile(const std::string& config_folder, const ProfileLists& lists, const std::string& typed_name,
                  const Messages& messages) {
  const std::string trimmed = text::TrimBlanks(typed_name);
  if (!StorableName(trimmed)) {
    messages.Show(kBadName, ui::MessageKind::Warning);
    return;
  }
  const std::string name = StoredSpelling(config_folder, trimmed);
  TIniFile32(ConfigPath(config_folder, kProfileFile)).WriteString(name, name, ProfileValueOf(lists));
}

}  // namespace

std::string CustomProfileValue(const std::string& config_folder, const ui::ComboBox& box) {
  return ReadNamedValue(config_folder, kProfileFile, box.ItemText(box.ItemIndex()));
}

void ApplyCustomProfile(const std::string& config_folder, const ui::ComboBox& box, const ProfileLists& lists) {
  const std::string value = CustomProfileValue(config_folder, box);
  if (value.empty()) return;
  const std::vector<std::string> fields = text::SplitText(value, '|');
  // A value edited into another shape is ignored as a whole.
  if (fields.size() != lists.size()) return;
  for (size_t i = 0; i < lists.size(); ++i)
    if (!fields[i].empty()) lists[i]->SetItemIndex(StrictInteger(fields[i]));
}

void AddCustomProfile(const std::string& config_folder, const ProfileLists& lists, const Messages& messages) {
  // Counted before asking: a cancelled run still uses up its number.
  int64_t runs;
  {
    TIniFile32 counter(ConfigPath(config_folder, kCountFile));
    runs = static_cast<int64_t>(counter.ReadInteger(kCountKey, kCountKey, 0)) + 1;
    counter.WriteString(kCountKey, kCountKey, std::to_string(runs));
  }
  const std::optional<std::string> name =
      messages.dialogs.InputText(messages.caption, kNamePrompt, kNamePrefix + std::to_string(runs));
  if (!name) return;
  // The profile file is opened only now, so nothing written while the prompt was
  // up is overwritten with an older copy.
  StoreProfile(config_folder, lists, *name, messages);
}

void SaveCustomProfile(const std::string& config_folder, const ui::ComboBox& box, const ProfileLists& lists,
                       const Messages& messages) {
  const std::string name = text::TrimBlanks(box.Text());
  if (name.empty()) return;
  StoreProfile(config_folder, lists, name, messages);
}

void DeleteCustomProfile(const std::string& config_folder, const ui::ComboBox& box) {
  if (box.Count() == 0) return;
  TIniFile32(ConfigPath(config_folder, kProfileFile)).EraseSection(text::TrimBlanks(box.Text()));
}

}  // namespace settings
