// Adding files to the source list: thousands of files are measured on a few
// threads while the rows go into the grid in the order given, and the window
// is given time to repaint and show how far it has come.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "common/text.h"
#include "media/duration_probe.h"
#include "platform/errors.h"
#include "sources/source_list.h"

namespace sources {
namespace {

// What measuring one file found: the duration text, "00:00:00" when it could
// not be measured, and the size, none when the file could not be opened.
struct Measured {
  std::string duration;
  std::optional<int64_t> size;
};

Measured Measure(const std::string& path, const media::DurationProbe& probe) {
  Measured measured{text::FormatSeconds(ProbeDurationSeconds(path, probe)), std::nullopt};
  if (measured.duration == "00:00:00") return measured;
  // Measured but gone or locked the moment after: refused like any unreadable file.
  try {
    measured.size = SourceFileSize(path);
  } catch (const FileOpenError&) {
  }
  return measured;
}

// Measures files on a few threads, taking them in list order, so the results
// the caller waits for next are the ones measured first. A probe mostly waits
// for the disk, so a few more threads than cores still pay.
class MeasurePool {
 public:
  explicit MeasurePool(const std::vector<std::string>& paths) : paths_(paths), results_(paths.size()) {
    const size_t threads = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 2u, 8u), paths.size());
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~MeasurePool() {
    {
      std::lock_guard lock(mutex_);
      next_ = paths_.size();  // what nobody waits for any more is not measured
    }
    for (auto& thread : threads_) thread.join();
  }
  MeasurePool(const MeasurePool&) = delete;
  MeasurePool& operator=(const MeasurePool&) = delete;

  // The result for the path at `index`, or nothing when it is not ready within `wait_ms`.
  std::optional<Measured> Take(size_t index, int wait_ms) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return results_[index].has_value(); });
    return results_[index];
  }

 private:
  void Work() {
    const media::DurationProbe probe;
    for (;;) {
      size_t index;
      {
        std::lock_guard lock(mutex_);
        if (next_ >= paths_.size()) return;
        index = next_++;
      }
      Measured measured = Measure(paths_[index], probe);
      {
        std::lock_guard lock(mutex_);
        results_[index] = std::move(measured);
      }
      ready_.notify_all();
    }
  }

  const std::vector<std::string>& paths_;
  std::vector<std::optional<Measured>> results_;
  std::mutex mutex_;
  std::condition_variable ready_;
  size_t next_ = 0;
  std::vector<std::thread> threads_;
};

// Holds the grid's redrawing while rows are added; Released lets it redraw
// for the length of a call.
class HeldUpdate {
 public:
  explicit HeldUpdate(ui::SourceGrid& grid) : grid_(grid) { grid_.BeginUpdate(); }
  ~HeldUpdate() { grid_.EndUpdate(); }
  HeldUpdate(const HeldUpdate&) = delete;
  HeldUpdate& operator=(const HeldUpdate&) = delete;
  template <typename F>
  void Released(F&& call) {
    grid_.EndUpdate();
    try {
      call();
    } catch (...) {
      grid_.BeginUpdate();
      throw;
    }
    grid_.BeginUpdate();
  }

 private:
  ui::SourceGrid& grid_;
};

}  // namespace

void AddSourceFiles(ui::SourceGrid& grid, const std::vector<std::string>& paths,
                    const std::function<void(const std::string&)>& show_codec_error,
                    const std::function<void()>& load_trim_bar, const AddProgress& progress) {
  std::unordered_set<std::string> held;
  for (int row = 0; row < grid.RowCount(); ++row) held.insert(grid.Cell(row, ui::kColPath));

  // The paths worth measuring, each file once however often it is named; the
  // rows keep the order of `paths`.
  struct Candidate {
    size_t position;  // in `paths`
    size_t job;       // in `jobs`
  };
  std::vector<Candidate> candidates;
  std::vector<std::string> jobs;
  std::unordered_map<std::string, size_t> job_of;
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    if (held.count(path) || !AcceptedSourceExtension(path)) continue;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) continue;
    const auto [at, fresh] = job_of.emplace(path, jobs.size());
    if (fresh) jobs.push_back(path);
    candidates.push_back({i, at->second});
  }

  {
    MeasurePool pool(jobs);
    HeldUpdate update(grid);
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(kAddProgressIntervalMs);
    auto next_report = Clock::now() + interval;
    const auto report = [&](size_t done) {
      next_report = Clock::now() + interval;
      // The rows wait for the end: redrawing a list of thousands at every
      // step would cost more than the adding.
      if (progress) progress(done, paths.size());
    };
    for (const Candidate& candidate : candidates) {
      std::optional<Measured> measured;
      while (!(measured = pool.Take(candidate.job, kAddProgressIntervalMs))) report(candidate.position);
      if (Clock::now() >= next_report) report(candidate.position);
      const std::string& path = jobs[candidate.job];
      if (held.count(path)) continue;  // named again after it was added
      if (measured->duration == "00:00:00" || !measured->size) {
        update.Released([&] { show_codec_error(path); });
        continue;
      }
      grid.AddRow({"True", path, text::FormatFileSize(*measured->size), measured->duration, "00:00:00",
                   measured->duration, measured->duration});
      held.insert(path);
    }
  }
  if (progress && !paths.empty()) progress(paths.size(), paths.size());
  if (grid.RowCount() > 0) {
    grid.SetSelected(0, true);
    load_trim_bar();
  }
}

}  // namespace sources
