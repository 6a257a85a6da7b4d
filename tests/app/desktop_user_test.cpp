// What a desktop user expects of the list, the dialogs and the windows, tried
// through the real widgets key by key and click by click.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/converting_view.h"
#include "app/option_view.h"
#include "app/skin.h"
#include "app/source_grid_view.h"
#include "app/trim_bar_view.h"
#include "app_fixture.h"
#include "engine/converting_form.h"
#include "platform/process_table.h"
#include "private_bus.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "sources/init_file_form.h"
#include "test_media.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

extern char** environ;

namespace {

QComboBox* Combo(AppFixture& f, const char* name) {
  return f.window().findChild<QComboBox*>(name);
}

}  // namespace

TEST(AppUserSettings, TheOutputTypeAndProfilePickedAreThereAtTheNextStart) {
  AppFixture f;
  f.Start();
  QComboBox* type = Combo(f, "cbbOutputFiletype");
  QComboBox* profile = Combo(f, "cbbProfile");
  ASSERT_TRUE(type && profile);
  EXPECT_EQ(type->currentIndex(), 0);
  EXPECT_EQ(profile->currentText(), "Normal Quality");

  type->setFocus();
  QTest::keyClick(type, Qt::Key_Down);
  QTest::keyClick(type, Qt::Key_Down);
  profile->setFocus();
  QTest::keyClick(profile, Qt::Key_Down);
  EXPECT_EQ(f.form().cbbOutputFiletype.Text(), "M4A MPEG Audio Files (*.m4a)");
  EXPECT_EQ(f.form().cbbProfile.Text(), "Excellent Quality");
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  ASSERT_TRUE(f.program().Ended());

  f.Reopen();
  f.Start();
  EXPECT_EQ(Combo(f, "cbbOutputFiletype")->currentText(), "M4A MPEG Audio Files (*.m4a)");
  EXPECT_EQ(Combo(f, "cbbProfile")->currentText(), "Excellent Quality");
  // The Options dialog's lists follow the profile, as after a pick.
  EXPECT_EQ(f.program().OptionForm().cbbAudioBitrate.Text(), "192");
}

TEST(AppOutputFolder, CtrlBOpensTheRealFolderBrowserAtTheOutputFolder) {
  AppFixture f(/*with_libraries=*/true, /*real_dialogs=*/true);
  f.Start();
  const std::string out = f.AppDir() + "out here";
  std::filesystem::create_directory(out);
  f.form().edtOutputFolder.SetText(out);
  // The source folder is elsewhere: it must not be where the browser opens.
  f.form().dlgOpenSourceFile.InitialDir = f.AppDir() + "Config";
  QString shown;
  QTimer::singleShot(0, [&] {
    WaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; });
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown = dialog->directory().absolutePath();
    dialog->reject();
  });
  QTest::keyClick(f.KeyTarget(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(shown.toStdString(), out);
  EXPECT_EQ(f.form().edtOutputFolder.Text(), out);
}

TEST(AppProgressWindow, TheEncodersWholeStatusLineIsInSight) {
  AppFixture f;
  f.Start();
  app::ConvertingView& window = f.application->progressWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* state = window.findChild<QLabel*>("statStatePanel");
  ASSERT_TRUE(state);
  // A video line as the encoder prints it, padded for a console.
  f.program().ConvertingForm().statState.SetPanelText(
      "frame= 12345 q=31.0 size=   123456kB time=12345.67 bitrate=  1234.5kbits/s");
  QCoreApplication::processEvents();
  const QString shown = state->text();
  EXPECT_TRUE(shown.contains("size=123456kB")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("bitrate=1234.5kbits/s")) << shown.toStdString();
  // Every line of it fits the label as laid out in the window.
  const QRect room = state->contentsRect();
  const QRect needed = state->fontMetrics().boundingRect(QRect(0, 0, room.width(), 1000),
                                                         state->wordWrap() ? Qt::TextWordWrap : 0, shown);
  EXPECT_LE(needed.width(), room.width());
  EXPECT_LE(needed.height(), room.height());
  EXPECT_TRUE(state->geometry().bottom() < window.height());
  window.hide();
}

TEST(AppPreviewClock, ShowsTheStartMarkFromTheFirstFrameOfAPreview) {
  AppFixture f;
  f.Start();
  testing_support::MakeClip(".avi", 8, f.AppDir() + "clip.avi");
  f.form().WMDropFiles({f.AppDir() + "clip.avi"});
  ASSERT_TRUE(f.form().TrimBarReady);
  // The start marker a third of the way along: the preview starts there.
  app::TrimBarView* bar = f.window().trimBar();
  const QPoint grab = bar->StartMarker().center();
  const QPoint to = grab + QPoint(bar->width() / 3, 0);
  QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, grab);
  QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &move);
  QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
  const int start = f.form().StartMarkSeconds;
  ASSERT_GE(start, 2);

  QTest::keyClick(f.KeyTarget(), Qt::Key_P, Qt::ControlModifier);
  ASSERT_EQ(f.program().CommonLib().PreviewFile, f.AppDir() + "clip.avi");
  // Before the clock's first tick, a second away.
  const QString expected = QString::asprintf("00:00:%02d", start);
  EXPECT_EQ(f.window().clock()->text(), expected);
  QTest::keyClick(f.KeyTarget(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(f.window().clock()->text(), "00:00:00");
}

namespace {

// The palette and face a skinned window shows.
void ExpectSkinned(QWidget* window, const char* what) {
  ASSERT_TRUE(window) << what;
  EXPECT_EQ(window->palette().color(QPalette::Window), app::skin::kPanel) << what;
  EXPECT_EQ(window->palette().color(QPalette::WindowText), app::skin::kText) << what;
  EXPECT_EQ(window->palette().color(QPalette::Button).lightness() < 128, true) << what;
  EXPECT_EQ(window->font().family(), app::skin::DialogFont().family()) << what;
}

// Runs the action, which brings up a modal window; checks the window's skin and closes it.
void CheckModal(const std::function<void()>& action, const char* what) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    WaitFor([] { return QApplication::activeModalWidget() != nullptr; });
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    seen = true;
    ExpectSkinned(modal, what);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  });
  action();
  EXPECT_TRUE(seen) << what;
}

}  // namespace

