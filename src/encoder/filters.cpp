// Filters: the chains that trim, convert the rate, turn, scale and resample,
// and the timing of the frames that go into them.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "encoder/av_compat.h"
#include "encoder/encoder_error.h"
#include "encoder/lane.h"
#include "encoder/transcoder.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace encoder {
namespace {

std::string Seconds(int64_t us) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, us / AV_TIME_BASE, us % AV_TIME_BASE);
  return text;
}

// The clockwise turn, in whole quarter turns (0, 90, 180, 270), a stream's
// display matrix asks for.
int DisplayRotation(const AVStream* stream) {
  const int32_t* matrix = av::DisplayMatrix(stream);
  if (!matrix) return 0;
  const double counterclockwise = av_display_rotation_get(matrix);
  if (std::isnan(counterclockwise)) return 0;
  const long quarter = std::lround(-counterclockwise / 90.0);
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

}  // namespace

void Transcoder::BuildGraph(Lane& lane, const char* source_name, const std::string& source_args, const char* sink_name,
                            const std::string& chain) {
  lane.graph.reset(avfilter_graph_alloc());
  if (!lane.graph) throw std::bad_alloc();
  lane.graph->nb_threads = options_.threads;
  lane.source = nullptr;
  lane.sink = nullptr;
  auto fail = [&](int code) { throw EncoderError("cannot set up the filters \"" + chain + "\": " + Detail(code)); };
  int result = avfilter_graph_create_filter(&lane.source, avfilter_get_by_name(source_name), "in", source_args.c_str(),
                                            nullptr, lane.graph.get());
  if (result < 0) fail(result);
  result = avfilter_graph_create_filter(&lane.sink, avfilter_get_by_name(sink_name), "out", nullptr, nullptr,
                                        lane.graph.get());
  if (result < 0) fail(result);

  FilterInOutPtr outputs(avfilter_inout_alloc());
  FilterInOutPtr inputs(avfilter_inout_alloc());
  if (!outputs || !inputs) throw std::bad_alloc();
  outputs->name = av_strdup("in");
  outputs->filter_ctx = lane.source;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = lane.sink;
  AVFilterInOut* raw_inputs = inputs.release();
  AVFilterInOut* raw_outputs = outputs.release();
  result = avfilter_graph_parse_ptr(lane.graph.get(), chain.c_str(), &raw_inputs, &raw_outputs, nullptr);
  inputs.reset(raw_inputs);
  outputs.reset(raw_outputs);
  if (result < 0) fail(result);
  result = avfilter_graph_config(lane.graph.get(), nullptr);
  if (result < 0) fail(result);
}

// The output range on the shifted timeline, where 0 is the start asked for:
// what lies before 0 (decoded from the key frame before the start) and what
// lies beyond the length is cut, frame- and sample-accurately.
std::string Transcoder::TrimFilter(const char* name) const {
  std::vector<std::string> limits;
  if (options_.start_us) limits.push_back("start=0");
  if (options_.length_us && *options_.length_us > 0) limits.push_back("end=" + Seconds(*options_.length_us));
  if (limits.empty()) return {};
  std::string filter = std::string(name) + "=";
  for (size_t i = 0; i < limits.size(); ++i) filter += (i ? ":" : "") + limits[i];
  return filter + ",";
}

// Rate, turn, size, pixel format and shape of the pictures, in that order.
std::string Transcoder::VideoChain(const Lane& lane, AVPixelFormat pixel_format) const {
  const AVCodecContext* decoder = lane.decoder.get();
  std::string chain = TrimFilter("trim");
  // The rate comes first so only the frames kept are turned and scaled.
  chain += "fps=fps=" + Rational(lane.frame_rate) + ":start_time=0";
  // Pictures filmed upright on a phone carry a rotation that players apply.
  const int turn = DisplayRotation(lane.in_stream);
  if (turn == 90) chain += ",transpose=clock";
  if (turn == 180) chain += ",hflip,vflip";
  if (turn == 270) chain += ",transpose=cclock";
  const bool sideways = turn == 90 || turn == 270;
  const int width = options_.frame_size ? options_.frame_size->width : sideways ? decoder->height : decoder->width;
  const int height = options_.frame_size ? options_.frame_size->height : sideways ? decoder->width : decoder->height;
  chain += ",scale=" + std::to_string(width) + ":" + std::to_string(height);
  chain += std::string(",format=pix_fmts=") + av_get_pix_fmt_name(pixel_format);
  if (options_.aspect) chain += ",setdar=dar=" + Rational(*options_.aspect);
  return chain;
}

