// A fresh Program in a temporary program folder (with Config/), on fake services.
#pragma once

#include <memory>

#include "common/helpers.h"
#include "fake_preview_graph.h"
#include "fakes.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace testing_support {

// Lines of a program folder's log.txt without the "Quorvan Soft <date> <time>|" prefix.
std::vector<std::string> ReadLogMessages(const std::string& app_dir);

struct TestProgram {
  TestProgram();
  explicit TestProgram(ui::Timing timing);
  // On a desktop of the test's choosing (a D-Bus one on a private bus).
  TestProgram(ui::Timing timing, platform::Desktop* desktop);

  TempDir dir;
  FakeDialogs dialogs;
  FakeEventLoop loop;
  FakeLauncher launcher;
  FakePowerControl power;
  // The engine's process table: pretend processes only.
  FakeProcessTable processes;
  // The after-batch services in the order they were called: "open <folder>",
  // "power off", "quit". Program::Quit only records here.
  std::vector<std::string> journal;
  int quits = 0;
  // Its position moves with the loop's virtual time while it runs.
  FakePreviewGraph graph{&loop.clock};
  std::unique_ptr<Program> program;

  Program& operator*() { return *program; }
  Program* operator->() { return program.get(); }
  std::string AppDir() const { return dir.path(); }
  std::vector<std::string> LogMessages() const { return ReadLogMessages(dir.path()); }
};

}  // namespace testing_support
