#include <gtest/gtest.h>

#include "test_media.h"
#include "trimming_fixture.h"

using testing_support::WaitFor;

TEST_F(Trimming, DraggingTheMarkersWritesTheCellsLive) {
  TFrmMainForm& form = f.form();
  ASSERT_TRUE(form.TrimBarReady);
  ASSERT_EQ(form.TrimDurationSeconds, 300);
  app::TrimBarView* bar = f.window().trimBar();
  EXPECT_EQ(bar->size(), QSize(260, 19));
  // The end marker to the far right: the right filler keeps 1 pixel, R = 1.
  DragBar(bar->EndMarker().center(), QPoint(259, 9));
  EXPECT_EQ(form.Panel3.Width(), 1);
  EXPECT_EQ(form.dxTreeSourceFileInfo.Cell(0, 5), "00:05:03");
  // The start marker so that its left edge lies at 113: 51 % of 300 s.
  const QPoint grab = bar->StartMarker().center();
  DragBar(grab, grab + QPoint(113 - form.Panel2.Width(), 0));
  EXPECT_EQ(form.Panel2.Width(), 113);
  EXPECT_EQ(form.dxTreeSourceFileInfo.Cell(0, 4), "00:02:33");
  EXPECT_EQ(form.StartMarkSeconds, 153);
}

TEST_F(Trimming, TheBarNamesItsRowAndTheGridMarksTheRowsADragWrites) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  QLabel* caption = f.window().trimRows();
  ASSERT_TRUE(caption);
  EXPECT_TRUE(caption->isVisible());
  EXPECT_EQ(caption->text(), "five minutes.avi \u00b7 1 row");
  QAbstractItemModel* model = view()->QTableView::model();
  auto marked = [&] {
    std::vector<int> rows;
    for (int row = 0; row < model->rowCount(); ++row)
      if (!model->data(model->index(row, 1), Qt::DecorationRole).isNull()) rows.push_back(row);
    return rows;
  };
  EXPECT_EQ(marked(), std::vector<int>{0});

  // Files added keep the earlier row selected beside the new first row; the
  // bar shows the earlier row and a drag writes both: both are said and marked.
  ClickCell(2, 1);
  testing_support::TempDir media;
  testing_support::MakeClip(".avi", 2, media.file("added.avi"));
  f.form().WMDropFiles({media.file("added.avi")});
  ASSERT_EQ(grid.SelectedRows(), (std::vector<int>{0, 2}));
  EXPECT_EQ(caption->text(), "two minutes.avi \u00b7 2 rows");
  EXPECT_EQ(marked(), (std::vector<int>{0, 2}));
  const QPoint grab = f.window().trimBar()->EndMarker().center();
  DragBar(grab, grab - QPoint(40, 0));
  EXPECT_NE(grid.Cell(0, 5), "00:05:00");
  EXPECT_EQ(grid.Cell(0, 5), grid.Cell(2, 5));
  EXPECT_EQ(grid.Cell(1, 5), "00:01:00");  // unmarked, untouched

  // A click on one row: that row alone.
  ClickCell(1, 1);
  EXPECT_EQ(caption->text(), "one minute.avi \u00b7 1 row");
  EXPECT_EQ(marked(), std::vector<int>{1});
  // Emptied, the list leaves the bar with nothing to name.
  QTest::mouseClick(f.window().button("btnClearFile"), Qt::LeftButton);
  EXPECT_EQ(caption->text(), "");
}

TEST_F(Trimming, FillerClicksStepTheMarkers) {
  TFrmMainForm& form = f.form();
  app::TrimBarView* bar = f.window().trimBar();
  DragBar(bar->EndMarker().center(), bar->EndMarker().center() - QPoint(60, 0));
  const int right = form.Panel3.Width();
  ASSERT_GT(right, 20);
  QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->RightFiller().center());
  EXPECT_EQ(form.Panel3.Width(), right - 5);
  QTest::mouseClick(bar, Qt::LeftButton, Qt::ShiftModifier, bar->RightFiller().center());
  EXPECT_EQ(form.Panel3.Width(), right - 15);
  QTest::mouseClick(bar, Qt::LeftButton, Qt::ControlModifier, bar->RightFiller().center());
  EXPECT_EQ(form.Panel3.Width(), right - 16);
  QTest::mouseClick(bar, Qt::RightButton, Qt::NoModifier, bar->RightFiller().center());
  EXPECT_EQ(form.Panel3.Width(), right - 16);
}

