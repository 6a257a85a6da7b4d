// Which source picture ends up where: rate conversion (with the decoding of
// dropped pictures skipped), clock jumps in MPEG streams, turned phone videos.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "fakes.h"
#include "harness.h"

namespace {

using encoder_test::LumaMeans;
using encoder_test::Media;
using encoder_test::Probe;
using encoder_test::RunEncoder;

// ramp.mov: picture i (25 per second) has luma 16 + 2i, B-pictures included.
double RampLuma(int picture) {
  return 16 + 2.0 * picture;
}

// The source picture a constant-rate output shows in slot `slot`: the last one
// whose time, rounded to the nearest slot, is not later.
int ShownPicture(int slot, double output_rate, int first_picture) {
  int shown = first_picture;
  for (int i = first_picture; i < 100; ++i) {
    if (std::llround((i - first_picture) * output_rate / 25.0) <= slot) shown = i;
  }
  return shown;
}

class RateConversion : public ::testing::TestWithParam<const char*> {};

TEST_P(RateConversion, EachSlotShowsTheRightSourcePicture) {
  const std::string rate = GetParam();
  const double output_rate = std::stod(rate);
  for (const bool trimmed : {false, true}) {
    SCOPED_TRACE(trimmed ? "from 1 s" : "from the start");
    testing_support::TempDir dir;
    const std::string output = dir.file("rate.mp4");
    std::vector<std::string> args = {"-y",   "-i", Media("ramp.mov"), "-vcodec", "mpeg4", "-acodec", "aac", "-b",
                                     "3000", "-s", "160x120",         "-r",      rate};
    if (trimmed) args.insert(args.end(), {"-ss", "00:00:01", "-t", "2"});
    args.push_back(output);
    const auto run = RunEncoder("evc", args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto means = LumaMeans(output, 12);
    ASSERT_EQ(means.size(), 12u);
    const int first = trimmed ? 25 : 0;
    for (int slot = 0; slot < 12; ++slot)
      EXPECT_NEAR(means[slot], RampLuma(ShownPicture(slot, output_rate, first)), 0.9) << "slot " << slot;
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, RateConversion, ::testing::Values("15", "12.5", "25"), [](const auto& info) {
  return "r" + std::to_string(static_cast<int>(std::stod(info.param)));
});

TEST(ClockJumps, JoinedMpegRecordingsKeepEveryPicture) {
  testing_support::TempDir dir;
  // Two recordings joined byte for byte: the clock starts again halfway.
  const std::string joined = dir.file("joined.mpg");
  {
    std::ofstream out(joined, std::ios::binary);
    for (int i = 0; i < 2; ++i) {
      std::ifstream in(Media("clip.mpg"), std::ios::binary);
      out << in.rdbuf();
    }
  }
  const std::string output = dir.file("joined.mp4");
  const auto run = RunEncoder("evc", {"-y", "-i", joined, "-vcodec", "mpeg4", "-acodec", "aac", "-r", "25", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto info = Probe(output);
  ASSERT_NE(info.Find("video"), nullptr);
  ASSERT_NE(info.Find("audio"), nullptr);
  EXPECT_NEAR(info.Find("video")->packets, 2 * 25 * encoder_test::kClipSeconds, 2);
  EXPECT_NEAR(info.Find("audio")->duration, 2 * encoder_test::kClipSeconds, 0.1);
}

TEST(TurnedVideo, IsTurnedUprightAsPlayersShowIt) {
  testing_support::TempDir dir;
  // The stored picture is white on the left; displayed, it is white at the bottom.
  ASSERT_EQ(Probe(Media("turned.mp4")).Find("video")->rotation, 90) << "the test clip is not filed turned";
  const std::string output = dir.file("upright.mp4");
  auto run = RunEncoder("evc", {"-y", "-i", Media("turned.mp4"), "-vcodec", "mpeg4", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto info = Probe(output);
  const auto* video = info.Find("video");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 120);
  EXPECT_EQ(video->height, 160);
  // Turned once: players must not turn it again.
  EXPECT_EQ(video->rotation, 0);
  const auto top = LumaMeans(output, 1, 0.0, 0.45);
  const auto bottom = LumaMeans(output, 1, 0.55, 1.0);
  ASSERT_FALSE(top.empty());
  ASSERT_FALSE(bottom.empty());
  EXPECT_LT(top[0], 40);
  EXPECT_GT(bottom[0], 200);
  // An unturned source stays as it is.
  const std::string plain = dir.file("plain.mp4");
  run = RunEncoder("evc", {"-y", "-i", Media("upright.mp4"), "-vcodec", "mpeg4", plain});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Probe(plain).Find("video")->width, 160);
}

TEST(DisplayAspect, IsWhatWasAskedWhateverTheFrameSize) {
  testing_support::TempDir dir;
  for (const auto& [aspect, expected] : {std::pair{"16:9", 16.0 / 9}, {"4:3", 4.0 / 3}}) {
    SCOPED_TRACE(aspect);
    const std::string output = dir.file("aspect.mp4");
    const auto run = RunEncoder("evc", {"-y", "-i", Media("clip.mp4"), "-vcodec", "mpeg4", "-acodec", "aac", "-s",
                                        "320x240", "-aspect", aspect, output});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto info = Probe(output);
    const auto* video = info.Find("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->width, 320);
    EXPECT_NEAR(video->display_aspect, expected, 0.01);
  }
  // Without -aspect, scaling keeps the source's shape on display.
  const std::string kept = dir.file("kept.mp4");
  const auto run = RunEncoder("evc", {"-y", "-i", Media("clip.mp4"), "-vcodec", "mpeg4", "-s", "320x180", kept});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NEAR(Probe(kept).Find("video")->display_aspect, 160.0 / 120, 0.01);
}

}  // namespace
