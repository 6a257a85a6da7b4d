// Reads how long a media file plays, with libavformat. Stands in for the private
// graph the source list builds for measuring durations.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace media {

// The file could not be measured; what() says why with the library's detail
// (for logs), reason() in a few words for the user: "no such file",
// "permission denied", "not a media file", "no video or audio stream", "no length".
class ProbeError : public AppError {
 public:
  ProbeError(const std::string& path, const std::string& reason, const std::string& detail = {})
      : AppError(path + ": " + reason + (detail.empty() ? "" : " (" + detail + ")")), reason_(reason) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

struct ProbeLimits {
  // Bytes read to recognise the format and the streams.
  int64_t probe_size = 5 * 1024 * 1024;
  // Stream time analysed for stream parameters, in microseconds.
  int64_t analyze_duration_us = 5 * 1000 * 1000;
  // Wall-clock bound of one probe: a damaged file may make the demuxer loop.
  int timeout_ms = 5000;
  // A file whose container states no length is measured from its packets'
  // times, reading at most this much of it.
  int64_t measure_bytes = 512 * 1024 * 1024;
};

// What a probe learns of a file.
struct MediaInfo {
  int64_t duration_ms = 0;
  // A video stream that can be decoded and is not just an attached picture
  // (the cover of a sound file).
  bool has_video = false;
};

class DurationProbe {
 public:
  explicit DurationProbe(ProbeLimits limits = {}) : limits_(limits) {}

  // Length of the file in milliseconds. Throws ProbeError when the path is no
  // regular readable file, the format is unknown or damaged, no audio or video
  // stream has a decoder here, or no length can be found: a container that
  // states none is measured from its packets' times.
  int64_t DurationMs(const std::string& path) const { return Probe(path).duration_ms; }
  // The length and the kind of streams, with the same checks and errors.
  MediaInfo Probe(const std::string& path) const;
  // Whether the file has a picture to convert; false for a sound file (a cover
  // picture is no video) and for a file that cannot be read.
  bool HasVideoStream(const std::string& path) const;

  const ProbeLimits& limits() const { return limits_; }

 private:
  ProbeLimits limits_;
};

// Whether the FFmpeg libraries print their own messages ("[mov,mp4,... @ 0x...]
// moov atom not found") on standard error; they do until told otherwise.
void ShowLibraryMessages(bool shown);

// Length from a Flash file's own header (frame count / frame rate), which the
// demuxer does not report. Nothing when the bytes are no readable header.
// The bytes are the start of the file, a few hundred are enough.
bool SwfHeaderDurationMs(const std::string& head, int64_t& duration_ms);

}  // namespace media
