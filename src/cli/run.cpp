// Running a plan: the workers that probe each file, start its encoder and follow
// its status lines, and the control that stops or pauses them.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <future>
#include <thread>

#include "cli/length_probe.h"
#include "cli/vtp_convert.h"
#include "common/helpers.h"
#include "common/text.h"
#include "engine/runner.h"
#include "platform/child_process.h"
#include "platform/command_line.h"
#include "platform/scratch_folder.h"
#include "settings/config_files.h"
#include "settings/output_folder.h"
#include "sources/source_types.h"

namespace cli {

namespace {

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

// The run's own folder inside the layout's scratch folder, so that runs at
// once never share a script; removed with its files at the end of the run, and
// by the next run when this one is killed outright. A dry run only names the
// pattern a real one would fill in. Empty path, with the reason, when it cannot
// be made.
class ScratchFolder {
 public:
  ScratchFolder(const std::string& parent, bool dry_run) {
    if (dry_run) {
      shown_ = parent + kPrefix + "XXXXXX/";
      return;
    }
    platform::RemoveDeadScratchFolders(parent, kPrefix);
    folder_.emplace(parent, kPrefix);
    shown_ = folder_->path();
    if (shown_.empty()) error_ = "cannot create a scratch folder in " + parent + ": " + platform::LastErrorText(errno);
  }
  const std::string& path() const { return shown_; }
  const std::string& error() const { return error_; }

 private:
  static constexpr const char* kPrefix = "vtp-convert-";
  std::optional<platform::ScratchFolder> folder_;
  std::string shown_;
  std::string error_;
};

// Shared by the workers: the next file, the names chosen so far.
struct RunState {
  std::mutex mutex;
  size_t next = 0;
  TFileFunc names;
  std::mutex report_mutex;
  // Threads each encoder may use; 0: its own choice, all of the machine.
  int encoder_threads = 0;
};

class Worker {
 public:
  Worker(const Plan& plan, RunState& state, Reporter& reporter, RunControl& control, const std::string& scratch,
         LengthProbe& probe)
      : plan_(plan), state_(state), reporter_(reporter), control_(control), scratch_(scratch), probe_(probe) {}

  FileResult Convert(size_t index, const std::string& given) {
    const auto began = std::chrono::steady_clock::now();
    FileResult result;
    result.index = index;
    result.source = TFileFunc::NormalPath(given, plan_.current_folder);
    std::string output;
    try {
      RunOne(index, result, output);
    } catch (const std::exception& error) {
      result.converted = false;
      result.reason = error.what();
    }
    // A dry run names the file it would write; a run names only a file that is there.
    if (result.planned || (!output.empty() && FileSize(output) >= 0)) result.output = output;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return result;
  }

 private:
  void Report(const std::function<void()>& call) {
    std::lock_guard lock(state_.report_mutex);
    call();
  }

  // The source's length; throws the reason a file the program would not list is refused.
  int64_t Measure(const std::string& source) {
    const int64_t ms = probe_.LengthMs(source);
    if (ms < 1000) throw std::runtime_error("shorter than one second");
    return ms;
  }

