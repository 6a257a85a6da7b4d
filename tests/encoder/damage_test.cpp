// Sources that are damaged, or change while they are read: the run ends, and
// either the output is sound or there is none.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fakes.h"
#include "harness.h"
#include "test_media.h"

namespace {

using encoder_test::Media;
using encoder_test::RunEncoder;
using Names = std::vector<std::string>;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

const std::vector<std::string> kMp4 = {"-vcodec", "mpeg4", "-acodec", "aac", "-b", "256", "-s", "320x240", "-r", "15"};
const std::vector<std::string> kMp3 = {"-acodec", "mp3", "-vn", "-ab", "64"};

// An FLV tag: its offset and kind (8 sound, 9 video).
struct FlvTag {
  size_t offset;
  int type;
};

std::vector<FlvTag> FlvTags(const std::string& data) {
  std::vector<FlvTag> tags;
  for (size_t at = 13; at + 11 <= data.size();) {
    tags.push_back({at, static_cast<uint8_t>(data[at]) & 0x1f});
    const size_t size = (static_cast<uint8_t>(data[at + 1]) << 16) | (static_cast<uint8_t>(data[at + 2]) << 8) |
                        static_cast<uint8_t>(data[at + 3]);
    at += 11 + size + 4;
  }
  return tags;
}

// The tag of a kind nearest the middle of the file.
size_t MiddleTag(const std::string& data, int type) {
  const auto tags = FlvTags(data);
  size_t best = 0;
  for (const FlvTag& tag : tags)
    if (tag.type == type && (best == 0 || tag.offset <= data.size() / 2)) best = tag.offset;
  return best;
}

uint32_t TagTime(const std::string& data, size_t tag) {
  return (static_cast<uint8_t>(data[tag + 7]) << 24) | (static_cast<uint8_t>(data[tag + 4]) << 16) |
         (static_cast<uint8_t>(data[tag + 5]) << 8) | static_cast<uint8_t>(data[tag + 6]);
}

void SetTagTime(std::string& data, size_t tag, uint32_t ms) {
  data[tag + 4] = static_cast<char>(ms >> 16);
  data[tag + 5] = static_cast<char>(ms >> 8);
  data[tag + 6] = static_cast<char>(ms);
  data[tag + 7] = static_cast<char>(ms >> 24);
}

class DamagedTimestamps : public ::testing::Test {
 protected:
  // Converts a damaged clip to MP4 and MP3; both must succeed within the
  // bound and hold the clip's length, not more.
  void ExpectSoundConversions(const std::string& damaged, const std::string& extension) {
    const std::string input = dir.file("damaged" + extension);
    testing_support::WriteFile(input, damaged);
    for (const auto* form : {&kMp4, &kMp3}) {
      const bool video = form == &kMp4;
      SCOPED_TRACE(video ? "to MP4" : "to MP3");
      const std::string output = dir.file(video ? "out.mp4" : "out.mp3");
      const auto run = RunEncoder("evc", encoder_test::EncoderArgs(input, *form, output), 30000);
      ASSERT_FALSE(run.timed_out);
      ASSERT_EQ(run.exit_code, 0) << run.err;
      std::string why;
      EXPECT_TRUE(encoder_test::PlaysThrough(output, &why)) << why;
      const auto info = encoder_test::Probe(output);
      EXPECT_NEAR(info.duration, encoder_test::kClipSeconds, 0.6);
      for (const auto& stream : info.streams) EXPECT_LE(stream.duration, encoder_test::kClipSeconds + 0.6);
      for (const std::string& line : encoder_test::StatusLines(run.err))
        EXPECT_LE(encoder_test::ReadProgressSeconds(line, video).value_or(0), 3) << line;
    }
  }
  testing_support::TempDir dir;
};

// One tag's extended-timestamp byte set to 1 puts it 4.6 hours ahead: once
// that gap was filled with copies for as long as anyone waited.
TEST_F(DamagedTimestamps, AClockLeapInOneTagIsTakenOutNotFilled) {
  const std::string clip = ReadBytes(Media("clip.flv"));
  for (const int type : {9, 8}) {
    SCOPED_TRACE(type == 9 ? "picture tag" : "sound tag");
    std::string damaged = clip;
    const size_t tag = MiddleTag(damaged, type);
    ASSERT_GT(tag, 0u);
    damaged[tag + 7] = 1;
    ExpectSoundConversions(damaged, ".flv");
  }
}

// The same damage on a stream's very first tag: there is no earlier time to
// measure a jump from, and taking the sound that follows as the jump once
// moved all of it 4.6 hours on and filled the gap with copies.
TEST_F(DamagedTimestamps, AClockLeapOnAStreamsFirstTagIsDamageNotTheStart) {
  const std::string clip = ReadBytes(Media("clip.flv"));
  for (const int type : {9, 8}) {
    SCOPED_TRACE(type == 9 ? "first picture tag" : "first sound tag");
    std::string damaged = clip;
    const auto tags = FlvTags(damaged);
    const auto first = std::find_if(tags.begin(), tags.end(), [&](const FlvTag& tag) { return tag.type == type; });
    ASSERT_NE(first, tags.end());
    damaged[first->offset + 7] = 1;
    ExpectSoundConversions(damaged, ".flv");
  }
}

// A header that states too short a length (a recording whose header was never
// updated): the streams' own times run on past it step by step, and are followed.
TEST_F(DamagedTimestamps, TimesThatRunFarPastAShortStatedLengthStepByStepAreFollowed) {
  const std::string source = dir.file("eight.flv");
  ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=s=160x120:r=25:d=8", "-f", "lavfi", "-i", "sine=duration=8", "-c:v",
                                         "flv1", "-c:a", "libmp3lame", source}),
            0);
  std::string damaged = ReadBytes(source);
  // onMetaData's "duration": a type byte 0, then a big-endian double.
  const size_t at = damaged.find("duration");
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(damaged[at + 8], '\0');
  const double stated = 1.0;
  uint64_t bits = 0;
  std::memcpy(&bits, &stated, sizeof bits);
  for (int i = 0; i < 8; ++i) damaged[at + 9 + i] = static_cast<char>(bits >> (56 - 8 * i));
  testing_support::WriteFile(source, damaged);
  ASSERT_NEAR(encoder_test::Probe(source).duration, 1, 0.1);

  const auto run = RunEncoder("evc", encoder_test::EncoderArgs(source, kMp4, dir.file("out.mp4")));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const auto& stream : encoder_test::Probe(dir.file("out.mp4")).streams)
    EXPECT_NEAR(stream.duration, 8, 0.3) << stream.type;
}

