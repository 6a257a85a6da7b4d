#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

// The arguments that file a copy of a clip with a quarter turn for display.
// Older ffmpeg tools make the display matrix of a "rotate" tag; newer ones
// ignore that tag and take the turn as an input option instead.
std::vector<std::string> TurnedCopy(const std::string& clip) {
  static const bool has_option =
      RunProcess({"ffmpeg", "-hide_banner", "-h", "full"}, 60000).out.find("-display_rotation") != std::string::npos;
  if (has_option) return {"-display_rotation:v:0", "90", "-i", clip, "-c", "copy"};
  return {"-i", clip, "-c", "copy", "-metadata:s:v:0", "rotate=90"};
}

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
      // Today's other containers, as fuzzing seeds.
      {"clip.mkv", with(clip, {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"})},
      {"clip.webm", with(clip, {"-c:v", "libvpx", "-b:v", "200k", "-c:a", "libvorbis"})},
      {"clip.ts", with(clip, {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"})},
      {"clip.ogv", with(clip, {"-c:v", "libtheora", "-q:v", "5", "-c:a", "libvorbis"})},
      {"clip.vob", with(clip, {"-c:v", "mpeg2video", "-b:v", "400k", "-c:a", "ac3", "-ar", "48000", "-f", "vob"})},
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
      // rate conversion has a long gap to fill. Without an edit list: FFmpeg 7
      // gives the last picture no length, and its edit list would cut it off.
      {"gap.mp4",
       {"-f", "lavfi", "-i", "color=c=gray:s=160x120:r=1:d=2", "-vf", "setpts=N*3000/TB", "-fps_mode", "passthrough",
        "-c:v", "libx264", "-preset", "ultrafast", "-bf", "0", "-use_editlist", "0"}},
      // Left half white, right half black, filed with a quarter turn for display.
      {"upright.mp4",
       {"-f", "lavfi", "-i", "color=c=white:s=160x120:r=25:d=1,drawbox=x=80:y=0:w=80:h=120:color=black:t=fill", "-c:v",
        "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}},
      {"turned.mp4", TurnedCopy("@upright.mp4")},
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

std::vector<std::string> EncoderArgs(const std::string& input, const std::vector<std::string>& form,
                                     const std::string& output) {
  std::vector<std::string> args = {"-y", "-i", input};
  args.insert(args.end(), form.begin(), form.end());
  args.push_back(output);
  return args;
}

bool ReachesSeconds(ChildProcess& child, long seconds, bool video, int timeout_ms) {
  return child.ReadErrUntil(
      [&](const std::string& err) {
        const auto lines = StatusLines(err);
        return !lines.empty() && ReadProgressSeconds(lines.back(), video).value_or(0) >= seconds;
      },
      timeout_ms);
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

}  // namespace encoder_test
