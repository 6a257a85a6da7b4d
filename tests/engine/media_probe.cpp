#include "media_probe.h"

#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace engine_tests {

namespace {

struct FormatCloser {
  void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct CodecFreer {
  void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

}  // namespace

MediaFacts ProbeMedia(const std::string& path) {
  MediaFacts facts;
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0) return facts;
  std::unique_ptr<AVFormatContext, FormatCloser> fmt(raw);
  if (avformat_find_stream_info(fmt.get(), nullptr) < 0) return facts;
  facts.opened = true;

  std::vector<std::unique_ptr<AVCodecContext, CodecFreer>> decoders(fmt->nb_streams);
  std::vector<double> end_s(fmt->nb_streams, 0);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodecParameters* par = fmt->streams[i]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) continue;
    std::unique_ptr<AVCodecContext, CodecFreer> ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0 || avcodec_open2(ctx.get(), codec, nullptr) < 0)
      continue;
    decoders[i] = std::move(ctx);
  }

  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  const auto drain = [&](unsigned index) {
    AVCodecContext* ctx = decoders[index].get();
    while (avcodec_receive_frame(ctx, frame.get()) == 0) {
      const AVStream* st = fmt->streams[index];
      if (ctx->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++facts.video_frames;
        const int64_t ts = frame->best_effort_timestamp;
        if (ts != AV_NOPTS_VALUE) {
          double frame_s = st->avg_frame_rate.num > 0 ? av_q2d(av_inv_q(st->avg_frame_rate)) : 0;
          end_s[index] = std::max(
              end_s[index],
              (ts - (st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time)) * av_q2d(st->time_base) + frame_s);
        }
      } else {
        ++facts.audio_frames;
        const int64_t ts = frame->best_effort_timestamp;
        if (ts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
          end_s[index] = std::max(
              end_s[index], (ts - (st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time)) * av_q2d(st->time_base) +
                                static_cast<double>(frame->nb_samples) / frame->sample_rate);
        }
      }
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(fmt.get(), packet.get()) >= 0) {
    const unsigned index = static_cast<unsigned>(packet->stream_index);
    if (index < decoders.size() && decoders[index]) {
      if (avcodec_send_packet(decoders[index].get(), packet.get()) < 0) ++facts.decode_errors;
      drain(index);
    }
    av_packet_unref(packet.get());
  }
  for (unsigned i = 0; i < decoders.size(); ++i) {
    if (!decoders[i]) continue;
    avcodec_send_packet(decoders[i].get(), nullptr);
    drain(i);
  }
  for (double e : end_s) facts.duration_s = std::max(facts.duration_s, e);
  return facts;
}

bool MakeClip(const std::string& path, double seconds, const std::string& size, int fps) {
  std::ostringstream length;
  length << seconds;
  const std::string video = "testsrc=size=" + size + ":rate=" + std::to_string(fps);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", video.c_str(), "-f", "lavfi", "-i",
           "sine=frequency=440:sample_rate=22050", "-t", length.str().c_str(), "-c:v", "mpeg4", "-c:a", "mp2",
           path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace engine_tests
