// What the encoder writes to standard error: status lines while it encodes, the
// library's own messages kept out of their way, and a one-line reason on failure.
//
// The converter's progress window splits the latest chunk it reads at "=" and
// takes the output time from a fixed field, counted from the chunk's start. So
// a status line is written with one write() call, and nothing else is written
// between the first and the last status line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace encoder {

// The counters the status lines show, written by the encoding thread and read
// by the status thread.
struct Progress {
  std::atomic<int64_t> frames{0};     // video frames encoded
  std::atomic<double> quality{0};     // quantizer of the last video frame
  std::atomic<int64_t> bytes{0};      // bytes written to the output so far
  std::atomic<int64_t> output_us{0};  // seconds of output written so far, in microseconds
};

// "frame=%5d q=%3.1f size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s\r" for output
// with video, "size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s\r" for audio alone.
std::string FormatStatusLine(bool with_video, int64_t frames, double quality, int64_t bytes, int64_t output_us);

// The last line of a run that kept a file names it, for the caller to read:
// "output: PATH" for a finished file, "partial output: SECONDS PATH" for one
// cut short (SECONDS with a "." and two decimals). The path may differ from the
// one asked for (a name taken meanwhile, a partial file). The path is written
// with "\\", "\n" and "\r" for a backslash, line feed and carriage return, so a
// name with a line break stays one line (OutputLinePath).
inline constexpr const char* kOutputLine = "output: ";
inline constexpr const char* kPartialOutputLine = "partial output: ";
std::string OutputLinePath(const std::string& path);

class Console {
 public:
  // `tool` prefixes the failure reason ("evc", "revc"); `fd` is where it all goes.
  explicit Console(std::string tool, int fd = 2);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Routes the library's log through this console: messages of error level are
  // kept and written at the end, after the last status line.
  void CaptureLibraryLog();

  // Starts the status lines, one about every `interval_ms`.
  void StartStatus(bool with_video, const Progress& progress, int interval_ms = 500);
  // Writes the last status line (once, if status lines were started).
  void FinishStatus();

  // Writes "<tool>: <reason>" as a line of its own, after the last status line.
  // The library messages kept so far are dropped: the reason says what failed.
  void Fail(const std::string& reason);
  // Writes "<tool>: warning: <text>" as a line of its own; the run goes on.
  void Warn(const std::string& text);
  // Writes the library messages kept, then `line` as a line of its own: the
  // closing lines a caller reads (see kOutputLine).
  void Report(const std::string& line);
  // Writes the library messages kept (after the last status line) and ends the
  // output nicely for a person at a terminal.
  void Close();

  // Called from the log hook; safe from any thread.
  void LibraryMessage(const std::string& line);

  // The latest library message since the last call, without its "[name @ 0x...]"
  // prefix: the detail a failure reason can carry.
  std::string TakeLastLibraryMessage();

 private:
  void Write(const std::string& text);
  void StatusLoop();
  void FlushKeptMessages();

  std::string tool_;
  int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> kept_;
  size_t dropped_ = 0;
  std::string last_message_;
  bool status_running_ = false;
  bool status_done_ = false;
  bool stop_thread_ = false;
  bool with_video_ = false;
  char last_char_ = '\n';  // last character written, to end a status line before other text
  int interval_ms_ = 500;
  const Progress* progress_ = nullptr;
  std::thread thread_;
};

}  // namespace encoder