TEST_F(Trimming, TimeCellsAreEditedInPlaceOnTheFirstClickAndChecked) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  app::TimeEditor* editor = OpenEditor(0, 5);
  ASSERT_TRUE(grid.Editing());
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->text(), "00:05:00");
  Type("000400");
  EXPECT_EQ(editor->text(), "00:04:00");
  // An end time is taken when the user leaves the cell.
  EXPECT_TRUE(grid.Editing());
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:05:00", "00:05:00"}));
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));  // Qt commits after the key
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:04:00", "00:04:00"}));
  // Beyond the duration: the duration.
  EXPECT_TRUE(TypeTime(0, 5, "000700", Qt::Key_Tab));
  EXPECT_EQ(grid.Cell(0, 5), "00:05:00");
  // The read-only cells open no editor.
  ClickCell(1, 3);
  EXPECT_FALSE(grid.Editing()) << grid.EditRow() << "," << grid.EditColumn();
  EXPECT_FALSE(dynamic_cast<app::TimeEditor*>(QApplication::focusWidget()));
}

TEST_F(Trimming, AStartTimeTypedDigitByDigitEndsAsTypedWithTheCutFollowing) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  app::TimeEditor* editor = OpenEditor(0, 4);
  ASSERT_TRUE(editor);
  // Five zeros change nothing; the sixth key makes the first change, which is
  // checked at once and leaves the editor open for the next key.
  std::vector<std::string> starts;
  for (const char* key : {"0", "0", "0", "0", "0", "2"}) {
    Type(key);
    starts.push_back(grid.Cell(0, 4));
  }
  EXPECT_EQ(starts, (Texts{"00:00:00", "00:00:00", "00:00:00", "00:00:00", "00:00:00", "00:00:02"}));
  EXPECT_EQ(Range(0), (Texts{"00:00:02", "00:05:00", "00:04:58"}));
  EXPECT_EQ(QApplication::focusWidget(), editor);

  // Over a start already set, each digit is a whole time that is checked.
  QTest::keyClick(editor, Qt::Key_Home);
  Type("000130");
  EXPECT_EQ(editor->text(), "00:01:30");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_EQ(Range(0), (Texts{"00:01:30", "00:05:00", "00:03:30"}));
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{0}));

  // A start typed beyond the duration is the duration.
  EXPECT_TRUE(TypeTime(0, 4, "001000"));
  EXPECT_EQ(Range(0), (Texts{"00:05:00", "00:05:00", "00:00:00"}));
  EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST_F(Trimming, ArrowKeysStepTheSectionUnderTheCursor) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  app::TimeEditor* editor = OpenEditor(0, 5);
  ASSERT_TRUE(editor);
  auto key = [&](Qt::Key k, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(editor, k);
  };
  key(Qt::Key_Right, 3);  // into the minutes
  key(Qt::Key_Down);
  EXPECT_EQ(editor->text(), "00:04:00");
  key(Qt::Key_Right, 3);  // into the seconds
  key(Qt::Key_Down);      // no second below 0
  key(Qt::Key_Up, 2);
  EXPECT_EQ(editor->text(), "00:04:02");
  key(Qt::Key_Home);
  key(Qt::Key_Up);
  EXPECT_EQ(editor->text(), "01:04:02");
  key(Qt::Key_Down);
  key(Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:04:02", "00:04:02"}));

  // In a start cell every step is a change, checked at once.
  editor = OpenEditor(0, 4);
  ASSERT_TRUE(editor);
  key(Qt::Key_End);
  key(Qt::Key_Up);
  EXPECT_EQ(Range(0), (Texts{"00:00:01", "00:04:02", "00:04:01"}));
  key(Qt::Key_Up);
  EXPECT_EQ(Range(0), (Texts{"00:00:02", "00:04:02", "00:04:00"}));
  // Minutes and seconds stop at 59.
  key(Qt::Key_Up, 70);
  EXPECT_EQ(editor->text(), "00:00:59");
}

