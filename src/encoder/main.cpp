// evc and revc: the converter's console encoders. One source, two executables;
// the converter tells them apart only by name (revc reads RealMedia through a
// one-line script). Exit code 0 means a complete, playable file.
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/console.h"
#include "encoder/encoder_error.h"
#include "encoder/options.h"
#include "encoder/transcoder.h"

namespace {

constexpr int kFailure = 1;

// Set by the signal handler, read by the conversion: a signal handler can only
// reach globals.
std::atomic<int> g_stop_signal{0};
pthread_t g_main_thread;

void OnStopSignal(int signal_number) {
  g_stop_signal.store(signal_number);
  // The signal may land on a codec or status thread; the main thread must see
  // it too, so that a read waiting for input is broken off.
  if (!pthread_equal(pthread_self(), g_main_thread)) pthread_kill(g_main_thread, signal_number);
}

void InstallSignalHandlers() {
  g_main_thread = pthread_self();
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read that waits for input is broken off, so a stop
  // request is seen at once.
  action.sa_flags = 0;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  // A closed terminal asks for a stop too: the file so far is kept.
  sigaction(SIGHUP, &action, nullptr);
  // A reader that goes away must not kill the encoder before it finishes its file.
  signal(SIGPIPE, SIG_IGN);
  // Our callers start us with the stop signals blocked, so that one sent
  // before this point waits for the handlers instead of killing us unheard.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_UNBLOCK, &stop_signals, nullptr);
}

std::string ToolName(const char* argv0) {
  std::string name = argv0 ? argv0 : "";
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return name == "revc" ? "revc" : "evc";
}

std::string Seconds(const encoder::Transcoder& transcoder) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", transcoder.OutputSeconds());
  return seconds;
}

// The reason, then the line that names the file kept under its partial name.
void ReportPartial(encoder::Console& console, const encoder::Transcoder& transcoder, const std::string& reason) {
  console.Fail(reason);
  console.Report(encoder::kPartialOutputLine + Seconds(transcoder) + " " +
                 encoder::OutputLinePath(transcoder.OutputPath()));
  console.Close();
}

int StopExitCode() {
  return 128 + g_stop_signal.load();
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a stop request must never find the default action in place.
  InstallSignalHandlers();
  encoder::Console console(ToolName(argc > 0 ? argv[0] : nullptr));
  console.CaptureLibraryLog();
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    encoder::EncoderOptions options = encoder::ParseArguments(args);
    const char* reserved = std::getenv(encoder::kReservedEnvironment);
    options.reserved_output = reserved && std::string(reserved) == "1";
    encoder::Transcoder transcoder(std::move(options), console, g_stop_signal);
    transcoder.Run();
    if (transcoder.Stopped() && !transcoder.KeptOutput()) {
      console.Fail("stopped on request before anything was converted");
      console.Close();
      return StopExitCode();
    }
    // A signal that came after the input was read through still counts as a
    // stop (the transcoder commits the file as partial then); one that came
    // after the finished file was committed is too late to matter.
    if (transcoder.Stopped()) {
      ReportPartial(console, transcoder,
                    "stopped on request; the output holds the first " + Seconds(transcoder) + " seconds");
      return StopExitCode();
    }
    if (transcoder.CutShort()) {
      ReportPartial(console, transcoder, transcoder.CutShortReason());
      return kFailure;
    }
    console.Report(encoder::kOutputLine + encoder::OutputLinePath(transcoder.OutputPath()));
    console.Close();
    return 0;
  } catch (const std::exception& error) {
    if (g_stop_signal.load() != 0) {
      console.Fail(std::string("stopped on request before the output was complete (") + error.what() + ")");
      console.Close();
      return StopExitCode();
    }
    console.Fail(error.what());
    console.Close();
    return kFailure;
  }
}