  void RunOne(size_t index, FileResult& result, std::string& output) {
    const std::string& source = result.source;
    if (control_.StopRequested()) throw std::runtime_error("stopped before it started");
    if (FileSize(source) < 0) throw std::runtime_error("no such file, or not a regular file");
    if (!sources::AcceptedSourceExtension(source)) throw std::runtime_error("not a supported source type");
    // A range needs the length to be written into the command. Without one the
    // encoder starts at once and the length, measured beside it, only refuses
    // what the program would not list and scales the progress.
    const bool ranged = plan_.start_us || plan_.end_us;
    std::future<int64_t> measuring;
    int64_t duration_ms = 0;
    if (ranged || plan_.dry_run)
      duration_ms = Measure(source);
    else
      measuring = std::async(std::launch::async, [this, &source] { return Measure(source); });

    ConversionJob job;
    job.source = source;
    job.output_type = plan_.output_type;
    job.options = plan_.options;
    job.output_dir = plan_.output_dir;
    job.app_dir = plan_.app_dir;
    job.encoder_name = plan_.encoder_name;
    job.rm_encoder_name = plan_.rm_encoder_name;
    job.script_path = scratch_ + "VideoFile-" + std::to_string(index) + ".avs";
    job.write_files = !plan_.dry_run;
    double range = static_cast<double>(duration_ms) / 1000.0;
    if (ranged) {
      const int64_t duration_us = duration_ms * 1000;
      const int64_t start = plan_.start_us.value_or(0);
      // No end, or one at or past the source's end, means the real end: no
      // length is passed, so the last fraction of a second is not cut off.
      const bool to_end = !plan_.end_us || *plan_.end_us >= duration_us;
      const int64_t end = to_end ? duration_us : *plan_.end_us;
      if (start >= end) throw std::runtime_error("the range starts at or after the end of the file");
      job.start_text = text::FormatClockTime(start);
      if (!to_end) job.end_text = text::FormatClockTime(end);
      range = static_cast<double>(end - start) / 1e6;
    }

    BuiltJob built;
    {
      // Names are chosen one job at a time, and a name handed out stays taken for
      // the rest of the run, because a running encoder's file appears only at its end.
      std::lock_guard lock(state_.mutex);
      built = BuildConversionCommand(job, state_.names);
      if (built.command.empty()) throw std::runtime_error("no command for this output type");
    }
    output = built.output_path;
    std::vector<std::string> argv = platform::SplitCommandLine(built.command);
    if (state_.encoder_threads > 0) argv.insert(argv.begin() + 1, {"-threads", std::to_string(state_.encoder_threads)});
    if (plan_.dry_run) {
      result.planned = true;
      result.command = ShellQuote(argv);
      return;
    }
    // The empty file that holds the name goes whenever the encoder did not
    // replace it (failed, stopped, never started).
    struct Release {
      RunState& state;
      const std::string& path;
      ~Release() {
        std::lock_guard lock(state.mutex);
        state.names.ReleaseReservation(path);
      }
    } release{state_, built.output_path};
    // A file measured beside its encoder is named once the length says it is taken.
    auto started = [&] { Report([&] { reporter_.FileStarted(index, source); }); };
    if (!measuring.valid()) started();

    auto child = platform::PipedChild::Start(argv, plan_.app_dir, {kReservedOutputEnvironment}, true);
    if (!child) throw std::runtime_error("the encoder " + argv[0] + " could not be started");
    control_.Add(child->Pid());
    // A stop that came while the encoder was being started has not reached it yet.
    if (control_.StopRequested()) kill(child->Pid(), SIGTERM);
    std::string pending, last_line;
    double done = 0;
    std::optional<KeptOutput> kept;
    std::optional<std::string> refused;
    auto take_length = [&] {
      try {
        range = static_cast<double>(measuring.get()) / 1000.0;
        started();
      } catch (const std::exception& error) {
        refused = error.what();
      }
    };
    char buffer[4096];
    for (;;) {
      child->WaitForOutputOrExit(measuring.valid() ? 10 : 200);
      // The encoder's first words wait for the length, to follow the file's name.
      if (measuring.valid() &&
          (child->BytesWaiting() > 0 || measuring.wait_for(std::chrono::seconds(0)) == std::future_status::ready)) {
        take_length();
        if (refused) child->Signal(SIGTERM);
      }
      bool read_any = false;
      while (child->BytesWaiting() > 0) {
        const size_t n = child->Read(buffer, sizeof buffer);
        if (n == 0) break;
        read_any = true;
        pending.append(buffer, n);
      }
      // Status lines end in CR, messages in LF.
      size_t cut;
      while ((cut = pending.find_first_of("\r\n")) != std::string::npos) {
        const std::string line = pending.substr(0, cut);
        pending.erase(0, cut + 1);
        if (line.empty()) continue;
        if (!refused) Report([&] { reporter_.EncoderLine(index, line); });
        if (auto t = StatusTime(line)) {
          done = *t;
        } else if (auto named = ReadKeptOutput(line)) {
          kept = named;
        } else {
          last_line = line;
        }
      }
      if (range > 0) Report([&] { reporter_.FileProgress(index, std::min(done, range), range); });
      if (!read_any && child->ExitStatus()) break;
    }
    if (measuring.valid()) take_length();
    control_.Remove(child->Pid());
    result.exit_code = *child->ExitStatus();
    if (refused && !control_.StopRequested()) {
      // The encoder may have finished, or kept a part, before the answer came.
      if (kept || *result.exit_code == 0) ::unlink((kept ? kept->path : output).c_str());
      result.exit_code.reset();  // ended by us, not by a fault of its own
      throw std::runtime_error(*refused);
    }
    if (kept && kept->partial) {
      output = kept->path;
      result.partial = true;
      result.partial_text = FormatLength(kept->seconds) + " of " + FormatLength(range);
    }
    if (control_.StopRequested()) throw std::runtime_error("stopped");
    if (*result.exit_code != 0) {
      // A source that gave out early: the encoder's reason says how much it read.
      const std::string gave_out = result.partial ? ReadFailureReason(last_line) : std::string();
      if (!gave_out.empty()) throw std::runtime_error(gave_out);
      throw std::runtime_error("the encoder failed (exit code " + std::to_string(*result.exit_code) + ")" +
                               (last_line.empty() ? std::string() : ": " + last_line));
    }
    // Another run may have taken the name meanwhile: the encoder says which it wrote.
    if (kept && !kept->partial) output = kept->path;
    if (FileSize(output) <= 0) throw std::runtime_error("no output file");
    result.converted = true;
  }

