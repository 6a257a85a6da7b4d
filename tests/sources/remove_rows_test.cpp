#include <gtest/gtest.h>

#include <algorithm>

#include "source_list_fixture.h"
#include "sources/source_list.h"

namespace {

// --- Removing rows ---

struct RemoveTest : SourceListTest {
  RemoveTest() {
    for (int i = 0; i < 6; ++i) AddRow("/v/" + std::to_string(i) + ".avi", "00:01:00");
  }
};

// The row above the focused one takes focus and selection; rows above the
// focus may go too, and the remembered row is followed to where it moved.
TEST(RemoveFocus, TheRowAboveTheFocusedOneIsFollowedAndTakesFocusAndSelection) {
  struct Case {
    int focused;
    std::vector<int> selected;
    std::vector<std::string> left;
    int focus_after;
  };
  const Case cases[] = {{3, {3, 4, 5}, {"/v/0.avi", "/v/1.avi", "/v/2.avi"}, 2},
                        {4, {0, 1, 4}, {"/v/2.avi", "/v/3.avi", "/v/5.avi"}, 1}};
  struct Fresh : RemoveTest {
    void TestBody() override {}
  };
  for (const Case& c : cases) {
    Fresh t;
    t.grid.SetFocusedRow(c.focused);
    t.SelectOnly(c.selected);
    t.lib.RemoveSelectedRows(t.grid);
    EXPECT_EQ(t.Paths(), c.left) << c.focused;
    EXPECT_EQ(t.grid.FocusedRow(), c.focus_after) << c.focused;
    EXPECT_EQ(t.grid.SelectedRows(), std::vector<int>{c.focus_after}) << c.focused;
  }
}

TEST_F(RemoveTest, NoFocusWhenTheFocusedRowWasFirstOrTheRowAboveGoesToo) {
  grid.SetFocusedRow(0);
  SelectOnly({0, 1});
  lib.RemoveSelectedRows(grid);
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.FocusedRow(), ui::SourceGrid::kNone);
  EXPECT_EQ(grid.SelectedCount(), 0);

  grid.SetFocusedRow(2);
  SelectOnly({1, 2});
  lib.RemoveSelectedRows(grid);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.FocusedRow(), ui::SourceGrid::kNone);
}

TEST_F(RemoveTest, NothingSelectedRemovesNothing) {
  grid.SetFocusedRow(2);
  lib.RemoveSelectedRows(grid);
  EXPECT_EQ(grid.RowCount(), 6);
  EXPECT_EQ(grid.FocusedRow(), 2);
}

TEST_F(RemoveTest, EventsHandledDuringTheRemovalMayChangeTheSelection) {
  grid.SetFocusedRow(3);
  SelectOnly({3, 5});
  // A click arriving between two deletions selects one more row, which goes too.
  t.loop.OnRound(3, [&] { grid.SetSelected(0, true); });
  lib.RemoveSelectedRows(grid);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/1.avi", "/v/2.avi", "/v/4.avi"}));
  EXPECT_EQ(grid.Cell(grid.FocusedRow(), 1), "/v/2.avi");
}

TEST_F(RemoveTest, RemoveClearKeyAndDragOutStopThePreview) {
  grid.SetFocusedRow(5);
  SelectOnly({5});
  form.btnPlayClick();
  ASSERT_EQ(lib.PreviewFile, "/v/5.avi");
  form.btnRemoveFileClick();
  EXPECT_EQ(lib.PreviewFile, "");
  EXPECT_FALSE(graph.Active());
  EXPECT_EQ(grid.RowCount(), 5);
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{4});  // the row above, loaded into the bar
  EXPECT_NE(form.Panel2.Width(), 2);

  form.btnPlayClick();
  form.dxTreeSourceFileInfoKeyDown(sources::GridKey::Other);  // the row in the preview stays loaded
  EXPECT_EQ(lib.PreviewFile, "/v/4.avi");
  form.dxTreeSourceFileInfoKeyDown(sources::GridKey::Delete);
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(lib.PreviewFile, "");

  SelectOnly({0});
  EXPECT_TRUE(form.dxTreeSourceFileInfoDragOver());
  form.dxTreeSourceFileInfoEndDrag(/*dropped_on_grid=*/true);
  EXPECT_EQ(grid.RowCount(), 4);
  form.dxTreeSourceFileInfoEndDrag(/*dropped_on_grid=*/false);
  EXPECT_EQ(grid.RowCount(), 3);
}