TEST(AppSkin, OptionsMessageBoxesAndFileDialogsWearTheMainWindowsColours) {
  AppFixture f(/*with_libraries=*/true, /*real_dialogs=*/true);
  f.Start();
  QTest::mouseClick(f.window().button("btnOptions"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return f.application->optionDialog().isVisible(); }));
  ExpectSkinned(&f.application->optionDialog(), "Options");
  f.application->optionDialog().hide();

  // Convert with an empty list: the warning box.
  CheckModal([&] { QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton); }, "message box");
  CheckModal([&] { QTest::keyClick(f.KeyTarget(), Qt::Key_B, Qt::ControlModifier); }, "folder browser");
  CheckModal([&] { QTest::keyClick(f.KeyTarget(), Qt::Key_O, Qt::ControlModifier); }, "open dialog");
  CheckModal([&] { f.program().dialogs().ShowCodecError(f.AppDir() + "broken.avi"); }, "Error Info");
  CheckModal([&] { QTest::mouseClick(f.window().button("btnAbout"), Qt::LeftButton); }, "About");
}

TEST(AppSoundSources, TheOpenDialogOffersSoundFilesAndTheListTakesThemKeepingKeysTypedMeanwhile) {
  AppFixture f;
  f.Start();
  const std::string mp3 = f.AppDir() + "song.mp3", wav = f.AppDir() + "take.WAV";
  testing_support::MakeSoundClip(".mp3", 3, mp3);
  testing_support::MakeSoundClip(".wav", 2, wav);
  f.dialogs.open_answers.push_back({mp3, wav});
  // A key typed while the files are added, as the window system hands it over,
  // counts once they are in: Ctrl+A selects both rows, not just the first.
  bool typed_while_busy = false;
  QTimer::singleShot(0, [&] {
    typed_while_busy = f.program().InitFileForm().Form.Visible();
    QTest::keyClick(f.window().windowHandle(), Qt::Key_A, Qt::ControlModifier);
  });
  QTest::keyClick(f.KeyTarget(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return f.form().dxTreeSourceFileInfo.SelectedCount() == 2; }));
  EXPECT_TRUE(typed_while_busy);
  ASSERT_EQ(f.form().dxTreeSourceFileInfo.RowCount(), 2);
  ASSERT_EQ(f.dialogs.open_requests.size(), 1u);
  const std::string& filter = f.dialogs.open_requests[0].filter;
  EXPECT_EQ(filter.rfind("All supported files|", 0), 0u) << filter;
  EXPECT_NE(filter.find("|Audio files|*.mp3;*.wav;*.m4a;*.aac;*.flac;*.ogg;*.opus;*.wma;"), std::string::npos);
  // The rows are in the grid the user sees, with their lengths.
  QAbstractItemModel* model = f.window().grid()->QTableView::model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->index(0, 3).data().toString(), "00:00:03");
  EXPECT_EQ(model->index(1, 3).data().toString(), "00:00:02");
  EXPECT_EQ(f.dialogs.codec_errors, 0);
}

