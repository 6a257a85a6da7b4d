// A whole front end in a temporary program folder with the sibling libraries,
// on fake dialogs and desktop services, with short start-up times.
#pragma once

#include <QApplication>
#include <QTest>
#include <memory>

#include "app/application.h"
#include "app/main_window_view.h"
#include "fakes.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace testing_support {

struct AppFixture {
  // with_libraries false: a program folder without Res.so and Form.so.
  explicit AppFixture(bool with_libraries = true, bool real_dialogs = false);
  // With the options filled in by the caller (program folder, fakes and short
  // start-up times are set here; an installed layout gets the program folder).
  explicit AppFixture(app::ApplicationOptions options, bool real_dialogs = false);
  ~AppFixture();

  TempDir dir;
  FakeDialogs dialogs;
  FakeLauncher launcher;
  FakePowerControl power;
  std::unique_ptr<app::Application> application;
  app::ApplicationOptions options;

  Program& program() { return application->program(); }
  TFrmMainForm& form() { return program().MainForm(); }
  app::MainWindowView& window() { return application->mainWindow(); }
  std::string AppDir() const { return dir.path(); }
  // Starts the program and waits until the main window is shown.
  void Start();
  // A new start of the program in the same program folder, as after closing it.
  void Reopen();
  // The widget a key press reaches first.
  QWidget* KeyTarget();
};

// Runs Qt's events until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000);

}  // namespace testing_support
