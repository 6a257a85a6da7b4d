#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QWindow>

#include "app/option_view.h"
#include "app/skin.h"
#include "app/source_grid_view.h"
#include "app/time_editor.h"
#include "app/trim_bar_view.h"
#include "app_fixture.h"
#include "media/preview_graph.h"
#include "platform/errors.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/startup.h"
#include "sources/init_file_form.h"
#include "test_media.h"
#include "test_program.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

TEST(AppStart, CaptionCarriesTheProductNameAndTheExecutablesVersion) {
  AppFixture f;
  f.Start();
  ASSERT_TRUE(f.window().isVisible());
  EXPECT_EQ(f.window().windowTitle(), "Video To Plim Converter 2.0");
  auto* title = f.window().findChild<QLabel*>("lblTitle");
  ASSERT_TRUE(title);
  EXPECT_EQ(title->text(), "Video To Plim Converter 2.0");
  EXPECT_TRUE(f.dialogs.messages.empty());
  // No system title bar; never smaller than 686 x 519.
  EXPECT_TRUE(f.window().windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(f.window().minimumSize(), QSize(686, 519));
  EXPECT_GE(f.window().height(), 519);
  EXPECT_TRUE(f.window().acceptDrops());
}

TEST(AppStart, MissingLibrariesGiveTwoBoxesInOrderAndNoMainWindow) {
  AppFixture f(/*with_libraries=*/false);
  f.application->Start();
  QTest::qWait(50);
  ASSERT_EQ(f.dialogs.messages.size(), 2u);
  EXPECT_EQ(f.dialogs.messages[0].text, "'Form.so' is not found. Please reinstall this program.");
  EXPECT_EQ(f.dialogs.messages[1].text, "'Res.so' is not found. Please reinstall this program.");
  EXPECT_TRUE(f.program().Ended());
  EXPECT_FALSE(f.window().isVisible());
}

namespace {

struct Shortcuts : ::testing::Test {
  Shortcuts() {
    f.form().btnOpenFile.OnClick = [this] { ++opened; };
    f.form().btnConvert.OnClick = [this] { ++converted; };
    f.Start();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(f.KeyTarget(), key, modifiers); }
  AppFixture f;
  int opened = 0, converted = 0;
};

}  // namespace

TEST_F(Shortcuts, CtrlOAddsButNotWithShiftOrAlt) {
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(opened, 1);
  Key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
  Key(Qt::Key_O, Qt::ControlModifier | Qt::AltModifier);
  Key(Qt::Key_O, Qt::NoModifier);
  EXPECT_EQ(opened, 1);
  // Once per key, wherever the focus is.
  f.window().grid()->setFocus();
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(opened, 2);
}

TEST(AppShortcuts, CtrlOAndCtrlBWithTheGridFocusedOpenTheirDialogOnce) {
  AppFixture f;
  f.Start();
  f.form().dxTreeSourceFileInfo.AddRow({"True", "/v/a.avi", "1 MB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  app::SourceGridView* grid = f.window().grid();
  QAbstractItemModel* model = grid->QTableView::model();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(model->index(0, 1)).center());
  ASSERT_EQ(QApplication::focusWidget(), grid);
  // A dialog takes the focus while it is up, as a real one does.
  f.dialogs.while_modal = [] {
    if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  };
  QTest::keyClick(grid, Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(WaitFor([&] { return !f.program().InitFileForm().Form.Visible(); }));
  QTest::qWait(50);
  EXPECT_EQ(f.dialogs.open_requests.size(), 1u);

  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_B, Qt::ControlModifier);
  QTest::qWait(50);
  EXPECT_EQ(f.dialogs.folder_titles.size(), 1u);
  // The buttons open one each too.
  QTest::mouseClick(f.window().button("btnOpenFile"), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return !f.program().InitFileForm().Form.Visible(); }));
  EXPECT_EQ(f.dialogs.open_requests.size(), 2u);
}

