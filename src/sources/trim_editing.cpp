// Trim range editing: the marker bar and the check of typed start and end times.
#include "sources/trim_editing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "common/helpers.h"
#include "common/text.h"
#include "engine/builder.h"
#include "media/preview_graph.h"
#include "platform/errors.h"
#include "sources/preview_player.h"
#include "ui/event_loop.h"
#include "ui/source_grid.h"

namespace {

// Larger parts are no time a cell can mean; they count as an unreadable cell.
constexpr double kLargestPart = 1e12;

// The reading of the trim bar: the first three ":"-parts read leniently, fractions
// dropped; fewer parts, or a part that is no number, make the cell 0.
int64_t LenientCellSeconds(const std::string& text) {
  const std::vector<std::string> parts = text::SplitText(text, ':');
  if (parts.size() < 3) return 0;
  int64_t value[3];
  for (size_t i = 0; i < 3; ++i) {
    double number = 0;
    try {
      number = text::ParseLenientNumber(parts[i]);
    } catch (const ConversionError&) {
      return 0;
    }
    if (!(std::fabs(number) < kLargestPart)) return 0;
    value[i] = static_cast<int64_t>(std::trunc(number));
  }
  return value[0] * 3600 + value[1] * 60 + value[2];
}

// A cell's whole number takes no blanks and at most twelve digits after an
// optional sign; anything longer is no time a cell can mean.
bool ParsePlainWholeNumber(const std::string& t, int64_t& value) {
  const size_t sign = t.find_first_not_of("+-") == 1 ? 1 : 0;
  if (t.size() - sign > 12 || t.find_first_not_of("0123456789", sign) != std::string::npos) return false;
  return text::ParseWholeNumber(t, value);
}

// The reading of the cut time: exactly three ":"-parts, each a whole number; else 0.
int64_t StrictCellSeconds(const std::string& text) {
  const std::vector<std::string> parts = text::SplitText(text, ':');
  if (parts.size() != 3) return 0;
  int64_t value[3];
  for (size_t i = 0; i < 3; ++i)
    if (!ParsePlainWholeNumber(parts[i], value[i])) return 0;
  return value[0] * 3600 + value[1] * 60 + value[2];
}

// A two-character field of a time text, as the editor's conversion reads it.
int64_t FieldValue(const std::string& text, size_t start) {
  const std::string field = start < text.size() ? text.substr(start, 2) : std::string();
  size_t first = 0;
  while (first < field.size() && field[first] == ' ') ++first;
  int64_t value = 0;
  if (!ParsePlainWholeNumber(field.substr(first), value))
    throw ConversionError("'" + field + "' is not a valid integer value");
  return value;
}

// The reading of the check after an edit: characters 1-2, 4-5 and 7-8.
int64_t PositionalSeconds(const std::string& text) {
  return FieldValue(text, 0) * 3600 + FieldValue(text, 3) * 60 + FieldValue(text, 6);
}

// A time cell as the check after an edit reads it. A cell holds nothing but a
// whole time text: any other text is put back to what the cell held before the
// edit (or, failing that, to the fallback) and refused with a conversion error.
int64_t CheckedCellSeconds(ui::SourceGrid& grid, int row, int column, std::string& text, const std::string& fallback) {
  int64_t seconds = 0;
  if (text::ParseTimeText(text, seconds)) return seconds;
  const std::string refused = text;
  const ui::SourceGrid::CommittedEdit& edit = grid.LastCommittedEdit();
  int64_t unused = 0;
  const bool edited_here = edit.id == grid.IdOf(row) && edit.column == column;
  text = edited_here && text::ParseTimeText(edit.before, unused) ? edit.before : fallback;
  grid.SetCell(row, column, text);
  PositionalSeconds(refused);  // a field without digits: "'xx' is not a valid integer value"
  throw ConversionError("'" + refused + "' is not a valid time");
}

}  // namespace

