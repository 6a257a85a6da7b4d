#include "cli/vtp_convert.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
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

constexpr const char* kProfilePrefix = "profile:";

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
  return folder;
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

int OutputTypeOf(const std::string& name) {
  const auto exts = catalogue::ExtensionList();
  for (size_t i = 0; i < exts.size(); ++i)
    if (SameTextAscii(name, exts[i].substr(1)) || SameTextAscii(name, exts[i])) return static_cast<int>(i);
  std::string known;
  for (const auto& ext : exts) known += (known.empty() ? "" : ", ") + ext.substr(1);
  throw UsageError("unknown output type '" + name + "' (" + known + ")");
}

// The stored custom profile of that name, ASCII letter case ignored as the
// settings file ignores it; empty when none.
std::string FindCustomProfile(const std::string& name, const std::string& config_dir) {
  for (const auto& stored : settings::ReadIniSections(config_dir, settings::kProfileFile))
    if (SameTextAscii(stored, name)) return stored;
  return {};
}

// A quality level by name or position (letter case ignored), else a stored
// custom profile; "profile:NAME" only the custom profile, so that one named
// like a level ("2") stays reachable. Problems of a stored value become warnings.
std::string ProfileValueOf(const std::string& quality, int output_type, const std::string& config_dir,
                           std::vector<std::string>& warnings) {
  const bool custom_only = quality.size() >= std::strlen(kProfilePrefix) &&
                           SameTextAscii(quality.substr(0, std::strlen(kProfilePrefix)), kProfilePrefix);
  const std::string name = custom_only ? quality.substr(std::strlen(kProfilePrefix)) : quality;
  const auto levels = catalogue::QualityLevelList();
  if (!custom_only) {
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      if (SameTextAscii(name, levels[static_cast<size_t>(q)]) || name == std::to_string(q))
        return catalogue::QualityPreset(output_type, q);
  }
  const std::string profile = FindCustomProfile(name, config_dir);
  if (profile.empty()) {
    if (custom_only) throw UsageError("no custom profile named '" + name + "' (see --list-profiles)");
    std::string known;
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      known += (q ? ", \"" : "\"") + levels[static_cast<size_t>(q)] + "\"";
    throw UsageError("unknown quality '" + quality + "' (0 to 4, " + known +
                     ", or a custom profile name; see --list-profiles)");
  }
  const std::string value = settings::ReadNamedValue(config_dir, settings::kProfileFile, profile);
  if (text::SplitText(value, '|').size() != 6) throw UsageError("custom profile '" + profile + "' is damaged");
  for (const auto& problem : ProfileValueProblems(value))
    warnings.push_back("custom profile '" + profile + "': " + problem);
  return value;
}

std::optional<int64_t> CheckedTime(const std::optional<std::string>& time, const char* what) {
  if (!time) return std::nullopt;
  int64_t us = 0;
  if (!text::ParseMediaTime(*time, us))
    throw UsageError(std::string(what) + " '" + *time + "' is not a time (hh:mm:ss, mm:ss or seconds, as 1:30.5)");
  return us;
}

std::string DescribeProfileValue(const std::string& value, int output_type) {
  const JobOptions none;
  const JobOptions o = ApplyProfileValue(none, value);
  const auto item = [](const std::string& v, const std::string& unit) { return v.empty() ? "-" : v + unit; };
  const std::string audio =
      KeptAudioBitrate(catalogue::ExtensionList()[static_cast<size_t>(output_type)], o.audio_bitrate, o.sample_rate);
  return item(o.video_size, "") + ", " + item(o.frame_rate, " fps") + ", video " + item(o.video_bitrate, " kbit/s") +
         ", audio " + item(audio, " kbit/s") + ", " + item(o.channels, "") + ", " + item(o.sample_rate, " Hz");
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
};

