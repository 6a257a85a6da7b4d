#include "engine/runner.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "platform/child_process.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "ui/event_loop.h"

void ChildRegistry::Add(pid_t pid) {
  std::lock_guard<std::mutex> lock(mutex_);
  pids_.insert(pid);
}

std::optional<int> ChildRegistry::Collect(pid_t pid, const std::function<std::optional<int>()>& collect) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::optional<int> status = collect();
  if (status) pids_.erase(pid);
  return status;
}

void ChildRegistry::WithChildren(const std::function<void(const std::set<pid_t>&)>& action) const {
  std::lock_guard<std::mutex> lock(mutex_);
  action(pids_);
}

namespace {

void KeepTail(std::string& tail, const std::string& text) {
  constexpr size_t kTailBytes = 4096;
  tail += text;
  if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
}

// The encoder's closing lines (its console's kOutputLine and kPartialOutputLine).
const std::string kOutput = "output: ";
const std::string kPartial = "partial output: ";

bool IsClosingLine(const std::string& line) {
  return line.rfind(kOutput, 0) == 0 || line.rfind(kPartial, 0) == 0;
}

// The text without the closing lines: they are for the batch, not for the
// status the progress window shows.
std::string WithoutClosingLines(const std::string& text) {
  std::string kept;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find_first_of("\r\n", begin);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string piece = text.substr(begin, end - begin);
    if (!IsClosingLine(piece)) kept += piece;
    begin = end;
  }
  return kept;
}

// The encoder writes "\\", "\n" and "\r" for the characters that would end or
// break its line.
std::string UnescapedPath(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

}  // namespace

std::optional<KeptOutput> ReadKeptOutput(const std::string& text) {
  std::optional<KeptOutput> kept;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    if (line.rfind(kOutput, 0) == 0 && line.size() > kOutput.size()) {
      kept = KeptOutput{UnescapedPath(line.substr(kOutput.size())), false, 0};
    } else if (line.rfind(kPartial, 0) == 0) {
      const std::string rest = line.substr(kPartial.size());
      const size_t blank = rest.find(' ');
      if (blank == std::string::npos || blank + 1 >= rest.size()) continue;
      char* parsed_end = nullptr;
      const std::string number = rest.substr(0, blank);
      const double seconds = std::strtod(number.c_str(), &parsed_end);
      if (parsed_end != number.c_str() + number.size()) continue;
      kept = KeptOutput{UnescapedPath(rest.substr(blank + 1)), true, seconds};
    }
  }
  return kept;
}

std::string ReadFailureReason(const std::string& text) {
  std::string reason;
  for (const std::string& line : text::SplitText(text, '\n')) {
    const size_t colon = line.find(": ");
    const std::string tool = line.substr(0, colon);
    if (colon != std::string::npos && (tool == platform::kEncoderName || tool == platform::kRealMediaEncoderName))
      reason = line.substr(colon + 2);
  }
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

std::string FormatLength(double seconds) {
  const int64_t whole = seconds > 0 ? static_cast<int64_t>(seconds) : 0;
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(whole / 3600),
                  static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(whole / 60), static_cast<int>(whole % 60));
  }
  return text;
}

RunOutcome RunPipedProcess(const std::string& command_line, const TOutputCallback& callback,
                           const RunnerSettings& settings, const std::function<void(platform::PipedChild*)>& on_child) {
  RunOutcome outcome;
  auto child = platform::PipedChild::Start(platform::SplitCommandLine(command_line), settings.folder,
                                           settings.environment, settings.hold_stop_signals);
  if (child && settings.children) settings.children->Add(child->Pid());
  if (settings.launched) settings.launched();
  if (!child) return outcome;
  outcome.started = true;
  if (on_child) on_child(child.get());
  const auto exit_status = [&] {
    if (!settings.children) return child->ExitStatus();
    return settings.children->Collect(child->Pid(), [&] { return child->ExitStatus(); });
  };

  std::array<char, kRelayWindow> window{};
  std::string text;
  for (;;) {
    // The exit status is read before the pipe, so what the child wrote just
    // before it ended is still relayed in the last pass.
    const std::optional<int> status = exit_status();
    const size_t waiting = child->BytesWaiting();
    if (waiting > 0) {
      size_t got = child->Read(window.data(), window.size());
      text.assign(window.data(), got);
      KeepTail(outcome.tail, text);
      // Only the newest chunk counts: earlier ones are dropped unseen.
      while (got == window.size() && child->BytesWaiting() > 0) {
        got = child->Read(window.data(), window.size());
        text.assign(window.data(), got);
        KeepTail(outcome.tail, text);
      }
      const auto zero = text.find('\0');
      if (zero != std::string::npos) text.resize(zero);
      // A chunk of nothing but the closing lines (and the line end before
      // them) leaves the last status line showing.
      const std::string shown = WithoutClosingLines(text);
      const bool closing_only = shown != text && shown.find_first_not_of("\r\n") == std::string::npos;
      if (callback && !closing_only) callback(shown);
      if (!status) child->WaitForExit(settings.relay_pause_ms);
    } else if (!status) {
      // Nothing waiting: sleep until output arrives or the child ends rather
      // than spin, and take it at once when it does.
      child->WaitForOutputOrExit(100);
    }
    if (status) {
      outcome.exit_code = *status;
      break;
    }
  }
  if (on_child) on_child(nullptr);
  return outcome;
}

TAdvanceSystem::TAdvanceSystem(std::string command_line, TOutputCallback callback, ui::EventLoop& loop,
                               RunnerSettings settings)
    : CommandLine(std::move(command_line)),
      OutputCallback(std::move(callback)),
      loop_(loop),
      settings_(std::move(settings)) {}

TAdvanceSystem::~TAdvanceSystem() {
  if (thread_.joinable()) thread_.join();
}

void TAdvanceSystem::Start() {
  if (thread_.joinable() || Finished()) return;
  thread_ = std::thread([this] {
    Execute();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_.store(true, std::memory_order_release);
    }
    finished_cv_.notify_all();
  });
}

bool TAdvanceSystem::WaitLaunched(int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_cv_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)),
                               [this] { return launched_ || Finished(); });
}

bool TAdvanceSystem::WaitFinished(int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_cv_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)), [this] { return Finished(); });
}

void TAdvanceSystem::Execute() {
  // The posted work owns copies: it may run after this runner has been freed.
  TOutputCallback callback = OutputCallback;
  ui::EventLoop& loop = loop_;
  RunnerSettings settings = settings_;
  settings.launched = [this, also = settings_.launched] {
    if (also) also();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      launched_ = true;
    }
    finished_cv_.notify_all();
  };
  outcome_ = RunPipedProcess(
      CommandLine,
      [&loop, callback](const std::string& text) {
        loop.Post([callback, text] {
          if (callback) callback(text);
        });
      },
      settings,
      [this](platform::PipedChild* child) {
        std::lock_guard<std::mutex> lock(mutex_);
        child_ = child;
      });
}

bool TAdvanceSystem::Suspend(bool suspend) {
  std::lock_guard<std::mutex> lock(mutex_);
  return child_ && child_->Signal(suspend ? SIGSTOP : SIGCONT);
}

std::optional<RunOutcome> TAdvanceSystem::Outcome() const {
  if (!Finished()) return std::nullopt;
  return outcome_;
}