namespace sources {

namespace {

int64_t CutSecondsOfRow(const ui::SourceGrid& grid, int row) {
  return StrictCellSeconds(grid.Cell(row, ui::kColEnd)) - StrictCellSeconds(grid.Cell(row, ui::kColStart));
}

}  // namespace

int64_t RowCutSeconds(const ui::SourceGrid& grid, const std::string& path) {
  int64_t result = 0;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (SameTextAscii(grid.Cell(row, ui::kColPath), path)) result = CutSecondsOfRow(grid, row);
  return result;
}

namespace {

// The cut time of every selected row, as RowCutSeconds gives it, with each
// path looked up once: a marker moved over thousands of selected rows would
// otherwise compare every row with every other at each step.
void SetCutTimesOfSelected(ui::SourceGrid& grid) {
  std::unordered_map<std::string, int> last_row_of;
  for (int row = 0; row < grid.RowCount(); ++row) last_row_of[LowerAscii(grid.Cell(row, ui::kColPath))] = row;
  for (int row : grid.SelectedRows()) {
    const int last = last_row_of.at(LowerAscii(grid.Cell(row, ui::kColPath)));
    grid.SetCell(row, ui::kColCutTime, text::FormatSeconds(CutSecondsOfRow(grid, last)));
  }
}

}  // namespace

void LoadTrimBar(TrimBar& bar, const std::string& preview_file, const std::function<void()>& preview_stop) {
  ui::SourceGrid& grid = bar.grid;
  bar.bar.SetWidth(bar.full_width);
  for (int row : grid.SelectedRows()) {
    // The bar keeps the range of the file in the preview.
    if (grid.Cell(row, ui::kColPath) == preview_file) continue;
    preview_stop();
    const int64_t duration = LenientCellSeconds(grid.Cell(row, ui::kColDuration));
    const int64_t start = LenientCellSeconds(grid.Cell(row, ui::kColStart));
    const int64_t end = LenientCellSeconds(grid.Cell(row, ui::kColEnd));
    bar.duration_seconds = static_cast<int32_t>(duration);
    bar.shown_row = grid.IdOf(row);
    bar.ready = false;
    if (duration > 0) {
      const int width = bar.bar.Width();
      const int m1 = bar.start_marker.Width(), m2 = bar.end_marker.Width();
      const double d = static_cast<double>(duration);
      // nearbyint rounds halves to the even neighbour in the default rounding mode.
      const int t1 = width - 2 - 2 * m1;
      const int left = static_cast<int>(std::nearbyint(static_cast<double>(start) / d * t1)) + 1;
      // An end beyond the duration would ask for a negative width; a filler keeps 1 pixel.
      if (std::abs(left - bar.left_filler.Width()) > 1) bar.left_filler.SetWidth(std::max(1, left));
      const int t2 = width - 2 - m1 - m2;
      const int right = t2 - static_cast<int>(std::nearbyint(static_cast<double>(end) / d * t2)) + 1;
      if (std::abs(right - bar.right_filler.Width()) > 2) bar.right_filler.SetWidth(std::max(1, right));
    }
    bar.ready = true;
  }
  // The bar's caption says what it now shows.
  bar.bar.SetCaption(TrimBarCaption(grid, bar.shown_row));
}

std::string TrimBarCaption(const ui::SourceGrid& grid, ui::SourceGrid::RowId shown_row) {
  const int row = grid.IndexOf(shown_row);
  if (row == ui::SourceGrid::kNone) return {};
  const std::string path = grid.Cell(row, ui::kColPath);
  const int count = grid.SelectedCount();
  const std::string rows = count == 0 ? "no rows" : count == 1 ? "1 row" : std::to_string(count) + " rows";
  return path.substr(path.find_last_of('/') + 1) + " \u00b7 " + rows;
}

bool TrimBarWrites(const ui::SourceGrid& grid, ui::SourceGrid::RowId shown_row, int row) {
  return grid.IsSelected(row) && grid.IndexOf(shown_row) != ui::SourceGrid::kNone;
}

int TrackWidth(const Panel& bar, const Panel& left_filler, const Splitter& start_marker, const Splitter& end_marker,
               const Panel& right_filler) {
  return bar.Width() - left_filler.Width() - start_marker.Width() - end_marker.Width() - right_filler.Width();
}

void ResetFillers(TrimBar& bar) {
  bar.left_filler.SetWidth(2);
  bar.right_filler.SetWidth(2);
}

void SetStartTimeAndPlay(TrimBar& bar) {
  bar.loop.ProcessEvents();
  bar.bar.SetWidth(bar.full_width);
  const int width = bar.bar.Width();
  const int end_marker_left = width - bar.right_filler.Width() - bar.end_marker.Width();
  if (end_marker_left - bar.left_filler.Width() < 20 && bar.left_filler.Width() > 1)
    bar.left_filler.SetWidth(bar.left_filler.Width() - 1);
  // Integer arithmetic throughout; the division truncates toward zero.
  const int64_t percent = (static_cast<int64_t>(bar.left_filler.Width() + bar.start_marker.Width() - 22) * 121) / width;
  bar.start_mark_seconds = static_cast<int32_t>((static_cast<int64_t>(bar.duration_seconds) * percent) / 100);

  ui::SourceGrid& grid = bar.grid;
  const std::vector<int> selected = grid.SelectedRows();
  for (int row : selected) grid.SetCell(row, ui::kColStart, text::FormatSeconds(bar.start_mark_seconds));
  SetCutTimesOfSelected(grid);
  if (!selected.empty() && bar.ready && bar.graph.Active())
    SeekToMilliseconds(bar.graph, int64_t{bar.start_mark_seconds} * 1000);
}

void EndMarkerMoved(TrimBar& bar) {
  bar.loop.ProcessEvents();
  bar.bar.SetWidth(bar.full_width);
  const int width = bar.bar.Width();
  const int end_marker_left = width - bar.right_filler.Width() - bar.end_marker.Width();
  if (end_marker_left - bar.left_filler.Width() < 20 && bar.right_filler.Width() > 1)
    bar.right_filler.SetWidth(bar.right_filler.Width() - 1);
  // 101 (not 100) at the far right: the next check after an edit brings it back.
  const int64_t percent =
      (static_cast<int64_t>(width - bar.right_filler.Width() - bar.start_marker.Width() - 22) * 121) / width;
  const std::string end = text::FormatSeconds((static_cast<int64_t>(bar.duration_seconds) * percent) / 100);

  ui::SourceGrid& grid = bar.grid;
  for (int row : grid.SelectedRows()) {
    grid.SetCell(row, ui::kColEnd, end);
    bar.stop_text = end;
  }
  SetCutTimesOfSelected(grid);
  bar.end_marker.Repaint();
}

void DragStartMarker(TrimBar& bar, int left_filler_width) {
  const int most = bar.bar.Width() - bar.right_filler.Width() - bar.start_marker.Width() - bar.end_marker.Width() - 1;
  if (most < 1) return;
  const int width = std::clamp(left_filler_width, 1, most);
  if (width == bar.left_filler.Width()) return;
  bar.left_filler.SetWidth(width);
  SetStartTimeAndPlay(bar);
}

void DragEndMarker(TrimBar& bar, int right_filler_width) {
  const int most = bar.bar.Width() - bar.left_filler.Width() - bar.start_marker.Width() - bar.end_marker.Width() - 1;
  if (most < 1) return;
  const int width = std::clamp(right_filler_width, 1, most);
  if (width == bar.right_filler.Width()) return;
  bar.right_filler.SetWidth(width);
  EndMarkerMoved(bar);
}

}  // namespace sources

