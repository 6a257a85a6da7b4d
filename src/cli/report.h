// What vtp-convert prints while it runs: a bar on a terminal, plain lines in a
// log, JSON records or dry-run commands on standard output.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/vtp_convert.h"

namespace cli {

enum class Verbosity { Quiet, Normal, Verbose };

struct ReportSettings {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // Standard error is a terminal: one bar redrawn in place.
  bool terminal = false;
  bool json = false;
  Verbosity verbosity = Verbosity::Normal;
  // Seconds on a steady clock.
  std::function<double()> now;
  // Columns of the terminal.
  std::function<int()> width;
};

// Seconds between the plain progress lines of one file in a log.
inline constexpr double kProgressLineInterval = 5.0;

// Every call comes serialised, from the batch or from main().
class ConsoleReporter : public Reporter {
 public:
  ConsoleReporter(size_t file_count, ReportSettings settings);

  void FileStarted(size_t index, const std::string& source) override;
  void FileProgress(size_t index, double done, double total) override;
  void EncoderLine(size_t index, const std::string& line) override;
  void FileFinished(size_t index, const FileResult& result) override;

  // A "vtp-convert: ..." line on standard error, the bar kept below it; with
  // `verbose_only` only when --verbose.
  void Note(const std::string& text, bool verbose_only = false);
  void ClearBar();

  // The first error writing standard output (an errno value), 0 for none.
  int WriteError() const { return write_error_; }

 private:
  struct FileState {
    std::string name;
    double started = -1;
    double last_line = -1;
    double share = 0;
  };
  void Draw();
  void Out(const std::string& text);
  bool Shown() const { return settings_.verbosity != Verbosity::Quiet; }

  ReportSettings settings_;
  std::vector<FileState> files_;
  double run_started_;
  size_t finished_ = 0;
  bool drawn_ = false;
  int write_error_ = 0;
};

// "00:01:05" from seconds, for the lines and the bar.
std::string ClockText(double seconds);

// Columns of the terminal on a descriptor; `fallback` when it is none or says 0.
int TerminalWidth(int fd, int fallback = 80);

}  // namespace cli
