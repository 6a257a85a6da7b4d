// Input and decoding: the source opened, its streams chosen, packets read
// with their clock mended, and decoded.
#include <algorithm>

#include "encoder/avs_script.h"
#include "encoder/encoder_error.h"
#include "encoder/lane.h"
#include "encoder/transcoder.h"

namespace encoder {
namespace {

// Local paths go to the file protocol explicitly, so a name such as "clip: 1.avi"
// or "-x.mp4" is never mistaken for a protocol or an option.
std::string FileUrl(const std::string& path) {
  return "file:" + path;
}

bool HasDecodableParameters(const AVStream* stream) {
  const AVCodecParameters* par = stream->codecpar;
  if (!avcodec_find_decoder(par->codec_id)) return false;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO)
    return par->width > 0 && par->height > 0 && par->format != AV_PIX_FMT_NONE &&
           !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
  // The sample format may be left unknown by a probe cut short; the decoder
  // names it when it opens.
  if (par->codec_type == AVMEDIA_TYPE_AUDIO) return par->sample_rate > 0 && par->ch_layout.nb_channels > 0;
  return false;
}

}  // namespace

void Transcoder::ResolveInput() {
  input_path_ = options_.input;
  if (IsAvsScript(options_.input)) {
    AvsScript script = LoadAvsScript(options_.input);
    input_path_ = script.source_path;
    script_rate_ = script.frame_rate;
  }
}

int Transcoder::InterruptCallback(void* opaque) {
  return static_cast<const std::atomic<int>*>(opaque)->load() != 0 ? 1 : 0;
}

void Transcoder::OpenInput() {
  AVFormatContext* context = avformat_alloc_context();
  if (!context) throw std::bad_alloc();
  // A stop request also breaks off a read that waits for data.
  context->interrupt_callback.callback = &Transcoder::InterruptCallback;
  context->interrupt_callback.opaque = const_cast<std::atomic<int>*>(&stop_signal_);
  console_.TakeLastLibraryMessage();
  int result = avformat_open_input(&context, FileUrl(input_path_).c_str(), nullptr, nullptr);
  if (result < 0) throw EncoderError("cannot open the input " + Quoted(input_path_) + ": " + Detail(result));
  input_.reset(context);
  // The stream details are a help, not a condition: a damaged stream the
  // probe chokes on may still decode, and whether the wanted streams do is
  // judged by their parameters and, in the end, by what they gave.
  avformat_find_stream_info(input_.get(), nullptr);
  console_.TakeLastLibraryMessage();
}

void Transcoder::SelectStreams() {
  AVFormatContext* input = input_.get();
  auto pick = [&](AVMediaType type) -> AVStream* {
    const int best = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (best >= 0 && HasDecodableParameters(input->streams[best])) return input->streams[best];
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      AVStream* stream = input->streams[i];
      if (stream->codecpar->codec_type == type && HasDecodableParameters(stream)) return stream;
    }
    return nullptr;
  };
  AVStream* video = pick(AVMEDIA_TYPE_VIDEO);
  AVStream* audio = pick(AVMEDIA_TYPE_AUDIO);
  if (!video && !audio) throw EncoderError("no decodable audio or video stream in " + Quoted(input_path_));
  // A source with pictures whose pictures cannot be read is no sound-only
  // source: its video output fails rather than come out as sound alone.
  const bool has_pictures = std::any_of(input->streams, input->streams + input->nb_streams, [](const AVStream* s) {
    return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC);
  });
  if (want_video_ && !video && has_pictures)
    throw EncoderError("the video stream of " + Quoted(input_path_) + " cannot be decoded");

  if (want_video_ && video) AddLane(AVMEDIA_TYPE_VIDEO, video, *video_choice_);
  if (want_audio_ && audio) AddLane(AVMEDIA_TYPE_AUDIO, audio, *audio_choice_);
  if (lanes_.empty()) {
    throw EncoderError("the input " + Quoted(input_path_) + " has no " + (want_audio_ ? "audio" : "video") +
                       " stream for this output");
  }
  // Streams nobody reads are not even demuxed into packets.
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const bool used = std::any_of(lanes_.begin(), lanes_.end(),
                                  [&](const auto& lane) { return lane->in_stream == input->streams[i]; });
    if (!used) input->streams[i]->discard = AVDISCARD_ALL;
  }
}

void Transcoder::AddLane(AVMediaType type, AVStream* stream, const EncoderChoice& choice) {
  auto lane = std::make_unique<Lane>();
  lane->type = type;
  lane->in_stream = stream;
  lane->choice = choice;
  lanes_.push_back(std::move(lane));
}

void Transcoder::SeekToStart() {
  const int64_t file_start = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
  timeline_offset_us_ = file_start + options_.start_us.value_or(0);
  if (options_.start_us && *options_.start_us > 0) {
    // To the key frame at or before the start; the trim filters drop what lies
    // before it, so the output starts at the very frame and sample asked for.
    avformat_seek_file(input_.get(), -1, INT64_MIN, timeline_offset_us_, timeline_offset_us_, 0);
  }
  for (auto& lane : lanes_)
    lane->offset = av_rescale_q(timeline_offset_us_, AV_TIME_BASE_Q, lane->in_stream->time_base);
}

