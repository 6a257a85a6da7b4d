#include "test_media.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "fakes.h"

extern char** environ;

namespace testing_support {
namespace {

struct ContainerRecipe {
  std::string video_size;  // empty: no video
  std::vector<std::string> options;
  int sample_rate;  // 0: no audio
};

const std::map<std::string, ContainerRecipe>& Recipes() {
  static const std::map<std::string, ContainerRecipe> recipes = {
      // H.263 only knows its fixed picture sizes.
      {".3gp", {"128x96", {"-c:v", "h263", "-c:a", "aac", "-ac", "1"}, 8000}},
      {".3g2", {"128x96", {"-c:v", "h263", "-c:a", "aac", "-ac", "1"}, 8000}},
      {".avi", {"64x48", {"-c:v", "mpeg4", "-c:a", "mp2"}, 44100}},
      {".m4v", {"64x48", {"-c:v", "mpeg4", "-an"}, 0}},
      {".mpeg", {"64x48", {"-c:v", "mpeg1video", "-c:a", "mp2"}, 44100}},
      {".mpg", {"64x48", {"-c:v", "mpeg1video", "-c:a", "mp2"}, 44100}},
      {".asf", {"64x48", {"-c:v", "wmv2", "-c:a", "wmav2"}, 44100}},
      {".mov", {"64x48", {"-c:v", "mpeg4", "-c:a", "aac"}, 44100}},
      {".wmv", {"64x48", {"-c:v", "wmv2", "-c:a", "wmav2"}, 44100}},
      {".vob", {"64x48", {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}, 44100}},
      {".rm", {"64x48", {"-c:v", "rv10", "-c:a", "ac3"}, 48000}},
      {".rmvb", {"64x48", {"-c:v", "rv20", "-c:a", "ac3", "-f", "rm"}, 48000}},
      {".flv", {"64x48", {"-c:v", "flv1", "-c:a", "libmp3lame"}, 22050}},
      {".swf", {"64x48", {"-c:v", "flv1", "-c:a", "libmp3lame"}, 22050}},
      {".mp4", {"64x48", {"-c:v", "mpeg4", "-c:a", "aac"}, 44100}},
      {".mkv", {"64x48", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "libvorbis"}, 44100}},
      {".webm", {"64x48", {"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libopus"}, 48000}},
      {".ts", {"64x48", {"-c:v", "mpeg2video", "-c:a", "mp2"}, 44100}},
      {".m2ts",
       {"64x48",
        {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"},
        48000}},
      {".mts",
       {"64x48",
        {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"},
        48000}},
      {".ogv", {"64x48", {"-c:v", "libtheora", "-c:a", "libvorbis", "-f", "ogg"}, 44100}},
  };
  return recipes;
}

std::string CacheDir() {
  std::string dir = VTPC_TEST_MEDIA_CACHE;
  std::filesystem::create_directories(dir);
  return dir + "/";
}

// Makes the file once; concurrent test processes race harmlessly on the rename.
std::string Cached(const std::string& name, const std::vector<std::string>& ffmpeg_args_before_output) {
  const std::string path = CacheDir() + name;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
  const std::string ext = std::filesystem::path(name).extension().string();
  const std::string temp = CacheDir() + "tmp-" + std::to_string(::getpid()) + "-" + name;
  std::vector<std::string> argv = ffmpeg_args_before_output;
  argv.push_back(temp);
  if (RunProgram(argv) != 0) {
    std::remove(temp.c_str());
    throw std::runtime_error("ffmpeg could not make " + name);
  }
  std::filesystem::rename(temp, path);
  return path;
}

std::string SecondsText(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", seconds);
  return buf;
}

}  // namespace

const std::vector<std::string>& AcceptedContainers() {
  static const std::vector<std::string> all = {".3gp", ".3g2", ".avi",  ".m4v", ".mpeg", ".mpg", ".asf",
                                               ".mov", ".wmv", ".vob",  ".rm",  ".rmvb", ".flv", ".swf",
                                               ".mp4", ".mkv", ".webm", ".ts",  ".m2ts", ".mts", ".ogv"};
  return all;
}

const std::vector<std::string>& AcceptedSoundTypes() {
  static const std::vector<std::string> all = {".mp3", ".wav", ".m4a", ".aac", ".flac", ".ogg", ".opus", ".wma"};
  return all;
}

void MakeSoundClip(const std::string& extension, double seconds, const std::string& path, bool with_cover) {
  std::vector<std::string> argv = {
      "ffmpeg", "-nostdin", "-v",
      "error",  "-y",       "-f",
      "lavfi",  "-i",       "sine=frequency=440:sample_rate=44100:duration=" + SecondsText(seconds)};
  if (with_cover) {
    // One second at one picture a second is the one picture; "-frames:v 1"
    // would cut the whole file to a second with newer ffmpeg.
    argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc=size=64x64:rate=1:duration=1", "-map", "0:a", "-map", "1:v",
                             "-c:v", "mjpeg", "-disposition:v", "attached_pic"});
  }
  // The container follows the extension, but a test may name a file as it likes:
  // an ".aac" is a raw ADTS stream whatever the name.
  if (extension == ".aac") argv.insert(argv.end(), {"-f", "adts"});
  argv.push_back(path);
  if (RunProgram(argv) != 0) throw std::runtime_error("ffmpeg could not make " + path);
}