class Worker {
 public:
  Worker(const Plan& plan, RunState& state, Reporter& reporter, RunControl& control, const std::string& scratch)
      : plan_(plan), state_(state), reporter_(reporter), control_(control), scratch_(scratch) {}

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

  void RunOne(size_t index, FileResult& result, std::string& output) {
    const std::string& source = result.source;
    if (control_.StopRequested()) throw std::runtime_error("stopped before it started");
    if (FileSize(source) < 0) throw std::runtime_error("no such file, or not a regular file");
    if (!sources::AcceptedSourceExtension(source)) throw std::runtime_error("not a supported source type");
    int64_t duration_ms = 0;
    try {
      duration_ms = media::DurationProbe().DurationMs(source);
    } catch (const media::ProbeError& error) {
      throw std::runtime_error(error.reason());
    }
    if (duration_ms < 1000) throw std::runtime_error("shorter than one second");

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
    if (plan_.start_us || plan_.end_us) {
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
    const std::vector<std::string> argv = platform::SplitCommandLine(built.command);
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
    Report([&] { reporter_.FileStarted(index, source); });

    auto child = platform::PipedChild::Start(argv, plan_.app_dir, {kReservedOutputEnvironment}, true);
    if (!child) throw std::runtime_error("the encoder " + argv[0] + " could not be started");
    control_.Add(child->Pid());
    // A stop that came while the encoder was being started has not reached it yet.
    if (control_.StopRequested()) kill(child->Pid(), SIGTERM);
    std::string pending, last_line;
    double done = 0;
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
        Report([&] { reporter_.EncoderLine(index, line); });
        if (auto t = StatusTime(line)) {
          done = std::min(*t, range);
        } else if (auto named = ReadKeptOutput(line)) {
          kept = named;
        } else {
          last_line = line;
        }
      }
      Report([&] { reporter_.FileProgress(index, done, range); });
      if (!read_any && child->ExitStatus()) break;
    }
    control_.Remove(child->Pid());
    result.exit_code = *child->ExitStatus();
    if (kept && kept->partial) {
      output = kept->path;
      result.partial = true;
      result.partial_text = FormatLength(kept->seconds) + " of " + FormatLength(range);
    }
    if (control_.StopRequested()) throw std::runtime_error("stopped");
    if (*result.exit_code != 0) {
      // A source that gave out early: the encoder's reason says how much it read.
      if (result.partial && last_line.find(": ") != std::string::npos)
        throw std::runtime_error(last_line.substr(last_line.find(": ") + 2));
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
};

// Length of the UTF-8 sequence at `at`, 0 when the bytes there are none
// (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(at);
  if (c < 0x80) return 1;
  size_t length = 0;
  unsigned min = 0;
  unsigned value = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80, value = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800, value = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000, value = c & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3Fu);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

bool ValidUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t n = Utf8Length(text, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD.
void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    const size_t n = Utf8Length(text, at);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (n > 1) {
      out.append(text, at, n);
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
    at += n;
  }
  out += '"';
}

// "name":"path", plus "name_base64" with the exact bytes when they are not UTF-8.
void AppendJsonPath(std::string& out, const char* name, const std::optional<std::string>& path) {
  out += std::string(",\"") + name + "\":";
  if (!path) {
    out += "null";
    return;
  }
  AppendJsonString(out, *path);
  if (!ValidUtf8(*path)) out += std::string(",\"") + name + "_base64\":\"" + Base64(*path) + "\"";
}

}  // namespace

