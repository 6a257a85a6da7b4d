// Owning handles for the FFmpeg objects the encoder uses: each frees its object
// with the library's own release function, so every exit path cleans up.
#pragma once

#include <memory>
#include <new>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace encoder {

struct InputFormatCloser {
  void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
// An output context owns the I/O context the library opened for it; one given
// by the caller (custom I/O) stays the caller's.
struct OutputFormatCloser {
  void operator()(AVFormatContext* ctx) const {
    if (ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE) && !(ctx->flags & AVFMT_FLAG_CUSTOM_IO)) avio_closep(&ctx->pb);
    avformat_free_context(ctx);
  }
};
struct CodecContextFreer {
  void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FilterGraphFreer {
  void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
struct FilterInOutFreer {
  void operator()(AVFilterInOut* inout) const { avfilter_inout_free(&inout); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatCloser>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFreer>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutFreer>;

inline FramePtr MakeFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}
inline PacketPtr MakePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

// An owned channel layout: a custom layout holds a channel map that must be
// freed, so a bare AVChannelLayout leaks on every early exit.
class ChannelLayout {
 public:
  ChannelLayout() = default;
  explicit ChannelLayout(const AVChannelLayout& layout) { CopyFrom(layout); }
  ChannelLayout(const ChannelLayout& other) { CopyFrom(other.layout_); }
  ChannelLayout& operator=(const ChannelLayout& other) {
    if (this != &other) {
      av_channel_layout_uninit(&layout_);
      CopyFrom(other.layout_);
    }
    return *this;
  }
  ~ChannelLayout() { av_channel_layout_uninit(&layout_); }

  // The usual layout for a number of channels.
  static ChannelLayout Default(int channels) {
    ChannelLayout layout;
    av_channel_layout_default(&layout.layout_, channels);
    return layout;
  }

  const AVChannelLayout& get() const { return layout_; }
  int channels() const { return layout_.nb_channels; }
  bool Same(const AVChannelLayout& other) const { return av_channel_layout_compare(&layout_, &other) == 0; }
  // Into a layout the library owns (a codec context's), replacing what it held.
  void CopyTo(AVChannelLayout* target) const {
    av_channel_layout_uninit(target);
    if (av_channel_layout_copy(target, &layout_) < 0) throw std::bad_alloc();
  }
  // "stereo", "5.1", as the filters take it.
  std::string Name() const {
    char text[128] = {};
    av_channel_layout_describe(&layout_, text, sizeof text);
    return text;
  }

 private:
  void CopyFrom(const AVChannelLayout& from) {
    if (av_channel_layout_copy(&layout_, &from) < 0) throw std::bad_alloc();
  }
  AVChannelLayout layout_{};
};

// Sources that only give a channel count get the usual layout for it, which
// the filters and encoders need.
inline void GiveDefaultOrder(AVChannelLayout* layout) {
  if (layout->order != AV_CHANNEL_ORDER_UNSPEC) return;
  const int channels = layout->nb_channels;
  av_channel_layout_uninit(layout);
  av_channel_layout_default(layout, channels);
}

}  // namespace encoder
