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
