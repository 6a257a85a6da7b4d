#include "ui/source_grid.h"

#include <algorithm>

namespace ui {

std::string StatusText(const RowStatus& status) {
  std::string text;
  switch (status.state) {
    case RowState::None:
      return {};
    case RowState::Waiting:
      text = "Waiting";
      break;
    case RowState::Converting:
      text = "Converting " + std::to_string(status.percent) + "%";
      break;
    case RowState::Done:
      text = "Done";
      break;
    case RowState::Failed:
      text = "Failed";
      break;
    case RowState::Stopped:
      text = "Stopped";
      break;
  }
  if (!status.detail.empty()) text += ": " + status.detail;
  return text;
}

std::string SourceGrid::Cell(int row, int column) const {
  if (!Valid(row) || column < 0 || column >= kColumns) return {};
  return rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(column)];
}

void SourceGrid::SetCell(int row, int column, const std::string& text) {
  if (!Valid(row) || column < 0 || column >= kColumns) return;
  rows_[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] = text;
  Notify();
}

int SourceGrid::AddRow(const Row& row) {
  rows_.push_back({row, false, next_id_++, {}});
  Notify();
  return RowCount() - 1;
}

int SourceGrid::InsertRow(int index, const Row& row) {
  const int at = std::clamp(index, 0, RowCount());
  rows_.insert(rows_.begin() + at, Entry{row, false, next_id_++, {}});
  if (focused_ >= at) ++focused_;
  Notify();
  return at;
}

int SourceGrid::InsertRows(const std::vector<std::pair<int, Row>>& rows, bool selected) {
  if (rows.empty()) return kNone;
  const RowId focused = IdOf(focused_);
  std::vector<Entry> merged;
  merged.reserve(rows_.size() + rows.size());
  size_t old = 0;
  int first = kNone;
  for (const auto& [index, cells] : rows) {
    while (old < rows_.size() && static_cast<int>(merged.size()) < index) merged.push_back(std::move(rows_[old++]));
    if (first == kNone) first = static_cast<int>(merged.size());
    merged.push_back(Entry{cells, selected, next_id_++, {}});
  }
  while (old < rows_.size()) merged.push_back(std::move(rows_[old++]));
  rows_ = std::move(merged);
  if (focused != kNoId) focused_ = IndexOf(focused);
  Notify();
  return first;
}

void SourceGrid::Reorder(const std::vector<int>& order) {
  if (Editing()) UserEndEdit();
  if (static_cast<int>(order.size()) != RowCount()) return;
  std::vector<bool> taken(order.size(), false);
  for (int from : order) {
    if (!Valid(from) || taken[static_cast<size_t>(from)]) return;
    taken[static_cast<size_t>(from)] = true;
  }
  const RowId focused = IdOf(focused_);
  std::vector<Entry> reordered;
  reordered.reserve(rows_.size());
  for (int from : order) reordered.push_back(std::move(rows_[static_cast<size_t>(from)]));
  rows_ = std::move(reordered);
  focused_ = IndexOf(focused);
  Notify();
}

void SourceGrid::DeleteRow(int row) {
  if (!Valid(row)) return;
  if (edit_.id == IdOf(row)) edit_ = {};
  rows_.erase(rows_.begin() + row);
  if (focused_ == row)
    focused_ = kNone;
  else if (focused_ > row)
    --focused_;
  Notify();
}

void SourceGrid::DeleteRows(const std::vector<int>& rows) {
  std::vector<bool> gone(rows_.size(), false);
  for (int row : rows)
    if (Valid(row)) gone[static_cast<size_t>(row)] = true;
  const RowId focused = IdOf(focused_);
  const int edited = IndexOf(edit_.id);
  if (edited != kNone && gone[static_cast<size_t>(edited)]) edit_ = {};
  size_t kept = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (gone[i]) continue;
    if (kept != i) rows_[kept] = std::move(rows_[i]);
    ++kept;
  }
  if (kept == rows_.size()) return;
  rows_.resize(kept);
  focused_ = IndexOf(focused);
  Notify();
}

void SourceGrid::Clear() {
  edit_ = {};
  rows_.clear();
  focused_ = kNone;
  Notify();
}

const RowStatus& SourceGrid::Status(int row) const {
  static const RowStatus kNoStatus;
  return Valid(row) ? rows_[static_cast<size_t>(row)].status : kNoStatus;
}

void SourceGrid::SetStatus(int row, const RowStatus& status) {
  if (!Valid(row)) return;
  rows_[static_cast<size_t>(row)].status = status;
  Notify();
}

bool SourceGrid::IsSelected(int row) const {
  return Valid(row) && rows_[static_cast<size_t>(row)].selected;
}

