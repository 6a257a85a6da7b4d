// What a run comes to at its end: the name it commits under when the caller
// reserved one, pictures that last to their own end, video that yields no
// picture, and sources whose stream probe fails.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "encoder/output_file.h"
#include "fakes.h"
#include "harness.h"
#include "test_media.h"

namespace {

using encoder_test::LastLine;
using encoder_test::Media;
using encoder_test::Probe;
using encoder_test::RunEncoder;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::WriteFile;
using Names = std::vector<std::string>;

const std::vector<std::string> kMp4 = {"-vcodec", "mpeg4", "-acodec", "aac", "-s", "160x120"};
const std::vector<std::string> kMp3 = {"-acodec", "mp3", "-vn", "-ab", "64"};

// A job's encoder: the caller has reserved the output name.
struct ReservedRun {
  ReservedRun() { setenv(encoder::kReservedEnvironment, "1", 1); }
  ~ReservedRun() { unsetenv(encoder::kReservedEnvironment); }
};

double VideoSeconds(const std::string& path) {
  const auto info = Probe(path);
  const auto* video = info.Find("video");
  return video ? video->duration : 0;
}

TEST(ReservedName, OnlyTheJobsOwnEmptyPlaceholderIsReplaced) {
  testing_support::TempDir dir;
  const std::string placeholder = dir.file("clip.mp4");
  WriteFile(placeholder, "");
  {
    ReservedRun job;
    const auto run = RunEncoder("evc", encoder_test::EncoderArgs(Media("clip.avi"), kMp4, placeholder));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(LastLine(run.err), "output: " + placeholder);
    EXPECT_TRUE(encoder_test::PlaysThrough(placeholder));
    EXPECT_EQ(encoder_test::FolderEntries(dir.path()), Names{"clip.mp4"});

    // Someone else's files at the name and the next: both stay, whatever -y says.
    WriteFile(dir.file("taken.mp4"), "the user's own file");
    WriteFile(dir.file("taken_1.mp4"), "");
    const auto moved = RunEncoder("evc", encoder_test::EncoderArgs(Media("clip.avi"), kMp4, dir.file("taken.mp4")));
    ASSERT_EQ(moved.exit_code, 0) << moved.err;
    EXPECT_EQ(LastLine(moved.err), "output: " + dir.file("taken_2.mp4"));
    EXPECT_EQ(ReadFile(dir.file("taken.mp4")), "the user's own file");
    EXPECT_EQ(ReadFile(dir.file("taken_1.mp4")), "");
    EXPECT_TRUE(encoder_test::PlaysThrough(dir.file("taken_2.mp4")));
  }
  // By hand, -y keeps its meaning: what was named is replaced.
  const auto by_hand = RunEncoder("evc", encoder_test::EncoderArgs(Media("clip.avi"), kMp4, dir.file("taken.mp4")));
  ASSERT_EQ(by_hand.exit_code, 0) << by_hand.err;
  EXPECT_EQ(LastLine(by_hand.err), "output: " + dir.file("taken.mp4"));
  EXPECT_TRUE(encoder_test::PlaysThrough(dir.file("taken.mp4")));
}

// A picture lasts until its own end, the last one included: a title card held
// for 4 s, a slideshow at 0.5 pictures a second, a lone picture.
TEST(HeldPictures, TheLastPictureLastsUntilItsEnd) {
  testing_support::TempDir dir;
  struct Case {
    const char* name;
    const char* rate;
    bool sound;
  } cases[] = {{"card.mkv", "0.25", true}, {"slides.mkv", "0.5", false}, {"lone.mkv", "0.25", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir.file(c.name);
    std::vector<std::string> make = {"ffmpeg", "-v",    "error", "-y",
                                     "-f",     "lavfi", "-i",    std::string("color=c=red:s=160x120:d=4:r=") + c.rate};
    if (c.sound) make.insert(make.end(), {"-f", "lavfi", "-i", "sine=duration=4", "-c:a", "aac"});
    make.insert(make.end(), {"-c:v", "mpeg4", source});
    ASSERT_EQ(RunProgram(make), 0);
    const auto source_info = Probe(source);
    ASSERT_NE(source_info.Find("video"), nullptr);
    ASSERT_LE(source_info.Find("video")->packets, 2);

    const std::string output = dir.file(std::string("out-") + c.name + ".mp4");
    const auto run = RunEncoder("evc", encoder_test::EncoderArgs(source, kMp4, output));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NEAR(VideoSeconds(output), 4, 0.5);
  }
}

// The video codec data of a Matroska file zeroed, or the file cut to 2.5 KB:
// an MP4 of sound alone would pass for a conversion.
TEST(UndecodablePictures, AVideoOutputFailsWhileASourceWithoutPicturesGivesSound) {
  testing_support::TempDir dir;
  const std::string clip = ReadFile(Media("clip.mkv")).value_or("");
  ASSERT_FALSE(clip.empty());
  std::string zeroed = clip;
  // The first CodecPrivate element (the video track's), size in one byte.
  const size_t element = zeroed.find("\x63\xa2");
  ASSERT_NE(element, std::string::npos);
  const size_t size = static_cast<uint8_t>(zeroed[element + 2]) & 0x7f;
  std::fill(zeroed.begin() + static_cast<long>(element + 3), zeroed.begin() + static_cast<long>(element + 3 + size),
            '\0');
  for (const auto& [name, data] : {std::pair{"zeroed.mkv", zeroed}, std::pair{"cut.mkv", clip.substr(0, 2500)}}) {
    SCOPED_TRACE(name);
    const std::string source = dir.file(name);
    WriteFile(source, data);
    testing_support::TempDir out;
    const auto run = RunEncoder("evc", encoder_test::EncoderArgs(source, kMp4, out.file("out.mp4")));
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(LastLine(run.err).rfind("evc: ", 0), 0u) << run.err;
    EXPECT_TRUE(encoder_test::FolderEntries(out.path()).empty());
  }
  // Sound alone in, sound alone out, as before.
  const auto sound = RunEncoder("evc", encoder_test::EncoderArgs(Media("tone.wav"), kMp4, dir.file("tone.mp4")));
  ASSERT_EQ(sound.exit_code, 0) << sound.err;
  const auto info = Probe(dir.file("tone.mp4"));
  EXPECT_EQ(info.Find("video"), nullptr);
  EXPECT_NE(info.Find("audio"), nullptr);
}

// A transport stream whose picture payload is zeroed: the stream probe stops
// with "No start code is found", yet the sound decodes in full.
TEST(StreamProbe, AnErrorThereIsNotFatalWhenTheWantedStreamDecodes) {
  testing_support::TempDir dir;
  std::string data = ReadFile(Media("clip.ts")).value_or("");
  ASSERT_FALSE(data.empty());
  int zeroed = 0;
  for (size_t packet = 0; packet + 188 <= data.size(); packet += 188) {
    const int pid = ((static_cast<uint8_t>(data[packet + 1]) & 0x1f) << 8) | static_cast<uint8_t>(data[packet + 2]);
    if (pid != 0x100) continue;  // the muxer's first stream, the pictures
    size_t payload = packet + 4;
    if (static_cast<uint8_t>(data[packet + 3]) & 0x20) payload += 1 + static_cast<uint8_t>(data[packet + 4]);
    if (static_cast<uint8_t>(data[packet + 1]) & 0x40) payload += 9 + static_cast<uint8_t>(data[payload + 8]);
    for (size_t i = payload; i < packet + 188; ++i) data[i] = '\0';
    ++zeroed;
  }
  ASSERT_GT(zeroed, 10);
  const std::string source = dir.file("damaged.ts");
  WriteFile(source, data);

  const auto sound = RunEncoder("evc", encoder_test::EncoderArgs(source, kMp3, dir.file("sound.mp3")));
  ASSERT_EQ(sound.exit_code, 0) << sound.err;
  EXPECT_NEAR(Probe(dir.file("sound.mp3")).duration, encoder_test::kClipSeconds, 0.3);
  // The pictures were wanted too: that fails, with the reason.
  const auto video = RunEncoder("evc", encoder_test::EncoderArgs(source, kMp4, dir.file("video.mp4")));
  EXPECT_EQ(video.exit_code, 1) << video.err;
  EXPECT_EQ(LastLine(video.err), "evc: the video stream of \"" + source + "\" cannot be decoded");
}

}  // namespace
