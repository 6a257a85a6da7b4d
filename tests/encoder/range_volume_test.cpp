// Trimming (-ss, -t) to the frame and sample, and the classic volume value.
#include <gtest/gtest.h>

#include <cmath>

#include "fakes.h"
#include "harness.h"

namespace {

using encoder_test::DecodeAudio;
using encoder_test::Media;
using encoder_test::Probe;
using encoder_test::RunEncoder;

// ramp.mov: picture N has luma 16 + 2N at 25 fps; silence until 2 s, then a
// tone of amplitude 0.5; key frames every 12 pictures.
constexpr double kRampLuma0 = 16;
constexpr double kRampLumaStep = 2;

TEST(Trimming, VideoStartsAtTheVeryFrameAskedAndLastsTheLength) {
  testing_support::TempDir dir;
  const std::string output = dir.file("cut.mp4");
  // 1 s is picture 25, between the key frames 24 and 36.
  const auto run = RunEncoder("evc", {"-y", "-i", Media("ramp.mov"), "-vcodec", "mpeg4", "-acodec", "aac", "-b", "3000",
                                      "-s", "160x120", "-r", "25", "-ss", "00:00:01", "-t", "2", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto means = encoder_test::LumaMeans(output, 3);
  ASSERT_EQ(means.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(means[i], kRampLuma0 + kRampLumaStep * (25 + i), 0.9) << "picture " << i;
  const auto info = Probe(output);
  const auto* video = info.Find("video");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->packets, 50);
  EXPECT_NEAR(video->duration, 2.0, 1.0 / 25 + 1e-3);
  ASSERT_NE(info.Find("audio"), nullptr);
  EXPECT_NEAR(info.Find("audio")->duration, 2.0, 1024.0 / 44100);
}

TEST(Trimming, AudioStartsAndEndsAtTheSampleAsked) {
  testing_support::TempDir dir;
  const std::string output = dir.file("cut.wav");
  const auto run = RunEncoder(
      "evc", {"-y", "-i", Media("ramp.mov"), "-acodec", "pcm_s16le", "-vn", "-ss", "00:00:01", "-t", "2", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto audio = DecodeAudio(output);
  EXPECT_EQ(audio.sample_rate, 44100);
  EXPECT_EQ(audio.samples.size(), 88200u);
  // The tone began at 2 s in the source, so at 1 s here.
  const auto onset = audio.FirstAbove(0.02f);
  ASSERT_TRUE(onset);
  EXPECT_GE(*onset, 44100u);
  EXPECT_LE(*onset, 44102u);
  EXPECT_LT(audio.Rms(0, 44090), 1e-4);
}

TEST(Trimming, EncodedAudioKeepsTheStartToWithinACodecFrame) {
  testing_support::TempDir dir;
  for (const char* extension : {".m4a", ".mp3"}) {
    SCOPED_TRACE(extension);
    const std::string output = dir.file(std::string("cut") + extension);
    const auto run =
        RunEncoder("evc", {"-y", "-i", Media("ramp.mov"), "-acodec", std::string(extension) == ".mp3" ? "mp3" : "aac",
                           "-vn", "-ab", "128", "-ac", "1", "-ar", "44100", "-ss", "00:00:01", "-t", "2", output});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto audio = DecodeAudio(output);
    const auto onset = audio.FirstAbove(0.1f);
    ASSERT_TRUE(onset);
    EXPECT_NEAR(static_cast<double>(*onset) / audio.sample_rate, 1.0, 0.005);
  }
}

TEST(Trimming, EveryOutputTypeHoldsTheLengthToWithinOneFrame) {
  testing_support::TempDir dir;
  struct Type {
    const char* extension;
    std::vector<std::string> codec;
    double frame_seconds;  // one frame of the output's slowest stream
  };
  const Type types[] = {
      {".mp4", {"-vcodec", "mpeg4", "-acodec", "aac", "-s", "320x240", "-r", "15"}, 1.0 / 15},
      {".aac", {"-acodec", "aac", "-vn", "-ar", "22050", "-ac", "1"}, 1024.0 / 22050},
      {".m4a", {"-acodec", "aac", "-vn", "-ar", "44100"}, 1024.0 / 44100},
      {".mp3", {"-acodec", "mp3", "-vn", "-ar", "22050", "-ac", "1"}, 1152.0 / 22050},
  };
  for (const Type& type : types) {
    SCOPED_TRACE(type.extension);
    const std::string output = dir.file(std::string("part") + type.extension);
    std::vector<std::string> args = {"-y", "-i", Media("clip.mp4")};
    args.insert(args.end(), type.codec.begin(), type.codec.end());
    args.insert(args.end(), {"-ss", "00:00:01", "-t", "1", output});
    const auto run = RunEncoder("evc", args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto info = Probe(output);
    if (const auto* video = info.Find("video")) {
      EXPECT_NEAR(video->duration, 1.0, type.frame_seconds);
    }
    // Sound as a player hears it: the decoder drops the priming the container
    // tells of. ADTS tells of none, so the encoder's priming frame stays.
    const auto audio = DecodeAudio(output);
    ASSERT_GT(audio.sample_rate, 0);
    const double heard = static_cast<double>(audio.samples.size()) / audio.sample_rate;
    const bool adts = std::string(type.extension) == ".aac";
    EXPECT_NEAR(heard, adts ? 1.0 + type.frame_seconds : 1.0, type.frame_seconds);
  }
}

TEST(Trimming, ZeroLengthGivesValidNearlyEmptyFiles) {
  testing_support::TempDir dir;
  const std::vector<std::vector<std::string>> codecs = {{"-vcodec", "mpeg4", "-acodec", "aac"},
                                                        {"-acodec", "aac", "-vn"},
                                                        {"-acodec", "aac", "-vn"},
                                                        {"-acodec", "mp3", "-vn"}};
  const char* extensions[] = {".mp4", ".aac", ".m4a", ".mp3"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(extensions[i]);
    const std::string output = dir.file(std::string("empty") + extensions[i]);
    std::vector<std::string> args = {"-y", "-i", Media("clip.avi")};
    args.insert(args.end(), codecs[i].begin(), codecs[i].end());
    // What the converter passes for a row whose start and end are both 00:00:00.
    args.insert(args.end(), {"-ss", "00:00:00", "-t", "0", output});
    const auto run = RunEncoder("evc", args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string why;
    EXPECT_TRUE(encoder_test::PlaysThrough(output, &why)) << why;
    const auto info = Probe(output);
    for (const auto& stream : info.streams) EXPECT_LT(stream.duration, 0.2) << stream.type;
  }
}

TEST(Trimming, AStartBeyondTheEndIsRefusedAndLeavesNoFile) {
  testing_support::TempDir dir;
  const std::string output = dir.file("late.mp3");
  const auto run = RunEncoder(
      "evc", {"-y", "-i", Media("clip.avi"), "-acodec", "mp3", "-vn", "-ss", "00:01:00", "-t", "10", output});
  EXPECT_NE(run.exit_code, 0);
  EXPECT_EQ(encoder_test::LastLine(run.err).rfind("evc: ", 0), 0u) << run.err;
  EXPECT_FALSE(testing_support::Exists(output));
  EXPECT_TRUE(encoder_test::TemporaryFiles(dir.path()).empty());
}

class Volume : public ::testing::Test {
 protected:
  // RMS of the steady middle of the tone, away from codec edges.
  static double MiddleRms(const encoder_test::AudioSamples& audio) {
    const size_t rate = static_cast<size_t>(audio.sample_rate);
    return audio.Rms(rate / 4, rate * 7 / 4);
  }
  double Convert(const std::string& volume, const std::string& codec, const std::string& extension) {
    const std::string output = dir_.file("tone_" + volume + extension);
    const auto run = RunEncoder("evc", {"-y", "-i", Media("tone.wav"), "-acodec", codec, "-vn", "-ab", "128", "-vol",
                                        volume, "-ac", "1", "-ar", "44100", output});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return MiddleRms(DecodeAudio(output));
  }
  testing_support::TempDir dir_;
};

TEST_F(Volume, TwoHundredFiftySixKeepsTheLevelAndFiveHundredTwelveDoublesIt) {
  const double source = MiddleRms(DecodeAudio(Media("tone.wav")));
  ASSERT_NEAR(source, 0.2 / std::sqrt(2.0), 0.005);
  EXPECT_NEAR(Convert("256", "pcm_s16le", ".wav") / source, 1.0, 0.002);
  EXPECT_NEAR(Convert("512", "pcm_s16le", ".wav") / source, 2.0, 0.004);
  EXPECT_NEAR(Convert("128", "pcm_s16le", ".wav") / source, 0.5, 0.002);
  EXPECT_LT(Convert("0", "pcm_s16le", ".wav"), 1e-4);
}

TEST_F(Volume, HoldsThroughTheCatalogueEncoders) {
  const double source = MiddleRms(DecodeAudio(Media("tone.wav")));
  for (const auto& [codec, extension] : {std::pair{"aac", ".m4a"}, {"aac", ".aac"}, {"mp3", ".mp3"}}) {
    SCOPED_TRACE(extension);
    const double kept = Convert("256", codec, extension);
    // Lossy encoders shift the level a little by themselves (LAME by about 0.4 dB).
    EXPECT_NEAR(kept / source, 1.0, 0.06);
    EXPECT_NEAR(Convert("512", codec, extension) / kept, 2.0, 0.04);
    EXPECT_NEAR(Convert("200", codec, extension) / kept, 200.0 / 256, 0.02);
  }
}

}  // namespace
