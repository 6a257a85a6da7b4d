// Probes on the FFmpeg libraries that read back what an encoder wrote, and
// readers of its status lines and output folder.
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "encoder/av_compat.h"
#include "encoder/av_handles.h"
#include "harness.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace encoder_test {

const StreamInfo* MediaInfo::Find(const std::string& type) const {
  for (const StreamInfo& stream : streams)
    if (stream.type == type) return &stream;
  return nullptr;
}

namespace {

encoder::InputFormatPtr OpenMedia(const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, ("file:" + path).c_str(), nullptr, nullptr) < 0) return nullptr;
  encoder::InputFormatPtr input(context);
  if (avformat_find_stream_info(context, nullptr) < 0) return nullptr;
  return input;
}

encoder::CodecContextPtr OpenDecoder(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  encoder::CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), stream->codecpar);
  decoder->pkt_timebase = stream->time_base;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return nullptr;
  return decoder;
}

// Calls `on_frame(stream, frame)` for every decoded frame of the streams of
// `type` (all audio and video when UNKNOWN) until it returns false.
template <typename OnFrame>
bool DecodeAll(const std::string& path, AVMediaType type, OnFrame on_frame, int* errors = nullptr) {
  encoder::InputFormatPtr input = OpenMedia(path);
  if (!input) return false;
  std::map<int, encoder::CodecContextPtr> decoders;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVMediaType stream_type = input->streams[i]->codecpar->codec_type;
    if (stream_type != AVMEDIA_TYPE_AUDIO && stream_type != AVMEDIA_TYPE_VIDEO) continue;
    if (type != AVMEDIA_TYPE_UNKNOWN && stream_type != type) continue;
    if (auto decoder = OpenDecoder(input->streams[i])) decoders[static_cast<int>(i)] = std::move(decoder);
  }
  encoder::PacketPtr packet = encoder::MakePacket();
  encoder::FramePtr frame = encoder::MakeFrame();
  bool go_on = true;
  auto drain = [&](int index, AVCodecContext* decoder) {
    while (go_on && avcodec_receive_frame(decoder, frame.get()) >= 0) {
      go_on = on_frame(input->streams[index], frame.get());
      av_frame_unref(frame.get());
    }
  };
  while (go_on && av_read_frame(input.get(), packet.get()) >= 0) {
    auto it = decoders.find(packet->stream_index);
    if (it != decoders.end()) {
      if (avcodec_send_packet(it->second.get(), packet.get()) < 0 && errors) ++*errors;
      drain(it->first, it->second.get());
    }
    av_packet_unref(packet.get());
  }
  for (auto& [index, decoder] : decoders) {
    avcodec_send_packet(decoder.get(), nullptr);
    drain(index, decoder.get());
  }
  return true;
}

}  // namespace

MediaInfo Probe(const std::string& path) {
  MediaInfo info;
  encoder::InputFormatPtr input = OpenMedia(path);
  if (!input) return info;
  info.opened = true;
  info.format = input->iformat->name;
  info.duration = input->duration != AV_NOPTS_VALUE ? input->duration / 1e6 : 0;
  std::vector<int64_t> first(input->nb_streams, AV_NOPTS_VALUE);
  std::vector<int64_t> last(input->nb_streams, AV_NOPTS_VALUE);
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* stream = input->streams[i];
    const AVCodecParameters* par = stream->codecpar;
    StreamInfo s;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) s.type = "video";
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) s.type = "audio";
    s.codec = avcodec_get_name(par->codec_id);
    s.codec_tag = par->codec_tag;
    s.width = par->width;
    s.height = par->height;
    AVRational sar = stream->sample_aspect_ratio.num ? stream->sample_aspect_ratio : par->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
    if (par->height > 0) s.display_aspect = par->width * av_q2d(sar) / par->height;
    s.frame_rate_num = stream->r_frame_rate.num;
    s.frame_rate_den = stream->r_frame_rate.den;
    s.sample_rate = par->sample_rate;
    s.channels = par->ch_layout.nb_channels;
    if (const int32_t* matrix = encoder::av::DisplayMatrix(stream)) {
      const double turn = av_display_rotation_get(matrix);
      if (!std::isnan(turn)) s.rotation = static_cast<int>(std::lround(turn));
    }
    info.streams.push_back(s);
  }
  encoder::PacketPtr packet = encoder::MakePacket();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const int index = packet->stream_index;
    const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (stamp != AV_NOPTS_VALUE) {
      if (first[index] == AV_NOPTS_VALUE || stamp < first[index]) first[index] = stamp;
      const int64_t end = stamp + packet->duration;
      if (last[index] == AV_NOPTS_VALUE || end > last[index]) last[index] = end;
    }
    ++info.streams[index].packets;
    av_packet_unref(packet.get());
  }
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (first[i] != AV_NOPTS_VALUE)
      info.streams[i].duration = (last[i] - std::max<int64_t>(first[i], 0)) * av_q2d(input->streams[i]->time_base);
  }
  return info;
}

