#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include "shell/common_lib.h"

using namespace catalogue;

namespace {

// The item a list shows when filled from its table alone.
std::string DefaultItem(const TextList& table) {
  const int index = std::stoi(table.back());
  return table.at(static_cast<size_t>(index));
}

}  // namespace

TEST(Catalogue, EachListsDefaultIndexSelectsTheDocumentedEntry) {
  EXPECT_EQ(DefaultItem(OutputTypeList()), "Plim MPEG-4 Video Files (*.mp4)");
  EXPECT_EQ(DefaultItem(QualityLevelList()), "Normal Quality");
  EXPECT_EQ(DefaultItem(VideoSizeList()), "160x112");
  EXPECT_EQ(DefaultItem(VideoBitrateList()), "1000");
  EXPECT_EQ(DefaultItem(FrameRateList()), "25");
  EXPECT_EQ(DefaultItem(AspectRatioList()), "4:3");
  EXPECT_EQ(DefaultItem(AudioBitrateList()), "48");
  EXPECT_EQ(DefaultItem(AudioChannelsList()), "2 channels, Stereo");
  EXPECT_EQ(DefaultItem(AudioSampleList()), "48000");
  EXPECT_EQ(DefaultItem(VolumeGainList()), "200");
}

TEST(Catalogue, TablesHoldTheirEntriesInDisplayOrder) {
  EXPECT_EQ(FrameRateList(), (TextList{"14.985", "15", "23.967", "24", "25", "29.97", "30", "4"}));
  EXPECT_EQ(AudioBitrateList(), (TextList{"16", "32", "48", "64", "80", "128", "160", "192", "224", "2"}));
  const TextList volume = VolumeGainList();
  ASSERT_EQ(volume.size(), 22u);  // 21 entries and the default index
  EXPECT_EQ(volume.front(), "0");
  EXPECT_EQ(volume[1], "25");
  EXPECT_EQ(volume[20], "500");
  EXPECT_EQ(OutputTypeList().size(), 5u);
  EXPECT_EQ(QualityLevelList().size(), 6u);
}

TEST(Catalogue, OutputTypeTablesShareTheOutputTypePositions) {
  EXPECT_EQ(CodecArgList(),
            (TextList{"-vcodec mpeg4 -acodec aac", "-acodec aac -vn", "-acodec aac -vn", "-acodec mp3 -vn"}));
  EXPECT_EQ(ExtensionList(), (TextList{".mp4", ".aac", ".m4a", ".mp3"}));
  EXPECT_EQ(FormatList(), (TextList{"none", "none", "none", "none"}));
}

TEST(Catalogue, PresetsResolveToTheDocumentedChoices) {
  // For every level: size, rate, video bitrate, audio bitrate, and channels/sample
  // rate for the video-capable types and the audio-only types.
  struct Row {
    const char *size, *rate, *vbit, *abit, *ch_video, *sr_video;
  } rows[] = {{"320x240", "14.985", "256", "48", "1 channel, Mono", "22050"},
              {"320x240", "14.985", "512", "80", "2 channels, Stereo", "32000"},
              {"320x240", "15", "768", "128", "2 channels, Stereo", "44100"},
              {"320x240", "15", "1000", "192", "2 channels, Stereo", "44100"},
              {"320x240", "15", "1500", "224", "2 channels, Stereo", "48000"}};
  auto at = [](const TextList& table, const std::string& field) { return table.at(std::stoul(field)); };
  for (int type = 0; type < kOutputTypeCount; ++type) {
    for (int level = 0; level < kQualityLevelCount; ++level) {
      const auto fields = TCommonLib::SplitText(QualityPreset(type, level), '|');
      ASSERT_EQ(fields.size(), 6u);
      const Row& r = rows[level];
      EXPECT_EQ(at(VideoSizeList(), fields[0]), r.size);
      EXPECT_EQ(at(FrameRateList(), fields[1]), r.rate);
      EXPECT_EQ(at(VideoBitrateList(), fields[2]), r.vbit);
      EXPECT_EQ(at(AudioBitrateList(), fields[3]), r.abit);
      const bool audio_only = type == 1 || type == 3;
      EXPECT_EQ(at(AudioChannelsList(), fields[4]), audio_only ? "1 channel, Mono" : r.ch_video)
          << type << "/" << level;
      EXPECT_EQ(at(AudioSampleList(), fields[5]), audio_only ? "22050" : r.sr_video) << type << "/" << level;
    }
  }
}

TEST(Catalogue, PositionsOutsideThePresetTableGiveTheEmptyProfileValue) {
  EXPECT_EQ(QualityPreset(-1, 2), kEmptyProfileValue);
  EXPECT_EQ(QualityPreset(4, 2), kEmptyProfileValue);
  EXPECT_EQ(QualityPreset(0, kFirstCustomProfile), kEmptyProfileValue);
}
