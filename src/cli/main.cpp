// vtp-convert: converts files from the command line with the program's settings,
// profiles, builder and encoders, without a display.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/vtp_convert.h"
#include "common/version_resource.h"
#include "platform/desktop.h"
#include "platform/platform.h"

namespace {

constexpr const char* kApplicationName = "Video To Plim Converter";

// A one-line bar on a terminal, plain lines otherwise; every call is serialised
// by the batch.
class ConsoleReporter : public cli::Reporter {
 public:
  ConsoleReporter(size_t file_count, bool terminal, bool json)
      : progress_(file_count, 0.0), terminal_(terminal), json_(json) {}

  void FileStarted(size_t index, const std::string& source) override {
    if (!terminal_) std::fprintf(stderr, "vtp-convert: converting %s\n", source.c_str());
    progress_[index] = 0;
    Draw();
  }

  void FileProgress(size_t index, double done, double total) override {
    progress_[index] = total > 0 ? std::min(1.0, done / total) : 0;
    Draw();
  }

  void FileFinished(size_t index, const cli::FileResult& r) override {
    progress_[index] = 1;
    ++finished_;
    ClearBar();
    if (r.converted) {
      if (!json_ || terminal_) std::fprintf(stderr, "vtp-convert: %s -> %s\n", r.source.c_str(), r.output.c_str());
    } else {
      std::fprintf(stderr, "vtp-convert: failed: %s: %s\n", r.source.c_str(), r.reason.c_str());
      if (r.partial)
        std::fprintf(stderr, "vtp-convert: partial output kept: %s (%s)\n", r.output.c_str(), r.partial_text.c_str());
    }
    if (json_) {
      std::fputs((cli::ResultJson(r) + "\n").c_str(), stdout);
      std::fflush(stdout);
    }
    Draw();
  }

  void ClearBar() {
    if (terminal_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  void Draw() {
    if (!terminal_) return;
    double sum = 0;
    for (double p : progress_) sum += p;
    const double share = progress_.empty() ? 1 : sum / static_cast<double>(progress_.size());
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(share * kWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %3d%%  %zu/%zu files", bar.c_str(), static_cast<int>(share * 100), finished_,
                 progress_.size());
    std::fflush(stderr);
    drawn_ = true;
  }

  std::vector<double> progress_;
  size_t finished_ = 0;
  bool terminal_;
  bool json_;
  bool drawn_ = false;
};

// Turns the signals into actions on our own encoders: INT, TERM and HUP stop
// them, TSTP pauses them with us, CONT resumes them.
void HandleSignals(cli::RunControl& control, const sigset_t& set) {
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == SIGTSTP) {
      control.SignalAll(SIGSTOP);
      kill(getpid(), SIGSTOP);
    } else if (sig == SIGCONT) {
      control.SignalAll(SIGCONT);
    } else if (sig == SIGUSR2) {
      return;  // the run is over
    } else {
      control.RequestStop();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  cli::CliOptions options;
  cli::Plan plan;
  try {
    options = cli::ParseArguments(args);
    if (options.help) {
      std::fputs(cli::UsageText().c_str(), stdout);
      return 0;
    }
    if (options.version) {
      const std::string version = GetFileVersionText(platform::ExecutablePath());
      std::printf("vtp-convert %s\n", version.empty() ? "2.0" : version.c_str());
      return 0;
    }
    plan = cli::ResolvePlan(options, platform::ExecutableFolder(), std::filesystem::current_path().string());
  } catch (const cli::UsageError& error) {
    std::fprintf(stderr, "vtp-convert: %s\nTry 'vtp-convert --help'.\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vtp-convert: %s\n", error.what());
    return 2;
  }

  // Signals go to one thread, before any other thread exists, so the workers and
  // the encoders they start never see them directly.
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT, SIGUSR2}) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  cli::RunControl control;
  std::thread signals(HandleSignals, std::ref(control), set);

  ConsoleReporter reporter(options.files.size(), isatty(STDERR_FILENO) == 1, options.json);
  platform::DBusDesktop desktop(kApplicationName);
  desktop.SetLog([&reporter](const std::string& line) {
    reporter.ClearBar();
    std::fprintf(stderr, "vtp-convert: %s\n", line.c_str());
  });
  std::vector<cli::FileResult> results;
  {
    // The machine stays awake while encoders run, and only then.
    const auto awake = desktop.KeepAwake(platform::kBatchInhibitReason);
    results = cli::RunConversions(plan, options.files, options.jobs, reporter, control);
  }
  reporter.ClearBar();
  pthread_kill(signals.native_handle(), SIGUSR2);
  signals.join();

  size_t failed = 0;
  for (const auto& r : results) failed += r.converted ? 0 : 1;
  if (!control.StopRequested())
    platform::NotifyBatchFinished(desktop, static_cast<int>(results.size() - failed), static_cast<int>(failed));
  if (failed > 0) std::fprintf(stderr, "vtp-convert: %zu of %zu files failed\n", failed, results.size());
  return failed == 0 ? 0 : 1;
}
