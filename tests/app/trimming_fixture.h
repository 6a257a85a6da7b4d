// The main window with rows of known durations, the first one loaded into the
// trim bar: the fixture of the trim bar's and the list's tests.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <string>
#include <vector>

#include "app/source_grid_view.h"
#include "app/time_editor.h"
#include "app/trim_bar_view.h"
#include "app_fixture.h"

struct Trimming : ::testing::Test {
  Trimming() {
    f.Start();
    ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
    grid.AddRow({"True", "/v/five minutes.avi", "1 MB", "00:05:00", "00:00:00", "00:05:00", "00:05:00"});
    grid.AddRow({"True", "/v/one minute.avi", "1 MB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
    grid.AddRow({"True", "/v/two minutes.avi", "1 MB", "00:02:00", "00:00:00", "00:02:00", "00:02:00"});
    ClickCell(0, 1);
  }
  app::SourceGridView* view() { return f.window().grid(); }
  QPoint CellCenter(int row, int column) {
    return view()->visualRect(view()->QTableView::model()->index(row, column)).center();
  }
  void ClickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers, CellCenter(row, column));
  }
  // Clicks a time cell and returns the editor that opened on the click.
  app::TimeEditor* OpenEditor(int row, int column) {
    ClickCell(row, column);
    return dynamic_cast<app::TimeEditor*>(QApplication::focusWidget());
  }
  // Opens a time cell's editor, types the keys and ends the edit with `end`;
  // whether the editor closed.
  bool TypeTime(int row, int column, const char* keys, Qt::Key end = Qt::Key_Return) {
    OpenEditor(row, column);
    Type(keys);
    QTest::keyClick(QApplication::focusWidget(), end);
    return testing_support::WaitFor([&] { return !f.form().dxTreeSourceFileInfo.Editing(); }, 1000);
  }
  // Types the keys one by one into whatever has the focus, as a user would.
  static void Type(const char* keys) {
    for (const char* k = keys; *k; ++k) QTest::keyClick(QApplication::focusWidget(), *k);
  }
  std::vector<std::string> Range(int row) {
    const ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
    return {grid.Cell(row, 4), grid.Cell(row, 5), grid.Cell(row, 6)};
  }
  using Texts = std::vector<std::string>;
  // Drags with the left button from one point of the trim bar to another.
  void DragBar(QPoint from, QPoint to) {
    app::TrimBarView* bar = f.window().trimBar();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
    const int steps = 4;
    for (int i = 1; i <= steps; ++i) {
      const QPoint at = from + (to - from) * i / steps;
      QMouseEvent move(QEvent::MouseMove, at, bar->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(bar, &move);
    }
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
  }
  testing_support::AppFixture f;
};
