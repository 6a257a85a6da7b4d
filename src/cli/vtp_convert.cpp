#include "cli/vtp_convert.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/helpers.h"
#include "common/text.h"
#include "engine/catalogue.h"
#include "engine/runner.h"
#include "media/duration_probe.h"
#include "platform/child_process.h"
#include "platform/command_line.h"
#include "platform/scratch_folder.h"
#include "settings/config_files.h"
#include "settings/output_folder.h"
#include "settings/user_settings.h"
#include "sources/source_list.h"

namespace cli {

namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
  return folder;
}

// "--name=value" or "--name value" / "-n value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& short_name,
               const std::string& long_name, std::optional<std::string>& out) {
  const std::string& a = args[i];
  if (a == short_name || a == long_name) {
    if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
    out = args[++i];
    return true;
  }
  if (!long_name.empty() && a.rfind(long_name + "=", 0) == 0) {
    out = a.substr(long_name.size() + 1);
    return true;
  }
  return false;
}

int OutputTypeOf(const std::string& name) {
  const auto exts = catalogue::ExtensionList();
  for (size_t i = 0; i < exts.size(); ++i)
    if (SameTextAscii(name, exts[i].substr(1)) || SameTextAscii(name, exts[i])) return static_cast<int>(i);
  throw UsageError("unknown output type '" + name + "' (mp4, aac, m4a or mp3)");
}

// A quality level by name (letter case ignored) or position, else a stored custom profile.
std::string ProfileValueOf(const std::string& quality, int output_type, const std::string& config_dir) {
  const auto levels = catalogue::QualityLevelList();
  for (int q = 0; q < catalogue::kQualityLevelCount; ++q) {
    if (SameTextAscii(quality, levels[static_cast<size_t>(q)]) || quality == std::to_string(q))
      return catalogue::QualityPreset(output_type, q);
  }
  for (const auto& name : settings::ReadIniSections(config_dir, settings::kProfileFile)) {
    if (name != quality) continue;
    const std::string value = settings::ReadNamedValue(config_dir, settings::kProfileFile, name);
    if (text::SplitText(value, '|').size() != 6) throw UsageError("custom profile '" + quality + "' is damaged");
    return value;
  }
  std::string known;
  for (int q = 0; q < catalogue::kQualityLevelCount; ++q) known += (q ? ", \"" : "\"") + levels[size_t(q)] + "\"";
  throw UsageError("unknown quality '" + quality + "' (0 to 4, " + known + " or a custom profile name)");
}

