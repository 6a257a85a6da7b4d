// Encoders: what each is opened for, and the frames on their way to it. The
// encoding itself runs on the worker thread (EncodeFrame).
#include <algorithm>
#include <cmath>

#include "encoder/av_compat.h"
#include "encoder/encode_worker.h"
#include "encoder/encoder_error.h"
#include "encoder/lane.h"
#include "encoder/transcoder.h"

extern "C" {
#include <libavfilter/buffersink.h>
}

namespace encoder {
namespace {

// A frame rate fit for the output: what was asked for, else the source's own.
AVRational SaneRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return AVRational{25, 1};
  const double fps = av_q2d(rate);
  if (fps < 1 || fps > 240) return AVRational{25, 1};
  return FitFrameRate(rate);
}

// The rate asked for when the encoder takes it, else the nearest it takes.
// Throws when an asked rate cannot be written at all.
int ChooseSampleRate(const AVCodec* codec, int decoded_rate, std::optional<int> asked) {
  int sample_rate = asked.value_or(decoded_rate);
  const int* rates = av::SampleRates(codec);
  if (!rates) return sample_rate;
  bool supported = false;
  int nearest = rates[0];
  for (const int* rate = rates; *rate; ++rate) {
    supported = supported || *rate == sample_rate;
    if (std::abs(*rate - sample_rate) < std::abs(nearest - sample_rate)) nearest = *rate;
  }
  if (!supported && asked) {
    throw EncoderError("the " + std::string(codec->name) + " encoder cannot write " + std::to_string(sample_rate) +
                       " samples per second");
  }
  return supported ? sample_rate : nearest;
}

// The layout asked for (or the source's) when the encoder takes it, else one
// with as many channels, else stereo, else the encoder's first.
ChannelLayout ChooseLayout(const AVCodec* codec, const AVChannelLayout& decoded, std::optional<int> asked) {
  ChannelLayout wanted = asked ? ChannelLayout::Default(*asked) : ChannelLayout(decoded);
  const AVChannelLayout* layouts = av::ChannelLayouts(codec);
  if (!layouts) return wanted;
  const AVChannelLayout* same = nullptr;
  const AVChannelLayout* same_count = nullptr;
  const AVChannelLayout* stereo = nullptr;
  for (const AVChannelLayout* candidate = layouts; candidate->nb_channels; ++candidate) {
    if (!same && wanted.Same(*candidate)) same = candidate;
    if (!same_count && candidate->nb_channels == wanted.channels()) same_count = candidate;
    if (!stereo && candidate->nb_channels == 2) stereo = candidate;
  }
  const AVChannelLayout* chosen = same ? same : same_count;
  if (!chosen && asked) {
    throw EncoderError("the " + std::string(codec->name) + " encoder cannot write " + std::to_string(*asked) +
                       " channels");
  }
  if (!chosen) chosen = stereo ? stereo : layouts;
  return ChannelLayout(*chosen);
}

}  // namespace

// What was asked for, else the script's rate, else the source's own. Notes
// whether the source's steady rate lets pictures the rate conversion drops
// go undecoded.
AVRational Transcoder::ChooseFrameRate(Lane& lane) const {
  const AVRational source_rate = av_guess_frame_rate(input_.get(), lane.in_stream, nullptr);
  const AVRational rate = options_.frame_rate ? *options_.frame_rate
                          : script_rate_      ? *script_rate_
                                              : SaneRate(source_rate);
  const AVRational average_rate = lane.in_stream->avg_frame_rate;
  const bool steady = source_rate.num > 0 && source_rate.den > 0 && average_rate.num > 0 && average_rate.den > 0 &&
                      std::fabs(av_q2d(source_rate) / av_q2d(average_rate) - 1) < 1e-3;
  if (steady && av_cmp_q(source_rate, rate) > 0)
    lane.source_frame_duration = av_rescale_q(1, av_inv_q(source_rate), lane.in_stream->time_base);
  return rate;
}

// The decoder's pixel format when the encoder takes it, else the closest it takes.
AVPixelFormat Transcoder::ChoosePixelFormat(const Lane& lane) const {
  const AVPixelFormat decoded = lane.decoder->pix_fmt;
  const AVPixelFormat* formats = av::PixelFormats(lane.choice.codec);
  if (!formats) return decoded;
  for (const AVPixelFormat* format = formats; *format != AV_PIX_FMT_NONE; ++format)
    if (*format == decoded) return decoded;
  return avcodec_find_best_pix_fmt_of_list(formats, decoded, 0, nullptr);
}

AudioFormat Transcoder::ChooseAudioFormat(const Lane& lane) const {
  const AVCodecContext* decoder = lane.decoder.get();
  const AVCodec* codec = lane.choice.codec;
  AudioFormat format;
  format.sample_rate = ChooseSampleRate(codec, decoder->sample_rate, options_.sample_rate);
  format.layout = ChooseLayout(codec, decoder->ch_layout, options_.channels);
  format.sample_format = decoder->sample_fmt;
  if (const AVSampleFormat* sample_formats = av::SampleFormats(codec)) {
    bool supported = false;
    for (const AVSampleFormat* sample_format = sample_formats; *sample_format != AV_SAMPLE_FMT_NONE; ++sample_format)
      supported = supported || *sample_format == decoder->sample_fmt;
    if (!supported) format.sample_format = sample_formats[0];
  }
  return format;
}

