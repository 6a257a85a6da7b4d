#include "engine/catalogue.h"
#include "engine/common_lib.h"
#include "ui/list_box.h"

namespace {

// The catalogue entry at the output type position, empty outside the table.
std::string EntryAt(const catalogue::TextList& table, int position) {
  if (position < 0 || position >= static_cast<int>(table.size())) return {};
  return table[static_cast<size_t>(position)];
}

// One rule for every list-backed fragment: the fallback unless the item is non-empty.
std::string Fragment(const std::string& prefix, const std::string& value, const std::string& fallback) {
  return value.empty() ? fallback : prefix + value;
}

}  // namespace

std::string TCommonLib::GetCodecArgs(int output_type) const {
  return Fragment(" ", EntryAt(catalogue::CodecArgList(), output_type), " -vcodec xvid -acodec mp3");
}

std::string TCommonLib::GetVideoBitrateArg(const ui::ListBox& list, int position) const {
  return Fragment(" -b ", list.ItemText(position), " -b 512");
}

std::string TCommonLib::GetVideoSizeArg(const ui::ListBox& list, int position) const {
  return Fragment(" -s ", list.ItemText(position), " -s 320x240");
}

std::string TCommonLib::GetFrameRateArg(const ui::ListBox& list, int position) const {
  return Fragment(" -r ", list.ItemText(position), " -r 25");
}

std::string TCommonLib::GetAspectArg(const ui::ListBox& list, int position) const {
  return Fragment(" -aspect ", list.ItemText(position), " -aspect 4:3");
}

std::string TCommonLib::GetAudioBitrateArg(const ui::ListBox& list, int position) const {
  return Fragment(" -ab ", list.ItemText(position), " -ab 64");
}

std::string TCommonLib::GetVolumeArg(const ui::ListBox& list, int position) const {
  return Fragment(" -vol ", list.ItemText(position), " ");
}

std::string TCommonLib::GetChannelsArg(const ui::ListBox& list, int position) const {
  // The caption's first character is the channel count.
  return Fragment(" -ac ", list.ItemText(position).substr(0, 1), " -ac 2");
}

std::string TCommonLib::GetSampleRateArg(const ui::ListBox& list, int position) const {
  return Fragment(" -ar ", list.ItemText(position), " -ar 44100");
}

std::string TCommonLib::GetFormatArg(int output_type) const {
  const std::string value = EntryAt(catalogue::FormatList(), output_type);
  return (value.empty() || value == "none") ? std::string() : " -f " + value;
}

std::string TCommonLib::GetOutputExt(int output_type) const {
  const std::string value = EntryAt(catalogue::ExtensionList(), output_type);
  return value.empty() ? ".avi" : value;
}