std::string CheckedTime(const std::optional<std::string>& time, const char* what) {
  if (!time) return {};
  int64_t seconds = 0;
  if (!text::ParseTimeText(*time, seconds)) throw UsageError(std::string(what) + " '" + *time + "' is not hh:mm:ss");
  return *time;
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

// Shared by the workers: the next file, the names chosen so far.
struct RunState {
  std::mutex mutex;
  size_t next = 0;
  TFileFunc names;
  std::mutex report_mutex;
};

class Worker {
 public:
  Worker(const Plan& plan, RunState& state, Reporter& reporter, RunControl& control, const std::string& scratch)
      : plan_(plan), state_(state), reporter_(reporter), control_(control), scratch_(scratch) {}

  FileResult Convert(size_t index, const std::string& source) {
    const auto began = std::chrono::steady_clock::now();
    FileResult result;
    result.source = source;
    try {
      RunOne(index, source, result);
    } catch (const std::exception& error) {
      result.converted = false;
      result.reason = error.what();
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return result;
  }

 private:
  void Report(const std::function<void()>& call) {
    std::lock_guard lock(state_.report_mutex);
    call();
  }

  void RunOne(size_t index, const std::string& given, FileResult& result) {
    const std::string source = TFileFunc::AbsolutePath(given, WithSeparator(plan_.current_folder));
    if (control_.StopRequested()) throw std::runtime_error("stopped before it started");
    if (FileSize(source) < 0) throw std::runtime_error("no such file, or not a regular file");
    if (!sources::AcceptedSourceExtension(source)) throw std::runtime_error("not a supported source type");
    int64_t duration_ms = 0;
    try {
      duration_ms = media::DurationProbe().DurationMs(source);
    } catch (const std::exception&) {
      throw std::runtime_error("cannot be read as video or audio");
    }
    const int64_t duration = duration_ms / 1000;
    if (duration < 1) throw std::runtime_error("shorter than one second");

    ConversionJob job;
    job.source = source;
    job.output_type = plan_.output_type;
    job.options = plan_.options;
    job.output_dir = plan_.output_dir;
    job.app_dir = plan_.app_dir;
    job.encoder_name = plan_.encoder_name;
    job.rm_encoder_name = plan_.rm_encoder_name;
    job.script_path = scratch_ + "VideoFile-" + std::to_string(index) + ".avs";
    double range = static_cast<double>(duration_ms) / 1000.0;
    if (!plan_.start_text.empty() || !plan_.end_text.empty()) {
      int64_t start = 0, end = 0;
      if (!plan_.start_text.empty()) text::ParseTimeText(plan_.start_text, start);
      // No end, or one at or past the source's end, means the real end: no
      // length is passed, so the last fraction of a second is not cut off.
      const bool to_end =
          plan_.end_text.empty() || !text::ParseTimeText(plan_.end_text, end) || end * 1000 >= duration_ms;
      if (static_cast<double>(start) >= (to_end ? range : static_cast<double>(end)))
        throw std::runtime_error("the range starts at or after the end of the file");
      job.start_text = text::FormatSeconds(start);
      if (!to_end) job.end_text = text::FormatSeconds(end);
      range = (to_end ? range : static_cast<double>(end)) - static_cast<double>(start);
    }

    BuiltJob built;
    {
      // Names are chosen one job at a time, and a name handed out stays taken for
      // the rest of the run, because a running encoder's file appears only at its end.
      std::lock_guard lock(state_.mutex);
      built = BuildConversionCommand(job, state_.names);
      if (built.command.empty()) throw std::runtime_error("no command for this output type");
    }
    result.output = built.output_path;
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
    Report([&] { reporter_.FileStarted(index, given); });

    auto child = platform::PipedChild::Start(platform::SplitCommandLine(built.command), plan_.app_dir,
                                             {kReservedOutputEnvironment}, true);
    if (!child) throw std::runtime_error("the encoder could not be started");
    control_.Add(child->Pid());
    // A stop that came while the encoder was being started has not reached it yet.
    if (control_.StopRequested()) kill(child->Pid(), SIGTERM);
    std::string pending, last_line;
    std::optional<KeptOutput> kept;
    char buffer[4096];
    for (;;) {
      child->WaitForOutputOrExit(200);
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
        if (auto t = StatusTime(line)) {
          const double done = std::min(*t, range);
          Report([&] { reporter_.FileProgress(index, done, range); });
        } else if (auto named = ReadKeptOutput(line)) {
          kept = named;
        } else {
          last_line = line;
        }
      }
      if (!read_any && child->ExitStatus()) break;
    }
    control_.Remove(child->Pid());
    result.exit_code = *child->ExitStatus();
    if (kept && kept->partial) {
      result.output = kept->path;
      result.partial = true;
      result.partial_text = FormatLength(kept->seconds) + " of " + FormatLength(range);
    }
    if (control_.StopRequested()) throw std::runtime_error("stopped");
    if (result.exit_code != 0) {
      throw std::runtime_error("the encoder failed (exit code " + std::to_string(result.exit_code) + ")" +
                               (last_line.empty() ? std::string() : ": " + last_line));
    }
    // Another run may have taken the name meanwhile: the encoder says which it wrote.
    if (kept && !kept->partial) result.output = kept->path;
    if (FileSize(result.output) <= 0) throw std::runtime_error("no output file");
    result.converted = true;
  }

  const Plan& plan_;
  RunState& state_;
  Reporter& reporter_;
  RunControl& control_;
  const std::string& scratch_;
};

void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace

CliOptions ParseArguments(const std::vector<std::string>& args) {
  CliOptions o;
  bool only_files = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_files || a.empty() || a[0] != '-' || a == "-") {
      o.files.push_back(a);
      continue;
    }
    if (a == "--") {
      only_files = true;
    } else if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (TakeValue(args, i, "-t", "--type", o.type) || TakeValue(args, i, "-q", "--quality", o.quality) ||
               TakeValue(args, i, "-o", "--output", o.output) || TakeValue(args, i, "", "--start", o.start) ||
               TakeValue(args, i, "", "--end", o.end) || TakeValue(args, i, "", "--config", o.config)) {
    } else {
      std::optional<std::string> jobs;
      if (!TakeValue(args, i, "-j", "--jobs", jobs)) throw UsageError("unknown option '" + a + "'");
      const std::string& j = *jobs;
      if (j.empty() || j.size() > 3 || j.find_first_not_of("0123456789") != std::string::npos || std::stoi(j) < 1)
        throw UsageError("--jobs needs a whole number from 1 to 999, not '" + j + "'");
      o.jobs = std::stoi(j);
    }
  }
  if (o.files.empty() && !o.help && !o.version) throw UsageError("no files given");
  return o;
}

