// The FFmpeg interfaces that differ between the releases the encoder builds
// against (FFmpeg 5.1 on Debian 12, 7.1 on Debian 13), each behind one name.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace encoder::av {

// The data an AVIO write callback gets: const from libavformat 61 on.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteData = const uint8_t*;
#else
using WriteData = uint8_t*;
#endif

// How long a decoded frame lasts, in its stream's time base; 0 when unknown.
inline int64_t FrameDuration(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
  return frame->duration;
#else
  return frame->pkt_duration;
#endif
}

// The 3x3 display matrix a stream carries, or null. Newer demuxers keep it
// with the codec parameters only.
inline const int32_t* DisplayMatrix(const AVStream* stream) {
  constexpr size_t kMatrixSize = 9 * sizeof(int32_t);
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 29, 100)
  const AVCodecParameters* par = stream->codecpar;
  const AVPacketSideData* data =
      av_packet_side_data_get(par->coded_side_data, par->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  if (!data || data->size < kMatrixSize) return nullptr;
  return reinterpret_cast<const int32_t*>(data->data);
#else
  size_t size = 0;
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix || size < kMatrixSize) return nullptr;
  return reinterpret_cast<const int32_t*>(matrix);
#endif
}

// What an encoder takes, as a list ended the usual way (AV_PIX_FMT_NONE, 0,
// a zeroed layout), or null when it takes anything.
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
namespace detail {
template <typename T>
const T* Supported(const AVCodec* codec, AVCodecConfig config) {
  const void* list = nullptr;
  if (avcodec_get_supported_config(nullptr, codec, config, 0, &list, nullptr) < 0) return nullptr;
  return static_cast<const T*>(list);
}
}  // namespace detail
inline const AVPixelFormat* PixelFormats(const AVCodec* codec) {
  return detail::Supported<AVPixelFormat>(codec, AV_CODEC_CONFIG_PIX_FORMAT);
}
inline const AVSampleFormat* SampleFormats(const AVCodec* codec) {
  return detail::Supported<AVSampleFormat>(codec, AV_CODEC_CONFIG_SAMPLE_FORMAT);
}
inline const int* SampleRates(const AVCodec* codec) {
  return detail::Supported<int>(codec, AV_CODEC_CONFIG_SAMPLE_RATE);
}
inline const AVChannelLayout* ChannelLayouts(const AVCodec* codec) {
  return detail::Supported<AVChannelLayout>(codec, AV_CODEC_CONFIG_CHANNEL_LAYOUT);
}
#else
inline const AVPixelFormat* PixelFormats(const AVCodec* codec) {
  return codec->pix_fmts;
}
inline const AVSampleFormat* SampleFormats(const AVCodec* codec) {
  return codec->sample_fmts;
}
inline const int* SampleRates(const AVCodec* codec) {
  return codec->supported_samplerates;
}
inline const AVChannelLayout* ChannelLayouts(const AVCodec* codec) {
  return codec->ch_layouts;
}
#endif

}  // namespace encoder::av
