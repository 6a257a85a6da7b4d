#include <gtest/gtest.h>

#include "engine/catalogue.h"
#include "test_program.h"

namespace {

class Fragments : public ::testing::Test {
 protected:
  TCommonLib& lib() { return tp->CommonLib(); }

  // A list filled from a table, its selection at the table's default.
  static void Fill(ui::ListBox& list, const catalogue::TextList& table) {
    for (size_t i = 0; i + 1 < table.size(); ++i) list.Add(table[i]);
    list.SetItemIndex(std::stoi(table.back()));
  }

  testing_support::TestProgram tp;
};

}  // namespace

TEST_F(Fragments, NonEmptyItemsGiveTheOptionWithTheItemText) {
  ui::ListBox size, rate, vbit, aspect, abit, vol, ch, sr;
  Fill(size, catalogue::VideoSizeList());
  Fill(rate, catalogue::FrameRateList());
  Fill(vbit, catalogue::VideoBitrateList());
  Fill(aspect, catalogue::AspectRatioList());
  Fill(abit, catalogue::AudioBitrateList());
  Fill(vol, catalogue::VolumeGainList());
  Fill(ch, catalogue::AudioChannelsList());
  Fill(sr, catalogue::AudioSampleList());

  EXPECT_EQ(lib().GetVideoSizeArg(size, 1), " -s 320x240");
  EXPECT_EQ(lib().GetFrameRateArg(rate, 0), " -r 14.985");
  EXPECT_EQ(lib().GetVideoBitrateArg(vbit, 2), " -b 768");
  EXPECT_EQ(lib().GetAspectArg(aspect, 1), " -aspect 16:9");
  EXPECT_EQ(lib().GetAudioBitrateArg(abit, 5), " -ab 128");
  EXPECT_EQ(lib().GetVolumeArg(vol, vol.ItemIndex()), " -vol 200");
  EXPECT_EQ(lib().GetChannelsArg(ch, 0), " -ac 1");
  EXPECT_EQ(lib().GetChannelsArg(ch, 1), " -ac 2");
  EXPECT_EQ(lib().GetSampleRateArg(sr, 2), " -ar 44100");
}

TEST_F(Fragments, NoItemGivesTheFallbacks) {
  ui::ListBox empty;
  ui::ListBox one;
  one.Add("x");
  for (int pos : {ui::ListBox::kNone, 3}) {
    EXPECT_EQ(lib().GetVideoSizeArg(one, pos), " -s 320x240");
    EXPECT_EQ(lib().GetFrameRateArg(one, pos), " -r 25");
    EXPECT_EQ(lib().GetVideoBitrateArg(one, pos), " -b 512");
    EXPECT_EQ(lib().GetAspectArg(one, pos), " -aspect 4:3");
    EXPECT_EQ(lib().GetAudioBitrateArg(one, pos), " -ab 64");
    EXPECT_EQ(lib().GetChannelsArg(one, pos), " -ac 2");
    EXPECT_EQ(lib().GetSampleRateArg(one, pos), " -ar 44100");
  }
  // The volume falls back to one blank: two blanks in a row in the command.
  EXPECT_EQ(lib().GetVolumeArg(empty, ui::ListBox::kNone), " ");
}

TEST_F(Fragments, OutputTypeFragmentsComeFromTheCatalogue) {
  EXPECT_EQ(lib().GetCodecArgs(0), " -vcodec mpeg4 -acodec aac");
  EXPECT_EQ(lib().GetCodecArgs(1), " -acodec aac -vn");
  EXPECT_EQ(lib().GetCodecArgs(2), " -acodec aac -vn");
  EXPECT_EQ(lib().GetCodecArgs(3), " -acodec mp3 -vn");
  EXPECT_EQ(lib().GetOutputExt(1), ".aac");
  EXPECT_EQ(lib().GetOutputExt(2), ".m4a");
  for (int type = 0; type < 4; ++type) EXPECT_EQ(lib().GetFormatArg(type), "") << type;
  // Outside the table (never reached from the output type list) the fallbacks apply.
  EXPECT_EQ(lib().GetCodecArgs(7), " -vcodec xvid -acodec mp3");
  EXPECT_EQ(lib().GetOutputExt(-1), ".avi");
}

TEST_F(Fragments, TheParameterRecordStartsEmptyAndAppDirIsTheProgramFolder) {
  const TConvertParameterStruct& p = lib().ConvertParameter;
  for (const std::string* field :
       {&p.EncoderPath, &p.SourceFile, &p.CodecArgs, &p.TrimArg, &p.OutputDir, &p.OutputBaseName, &p.OutputExt})
    EXPECT_TRUE(field->empty());
  EXPECT_EQ(lib().AppDir, tp.AppDir());
  EXPECT_EQ(lib().AppDir.back(), '/');
}
