// The source list: adding files by dialog or drop, measuring them, removing and
// clearing rows.
#include "sources/source_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "common/helpers.h"
#include "common/text.h"
#include "media/duration_probe.h"
#include "platform/errors.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"
#include "ui/open_dialog.h"
#include "ui/source_grid.h"

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

namespace sources {

int64_t ProbeDurationSeconds(const std::string& path, const media::DurationProbe& probe) {
  try {
    return probe.DurationMs(path) / 1000;
  } catch (...) {
    return 0;
  }
}

int64_t SourceFileSize(const std::string& path) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) throw FileOpenError(path, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw FileOpenError(path, std::strerror(errno));
  return static_cast<int64_t>(st.st_size);
}

std::vector<std::string> SelectSourceFiles(ui::OpenDialog& dialog, ui::Dialogs& dialogs, bool unique,
                                           const std::string& initial_folder) {
  dialog.InitialDir = initial_folder;
  if (!dialog.Execute(dialogs)) return {};
  std::vector<std::string> paths = dialog.FileNames();
  return unique ? UniqueFileList(paths) : paths;
}

std::vector<std::string> UniqueFileList(const std::vector<std::string>& paths) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths)
    if (seen.insert(path).second) result.push_back(path);
  return result;
}

namespace {

ui::SourceGrid::Row CellsOf(const ui::SourceGrid& grid, int row) {
  ui::SourceGrid::Row cells;
  for (int column = 0; column < ui::SourceGrid::kColumns; ++column)
    cells[static_cast<size_t>(column)] = grid.Cell(row, column);
  return cells;
}

}  // namespace

RemovedRows RemoveSelectedRows(ui::SourceGrid& grid, ui::EventLoop& loop) {
  RemovedRows removed;
  if (grid.SelectedCount() == 0) return removed;
  loop.ProcessEvents();
  // Known by identity, not by index: rows before it disappear during the removal.
  ui::SourceGrid::RowId remembered = grid.IdOf(grid.RowBefore(grid.FocusedRow()));
  grid.BeginUpdate();
  try {
    // The selected rows go in one pass per round: row by row, a Remove of
    // thousands would move the rest of the list up once for each. Events in
    // between may select more, which go in the next round.
    for (;;) {
      loop.ProcessEvents();
      const std::vector<int> rows = grid.SelectedRows();
      if (rows.empty()) break;
      // The rows deleted in earlier rounds all stood before these.
      const int earlier = static_cast<int>(removed.size());
      for (int row : rows) {
        if (grid.IdOf(row) == remembered) remembered = ui::SourceGrid::kNoId;
        removed.push_back({row + earlier, CellsOf(grid, row)});
      }
      grid.DeleteRows(rows);
    }
    const int keep = grid.IndexOf(remembered);
    if (keep != ui::SourceGrid::kNone) {
      grid.SetFocusedRow(keep);
      grid.SetSelected(keep, true);
    }
  } catch (...) {
    grid.EndUpdate();
    throw;
  }
  grid.EndUpdate();
  return removed;
}

RemovedRows AllRows(const ui::SourceGrid& grid) {
  RemovedRows rows;
  for (int row = 0; row < grid.RowCount(); ++row) rows.push_back({row, CellsOf(grid, row)});
  return rows;
}

void PutBackRows(ui::SourceGrid& grid, const RemovedRows& rows) {
  if (rows.empty()) return;
  // All in one pass and one redraw: a Remove of thousands of rows comes back at once.
  std::vector<std::pair<int, ui::SourceGrid::Row>> back;
  back.reserve(rows.size());
  for (const RemovedRow& row : rows) back.emplace_back(row.index, row.cells);
  grid.BeginUpdate();
  for (int row : grid.SelectedRows()) grid.SetSelected(row, false);
  grid.SetFocusedRow(grid.InsertRows(back, /*selected=*/true));
  grid.EndUpdate();
}

bool SortableColumn(int column) {
  return column == ui::kColPath || column == ui::kColSize || column == ui::kColDuration;
}

namespace {

// Bytes a size text stands for, as FormatFileSize wrote it ("1.5 MB"); 0 when unreadable.
double SizeTextBytes(const std::string& size) {
  const size_t blank = size.find(' ');
  double value = 0;
  try {
    value = text::ParseLenientNumber(size.substr(0, blank));
  } catch (const ConversionError&) {
    return 0;
  }
  const std::string unit = blank == std::string::npos ? "" : size.substr(blank + 1);
  const double scale = unit == "B"    ? 1
                       : unit == "KB" ? 1024.0
                       : unit == "MB" ? 1024.0 * 1024
                       : unit == "GB" ? 1024.0 * 1024 * 1024
                                      : 0;
  return value * scale;
}

}  // namespace

void SortRows(ui::SourceGrid& grid, int column, bool ascending) {
  if (!SortableColumn(column)) return;
  struct Key {
    std::string name;
    double number = 0;
  };
  std::vector<Key> keys;
  for (int row = 0; row < grid.RowCount(); ++row) {
    const std::string cell = grid.Cell(row, column);
    Key key;
    if (column == ui::kColPath) {
      key.name = LowerAscii(cell);
    } else if (column == ui::kColSize) {
      key.number = SizeTextBytes(cell);
    } else {
      int64_t seconds = 0;
      key.number = text::ParseTimeText(cell, seconds) ? static_cast<double>(seconds) : 0;
    }
    keys.push_back(key);
  }
  std::vector<int> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const Key& x = keys[static_cast<size_t>(ascending ? a : b)];
    const Key& y = keys[static_cast<size_t>(ascending ? b : a)];
    return column == ui::kColPath ? x.name < y.name : x.number < y.number;
  });
  grid.Reorder(order);
}

bool ClearRows(ui::SourceGrid& grid) {
  try {
    grid.Clear();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace sources