TEST_F(Trimming, TheEditorHoldsOnlyWholeTimes) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  app::TimeEditor* editor = OpenEditor(2, 5);  // two minutes
  ASSERT_TRUE(editor);
  // "1:30" as typed: the hour digit alone, then the minutes.
  Type("1:30");
  EXPECT_EQ(editor->text(), "01:30:00");
  // No minute of 90: a tens digit above 5 is the whole section.
  QTest::keyClick(editor, Qt::Key_Home);
  Type("0090");
  EXPECT_EQ(editor->text(), "00:09:00");
  // Letters, blanks and a cleared line leave a whole time.
  Type("ab -");
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(editor, Qt::Key_Backspace);
  EXPECT_EQ(editor->text(), "00:00:00");
  QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);  // no undo back past the checks
  EXPECT_EQ(editor->text(), "00:00:00");
  QTest::keyClick(editor, Qt::Key_End);
  Type("1");  // nothing after the seconds
  EXPECT_EQ(editor->text(), "00:00:00");
  QTest::keyClick(editor, Qt::Key_Left);
  Type("5");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_EQ(Range(2), (Texts{"00:00:00", "00:00:05", "00:00:05"}));
  EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST_F(Trimming, EscapePutsBackWhatTheRowHeldWhenTheEditorOpened) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  const Texts untouched{"00:00:00", "00:05:00", "00:05:00"};
  // A start time is written at each change, the cut time with it; Esc takes both back.
  app::TimeEditor* editor = OpenEditor(0, 4);
  ASSERT_TRUE(editor);
  Type("000007");
  ASSERT_EQ(Range(0), (Texts{"00:00:07", "00:05:00", "00:04:53"}));
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_FALSE(dynamic_cast<app::TimeEditor*>(QApplication::focusWidget()));
  EXPECT_EQ(Range(0), untouched);

  // A start beyond the duration, which the check turned into the duration and
  // pulled the end along with: all three cells come back.
  editor = OpenEditor(0, 4);
  ASSERT_TRUE(editor);
  Type("001000");
  ASSERT_EQ(Range(0), (Texts{"00:05:00", "00:05:00", "00:00:00"}));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_EQ(Range(0), untouched);

  // An end time is written only when the cell is left: Esc leaves the cell as it was.
  editor = OpenEditor(0, 5);
  ASSERT_TRUE(editor);
  Type("000100");
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  EXPECT_EQ(Range(0), untouched);

  // Esc goes back to the values of its own editor, not of an earlier one.
  EXPECT_TRUE(TypeTime(0, 4, "000030"));
  ASSERT_EQ(Range(0), (Texts{"00:00:30", "00:05:00", "00:04:30"}));
  EXPECT_TRUE(TypeTime(0, 4, "0002", Qt::Key_Escape));
  EXPECT_EQ(Range(0), (Texts{"00:00:30", "00:05:00", "00:04:30"}));
  EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST_F(Trimming, FileNamesAreCutAtTheLeftWithTheWholePathInTheTooltip) {
  QAbstractItemModel* model = view()->QTableView::model();
  EXPECT_EQ(view()->textElideMode(), Qt::ElideLeft);
  EXPECT_EQ(model->data(model->index(0, 1), Qt::ToolTipRole).toString(), "/v/five minutes.avi");
  EXPECT_FALSE(model->data(model->index(0, 4), Qt::ToolTipRole).isValid());
}

TEST_F(Trimming, RowsDraggedOutOfTheGridAreRemoved) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ClickCell(1, 1);
  ClickCell(2, 1, Qt::ControlModifier);
  ASSERT_EQ(grid.SelectedRows(), (std::vector<int>{1, 2}));
  // Released over nothing (the offscreen platform has no drop target at all).
  view()->OnEndDrag(false);
  ASSERT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Cell(0, 1), "/v/five minutes.avi");
  // Released over the grid itself: nothing changes.
  ClickCell(0, 1);
  view()->OnEndDrag(true);
  EXPECT_EQ(grid.RowCount(), 1);
}

TEST_F(Trimming, ADragStartedWithTheMouseEndsInTheGridsDragHandler) {
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ClickCell(2, 1);
  bool ended = false, on_grid = true;
  view()->OnEndDrag = [&](bool over_grid) {
    ended = true;
    on_grid = over_grid;
  };
  const QPoint from = CellCenter(2, 1);
  QTest::mousePress(view()->viewport(), Qt::LeftButton, Qt::NoModifier, from);
  for (int dx = 5; dx <= 60; dx += 5) {
    const QPoint at = from + QPoint(dx, -dx);
    QMouseEvent move(QEvent::MouseMove, at, view()->viewport()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view()->viewport(), &move);
    if (ended) break;
  }
  QTest::mouseRelease(view()->viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(60, -60));
  EXPECT_TRUE(ended);
  EXPECT_FALSE(on_grid);
  EXPECT_EQ(grid.RowCount(), 3);  // the handler was replaced: nothing removed here
}