// For the pictures the filters give.
void Transcoder::OpenVideoEncoder(Lane& lane) {
  lane.encoder.reset(avcodec_alloc_context3(lane.choice.codec));
  if (!lane.encoder) throw std::bad_alloc();
  AVCodecContext* encoder = lane.encoder.get();
  encoder->width = av_buffersink_get_w(lane.sink);
  encoder->height = av_buffersink_get_h(lane.sink);
  encoder->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(lane.sink));
  encoder->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(lane.sink);
  encoder->framerate = lane.frame_rate;
  encoder->time_base = av_inv_q(lane.frame_rate);
  if (options_.video_bitrate) encoder->bit_rate = *options_.video_bitrate;
  OpenEncoder(lane, std::to_string(encoder->width) + "x" + std::to_string(encoder->height) + ", " +
                        Rational(lane.frame_rate) + " fps");
}

void Transcoder::OpenAudioEncoder(Lane& lane, const AudioFormat& format) {
  lane.encoder.reset(avcodec_alloc_context3(lane.choice.codec));
  if (!lane.encoder) throw std::bad_alloc();
  AVCodecContext* encoder = lane.encoder.get();
  encoder->sample_fmt = format.sample_format;
  encoder->sample_rate = format.sample_rate;
  format.layout.CopyTo(&encoder->ch_layout);
  encoder->time_base = AVRational{1, format.sample_rate};
  if (options_.audio_bitrate) encoder->bit_rate = *options_.audio_bitrate;
  // MP3 below 32 kHz (MPEG-2 and 2.5) holds at most 160 kbit/s; the encoder
  // gives that quietly, so the user is told the rate the file really has.
  constexpr int64_t kLowRateMp3Max = 160000;
  if (lane.choice.codec->id == AV_CODEC_ID_MP3 && format.sample_rate < 32000 && encoder->bit_rate > kLowRateMp3Max) {
    console_.Warn("MP3 at " + std::to_string(format.sample_rate) + " Hz holds at most 160 kbit/s: the file gets 160 (" +
                  std::to_string(encoder->bit_rate / 1000) + " asked)");
    encoder->bit_rate = kLowRateMp3Max;
  }
  OpenEncoder(lane,
              std::to_string(format.sample_rate) + " Hz, " + std::to_string(format.layout.channels()) + " channels");
}

// The settings every encoder shares, then the open; `what` names the format in the error.
void Transcoder::OpenEncoder(Lane& lane, const std::string& what) {
  AVCodecContext* encoder = lane.encoder.get();
  const AVCodec* codec = lane.choice.codec;
  encoder->thread_count = options_.threads;
  if (lane.choice.codec_tag) encoder->codec_tag = lane.choice.codec_tag;
  if (muxer_->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  console_.TakeLastLibraryMessage();
  const int result = avcodec_open2(encoder, codec, nullptr);
  if (result < 0)
    throw EncoderError("cannot start the " + std::string(codec->name) + " encoder at " + what + ": " + Detail(result));
}

void Transcoder::SubmitFrame(Lane& lane, AVFrame* frame) {
  FramePtr job_frame = MakeFrame();
  av_frame_move_ref(job_frame.get(), frame);
  // Into the encoder's clock here: the filters may be rebuilt meanwhile.
  job_frame->pts = av_rescale_q(job_frame->pts, av_buffersink_get_time_base(lane.sink), lane.encoder->time_base);
  // Frames reach the encoder in time order: an overlap left by a rebuilt
  // filter chain or a damaged timestamp is moved to follow on.
  if (lane.next_encode_pts != AV_NOPTS_VALUE && job_frame->pts < lane.next_encode_pts)
    job_frame->pts = lane.next_encode_pts;
  const int64_t length =
      lane.type == AVMEDIA_TYPE_AUDIO
          ? av_rescale_q(job_frame->nb_samples, AVRational{1, job_frame->sample_rate}, lane.encoder->time_base)
          : 1;
  lane.next_encode_pts = job_frame->pts + std::max<int64_t>(length, 1);
  // The decoder's picture types would force key frames where the source had them.
  if (lane.type == AVMEDIA_TYPE_VIDEO) job_frame->pict_type = AV_PICTURE_TYPE_NONE;
  ++encoded_frames_;
  ++lane.encoded_frames;
  worker_->Submit(lane, std::move(job_frame));
}

void Transcoder::FlushEncoder(Lane& lane) {
  if (lane.flush_submitted) return;
  lane.flush_submitted = true;
  worker_->Submit(lane, nullptr);
}

void Transcoder::EncodeFrame(Lane& lane, AVFrame* frame) {
  if (lane.encoder_done) return;
  AVCodecContext* encoder = lane.encoder.get();
  int result = avcodec_send_frame(encoder, frame);
  if (result < 0 && result != AVERROR_EOF) {
    throw EncoderError("the " + std::string(encoder->codec->name) + " encoder failed: " + AvErrorText(result));
  }
  PacketPtr packet = MakePacket();
  while (true) {
    result = avcodec_receive_packet(encoder, packet.get());
    if (result == AVERROR(EAGAIN)) return;
    if (result == AVERROR_EOF) {
      lane.encoder_done = true;
      return;
    }
    if (result < 0) {
      throw EncoderError("the " + std::string(encoder->codec->name) + " encoder failed: " + AvErrorText(result));
    }
    WritePacket(lane, packet.get());
  }
}

}  // namespace encoder