  const Plan& plan_;
  RunState& state_;
  Reporter& reporter_;
  RunControl& control_;
  const std::string& scratch_;
  LengthProbe& probe_;
};

}  // namespace

void RunControl::RequestStop(int signal_number) {
  int none = 0;
  if (signal_number != 0) stop_signal_.compare_exchange_strong(none, signal_number);
  stop_ = true;
  SignalAll(SIGCONT);  // a paused encoder must run to see the request
  SignalAll(SIGTERM);
}

void RunControl::SignalAll(int signal_number) {
  std::lock_guard lock(mutex_);
  for (pid_t pid : pids_) kill(pid, signal_number);
}

void RunControl::Add(pid_t pid) {
  std::lock_guard lock(mutex_);
  pids_.push_back(pid);
}

void RunControl::Remove(pid_t pid) {
  std::lock_guard lock(mutex_);
  pids_.erase(std::remove(pids_.begin(), pids_.end(), pid), pids_.end());
}

std::vector<FileResult> RunConversions(const Plan& plan, const std::vector<std::string>& files, int jobs,
                                       Reporter& reporter, RunControl& control) {
  std::vector<FileResult> results(files.size());
  // A folder the whole run needs: without it every file fails for the same reason.
  auto fail_all = [&](const std::string& reason) {
    for (size_t i = 0; i < files.size(); ++i) {
      results[i].index = i;
      results[i].source = TFileFunc::NormalPath(files[i], plan.current_folder);
      results[i].reason = reason;
      reporter.FileFinished(i, results[i]);
    }
    return results;
  };
  if (!plan.dry_run && !settings::MakeFolders(plan.output_dir))
    return fail_all("the output folder " + plan.output_dir + " cannot be created");
  const ScratchFolder scratch(plan.scratch_dir, plan.dry_run);
  if (scratch.path().empty()) return fail_all(scratch.error());
  RunState state;
  LengthProbe probe(plan.app_dir, plan.library_messages);
  auto work = [&] {
    Worker worker(plan, state, reporter, control, scratch.path(), probe);
    for (;;) {
      size_t index;
      {
        std::lock_guard lock(state.mutex);
        if (state.next >= files.size()) return;
        index = state.next++;
      }
      results[index] = worker.Convert(index, files[index]);
      std::lock_guard lock(state.report_mutex);
      reporter.FileFinished(index, results[index]);
    }
  };
  std::vector<std::thread> threads;
  const int count = std::max(1, std::min<int>(jobs, static_cast<int>(files.size())));
  // Encoders side by side share the cores: each one's threads beyond its share
  // would only take turns with the others' and cost the switching.
  if (count > 1) state.encoder_threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / count);
  for (int i = 1; i < count; ++i) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return results;
}

std::optional<double> StatusTime(const std::string& line) {
  const size_t at = line.find("time=");
  if (at == std::string::npos) return std::nullopt;
  // Plain seconds with a "." whatever the user's locale.
  const char* begin = line.data() + at + 5;
  double value = 0;
  const auto [end, error] = std::from_chars(begin, line.data() + line.size(), value);
  if (error != std::errc() || end == begin || value < 0) return std::nullopt;
  return value;
}

}  // namespace cli
