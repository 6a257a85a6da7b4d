#include "ui/models.h"

#include <gtest/gtest.h>

#include "ui/source_grid.h"

TEST(ProgressBar, PositionStaysInsideTheRange) {
  ui::ProgressBar bar;
  bar.SetRange(0, 60);
  bar.SetPosition(75);
  EXPECT_EQ(bar.Position(), 60);
  bar.SetPosition(-3);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetPosition(30);
  bar.SetMax(10);  // shrinking the range pulls the position in
  EXPECT_EQ(bar.Position(), 10);
}

TEST(ProgressBar, AMaximumBelowTheMinimumKeepsTheMinimum) {
  ui::ProgressBar bar;
  bar.SetRange(0, 1);
  bar.SetMax(-5);
  EXPECT_EQ(bar.Max(), 0);
  bar.SetPosition(3);
  EXPECT_EQ(bar.Position(), 0);
}

TEST(Window, OnShowRunsOnlyWhenTheWindowBecomesVisible) {
  ui::Window window("Converting");
  int shown = 0;
  window.OnShow = [&] { ++shown; };
  window.Show();
  window.Show();
  EXPECT_EQ(shown, 1);
  window.Hide();
  window.Show();
  EXPECT_EQ(shown, 2);
}

TEST(CheckBoxAndEditBox, UserActionsRunHandlersCodeDoesNot) {
  ui::CheckBox box(true);
  int clicks = 0;
  box.OnClick = [&] { ++clicks; };
  box.SetChecked(false);
  EXPECT_EQ(clicks, 0);
  box.UserToggle();
  EXPECT_TRUE(box.Checked());
  EXPECT_EQ(clicks, 1);

  ui::EditBox folder("/out", /*read_only=*/true);
  folder.UserType("/elsewhere");
  EXPECT_EQ(folder.Text(), "/out");
  folder.SetText("/chosen");
  EXPECT_EQ(folder.Text(), "/chosen");
}

TEST(SourceGrid, DeletingRowsKeepsTheFocusOnTheSameRowOrNone) {
  ui::SourceGrid grid;
  for (int i = 0; i < 4; ++i) grid.AddRow({"True", "/f" + std::to_string(i), "", "", "", "", ""});
  grid.SetFocusedRow(2);
  grid.DeleteRow(0);
  EXPECT_EQ(grid.FocusedRow(), 1);
  EXPECT_EQ(grid.Cell(1, 1), "/f2");
  grid.DeleteRow(1);
  EXPECT_EQ(grid.FocusedRow(), ui::SourceGrid::kNone);
  grid.SetFocusedRow(9);
  EXPECT_EQ(grid.FocusedRow(), ui::SourceGrid::kNone);
  EXPECT_EQ(grid.Cell(7, 1), "");
  EXPECT_EQ(grid.Cell(0, 7), "");
}

TEST(SourceGrid, SelectionFollowsRowsAndSuspendedRedrawNotifiesOnce) {
  ui::SourceGrid grid;
  for (int i = 0; i < 3; ++i) grid.AddRow({});
  int notified = 0;
  grid.Subscribe([&] { ++notified; });
  grid.BeginUpdate();
  grid.SetSelected(0, true);
  grid.SetSelected(2, true);
  grid.DeleteRow(0);
  EXPECT_EQ(notified, 0);
  grid.EndUpdate();
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{1});
}