int RunProgram(const std::vector<std::string>& argv, bool quiet) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void MakeClipThatGivesOut(const std::string& path) {
  MakeClip(".flv", 2, path);
  std::string flv = *ReadFile(path);
  // Tags follow the 9-byte header and a back pointer; the size is bytes 1 to 3.
  size_t tag = 13;
  while (tag * 6 < flv.size())
    tag += 11 +
           ((static_cast<uint8_t>(flv[tag + 1]) << 16) | (static_cast<uint8_t>(flv[tag + 2]) << 8) |
            static_cast<uint8_t>(flv[tag + 3])) +
           4;
  flv.replace(tag + 1, 3, "\xff\xff\xff");
  WriteFile(path, flv);
}

void MakeWmvsWithoutLength(const std::string& cut_path, const std::string& junk_path) {
  MakeClip(".wmv", 2, cut_path);
  const std::string whole = *ReadFile(cut_path);
  WriteFile(cut_path, whole.substr(0, whole.size() * 6 / 10));
  WriteFile(junk_path, whole + std::string(4096, 'Z'));
}

void MakeClip(const std::string& extension, double seconds, const std::string& path) {
  const ContainerRecipe& recipe = Recipes().at(extension);
  const std::string d = SecondsText(seconds);
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc=size=" + recipe.video_size + ":rate=25:duration=" + d});
  if (recipe.sample_rate > 0)
    argv.insert(argv.end(),
                {"-f", "lavfi", "-i", "sine=sample_rate=" + std::to_string(recipe.sample_rate) + ":duration=" + d});
  argv.insert(argv.end(), recipe.options.begin(), recipe.options.end());
  argv.insert(argv.end(), {"-t", d});
  const std::string made = Cached("clip-" + d + "s" + extension, argv);
  std::filesystem::copy_file(made, path, std::filesystem::copy_options::overwrite_existing);
}

void MakeSubtitleOnlyClip(const std::string& path) {
  const std::string srt = CacheDir() + "subtitle-" + std::to_string(::getpid()) + ".srt";
  {
    std::FILE* f = std::fopen(srt.c_str(), "w");
    if (!f) throw std::runtime_error("cannot write " + srt);
    std::fputs("1\n00:00:00,000 --> 00:00:05,000\nHello\n\n", f);
    std::fclose(f);
  }
  const std::string made =
      Cached("subtitle-only.mp4", {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", srt, "-c:s", "mov_text"});
  std::remove(srt.c_str());
  std::filesystem::copy_file(made, path, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace testing_support
