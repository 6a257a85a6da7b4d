// Every kind of source the converter meets, into each of its four output types
// with two quality presets, read back with the FFmpeg libraries.
#include <gtest/gtest.h>

#include "fakes.h"
#include "harness.h"

extern "C" {
#include <libavutil/macros.h>
}

namespace {

using encoder_test::Media;
using encoder_test::Probe;
using encoder_test::RunEncoder;

struct Preset {
  const char* name;
  const char* video_bitrate;
  const char* frame_rate;
  int rate_num, rate_den;
  const char* audio_bitrate;
  int video_type_channels, video_type_rate;  // output types with video and M4A
  int audio_type_channels, audio_type_rate;  // AAC and MP3
};

// Two of the catalogue's quality levels, as the presets resolve them.
constexpr Preset kLow = {"Low", "256", "14.985", 2997, 200, "48", 1, 22050, 1, 22050};
constexpr Preset kSuperb = {"Superb", "1500", "15", 15, 1, "224", 2, 48000, 1, 22050};

struct OutputType {
  const char* extension;
  bool video;
  const char* codec_args[4];
  const char* audio_codec;
  const char* container;  // demuxer name reading it back
};

const OutputType kOutputTypes[] = {
    {".mp4", true, {"-vcodec", "mpeg4", "-acodec", "aac"}, "aac", "mov,mp4,m4a,3gp,3g2,mj2"},
    {".aac", false, {"-acodec", "aac", "-vn", nullptr}, "aac", "aac"},
    {".m4a", false, {"-acodec", "aac", "-vn", nullptr}, "aac", "mov,mp4,m4a,3gp,3g2,mj2"},
    {".mp3", false, {"-acodec", "mp3", "-vn", nullptr}, "mp3", "mp3"},
};

// The command line of the converter's forms V and A for one preset.
std::vector<std::string> Command(const std::string& input, const OutputType& type, const Preset& preset,
                                 const std::string& output, int index) {
  std::vector<std::string> args = {"-y", "-i", input};
  for (const char* arg : type.codec_args)
    if (arg) args.push_back(arg);
  const bool m4a = index == 2;
  const int channels = type.video || m4a ? preset.video_type_channels : preset.audio_type_channels;
  const int rate = type.video || m4a ? preset.video_type_rate : preset.audio_type_rate;
  if (type.video) {
    args.insert(args.end(), {"-b", preset.video_bitrate, "-s", "320x240", "-r", preset.frame_rate, "-aspect", "4:3"});
  }
  args.insert(args.end(), {"-ab", preset.audio_bitrate, "-vol", "200", "-ac", std::to_string(channels), "-ar",
                           std::to_string(rate), output});
  return args;
}

struct Case {
  const char* source;
  int output_type;
};
// Readable test names in CTest's list.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.source << " to type " << c.output_type;
}

class ConversionMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(ConversionMatrix, GivesThePresetsStreamsForTheWholeSource) {
  const Case c = GetParam();
  const OutputType& type = kOutputTypes[c.output_type];
  testing_support::TempDir dir;
  std::string input = Media(c.source);
  std::string tool = "evc";
  if (std::string(c.source).ends_with(".rm")) {
    // RealMedia goes through revc and the converter's script.
    tool = "revc";
    input = dir.file("VideoFile.avs");
    testing_support::WriteFile(
        input, "DirectShowSource(\"" + Media(c.source) + "\", fps=29.9700898503294, convertfps=true)\r\n");
  }
  for (const Preset& preset : {kLow, kSuperb}) {
    SCOPED_TRACE(preset.name);
    const std::string output = dir.file(std::string("out_") + preset.name + type.extension);
    const auto run = RunEncoder(tool, Command(input, type, preset, output, c.output_type));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    // The last thing written is the final status line of the right form.
    const auto lines = encoder_test::StatusLines(run.err);
    ASSERT_FALSE(lines.empty()) << run.err;
    EXPECT_EQ(lines.back().rfind(type.video ? "frame=" : "size=", 0), 0u) << lines.back();
    EXPECT_EQ(encoder_test::ReadProgressSeconds(lines.back(), type.video), 3) << lines.back();

    const auto info = Probe(output);
    ASSERT_TRUE(info.opened);
    EXPECT_EQ(info.format, type.container);
    EXPECT_NEAR(info.duration, encoder_test::kClipSeconds, 0.15);
    const auto* audio = info.Find("audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->codec, type.audio_codec);
    const bool m4a = c.output_type == 2;
    EXPECT_EQ(audio->channels, type.video || m4a ? preset.video_type_channels : preset.audio_type_channels);
    EXPECT_EQ(audio->sample_rate, type.video || m4a ? preset.video_type_rate : preset.audio_type_rate);
    // ADTS cannot tell of the encoder's priming and padding: up to three frames more.
    const double audio_slack = c.output_type == 1 ? 3 * 1024.0 / audio->sample_rate : 0.1;
    EXPECT_NEAR(audio->duration, encoder_test::kClipSeconds, audio_slack);
    const auto* video = info.Find("video");
    if (type.video) {
      ASSERT_NE(video, nullptr);
      EXPECT_EQ(video->codec, "mpeg4");
      EXPECT_EQ(video->width, 320);
      EXPECT_EQ(video->height, 240);
      EXPECT_EQ(video->frame_rate_num, preset.rate_num);
      EXPECT_EQ(video->frame_rate_den, preset.rate_den);
      EXPECT_NEAR(video->display_aspect, 4.0 / 3.0, 0.01);
      // Whole source length, within one output frame; the last source picture
      // (1/25 s) lasts to its own end.
      EXPECT_NEAR(video->duration, encoder_test::kClipSeconds, 1.0 / 14.985 + 1.0 / 25 + 1e-3);
    } else {
      EXPECT_EQ(video, nullptr);
    }
    std::string why;
    EXPECT_TRUE(encoder_test::PlaysThrough(output, &why)) << why;
  }
  EXPECT_TRUE(encoder_test::TemporaryFiles(dir.path()).empty());
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const char* source :
       {"clip.avi", "clip.mpg", "clip.wmv", "clip.flv", "clip.mov", "clip.mp4", "clip.3gp", "clip.rm"})
    for (int type = 0; type < 4; ++type) cases.push_back({source, type});
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.source;
  name = name.substr(name.find('.') + 1) + "_to_" + (kOutputTypes[info.param.output_type].extension + 1);
  return name;
}