TEST_F(Shortcuts, CtrlSAndCtrlNConvert) {
  Key(Qt::Key_S, Qt::ControlModifier);
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(converted, 2);
}

TEST_F(Shortcuts, F1OpensTheHelpWithAnyModifier) {
  Key(Qt::Key_F1, Qt::NoModifier);
  Key(Qt::Key_F1, Qt::ShiftModifier);
  Key(Qt::Key_F1, Qt::ControlModifier);
  ASSERT_EQ(f.launcher.opened.size(), 3u);
  for (const auto& target : f.launcher.opened) EXPECT_EQ(target, f.AppDir() + "Help.html");
}

TEST_F(Shortcuts, NoShortcutWhileTheWindowIsDisabled) {
  f.form().Form.SetEnabled(false);
  Key(Qt::Key_O, Qt::ControlModifier);
  f.form().Form.SetEnabled(true);
  EXPECT_EQ(opened, 0);
}

TEST(AppWindow, AnExceptionInAClickIsReportedAndTheProgramGoesOn) {
  AppFixture f;
  f.form().btnRemoveFile.OnClick = [] { throw AppError("Cannot create file \"/x/log.txt\". Read-only file system"); };
  f.Start();
  QTest::mouseClick(f.window().button("btnRemoveFile"), Qt::LeftButton);
  ASSERT_EQ(f.dialogs.messages.size(), 1u);
  EXPECT_EQ(f.dialogs.messages[0].kind, ui::MessageKind::Error);
  EXPECT_EQ(f.dialogs.messages[0].text, "Cannot create file \"/x/log.txt\". Read-only file system");
  EXPECT_TRUE(f.window().isVisible());
  EXPECT_FALSE(f.program().Ended());
}

TEST(AppWindow, HintsAndTheHiddenButtons) {
  AppFixture f;
  f.Start();
  EXPECT_EQ(f.window().button("btnOpenFile")->toolTip(), "Ctrl + O");
  EXPECT_EQ(f.window().button("btnConvert")->toolTip(), "Ctrl + S");
  EXPECT_EQ(f.window().button("btnPlay")->toolTip(), "Ctrl + P");
  EXPECT_TRUE(f.window().button("btnHelp")->toolTip().isEmpty());
  EXPECT_FALSE(f.window().button("btnSelectOutputFolder")->isVisible());
  EXPECT_FALSE(f.window().button("btnUpdate")->isVisible());
  EXPECT_EQ(f.window().button("btnConvert")->size(), QSize(110, 40));
  EXPECT_EQ(f.window().button("btnHomePage")->size(), QSize(48, 48));
  EXPECT_EQ(f.window().videoPanel()->size(), QSize(253, 138));
  EXPECT_TRUE(f.window().logo()->isVisible());
}

TEST(AppWindow, CloseButtonSavesAndEndsTheProgram) {
  AppFixture f;
  f.Start();
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  EXPECT_TRUE(f.program().Ended());
  EXPECT_EQ(f.program().ExitCode(), 0);
}

TEST(AppWindow, CodecLinkOpensTheHelpPagesCodecSection) {
  AppFixture f;
  f.Start();
  auto* link = f.window().findChild<QLabel*>("Label3");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->text(), "Click here to download the coder");
  EXPECT_TRUE(link->font().underline());
  QTest::mouseClick(link, Qt::LeftButton);
  ASSERT_EQ(f.launcher.opened.size(), 1u);
  EXPECT_EQ(f.launcher.opened[0], "file://" + f.AppDir() + "Help.html#codecs");
}