Plan ResolvePlan(const CliOptions& options, const platform::DataLayout& layout, const std::string& current_folder) {
  Plan plan;
  plan.app_dir = WithSeparator(layout.program_folder);
  plan.scratch_dir = WithSeparator(layout.scratch_folder);
  plan.current_folder = current_folder;
  if (options.config) {
    const std::string folder = TFileFunc::NormalPath(*options.config, current_folder);
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) throw UsageError("--config " + *options.config + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw UsageError("--config " + *options.config + ": not a folder");
    plan.config_dir = WithSeparator(folder);
  } else {
    plan.config_dir = WithSeparator(layout.config_folder);
  }
  plan.output_type = options.type ? OutputTypeOf(*options.type) : CatalogueDefault(catalogue::OutputTypeList());
  // A list needs no more, so a bad stored folder or profile cannot hide it.
  if (options.list_types || options.list_profiles) return plan;
  const std::string quality =
      options.quality ? *options.quality : std::to_string(CatalogueDefault(catalogue::QualityLevelList()));
  plan.options =
      ApplyProfileValue(DefaultJobOptions(), ProfileValueOf(quality, plan.output_type, plan.config_dir, plan.warnings));

  std::string folder;
  if (options.output) {
    folder = *options.output;
  } else {
    // A relative stored folder means the same folder as in the program.
    try {
      folder = settings::ReadOutputFolder(plan.config_dir, layout.relative_base, layout.default_output_folder);
    } catch (const settings::ForeignFolderError& error) {
      throw UsageError(std::string(error.what()) + " Give the output folder with -o DIR.");
    }
  }
  if (folder.empty()) throw UsageError("the output folder is empty");
  if (folder.find_first_of("\r\n") != std::string::npos) throw UsageError("the output folder holds a line break");
  plan.output_dir = WithSeparator(TFileFunc::NormalPath(folder, current_folder));

  plan.start_us = CheckedTime(options.start, "start time");
  plan.end_us = CheckedTime(options.end, "end time");
  if (plan.start_us && plan.end_us && *plan.end_us <= *plan.start_us)
    throw UsageError("the end time must come after the start time");
  plan.dry_run = options.dry_run;
  return plan;
}

std::string MissingEncoder(const Plan& plan, const std::vector<std::string>& files) {
  std::vector<std::string> needed = {plan.encoder_name};
  for (const auto& file : files) {
    std::string ext = TFileFunc::GetFileExt(file);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".rm" || ext == ".rmvb") {
      needed.push_back(plan.rm_encoder_name);
      break;
    }
  }
  for (const auto& name : needed) {
    const std::string path = plan.app_dir + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "the encoder " + path + " is missing: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode) || access(path.c_str(), X_OK) != 0)
      return "the encoder " + path + " cannot be run (not an executable file)";
  }
  return {};
}

std::string TypeList(bool names_only) {
  const auto exts = catalogue::ExtensionList();
  const auto names = catalogue::OutputTypeList();
  std::string out;
  for (size_t i = 0; i < exts.size(); ++i) {
    out += exts[i].substr(1);
    if (!names_only) {
      out += std::string(6 - std::min<size_t>(5, exts[i].size() - 1), ' ') + names[i];
      if (static_cast<int>(i) == CatalogueDefault(names)) out += " (default)";
    }
    out += "\n";
  }
  return out;
}

std::string ProfileList(const Plan& plan, bool names_only) {
  const auto levels = catalogue::QualityLevelList();
  const auto profiles = settings::ReadIniSections(plan.config_dir, settings::kProfileFile);
  std::string out;
  if (!names_only) out += "Quality levels for " + catalogue::ExtensionList()[size_t(plan.output_type)] + ":\n";
  for (int q = 0; q < catalogue::kQualityLevelCount; ++q) {
    const std::string& name = levels[static_cast<size_t>(q)];
    if (names_only) {
      out += name + "\n";
      continue;
    }
    std::string line = "  " + std::to_string(q) + "  " + name;
    line.resize(std::max<size_t>(line.size() + 2, 26), ' ');
    out += line + DescribeProfileValue(catalogue::QualityPreset(plan.output_type, q), plan.output_type) +
           (q == CatalogueDefault(levels) ? " (default)\n" : "\n");
  }
  if (!names_only)
    out += profiles.empty()
               ? "No custom profiles in " + settings::ConfigPath(plan.config_dir, settings::kProfileFile) + ".\n"
               : "Custom profiles in " + settings::ConfigPath(plan.config_dir, settings::kProfileFile) + ":\n";
  for (const auto& name : profiles) {
    bool shadowed = false;
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      shadowed = shadowed || SameTextAscii(name, levels[static_cast<size_t>(q)]) || name == std::to_string(q);
    const std::string shown = shadowed ? kProfilePrefix + name : name;
    if (names_only) {
      out += shown + "\n";
      continue;
    }
    const std::string value = settings::ReadNamedValue(plan.config_dir, settings::kProfileFile, name);
    std::string line = "  " + EscapeName(shown);
    line.resize(std::max<size_t>(line.size() + 2, 26), ' ');
    out += line +
           (text::SplitText(value, '|').size() == 6 ? DescribeProfileValue(value, plan.output_type) : "(damaged)") +
           "\n";
  }
  return out;
}

