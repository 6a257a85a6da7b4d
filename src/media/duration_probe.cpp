#include "media/duration_probe.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace media {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// libavformat polls this during blocking reads and long analyses.
int PastDeadline(void* opaque) {
  return std::chrono::steady_clock::now() > *static_cast<const SteadyTime*>(opaque) ? 1 : 0;
}

struct FormatContextCloser {
  void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// Options handed to avformat_open_input, which may replace the dictionary.
struct Options {
  AVDictionary* dict = nullptr;
  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() { av_dict_free(&dict); }
};

std::string AvErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

bool HasDecodableStream(const AVFormatContext& ctx) {
  for (unsigned i = 0; i < ctx.nb_streams; ++i) {
    const AVCodecParameters* par = ctx.streams[i]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_AUDIO && par->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if (avcodec_find_decoder(par->codec_id)) return true;
  }
  return false;
}

bool HasPicture(const AVFormatContext& ctx) {
  for (unsigned i = 0; i < ctx.nb_streams; ++i) {
    const AVStream* st = ctx.streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
    if (avcodec_find_decoder(st->codecpar->codec_id)) return true;
  }
  return false;
}

// Containers whose header names every stream's codec, picture size or sound
// format, and length. For them the stream analysis, which decodes the first
// pictures and is most of a probe's time on a long list, adds nothing.
bool HeaderDescribesStreams(const AVFormatContext& ctx) {
  static constexpr const char* kFormats[] = {"mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm", "avi"};
  if (!ctx.iformat || std::none_of(std::begin(kFormats), std::end(kFormats),
                                   [&](const char* name) { return std::strcmp(ctx.iformat->name, name) == 0; }))
    return false;
  bool any = false;
  for (unsigned i = 0; i < ctx.nb_streams; ++i) {
    const AVStream* st = ctx.streams[i];
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      if (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0 || par->height <= 0) return false;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      if (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0) return false;
    } else {
      continue;
    }
    any = true;
  }
  return any;
}

// The container's length, else the longest stream's; -1 when neither is known.
int64_t ReportedDurationMs(const AVFormatContext& ctx) {
  if (ctx.duration != AV_NOPTS_VALUE && ctx.duration > 0) return av_rescale(ctx.duration, 1000, AV_TIME_BASE);
  int64_t longest = -1;
  for (unsigned i = 0; i < ctx.nb_streams; ++i) {
    const AVStream* st = ctx.streams[i];
    if (st->duration == AV_NOPTS_VALUE || st->duration <= 0) continue;
    longest = std::max(longest, av_rescale_q(st->duration, st->time_base, AVRational{1, 1000}));
  }
  return longest;
}

// The end of the last packet of an audio or video stream, from the first
// packet's start, read to the end of the file or `max_bytes` of it; -1 when
// the bound or the probe's deadline came first, or no packet had a time.
int64_t MeasuredDurationMs(AVFormatContext& ctx, int64_t max_bytes) {
  std::vector<int64_t> first(ctx.nb_streams, AV_NOPTS_VALUE), last(ctx.nb_streams, AV_NOPTS_VALUE);
  AVPacket* packet = av_packet_alloc();
  if (!packet) return -1;
  int rc = 0;
  while ((rc = av_read_frame(&ctx, packet)) >= 0) {
    const auto i = static_cast<size_t>(packet->stream_index);
    const AVStream* st = ctx.streams[packet->stream_index];
    const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const AVMediaType type = st->codecpar->codec_type;
    if (at != AV_NOPTS_VALUE && (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO)) {
      const int64_t end = av_rescale_q(at + std::max<int64_t>(packet->duration, 0), st->time_base, AVRational{1, 1000});
      const int64_t start = av_rescale_q(at, st->time_base, AVRational{1, 1000});
      if (first[i] == AV_NOPTS_VALUE || start < first[i]) first[i] = start;
      if (last[i] == AV_NOPTS_VALUE || end > last[i]) last[i] = end;
    }
    av_packet_unref(packet);
    if (ctx.pb && avio_tell(ctx.pb) > max_bytes) break;
  }
  av_packet_free(&packet);
  // Only a read that came to the end of what can be read has measured it
  // all; damage at a cut end is an end too, the deadline or the bound is not.
  if (rc >= 0 || rc == AVERROR_EXIT) return -1;
  int64_t longest = -1;
  for (size_t i = 0; i < first.size(); ++i)
    if (first[i] != AV_NOPTS_VALUE) longest = std::max(longest, last[i] - first[i]);
  return longest;
}

