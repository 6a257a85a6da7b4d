// Owning handles for the FFmpeg objects the encoder uses: each frees its object
// with the library's own release function, so every exit path cleans up.
#pragma once

#include <memory>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
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

}  // namespace encoder