// A time half a second back once made the muxer refuse the stream and the
// whole run fail.
TEST_F(DamagedTimestamps, AClockStepBackIsMendedNotRefused) {
  const std::string clip = ReadBytes(Media("clip.flv"));
  for (const int type : {8, 9}) {
    SCOPED_TRACE(type == 9 ? "picture tag" : "sound tag");
    std::string damaged = clip;
    const size_t tag = MiddleTag(damaged, type);
    ASSERT_GT(tag, 0u);
    ASSERT_GT(TagTime(damaged, tag), 600u);
    SetTagTime(damaged, tag, TagTime(damaged, tag) - 500);
    ExpectSoundConversions(damaged, ".flv");
  }
}

// A video stream header whose time scale says each picture lasts 44 minutes,
// beside a sound stream of the true length.
TEST_F(DamagedTimestamps, APictureClockTooCoarseFollowsTheSound) {
  std::string damaged = ReadBytes(Media("clip.avi"));
  // The stream header's "strh", its size, then "vids" and the scale 20 bytes on.
  const size_t kind = damaged.find("vids");
  ASSERT_NE(kind, std::string::npos);
  damaged[kind + 22] = 1;  // the scale's third byte: 1 becomes 65537
  ExpectSoundConversions(damaged, ".avi");
}

