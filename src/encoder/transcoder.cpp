#include "encoder/transcoder.h"

#include <algorithm>
#include <cstdio>

#include "encoder/encode_worker.h"
#include "encoder/encoder_error.h"
#include "encoder/lane.h"

extern "C" {
#include <libavfilter/buffersrc.h>
#include <libavutil/time.h>
}

namespace encoder {

Transcoder::Transcoder(EncoderOptions options, Console& console, const std::atomic<int>& stop_signal)
    : options_(std::move(options)),
      console_(console),
      stop_signal_(stop_signal),
      frame_(MakeFrame()),
      filtered_(MakeFrame()),
      packet_(MakePacket()) {}

Transcoder::~Transcoder() {
  // The encoding thread and the status lines use what follows; they end first.
  worker_.reset();
  console_.FinishStatus();
  // Codec and filter objects go before the format contexts they belong to.
  lanes_.clear();
  output_.reset();
  input_.reset();
}

void Transcoder::Run() {
  ResolveInput();
  // Cheap checks first: a refused output or an unknown name fails before any
  // input is read.
  output_file_ = std::make_unique<OutputFile>(options_.output, options_.overwrite, options_.reserved_output);
  muxer_ = ChooseMuxer(options_.format, options_.output);
  ChooseEncoders();
  if (output_file_->SameFileAs(input_path_))
    throw EncoderError("the output " + Quoted(options_.output) + " would replace the input");
  output_file_->Create();
  OpenInput();
  SelectStreams();
  SeekToStart();
  NoteInputExtent();
  for (auto& lane : lanes_) {
    OpenDecoder(*lane);
    if (lane->type == AVMEDIA_TYPE_VIDEO)
      SetUpVideo(*lane);
    else
      SetUpAudio(*lane);
  }
  OpenOutput();
  worker_ = std::make_unique<EncodeWorker>([this](Lane& lane, AVFrame* frame) { EncodeFrame(lane, frame); });
  console_.StartStatus(want_video_, progress_);
  Convert();
  Finish();
}

void Transcoder::ChooseEncoders() {
  // Video goes out unless -vn says otherwise and as far as the container takes
  // video; names given are checked even if the input turns out to lack that kind.
  if (options_.video_codec) video_choice_ = FindEncoder(*options_.video_codec, AVMEDIA_TYPE_VIDEO, muxer_);
  if (options_.audio_codec) audio_choice_ = FindEncoder(*options_.audio_codec, AVMEDIA_TYPE_AUDIO, muxer_);
  want_video_ = !options_.no_video &&
                (video_choice_ || (muxer_->video_codec != AV_CODEC_ID_NONE && muxer_->video_codec != AV_CODEC_ID_PNG));
  want_audio_ = audio_choice_ || muxer_->audio_codec != AV_CODEC_ID_NONE;
  if (want_video_ && !video_choice_) video_choice_ = DefaultEncoder(muxer_, AVMEDIA_TYPE_VIDEO);
  if (want_audio_ && !audio_choice_) audio_choice_ = DefaultEncoder(muxer_, AVMEDIA_TYPE_AUDIO);
  want_video_ = want_video_ && video_choice_;
  want_audio_ = want_audio_ && audio_choice_;

  // Named as people know them ("MP3", "AAC"): the short names ("ipod" for
  // .m4a) mean little to a user.
  auto check_container = [&](const std::optional<EncoderChoice>& choice, const char* kind) {
    if (!choice) return;
    if (avformat_query_codec(muxer_, choice->codec->id, FF_COMPLIANCE_NORMAL) == 0) {
      const AVCodecDescriptor* codec = avcodec_descriptor_get(choice->codec->id);
      throw EncoderError(
          std::string("the ") + (muxer_->long_name ? muxer_->long_name : muxer_->name) + " container cannot hold " +
          (codec && codec->long_name ? codec->long_name : avcodec_get_name(choice->codec->id)) + " " + kind);
    }
  };
  check_container(video_choice_, "video");
  check_container(audio_choice_, "audio");
  if (!want_video_ && !want_audio_) throw EncoderError("the output would hold no stream");
}

std::string Transcoder::Detail(int code) {
  std::string text = AvErrorText(code);
  const std::string message = console_.TakeLastLibraryMessage();
  if (!message.empty() && message != text) text += " (" + message + ")";
  return text;
}

bool Transcoder::AllLanesDone() const {
  return std::all_of(lanes_.begin(), lanes_.end(), [](const auto& lane) { return lane->filters_done; });
}

void Transcoder::Convert() {
  while (!AllLanesDone()) {
    if (StopRequested()) {
      stopped_ = true;
      return;
    }
    const int result = av_read_frame(input_.get(), packet_.get());
    if (result == AVERROR(EAGAIN)) {
      av_usleep(10000);
      continue;
    }
    // The end of the input, or data the demuxer cannot make sense of: what was
    // read is kept, as players would play it. A failing read is not the end.
    if (result < 0) {
      if (StopRequested()) break;
      CheckInputIntact();
      read_end_pos_ = input_->pb ? avio_tell(input_->pb) : -1;
      break;
    }
    // A packet cut short by the end of the file counts for nothing read.
    if (packet_->flags & AV_PKT_FLAG_CORRUPT)
      corrupt_packet_ = true;
    else
      packet_bytes_ += packet_->size;
    for (auto& lane : lanes_) {
      if (lane->in_stream->index != packet_->stream_index || lane->input_done) continue;
      MendDiscontinuity(*lane, packet_.get());
      if (lane->source_frame_duration > 0) PlanDecoding(*lane, packet_.get());
      DecodePacket(*lane, packet_.get());
    }
    av_packet_unref(packet_.get());
  }
  if (StopRequested()) stopped_ = true;
}

void Transcoder::Finish() {
  for (auto& lane : lanes_) EndLane(*lane);
  worker_->Finish();
  FinishOutput();
  console_.FinishStatus();

  // A stop that came after the input was read through still counts: the caller
  // was told the run stopped, so the file must not look finished.
  if (StopRequested()) stopped_ = true;
  // A file without a single frame plays nowhere; it is not kept.
  if (encoded_frames_ == 0) {
    if (stopped_) return;
    if (options_.start_us && *options_.start_us > 0)
      throw EncoderError("nothing to convert: the input " + Quoted(input_path_) + " ends before the start position");
    throw EncoderError("nothing could be decoded from " + Quoted(input_path_));
  }
  if (stopped_ || SourceGaveOut()) {
    output_file_->CommitPartial();
    return;
  }
  // Sound alone is no video conversion when the source's pictures were wanted.
  for (const auto& lane : lanes_) {
    if (lane->type == AVMEDIA_TYPE_VIDEO && lane->encoded_frames == 0 && lane->decoded_frames == 0)
      throw EncoderError("no picture could be decoded from the video stream of " + Quoted(input_path_));
  }
  output_file_->Commit();
}

// A source whose demuxer gives up early, having given less than half the
// range, must not pass for converted. It gave up when a packet came cut short,
// or when most of the bytes it went through held no packet (damage it skipped).
// A source that was read whole has only stated too long a length.
bool Transcoder::SourceGaveOut() {
  if (read_end_pos_ < 0 || input_size_ <= 0 || input_end_us_ == AV_NOPTS_VALUE) return false;
  // Streams left unread (a picture for a sound output) hold bytes no packet
  // counted: then only a packet cut short tells.
  const bool all_read = std::none_of(input_->streams, input_->streams + input_->nb_streams,
                                     [](const AVStream* stream) { return stream->discard == AVDISCARD_ALL; });
  const bool skipped_most = all_read && (read_end_pos_ - packet_bytes_) * 2 > input_size_;
  if (!corrupt_packet_ && !skipped_most) return false;
  asked_us_ = std::max<int64_t>(input_end_us_ - timeline_offset_us_, 0);
  if (options_.length_us) asked_us_ = std::min(asked_us_, *options_.length_us);
  cut_short_ = progress_.output_us * 2 < asked_us_;
  return cut_short_;
}

std::string Transcoder::CutShortReason() const {
  char text[96];
  std::snprintf(text, sizeof text, "the source could be read for %.2f s of %.2f s", OutputSeconds(), asked_us_ / 1e6);
  return text;
}

// Takes what the decoder and the filters still hold to the encoder, and ends it.
void Transcoder::EndLane(Lane& lane) {
  // A stopped run drops what the decoders still hold: ending quickly matters more.
  if (!stopped_ && !lane.input_done) DecodePacket(lane, nullptr);
  if (!lane.input_done) {
    lane.input_done = true;
    // The last picture lasts until its own end, so the rate conversion is
    // closed there rather than at the picture's start (which would drop a
    // picture held for long, or a lone one).
    const int result = lane.type == AVMEDIA_TYPE_VIDEO && lane.next_video_us != AV_NOPTS_VALUE
                           ? av_buffersrc_close(lane.source, lane.next_video_us, AV_BUFFERSRC_FLAG_PUSH)
                           : av_buffersrc_add_frame(lane.source, nullptr);
    if (result < 0 && result != AVERROR_EOF) throw EncoderError("filter error: " + AvErrorText(result));
  }
  if (!lane.filters_done) DrainFilters(lane, true);
  FlushEncoder(lane);
}

}  // namespace encoder
