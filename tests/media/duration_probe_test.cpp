#include "media/duration_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "fakes.h"
#include "shell/common_lib.h"
#include "test_media.h"

using media::DurationProbe;
using testing_support::MakeClip;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class EveryContainer : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryContainer, TwoSecondClipMeasuresTwoSeconds) {
  TempDir dir;
  const std::string path = dir.file("clip" + GetParam());
  MakeClip(GetParam(), 2, path);
  const int64_t ms = DurationProbe().DurationMs(path);
  EXPECT_GE(ms, 1950) << GetParam();
  EXPECT_LT(ms, 2200) << GetParam();
  EXPECT_EQ(TCommonLib::ProbeDurationSeconds(path, DurationProbe()), 2);
}

INSTANTIATE_TEST_SUITE_P(Probe, EveryContainer, ::testing::ValuesIn(testing_support::AcceptedContainers()),
                         [](const auto& info) { return info.param.substr(1); });

TEST(Probe, AClipUnderOneSecondMeasuresZeroWholeSeconds) {
  TempDir dir;
  MakeClip(".mp4", 0.8, dir.file("short.mp4"));
  const int64_t ms = DurationProbe().DurationMs(dir.file("short.mp4"));
  EXPECT_GT(ms, 700);
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(TCommonLib::ProbeDurationSeconds(dir.file("short.mp4"), DurationProbe()), 0);
}

TEST(Probe, FilesThatAreNoReadableMediaGiveZero) {
  TempDir dir;
  WriteFile(dir.file("empty.avi"), "");
  WriteFile(dir.file("notes.avi"), "These are my notes, not a video.\n");
  std::string noise(200000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
  WriteFile(dir.file("noise.mpg"), noise);
  MakeClip(".mp4", 2, dir.file("whole.mp4"));
  // The index sits at the end of this file: half of it cannot be played.
  const std::string whole = *testing_support::ReadFile(dir.file("whole.mp4"));
  WriteFile(dir.file("truncated.mp4"), whole.substr(0, whole.size() / 2));
  testing_support::MakeSubtitleOnlyClip(dir.file("subtitles.mp4"));
  std::filesystem::create_directory(dir.file("folder.avi"));
  ASSERT_EQ(::mkfifo(dir.file("pipe.avi").c_str(), 0600), 0);

  // Each refusal says why in a few words.
  const std::pair<const char*, const char*> refused[] = {{"empty.avi", "not a media file"},
                                                         {"notes.avi", "not a media file"},
                                                         {"noise.mpg", "not a media file"},
                                                         {"truncated.mp4", "not a media file"},
                                                         {"subtitles.mp4", "no video or audio stream"},
                                                         {"folder.avi", "not a regular file"},
                                                         {"pipe.avi", "not a regular file"},
                                                         {"missing.avi", "no such file"}};
  for (const auto& [name, reason] : refused) {
    try {
      DurationProbe().DurationMs(dir.file(name));
      ADD_FAILURE() << name << " was measured";
    } catch (const media::ProbeError& error) {
      EXPECT_EQ(error.reason(), reason) << name << ": " << error.what();
    }
    EXPECT_EQ(TCommonLib::ProbeDurationSeconds(dir.file(name), DurationProbe()), 0) << name;
  }
}

// Cut short, or with junk after its end, a WMV states no length; its packets
// still tell it.
TEST(Probe, AWmvThatStatesNoLengthIsMeasuredFromItsPackets) {
  TempDir dir;
  testing_support::MakeWmvsWithoutLength(dir.file("cut.wmv"), dir.file("junk after.wmv"));
  const std::pair<const char*, int64_t> expected[] = {{"cut.wmv", 1000}, {"junk after.wmv", 1950}};
  for (const auto& [name, least_ms] : expected) {
    const int64_t ms = DurationProbe().DurationMs(dir.file(name));
    EXPECT_GE(ms, least_ms) << name;
    EXPECT_LT(ms, 2200) << name;
  }
}

TEST(Probe, AFileWithoutReadPermissionGivesZero) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  MakeClip(".avi", 2, dir.file("locked.avi"));
  ::chmod(dir.file("locked.avi").c_str(), 0);
  EXPECT_EQ(TCommonLib::ProbeDurationSeconds(dir.file("locked.avi"), DurationProbe()), 0);
  try {
    DurationProbe().DurationMs(dir.file("locked.avi"));
  } catch (const media::ProbeError& error) {
    EXPECT_EQ(error.reason(), "permission denied");
  }
}

