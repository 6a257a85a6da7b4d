#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMenu>

#include "trimming_fixture.h"

using testing_support::WaitFor;

namespace {

// Clicks a column header in the middle.
void ClickHeader(app::SourceGridView* view, int column) {
  QHeaderView* header = view->horizontalHeader();
  const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace

TEST_F(Trimming, HeaderClicksTickEveryRowAndSortTheList) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  QHeaderView* header = view()->horizontalHeader();
  grid.SetCell(1, ui::kColChecked, "False");
  grid.SetCell(0, ui::kColSize, "2 KB");
  grid.SetCell(1, ui::kColSize, "900 B");
  grid.SetCell(2, ui::kColSize, "1.5 MB");
  ClickHeader(view(), 0);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(grid.Cell(row, 0), "True") << row;
  ClickHeader(view(), 0);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(grid.Cell(row, 0), "False") << row;
  EXPECT_EQ(header->sortIndicatorSection(), -1);

  auto names = [&] {
    std::vector<std::string> result;
    for (int row = 0; row < grid.RowCount(); ++row) result.push_back(grid.Cell(row, 1).substr(3));
    return result;
  };
  ClickHeader(view(), 1);
  EXPECT_EQ(names(), (Texts{"five minutes.avi", "one minute.avi", "two minutes.avi"}));
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  ClickHeader(view(), 1);
  EXPECT_EQ(names(), (Texts{"two minutes.avi", "one minute.avi", "five minutes.avi"}));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  ClickHeader(view(), 2);
  EXPECT_EQ(names(), (Texts{"one minute.avi", "five minutes.avi", "two minutes.avi"}));
  ClickHeader(view(), 3);
  EXPECT_EQ(names(), (Texts{"one minute.avi", "two minutes.avi", "five minutes.avi"}));
  // A time column leaves the order and the arrow as they were.
  ClickHeader(view(), 5);
  EXPECT_EQ(names(), (Texts{"one minute.avi", "two minutes.avi", "five minutes.avi"}));
  EXPECT_EQ(header->sortIndicatorSection(), 3);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  // The grid shows the rows in their new order, trims with them.
  QAbstractItemModel* model = view()->QTableView::model();
  EXPECT_EQ(model->data(model->index(2, 1)).toString(), "/v/five minutes.avi");
  EXPECT_EQ(model->data(model->index(2, 5)).toString(), "00:05:00");
}

TEST_F(Trimming, CtrlASelectsEveryRowButNotWhileATimeIsTyped) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ASSERT_EQ(grid.SelectedRows(), std::vector<int>{0});
  QTest::keyClick(view(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{0, 1, 2}));
  // From elsewhere in the window too.
  ClickCell(1, 1);
  f.window().button("btnOpenFile")->setFocus();
  QTest::keyClick(f.KeyTarget(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{0, 1, 2}));
  // In the time editor Ctrl+A selects the time's text.
  ClickCell(2, 1);
  app::TimeEditor* editor = OpenEditor(2, 5);
  ASSERT_TRUE(editor);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(editor->selectedText(), "00:02:00");
  EXPECT_EQ(grid.SelectedRows(), std::vector<int>{2});
}