std::string UsageText() {
  return "Usage: vtp-convert [options] FILE...\n"
         "Converts video files with the settings of Video To Plim Converter.\n\n"
         "  -t, --type mp4|aac|m4a|mp3   output type (default: mp4)\n"
         "  -q, --quality NAME|0-4       quality level by name or position, or a custom\n"
         "                               profile name (default: Normal Quality)\n"
         "  -o, --output DIR             output folder (default: the program's output folder)\n"
         "      --start hh:mm:ss         convert from this time on\n"
         "      --end hh:mm:ss           convert up to this time\n"
         "      --config DIR             settings folder (default: Config beside the program)\n"
         "  -j, --jobs N                 conversions at once (default: 1)\n"
         "      --json                   one result object per file on standard output\n"
         "  -h, --help                   this text\n"
         "      --version                the version\n\n"
         "Exit status: 0 when every file converted, 1 when any failed, 2 for bad usage.\n";
}

Plan ResolvePlan(const CliOptions& options, const std::string& app_dir, const std::string& current_folder) {
  Plan plan;
  plan.app_dir = WithSeparator(app_dir);
  plan.current_folder = current_folder;
  plan.config_dir =
      WithSeparator(options.config ? TFileFunc::AbsolutePath(*options.config, WithSeparator(current_folder))
                                   : plan.app_dir + platform::kConfigFolder);
  plan.output_type = options.type ? OutputTypeOf(*options.type) : CatalogueDefault(catalogue::OutputTypeList());
  const std::string quality =
      options.quality ? *options.quality : std::to_string(CatalogueDefault(catalogue::QualityLevelList()));
  plan.options = ApplyProfileValue(DefaultJobOptions(), ProfileValueOf(quality, plan.output_type, plan.config_dir));

  std::string folder;
  if (options.output) {
    folder = *options.output;
  } else {
    // A relative stored folder means the same folder as in the program.
    folder = settings::ReadOutputFolder(plan.config_dir, plan.app_dir, platform::DefaultOutputFolder());
  }
  if (folder.empty()) throw UsageError("the output folder is empty");
  if (folder.find_first_of("\r\n") != std::string::npos) throw UsageError("the output folder holds a line break");
  plan.output_dir = WithSeparator(TFileFunc::AbsolutePath(folder, WithSeparator(current_folder)));

  plan.start_text = CheckedTime(options.start, "start time");
  plan.end_text = CheckedTime(options.end, "end time");
  int64_t start = 0, end = 0;
  if (text::ParseTimeText(plan.start_text, start) && text::ParseTimeText(plan.end_text, end) && end <= start)
    throw UsageError("the end time must come after the start time");
  return plan;
}

void RunControl::RequestStop() {
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
  if (!settings::MakeFolders(plan.output_dir)) {
    for (size_t i = 0; i < files.size(); ++i) {
      results[i].source = files[i];
      results[i].reason = "the output folder " + plan.output_dir + " cannot be created";
      reporter.FileFinished(i, results[i]);
    }
    return results;
  }
  // Scratch files of runs that were killed outright go first.
  const std::string scratch_parent = std::filesystem::temp_directory_path().string();
  platform::RemoveDeadScratchFolders(scratch_parent);
  platform::ScratchFolder scratch(scratch_parent);
  RunState state;
  auto work = [&] {
    Worker worker(plan, state, reporter, control, scratch.path());
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
  for (int i = 1; i < count; ++i) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return results;
}

std::string ResultJson(const FileResult& r) {
  std::string out = "{\"source\":";
  AppendJsonString(out, r.source);
  out += ",\"output\":";
  AppendJsonString(out, r.output);
  out += r.converted ? ",\"status\":\"converted\"" : ",\"status\":\"failed\"";
  if (r.partial) out += ",\"partial\":true";
  out += ",\"reason\":";
  AppendJsonString(out, r.reason);
  char tail[64];
  std::snprintf(tail, sizeof tail, ",\"exit_code\":%d,\"seconds\":%.2f}", r.exit_code, r.seconds);
  return out + tail;
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