void Transcoder::SetUpVideo(Lane& lane) {
  const AVCodecContext* decoder = lane.decoder.get();
  lane.frame_rate = ChooseFrameRate(lane);
  lane.chain = VideoChain(lane, ChoosePixelFormat(lane));
  AVRational sample_aspect = lane.in_stream->codecpar->sample_aspect_ratio;
  if (sample_aspect.num <= 0 || sample_aspect.den <= 0) sample_aspect = AVRational{0, 1};
  // Pictures go to the filters in microseconds: some containers count in
  // steps too coarse to place a picture between two others.
  const std::string source_args = "video_size=" + std::to_string(decoder->width) + "x" +
                                  std::to_string(decoder->height) +
                                  ":pix_fmt=" + av_get_pix_fmt_name(decoder->pix_fmt) +
                                  ":time_base=" + Rational(AV_TIME_BASE_Q) + ":pixel_aspect=" + Rational(sample_aspect);
  BuildGraph(lane, "buffer", source_args, "buffersink", lane.chain);
  OpenVideoEncoder(lane);
}

void Transcoder::SetUpAudio(Lane& lane) {
  const AudioFormat format = ChooseAudioFormat(lane);
  std::string chain = TrimFilter("atrim");
  // The classic volume value: 256 leaves the level alone.
  if (options_.volume && *options_.volume != 256)
    chain += "volume=volume=" + std::to_string(*options_.volume) + "/256:precision=float,";
  chain += "aresample=" + std::to_string(format.sample_rate);
  chain += std::string(",aformat=sample_fmts=") + av_get_sample_fmt_name(format.sample_format) +
           ":sample_rates=" + std::to_string(format.sample_rate) + ":channel_layouts=" + format.layout.Name();
  lane.chain = chain;
  OpenAudioEncoder(lane, format);
  BuildAudioGraph(lane, nullptr);
}

