// The source grid: rows of seven text cells, selected rows, one focused row or none.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/model.h"

namespace ui {

// The seven columns of a source row.
enum SourceColumn : int {
  kColChecked = 0,   // "True" or "False"
  kColPath = 1,      // full path
  kColSize = 2,      // size text
  kColDuration = 3,  // hh:mm:ss
  kColStart = 4,     // hh:mm:ss
  kColEnd = 5,       // hh:mm:ss
  kColCutTime = 6,   // end minus start, hh:mm:ss
};

// What the last conversion batch made of a row: shown beside it, never saved.
enum class RowState { None, Waiting, Converting, Done, Failed, Stopped };
struct RowStatus {
  RowState state = RowState::None;
  // How far a converting row has come, 0 to 100.
  int percent = 0;
  // Free text after the state: the output's name, the reason of a failure, a note.
  std::string detail;
};
// "Waiting", "Converting 42%", "Done: clip.mp4", "Failed: exit code 1", "Stopped";
// the detail follows any state after ": ". Empty for no state.
std::string StatusText(const RowStatus& status);

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
  // Inserts a row (not selected) before the given index, or at the end past it.
  int InsertRow(int index, const Row& row);
  // Inserts many rows in one pass, as InsertRow would one after the other in
  // the given order: each goes before the index it asks for, or at the end
  // past it. The indexes must ascend. Returns the index of the first, kNone
  // when there are none.
  int InsertRows(const std::vector<std::pair<int, Row>>& rows, bool selected);
  // Puts the rows in a new order: order[i] is the index the new row i had.
  // Rows keep their ids, selection, focus and status; an open edit is ended first.
  // An order that is no permutation of the rows changes nothing.
  void Reorder(const std::vector<int>& order);
  void DeleteRow(int row);
  // Deletes many rows in one pass, as DeleteRow would one after the other.
  void DeleteRows(const std::vector<int>& rows);
  void Clear();

  bool IsSelected(int row) const;
  void SetSelected(int row, bool selected);
  void SelectAll();
  // Selected rows in row order.
  std::vector<int> SelectedRows() const;
  int SelectedCount() const;

  // The row's conversion status; the rows keep theirs as rows come and go.
  const RowStatus& Status(int row) const;
  void SetStatus(int row, const RowStatus& status);

  int FocusedRow() const { return focused_; }
  // A row that does not exist leaves no row focused.
  void SetFocusedRow(int row);

  // Suspends and resumes redrawing; views repaint once at the end.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return update_depth_ > 0; }

  // --- Row identity: a row keeps its id while rows before it come and go. ---
  using RowId = uint64_t;
  static constexpr RowId kNoId = 0;
  RowId IdOf(int row) const;
  // Index of the row with this id; kNone when it was deleted.
  int IndexOf(RowId id) const;

  // First selected row; kNone when no row is selected.
  int FirstSelectedRow() const;
  // The row before the given one; kNone for the first row or a row that does not exist.
  int RowBefore(int row) const;

  // --- In-place editing: the check box, "Start Time" and "End Time" cells. ---
  static bool ColumnEditable(int column);
  // Run after any in-place edit was committed (a check box click included).
  std::function<void()> OnEdited;
  // Run on each change in a cell's editor, with the edited column.
  std::function<void(int column)> OnEditorChange;

  // The user ticks or unticks a row's check box: "True" / "False", then OnEdited.
  void UserToggleCheck(int row);
  // The user ticks or unticks every row at once, then OnEdited when any changed.
  void UserSetAllChecked(bool checked);
  // There are rows and every one is ticked.
  bool AllChecked() const;
  // The user opens the editor of a cell (the first click); false for read-only cells.
  // An editor that is not open yet keeps what its row held, for UserCancelEdit.
  bool UserBeginEdit(int row, int column);
  // The user changes the text in the open editor.
  void UserEditorChange(const std::string& text);
  // The user leaves the cell: the editor's text goes into the cell, then OnEdited.
  void UserEndEdit();
  // Esc: the open edit is dropped and the row's start, end and cut time go back
  // to what they were when the editor opened (a start time is committed at each
  // change, so the editor may have written them); OnEdited when any changed.
  void UserCancelEdit();
  // The editor has closed, however it was left.
  void UserCloseEditor() { opened_ = {}; }
  bool Editing() const { return edit_.id != kNoId; }
  int EditRow() const { return IndexOf(edit_.id); }
  int EditColumn() const { return edit_.column; }
  const std::string& EditorText() const { return edit_.text; }
  // The cell the last committed edit wrote and the text it held before, so a
  // check run from OnEdited can put back a text it refuses.
  struct CommittedEdit {
    RowId id = kNoId;
    int column = 0;
    std::string before;
  };
  const CommittedEdit& LastCommittedEdit() const { return committed_; }

 protected:
  void Notify();

 private:
  struct Entry {
    Row cells;
    bool selected = false;
    RowId id = kNoId;
    RowStatus status;
  };
  struct Edit {
    RowId id = kNoId;
    int column = 0;
    std::string text;
  };
  bool Valid(int row) const { return row >= 0 && row < RowCount(); }
  std::vector<Entry> rows_;
  int focused_ = kNone;
  int update_depth_ = 0;
  bool dirty_ = false;
  RowId next_id_ = 1;
  Edit edit_;
  CommittedEdit committed_;
  // The row's cells when the open editor was opened.
  struct Opened {
    RowId id = kNoId;
    int column = 0;
    Row before;
  };
  Opened opened_;
};

}  // namespace ui