TEST_F(Trimming, RemoveAsksNothingAndCtrlZOrTheGridsUndoItemPutsTheRowsBack) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  grid.SetCell(1, ui::kColStart, "00:00:10");
  grid.SetCell(1, ui::kColCutTime, "00:00:50");
  grid.SetCell(2, ui::kColChecked, "False");
  auto cells = [&](int row) {
    Texts result;
    for (int c = 0; c < ui::SourceGrid::kColumns; ++c) result.push_back(grid.Cell(row, c));
    return result;
  };
  const Texts one = cells(1), two = cells(2);
  ClickCell(1, 1);
  ClickCell(2, 1, Qt::ControlModifier);
  QTest::mouseClick(f.window().button("btnRemoveFile"), Qt::LeftButton);
  ASSERT_EQ(grid.RowCount(), 1);
  EXPECT_TRUE(f.dialogs.messages.empty());
  EXPECT_TRUE(f.dialogs.questions.empty());

  QTest::keyClick(f.KeyTarget(), Qt::Key_Z, Qt::ControlModifier);
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(cells(1), one);
  EXPECT_EQ(cells(2), two);
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{1, 2}));
  EXPECT_EQ(view()->QTableView::model()->rowCount(), 3);

  // The Delete key's removal, undone through the grid's menu.
  ClickCell(0, 1);
  QTest::keyClick(view(), Qt::Key_Delete);
  ASSERT_EQ(grid.RowCount(), 2);
  const QPoint at = CellCenter(0, 1);
  QContextMenuEvent menu_event(QContextMenuEvent::Mouse, at, view()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view()->viewport(), &menu_event);
  QMenu* menu = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (menu = f.window().findChild<QMenu*>("GridMenu")) && menu->isVisible(); }));
  QAction* undo = menu->actions().front();
  EXPECT_EQ(undo->text(), "Undo Remove");
  EXPECT_TRUE(undo->isEnabled());
  // Chosen with the keys (down to the first item, Return): Qt 6.8's menus on
  // the offscreen platform take no synthesised click.
  QTest::keyClick(menu, Qt::Key_Down);
  ASSERT_EQ(menu->activeAction(), undo);
  QTest::keyClick(menu, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return grid.RowCount() == 3; }, 1000));
  EXPECT_EQ(grid.Cell(0, 1), "/v/five minutes.avi");
  EXPECT_EQ(cells(1), one);
  // Nothing more to put back: the item is greyed.
  QApplication::sendEvent(view()->viewport(), &menu_event);
  ASSERT_TRUE(WaitFor([&] {
    for (QMenu* m : f.window().findChildren<QMenu*>("GridMenu"))
      if (m->isVisible()) return (menu = m) != nullptr;
    return false;
  }));
  EXPECT_FALSE(menu->actions().front()->isEnabled());
  menu->close();
}

TEST_F(Trimming, ADragThatEmptiesRowsMarksThemAndCtrlZUndoesEachDragAndTypedTimeWhole) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  grid.SetCell(2, ui::kColStart, "00:01:40");
  grid.SetCell(2, ui::kColCutTime, "00:00:20");
  const std::vector<Texts> before = {Range(0), Range(1), Range(2)};
  ClickCell(1, 1, Qt::ControlModifier);
  ClickCell(2, 1, Qt::ControlModifier);
  ASSERT_EQ(grid.SelectedCount(), 3);
  // The bar shows the third row; its end marker dragged as far left as its
  // start marker lets it leaves that row empty, the others not.
  const QPoint grab = f.window().trimBar()->EndMarker().center();
  DragBar(grab, QPoint(40, grab.y()));
  const std::string end = grid.Cell(0, ui::kColEnd);
  ASSERT_LE(end, "00:01:40");
  EXPECT_EQ(grid.Cell(2, ui::kColEnd), end);
  EXPECT_EQ(ui::StatusText(grid.Status(2)), "Failed: the range is empty (start 00:01:40, end " + end + ")");
  EXPECT_EQ(ui::StatusText(grid.Status(0)), "");

  // One Ctrl+Z takes the whole drag back, and the mark with it.
  QTest::keyClick(f.KeyTarget(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ((std::vector<Texts>{Range(0), Range(1), Range(2)}), before);
  EXPECT_EQ(ui::StatusText(grid.Status(2)), "");

  // A typed time is one step too.
  ClickCell(0, 1);
  ASSERT_TRUE(TypeTime(0, 4, "000030"));
  ASSERT_EQ(Range(0), (Texts{"00:00:30", "00:05:00", "00:04:30"}));
  QTest::keyClick(f.KeyTarget(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Range(0), before[0]);
  EXPECT_FALSE(f.form().CanUndoRemove());
}
