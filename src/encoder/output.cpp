// Output: the muxer, writing through the output file's descriptor, and the
// packets on their way to it.
#include <algorithm>
#include <optional>

#include "encoder/encoder_error.h"
#include "encoder/lane.h"
#include "encoder/transcoder.h"

namespace encoder {
namespace {

// The quantizer an encoder reports for a packet. Some leave no quality on
// their last packets, or a value no quantizer has: nothing to show then.
std::optional<double> Quality(const AVPacket* packet) {
  size_t size = 0;
  const uint8_t* stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!stats || size < 4) return std::nullopt;
  const uint32_t lambda = stats[0] | (stats[1] << 8) | (stats[2] << 16) | (static_cast<uint32_t>(stats[3]) << 24);
  if (lambda > FF_LAMBDA_MAX) return std::nullopt;
  return static_cast<double>(lambda) / FF_QP2LAMBDA;
}

}  // namespace

void Transcoder::AddOutputStream(Lane& lane) {
  lane.out_stream = avformat_new_stream(output_.get(), nullptr);
  if (!lane.out_stream) throw std::bad_alloc();
  const int result = avcodec_parameters_from_context(lane.out_stream->codecpar, lane.encoder.get());
  if (result < 0) throw EncoderError("cannot describe the output stream: " + AvErrorText(result));
  lane.out_stream->time_base = lane.encoder->time_base;
  lane.out_stream->codecpar->codec_tag = lane.choice.codec_tag;
  if (lane.type == AVMEDIA_TYPE_VIDEO) {
    lane.out_stream->avg_frame_rate = lane.frame_rate;
    lane.out_stream->r_frame_rate = lane.frame_rate;
    lane.out_stream->sample_aspect_ratio = lane.encoder->sample_aspect_ratio;
  }
}

void Transcoder::OpenOutput() {
  AVFormatContext* context = nullptr;
  int result = avformat_alloc_output_context2(&context, muxer_, nullptr, options_.output.c_str());
  if (result < 0 || !context) throw EncoderError("cannot set up the output: " + AvErrorText(result));
  output_.reset(context);
  for (auto& lane : lanes_) AddOutputStream(*lane);
  // The muxer writes through the descriptor the output file was created with,
  // never through a name.
  output_io_ = MakeFdIo(output_file_->fd());
  output_->pb = output_io_.get();
  output_->flags |= AVFMT_FLAG_CUSTOM_IO;
  console_.TakeLastLibraryMessage();
  result = avformat_write_header(output_.get(), nullptr);
  if (result < 0) throw EncoderError("cannot write " + Quoted(options_.output) + ": " + Detail(result));
}

void Transcoder::WritePacket(Lane& lane, AVPacket* packet) {
  if (lane.type == AVMEDIA_TYPE_VIDEO) {
    ++progress_.frames;
    if (const auto quality = Quality(packet)) progress_.quality = *quality;
  }
  packet->stream_index = lane.out_stream->index;
  av_packet_rescale_ts(packet, lane.encoder->time_base, lane.out_stream->time_base);
  // The muxer refuses decoding times that do not grow; they are mended here
  // as the last line of the timestamp repair.
  if (packet->dts != AV_NOPTS_VALUE && lane.last_out_dts != AV_NOPTS_VALUE && packet->dts <= lane.last_out_dts) {
    packet->dts = lane.last_out_dts + 1;
    if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) packet->pts = packet->dts;
  }
  if (packet->dts != AV_NOPTS_VALUE) lane.last_out_dts = packet->dts;
  const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (stamp != AV_NOPTS_VALUE) {
    // Never more than the source can give: the progress window reads this.
    const int64_t end_us =
        std::min(av_rescale_q(stamp + packet->duration, lane.out_stream->time_base, AV_TIME_BASE_Q), output_limit_us_);
    if (end_us > progress_.output_us) progress_.output_us = end_us;
  }
  const int result = av_interleaved_write_frame(output_.get(), packet);
  if (result < 0) throw EncoderError("cannot write " + Quoted(options_.output) + ": " + Detail(result));
  if (output_->pb) progress_.bytes = avio_tell(output_->pb);
}

// The container's closing data, everything flushed to the file.
void Transcoder::FinishOutput() {
  const int result = av_write_trailer(output_.get());
  if (result < 0) throw EncoderError("cannot finish " + Quoted(options_.output) + ": " + Detail(result));
  if (!output_->pb) return;
  avio_flush(output_->pb);
  // Muxers that patch their headers at the end leave the position short of the end.
  progress_.bytes = std::max<int64_t>(avio_tell(output_->pb), avio_size(output_->pb));
  if (output_->pb->error < 0)
    throw EncoderError("cannot write " + Quoted(options_.output) + ": " + AvErrorText(output_->pb->error));
}

}  // namespace encoder
