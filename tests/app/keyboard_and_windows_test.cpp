// What a keyboard or screen reader user meets in the real widgets, the owned
// windows' order and the skinned pictures at every scale.
#include <gtest/gtest.h>

#include <QFile>
#include <QWindow>

#include "app/converting_view.h"
#include "app/desktop_identity.h"
#include "app/option_view.h"
#include "app/skin.h"
#include "app/window_order.h"
#include "app_fixture.h"
#include "engine/converting_form.h"
#include "settings/option_form.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

TEST(AppKeyboard, SkinnedButtonsAreNamedHintedReachedByTabAndPressedWithEnterOrSpace) {
  AppFixture f;
  f.Start();
  for (app::skin::SkinButton* button : f.window().findChildren<app::skin::SkinButton*>()) {
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_FALSE(button->accessibleName().isEmpty());
    EXPECT_EQ(button->accessibleDescription().toStdString(), button->model().Hint());
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(button->focusPolicy() & Qt::ClickFocus);  // a click leaves the focus where it was
  }
  // Each hint names the key that does what the button does.
  const std::pair<const char*, const char*> hints[] = {
      {"btnOptions", "Ctrl + I"}, {"RzBmpButton1", "Ctrl + B"}, {"btnOpenFile", "Ctrl + O"},
      {"btnConvert", "Ctrl + S"}, {"btnPlay", "Ctrl + P"},      {"btnSelectOutputFolder", "Ctrl + B"}};
  for (const auto& [name, hint] : hints) EXPECT_EQ(f.window().button(name)->model().Hint(), hint) << name;
  EXPECT_EQ(f.window().button("btnOptions")->toolTip(), "Ctrl + I");

  int opened = 0;
  f.form().btnOpenFile.OnClick = [&] { ++opened; };
  app::skin::SkinButton* open = f.window().button("btnOpenFile");
  open->setFocus(Qt::TabFocusReason);
  QTest::keyClick(open, Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return opened == 1; }, 1000));
  QTest::keyClick(open, Qt::Key_Space);
  EXPECT_TRUE(WaitFor([&] { return opened == 2; }, 1000));
}

TEST(AppKeyboard, TabLeavesTheGridBothWaysAndTheLabelledControlsCarryTheirLabels) {
  AppFixture f;
  f.Start();
  f.form().dxTreeSourceFileInfo.AddRow({"True", "/v/a.avi", "1 MB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  app::SourceGridView* grid = f.window().grid();
  struct Step {
    Qt::KeyboardModifiers modifiers;
    const char* lands_on;
  };
  for (const Step& step : {Step{Qt::NoModifier, "btnOpenFile"}, Step{Qt::ShiftModifier, "Label3"}}) {
    grid->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == grid; }, 1000));
    QTest::keyClick(grid, Qt::Key_Tab, step.modifiers);
    ASSERT_TRUE(QApplication::focusWidget());
    EXPECT_EQ(QApplication::focusWidget()->objectName(), step.lands_on);
  }
  // Named after their labels; the check column too.
  const std::pair<const char*, const char*> names[] = {{"cbbOutputFiletype", "Output FileType"},
                                                       {"cbbProfile", "Profile Settings"},
                                                       {"edtOutputFolder", "Output Folder"},
                                                       {"chkShutdown", "Shutdown computer when job is finished."}};
  for (const auto& [object, name] : names)
    EXPECT_EQ(f.window().findChild<QWidget*>(object)->accessibleName(), name) << object;
  EXPECT_EQ(grid->QTableView::model()->headerData(0, Qt::Horizontal, Qt::AccessibleTextRole).toString(), "Convert");
}

TEST(AppWindows, OwnedWindowsStayAboveTheMainWindowAndTheHandOffPicksTheOneHoldingAttention) {
  AppFixture f;
  f.Start();
  QWidget* main = &f.window();
  QWidget* options = &f.application->optionDialog();
  QWidget* progress = &f.application->progressWindow();
  EXPECT_EQ(app::WindowHoldingAttention(main, {progress, options}), main);

  QTest::keyClick(f.KeyTarget(), Qt::Key_I, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return options->isVisible(); }));
  EXPECT_EQ(app::WindowHoldingAttention(main, {progress, options}), options);
  f.program().ConvertingForm().Form.Show();
  ASSERT_TRUE(WaitFor([&] { return progress->isVisible(); }));
  // A batch disables the main window; its progress window stays usable above it.
  f.form().Form.SetEnabled(false);
  EXPECT_TRUE(progress->isEnabled());
  EXPECT_EQ(app::WindowHoldingAttention(main, {progress, options}), progress);
  for (QWidget* owned : {options, progress}) {
    SCOPED_TRACE(owned->objectName().toStdString());
    ASSERT_TRUE(owned->windowHandle());
    EXPECT_EQ(owned->windowHandle()->transientParent(), main->windowHandle());
  }
  f.program().ConvertingForm().Form.Hide();
  f.form().Form.SetEnabled(true);

  // Ctrl+I on the main window brings the open Options dialog back to the front.
  f.window().activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == main; }, 1000));
  QTest::keyClick(f.KeyTarget(), Qt::Key_I, Qt::ControlModifier);
  EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == options; }, 1000));
}

TEST(Skin, ButtonPicturesAreDrawnAtTheScreensScaleWithTransparentCorners) {
  for (qreal ratio : {1.0, 1.5, 2.0}) {
    SCOPED_TRACE(ratio);
    const QPixmap picture =
        app::skin::ButtonPicture(app::skin::Glyph::Play, "", QSize(25, 25), app::skin::State::Up, ratio);
    EXPECT_EQ(picture.size(), QSize(25, 25) * ratio);
    const QImage image = picture.toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, 2)), 255);  // the face's top edge, inside the rim
  }
}

TEST(AppIdentity, TheDesktopEntrysIdNamesTheWindowsAndTheEntryMatchesThemByIt) {
  app::SetDesktopIdentity();
  const QString id = "example.quorvansoft.VideoToPlimConverter";
  EXPECT_EQ(QGuiApplication::desktopFileName(), id);
  EXPECT_EQ(QCoreApplication::applicationName(), "Video To Plim Converter");  // what screen readers say
  EXPECT_FALSE(QApplication::windowIcon().pixmap(48, 48).isNull());
  QFile entry(VTPC_SOURCE_DIR "/data/" + id + ".desktop");
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(entry.readAll()).split('\n').contains("StartupWMClass=" + id));
}
