// vtp-convert: the console front end. Argument parsing, the settings it takes
// from the program's Config folder, and the batch that runs the encoders. Kept
// apart from main() so that all of it runs in tests.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/job.h"

namespace cli {

// Bad usage: the message is printed and the exit code is 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CliOptions {
  std::vector<std::string> files;
  std::optional<std::string> type;
  std::optional<std::string> quality;
  std::optional<std::string> output;
  std::optional<std::string> start;
  std::optional<std::string> end;
  std::optional<std::string> config;
  int jobs = 1;
  bool json = false;
  bool help = false;
  bool version = false;
};

// The arguments after the program name. Throws UsageError.
CliOptions ParseArguments(const std::vector<std::string>& args);

std::string UsageText();

// What every file of the run shares.
struct Plan {
  int output_type = 0;
  JobOptions options;
  // Absolute, with a trailing separator.
  std::string output_dir;
  std::string app_dir;
  // Absolute, with a trailing separator.
  std::string config_dir;
  std::string start_text;
  std::string end_text;
  // Relative source paths are taken from here: the encoders run in the program folder.
  std::string current_folder;
  std::string encoder_name = platform::kEncoderName;
  std::string rm_encoder_name = platform::kRealMediaEncoderName;
};

// Fills the plan from the options and the stored settings: the output folder of
// UserSettings.ini, the custom profiles of UserProfileInfo.ini. Throws UsageError
// for an unknown type or quality, a malformed time or an end before the start.
Plan ResolvePlan(const CliOptions& options, const std::string& app_dir, const std::string& current_folder);

struct FileResult {
  std::string source;
  std::string output;
  bool converted = false;
  // Why it failed, one line.
  std::string reason;
  int exit_code = 0;
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
  // Seconds of the file's range done so far, of `total`.
  virtual void FileProgress(size_t index, double done, double total) = 0;
  virtual void FileFinished(size_t index, const FileResult& result) = 0;
};

// Ends, pauses and resumes the encoders this run started, and nothing else.
class RunControl {
 public:
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // SIGSTOP or SIGCONT to every running encoder of the run.
  void SignalAll(int signal_number);

  // Used by the workers.
  void Add(pid_t pid);
  void Remove(pid_t pid);

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<pid_t> pids_;
};

// Converts the files, `jobs` at a time, in order of the list; one result per file
// in the same order.
std::vector<FileResult> RunConversions(const Plan& plan, const std::vector<std::string>& files, int jobs,
                                       Reporter& reporter, RunControl& control);

// One JSON object on one line.
std::string ResultJson(const FileResult& result);

// Seconds of an encoder status line's "time=" field; nothing without one.
std::optional<double> StatusTime(const std::string& line);

}  // namespace cli