TEST(AppGrid, ShowsTheRowsWithTheirColumnsAndPassesSelectionAndChecksBack) {
  AppFixture f;
  f.Start();
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  grid.AddRow({"True", "/v/a.avi", "1 MB", "00:05:00", "00:00:00", "00:05:00", "00:05:00"});
  grid.AddRow({"True", "/v/b.avi", "2 MB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  grid.AddRow({"False", "/v/c.avi", "3 MB", "00:02:00", "00:00:00", "00:02:00", "00:02:00"});
  app::SourceGridView* view = f.window().grid();
  QAbstractItemModel* model = view->QTableView::model();
  ASSERT_EQ(model->rowCount(), 3);
  const QStringList captions{"", "File Name", "File Size", "Duration", "Start Time", "End Time", "Cut Time", "Status"};
  ASSERT_EQ(model->columnCount(), 8);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), captions[c]);
  EXPECT_EQ(model->data(model->index(1, 1)).toString(), "/v/b.avi");
  EXPECT_EQ(model->data(model->index(2, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  // Column widths in the proportion 12 : 46 : 28 ... : 36, the status column last.
  EXPECT_NEAR(view->columnWidth(1) / double(view->columnWidth(0)), 46.0 / 12.0, 0.3);
  EXPECT_NEAR(view->columnWidth(2), view->columnWidth(6), 1);
  EXPECT_NEAR(view->columnWidth(7) / double(view->columnWidth(2)), 36.0 / 28.0, 0.1);
  EXPECT_FALSE(view->horizontalHeader()->sectionsMovable());

  // Several rows selected with Ctrl-clicks reach the model.
  const QRect r0 = view->visualRect(model->index(0, 1)), r2 = view->visualRect(model->index(2, 1));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r0.center());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, r2.center());
  EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{0, 2}));

  // The check box cell writes "True"/"False".
  model->setData(model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_EQ(grid.Cell(0, 0), "False");
  // Only the time cells are editable.
  EXPECT_TRUE(model->flags(model->index(0, 4)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->flags(model->index(0, 5)) & Qt::ItemIsEditable);
  for (int c : {1, 2, 3, 6}) EXPECT_FALSE(model->flags(model->index(0, c)) & Qt::ItemIsEditable) << c;
}

TEST(AppGrid, FilesDroppedFromAFileManagerAreAdded) {
  AppFixture f;
  f.Start();
  testing_support::TempDir media;
  testing_support::MakeClip(".avi", 2, media.file("one clip.avi"));
  testing_support::WriteFile(media.file("notes.txt"), "not a video");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(media.file("one clip.avi"))),
                QUrl::fromLocalFile(QString::fromStdString(media.file("notes.txt"))),
                QUrl::fromLocalFile(QString::fromStdString(media.path())), QUrl("https://example.org/remote.avi")});
  const QPoint at = f.window().grid()->geometry().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.window(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.window(), &drop);
  const ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ASSERT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Cell(0, 1), media.file("one clip.avi"));
  EXPECT_EQ(grid.Cell(0, 3), "00:00:02");
  EXPECT_EQ(f.window().grid()->QTableView::model()->rowCount(), 1);
  EXPECT_EQ(f.dialogs.codec_errors, 0);
}

namespace {

// A main window with rows of known durations, the first one loaded into the trim bar.
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
  AppFixture f;
};

}  // namespace

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
  OpenEditor(0, 5);
  Type("000700");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
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
  OpenEditor(0, 4);
  Type("001000");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
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
  OpenEditor(0, 4);
  Type("000030");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  ASSERT_EQ(Range(0), (Texts{"00:00:30", "00:05:00", "00:04:30"}));
  OpenEditor(0, 4);
  Type("0002");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
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
  OpenEditor(0, 4);
  Type("000030");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return !grid.Editing(); }, 1000));
  ASSERT_EQ(Range(0), (Texts{"00:00:30", "00:05:00", "00:04:30"}));
  QTest::keyClick(f.KeyTarget(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Range(0), before[0]);
  EXPECT_FALSE(f.form().CanUndoRemove());
}