INSTANTIATE_TEST_SUITE_P(Sources, ConversionMatrix, ::testing::ValuesIn(AllCases()), CaseName);

TEST(ScriptInput, DeliversTheVideoAtTheScriptsRateWhenNoneIsAsked) {
  testing_support::TempDir dir;
  const std::string script = dir.file("VideoFile.avs");
  testing_support::WriteFile(
      script, "DirectShowSource(\"" + Media("clip.rm") + "\", fps=29.9700898503294, convertfps=true)\r\n");
  const std::string output = dir.file("clip.avi");
  const auto run = RunEncoder("revc", {"-y", "-i", script, "-vcodec", "xvid", "-acodec", "mp3", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto info = Probe(output);
  const auto* video = info.Find("video");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->codec, "mpeg4");
  EXPECT_EQ(video->codec_tag, static_cast<unsigned>(MKTAG('X', 'V', 'I', 'D')));
  EXPECT_EQ(video->frame_rate_num, 30000);
  EXPECT_EQ(video->frame_rate_den, 1001);
  // The source's own size is kept without -s.
  EXPECT_EQ(video->width, 160);
  EXPECT_EQ(video->height, 120);
  EXPECT_NEAR(video->duration, encoder_test::kClipSeconds, 1.0 / 29.97 + 1.0 / 25 + 1e-3);
  ASSERT_NE(info.Find("audio"), nullptr);
  EXPECT_EQ(info.Find("audio")->codec, "mp3");
}

TEST(OtherContainers, ThreeGppFormsAndAnExplicitFormat) {
  testing_support::TempDir dir;
  // Form N: mobile video with narrow-band audio settings.
  const std::string three_gp = dir.file("clip.3gp");
  auto run = RunEncoder("evc", {"-y", "-i", Media("clip.mov"), "-vcodec", "h263", "-acodec", "aac", "-s", "176x144",
                                "-b", "128", "-ab", "32", "-ac", "1", "-ar", "8000", three_gp});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto info = Probe(three_gp);
  ASSERT_NE(info.Find("video"), nullptr);
  EXPECT_EQ(info.Find("video")->codec, "h263");
  EXPECT_EQ(info.Find("audio")->sample_rate, 8000);
  EXPECT_EQ(info.Find("audio")->channels, 1);

  const std::string three_g2 = dir.file("clip.3g2");
  run = RunEncoder("evc",
                   {"-y", "-i", Media("clip.avi"), "-vcodec", "mpeg4", "-acodec", "aac", "-s", "176x144", three_g2});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(encoder_test::PlaysThrough(three_g2));

  // -f names the container whatever the extension says; "aac" means ADTS.
  const std::string named = dir.file("sound.bin");
  run = RunEncoder("evc", {"-y", "-i", Media("clip.wmv"), "-acodec", "aac", "-vn", "-f", "aac", named});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Probe(named).format, "aac");
}

TEST(OtherContainers, AudioOnlySourceToVideoOutputKeepsTheVideoStatusForm) {
  testing_support::TempDir dir;
  const std::string output = dir.file("tone.mp4");
  const auto run = RunEncoder("evc", {"-y", "-i", Media("tone.wav"), "-vcodec", "mpeg4", "-acodec", "aac", "-b", "768",
                                      "-s", "320x240", "-r", "15", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto info = Probe(output);
  EXPECT_EQ(info.Find("video"), nullptr);
  ASSERT_NE(info.Find("audio"), nullptr);
  // The converter reads video output's time from the fifth field.
  const auto lines = encoder_test::StatusLines(run.err);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(encoder_test::ReadProgressSeconds(lines.back(), true), 2);
}

}  // namespace