TEST(SourceGrid, CancellingAnEditPutsBackTheRowAsTheEditorFoundIt) {
  ui::SourceGrid grid;
  grid.AddRow({"True", "/a.avi", "1 MB", "00:05:00", "00:00:10", "00:05:00", "00:04:50"});
  grid.AddRow({"True", "/b.avi", "1 MB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  int edited = 0;
  grid.OnEdited = [&] { ++edited; };
  auto range = [&](int row) {
    return std::vector<std::string>{grid.Cell(row, 4), grid.Cell(row, 5), grid.Cell(row, 6)};
  };
  // An editor that commits each change and is opened again on the same cell,
  // as the start-time editor is, while a check writes the other cells.
  ASSERT_TRUE(grid.UserBeginEdit(0, 4));
  grid.UserEditorChange("00:09:00");
  grid.UserEndEdit();
  grid.SetCell(0, 5, "00:09:00");
  grid.SetCell(0, 6, "00:00:00");
  ASSERT_TRUE(grid.UserBeginEdit(0, 4));
  grid.UserEditorChange("00:09:01");
  edited = 0;
  grid.UserCancelEdit();
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(range(0), (std::vector<std::string>{"00:00:10", "00:05:00", "00:04:50"}));
  EXPECT_EQ(edited, 1);  // the check runs on the restored cells
  EXPECT_EQ(grid.LastCommittedEdit().before, "00:09:00");

  // After the editor closed, a new one keeps its own starting point; a cancel
  // that changes nothing runs no check; other rows are never touched.
  grid.UserCloseEditor();
  grid.SetCell(1, 4, "00:00:20");
  ASSERT_TRUE(grid.UserBeginEdit(0, 5));
  grid.UserEndEdit();
  grid.UserCloseEditor();
  ASSERT_TRUE(grid.UserBeginEdit(0, 5));
  edited = 0;
  grid.UserCancelEdit();
  EXPECT_EQ(edited, 0);
  EXPECT_EQ(grid.Cell(1, 4), "00:00:20");
  // The row deleted under an open editor: the cancel finds nothing to put back.
  ASSERT_TRUE(grid.UserBeginEdit(1, 4));
  grid.DeleteRow(1);
  grid.UserCancelEdit();
  EXPECT_EQ(grid.RowCount(), 1);
}

TEST(SourceGrid, AStatusStaysWithItsRowAndReadsAsOneLine) {
  ui::SourceGrid grid;
  for (int i = 0; i < 3; ++i) grid.AddRow({"True", "/f" + std::to_string(i), "", "", "", "", ""});
  grid.SetStatus(2, {ui::RowState::Done, 100, "f2.mp4"});
  grid.SetStatus(1, {ui::RowState::Converting, 42, {}});
  grid.DeleteRow(0);
  EXPECT_EQ(ui::StatusText(grid.Status(1)), "Done: f2.mp4");
  EXPECT_EQ(ui::StatusText(grid.Status(0)), "Converting 42%");
  grid.AddRow({});
  EXPECT_EQ(ui::StatusText(grid.Status(2)), "");  // a new row has none
  EXPECT_EQ(ui::StatusText(grid.Status(9)), "");  // nor has a row that does not exist
  EXPECT_EQ(ui::StatusText({ui::RowState::Failed, 0, "exit code 1"}), "Failed: exit code 1");
  EXPECT_EQ(ui::StatusText({ui::RowState::Stopped, 0, {}}), "Stopped");
  EXPECT_EQ(ui::StatusText({ui::RowState::Waiting, 0, {}}), "Waiting");
  // Any state takes a free note.
  EXPECT_EQ(ui::StatusText({ui::RowState::Done, 100, "song.mp4, sound only"}), "Done: song.mp4, sound only");
}

TEST(SourceGrid, InsertingAndReorderingKeepEachRowWhole) {
  ui::SourceGrid grid;
  for (int i = 0; i < 3; ++i) grid.AddRow({"True", "/f" + std::to_string(i), "", "", "", "", ""});
  const ui::SourceGrid::RowId last = grid.IdOf(2);
  grid.SetFocusedRow(1);
  EXPECT_EQ(grid.InsertRow(1, {"False", "/new", "", "", "", "", ""}), 1);
  EXPECT_EQ(grid.FocusedRow(), 2);  // the focus stays on its row
  EXPECT_EQ(grid.InsertRow(99, {"True", "/end", "", "", "", "", ""}), 4);
  grid.SetSelected(0, true);
  grid.Reorder({4, 3, 2, 1, 0});
  EXPECT_EQ(grid.Cell(0, 1), "/end");
  EXPECT_EQ(grid.Cell(3, 1), "/new");
  EXPECT_EQ(grid.Cell(3, 0), "False");
  EXPECT_EQ(grid.FocusedRow(), 2);
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{4});
  EXPECT_EQ(grid.IndexOf(last), 1);
  // No permutation of the rows: nothing moves.
  grid.Reorder({0, 0, 1, 2, 3});
  grid.Reorder({0, 1});
  EXPECT_EQ(grid.Cell(0, 1), "/end");
  // An open edit is taken first, into the row it belongs to.
  ASSERT_TRUE(grid.UserBeginEdit(0, 4));
  grid.UserEditorChange("00:00:05");
  grid.Reorder({1, 0, 2, 3, 4});
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(grid.Cell(1, 4), "00:00:05");
}
