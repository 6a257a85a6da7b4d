#include "ui/source_grid.h"

namespace ui {

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
  rows_.push_back({row, false});
  Notify();
  return RowCount() - 1;
}

void SourceGrid::DeleteRow(int row) {
  if (!Valid(row)) return;
  rows_.erase(rows_.begin() + row);
  if (focused_ == row)
    focused_ = kNone;
  else if (focused_ > row)
    --focused_;
  Notify();
}

void SourceGrid::Clear() {
  rows_.clear();
  focused_ = kNone;
  Notify();
}

bool SourceGrid::IsSelected(int row) const { return Valid(row) && rows_[static_cast<size_t>(row)].selected; }

void SourceGrid::SetSelected(int row, bool selected) {
  if (!Valid(row)) return;
  rows_[static_cast<size_t>(row)].selected = selected;
  Notify();
}

std::vector<int> SourceGrid::SelectedRows() const {
  std::vector<int> result;
  for (int i = 0; i < RowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].selected) result.push_back(i);
  return result;
}

int SourceGrid::SelectedCount() const { return static_cast<int>(SelectedRows().size()); }

void SourceGrid::SetFocusedRow(int row) {
  focused_ = Valid(row) ? row : kNone;
  Notify();
}

void SourceGrid::BeginUpdate() { ++update_depth_; }

void SourceGrid::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0 && dirty_) {
    dirty_ = false;
    Changed();
  }
}

void SourceGrid::Notify() {
  if (update_depth_ > 0) {
    dirty_ = true;
    return;
  }
  Changed();
}

}  // namespace ui