bool PlaysThrough(const std::string& path, std::string* why) {
  int errors = 0;
  int frames = 0;
  const bool opened = DecodeAll(
      path, AVMEDIA_TYPE_UNKNOWN, [&](const AVStream*, const AVFrame*) { return ++frames, true; }, &errors);
  if (why) *why = !opened ? "cannot open" : errors ? std::to_string(errors) + " bad packets" : "no frames";
  return opened && errors == 0 && frames > 0;
}

std::vector<double> LumaMeans(const std::string& path, int count, double top, double bottom) {
  std::vector<double> means;
  DecodeAll(path, AVMEDIA_TYPE_VIDEO, [&](const AVStream*, const AVFrame* frame) {
    double sum = 0;
    const int first = static_cast<int>(frame->height * top);
    const int last = std::max(first + 1, static_cast<int>(frame->height * bottom));
    for (int y = first; y < last; ++y) {
      const uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
      for (int x = 0; x < frame->width; ++x) sum += row[x];
    }
    means.push_back(sum / (frame->width * (last - first)));
    return static_cast<int>(means.size()) < count;
  });
  return means;
}

double AudioSamples::Rms(size_t from, size_t to) const {
  to = std::min(to, samples.size());
  if (from >= to) return 0;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

std::optional<size_t> AudioSamples::FirstAbove(float threshold) const {
  for (size_t i = 0; i < samples.size(); ++i)
    if (std::fabs(samples[i]) >= threshold) return i;
  return std::nullopt;
}

AudioSamples DecodeAudio(const std::string& path) {
  AudioSamples audio;
  DecodeAll(path, AVMEDIA_TYPE_AUDIO, [&](const AVStream*, const AVFrame* frame) {
    audio.sample_rate = frame->sample_rate;
    const int channels = frame->ch_layout.nb_channels;
    // Into planar floats with the same channels, then the plain channel average.
    SwrContext* raw = nullptr;
    AVChannelLayout* layout = const_cast<AVChannelLayout*>(&frame->ch_layout);  // the API is not const-correct
    swr_alloc_set_opts2(&raw, layout, AV_SAMPLE_FMT_FLTP, frame->sample_rate, layout,
                        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    std::unique_ptr<SwrContext, void (*)(SwrContext*)> swr(raw, [](SwrContext* s) { swr_free(&s); });
    if (!swr || swr_init(swr.get()) < 0) return false;
    std::vector<std::vector<float>> planes(channels, std::vector<float>(frame->nb_samples));
    std::vector<uint8_t*> outputs;
    for (auto& plane : planes) outputs.push_back(reinterpret_cast<uint8_t*>(plane.data()));
    const int done = swr_convert(swr.get(), outputs.data(), frame->nb_samples,
                                 const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    for (int i = 0; i < done; ++i) {
      float sum = 0;
      for (int c = 0; c < channels; ++c) sum += planes[c][i];
      audio.samples.push_back(sum / channels);
    }
    return true;
  });
  return audio;
}

std::vector<std::string> StatusLines(const std::string& err) {
  std::vector<std::string> lines;
  std::string current;
  auto take = [&] {
    if (current.rfind("frame=", 0) == 0 || current.rfind("size=", 0) == 0) lines.push_back(current);
    current.clear();
  };
  for (char c : err) {
    if (c == '\r' || c == '\n') {
      take();
    } else {
      current += c;
    }
  }
  take();
  return lines;
}

std::optional<long> ReadProgressSeconds(const std::string& text, bool video) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : text) {
    if (c == '=') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(field);
  const size_t index = video ? 4 : 2;
  if (fields.size() < (video ? 5u : 4u)) return std::nullopt;
  const std::string whole = fields[index].substr(0, fields[index].find('.'));
  if (whole.empty() || whole.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stol(whole);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> TemporaryFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.rfind(".evc-", 0) == 0) names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  const size_t end = trimmed.find_last_of("\r\n");
  return end == std::string::npos ? trimmed : trimmed.substr(end + 1);
}

}  // namespace encoder_test
