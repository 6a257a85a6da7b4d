#include "cli/report.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "common/text.h"

namespace cli {

ConsoleReporter::ConsoleReporter(size_t file_count, ReportSettings settings)
    : settings_(std::move(settings)), files_(file_count), run_started_(settings_.now()) {}

void ConsoleReporter::FileStarted(size_t index, const std::string& source) {
  files_[index].started = files_[index].last_line = settings_.now();
  files_[index].name = EscapeName(source);
  if (!settings_.terminal && Shown()) Note("converting " + files_[index].name);
  Draw();
}

void ConsoleReporter::FileProgress(size_t index, double done, double total) {
  FileState& file = files_[index];
  file.share = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0;
  const double now = settings_.now();
  if (settings_.terminal) {
    Draw();
    return;
  }
  // A log of a long run shows life: percent, speed and time left every few seconds.
  if (!Shown() || now - file.last_line < kProgressLineInterval) return;
  file.last_line = now;
  const double elapsed = now - file.started;
  const double speed = elapsed > 0 ? done / elapsed : 0;
  std::string line = file.name + ": " + std::to_string(static_cast<int>(file.share * 100)) + "%";
  if (speed > 0) {
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.2fx", speed);
    line += " at " + std::string(figure) + ", " + ClockText((total - done) / speed) + " left";
  }
  Note(line);
}

void ConsoleReporter::EncoderLine(size_t index, const std::string& line) {
  Note(files_[index].name + ": " + EscapeName(line), true);
}

void ConsoleReporter::FileFinished(size_t index, const FileResult& r) {
  files_[index].share = 1;
  ++finished_;
  const std::string source = EscapeName(r.source);
  if (r.planned) {
    if (!settings_.json) Out("# " + source + " -> " + EscapeName(r.output.value_or("")) + "\n" + r.command + "\n");
  } else if (r.converted) {
    if (Shown() && (!settings_.json || settings_.terminal)) Note(source + " -> " + EscapeName(r.output.value_or("")));
  } else {
    Note("failed: " + source + ": " + EscapeName(r.reason));
    if (r.partial) Note("partial output kept: " + EscapeName(r.output.value_or("")) + " (" + r.partial_text + ")");
  }
  if (settings_.json) Out(ResultJson(r) + "\n");
  Draw();
}

void ConsoleReporter::Note(const std::string& text, bool verbose_only) {
  if (verbose_only && settings_.verbosity != Verbosity::Verbose) return;
  ClearBar();
  std::fprintf(settings_.err, "vtp-convert: %s\n", text.c_str());
  Draw();
}

void ConsoleReporter::ClearBar() {
  if (settings_.terminal && drawn_) std::fputs("\r\033[K", settings_.err);
  drawn_ = false;
}

void ConsoleReporter::Out(const std::string& text) {
  // After the first failure nothing more is written: the reader has lost lines already.
  if (write_error_ != 0) return;
  ClearBar();  // standard output may be the same terminal
  if (std::fputs(text.c_str(), settings_.out) < 0 || std::fflush(settings_.out) != 0)
    write_error_ = errno != 0 ? errno : EIO;
}

void ConsoleReporter::Draw() {
  if (!settings_.terminal || !Shown()) return;
  double sum = 0;
  for (const auto& file : files_) sum += file.share;
  const double share = files_.empty() ? 1 : sum / static_cast<double>(files_.size());
  std::string tail = " " + std::to_string(static_cast<int>(share * 100)) + "%  " + std::to_string(finished_) + "/" +
                     std::to_string(files_.size()) + " files";
  const double elapsed = settings_.now() - run_started_;
  if (share > 0.01 && share < 1 && elapsed > 2) tail += "  " + ClockText(elapsed * (1 - share) / share) + " left";
  // One column short of the width: a full line would wrap on some terminals.
  const size_t room = static_cast<size_t>(std::max(1, settings_.width() - 1));
  const size_t bar_width = std::min<size_t>(30, room > tail.size() + 7 ? room - tail.size() - 2 : 0);
  std::string line;
  if (bar_width >= 5) {
    const size_t filled = static_cast<size_t>(share * static_cast<double>(bar_width));
    line = "[" + std::string(filled, '#') + std::string(bar_width - filled, '.') + "]";
  }
  line += tail;
  if (line.size() > room) line.resize(room);
  std::fprintf(settings_.err, "\r%s", line.c_str());
  std::fflush(settings_.err);
  drawn_ = true;
}

std::string ClockText(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  return text::FormatSeconds(static_cast<int64_t>(std::lround(seconds)));
}

int TerminalWidth(int fd, int fallback) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return fallback;
}

}  // namespace cli
