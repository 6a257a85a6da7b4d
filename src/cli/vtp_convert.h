// vtp-convert: the console front end. The settings it takes from the program's
// Config folder, the batch that runs the encoders, and the texts it prints. Kept
// apart from main() so that all of it runs in tests.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "engine/job.h"
#include "platform/data_layout.h"

namespace cli {

// What every file of the run shares.
struct Plan {
  int output_type = 0;
  JobOptions options;
  // Absolute, normalised, with a trailing separator.
  std::string output_dir;
  std::string app_dir;
  // Absolute, with a trailing separator.
  std::string config_dir;
  // The run makes its own folder in here for the scripts; trailing separator.
  std::string scratch_dir;
  // The range in microseconds; none: from the start, to the end.
  std::optional<int64_t> start_us;
  std::optional<int64_t> end_us;
  // Relative source paths are taken from here: the encoders run in the program folder.
  std::string current_folder;
  std::string encoder_name = platform::kEncoderName;
  std::string rm_encoder_name = platform::kRealMediaEncoderName;
  // Compose and report each command, run nothing, write nothing.
  bool dry_run = false;
  // Whether the media libraries print their own messages while a file is measured.
  bool library_messages = false;
  // Said once before the run: a stored profile value that is out of range, ...
  std::vector<std::string> warnings;
};

// Fills the plan from the options, the data layout (encoders, settings and
// scratch folders, default output folder) and the stored settings: the output
// folder of UserSettings.ini, the custom profiles of UserProfileInfo.ini. Throws
// UsageError for an unknown type or quality, a malformed time, an end before the
// start, a --config that is no folder or a stored output folder that is no absolute path.
Plan ResolvePlan(const CliOptions& options, const platform::DataLayout& layout, const std::string& current_folder);

// The message for an encoder the files need that is missing or cannot run
// beside the program, naming its path; empty when all are there.
std::string MissingEncoder(const Plan& plan, const std::vector<std::string>& files);

// --list-types and --list-profiles (quality levels of the plan's output type, then
// the custom profiles); with names_only one name a line for the completion, a
// custom profile that a level would shadow as "profile:NAME".
std::string TypeList(bool names_only);
std::string ProfileList(const Plan& plan, bool names_only);

// File names from a descriptor: one a line, or NUL-terminated; empty entries
// are dropped. Throws std::runtime_error when it cannot be read.
std::vector<std::string> ReadFileNames(int fd, bool null_separated);

struct FileResult {
  // Position in the list of files (arguments or names read), from 0.
  size_t index = 0;
  // Absolute and normalised.
  std::string source;
  // The file the job wrote; none when no file exists there.
  std::optional<std::string> output;
  bool converted = false;
  // A dry run: what would be run.
  bool planned = false;
  std::string command;
  // Why it failed, one line.
  std::string reason;
  // None when no encoder ran.
  std::optional<int> exit_code;
  double seconds = 0;
  // A stopped conversion kept its file cut short, as `output`; how much of
  // how much ("05:39 of 10:00").
  bool partial = false;
  std::string partial_text;
};

// Progress of the run, reported from worker threads; calls are serialised.
class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void FileStarted(size_t index, const std::string& source) = 0;
  // Seconds of the file's range done so far, of `total`; called at least every
  // fifth of a second while the encoder runs, whether it printed or not.
  virtual void FileProgress(size_t index, double done, double total) = 0;
  // A line the encoder printed (its status lines included).
  virtual void EncoderLine(size_t index, const std::string& line) = 0;
  virtual void FileFinished(size_t index, const FileResult& result) = 0;
};

// Ends, pauses and resumes the encoders this run started, and nothing else.
class RunControl {
 public:
  // The signal that asked for the stop, 0 for none; the first one counts.
  void RequestStop(int signal_number = 0);
  bool StopRequested() const { return stop_.load(); }
  int StopSignal() const { return stop_signal_.load(); }
  // SIGSTOP or SIGCONT to every running encoder of the run.
  void SignalAll(int signal_number);

  // Used by the workers.
  void Add(pid_t pid);
  void Remove(pid_t pid);

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> stop_signal_{0};
  std::mutex mutex_;
  std::vector<pid_t> pids_;
};

// Converts the files, `jobs` at a time, in order of the list; one result per file
// in the same order.
std::vector<FileResult> RunConversions(const Plan& plan, const std::vector<std::string>& files, int jobs,
                                       Reporter& reporter, RunControl& control);

// One JSON object on one line, valid UTF-8 whatever bytes the paths hold: a path
// that is not valid UTF-8 is shown with U+FFFD and given exactly, base64-encoded,
// in "source_base64" / "output_base64".
std::string ResultJson(const FileResult& result);

// A name or message for a terminal or a log line: control characters, "\" and
// bytes that are not UTF-8 as C escapes, as `ls -b` shows them, so one message
// stays one line.
std::string EscapeName(const std::string& name);

// An argument vector as a line a POSIX shell runs as the same vector.
std::string ShellQuote(const std::vector<std::string>& argv);

// Seconds of an encoder status line's "time=" field; nothing without one.
std::optional<double> StatusTime(const std::string& line);

}  // namespace cli
