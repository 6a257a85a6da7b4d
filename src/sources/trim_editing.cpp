// Trim range editing: the marker bar and the check of typed start and end times.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "media/preview_graph.h"
#include "platform/errors.h"
#include "common/helpers.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/event_loop.h"

namespace {

using sources::dxtrlSourceFileDuration;
using sources::dxtrlSourceFileEndTime;
using sources::dxtrlSourceFileName;
using sources::dxtrlSourceFileStartTime;
using sources::dxtrlstclConvertDuration;

// Larger parts are no time a cell can mean; they count as an unreadable cell.
constexpr double kLargestPart = 1e12;

// The reading of the trim bar: the first three ":"-parts read leniently, fractions
// dropped; fewer parts, or a part that is no number, make the cell 0.
int64_t LenientCellSeconds(const std::string& text) {
  const std::vector<std::string> parts = TCommonLib::SplitText(text, ':');
  if (parts.size() < 3) return 0;
  int64_t value[3];
  for (size_t i = 0; i < 3; ++i) {
    double number = 0;
    try {
      number = TCommonLib::ParseLenientNumber(parts[i]);
    } catch (const ConversionError&) {
      return 0;
    }
    if (!(std::fabs(number) < kLargestPart)) return 0;
    value[i] = static_cast<int64_t>(std::trunc(number));
  }
  return value[0] * 3600 + value[1] * 60 + value[2];
}

// A whole decimal number: optional sign, then digits only.
bool ParseWholeNumber(const std::string& text, int64_t& value) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size() || text.size() - i > 12) return false;
  for (size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

// The reading of the cut time: exactly three ":"-parts, each a whole number; else 0.
int64_t StrictCellSeconds(const std::string& text) {
  const std::vector<std::string> parts = TCommonLib::SplitText(text, ':');
  if (parts.size() != 3) return 0;
  int64_t value[3];
  for (size_t i = 0; i < 3; ++i)
    if (!ParseWholeNumber(parts[i], value[i])) return 0;
  return value[0] * 3600 + value[1] * 60 + value[2];
}

// A two-character field of a time text, as the editor's conversion reads it.
int64_t FieldValue(const std::string& text, size_t start) {
  const std::string field = start < text.size() ? text.substr(start, 2) : std::string();
  size_t first = 0;
  while (first < field.size() && field[first] == ' ') ++first;
  int64_t value = 0;
  if (!ParseWholeNumber(field.substr(first), value))
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
int64_t CheckedCellSeconds(ui::SourceGrid& grid, int row, int column, std::string& text,
                           const std::string& fallback) {
  int64_t seconds = 0;
  if (TCommonLib::ReadTimeText(text, seconds)) return seconds;
  const std::string refused = text;
  const ui::SourceGrid::CommittedEdit& edit = grid.LastCommittedEdit();
  int64_t unused = 0;
  const bool edited_here = edit.id == grid.IdOf(row) && edit.column == column;
  text = edited_here && TCommonLib::ReadTimeText(edit.before, unused) ? edit.before : fallback;
  grid.SetCell(row, column, text);
  PositionalSeconds(refused);  // a field without digits: "'xx' is not a valid integer value"
  throw ConversionError("'" + refused + "' is not a valid time");
}

}  // namespace

int64_t TCustomProc::RowCutSeconds(const std::string& path) const {
  const ui::SourceGrid& grid = program_.MainForm().dxTreeSourceFileInfo;
  int64_t result = 0;
  for (int row = 0; row < grid.RowCount(); ++row) {
    if (!SameTextAscii(grid.Cell(row, dxtrlSourceFileName), path)) continue;
    result = StrictCellSeconds(grid.Cell(row, dxtrlSourceFileEndTime)) -
             StrictCellSeconds(grid.Cell(row, dxtrlSourceFileStartTime));
  }
  return result;
}

void TCustomProc::LoadTrimBar() {
  TFrmMainForm& form = program_.MainForm();
  ui::SourceGrid& grid = form.dxTreeSourceFileInfo;
  form.Panel1.SetWidth(TFrmMainForm::kTrimBarWidth);
  for (int row : grid.SelectedRows()) {
    // The bar keeps the range of the file in the preview.
    if (grid.Cell(row, dxtrlSourceFileName) == program_.CommonLib().PreviewFile) continue;
    PreviewStop();
    const int64_t duration = LenientCellSeconds(grid.Cell(row, dxtrlSourceFileDuration));
    const int64_t start = LenientCellSeconds(grid.Cell(row, dxtrlSourceFileStartTime));
    const int64_t end = LenientCellSeconds(grid.Cell(row, dxtrlSourceFileEndTime));
    form.TrimDurationSeconds = static_cast<int32_t>(duration);
    form.TrimBarReady = false;
    if (duration > 0) {
      const int width = form.Panel1.Width();
      const int m1 = form.Splitter1.Width(), m2 = form.Splitter2.Width();
      const double d = static_cast<double>(duration);
      // nearbyint rounds halves to the even neighbour in the default rounding mode.
      const int t1 = width - 2 - 2 * m1;
      const int left = static_cast<int>(std::nearbyint(static_cast<double>(start) / d * t1)) + 1;
      // An end beyond the duration would ask for a negative width; a filler keeps 1 pixel.
      if (std::abs(left - form.Panel2.Width()) > 1) form.Panel2.SetWidth(std::max(1, left));
      const int t2 = width - 2 - m1 - m2;
      const int right = t2 - static_cast<int>(std::nearbyint(static_cast<double>(end) / d * t2)) + 1;
      if (std::abs(right - form.Panel3.Width()) > 2) form.Panel3.SetWidth(std::max(1, right));
    }
    form.TrimBarReady = true;
  }
}

int TFrmMainForm::TrackWidth() const {
  return Panel1.Width() - Panel2.Width() - Splitter1.Width() - Splitter2.Width() - Panel3.Width();
}

void TFrmMainForm::SetStartTimeAndPlay() {
  program_.loop().ProcessEvents();
  Panel1.SetWidth(kTrimBarWidth);
  const int width = Panel1.Width();
  const int end_marker_left = width - Panel3.Width() - Splitter2.Width();
  if (end_marker_left - Panel2.Width() < 20 && Panel2.Width() > 1) Panel2.SetWidth(Panel2.Width() - 1);
  // Integer arithmetic throughout; the division truncates toward zero.
  const int64_t percent = (static_cast<int64_t>(Panel2.Width() + Splitter1.Width() - 22) * 121) / width;
  StartMarkSeconds = static_cast<int32_t>((static_cast<int64_t>(TrimDurationSeconds) * percent) / 100);

  media::PreviewGraph& graph = program_.previewGraph();
  for (int row : dxTreeSourceFileInfo.SelectedRows()) {
    dxTreeSourceFileInfo.SetCell(row, dxtrlSourceFileStartTime, TCommonLib::FormatSeconds(StartMarkSeconds));
    const std::string path = dxTreeSourceFileInfo.Cell(row, dxtrlSourceFileName);
    dxTreeSourceFileInfo.SetCell(row, dxtrlstclConvertDuration,
                                 TCommonLib::FormatSeconds(program_.CustomProc().RowCutSeconds(path)));
    if (TrimBarReady && graph.Active()) TCommonLib::SeekToMilliseconds(graph, int64_t{StartMarkSeconds} * 1000);
  }
}

void TFrmMainForm::Splitter2Moved() {
  program_.loop().ProcessEvents();
  Panel1.SetWidth(kTrimBarWidth);
  const int width = Panel1.Width();
  const int end_marker_left = width - Panel3.Width() - Splitter2.Width();
  if (end_marker_left - Panel2.Width() < 20 && Panel3.Width() > 1) Panel3.SetWidth(Panel3.Width() - 1);
  // 101 (not 100) at the far right: the next check after an edit brings it back.
  const int64_t percent = (static_cast<int64_t>(width - Panel3.Width() - Splitter1.Width() - 22) * 121) / width;
  const std::string end = TCommonLib::FormatSeconds((static_cast<int64_t>(TrimDurationSeconds) * percent) / 100);

  for (int row : dxTreeSourceFileInfo.SelectedRows()) {
    dxTreeSourceFileInfo.SetCell(row, dxtrlSourceFileEndTime, end);
    PreviewStopText = end;
    const std::string path = dxTreeSourceFileInfo.Cell(row, dxtrlSourceFileName);
    dxTreeSourceFileInfo.SetCell(row, dxtrlstclConvertDuration,
                                 TCommonLib::FormatSeconds(program_.CustomProc().RowCutSeconds(path)));
  }
  Splitter2.Repaint();
}

void TFrmMainForm::Splitter1DragTo(int left_filler_width) {
  const int most = Panel1.Width() - Panel3.Width() - Splitter1.Width() - Splitter2.Width() - 1;
  if (most < 1) return;
  const int width = std::clamp(left_filler_width, 1, most);
  if (width == Panel2.Width()) return;
  Panel2.SetWidth(width);
  SetStartTimeAndPlay();
}

void TFrmMainForm::Splitter2DragTo(int right_filler_width) {
  const int most = Panel1.Width() - Panel2.Width() - Splitter1.Width() - Splitter2.Width() - 1;
  if (most < 1) return;
  const int width = std::clamp(right_filler_width, 1, most);
  if (width == Panel3.Width()) return;
  Panel3.SetWidth(width);
  Splitter2Moved();
}

namespace {

int FillerStep(sources::ShiftState shift) {
  if (shift.ctrl && !shift.shift && !shift.alt) return 1;  // a double click included
  if (shift.shift && !shift.ctrl && !shift.alt && !shift.double_click) return 10;
  return 5;
}

}  // namespace

void TFrmMainForm::Panel2MouseDown(sources::MouseButton button, sources::ShiftState shift) {
  if (button != sources::MouseButton::Left) return;
  const int step = FillerStep(shift);
  if (Panel2.Width() <= step || Panel2.Width() + Panel3.Width() + 45 > Panel1.Width()) return;
  Panel2.SetWidth(Panel2.Width() - step);
  SetStartTimeAndPlay();
}

void TFrmMainForm::Panel3MouseDown(sources::MouseButton button, sources::ShiftState shift) {
  if (button != sources::MouseButton::Left) return;
  const int step = FillerStep(shift);
  if (Panel3.Width() <= step || Panel2.Width() + Panel3.Width() + 45 > Panel1.Width()) return;
  Panel3.SetWidth(Panel3.Width() - step);
  Splitter2Moved();
}

void TFrmMainForm::dxTreeSourceFileInfoEdited() {
  ui::SourceGrid& grid = dxTreeSourceFileInfo;
  media::PreviewGraph& graph = program_.previewGraph();
  for (int row : grid.SelectedRows()) {
    const std::string dur = grid.Cell(row, dxtrlSourceFileDuration);
    std::string st = grid.Cell(row, dxtrlSourceFileStartTime);
    std::string en = grid.Cell(row, dxtrlSourceFileEndTime);
    if (st.empty()) {
      st = "00:00:00";
      grid.SetCell(row, dxtrlSourceFileStartTime, st);
    }
    if (en.empty()) {
      en = dur;
      grid.SetCell(row, dxtrlSourceFileEndTime, en);
    }
    int64_t d = 0;
    if (!TCommonLib::ReadTimeText(dur, d)) d = PositionalSeconds(dur);
    const int64_t s = CheckedCellSeconds(grid, row, dxtrlSourceFileStartTime, st, "00:00:00");
    const int64_t e = CheckedCellSeconds(grid, row, dxtrlSourceFileEndTime, en, dur);
    // Whole time texts: the duration and the start are written as they stand.
    if (s >= d) grid.SetCell(row, dxtrlSourceFileStartTime, dur);
    if (s >= e) grid.SetCell(row, dxtrlSourceFileEndTime, st);
    if (TrimBarReady && graph.Active())
      TCommonLib::SeekToMilliseconds(graph, std::min(s, d) * 1000);
    if (e >= d) grid.SetCell(row, dxtrlSourceFileEndTime, dur);
    grid.SetCell(row, dxtrlstclConvertDuration, TCommonLib::FormatSeconds(std::min(d, e) - s));
  }
}

void TFrmMainForm::dxtrlSourceFileStartTimeChange() {
  // Ends the start-time edit at its first change, so the check runs at once.
  const int focused = dxTreeSourceFileInfo.FocusedRow();
  if (focused != ui::SourceGrid::kNone && dxTreeSourceFileInfo.IsSelected(focused))
    dxTreeSourceFileInfo.SetFocusedRow(ui::SourceGrid::kNone);
}

void TFrmMainForm::tmrPaintSPTimer() {
  Splitter1.Repaint();
  Splitter2.Repaint();
}
