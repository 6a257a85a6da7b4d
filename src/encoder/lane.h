// One stream's way through a conversion: decoder, filters, encoder and output
// stream, with the timing each stage keeps. Shared by the transcoder's stage
// files; not part of its interface.
#pragma once

#include <cstdint>
#include <string>

#include "encoder/av_handles.h"
#include "encoder/codec_choice.h"

namespace encoder {

// The farthest a stream's clock may step ahead of itself, or of the other
// streams, before the step counts as damage.
inline constexpr int64_t kLeapUs = 10 * AV_TIME_BASE;
// How far past the end the container states a time may lie before it counts
// as damage, unless the stream's times lead there step by step.
inline constexpr int64_t kPastEndUs = 3 * AV_TIME_BASE;

struct Lane {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVStream* in_stream = nullptr;
  CodecContextPtr decoder;
  int64_t offset = 0;  // subtracted from decoded timestamps, in the input stream's time base

  FilterGraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  std::string chain;  // the filters between source and sink, kept for rebuilding

  EncoderChoice choice;
  CodecContextPtr encoder;
  AVStream* out_stream = nullptr;

  // Video.
  AVRational frame_rate{0, 1};
  int64_t next_video_us = AV_NOPTS_VALUE;  // on the output timeline
  // Set when the source has a steady rate above the output's: pictures the rate
  // conversion will drop need not be decoded, as far as nothing refers to them.
  int64_t source_frame_duration = 0;  // in the input stream's time base

  // Audio: what the graph was built for, and where the next frame should start.
  int graph_sample_rate = 0;
  AVSampleFormat graph_sample_format = AV_SAMPLE_FMT_NONE;
  ChannelLayout graph_layout;
  int64_t next_audio_pts = AV_NOPTS_VALUE;  // in 1/graph_sample_rate

  // Where the next packet's decoding time should be, to notice jumps.
  int64_t next_dts_us = AV_NOPTS_VALUE;
  // The input time of the latest frame decoded, in microseconds.
  int64_t latest_us = AV_NOPTS_VALUE;
  // Where the next frame to the encoder should start (encoder time base), and
  // the last decoding time given to the muxer (output stream time base): both
  // only move forward, whatever the source's timestamps did.
  int64_t next_encode_pts = AV_NOPTS_VALUE;
  int64_t last_out_dts = AV_NOPTS_VALUE;

  int64_t decoded_frames = 0;  // frames the decoder gave
  int64_t encoded_frames = 0;  // frames handed to the encoder

  bool input_done = false;       // nothing more goes into the filters
  bool filters_done = false;     // the filters have given all they will
  bool flush_submitted = false;  // the encoder's end is queued
  bool encoder_done = false;     // the encoder has given all it will (encoding thread only)

  // A time in the input stream's time base, in microseconds.
  int64_t Us(int64_t time) const { return av_rescale_q(time, in_stream->time_base, AV_TIME_BASE_Q); }
};

// What an audio encoder is opened for, and the filters convert to.
struct AudioFormat {
  int sample_rate = 0;
  ChannelLayout layout;
  AVSampleFormat sample_format = AV_SAMPLE_FMT_NONE;
};

// "num/den", as the filters take a rational.
inline std::string Rational(AVRational q) {
  return std::to_string(q.num) + "/" + std::to_string(q.den);
}

}  // namespace encoder
