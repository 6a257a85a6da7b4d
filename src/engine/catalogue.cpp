#include "engine/catalogue.h"

#include "common/text.h"

namespace catalogue {

TextList OutputTypeList() {
  return {"Plim MPEG-4 Video Files (*.mp4)", "AAC Audio Files (*.aac)", "M4A MPEG Audio Files (*.m4a)",
          "MP3 Files (*.mp3)", "0"};
}

TextList QualityLevelList() {
  return {"Low Quality", "Acceptable Quality", "Normal Quality", "Excellent Quality", "Superb Quality", "2"};
}

TextList VideoSizeList() {
  return {"160x112", "320x240", "368x208", "0"};
}

TextList VideoBitrateList() {
  return {"256", "512", "768", "1000", "1500", "3"};
}

TextList FrameRateList() {
  return {"14.985", "15", "23.967", "24", "25", "29.97", "30", "4"};
}

TextList AspectRatioList() {
  return {"4:3", "16:9", "0"};
}

TextList AudioBitrateList() {
  return {"16", "32", "48", "64", "80", "128", "160", "192", "224", "2"};
}

TextList AudioChannelsList() {
  return {"1 channel, Mono", "2 channels, Stereo", "1"};
}

TextList AudioSampleList() {
  return {"22050", "32000", "44100", "48000", "3"};
}

TextList VolumeGainList() {
  TextList list;
  for (int v = 0; v <= 500; v += 25) list.push_back(std::to_string(v));
  list.push_back("8");
  return list;
}

TextList CodecArgList() {
  return {"-vcodec mpeg4 -acodec aac", "-acodec aac -vn", "-acodec aac -vn", "-acodec mp3 -vn"};
}

TextList FormatList() {
  return {"none", "none", "none", "none"};
}

TextList ExtensionList() {
  return {".mp4", ".aac", ".m4a", ".mp3"};
}

std::vector<TextList> QualityPresetTable() {
  const TextList video_types = {"1|0|0|2|0|0", "1|0|1|4|1|1", "1|1|2|5|1|2", "1|1|3|7|1|2", "1|1|4|8|1|3"};
  const TextList audio_types = {"1|0|0|2|0|0", "1|0|1|4|0|0", "1|1|2|5|0|0", "1|1|3|7|0|0", "1|1|4|8|0|0"};
  return {video_types, audio_types, video_types, audio_types};
}

std::string QualityPreset(int output_type, int quality_level) {
  if (output_type < 0 || output_type >= kOutputTypeCount) return kEmptyProfileValue;
  if (quality_level < 0 || quality_level >= kQualityLevelCount) return kEmptyProfileValue;
  return QualityPresetTable()[static_cast<size_t>(output_type)][static_cast<size_t>(quality_level)];
}

}  // namespace catalogue

std::string CatalogueItem(const std::vector<std::string>& table, int position) {
  if (position < 0 || position + 1 >= static_cast<int>(table.size())) return {};
  return table[static_cast<size_t>(position)];
}

int CatalogueDefault(const std::vector<std::string>& table) {
  int64_t value = 0;
  return (!table.empty() && text::ParseWholeNumber(table.back(), value) && value >= 0) ? static_cast<int>(value) : 0;
}
