// The source list: which files it takes, measuring them, adding, removing and
// clearing rows. Everything here acts on the grid and services it is handed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sources/source_types.h"
#include "ui/source_grid.h"

namespace ui {
class Dialogs;
class EventLoop;
class OpenDialog;
}  // namespace ui
namespace media {
class DurationProbe;
}  // namespace media

namespace sources {

// Whole seconds the file plays; 0 when it cannot be measured.
int64_t ProbeDurationSeconds(const std::string& path, const media::DurationProbe& probe);
// Size in bytes; throws FileOpenError when the file cannot be opened.
int64_t SourceFileSize(const std::string& path);
// First occurrence of each path, order kept, exact comparison.
std::vector<std::string> UniqueFileList(const std::vector<std::string>& paths);

// How far an adding has come: paths looked at, of all given.
using AddProgress = std::function<void(size_t done, size_t total)>;
// Time between two progress calls while files are added.
inline constexpr int kAddProgressIntervalMs = 100;

// Appends a row for every path that has an accepted extension, is not in the
// grid yet (exact comparison) and lasts at least a second; show_codec_error is
// called for files that cannot be measured. Rows come in the order of the
// paths, whatever order the files are measured in. When the grid holds rows
// afterwards the first is selected and load_trim_bar is called. Files are
// measured on a few threads; progress is called on the caller's thread about
// every kAddProgressIntervalMs so that it can let the window repaint; the grid
// redraws its new rows once, at the end.
void AddSourceFiles(ui::SourceGrid& grid, const std::vector<std::string>& paths,
                    const std::function<void(const std::string&)>& show_codec_error,
                    const std::function<void()>& load_trim_bar, const AddProgress& progress = {});
// Runs the open dialog at the folder; the chosen paths, empty when cancelled.
std::vector<std::string> SelectSourceFiles(ui::OpenDialog& dialog, ui::Dialogs& dialogs, bool unique,
                                           const std::string& initial_folder);
// Rows taken out of the list, each with the index it had, in index order.
struct RemovedRow {
  int index;
  ui::SourceGrid::Row cells;
};
using RemovedRows = std::vector<RemovedRow>;

// Deletes the selected rows, letting pending events run; focuses the row above
// the focused one if it stays. Returns what it deleted.
RemovedRows RemoveSelectedRows(ui::SourceGrid& grid, ui::EventLoop& loop);
// Deletes all rows; false when that failed.
bool ClearRows(ui::SourceGrid& grid);
// Every row as it stands, for putting back after a Clear.
RemovedRows AllRows(const ui::SourceGrid& grid);
// Puts removed rows back where they stood (at the end when the list has
// become shorter), trims and checks included; they become the selection and
// the first of them the focused row.
void PutBackRows(ui::SourceGrid& grid, const RemovedRows& rows);

// The rows ordered by a column: the file name (ignoring letter case), the size
// or the duration; rows that compare equal keep their order. Other columns
// change nothing.
bool SortableColumn(int column);
void SortRows(ui::SourceGrid& grid, int column, bool ascending);

}  // namespace sources