TEST(Probe, NamesAreTakenAsLocalFilesWhateverTheyHold) {
  TempDir dir;
  for (const std::string name : {"with blanks .avi", "quote\"d 'clip'.avi", "Ünïcødé Видео 動画.avi", "concat:x.avi",
                                 "-dash.avi", "http:host.avi"}) {
    MakeClip(".avi", 2, dir.file(name));
    EXPECT_EQ(TCommonLib::ProbeDurationSeconds(dir.file(name), DurationProbe()), 2) << name;
  }
  // A relative name with a colon is still a file, not a protocol.
  MakeClip(".avi", 2, dir.file("file:rel.avi"));
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(TCommonLib::ProbeDurationSeconds("file:rel.avi", DurationProbe()), 2);
  std::filesystem::current_path(cwd);
}

TEST(Probe, TheDeadlineInterruptsReading) {
  TempDir dir;
  MakeClip(".mpg", 2, dir.file("clip.mpg"));
  media::ProbeLimits past;
  past.timeout_ms = -1000;  // already over: every read is interrupted
  EXPECT_THROW(DurationProbe(past).DurationMs(dir.file("clip.mpg")), media::ProbeError);
  EXPECT_EQ(DurationProbe().DurationMs(dir.file("clip.mpg")) / 1000, 2);
}

TEST(Probe, AHugeFileOfZerosIsGivenUpAfterTheProbeSize) {
  TempDir dir;
  {
    std::ofstream out(dir.file("zeros.mpg"), std::ios::binary);
    out.seekp((int64_t{1} << 30) - 1);  // sparse: takes no disk space
    out.put('\0');
  }
  EXPECT_EQ(TCommonLib::ProbeDurationSeconds(dir.file("zeros.mpg"), DurationProbe()), 0);
}

// --- The Flash header fallback. ---

std::string SwfBody(unsigned rate_8_8, unsigned frames) {
  // A frame rectangle with 15-bit fields: 5 + 60 bits = 9 bytes.
  std::string body = {static_cast<char>(15 << 3), 0, 0, 0, 0, 0, 0, 0, 0};
  body += static_cast<char>(rate_8_8 & 0xff);
  body += static_cast<char>(rate_8_8 >> 8);
  body += static_cast<char>(frames & 0xff);
  body += static_cast<char>(frames >> 8);
  return body;
}

TEST(SwfHeader, FrameCountOverFrameRate) {
  int64_t ms = 0;
  ASSERT_TRUE(media::SwfHeaderDurationMs(std::string("FWS\x06\0\0\0\0", 8) + SwfBody(12 << 8, 300), ms));
  EXPECT_EQ(ms, 25000);
  ASSERT_TRUE(media::SwfHeaderDurationMs(std::string("FWS\x06\0\0\0\0", 8) + SwfBody(0x1800 | 0x80, 49), ms));
  EXPECT_EQ(ms, 2000);  // 24.5 frames per second
}

TEST(SwfHeader, CompressedHeaderIsInflated) {
  const std::string body = SwfBody(10 << 8, 35) + std::string(100, 'x');
  uLongf size = compressBound(body.size());
  std::string packed(size, '\0');
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
                     body.size()),
            Z_OK);
  packed.resize(size);
  int64_t ms = 0;
  ASSERT_TRUE(media::SwfHeaderDurationMs(std::string("CWS\x0a\0\0\0\0", 8) + packed, ms));
  EXPECT_EQ(ms, 3500);
}

TEST(SwfHeader, AnythingElseIsNoHeader) {
  int64_t ms = 77;
  EXPECT_FALSE(media::SwfHeaderDurationMs(std::string("ZWS\x0d\0\0\0\0", 8) + SwfBody(10 << 8, 35), ms));
  EXPECT_FALSE(media::SwfHeaderDurationMs(std::string("FWS\x06\0\0\0\0", 8) + SwfBody(0, 35), ms));
  EXPECT_FALSE(media::SwfHeaderDurationMs(std::string("FWS\x06\0\0\0\0", 8) + SwfBody(10 << 8, 35).substr(0, 10), ms));
  EXPECT_FALSE(media::SwfHeaderDurationMs(std::string("CWS\x06\0\0\0\0", 8) + "not zlib", ms));
  EXPECT_FALSE(media::SwfHeaderDurationMs("FWS", ms));
  EXPECT_EQ(ms, 77);
}

}  // namespace
