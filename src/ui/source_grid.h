// The source grid: rows of seven text cells, selected rows, one focused row or none.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ui/model.h"

namespace ui {

class SourceGrid : public Model {
 public:
  static constexpr int kColumns = 7;
  static constexpr int kNone = -1;
  using Row = std::array<std::string, kColumns>;

  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Text of a cell; empty for a row or column that does not exist.
  std::string Cell(int row, int column) const;
  void SetCell(int row, int column, const std::string& text);
  // Appends a row (not selected) and returns its index.
  int AddRow(const Row& row);
  void DeleteRow(int row);
  void Clear();

  bool IsSelected(int row) const;
  void SetSelected(int row, bool selected);
  // Selected rows in row order.
  std::vector<int> SelectedRows() const;
  int SelectedCount() const;

  int FocusedRow() const { return focused_; }
  // A row that does not exist leaves no row focused.
  void SetFocusedRow(int row);

  // Suspends and resumes redrawing; views repaint once at the end.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return update_depth_ > 0; }

 protected:
  void Notify();

 private:
  struct Entry {
    Row cells;
    bool selected = false;
  };
  bool Valid(int row) const { return row >= 0 && row < RowCount(); }
  std::vector<Entry> rows_;
  int focused_ = kNone;
  int update_depth_ = 0;
  bool dirty_ = false;
};

}  // namespace ui
