// A real conversion through the real windows: the Convert button, the progress
// window and its Stop button, with the real encoder running under a name of the
// test's own, so the Stop can only ever end what this test started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/converting_view.h"
#include "app/skin.h"
#include "app_fixture.h"
#include "common/helpers.h"
#include "engine/converting_form.h"
#include "engine/process_table.h"
#include "platform/process_table.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "test_media.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

namespace {

std::string EncoderPath() {
  const char* override_path = std::getenv("VTPC_E2E_ENCODER");
  return override_path ? override_path : std::string(VTPC_PROGRAM_DIR) + "evc";
}

app::ApplicationOptions ConversionOptions(platform::ProcessTable& table, const std::string& name) {
  app::ApplicationOptions options;
  options.processes = &table;
  options.encoder_name = name;
  options.rm_encoder_name = "r" + name;
  options.timing.convert_prepare_ms = 200;
  options.timing.convert_grace_ms = 500;
  return options;
}

}  // namespace

TEST(AppConversion, StopThroughTheProgressWindowsButtonEndsARealConversion) {
  if (!testing_support::Exists(EncoderPath())) GTEST_SKIP() << "no encoder at " << EncoderPath() << " yet";
  platform::ProcProcessTable table;
  const std::string name = "vtapp" + std::to_string(getpid() % 100000);
  AppFixture f(ConversionOptions(table, name));
  ASSERT_EQ(::symlink(EncoderPath().c_str(), (f.AppDir() + name).c_str()), 0);
  f.Start();
  // A clip long enough to be stopped while it converts, even on a fast machine:
  // the stop waits for two progress reports.
  std::filesystem::create_directory(f.AppDir() + "media");
  ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=5:duration=1200", "-c:v", "mpeg4",
                                         f.AppDir() + "media/long.avi"}),
            0);
  testing_support::MakeClip(".avi", 2, f.AppDir() + "media/next.avi");
  f.form().WMDropFiles({f.AppDir() + "media/long.avi", f.AppDir() + "media/next.avi"});
  ASSERT_EQ(f.form().dxTreeSourceFileInfo.RowCount(), 2);
  f.form().edtOutputFolder.SetText(f.AppDir() + "out");
  f.form().chkShowOutputDirectory.SetChecked(true);

  // While the batch runs (inside the Convert click), wait for the encoder and
  // the window, then press Stop and answer Yes.
  f.dialogs.yes_no_answers.push_back(true);
  bool pressed = false, window_was_shown = false, main_was_disabled = false;
  QTimer watcher;
  watcher.setInterval(50);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (pressed) return;
    // Once the encoder has reported its progress twice.
    const bool running = f.program().SysFunc().ProcessIdByName(name) != 0;
    app::ConvertingView& window = f.application->progressWindow();
    const TfrmConverting& progress = f.program().ConvertingForm();
    if (!running || !window.isVisible() || f.program().CustomProc().RefreshCount < 2 ||
        progress.statState.PanelText().find("time=") == std::string::npos)
      return;
    window_was_shown = true;
    main_was_disabled = !f.window().isEnabled();
    pressed = true;
    QTest::mouseClick(window.findChild<app::skin::SkinButton*>("btnStop"), Qt::LeftButton);
  });
  watcher.start();
  QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton);
  watcher.stop();

  EXPECT_TRUE(pressed);
  EXPECT_TRUE(window_was_shown);
  EXPECT_TRUE(main_was_disabled);
  ASSERT_EQ(f.dialogs.questions.size(), 1u);
  EXPECT_EQ(f.dialogs.questions[0], "Video To Plim Converter|Are you sure you want to stop the work ? ");
  EXPECT_FALSE(f.application->progressWindow().isVisible());
  EXPECT_TRUE(f.window().isEnabled());
  EXPECT_EQ(f.program().SysFunc().ProcessIdByName(name), 0u);
  // The stopped row leaves its part; the next row was not converted and the
  // output folder was not opened.
  const auto outputs = TFileFunc::ListFolderFiles(f.AppDir() + "out/");
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0], f.AppDir() + "out/long.partial.mp4");
  // What the window showed meanwhile came from the encoder's own lines.
  EXPECT_EQ(f.program().ConvertingForm().lblPersent.Caption(), "Current: 1, Total: ...");
  EXPECT_TRUE(f.launcher.opened.empty());
  EXPECT_EQ(f.form().Form.Enabled(), true);
  // The list says so: the stopped row with the part it kept, and nothing for
  // the row never reached.
  EXPECT_EQ(ui::StatusText(f.form().dxTreeSourceFileInfo.Status(0)), "Stopped: long.partial.mp4");
  EXPECT_EQ(ui::StatusText(f.form().dxTreeSourceFileInfo.Status(1)), "");
  f.program().CommonLib().StopEncoder(name);
}

