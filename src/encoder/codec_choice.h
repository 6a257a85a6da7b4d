// Resolving codec and container names the way the FFmpeg tool resolves them.
#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace encoder {

struct EncoderChoice {
  const AVCodec* codec = nullptr;
  unsigned codec_tag = 0;  // a tag the stream must carry, 0 for the container's own
};

// The encoder for a name given with -vcodec or -acodec: an encoder of that name,
// else the encoder of the codec of that name ("mp3" finds the MP3 encoder); "xvid"
// is libxvid when present, else the native MPEG-4 encoder tagged XVID in AVI.
// Throws EncoderError for an unknown name or one of the wrong media type.
EncoderChoice FindEncoder(const std::string& name, AVMediaType type, const AVOutputFormat* muxer);

// The container's default encoder of that media type, or nothing when the
// container takes no such stream by default.
std::optional<EncoderChoice> DefaultEncoder(const AVOutputFormat* muxer, AVMediaType type);

// The muxer named by -f ("aac" means ADTS, as its file extension does), else the
// one the output path's extension implies. Throws EncoderError when there is none.
const AVOutputFormat* ChooseMuxer(const std::optional<std::string>& format, const std::string& output_path);

}  // namespace encoder