// What the rest of the run checks the input against: its size, to notice a
// file cut short while it is read, and where its time ends.
void Transcoder::NoteInputExtent() {
  if (input_->pb) input_size_ = avio_size(input_->pb);  // 0 for a pipe
  restarting_clock_ = input_->iformat->flags & AVFMT_TS_DISCONT;
  // A duration guessed from the bit rate is too rough to judge timestamps by.
  if (input_->duration > 0 && input_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
    const int64_t start = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
    input_end_us_ = start + input_->duration;
    output_limit_us_ = std::max<int64_t>(input_end_us_ - timeline_offset_us_, 0);
  }
  if (options_.length_us) output_limit_us_ = std::min(output_limit_us_, *options_.length_us);
}

// A read that failed, or a file that got shorter than it was at the start,
// means the output would silently miss the rest: that is a failure. A file
// deleted while open still reads to its end and is fine.
void Transcoder::CheckInputIntact() {
  if (!input_->pb) return;
  const int error = input_->pb->error;
  if (error < 0 && error != AVERROR_EOF && error != AVERROR_EXIT)
    throw EncoderError("cannot read the input " + Quoted(input_path_) + ": " + AvErrorText(error));
  if (input_size_ > 0 && avio_size(input_->pb) < input_size_)
    throw EncoderError("the input " + Quoted(input_path_) + " was cut short during the conversion");
}

void Transcoder::OpenDecoder(Lane& lane) {
  const AVCodec* codec = avcodec_find_decoder(lane.in_stream->codecpar->codec_id);
  lane.decoder.reset(avcodec_alloc_context3(codec));
  if (!lane.decoder) throw std::bad_alloc();
  AVCodecContext* decoder = lane.decoder.get();
  int result = avcodec_parameters_to_context(decoder, lane.in_stream->codecpar);
  if (result < 0) throw EncoderError("cannot set up the " + std::string(codec->name) + " decoder");
  decoder->pkt_timebase = lane.in_stream->time_base;
  // The library decodes on one thread unless told otherwise.
  decoder->thread_count = options_.threads;
  decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  console_.TakeLastLibraryMessage();
  result = avcodec_open2(decoder, codec, nullptr);
  if (result < 0) {
    throw EncoderError("cannot start the " + std::string(codec->name) + " decoder for " + Quoted(input_path_) + ": " +
                       Detail(result));
  }
  if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
    if (decoder->sample_fmt == AV_SAMPLE_FMT_NONE)
      throw EncoderError("the sound of " + Quoted(input_path_) + " cannot be decoded: its sample format is unknown");
    GiveDefaultOrder(&decoder->ch_layout);
  }
}

void Transcoder::DecodePacket(Lane& lane, const AVPacket* packet) {
  // A damaged packet is skipped, as players do; the frames around it still count.
  avcodec_send_packet(lane.decoder.get(), packet);
  while (avcodec_receive_frame(lane.decoder.get(), frame_.get()) >= 0) {
    ++lane.decoded_frames;
    if (!lane.input_done) FilterFrame(lane, frame_.get());
    av_frame_unref(frame_.get());
  }
}

// MPEG program and transport streams may restart their clock midway (joined
// recordings, DVD cells), and a damaged timestamp in any container makes the
// same jump. A jump backwards, or far forwards, is taken out of all later
// timestamps so the pictures after it are not dropped as late, nor a long gap
// filled with copies. A single damaged timestamp jumps there and back, and the
// second jump undoes the first.
void Transcoder::MendDiscontinuity(Lane& lane, AVPacket* packet) {
  if (packet->dts == AV_NOPTS_VALUE) return;
  const AVRational time_base = lane.in_stream->time_base;
  const int64_t shift = av_rescale_q(timestamp_shift_us_, AV_TIME_BASE_Q, time_base);
  packet->dts += shift;
  if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
  int64_t dts_us = av_rescale_q(packet->dts, time_base, AV_TIME_BASE_Q);
  // A time far past the end the container states, away from where this stream
  // was expected, is one damaged time, even on a stream's very first packet:
  // the packet goes where it was expected and the clock is left alone. (Taken
  // as a jump, the sound times after it would be moved there instead.) A
  // stream whose times run on past the stated end step by step is followed.
  const int64_t expected_us = ExpectedDts(lane);
  if (input_end_us_ != AV_NOPTS_VALUE && dts_us > input_end_us_ + kPastEndUs && dts_us - expected_us > AV_TIME_BASE) {
    const int64_t correction = av_rescale_q(dts_us - expected_us, AV_TIME_BASE_Q, time_base);
    packet->dts -= correction;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts -= correction;
    dts_us = expected_us;
  } else if (lane.next_dts_us != AV_NOPTS_VALUE) {
    const int64_t jump = dts_us - lane.next_dts_us;
    // Elsewhere small steps back are sloppy muxing, left to the repair at the muxer.
    const int64_t back_limit = restarting_clock_ ? AV_TIME_BASE / 10 : AV_TIME_BASE;
    if (FarAhead(jump, dts_us) || jump < -back_limit) {
      timestamp_shift_us_ -= jump;
      const int64_t correction = av_rescale_q(jump, AV_TIME_BASE_Q, time_base);
      packet->dts -= correction;
      if (packet->pts != AV_NOPTS_VALUE) packet->pts -= correction;
      dts_us -= jump;
    }
  }
  int64_t duration_us = packet->duration > 0 ? av_rescale_q(packet->duration, time_base, AV_TIME_BASE_Q) : 0;
  const AVRational rate = lane.in_stream->r_frame_rate;
  if (duration_us == 0 && lane.type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0)
    duration_us = av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q);
  lane.next_dts_us = dts_us + duration_us;
}