void SourceGrid::SetSelected(int row, bool selected) {
  if (!Valid(row)) return;
  rows_[static_cast<size_t>(row)].selected = selected;
  Notify();
}

void SourceGrid::SelectAll() {
  for (Entry& entry : rows_) entry.selected = true;
  Notify();
}

std::vector<int> SourceGrid::SelectedRows() const {
  std::vector<int> result;
  for (int i = 0; i < RowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].selected) result.push_back(i);
  return result;
}

int SourceGrid::SelectedCount() const {
  return static_cast<int>(SelectedRows().size());
}

void SourceGrid::SetFocusedRow(int row) {
  const int target = Valid(row) ? row : kNone;
  // Moving the focus off the edited row ends its edit, as leaving the cell does.
  if (Editing() && target != EditRow()) {
    focused_ = target;
    UserEndEdit();
  }
  focused_ = Valid(target) ? target : kNone;
  Notify();
}

void SourceGrid::BeginUpdate() {
  ++update_depth_;
}

void SourceGrid::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0 && dirty_) {
    dirty_ = false;
    Changed();
  }
}

SourceGrid::RowId SourceGrid::IdOf(int row) const {
  return Valid(row) ? rows_[static_cast<size_t>(row)].id : kNoId;
}

int SourceGrid::IndexOf(RowId id) const {
  if (id == kNoId) return kNone;
  for (int i = 0; i < RowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].id == id) return i;
  return kNone;
}

int SourceGrid::FirstSelectedRow() const {
  for (int i = 0; i < RowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].selected) return i;
  return kNone;
}

int SourceGrid::RowBefore(int row) const {
  return Valid(row) && row > 0 ? row - 1 : kNone;
}

bool SourceGrid::ColumnEditable(int column) {
  return column == 0 || column == 4 || column == 5;
}

void SourceGrid::UserToggleCheck(int row) {
  if (!Valid(row)) return;
  committed_ = {IdOf(row), 0, Cell(row, 0)};
  SetCell(row, 0, Cell(row, 0) == "True" ? "False" : "True");
  if (OnEdited) OnEdited();
}

void SourceGrid::UserSetAllChecked(bool checked) {
  const std::string text = checked ? "True" : "False";
  bool changed = false;
  for (Entry& entry : rows_) {
    changed = changed || entry.cells[kColChecked] != text;
    entry.cells[kColChecked] = text;
  }
  if (!changed) return;
  committed_ = {};
  Notify();
  if (OnEdited) OnEdited();
}

bool SourceGrid::AllChecked() const {
  if (rows_.empty()) return false;
  for (const Entry& entry : rows_)
    if (entry.cells[kColChecked] != "True") return false;
  return true;
}

bool SourceGrid::UserBeginEdit(int row, int column) {
  if (!Valid(row) || !ColumnEditable(column) || column == 0) return false;
  if (Editing()) UserEndEdit();
  if (!Valid(row)) return false;  // the end of the previous edit may have changed the rows
  edit_ = {IdOf(row), column, Cell(row, column)};
  if (opened_.id != edit_.id || opened_.column != column)
    opened_ = {edit_.id, column, rows_[static_cast<size_t>(row)].cells};
  Notify();
  return true;
}

void SourceGrid::UserEditorChange(const std::string& text) {
  if (!Editing()) return;
  edit_.text = text;
  if (OnEditorChange) OnEditorChange(edit_.column);
}

void SourceGrid::UserEndEdit() {
  if (!Editing()) return;
  const Edit edit = edit_;
  edit_ = {};
  const int row = IndexOf(edit.id);
  if (row == kNone) return;
  committed_ = {edit.id, edit.column, Cell(row, edit.column)};
  SetCell(row, edit.column, edit.text);
  if (OnEdited) OnEdited();
}

void SourceGrid::UserCancelEdit() {
  edit_ = {};
  const Opened opened = opened_;
  opened_ = {};
  const int row = IndexOf(opened.id);
  bool changed = false;
  if (row != kNone) {
    BeginUpdate();
    for (int column : {kColStart, kColEnd, kColCutTime}) {
      const std::string& before = opened.before[static_cast<size_t>(column)];
      if (Cell(row, column) == before) continue;
      if (column == opened.column) committed_ = {opened.id, column, Cell(row, column)};
      SetCell(row, column, before);
      changed = true;
    }
    EndUpdate();
  }
  Notify();
  if (changed && OnEdited) OnEdited();
}

void SourceGrid::Notify() {
  if (update_depth_ > 0) {
    dirty_ = true;
    return;
  }
  Changed();
}

}  // namespace ui
