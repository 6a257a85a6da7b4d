#include "encoder/console.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}

namespace encoder {
namespace {

// How many library messages are kept for the end; a damaged file can make a
// decoder complain for every frame.
constexpr size_t kMaxKeptMessages = 20;

// The library's log hook is a plain function, so it finds its console here.
std::atomic<Console*> g_log_console{nullptr};

void LogHook(void* avcl, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  Console* console = g_log_console.load();
  if (!console) return;
  char line[1024];
  int print_prefix = 1;
  av_log_format_line2(avcl, level, format, args, line, sizeof line, &print_prefix);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty()) console->LibraryMessage(text);
}

}  // namespace

std::string FormatStatusLine(bool with_video, int64_t frames, double quality, int64_t bytes, int64_t output_us) {
  const double kilobytes = bytes / 1024.0;
  const double seconds = output_us > 0 ? output_us / 1e6 : 0.0;
  const double kilobits_per_second = output_us > 0 ? bytes * 8.0 / (output_us / 1000.0) : 0.0;
  char line[256];
  if (with_video) {
    std::snprintf(line, sizeof line, "frame=%5lld q=%3.1f size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s\r",
                  static_cast<long long>(frames), quality, kilobytes, seconds, kilobits_per_second);
  } else {
    std::snprintf(line, sizeof line, "size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s\r", kilobytes, seconds,
                  kilobits_per_second);
  }
  return line;
}

Console::Console(std::string tool, int fd) : tool_(std::move(tool)), fd_(fd) {}

Console::~Console() {
  {
    std::lock_guard lock(mutex_);
    stop_thread_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  Console* self = this;
  if (g_log_console.compare_exchange_strong(self, nullptr)) av_log_set_callback(av_log_default_callback);
}

void Console::CaptureLibraryLog() {
  g_log_console.store(this);
  av_log_set_callback(LogHook);
}

void Console::StartStatus(bool with_video, const Progress& progress, int interval_ms) {
  std::lock_guard lock(mutex_);
  if (status_running_ || status_done_) return;
  with_video_ = with_video;
  progress_ = &progress;
  interval_ms_ = interval_ms;
  status_running_ = true;
  thread_ = std::thread([this] { StatusLoop(); });
}

void Console::StatusLoop() {
  std::unique_lock lock(mutex_);
  while (!stop_thread_) {
    if (wake_.wait_for(lock, std::chrono::milliseconds(interval_ms_), [this] { return stop_thread_; })) break;
    Write(FormatStatusLine(with_video_, progress_->frames, progress_->quality, progress_->bytes, progress_->output_us));
  }
}

void Console::FinishStatus() {
  {
    std::lock_guard lock(mutex_);
    if (!status_running_) return;
    stop_thread_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  status_running_ = false;
  status_done_ = true;
  Write(FormatStatusLine(with_video_, progress_->frames, progress_->quality, progress_->bytes, progress_->output_us));
}

void Console::Fail(const std::string& reason) {
  {
    std::lock_guard lock(mutex_);
    kept_.clear();
    dropped_ = 0;
  }
  FinishStatus();
  std::lock_guard lock(mutex_);
  Write(std::string(last_char_ == '\r' ? "\n" : "") + tool_ + ": " + reason + "\n");
}

std::string OutputLinePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

void Console::Warn(const std::string& text) {
  std::lock_guard lock(mutex_);
  Write(std::string(last_char_ == '\r' ? "\n" : "") + tool_ + ": warning: " + text + "\n");
}

void Console::Report(const std::string& line) {
  FinishStatus();
  std::lock_guard lock(mutex_);
  FlushKeptMessages();
  Write(std::string(last_char_ == '\r' ? "\n" : "") + line + "\n");
}

void Console::Close() {
  FinishStatus();
  std::lock_guard lock(mutex_);
  FlushKeptMessages();
  if (last_char_ == '\r' && isatty(fd_)) Write("\n");
}

void Console::LibraryMessage(const std::string& line) {
  std::lock_guard lock(mutex_);
  last_message_ = line;
  if (!line.empty() && line.front() == '[') {
    if (const size_t end = line.find("] "); end != std::string::npos) last_message_ = line.substr(end + 2);
  }
  if (!kept_.empty() && kept_.back() == line) return;
  if (kept_.size() >= kMaxKeptMessages) {
    ++dropped_;
    return;
  }
  kept_.push_back(line);
}

std::string Console::TakeLastLibraryMessage() {
  std::lock_guard lock(mutex_);
  return std::exchange(last_message_, std::string());
}

void Console::FlushKeptMessages() {
  // Kept messages never go out while status lines are still being written.
  if (status_running_) return;
  std::string text;
  if (last_char_ == '\r' && !kept_.empty()) text += "\n";
  for (const std::string& line : kept_) text += line + "\n";
  if (dropped_ > 0) text += "(" + std::to_string(dropped_) + " more library messages)\n";
  kept_.clear();
  dropped_ = 0;
  if (!text.empty()) Write(text);
}

void Console::Write(const std::string& text) {
  if (!text.empty()) last_char_ = text.back();
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody is listening any more; the encoding goes on regardless
    done += static_cast<size_t>(n);
  }
}

}  // namespace encoder