TEST(AppConversion, PauseAndResumeThroughTheProgressWindowKeepTheOutputPlayable) {
  if (!testing_support::Exists(EncoderPath())) GTEST_SKIP() << "no encoder at " << EncoderPath() << " yet";
  platform::ProcProcessTable table;
  const std::string name = "vtpau" + std::to_string(getpid() % 100000);
  AppFixture f(ConversionOptions(table, name));
  ASSERT_EQ(::symlink(EncoderPath().c_str(), (f.AppDir() + name).c_str()), 0);
  f.Start();
  std::filesystem::create_directory(f.AppDir() + "media");
  ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=25:duration=300", "-c:v", "mpeg4",
                                         f.AppDir() + "media/clip.avi"}),
            0);
  f.form().WMDropFiles({f.AppDir() + "media/clip.avi"});
  f.form().edtOutputFolder.SetText(f.AppDir() + "out");
  f.form().chkShowOutputDirectory.SetChecked(false);

  app::ConvertingView& window = f.application->progressWindow();
  auto* pause = window.findChild<app::skin::SkinButton*>("btnPause");
  auto* resume = window.findChild<app::skin::SkinButton*>("btnResume");
  auto* time_left = window.findChild<QLabel*>("lblTimeLeft");
  ASSERT_TRUE(pause && resume && time_left);
  enum { kRunning, kPaused, kResumed } phase = kRunning;
  pid_t pid = 0;
  QElapsedTimer paused_for;
  bool shown_paused = false, suspended = false, shown_running = false, running_again = false;
  std::string estimate;
  QTimer watcher;
  watcher.setInterval(50);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    const TfrmConverting& progress = f.program().ConvertingForm();
    if (time_left->text().startsWith("Time left: ")) estimate = time_left->text().toStdString();
    if (phase == kRunning) {
      if (!window.isVisible() || progress.statState.PanelText().find("time=") == std::string::npos) return;
      pid = f.program().SysFunc().ProcessIdByName(name);
      shown_running = pause->isVisible() && !resume->isVisible();
      QTest::mouseClick(pause, Qt::LeftButton);
      shown_paused = !pause->isVisible() && resume->isVisible() && time_left->text() == "Paused";
      paused_for.start();
      phase = kPaused;
    } else if (phase == kPaused && paused_for.elapsed() >= 1000) {
      suspended = testing_support::ProcessState(pid) == 'T';
      QTest::mouseClick(resume, Qt::LeftButton);
      running_again = testing_support::ProcessState(pid) != 'T' && pause->isVisible() && !resume->isVisible();
      phase = kResumed;
    }
  });
  watcher.start();
  QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton);
  watcher.stop();

  ASSERT_EQ(phase, kResumed) << "the encoder finished before it could be paused";
  EXPECT_TRUE(shown_running);
  EXPECT_TRUE(shown_paused);
  EXPECT_TRUE(suspended);
  EXPECT_TRUE(running_again);
  EXPECT_EQ(estimate.rfind("Time left: 00:", 0), 0u) << estimate;
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(f.dialogs.messages.empty());
  // The whole clip decodes without an error.
  EXPECT_EQ(testing_support::RunProgram(
                {"ffmpeg", "-v", "error", "-xerror", "-i", f.AppDir() + "out/clip.mp4", "-f", "null", "-"}),
            0);
  f.program().CommonLib().StopEncoder(name);
}