std::vector<std::string> ReadFileNames(int fd, bool null_separated) {
  std::string all;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("cannot read file names from standard input: ") + std::strerror(errno));
    }
    all.append(buffer, static_cast<size_t>(n));
  }
  std::vector<std::string> names;
  const char separator = null_separated ? '\0' : '\n';
  size_t start = 0;
  while (start < all.size()) {
    const size_t end = std::min(all.find(separator, start), all.size());
    if (end > start) names.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

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
  std::string out = "{\"index\":" + std::to_string(r.index);
  AppendJsonPath(out, "source", r.source);
  AppendJsonPath(out, "output", r.output);
  out += r.planned ? ",\"status\":\"planned\"" : r.converted ? ",\"status\":\"converted\"" : ",\"status\":\"failed\"";
  if (r.planned) {
    out += ",\"command\":";
    AppendJsonString(out, r.command);
  }
  if (r.partial) out += ",\"partial\":true";
  out += ",\"reason\":";
  AppendJsonString(out, r.reason);
  out += ",\"exit_code\":" + (r.exit_code ? std::to_string(*r.exit_code) : std::string("null"));
  char tail[32];
  std::snprintf(tail, sizeof tail, ",\"seconds\":%.2f}", r.seconds);
  return out + tail;
}

std::string EscapeName(const std::string& name) {
  std::string out;
  for (size_t at = 0; at < name.size();) {
    const size_t n = Utf8Length(name, at);
    const unsigned char c = static_cast<unsigned char>(name[at]);
    if (n > 1) {
      out.append(name, at, n);
      at += n;
      continue;
    }
    ++at;
    static const char kLetters[] = "abtnvfr";
    if (c == '\\') {
      out += "\\\\";
    } else if (n == 1 && c >= 0x07 && c <= 0x0D) {
      out += '\\';
      out += kLetters[c - 0x07];
    } else if (n == 0 || c < 0x20 || c == 0x7F) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ShellQuote(const std::vector<std::string>& argv) {
  std::string out;
  for (const auto& arg : argv) {
    if (!out.empty()) out += ' ';
    const bool plain = !arg.empty() && arg.find_first_not_of(
                                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789_@%+=:,./-") == std::string::npos;
    const bool control = std::any_of(arg.begin(), arg.end(), [](char ch) {
      const auto c = static_cast<unsigned char>(ch);
      return c < 0x20 || c == 0x7F;
    });
    if (plain) {
      out += arg;
    } else if (control || !ValidUtf8(arg)) {
      // $'...' keeps the line one line; every byte outside printable ASCII as octal.
      out += "$'";
      for (char ch : arg) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\'' || c == '\\') {
          out += '\\';
          out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
          char octal[8];
          std::snprintf(octal, sizeof octal, "\\%03o", c);
          out += octal;
        } else {
          out += ch;
        }
      }
      out += '\'';
    } else {
      out += '\'';
      for (char ch : arg) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
      out += '\'';
    }
  }
  return out;
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