std::string ReadHead(const std::string& path, size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string head(bytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(bytes));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

}  // namespace

bool SwfHeaderDurationMs(const std::string& head, int64_t& duration_ms) {
  if (head.size() < 8) return false;
  const std::string signature = head.substr(0, 3);
  std::string body;  // everything after the 8-byte file header, uncompressed
  if (signature == "FWS") {
    body = head.substr(8);
  } else if (signature == "CWS") {
    // Only the frame rectangle and the two counters are needed: inflate a little.
    unsigned char out[64];
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(head.data() + 8));
    zs.avail_in = static_cast<uInt>(head.size() - 8);
    zs.next_out = out;
    zs.avail_out = sizeof out;
    const int rc = inflate(&zs, Z_SYNC_FLUSH);
    const size_t produced = sizeof out - zs.avail_out;
    inflateEnd(&zs);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
    body.assign(reinterpret_cast<const char*>(out), produced);
  } else {
    return false;  // "ZWS" (LZMA) and anything else
  }
  if (body.empty()) return false;
  // The frame rectangle: 5 bits of field width, then four fields of that width.
  const unsigned bits = static_cast<unsigned char>(body[0]) >> 3;
  const size_t rect_bytes = (5 + 4 * bits + 7) / 8;
  if (body.size() < rect_bytes + 4) return false;
  const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(body[rect_bytes + i])); };
  const unsigned rate_8_8 = byte(0) | (byte(1) << 8);  // frames per second in 8.8 fixed point
  const unsigned frames = byte(2) | (byte(3) << 8);
  if (rate_8_8 == 0 || frames == 0) return false;
  duration_ms = static_cast<int64_t>(frames) * 1000 * 256 / rate_8_8;
  return true;
}

MediaInfo DurationProbe::Probe(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw ProbeError(path, errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno));
  // A folder, pipe or device is no media file; opening a pipe could block for good.
  if (!S_ISREG(st.st_mode)) throw ProbeError(path, "not a regular file");
  if (::access(path.c_str(), R_OK) != 0)
    throw ProbeError(path, errno == EACCES ? "permission denied" : std::strerror(errno));

  SteadyTime deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.timeout_ms);
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) throw ProbeError(path, "out of memory");
  raw->interrupt_callback.callback = &PastDeadline;
  raw->interrupt_callback.opaque = &deadline;
  raw->probesize = limits_.probe_size;
  raw->max_analyze_duration = limits_.analyze_duration_us;

  // Local files only: a playlist disguised as a video must not reach the network.
  Options options;
  av_dict_set(&options.dict, "protocol_whitelist", "file", 0);
  // The "file:" prefix keeps a name with a colon from being read as a protocol.
  const std::string url = "file:" + path;
  int rc = avformat_open_input(&raw, url.c_str(), nullptr, &options.dict);
  if (rc == AVERROR(EACCES)) throw ProbeError(path, "permission denied");
  if (rc < 0) throw ProbeError(path, "not a media file", AvErrorText(rc));  // raw is freed on failure
  FormatContextPtr ctx(raw);

  if (!HeaderDescribesStreams(*ctx) || ReportedDurationMs(*ctx) <= 0) {
    rc = avformat_find_stream_info(ctx.get(), nullptr);
    if (rc < 0) throw ProbeError(path, "not a media file", AvErrorText(rc));
  }
  if (!HasDecodableStream(*ctx)) throw ProbeError(path, "no video or audio stream");

  int64_t duration_ms = ReportedDurationMs(*ctx);
  if (duration_ms < 0 && ctx->iformat && std::strcmp(ctx->iformat->name, "swf") == 0) {
    int64_t from_header = 0;
    if (SwfHeaderDurationMs(ReadHead(path, 1024), from_header)) duration_ms = from_header;
  }
  // A truncated recording, or one with junk after its end, may state no
  // length though every packet in it plays: its packets' times tell it.
  if (duration_ms < 0) duration_ms = MeasuredDurationMs(*ctx, limits_.measure_bytes);
  if (duration_ms < 0) throw ProbeError(path, "no length");
  return {duration_ms, HasPicture(*ctx)};
}

void ShowLibraryMessages(bool shown) {
  av_log_set_level(shown ? AV_LOG_INFO : AV_LOG_QUIET);
}

bool DurationProbe::HasVideoStream(const std::string& path) const {
  try {
    return Probe(path).has_video;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace media
