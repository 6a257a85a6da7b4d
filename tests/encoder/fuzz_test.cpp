// Damaged sources: mutants of small clips of several containers, made here
// from a fixed random seed, each converted to MP4 and to MP3 under a time
// bound. Whatever the damage, a run ends in time, and either succeeds with a
// playable file no longer than the clip (plus a second), or fails with a
// one-line reason and leaves nothing in the output folder but, for a source
// that gave out early, what it gave under the partial name.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "fakes.h"
#include "harness.h"

namespace {

using Bytes = std::string;

struct Mutant {
  std::string name;
  Bytes data;
};

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Offsets of the timestamp bytes a container keeps, for the damage players
// meet most: a clock that jumps.
std::vector<size_t> TimestampOffsets(const Bytes& data, const std::string& container) {
  std::vector<size_t> offsets;
  auto find_all = [&](const std::string& marker, size_t skip, size_t width) {
    for (size_t at = data.find(marker); at != Bytes::npos; at = data.find(marker, at + 1))
      for (size_t i = 0; i < width && at + skip + i < data.size(); ++i) offsets.push_back(at + skip + i);
  };
  if (container == "flv") {
    // Tags after the 9-byte header and the first back pointer: 24-bit time at
    // byte 4, its extension byte at 7, first.
    size_t tag = 13;
    while (tag + 11 <= data.size()) {
      for (size_t i : {7, 4, 5, 6}) offsets.push_back(tag + i);
      const size_t size = (static_cast<uint8_t>(data[tag + 1]) << 16) | (static_cast<uint8_t>(data[tag + 2]) << 8) |
                          static_cast<uint8_t>(data[tag + 3]);
      tag += 11 + size + 4;
    }
  } else if (container == "mpg" || container == "vob") {
    // PES headers of video and audio: the presentation time follows the flags.
    for (const char* marker : {"\x00\x00\x01\xe0", "\x00\x00\x01\xc0"}) find_all(std::string(marker, 4), 9, 5);
  } else if (container == "mp4") {
    // Sample durations and the media's clock.
    find_all("stts", 12, 8);
    find_all("mdhd", 16, 8);
  } else if (container == "avi") {
    // Stream headers: scale, rate and start.
    find_all("strh", 28, 12);
  } else if (container == "mp3") {
    // The frame count the length is computed from.
    find_all("Info", 8, 4);
    find_all("Xing", 8, 4);
  }
  return offsets;
}

// Byte flips, truncations at many offsets, zeroed ranges and damaged
// timestamps, the same for every run.
std::vector<Mutant> MakeMutants(const Bytes& seed, const std::string& container) {
  std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(container)));
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  std::vector<Mutant> mutants;
  for (int i = 0; i < 4; ++i) {
    Mutant m{"flip", seed};
    for (size_t n = 1 + below(3); n > 0; --n) {
      const size_t at = below(seed.size());
      m.data[at] = static_cast<char>(m.data[at] ^ (1 + below(255)));
      m.name += " " + std::to_string(at);
    }
    mutants.push_back(m);
  }
  for (double fraction : {0.02, 0.3, 0.6, 0.95}) {
    const size_t at = static_cast<size_t>(seed.size() * fraction);
    mutants.push_back({"cut at " + std::to_string(at), seed.substr(0, at)});
  }
  for (int i = 0; i < 2; ++i) {
    const size_t at = below(seed.size());
    const size_t length = std::min(seed.size() - at, 16 + below(2048));
    Mutant m{"zeros at " + std::to_string(at) + "+" + std::to_string(length), seed};
    std::memset(m.data.data() + at, 0, length);
    mutants.push_back(m);
  }
  const std::vector<size_t> stamps = TimestampOffsets(seed, container);
  for (int i = 0; i < 3 && !stamps.empty(); ++i) {
    // First the FLV case that once ran for ever: an extension byte set to 1.
    const size_t at = i == 0 ? stamps[below(std::max<size_t>(stamps.size() / 4, 1)) * 4] : stamps[below(stamps.size())];
    const uint8_t value = i == 0 ? 1 : static_cast<uint8_t>(below(256));
    Mutant m{"timestamp byte " + std::to_string(at) + "=" + std::to_string(value), seed};
    m.data[at] = static_cast<char>(value);
    mutants.push_back(m);
  }
  return mutants;
}