// Builds the audio filters for the decoder's parameters, or for those of a
// frame when the source changes its audio format midway.
void Transcoder::BuildAudioGraph(Lane& lane, const AVFrame* parameters) {
  const AVCodecContext* decoder = lane.decoder.get();
  if (parameters) {
    lane.graph_sample_rate = parameters->sample_rate;
    lane.graph_sample_format = static_cast<AVSampleFormat>(parameters->format);
    lane.graph_layout = ChannelLayout(parameters->ch_layout);
  } else {
    lane.graph_sample_rate = decoder->sample_rate;
    lane.graph_sample_format = decoder->sample_fmt;
    lane.graph_layout = ChannelLayout(decoder->ch_layout);
  }
  lane.next_audio_pts = AV_NOPTS_VALUE;
  const std::string source_args = "time_base=1/" + std::to_string(lane.graph_sample_rate) +
                                  ":sample_rate=" + std::to_string(lane.graph_sample_rate) +
                                  ":sample_fmt=" + av_get_sample_fmt_name(lane.graph_sample_format) +
                                  ":channel_layout=" + lane.graph_layout.Name();
  BuildGraph(lane, "abuffer", source_args, "abuffersink", lane.chain);
  const AVCodecContext* encoder = lane.encoder.get();
  // Encoders such as AAC take whole frames of a fixed size.
  if (encoder->frame_size > 0 && !(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
    av_buffersink_set_frame_size(lane.sink, encoder->frame_size);
}

void Transcoder::FilterFrame(Lane& lane, AVFrame* frame) {
  if (lane.type == AVMEDIA_TYPE_VIDEO)
    TimeVideoFrame(lane, frame);
  else
    TimeAudioFrame(lane, frame);
  const int result = av_buffersrc_add_frame_flags(lane.source, frame, 0);
  if (result == AVERROR_EOF) {
    lane.input_done = true;
  } else if (result < 0) {
    throw EncoderError("filter error: " + AvErrorText(result));
  }
  DrainFilters(lane, true);
}

// A picture's time on the output timeline, in microseconds.
void Transcoder::TimeVideoFrame(Lane& lane, AVFrame* frame) {
  const int64_t pts = frame->best_effort_timestamp;
  int64_t pts_us = lane.next_video_us;
  if (pts != AV_NOPTS_VALUE) {
    pts_us = lane.Us(pts - lane.offset);
    // A damaged time that leaps ahead would have the rate conversion fill
    // the leap with copies: the picture goes where the sound is instead, or
    // follows on when there is no sound.
    if (lane.next_video_us != AV_NOPTS_VALUE &&
        Leaps(lane, pts_us - lane.next_video_us, pts_us + timeline_offset_us_)) {
      const int64_t others_us = LatestOfOthers(lane);
      pts_us = others_us != AV_NOPTS_VALUE ? others_us - timeline_offset_us_ : lane.next_video_us;
    }
  }
  if (pts_us == AV_NOPTS_VALUE) pts_us = 0;
  frame->pts = pts_us;
  lane.latest_us = pts_us + timeline_offset_us_;
  // A picture said to last for ages is damage too; the next one is expected
  // a frame later.
  const int64_t nominal_us = av_rescale_q(1, av_inv_q(lane.frame_rate), AV_TIME_BASE_Q);
  const int64_t duration = av::FrameDuration(frame);
  int64_t duration_us = duration > 0 ? lane.Us(duration) : nominal_us;
  if (duration_us > kLeapUs) duration_us = nominal_us;
  lane.next_video_us = pts_us + std::max<int64_t>(duration_us, 1);
}

// A block of sound's time in samples, after the filters are made to fit its format.
void Transcoder::TimeAudioFrame(Lane& lane, AVFrame* frame) {
  GiveDefaultOrder(&frame->ch_layout);
  if (frame->sample_rate != lane.graph_sample_rate || frame->format != lane.graph_sample_format ||
      !lane.graph_layout.Same(frame->ch_layout)) {
    // The source changed its audio format: empty the old filters into the
    // encoder and carry on with new ones for the new format.
    const int closed = av_buffersrc_add_frame(lane.source, nullptr);
    if (closed < 0 && closed != AVERROR_EOF) throw EncoderError("filter error: " + AvErrorText(closed));
    DrainFilters(lane, false);
    BuildAudioGraph(lane, frame);
  }
  // Timestamps in samples; tiny jitter from coarse container clocks is ironed
  // out so the resampler sees a continuous stream.
  const int64_t pts = frame->best_effort_timestamp;
  const AVRational sample_time_base{1, frame->sample_rate};
  int64_t sample_pts = AV_NOPTS_VALUE;
  if (pts != AV_NOPTS_VALUE) sample_pts = av_rescale_q(pts - lane.offset, lane.in_stream->time_base, sample_time_base);
  if (lane.next_audio_pts != AV_NOPTS_VALUE) {
    const bool near =
        sample_pts != AV_NOPTS_VALUE && std::llabs(sample_pts - lane.next_audio_pts) <= frame->sample_rate / 1000;
    // A damaged time far ahead is not followed either.
    const bool far_ahead =
        sample_pts != AV_NOPTS_VALUE &&
        Leaps(lane, av_rescale_q(sample_pts - lane.next_audio_pts, sample_time_base, AV_TIME_BASE_Q), lane.Us(pts));
    if (sample_pts == AV_NOPTS_VALUE || near || far_ahead) sample_pts = lane.next_audio_pts;
  }
  if (sample_pts == AV_NOPTS_VALUE) sample_pts = 0;
  frame->pts = sample_pts;
  lane.latest_us = av_rescale_q(sample_pts, sample_time_base, AV_TIME_BASE_Q) + lane.Us(lane.offset);
  lane.next_audio_pts = sample_pts + frame->nb_samples;
}

// Takes every frame the filters have ready to the encoder. The final drain
// also closes the encoder once the filters have ended; a drain before a
// rebuild only empties the old filters.
void Transcoder::DrainFilters(Lane& lane, bool final_drain) {
  while (true) {
    // One frame in can bring many out (a rate conversion filling a gap): a
    // stop request must not wait for them all.
    if (StopRequested()) {
      stopped_ = true;
      return;
    }
    const int result = av_buffersink_get_frame(lane.sink, filtered_.get());
    if (result == AVERROR(EAGAIN)) return;
    if (result == AVERROR_EOF) {
      if (final_drain) {
        lane.filters_done = true;
        lane.input_done = true;
      }
      return;
    }
    if (result < 0) throw EncoderError("filter error: " + AvErrorText(result));
    // A short frame is only allowed as the very last one; a rebuild drops it.
    const bool partial = lane.type == AVMEDIA_TYPE_AUDIO && !final_drain && lane.encoder->frame_size > 0 &&
                         filtered_->nb_samples < lane.encoder->frame_size &&
                         !(lane.encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    // A zero length still makes a file players accept: one picture, one block
    // of sound.
    const bool single = options_.length_us && *options_.length_us == 0;
    if (!partial) SubmitFrame(lane, filtered_.get());
    av_frame_unref(filtered_.get());
    if (single) {
      lane.filters_done = true;
      lane.input_done = true;
      return;
    }
  }
}

}  // namespace encoder
