#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "encoder/av_handles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace encoder_test {
namespace {

using Clock = std::chrono::steady_clock;

std::string MediaFolder() {
  return VTPC_ENCODER_TEST_MEDIA_DIR "/";
}

struct Recipe {
  std::string name;
  std::vector<std::string> args;  // ffmpeg arguments after the common ones, output name last
};

// The test clips: every container and codec pair the converter meets, a few
// seconds long and tiny, plus special sources for trimming, level and stop tests.
std::vector<Recipe> Recipes() {
  const std::vector<std::string> clip = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3",
                                         "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3"};
  auto with = [](std::vector<std::string> base, std::initializer_list<std::string> more) {
    base.insert(base.end(), more);
    return base;
  };
  return {
      {"clip.avi", with(clip, {"-c:v", "mpeg4", "-q:v", "4", "-c:a", "libmp3lame", "-b:a", "64k"})},
      {"clip.mpg", with(clip, {"-c:v", "mpeg2video", "-b:v", "400k", "-c:a", "mp2", "-ar", "48000", "-f", "vob"})},
      {"clip.wmv", with(clip, {"-c:v", "wmv2", "-c:a", "wmav2"})},
      {"clip.flv", with(clip, {"-c:v", "flv1", "-c:a", "libmp3lame", "-b:a", "64k"})},
      {"clip.mov", with(clip, {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"})},
      {"clip.mp4", with(clip, {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"})},
      {"clip.3gp",
       {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25:duration=3", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=22050:duration=3", "-c:v", "h263", "-c:a", "aac", "-ac", "1"}},
      {"clip.rm", with(clip, {"-c:v", "rv20", "-b:v", "300k", "-c:a", "ac3", "-b:a", "96k"})},
      // Picture N has luma 16 + 2N; the tone starts at exactly 2 s; key frames
      // every 12 pictures, so trims start between key frames; B-pictures that
      // nothing refers to, which the decoder may skip.
      {"ramp.mov", {"-f",         "lavfi",
                    "-i",         "color=c=black:s=160x120:r=25:d=4,format=yuv420p,geq=lum='16+2*N':cb=128:cr=128",
                    "-f",         "lavfi",
                    "-i",         "aevalsrc='if(gte(t,2),0.5*sin(2*PI*440*t),0)':s=44100:d=4",
                    "-c:v",       "libx264",
                    "-qp",        "1",
                    "-g",         "12",
                    "-bf",        "2",
                    "-b-pyramid", "none",
                    "-c:a",       "pcm_s16le"}},
      // A steady tone of amplitude 0.2, sound only.
      {"tone.wav",
       {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-af", "volume=1.6", "-c:a",
        "pcm_s16le"}},
      // Sound alone in an MP3 file with its length header, a fuzzing seed.
      {"tone.mp3",
       {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-c:a", "libmp3lame", "-b:a", "64k"}},
      // Two pictures 3000 s apart, as a variable-rate file may hold them: the
      // rate conversion has a long gap to fill.
      {"gap.mp4",
       {"-f", "lavfi", "-i", "color=c=gray:s=160x120:r=1:d=2", "-vf", "setpts=N*3000/TB", "-fps_mode", "passthrough",
        "-c:v", "libx264", "-preset", "ultrafast", "-bf", "0"}},
      // Left half white, right half black, filed with a quarter turn for display.
      {"upright.mp4",
       {"-f", "lavfi", "-i", "color=c=white:s=160x120:r=25:d=1,drawbox=x=80:y=0:w=80:h=120:color=black:t=fill", "-c:v",
        "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}},
      {"turned.mp4", {"-i", "@upright.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90"}},
      // Pictures without sound.
      {"mute.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-c:v", "mpeg4"}},
      // A longer stream for stop tests, fed through a pipe.
      {"long.ts",
       {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=30", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=44100:duration=30", "-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
        "-c:a", "aac", "-f", "mpegts"}},
  };
}

std::string RecipeStamp() {
  std::string stamp = "encoder test media 1\n";
  for (const Recipe& recipe : Recipes()) {
    stamp += recipe.name;
    for (const std::string& arg : recipe.args) stamp += " " + arg;
    stamp += "\n";
  }
  return stamp;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Starts argv with stdin from /dev/null and the given pipes for stdout/stderr.
int Spawn(const std::vector<std::string>& argv, int out_fd, int err_fd, const std::string& folder = "") {
  std::vector<char*> raw;
  for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
  raw.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    signal(SIGPIPE, SIG_DFL);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    execvp(raw[0], raw.data());
    _exit(127);
  }
  return pid;
}

void FillResult(int status, ProcessResult& result) {
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
}

}  // namespace

std::string EncoderPath(const std::string& tool) {
  return std::string(VTPC_PROGRAM_DIR) + "/" + tool;
}

std::string Media(const std::string& name) {
  return MediaFolder() + name;
}

void MediaEnvironment::SetUp() {
  // A reader of a pipe the encoder closed must not die of it.
  signal(SIGPIPE, SIG_IGN);
  const std::string folder = MediaFolder();
  mkdir(folder.c_str(), 0755);
  const int lock = open((folder + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
  ASSERT_GE(lock, 0) << std::strerror(errno);
  flock(lock, LOCK_EX);
  const std::string stamp = RecipeStamp();
  if (ReadWholeFile(folder + "stamp") != stamp) {
    unlink((folder + "stamp").c_str());
    for (const Recipe& recipe : Recipes()) {
      std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
      // "@name" is another medium made before this one.
      for (const std::string& arg : recipe.args) argv.push_back(arg.rfind('@', 0) == 0 ? folder + arg.substr(1) : arg);
      argv.push_back(folder + recipe.name);
      const ProcessResult made = RunProcess(argv, 120000);
      if (made.exit_code != 0) {
        flock(lock, LOCK_UN);
        close(lock);
        FAIL() << "could not make " << recipe.name << ": " << made.err;
      }
    }
    std::ofstream(folder + "stamp", std::ios::binary) << stamp;
  }
  flock(lock, LOCK_UN);
  close(lock);
}

ProcessResult RunProcess(const std::vector<std::string>& argv, int timeout_ms, const std::string& folder) {
  ProcessResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  const pid_t pid = Spawn(argv, out_pipe[1], err_pipe[1], folder);
  close(out_pipe[1]);
  close(err_pipe[1]);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (auto& fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  FillResult(status, result);
  return result;
}

ProcessResult RunEncoder(const std::string& tool, const std::vector<std::string>& args, int timeout_ms,
                         const std::string& folder) {
  std::vector<std::string> argv = {EncoderPath(tool)};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, timeout_ms, folder);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int err_pipe[2];
  if (pipe2(err_pipe, O_CLOEXEC) != 0) return;
  const int null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_ = Spawn(argv, null_out, err_pipe[1]);
  close(null_out);
  close(err_pipe[1]);
  err_fd_ = err_pipe[0];
  SetNonBlocking(err_fd_);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (err_fd_ >= 0) close(err_fd_);
}

void ChildProcess::ReadAvailable(int timeout_ms) {
  if (err_fd_ < 0) {
    if (timeout_ms > 0) usleep(static_cast<useconds_t>(timeout_ms) * 1000);
    return;
  }
  pollfd fd = {err_fd_, POLLIN, 0};
  if (poll(&fd, 1, timeout_ms) <= 0) return;
  char buffer[4096];
  while (true) {
    const ssize_t n = read(err_fd_, buffer, sizeof buffer);
    if (n > 0) {
      err_.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      close(err_fd_);
      err_fd_ = -1;
    }
    return;
  }
}

bool ChildProcess::ReadErrUntil(const std::function<bool(const std::string&)>& done, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done(err_)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    ReadAvailable(static_cast<int>(std::min<long>(left, 50)));
  }
  return true;
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<ProcessResult> ChildProcess::Wait(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      while (err_fd_ >= 0) ReadAvailable(100);
      ProcessResult result;
      FillResult(status, result);
      result.err = err_;
      return result;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    ReadAvailable(10);
  }
}

// ---------------------------------------------------------------------------
// Probes

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