TEST(AppConversion, TheStatusColumnFollowsTheBatchAndFailuresStillReachTheClosingBox) {
  if (!testing_support::Exists(EncoderPath())) GTEST_SKIP() << "no encoder at " << EncoderPath() << " yet";
  platform::ProcProcessTable table;
  const std::string name = "vtsta" + std::to_string(getpid() % 100000);
  AppFixture f(ConversionOptions(table, name));
  ASSERT_EQ(::symlink(EncoderPath().c_str(), (f.AppDir() + name).c_str()), 0);
  f.Start();
  std::filesystem::create_directory(f.AppDir() + "media");
  ASSERT_EQ(testing_support::RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=5:duration=300", "-c:v", "mpeg4",
                                         f.AppDir() + "media/a.avi"}),
            0);
  testing_support::MakeClip(".avi", 2, f.AppDir() + "media/b.avi");
  testing_support::MakeSoundClip(".wav", 2, f.AppDir() + "media/c.wav");
  std::filesystem::copy_file(f.AppDir() + "media/b.avi", f.AppDir() + "media/d.avi");
  f.form().WMDropFiles(
      {f.AppDir() + "media/a.avi", f.AppDir() + "media/b.avi", f.AppDir() + "media/c.wav", f.AppDir() + "media/d.avi"});
  ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ASSERT_EQ(grid.RowCount(), 4);
  grid.SetCell(1, ui::kColEnd, "1:30");  // refused by the builder
  // A start typed at the end leaves nothing to convert: refused, not made one frame long.
  grid.SetCell(3, ui::kColStart, grid.Cell(3, ui::kColEnd));
  grid.SetCell(2, ui::kColChecked, "False");
  f.form().edtOutputFolder.SetText(f.AppDir() + "out");
  f.form().chkShowOutputDirectory.SetChecked(false);

  QAbstractItemModel* model = f.window().grid()->QTableView::model();
  ASSERT_EQ(model->headerData(7, Qt::Horizontal).toString(), "Status");
  auto status = [&](int row) { return model->data(model->index(row, 7)).toString().toStdString(); };
  // What the status column showed while the batch ran, each text once.
  std::vector<std::vector<std::string>> seen(3);
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (int row = 0; row < 3; ++row)
      if (seen[row].empty() || seen[row].back() != status(row)) seen[row].push_back(status(row));
  });
  watcher.start();
  QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton);
  watcher.stop();

  EXPECT_EQ(status(0), "Done: a.mp4");
  EXPECT_EQ(status(1), "Failed: the end time \"1:30\" is not a time of the form hh:mm:ss");
  EXPECT_EQ(status(2), "");
  EXPECT_EQ(status(3), "Failed: the range is empty (start 00:00:02, end 00:00:02)");
  EXPECT_EQ(model->data(model->index(1, 7), Qt::ToolTipRole).toString().toStdString(), status(1));
  // The first row counted up while it converted, the second waited meanwhile.
  int rising = 0, last = -1;
  for (const std::string& text : seen[0]) {
    int percent = -1;
    if (std::sscanf(text.c_str(), "Converting %d%%", &percent) != 1) continue;
    if (percent > last && last >= 0) ++rising;
    last = percent;
  }
  EXPECT_GE(rising, 1) << ::testing::PrintToString(seen[0]);
  EXPECT_NE(std::find(seen[1].begin(), seen[1].end(), "Waiting"), seen[1].end()) << ::testing::PrintToString(seen[1]);
  EXPECT_EQ(seen[2], std::vector<std::string>{""});
  // The failure is still named when the batch closes.
  ASSERT_EQ(f.dialogs.messages.size(), 1u);
  EXPECT_EQ(f.dialogs.messages[0].text, "These files could not be converted:\n" + f.AppDir() +
                                            "media/b.avi (the end time \"1:30\" is not a time of the form hh:mm:ss)\n" +
                                            f.AppDir() +
                                            "media/d.avi (the range is empty (start 00:00:02, end 00:00:02))");

  // Converted again, a row loses its old status at once and ends with its new
  // output; a sound file's MP4 says it holds sound only.
  grid.SetCell(1, ui::kColChecked, "False");
  grid.SetCell(2, ui::kColChecked, "True");
  grid.SetCell(3, ui::kColChecked, "False");
  seen.assign(3, {});
  watcher.start();
  QTest::mouseClick(f.window().button("btnConvert"), Qt::LeftButton);
  watcher.stop();
  ASSERT_FALSE(seen[0].empty());
  EXPECT_NE(seen[0].front(), "Done: a.mp4") << ::testing::PrintToString(seen[0]);
  EXPECT_EQ(status(0), "Done: a_1.mp4");
  EXPECT_EQ(status(1), "Failed: the end time \"1:30\" is not a time of the form hh:mm:ss");
  EXPECT_EQ(status(2), "Done: c.mp4, sound only");
  f.program().CommonLib().StopEncoder(name);
}
