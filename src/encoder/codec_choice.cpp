#include "encoder/codec_choice.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "encoder/encoder_error.h"

namespace encoder {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* TypeName(AVMediaType type) {
  return type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
}

bool IsAvi(const AVOutputFormat* muxer) {
  return muxer && std::strcmp(muxer->name, "avi") == 0;
}

}  // namespace

EncoderChoice FindEncoder(const std::string& given_name, AVMediaType type, const AVOutputFormat* muxer) {
  const std::string name = Lower(given_name);
  EncoderChoice choice;
  if (name == "xvid") {
    // Without libxvid the native MPEG-4 encoder writes the same kind of stream;
    // AVI players look for the XVID tag.
    choice.codec = avcodec_find_encoder_by_name("libxvid");
    if (!choice.codec) choice.codec = avcodec_find_encoder_by_name("mpeg4");
    if (IsAvi(muxer)) choice.codec_tag = MKTAG('X', 'V', 'I', 'D');
  } else {
    choice.codec = avcodec_find_encoder_by_name(name.c_str());
    if (!choice.codec || choice.codec->type != type) {
      if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.c_str())) {
        if (const AVCodec* codec = avcodec_find_encoder(descriptor->id)) choice.codec = codec;
      }
    }
  }
  if (!choice.codec) throw EncoderError(std::string("unknown ") + TypeName(type) + " codec \"" + given_name + "\"");
  if (choice.codec->type != type)
    throw EncoderError("\"" + given_name + "\" is not " + (type == AVMEDIA_TYPE_VIDEO ? "a video" : "an audio") +
                       " codec");
  return choice;
}

std::optional<EncoderChoice> DefaultEncoder(const AVOutputFormat* muxer, AVMediaType type) {
  const AVCodecID id = type == AVMEDIA_TYPE_VIDEO ? muxer->video_codec : muxer->audio_codec;
  // Audio containers that name PNG as their video codec mean cover art, not video.
  if (id == AV_CODEC_ID_NONE || id == AV_CODEC_ID_PNG) return std::nullopt;
  const AVCodec* codec = avcodec_find_encoder(id);
  if (!codec) {
    throw EncoderError(std::string("no encoder for the container's ") + TypeName(type) + " codec " +
                       avcodec_get_name(id) + "; choose one with " +
                       (type == AVMEDIA_TYPE_VIDEO ? "-vcodec" : "-acodec"));
  }
  return EncoderChoice{codec, 0};
}

const AVOutputFormat* ChooseMuxer(const std::optional<std::string>& format, const std::string& output_path) {
  if (format) {
    const std::string name = Lower(*format);
    if (const AVOutputFormat* muxer = av_guess_format(name.c_str(), nullptr, nullptr)) return muxer;
    if (const AVOutputFormat* muxer = av_guess_format(nullptr, ("output." + name).c_str(), nullptr)) return muxer;
    throw EncoderError("unknown container format \"" + *format + "\"");
  }
  const size_t slash = output_path.rfind('/');
  const std::string file_name = slash == std::string::npos ? output_path : output_path.substr(slash + 1);
  const size_t dot = file_name.rfind('.');
  if (dot != std::string::npos && dot + 1 < file_name.size()) {
    const std::string probe = "output" + Lower(file_name.substr(dot));
    if (const AVOutputFormat* muxer = av_guess_format(nullptr, probe.c_str(), nullptr)) return muxer;
  }
  throw EncoderError("cannot tell the container format from the name \"" + output_path + "\"; give one with -f");
}

}  // namespace encoder
