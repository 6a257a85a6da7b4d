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