struct Seed {
  const char* media;
  const char* container;
};
void PrintTo(const Seed& seed, std::ostream* out) {
  *out << seed.media;
}

class DamagedSources : public ::testing::TestWithParam<Seed> {};

TEST_P(DamagedSources, EndInTimeWithAPlayableFileOrNothing) {
  const Seed seed = GetParam();
  const Bytes original = ReadBytes(encoder_test::Media(seed.media));
  ASSERT_FALSE(original.empty());
  const double source_seconds = encoder_test::Probe(encoder_test::Media(seed.media)).duration;
  ASSERT_GT(source_seconds, 0);
  const std::vector<std::string> mp4 = {"-vcodec", "mpeg4", "-acodec", "aac",     "-b",  "256",  "-s",
                                        "320x240", "-r",    "14.985",  "-aspect", "4:3", "-ab",  "48",
                                        "-vol",    "200",   "-ac",     "1",       "-ar", "22050"};
  const std::vector<std::string> mp3 = {"-acodec", "mp3", "-vn", "-ab", "48",   "-vol",
                                        "200",     "-ac", "1",   "-ar", "22050"};
  testing_support::TempDir dir;
  const std::string input = dir.file(std::string("mutant.") + seed.container);
  for (const Mutant& mutant : MakeMutants(original, seed.container)) {
    testing_support::WriteFile(input, mutant.data);
    for (const auto* form : {&mp4, &mp3}) {
      const bool video = form == &mp4;
      SCOPED_TRACE(mutant.name + (video ? " to MP4" : " to MP3"));
      testing_support::TempDir out_dir;
      const std::string output = out_dir.file(video ? "out.mp4" : "out.mp3");
      std::vector<std::string> args = {"-y", "-i", input};
      args.insert(args.end(), form->begin(), form->end());
      args.push_back(output);
      const auto run = encoder_test::RunEncoder("evc", args, 30000);
      ASSERT_FALSE(run.timed_out) << "still running after 30 s";
      ASSERT_EQ(run.signal, 0) << run.err;
      for (const char* report : {"Sanitizer", "runtime error"})
        EXPECT_EQ(run.err.find(report), std::string::npos) << run.err;
      if (run.exit_code != 0) {
        // A source that gave out early leaves what it gave under the partial name.
        const bool cut_short = run.err.find("evc: the source could be read for ") != std::string::npos;
        const std::vector<std::string> left = encoder_test::FolderEntries(out_dir.path());
        EXPECT_EQ(left, cut_short ? std::vector<std::string>{video ? "out.partial.mp4" : "out.partial.mp3"}
                                  : std::vector<std::string>{})
            << run.err;
        if (!cut_short) {
          EXPECT_EQ(encoder_test::LastLine(run.err).rfind("evc: ", 0), 0u) << run.err;
        }
        continue;
      }
      EXPECT_EQ(encoder_test::FolderEntries(out_dir.path()), std::vector<std::string>{video ? "out.mp4" : "out.mp3"});
      std::string why;
      EXPECT_TRUE(encoder_test::PlaysThrough(output, &why)) << why;
      const auto info = encoder_test::Probe(output);
      EXPECT_LE(info.duration, source_seconds + 1);
      for (const auto& stream : info.streams) EXPECT_LE(stream.duration, source_seconds + 1) << stream.type;
      // The status lines never claim more than the source holds.
      for (const std::string& line : encoder_test::StatusLines(run.err))
        EXPECT_LE(encoder_test::ReadProgressSeconds(line, video).value_or(0), source_seconds + 1) << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DamagedSources,
                         ::testing::Values(Seed{"clip.flv", "flv"}, Seed{"clip.mp4", "mp4"}, Seed{"clip.avi", "avi"},
                                           Seed{"clip.mpg", "mpg"}, Seed{"tone.mp3", "mp3"}, Seed{"clip.mkv", "mkv"},
                                           Seed{"clip.webm", "webm"}, Seed{"clip.ts", "ts"}, Seed{"clip.ogv", "ogv"},
                                           Seed{"clip.vob", "vob"}),
                         [](const auto& info) { return std::string(info.param.container); });

}  // namespace