// Where the lane's next packet should be: after its last one, else where the
// other streams have got to, else the input's start.
int64_t Transcoder::ExpectedDts(const Lane& lane) const {
  if (lane.next_dts_us != AV_NOPTS_VALUE) return lane.next_dts_us;
  int64_t expected = AV_NOPTS_VALUE;
  for (const auto& other : lanes_)
    if (other.get() != &lane && other->next_dts_us != AV_NOPTS_VALUE) expected = std::max(expected, other->next_dts_us);
  if (expected != AV_NOPTS_VALUE) return expected;
  return input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
}

// Whether a forward jump (by `jump_us`, to `at_us` on the input's clock) is
// one no sound source makes. Past the end the container gives, a second is
// enough. Within it the jump may be real (a picture held for long); only a
// clock that is known to restart, or has no known end, is judged by the size
// of the jump alone.
bool Transcoder::FarAhead(int64_t jump_us, int64_t at_us) const {
  if (jump_us <= AV_TIME_BASE) return false;
  const bool past_end = input_end_us_ != AV_NOPTS_VALUE && at_us > input_end_us_ + AV_TIME_BASE;
  if (input_end_us_ == AV_NOPTS_VALUE || restarting_clock_) return past_end || jump_us > kLeapUs;
  return past_end;
}

// A decoded frame that jumps ahead of its predecessor and far ahead of every
// other stream is damaged too: streams are stored side by side in time, and a
// picture may be held for long while the sound goes on, but not run ahead of it.
bool Transcoder::Leaps(const Lane& lane, int64_t jump_us, int64_t at_us) const {
  if (jump_us <= AV_TIME_BASE) return false;
  const int64_t others_us = LatestOfOthers(lane);
  if (others_us != AV_NOPTS_VALUE && at_us > others_us + kLeapUs) return true;
  return FarAhead(jump_us, at_us);
}

// The latest input time the other streams still going have reached, if any.
int64_t Transcoder::LatestOfOthers(const Lane& lane) const {
  int64_t latest = AV_NOPTS_VALUE;
  for (const auto& other : lanes_) {
    if (other.get() != &lane && !other->input_done && other->latest_us != AV_NOPTS_VALUE)
      latest = std::max(latest, other->latest_us);
  }
  return latest;
}

// Works out, before decoding, whether the picture in a packet will be cut by
// the range or dropped by the rate conversion, which keeps of each output
// slot the last picture whose time, rounded to the slot, is not later. The
// decoder then skips it if no other picture refers to it (most B-pictures),
// which spares a good part of the decoding when 25 or 30 frames per second
// become 15. A steady source rate gives the time of the next picture.
void Transcoder::PlanDecoding(Lane& lane, const AVPacket* packet) {
  AVCodecContext* decoder = lane.decoder.get();
  decoder->skip_frame = AVDISCARD_DEFAULT;
  if (packet->pts == AV_NOPTS_VALUE) return;
  if (packet->duration > 0 && packet->duration != lane.source_frame_duration) return;  // not as steady as it said
  const AVRational time_base = lane.in_stream->time_base;
  const int64_t pts = packet->pts - lane.offset;
  bool dropped = false;
  if (options_.start_us && pts < 0) dropped = true;
  if (options_.length_us && av_rescale_q(pts, time_base, AV_TIME_BASE_Q) >= *options_.length_us) dropped = true;
  if (!dropped && pts >= 0) {
    const AVRational slot = av_inv_q(lane.frame_rate);
    const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
    const int64_t this_slot = av_rescale_q_rnd(pts, time_base, slot, rounding);
    const int64_t next_slot = av_rescale_q_rnd(pts + lane.source_frame_duration, time_base, slot, rounding);
    dropped = next_slot <= this_slot;
  }
  if (dropped) decoder->skip_frame = AVDISCARD_NONREF;
}

}  // namespace encoder