namespace {

int FillerStep(sources::ShiftState shift) {
  if (shift.ctrl && !shift.shift && !shift.alt) return 1;  // a double click included
  if (shift.shift && !shift.ctrl && !shift.alt && !shift.double_click) return 10;
  return 5;
}

// Narrows the filler by the step; false when it is too narrow or the bar too full.
bool NarrowFiller(sources::TrimBar& bar, sources::Panel& filler, sources::MouseButton button,
                  sources::ShiftState shift) {
  if (button != sources::MouseButton::Left) return false;
  const int step = FillerStep(shift);
  if (filler.Width() <= step || bar.left_filler.Width() + bar.right_filler.Width() + 45 > bar.bar.Width()) return false;
  filler.SetWidth(filler.Width() - step);
  return true;
}

}  // namespace

namespace sources {

void LeftFillerMouseDown(TrimBar& bar, MouseButton button, ShiftState shift) {
  if (NarrowFiller(bar, bar.left_filler, button, shift)) SetStartTimeAndPlay(bar);
}

void RightFillerMouseDown(TrimBar& bar, MouseButton button, ShiftState shift) {
  if (NarrowFiller(bar, bar.right_filler, button, shift)) EndMarkerMoved(bar);
}

void CheckEditedTimes(TrimBar& bar) {
  ui::SourceGrid& grid = bar.grid;
  for (int row : grid.SelectedRows()) {
    const std::string dur = grid.Cell(row, ui::kColDuration);
    std::string st = grid.Cell(row, ui::kColStart);
    std::string en = grid.Cell(row, ui::kColEnd);
    if (st.empty()) {
      st = "00:00:00";
      grid.SetCell(row, ui::kColStart, st);
    }
    if (en.empty()) {
      en = dur;
      grid.SetCell(row, ui::kColEnd, en);
    }
    int64_t d = 0;
    if (!text::ParseTimeText(dur, d)) d = PositionalSeconds(dur);
    const int64_t s = CheckedCellSeconds(grid, row, ui::kColStart, st, "00:00:00");
    const int64_t e = CheckedCellSeconds(grid, row, ui::kColEnd, en, dur);
    // Whole time texts: the duration and the start are written as they stand.
    if (s >= d) grid.SetCell(row, ui::kColStart, dur);
    if (s >= e) grid.SetCell(row, ui::kColEnd, st);
    if (bar.ready && bar.graph.Active()) SeekToMilliseconds(bar.graph, std::min(s, d) * 1000);
    if (e >= d) grid.SetCell(row, ui::kColEnd, dur);
    grid.SetCell(row, ui::kColCutTime, text::FormatSeconds(std::min(d, e) - s));
  }
}

void EndStartTimeEdit(ui::SourceGrid& grid) {
  const int focused = grid.FocusedRow();
  if (focused != ui::SourceGrid::kNone && grid.IsSelected(focused)) grid.SetFocusedRow(ui::SourceGrid::kNone);
}

void RepaintMarkers(TrimBar& bar) {
  bar.start_marker.Repaint();
  bar.end_marker.Repaint();
}

TrimCellList TrimCellsOf(const ui::SourceGrid& grid) {
  TrimCellList cells;
  for (int row = 0; row < grid.RowCount(); ++row)
    cells.push_back({grid.Cell(row, ui::kColPath), grid.Cell(row, ui::kColStart), grid.Cell(row, ui::kColEnd),
                     grid.Cell(row, ui::kColCutTime)});
  return cells;
}

TrimCellList ChangedTrimCells(const ui::SourceGrid& grid, const TrimCellList& before) {
  TrimCellList changed;
  const TrimCellList now = TrimCellsOf(grid);
  for (const TrimCells& was : before) {
    const auto same = std::find_if(now.begin(), now.end(), [&](const TrimCells& is) {
      return is.path == was.path && is.start == was.start && is.end == was.end && is.cut == was.cut;
    });
    if (same == now.end()) changed.push_back(was);
  }
  return changed;
}

void RestoreTrimCells(ui::SourceGrid& grid, const TrimCellList& cells) {
  for (const TrimCells& cell : cells)
    for (int row = 0; row < grid.RowCount(); ++row) {
      if (grid.Cell(row, ui::kColPath) != cell.path) continue;
      grid.SetCell(row, ui::kColStart, cell.start);
      grid.SetCell(row, ui::kColEnd, cell.end);
      grid.SetCell(row, ui::kColCutTime, cell.cut);
    }
  MarkEmptyRanges(grid);
}

void MarkEmptyRanges(ui::SourceGrid& grid) {
  constexpr const char* kEmptyMark = "the range is empty";
  for (int row = 0; row < grid.RowCount(); ++row) {
    const std::string reason = EmptyRangeReason(grid.Cell(row, ui::kColStart), grid.Cell(row, ui::kColEnd));
    const ui::RowStatus& status = grid.Status(row);
    const bool marked = status.state == ui::RowState::Failed && status.detail.rfind(kEmptyMark, 0) == 0;
    if (!reason.empty() && status.detail != reason)
      grid.SetStatus(row, {ui::RowState::Failed, 0, reason});
    else if (reason.empty() && marked)
      grid.SetStatus(row, {});
  }
}

}  // namespace sources
