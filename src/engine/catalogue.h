// The fixed vocabulary of conversion choices: output types, option lists and
// quality presets. Each display list ends with its default index, which is
// never shown as an item.
#pragma once

#include <string>
#include <vector>

namespace catalogue {

using TextList = std::vector<std::string>;

// Display tables (last entry: decimal text of the default position).
TextList OutputTypeList();
TextList QualityLevelList();
TextList VideoSizeList();
TextList VideoBitrateList();
TextList FrameRateList();
TextList AspectRatioList();
TextList AudioBitrateList();
TextList AudioChannelsList();
TextList AudioSampleList();
TextList VolumeGainList();

// Output-type tables, indexed by the output type position (0 to 3).
TextList CodecArgList();
TextList FormatList();
TextList ExtensionList();

inline constexpr int kOutputTypeCount = 4;
inline constexpr int kQualityLevelCount = 5;
// A profile list position from here on designates a custom profile.
inline constexpr int kFirstCustomProfile = 5;

// The empty profile value: changes nothing.
inline constexpr const char* kEmptyProfileValue = "none|none|none|none|none|none";

// Quality presets: five profile values per output type.
std::vector<TextList> QualityPresetTable();

// Profile value of output type t and quality level q; the empty profile value
// when either lies outside the table.
std::string QualityPreset(int output_type, int quality_level);

}  // namespace catalogue

// The item at a position of a catalogue display table (its last entry, the
// default index, is no item); empty outside the items.
std::string CatalogueItem(const std::vector<std::string>& table, int position);
// The default position a catalogue display table names in its last entry.
int CatalogueDefault(const std::vector<std::string>& table);