TEST_F(RemoveTest, EmptyingTheListPutsBothFillersAtTwoPixels) {
  SelectOnly({0, 1, 2, 3, 4, 5});
  form.btnRemoveFileClick();
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_EQ(form.Panel2.Width(), 2);
  EXPECT_EQ(form.Panel3.Width(), 2);

  AddRow("/v/x.avi", "00:01:00");
  SelectOnly({0});
  form.dxTreeSourceFileInfoKeyDown(sources::GridKey::Delete);
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_EQ(form.Panel2.Width(), 2);
}

TEST_F(RemoveTest, ClearEmptiesTheListStopsThePreviewAndResetsTheFillers) {
  SelectOnly({2});
  form.btnPlayClick();
  ASSERT_TRUE(graph.Active());
  EXPECT_TRUE(TCommonLib::ClearRows(grid));
  AddRow("/v/again.avi", "00:01:00");
  form.btnClearFileClick();
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_FALSE(graph.Active());
  EXPECT_EQ(lib.PreviewFile, "");
  EXPECT_TRUE(form.panLogo.Visible());
  EXPECT_EQ(form.Panel2.Width(), 2);
  EXPECT_EQ(form.Panel3.Width(), 2);
}

TEST_F(RemoveTest, AnOpenEditorFollowsItsRowAndDiesWithIt) {
  int edits = 0;
  grid.OnEdited = [&] { ++edits; };
  ASSERT_TRUE(grid.UserBeginEdit(3, 5));
  grid.UserEditorChange("00:00:30");
  grid.DeleteRow(0);
  EXPECT_EQ(grid.EditRow(), 2);
  grid.UserEndEdit();
  EXPECT_EQ(grid.Cell(2, 5), "00:00:30");
  EXPECT_EQ(grid.Cell(2, 1), "/v/3.avi");
  EXPECT_EQ(edits, 1);

  ASSERT_TRUE(grid.UserBeginEdit(1, 4));
  grid.UserEditorChange("00:00:10");
  grid.DeleteRow(1);  // removed while edited: nothing is written anywhere
  EXPECT_FALSE(grid.Editing());
  grid.UserEndEdit();
  EXPECT_EQ(edits, 1);
  for (int r = 0; r < grid.RowCount(); ++r) EXPECT_EQ(grid.Cell(r, 4), "00:00:00");
}

}  // namespace

TEST_F(RemoveTest, UndoPutsBackEachRemovalWithItsTrimsAndChecksLastFirst) {
  grid.SetCell(2, ui::kColStart, "00:00:10");
  grid.SetCell(2, ui::kColCutTime, "00:00:50");
  grid.SetCell(4, ui::kColChecked, "False");
  const std::vector<std::string> all = Paths();
  auto row_of = [&](int row) {
    std::vector<std::string> cells;
    for (int c = 0; c < ui::SourceGrid::kColumns; ++c) cells.push_back(grid.Cell(row, c));
    return cells;
  };
  const auto trimmed = row_of(2), unchecked = row_of(4);
  grid.SetFocusedRow(4);
  SelectOnly({2, 4});
  form.btnRemoveFileClick();  // asks nothing
  EXPECT_TRUE(t.dialogs.messages.empty());
  EXPECT_TRUE(t.dialogs.questions.empty());
  SelectOnly({0});
  form.dxTreeSourceFileInfoKeyDown(sources::GridKey::Delete);
  ASSERT_EQ(Paths(), (std::vector<std::string>{"/v/1.avi", "/v/3.avi", "/v/5.avi"}));
  ASSERT_TRUE(form.CanUndoRemove());

  form.UndoRemove();  // the Delete key's row
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/0.avi", "/v/1.avi", "/v/3.avi", "/v/5.avi"}));
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{0});
  form.UndoRemove();  // the Remove button's two rows, back where they stood
  EXPECT_EQ(Paths(), all);
  EXPECT_EQ(row_of(2), trimmed);
  EXPECT_EQ(row_of(4), unchecked);
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{2, 4}));
  EXPECT_EQ(grid.FocusedRow(), 2);
  EXPECT_FALSE(form.CanUndoRemove());
  form.UndoRemove();  // nothing left to put back
  EXPECT_EQ(Paths(), all);

  // Clear goes back too, whole; rows added since stay behind them.
  form.btnClearFileClick();
  AddRow("/v/new.avi", "00:01:00");
  form.UndoRemove();
  ASSERT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(grid.Cell(0, 1), "/v/0.avi");
  EXPECT_EQ(grid.Cell(6, 1), "/v/new.avi");
  EXPECT_EQ(row_of(4), unchecked);

  // Not while a time is being typed: Ctrl+Z belongs to the editor then.
  SelectOnly({6});
  form.btnRemoveFileClick();
  ASSERT_TRUE(grid.UserBeginEdit(0, ui::kColEnd));
  form.UndoRemove();
  EXPECT_EQ(grid.RowCount(), 6);
  grid.UserCancelEdit();
  form.UndoRemove();
  EXPECT_EQ(grid.RowCount(), 7);
}