TEST(AppStart, TheListsAreFilledAndTheThirdQualityLevelApplied) {
  AppFixture f;
  f.Start();
  auto* type = f.window().findChild<QComboBox*>("cbbOutputFiletype");
  auto* profile = f.window().findChild<QComboBox*>("cbbProfile");
  ASSERT_TRUE(type && profile);
  EXPECT_EQ(type->count(), 4);
  EXPECT_EQ(type->currentIndex(), 0);
  EXPECT_EQ(profile->count(), 5);
  EXPECT_EQ(profile->currentIndex(), 2);
  EXPECT_GE(f.form().cbbProfile.ItemIndex(), 0);
}

namespace {

struct OptionsDialog : ::testing::Test {
  OptionsDialog() { f.Start(); }
  QComboBox* Combo(const char* name) { return f.application->optionDialog().findChild<QComboBox*>(name); }
  QPushButton* Button(const char* name) { return f.application->optionDialog().findChild<QPushButton*>(name); }
  // A user's pick in a drop-down list.
  static void Pick(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
  }
  AppFixture f;
};

}  // namespace

TEST_F(OptionsDialog, CancelThroughItsButtonRestoresWhatTheDialogOpenedWith) {
  QTest::keyClick(f.KeyTarget(), Qt::Key_I, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return f.application->optionDialog().isVisible(); }));
  EXPECT_EQ(f.application->optionDialog().windowTitle(), "Options");
  TfrmOption& options = f.program().OptionForm();
  const int frame_rate = options.cbbFramerate.ItemIndex(), volume = options.cbbAudioVolumeGain.ItemIndex();
  Pick(Combo("cbbFramerate"), frame_rate == 0 ? 1 : 0);
  Pick(Combo("cbbAudioVolumeGain"), volume == 0 ? 1 : 0);
  EXPECT_NE(options.cbbFramerate.ItemIndex(), frame_rate);
  QTest::mouseClick(Button("btnCancel"), Qt::LeftButton);
  EXPECT_FALSE(f.application->optionDialog().isVisible());
  EXPECT_EQ(options.cbbFramerate.ItemIndex(), frame_rate);
  EXPECT_EQ(options.cbbAudioVolumeGain.ItemIndex(), volume);
  EXPECT_EQ(Combo("cbbFramerate")->currentIndex(), frame_rate);
}

TEST_F(OptionsDialog, OkKeepsTheChoicesAndTheCloseBoxRestoresNothing) {
  QTest::mouseClick(f.window().button("btnOptions"), Qt::LeftButton);
  ASSERT_TRUE(f.application->optionDialog().isVisible());
  // The dialog is modeless: the main window stays usable.
  EXPECT_FALSE(f.application->optionDialog().isModal());
  TfrmOption& options = f.program().OptionForm();
  const int changed = options.cbbFramerate.ItemIndex() == 0 ? 1 : 0;
  Pick(Combo("cbbFramerate"), changed);
  QTest::mouseClick(Button("btnApply"), Qt::LeftButton);
  EXPECT_FALSE(f.application->optionDialog().isVisible());
  EXPECT_EQ(options.cbbFramerate.ItemIndex(), changed);

  options.Form.Show();
  const int before = options.cbbAudioVolumeGain.ItemIndex();
  Pick(Combo("cbbAudioVolumeGain"), before == 0 ? 1 : 0);
  f.application->optionDialog().close();
  EXPECT_FALSE(options.Form.Visible());
  EXPECT_NE(options.cbbAudioVolumeGain.ItemIndex(), before);
  // Esc is Cancel.
  options.Form.Show();
  Pick(Combo("cbbFramerate"), changed == 0 ? 1 : 0);
  QTest::keyClick(&f.application->optionDialog(), Qt::Key_Escape);
  EXPECT_EQ(options.cbbFramerate.ItemIndex(), changed);
  EXPECT_FALSE(options.Form.Visible());
}

