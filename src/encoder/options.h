// The encoders' command line: the FFmpeg-style options the converter composes,
// in any order, with the output path as the last argument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace encoder {

struct FrameSize {
  int width = 0;
  int height = 0;
};

struct EncoderOptions {
  bool overwrite = false;                  // -y
  std::string input;                       // -i
  std::optional<std::string> video_codec;  // -vcodec
  std::optional<std::string> audio_codec;  // -acodec
  bool no_video = false;                   // -vn
  std::optional<int64_t> video_bitrate;    // -b, converted to bits per second
  std::optional<int64_t> audio_bitrate;    // -ab, converted to bits per second
  std::optional<FrameSize> frame_size;     // -s
  std::optional<AVRational> frame_rate;    // -r, already fit for an encoder time base
  std::optional<AVRational> aspect;        // -aspect, display aspect ratio
  std::optional<int> volume;               // -vol, 256 leaves the level unchanged
  std::optional<int> channels;             // -ac
  std::optional<int> sample_rate;          // -ar
  std::optional<std::string> format;       // -f
  std::optional<int64_t> start_us;         // -ss, microseconds
  std::optional<int64_t> length_us;        // -t, microseconds
  int threads = 0;                         // -threads; 0: as many as the machine has
  std::string output;                      // the last argument
  // Not an option: the caller reserved the output name (OutputFile).
  bool reserved_output = false;
};

// Parses the arguments after the program name. Throws EncoderError with a
// one-line reason for an unknown option, a missing or bad value, a missing
// input or output, or a negative start or length.
EncoderOptions ParseArguments(const std::vector<std::string>& args);

// A frame rate as written ("15", "14.985", "29.9700898503294", "30000/1001")
// made into a rational whose denominator fits the 16-bit time base some
// encoders (MPEG-4 part 2) demand. Throws EncoderError for anything else.
AVRational ParseFrameRate(const std::string& text);

// Brings a rate's denominator within 65535: rates a hair away from the NTSC
// family (k*1000/1001) snap to it, others take the nearest such fraction.
AVRational FitFrameRate(AVRational rate);

// "HH:MM:SS", "MM:SS", "SS" with optional fractions, possibly negative, in
// microseconds; nothing for text that is no time.
std::optional<int64_t> ParseTimeText(const std::string& text);

}  // namespace encoder
