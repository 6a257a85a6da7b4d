// Test harness for the console encoders: the built evc/revc, small test media
// made once per build tree with Debian's ffmpeg, a process runner (harness.cpp),
// and probes on the FFmpeg libraries that read back what an encoder wrote
// (probes.cpp).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace encoder_test {

// Full path of a built encoder ("evc" or "revc") in the program folder.
std::string EncoderPath(const std::string& tool);

// Full path of a test medium made by the shared media library.
std::string Media(const std::string& name);

// Length in seconds of the short test clips.
inline constexpr double kClipSeconds = 3.0;

// Makes the test media once per build tree; every test process shares them.
class MediaEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
};

struct ProcessResult {
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;
  std::string out;
  std::string err;
  bool timed_out = false;
};

// Runs a program with exactly these arguments (no shell) and collects its output;
// `folder`, when given, is its current folder.
ProcessResult RunProcess(const std::vector<std::string>& argv, int timeout_ms = 60000, const std::string& folder = "");

// "-y -i INPUT", the output form's options, then OUTPUT: an encoder's arguments.
std::vector<std::string> EncoderArgs(const std::string& input, const std::vector<std::string>& form,
                                     const std::string& output);

// Runs an encoder: `tool` followed by `args`.
ProcessResult RunEncoder(const std::string& tool, const std::vector<std::string>& args, int timeout_ms = 60000,
                         const std::string& folder = "");

// A started process whose standard error is read while it runs.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();  // ends and reaps the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads standard error until `done(text so far)` holds or the time is up.
  bool ReadErrUntil(const std::function<bool(const std::string&)>& done, int timeout_ms);
  void Signal(int signal_number);
  // Waits for the end, reading standard error meanwhile; nothing when still running.
  std::optional<ProcessResult> Wait(int timeout_ms);
  const std::string& err() const { return err_; }

 private:
  void ReadAvailable(int timeout_ms);
  int pid_ = -1;
  int err_fd_ = -1;
  std::string err_;
};

// Reads the child's standard error until a status line reports `seconds` of
// output or the time is up; true when one did.
bool ReachesSeconds(ChildProcess& child, long seconds, bool video = true, int timeout_ms = 20000);

// What a media file holds, as the FFmpeg libraries read it.
struct StreamInfo {
  std::string type;   // "video" or "audio"
  std::string codec;  // codec name
  unsigned codec_tag = 0;
  int width = 0;
  int height = 0;
  double display_aspect = 0;  // width * SAR / height
  int frame_rate_num = 0;
  int frame_rate_den = 0;
  int sample_rate = 0;
  int channels = 0;
  int rotation = 0;     // the display matrix's turn, degrees counterclockwise
  double duration = 0;  // seconds, from the packets read
  int packets = 0;
};

struct MediaInfo {
  bool opened = false;
  std::string format;  // short name of the demuxer
  double duration = 0;
  std::vector<StreamInfo> streams;
  const StreamInfo* Find(const std::string& type) const;
};

MediaInfo Probe(const std::string& path);

// Decodes every stream through; true when nothing failed and frames came out.
bool PlaysThrough(const std::string& path, std::string* why = nullptr);

// Mean luma of each of the first `count` decoded pictures, over the rows from
// `top` to `bottom` (fractions of the height).
std::vector<double> LumaMeans(const std::string& path, int count, double top = 0, double bottom = 1);

// All audio samples, mixed to mono floats, and their rate.
struct AudioSamples {
  int sample_rate = 0;
  std::vector<float> samples;
  double Rms(size_t from = 0, size_t to = SIZE_MAX) const;
  // Index of the first sample whose magnitude reaches `threshold`.
  std::optional<size_t> FirstAbove(float threshold) const;
};
AudioSamples DecodeAudio(const std::string& path);

// The status lines an encoder wrote: the text split at "\r", lines that look
// like status lines only, in order.
std::vector<std::string> StatusLines(const std::string& err);

// The output time a progress reader takes from a status line: split at "=",
// field 4 (video output) or 2 (audio only), the digits before the first ".".
std::optional<long> ReadProgressSeconds(const std::string& text, bool video);

// Every name in a folder, hidden ones too, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// Names in the folder that look like an encoder's temporary output.
std::vector<std::string> TemporaryFiles(const std::string& folder);

// The last line of a text (without its line end).
std::string LastLine(const std::string& text);

}  // namespace encoder_test