TEST(AppSecondStart, HandsItsFilesToTheRunningWindowAndEnds) {
  testing_support::PrivateBus bus;
  ASSERT_TRUE(bus.ok()) << bus.error();
  AppFixture f;
  f.Start();
  std::string why;
  ASSERT_TRUE(f.application->ListenForOtherStarts(why)) << why;
  std::filesystem::create_directory(f.AppDir() + "media");
  testing_support::MakeSoundClip(".mp3", 2, f.AppDir() + "media/song.mp3");
  testing_support::MakeClip(".avi", 2, f.AppDir() + "media/clip.avi");

  // The real program, started again from the media folder with relative names.
  const std::string command = "cd '" + f.AppDir() + "media' && exec '" VTPC_EXECUTABLE "' song.mp3 clip.avi notes.txt";
  pid_t second = 0;
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  ASSERT_EQ(posix_spawn(&second, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  int status = -1;
  const bool ended = WaitFor([&] { return ::waitpid(second, &status, WNOHANG) == second; }, 15000);
  if (!ended) {
    ::kill(second, SIGKILL);  // it opened a window of its own instead
    ::waitpid(second, &status, 0);
  }
  ASSERT_TRUE(ended) << "the second start did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(WaitFor([&] { return f.form().dxTreeSourceFileInfo.RowCount() == 2; }));
  EXPECT_EQ(f.form().dxTreeSourceFileInfo.Cell(0, 1), f.AppDir() + "media/song.mp3");
  EXPECT_EQ(f.form().dxTreeSourceFileInfo.Cell(1, 1), f.AppDir() + "media/clip.avi");
  EXPECT_EQ(f.window().grid()->QTableView::model()->rowCount(), 2);
}

TEST(AppTimeLeft, EstimatesFirstThenNeverAboveTwiceTheRealRestInARealBatch) {
  const std::string encoder = std::string(VTPC_PROGRAM_DIR) + "evc";
  if (!std::filesystem::exists(encoder)) GTEST_SKIP() << "no encoder built yet";
  platform::ProcProcessTable table;
  const std::string name = "vttl" + std::to_string(getpid() % 100000);
  app::ApplicationOptions options;
  options.processes = &table;
  options.encoder_name = name;
  options.rm_encoder_name = "r" + name;
  options.timing.convert_prepare_ms = 300;
  options.timing.convert_grace_ms = 600;
  AppFixture f(options);
  ASSERT_EQ(::symlink(encoder.c_str(), (f.AppDir() + name).c_str()), 0);
  f.Start();
  std::filesystem::create_directory(f.AppDir() + "media");
  std::vector<std::string> clips;
  // Long enough that the encoder reports its progress several times a row.
  for (int seconds : {16, 5, 20}) {
    clips.push_back(f.AppDir() + "media/clip" + std::to_string(seconds) + ".avi");
    ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                           "testsrc=size=640x480:rate=25:duration=" + std::to_string(seconds), "-c:v",
                                           "mpeg4", clips.back()}),
              0);
  }
  f.form().WMDropFiles(clips);
  ASSERT_EQ(f.form().dxTreeSourceFileInfo.RowCount(), 3);
  f.form().edtOutputFolder.SetText(f.AppDir() + "out");
  f.form().chkShowOutputDirectory.SetChecked(false);

  // What the label in the window showed, and when, while the batch ran.
  auto* label = f.application->progressWindow().findChild<QLabel*>("lblTimeLeft");
  ASSERT_TRUE(label);
  std::vector<std::pair<qint64, QString>> shown;
  QElapsedTimer clock;
  clock.start();
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    const bool first_done = f.program().CustomProc().FilesDone >= 1;
    if (shown.empty() || shown.back().second != label->text() || first_done)
      shown.emplace_back(first_done ? clock.elapsed() : -1, label->text());
  });
  watcher.start();
  QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton);
  watcher.stop();
  const qint64 end = clock.elapsed();
  f.program().CommonLib().StopEncoder(name);

  ASSERT_FALSE(shown.empty());
  std::vector<QString> texts;
  for (const auto& entry : shown)
    if (texts.empty() || texts.back() != entry.second) texts.push_back(entry.second);
  // Nothing to go by at first: it says so rather than guess.
  const auto first_figure =
      std::find_if(texts.begin(), texts.end(), [](const QString& t) { return t.startsWith("Time left: 0"); });
  std::string all;
  for (const QString& t : texts) all += "[" + t.toStdString() + "]";
  ASSERT_NE(first_figure, texts.end()) << all;
  EXPECT_NE(std::find(texts.begin(), first_figure, "Time left: estimating..."), first_figure) << all;
  int checked = 0;
  for (const auto& [at, text] : shown) {
    if (at < 0 || !text.startsWith("Time left: 0")) continue;
    const QStringList hms = text.mid(11).split(':');
    const qint64 estimate_ms = (hms[0].toLongLong() * 3600 + hms[1].toLongLong() * 60 + hms[2].toLongLong()) * 1000;
    const qint64 real_ms = end - at;
    if (real_ms < 1000) continue;
    EXPECT_LE(estimate_ms, 2 * real_ms + 1000) << text.toStdString() << " with " << real_ms << " ms left";
    ++checked;
  }
  EXPECT_GT(checked, 0);
}
