#include "engine/fragments.h"

#include "engine/catalogue.h"

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

namespace fragments {

std::string CodecArgs(int output_type) {
  return Fragment(" ", EntryAt(catalogue::CodecArgList(), output_type), " -vcodec xvid -acodec mp3");
}

std::string VideoBitrateArg(const std::string& item) {
  return Fragment(" -b ", item, " -b 512");
}

std::string VideoSizeArg(const std::string& item) {
  return Fragment(" -s ", item, " -s 320x240");
}

std::string FrameRateArg(const std::string& item) {
  return Fragment(" -r ", item, " -r 25");
}

std::string AspectArg(const std::string& item) {
  return Fragment(" -aspect ", item, " -aspect 4:3");
}

std::string AudioBitrateArg(const std::string& item) {
  return Fragment(" -ab ", item, " -ab 64");
}

std::string VolumeArg(const std::string& item) {
  return Fragment(" -vol ", item, " ");
}

// The caption's first character is the channel count.
std::string ChannelsArg(const std::string& item) {
  return Fragment(" -ac ", item.substr(0, 1), " -ac 2");
}

std::string SampleRateArg(const std::string& item) {
  return Fragment(" -ar ", item, " -ar 44100");
}

std::string FormatArg(int output_type) {
  const std::string value = EntryAt(catalogue::FormatList(), output_type);
  return (value.empty() || value == "none") ? std::string() : " -f " + value;
}

std::string OutputExt(int output_type) {
  const std::string value = EntryAt(catalogue::ExtensionList(), output_type);
  return value.empty() ? ".avi" : value;
}

}  // namespace fragments