TEST_F(OptionsDialog, TypingANameAndAddingStoresACustomProfile) {
  f.dialogs.input_answers.push_back(std::string("Phone"));
  f.program().OptionForm().Form.Show();
  QTest::mouseClick(Button("btnAdd"), Qt::LeftButton);
  auto* box = Combo("cbbCustomProfile");
  EXPECT_EQ(box->count(), 1);
  EXPECT_EQ(box->currentText(), "Phone");
  // The main window's list has it at once, its own pick left as it was.
  auto* main_list = f.window().findChild<QComboBox*>("cbbProfile");
  const QString picked = main_list->currentText();
  ASSERT_EQ(main_list->count(), 6);
  EXPECT_EQ(main_list->itemText(5), "Phone");
  EXPECT_EQ(main_list->currentText(), picked);
  QTest::mouseClick(Button("btnApply"), Qt::LeftButton);
  EXPECT_EQ(f.window().findChild<QComboBox*>("cbbProfile")->count(), 6);
}

TEST(AppPreview, CtrlPOnAStoppedRowPlaysItThoughItsKeyIsReleasedWhileTheFileLoads) {
  AppFixture f;
  f.Start();
  testing_support::MakeClip(".mov", 3, f.AppDir() + "clip.mov");
  f.form().WMDropFiles({f.AppDir() + "clip.mov"});
  app::SourceGridView* grid = f.window().grid();
  QAbstractItemModel* model = grid->QTableView::model();
  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(model->index(0, 1)).center());
    ASSERT_EQ(QApplication::focusWidget(), grid);
    // The user lets go of P while the file is still loading: the release reaches
    // the grid, whose key-up reloads the trim bar, inside the load.
    QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyRelease, Qt::Key_P, Qt::ControlModifier, "\x10"));
    QTest::keyPress(grid, Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(f.program().CommonLib().PreviewFile, f.AppDir() + "clip.mov") << "round " << round;
    EXPECT_TRUE(f.program().CustomProc().IsPlaying);
    EXPECT_FALSE(f.window().logo()->isVisible());
    EXPECT_TRUE(WaitFor([&] { return f.program().previewGraph().CurrentPosition() > 0; }, 3000));
    QTest::keyClick(grid, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(f.window().logo()->isVisible());
  }
  for (const std::string& line : testing_support::ReadLogMessages(f.AppDir())) EXPECT_NE(line, "Playing Video error.");
}

TEST(AppPreview, TheWindowKeepsTheKeyboardWhileTheVideoPlays) {
  AppFixture f;
  f.Start();
  testing_support::MakeClip(".avi", 3, f.AppDir() + "clip.avi");
  f.form().WMDropFiles({f.AppDir() + "clip.avi"});
  app::SourceGridView* grid = f.window().grid();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->visualRect(grid->QTableView::model()->index(0, 1)).center());
  QTest::keyClick(grid, Qt::Key_P, Qt::ControlModifier);
  ASSERT_TRUE(f.program().CustomProc().IsPlaying);
  QWindow* own = f.window().windowHandle();
  // The video's own window activated, as platforms do when it appears or is
  // clicked: the keyboard comes back to the window and its controls.
  for (QWindow* embedded : own->findChildren<QWindow*>()) embedded->requestActivate();
  EXPECT_TRUE(WaitFor([&] { return QGuiApplication::focusWindow() == own; }, 2000));
  EXPECT_EQ(QApplication::focusWidget(), grid);
  // Keys typed go where the keyboard is, and the window's keys work there.
  QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_U, Qt::ControlModifier);
  EXPECT_FALSE(f.program().CustomProc().IsPlaying);
  QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(f.window().logo()->isVisible());
}