TEST_F(RemoveTest, HeaderClicksSortByNameSizeOrDurationAndTickEveryRow) {
  grid.Clear();
  AddRow("/v/b.avi", "00:01:00");
  AddRow("/v/A.avi", "00:00:30");
  AddRow("/v/c.avi", "01:40:00");
  AddRow("/v/a.avi", "00:10:00");
  grid.SetCell(0, ui::kColSize, "2 KB");
  grid.SetCell(1, ui::kColSize, "1.5 MB");
  grid.SetCell(2, ui::kColSize, "900 B");
  grid.SetCell(3, ui::kColSize, "1023.99 KB");
  grid.SetStatus(2, {ui::RowState::Done, 100, "c.mp4"});
  grid.SetCell(2, ui::kColChecked, "False");
  grid.SetFocusedRow(2);
  SelectOnly({2});

  form.dxTreeSourceFileInfoHeaderClick(ui::kColPath);  // letter case aside; equal names keep their order
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/A.avi", "/v/a.avi", "/v/b.avi", "/v/c.avi"}));
  form.dxTreeSourceFileInfoHeaderClick(ui::kColPath);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/c.avi", "/v/b.avi", "/v/A.avi", "/v/a.avi"}));
  EXPECT_FALSE(form.SortAscending);
  // The row takes its selection, focus, check and status along.
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(grid.FocusedRow(), 0);
  EXPECT_EQ(grid.Cell(0, ui::kColChecked), "False");
  EXPECT_EQ(ui::StatusText(grid.Status(0)), "Done: c.mp4");

  form.dxTreeSourceFileInfoHeaderClick(ui::kColSize);  // by bytes, not by text
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/c.avi", "/v/b.avi", "/v/a.avi", "/v/A.avi"}));
  EXPECT_TRUE(form.SortAscending);
  form.dxTreeSourceFileInfoHeaderClick(ui::kColDuration);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/A.avi", "/v/b.avi", "/v/a.avi", "/v/c.avi"}));
  EXPECT_EQ(form.SortColumn, ui::kColDuration);
  // The time columns do not sort.
  form.dxTreeSourceFileInfoHeaderClick(ui::kColStart);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/v/A.avi", "/v/b.avi", "/v/a.avi", "/v/c.avi"}));
  EXPECT_EQ(form.SortColumn, ui::kColDuration);

  // The check column's header ticks every row while any is not, else unticks them all.
  int edited = 0;
  grid.OnEdited = [&] { ++edited; };
  form.dxTreeSourceFileInfoHeaderClick(ui::kColChecked);
  EXPECT_TRUE(grid.AllChecked());
  form.dxTreeSourceFileInfoHeaderClick(ui::kColChecked);
  for (int row = 0; row < grid.RowCount(); ++row) EXPECT_EQ(grid.Cell(row, ui::kColChecked), "False");
  EXPECT_EQ(edited, 2);
}
