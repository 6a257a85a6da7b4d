// vtp-convert: converts files from the command line with the program's settings,
// profiles, builder and encoders, without a display.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "cli/report.h"
#include "cli/vtp_convert.h"
#include "common/version_resource.h"
#include "platform/data_layout.h"
#include "platform/desktop.h"
#include "platform/platform.h"

namespace {

constexpr const char* kApplicationName = "Video To Plim Converter";

// Exit statuses besides 128 + a signal number.
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void Complain(const std::string& text) {
  std::fprintf(stderr, "vtp-convert: %s\n", text.c_str());
}

// Standard output is closed with a check, so that a full disk or a closed
// reader fails the run instead of passing for success. `error` is one seen
// earlier, an errno value.
int CloseStandardOutput(int status, int error) {
  if (std::fflush(stdout) != 0 && error == 0) error = errno;
  if (std::fclose(stdout) != 0 && error == 0) error = errno;
  if (error == 0) return status;
  Complain(std::string("write error: ") + std::strerror(error));
  return status == 0 ? kFailed : status;
}

int Print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return CloseStandardOutput(0, 0);
}

// The signals the run collects. One ignored when the program starts (nohup, a
// background job of a script) stays ignored.
sigset_t CollectedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP}) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, sig);
  }
  sigaddset(&set, SIGCONT);
  sigaddset(&set, SIGUSR2);
  return set;
}

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
      control.RequestStop(sig);
    }
  }
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  cli::CliOptions options;
  cli::Plan plan;
  std::vector<std::string> files;
  try {
    options = cli::ParseArguments(args);
    if (options.help) return Print(cli::UsageText());
    if (options.version) {
      const std::string version = GetFileVersionText(platform::ExecutablePath());
      return Print("vtp-convert " + (version.empty() ? std::string("2.0") : version) + "\n");
    }
    plan = cli::ResolvePlan(options, platform::CurrentDataLayout(), std::filesystem::current_path().string());
    if (options.list_types) return Print(cli::TypeList(options.names_only));
    if (options.list_profiles) return Print(cli::ProfileList(plan, options.names_only));
    files = options.files_from_stdin ? cli::ReadFileNames(STDIN_FILENO, options.null_separated) : options.files;
    if (files.empty()) throw cli::UsageError("no file names on standard input");
  } catch (const cli::UsageError& error) {
    Complain(std::string(error.what()) + "\nTry 'vtp-convert --help'.");
    return kUsage;
  } catch (const std::exception& error) {
    Complain(error.what());
    return kUsage;
  }
  // Named once, before anything starts: each file would fail alike.
  if (const std::string missing = cli::MissingEncoder(plan, files); !missing.empty()) {
    Complain(missing);
    return kFailed;
  }

  // Signals go to one thread, before any other thread exists, so the workers and
  // the encoders they start never see them directly.
  const sigset_t set = CollectedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  cli::RunControl control;
  std::thread signals(HandleSignals, std::ref(control), set);

  cli::ReportSettings settings;
  settings.terminal = isatty(STDERR_FILENO) == 1;
  settings.json = options.json;
  settings.verbosity = options.quiet     ? cli::Verbosity::Quiet
                       : options.verbose ? cli::Verbosity::Verbose
                                         : cli::Verbosity::Normal;
  settings.now = SteadySeconds;
  settings.width = [] { return cli::TerminalWidth(STDERR_FILENO); };
  cli::ConsoleReporter reporter(files.size(), settings);
  if (!options.quiet)
    for (const auto& warning : plan.warnings) reporter.Note("warning: " + warning);

  platform::DBusDesktop desktop(kApplicationName);
  desktop.SetLog([&reporter](const std::string& line) { reporter.Note(line, true); });
  // Of the data folders a run writes only scratch files; when the folder cannot
  // be made, each file fails saying so. A dry run writes nothing.
  if (!plan.dry_run)
    if (const std::string problem = platform::PrepareScratchFolder(platform::CurrentDataLayout()); !problem.empty())
      reporter.Note(problem);
  std::vector<cli::FileResult> results;
  if (plan.dry_run) {
    results = cli::RunConversions(plan, files, options.jobs, reporter, control);
  } else {
    // The machine stays awake while encoders run, and only then.
    const auto awake = desktop.KeepAwake(platform::kBatchInhibitReason);
    results = cli::RunConversions(plan, files, options.jobs, reporter, control);
  }
  reporter.ClearBar();
  pthread_kill(signals.native_handle(), SIGUSR2);
  signals.join();

  size_t failed = 0;
  for (const auto& r : results) failed += r.converted || r.planned ? 0 : 1;
  if (!control.StopRequested() && !plan.dry_run)
    platform::NotifyBatchFinished(desktop, static_cast<int>(results.size() - failed), static_cast<int>(failed));
  if (failed > 0) Complain(std::to_string(failed) + " of " + std::to_string(results.size()) + " files failed");
  // Stopped by a signal: the shell's convention, 128 + its number.
  const int status = control.StopSignal() != 0 ? 128 + control.StopSignal() : failed == 0 ? 0 : kFailed;
  return CloseStandardOutput(status, reporter.WriteError());
}