TEST(AppPreview, ThePointerHidesOverThePlayingVideoAfterItRested) {
  app::ApplicationOptions options;
  options.timing.pointer_hide_ms = 150;
  AppFixture f(options);
  f.Start();
  testing_support::MakeClip(".avi", 3, f.AppDir() + "clip.avi");
  f.form().WMDropFiles({f.AppDir() + "clip.avi"});
  QWidget* panel = f.window().videoPanel();
  auto move_over = [&](QPoint at) {
    QWidget* target = panel->childAt(at) ? panel->childAt(at) : panel;
    const QPoint local = target->mapFrom(panel, at);
    QMouseEvent move(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
  };
  auto hidden = [&] { return panel->cursor().shape() == Qt::BlankCursor; };
  // Over the logo the pointer stays.
  move_over(QPoint(100, 60));
  QTest::qWait(300);
  EXPECT_FALSE(hidden());

  QTest::keyClick(f.KeyTarget(), Qt::Key_P, Qt::ControlModifier);
  ASSERT_FALSE(f.window().logo()->isVisible());
  move_over(QPoint(120, 70));
  EXPECT_FALSE(hidden());
  EXPECT_TRUE(WaitFor(hidden, 2000));
  // A move shows it again, and the wait starts over.
  move_over(QPoint(121, 70));
  EXPECT_FALSE(hidden());
  QTest::qWait(60);
  EXPECT_FALSE(hidden());
  EXPECT_TRUE(WaitFor(hidden, 2000));
  // Stopping brings the logo and the pointer back.
  QTest::keyClick(f.KeyTarget(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_FALSE(hidden());
  QTest::qWait(300);
  EXPECT_FALSE(hidden());
}

TEST(AppPreview, PlayShowsTheVideoAndStopBringsTheLogoBack) {
  AppFixture f;
  f.Start();
  testing_support::MakeClip(".avi", 3, f.AppDir() + "clip.avi");
  f.form().WMDropFiles({f.AppDir() + "clip.avi"});
  ASSERT_EQ(f.form().dxTreeSourceFileInfo.RowCount(), 1);
  QTest::keyClick(f.KeyTarget(), Qt::Key_P, Qt::ControlModifier);
  ASSERT_EQ(f.program().CommonLib().PreviewFile, f.AppDir() + "clip.avi");
  EXPECT_FALSE(f.window().logo()->isVisible());
  EXPECT_TRUE(f.window().videoWindow()->isVisible());
  EXPECT_TRUE(WaitFor([&] { return f.program().previewGraph().CurrentPosition() > 0; }, 3000));
  QTest::keyClick(f.KeyTarget(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(f.window().logo()->isVisible());
  EXPECT_TRUE(f.program().CommonLib().PreviewFile.empty());
  EXPECT_EQ(f.window().clock()->text(), "00:00:00");

  // H.264 in MP4, whose decoder takes longest to start: the seek to the start
  // mark waits for it, and the picture moves on.
  ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=15:duration=3", "-c:v", "libx264", "-pix_fmt",
                                         "yuv420p", f.AppDir() + "h264.mp4"}),
            0);
  f.form().WMDropFiles({f.AppDir() + "h264.mp4"});
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ASSERT_EQ(grid.RowCount(), 2);
  grid.SetSelected(0, false);
  grid.SetSelected(1, true);
  QTest::keyClick(f.KeyTarget(), Qt::Key_P, Qt::ControlModifier);
  ASSERT_EQ(f.program().CommonLib().PreviewFile, f.AppDir() + "h264.mp4");
  EXPECT_TRUE(WaitFor([&] { return f.window().clock()->text() != "00:00:00"; }, 4000));
  QTest::keyClick(f.KeyTarget(), Qt::Key_T, Qt::ControlModifier);

  // A file the player cannot read says so under the trim bar, and in the log.
  testing_support::WriteFile(f.AppDir() + "broken.avi", std::string(8192, 'x'));
  grid.AddRow({"True", f.AppDir() + "broken.avi", "8 KB", "00:00:03", "00:00:00", "00:00:03", "00:00:03"});
  grid.SetSelected(1, false);
  grid.SetSelected(2, true);
  QTest::mouseClick(f.window().button("btnPlay"), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return f.window().trimRows()->text().startsWith("cannot preview this file: "); }, 10000))
      << f.window().trimRows()->text().toStdString();
  const auto log = testing_support::ReadLogMessages(f.AppDir());
  EXPECT_NE(std::find(log.begin(), log.end(), "Playing Video error."), log.end());
  EXPECT_TRUE(f.window().logo()->isVisible());
}
