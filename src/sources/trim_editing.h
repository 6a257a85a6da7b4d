// Trim range editing: the marker bar above the list and the check of typed
// start and end times. The functions act on the models they are handed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sources/components.h"
#include "ui/source_grid.h"

namespace ui {
class EventLoop;
}  // namespace ui
namespace media {
class PreviewGraph;
}  // namespace media

namespace sources {

// The trim bar, left to right: the left filler (its width places the start
// marker), the start marker, the track (the rest), the end marker and the right
// filler (its width places the end marker); the marks it keeps; and what it acts on.
struct TrimBar {
  Panel& bar;
  Panel& left_filler;
  Splitter& start_marker;
  Splitter& end_marker;
  Panel& right_filler;
  // The width the bar is given whenever it is laid out.
  int full_width;
  // The bar was loaded once and is not placing its markers right now.
  bool& ready;
  // Start of the last start-marker move; a newly loaded file plays from there.
  int32_t& start_mark_seconds;
  // Time text of the last end-marker move; the preview pauses there.
  std::string& stop_text;
  // Duration of the row the bar was last loaded for.
  int32_t& duration_seconds;
  // That row; a drag writes into every selected row.
  ui::SourceGrid::RowId& shown_row;
  ui::SourceGrid& grid;
  ui::EventLoop& loop;
  media::PreviewGraph& graph;
};

// End minus start, in seconds, of the last row whose path equals this one
// ignoring letter case; 0 when none does.
int64_t RowCutSeconds(const ui::SourceGrid& grid, const std::string& path);

// What the bar says of itself: the name of the row it shows and how many
// selected rows a drag will write, "clip.avi · 2 rows"; empty when it shows none.
std::string TrimBarCaption(const ui::SourceGrid& grid, ui::SourceGrid::RowId shown_row);
// Whether a marker drag writes into the row: a selected row while the bar shows one.
bool TrimBarWrites(const ui::SourceGrid& grid, ui::SourceGrid::RowId shown_row, int row);

// Places the markers for the last selected row that is not the preview file;
// preview_stop is called before each such row is placed. The bar's caption
// becomes its TrimBarCaption.
void LoadTrimBar(TrimBar& bar, const std::string& preview_file, const std::function<void()>& preview_stop);
// Width of the track between the markers.
int TrackWidth(const Panel& bar, const Panel& left_filler, const Splitter& start_marker, const Splitter& end_marker,
               const Panel& right_filler);
// Both fillers back to their narrowest.
void ResetFillers(TrimBar& bar);
// The start marker has moved: writes the start and cut cells of the selected
// rows and moves a playing preview there.
void SetStartTimeAndPlay(TrimBar& bar);
// The end marker has moved: writes the end and cut cells of the selected rows.
void EndMarkerMoved(TrimBar& bar);
// A marker dragged to a filler width, kept inside the bar.
void DragStartMarker(TrimBar& bar, int left_filler_width);
void DragEndMarker(TrimBar& bar, int right_filler_width);
// A press on a filler narrows it by a step the modifier keys choose.
void LeftFillerMouseDown(TrimBar& bar, MouseButton button, ShiftState shift);
void RightFillerMouseDown(TrimBar& bar, MouseButton button, ShiftState shift);
// The check after a cell edit: start and end kept inside the duration, the cut
// time written again; a cell that is no time is put back and refused.
void CheckEditedTimes(TrimBar& bar);
// Ends the start-time edit at its first change, so the check runs at once.
void EndStartTimeEdit(ui::SourceGrid& grid);
void RepaintMarkers(TrimBar& bar);

// The trim cells of a row, known by its path (a path is in the list once, and
// stays the same when a removed row is put back).
struct TrimCells {
  std::string path;
  std::string start;
  std::string end;
  std::string cut;
};
using TrimCellList = std::vector<TrimCells>;
TrimCellList TrimCellsOf(const ui::SourceGrid& grid);
// Those of `before` whose row now holds other cells.
TrimCellList ChangedTrimCells(const ui::SourceGrid& grid, const TrimCellList& before);
// Writes the cells back into the rows still in the list.
void RestoreTrimCells(ui::SourceGrid& grid, const TrimCellList& cells);
// Rows whose range holds nothing say so in their status; a row that holds a
// range again loses that mark. Other statuses stay.
void MarkEmptyRanges(ui::SourceGrid& grid);

}  // namespace sources