// Two pictures 3000 s apart: the gap is real and filled, and a stop request
// still ends the run within a second with what was made so far.
TEST(LongRuns, AStopEndsTheFillingOfALongGapAtOnce) {
  ASSERT_EQ(encoder_test::Probe(Media("gap.mp4")).Find("video")->packets, 2) << "the test clip lost a picture";
  testing_support::TempDir dir;
  const std::string output = dir.file("gap.mp4");
  std::vector<std::string> argv = {encoder_test::EncoderPath("evc")};
  for (const std::string& arg : encoder_test::EncoderArgs(Media("gap.mp4"), kMp4, output)) argv.push_back(arg);
  encoder_test::ChildProcess child(argv);
  ASSERT_TRUE(encoder_test::ReachesSeconds(child, 2)) << child.err();
  const auto asked = std::chrono::steady_clock::now();
  child.Signal(SIGTERM);
  const auto result = child.Wait(5000);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
  ASSERT_TRUE(result) << "still running after a stop request";
  EXPECT_LT(took.count(), 1500);
  EXPECT_EQ(result->exit_code, 128 + SIGTERM) << result->err;
  EXPECT_TRUE(encoder_test::PlaysThrough(dir.file("gap.partial.mp4")));
  EXPECT_EQ(encoder_test::FolderEntries(dir.path()), Names{"gap.partial.mp4"});
}

// The quality of the last packets of some encoders is no quality at all; the
// status line shows only values a quantizer can have.
TEST(StatusValues, QualityStaysInTheQuantizerRange) {
  testing_support::TempDir dir;
  const std::string output = dir.file("out.mp4");
  const auto run = RunEncoder("evc", {"-y", "-i", Media("clip.avi"), "-vcodec", "libx264", "-acodec", "aac", output});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto lines = encoder_test::StatusLines(run.err);
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    const size_t q = line.find("q=");
    ASSERT_NE(q, std::string::npos) << line;
    const double quality = std::stod(line.substr(q + 2));
    EXPECT_GE(quality, 0) << line;
    EXPECT_LE(quality, 100) << line;
  }
}

// ---------------------------------------------------------------------------
// A source that changes while it is read.

class ChangingSource : public ::testing::Test {
 protected:
  // Starts a conversion of a copy of the 30-second stream and waits until a
  // second of output exists. Large pictures keep the encoder busy long
  // enough for the source to change under it.
  std::unique_ptr<encoder_test::ChildProcess> StartAndWait() {
    testing_support::WriteFile(input, ReadBytes(Media("long.ts")));
    std::vector<std::string> argv = {encoder_test::EncoderPath("evc"),
                                     "-y",
                                     "-i",
                                     input,
                                     "-vcodec",
                                     "mpeg4",
                                     "-acodec",
                                     "aac",
                                     "-b",
                                     "4000",
                                     "-s",
                                     "1280x960",
                                     "-r",
                                     "25",
                                     out_dir.file("out.mp4")};
    auto child = std::make_unique<encoder_test::ChildProcess>(argv);
    const bool progressed = child->ReadErrUntil(
        [](const std::string& err) {
          const auto lines = encoder_test::StatusLines(err);
          return !lines.empty() && encoder_test::ReadProgressSeconds(lines.back(), true).value_or(0) >= 1;
        },
        20000);
    EXPECT_TRUE(progressed) << child->err();
    return child;
  }
  testing_support::TempDir in_dir;
  testing_support::TempDir out_dir;
  const std::string input = in_dir.file("source.ts");
};

TEST_F(ChangingSource, ASourceCutShortIsAFailureThatLeavesNothing) {
  auto child = StartAndWait();
  // Cut at three quarters, far beyond what a second of output took.
  ASSERT_EQ(truncate(input.c_str(), static_cast<off_t>(ReadBytes(input).size() * 3 / 4)), 0);
  const auto result = child->Wait(120000);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->exit_code, 1) << result->err;
  EXPECT_EQ(encoder_test::LastLine(result->err),
            "evc: the input \"" + input + "\" was cut short during the conversion");
  EXPECT_TRUE(encoder_test::FolderEntries(out_dir.path()).empty());
}

TEST_F(ChangingSource, ADeletedSourceStillReadsToItsEnd) {
  auto child = StartAndWait();
  ASSERT_EQ(unlink(input.c_str()), 0);
  const auto result = child->Wait(120000);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->exit_code, 0) << result->err;
  EXPECT_NEAR(encoder_test::Probe(out_dir.file("out.mp4")).duration, 30, 0.2);
}

}  // namespace
