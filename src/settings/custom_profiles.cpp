#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "platform/errors.h"
#include "settings/ini_file.h"
#include "settings/option_form.h"
#include "common/helpers.h"
#include "shell/program.h"
#include "ui/dialogs.h"

namespace {

constexpr const char* kProfileFile = "UserProfileInfo.ini";
constexpr const char* kCountFile = "UserProfileCount.ini";
constexpr const char* kCountKey = "count";
constexpr const char* kNamePrefix = "UserProfileInfo";
constexpr const char* kNamePrompt = "Plese input a name";
constexpr size_t kProfileFields = 6;
constexpr const char* kBadName =
    "A profile name must not contain \"=\", \"[\", \"]\", line breaks or other control characters.";

// The six lists a profile sets, in the order of the profile value's fields.
std::vector<ui::ListBox*> ProfileLists(TfrmOption& options) {
  return {&options.cbbVideoSize,    &options.cbbFramerate,     &options.cbbVideoBitrate,
          &options.cbbAudioBitrate, &options.cbbAudioChannels, &options.cbbAudioSample};
}

// Optional sign and decimal digits, the whole text, inside 32 bits.
int StrictInteger(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  bool valid = i < text.size();
  for (; valid && i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      valid = false;
    } else {
      value = value * 10 + (text[i] - '0');
      valid = value <= static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    }
  }
  if (negative) value = -value;
  if (!valid || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throw ConversionError("'" + text + "' is not a valid integer value");
  return static_cast<int>(value);
}

// Blanks around a name would make a section the store lists trimmed but never
// finds again, a profile that could not be applied: they are dropped.
std::string TrimName(const std::string& name) {
  size_t first = 0, last = name.size();
  while (first < last && static_cast<unsigned char>(name[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(name[last - 1]) <= 32) --last;
  return name.substr(first, last - first);
}

// Sections match without regard to letter case but keys exactly, so a name that
// differs from a stored one only in case would land as a second, unreadable key
// in that profile's section. Storing under the stored spelling updates that
// profile instead.
std::string StoredSpelling(const TCommonLib& lib, const std::string& name) {
  for (const std::string& stored : lib.ReadIniSections(kProfileFile))
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

std::string ProfileValueOf(TfrmOption& options) {
  std::string value;
  for (ui::ListBox* list : ProfileLists(options)) {
    if (!value.empty()) value += '|';
    value += std::to_string(list->ItemIndex());
  }
  return value;
}

void StoreProfile(const TCommonLib& lib, TfrmOption& options, const std::string& typed_name) {
  const std::string trimmed = TrimName(typed_name);
  if (!StorableName(trimmed)) {
    lib.ShowMessageBox(kBadName, ui::MessageKind::Warning);
    return;
  }
  const std::string name = StoredSpelling(lib, trimmed);
  TIniFile32(lib.ConfigPath(kProfileFile)).WriteString(name, name, ProfileValueOf(options));
}

}  // namespace

std::string TCustomProc::CustomProfileValue() const {
  const ui::ComboBox& box = program_.OptionForm().cbbCustomProfile;
  return program_.CommonLib().ReadNamedValue(kProfileFile, box.ItemText(box.ItemIndex()));
}

void TCustomProc::ApplyCustomProfile() {
  const std::string value = CustomProfileValue();
  if (value.empty()) return;
  const std::vector<std::string> fields = TCommonLib::SplitText(value, '|');
  // A value edited into another shape is ignored as a whole.
  if (fields.size() != kProfileFields) return;
  const std::vector<ui::ListBox*> lists = ProfileLists(program_.OptionForm());
  for (size_t i = 0; i < kProfileFields; ++i)
    if (!fields[i].empty()) lists[i]->SetItemIndex(StrictInteger(fields[i]));
}

void TCustomProc::AddCustomProfile() {
  const TCommonLib& lib = program_.CommonLib();
  // Counted before asking: a cancelled run still uses up its number.
  int64_t runs;
  {
    TIniFile32 counter(lib.ConfigPath(kCountFile));
    runs = static_cast<int64_t>(counter.ReadInteger(kCountKey, kCountKey, 0)) + 1;
    counter.WriteString(kCountKey, kCountKey, std::to_string(runs));
  }
  const std::optional<std::string> name =
      program_.dialogs().InputText(kApplicationTitle, kNamePrompt, kNamePrefix + std::to_string(runs));
  if (!name) return;
  // The profile file is opened only now, so nothing written while the prompt was
  // up is overwritten with an older copy.
  StoreProfile(lib, program_.OptionForm(), *name);
}

void TCustomProc::SaveCustomProfile() {
  const std::string name = TrimName(program_.OptionForm().cbbCustomProfile.Text());
  if (name.empty()) return;
  StoreProfile(program_.CommonLib(), program_.OptionForm(), name);
}

void TCustomProc::DeleteCustomProfile() {
  const ui::ComboBox& box = program_.OptionForm().cbbCustomProfile;
  if (box.Count() == 0) return;
  TIniFile32(program_.CommonLib().ConfigPath(kProfileFile)).EraseSection(TrimName(box.Text()));
}
