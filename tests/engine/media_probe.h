// Reads a media file to its end with the FFmpeg libraries: how long it is and how
// much of it decodes. The end-to-end tests call a file playable when it opens
// and its streams decode.
#pragma once

#include <string>

namespace engine_tests {

struct MediaFacts {
  bool opened = false;
  double duration_s = 0;  // of the longest stream, from the decoded timestamps
  int video_frames = 0;
  int audio_frames = 0;
  int decode_errors = 0;
};

MediaFacts ProbeMedia(const std::string& path);

// Makes a test clip with Debian's ffmpeg tool: MPEG-4 video and MP2 audio in AVI.
// False when the tool is missing or fails.
bool MakeClip(const std::string& path, double seconds, const std::string& size = "160x120", int fps = 15);

}  // namespace engine_tests
