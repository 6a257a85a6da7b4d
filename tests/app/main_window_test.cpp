#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "app/option_view.h"
#include "app/skin.h"
#include "app/source_grid_view.h"
#include "app_fixture.h"
#include "platform/errors.h"
#include "settings/option_form.h"
#include "shell/startup.h"

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
  EXPECT_EQ(f.window().videoPanel()->size(), QSize(253, 152));
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
  const QStringList captions{"", "File Name", "File Size", "Duration", "Start Time", "End Time", "Cut Time"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), captions[c]);
  EXPECT_EQ(model->data(model->index(1, 1)).toString(), "/v/b.avi");
  EXPECT_EQ(model->data(model->index(2, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  // Column widths in the proportion 16 : 68 : 28 ...
  EXPECT_NEAR(view->columnWidth(1) / double(view->columnWidth(0)), 68.0 / 16.0, 0.3);
  EXPECT_NEAR(view->columnWidth(2), view->columnWidth(6), 1);
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

TEST(AppGrid, FilesDroppedFromAFileManagerReachTheDropHandler) {
  AppFixture f;
  std::vector<std::string> dropped;
  f.window().OnFilesDropped = [&](const std::vector<std::string>& paths) { dropped = paths; };
  f.Start();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/videos/one clip.avi"), QUrl::fromLocalFile("/videos/two.mpg"),
                QUrl("https://example.org/not-local.avi")});
  const QPoint at = f.window().grid()->geometry().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.window(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.window(), &drop);
  EXPECT_EQ(dropped, (std::vector<std::string>{"/videos/one clip.avi", "/videos/two.mpg"}));
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
    emit combo->activated(index);
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
  QTest::mouseClick(Button("btnApply"), Qt::LeftButton);
  EXPECT_EQ(f.window().findChild<QComboBox*>("cbbProfile")->count(), 6);
}
