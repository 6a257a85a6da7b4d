// Start-up and memory of the front end against a minimal Qt Widgets window.
//   app_startup_bench app PROGRAM_FOLDER [MEDIA_FILE...]
//   app_startup_bench baseline [MEDIA_FILE...]
// Prints "ready" when its main window is exposed (the caller times that from
// the start of the process), then adds the files (100 in the benchmark) and
// prints "rss_kb N" with the resident memory afterwards.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/application.h"
#include "app/main_window_view.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return -1;
}

void WaitExposed(QWidget& window) {
  QElapsedTimer t;
  t.start();
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QCoreApplication::processEvents();
}

void Settle() {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

int Baseline(const std::vector<std::string>& files) {
  QWidget window;
  window.resize(692, 519);
  auto* table = new QTableWidget(0, 7, &window);
  table->setGeometry(12, 262, 548, 240);
  window.show();
  WaitExposed(window);
  std::printf("ready\n");
  std::fflush(stdout);
  for (const auto& file : files) {
    const int row = table->rowCount();
    table->insertRow(row);
    const QFileInfo info(QString::fromStdString(file));
    const QStringList cells{
        "True", info.absoluteFilePath(), QString::number(info.size()), "00:00:01", "00:00:00", "00:00:01", "00:00:01"};
    for (int c = 0; c < 7; ++c) table->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  Settle();
  std::printf("rss_kb %ld\n", ResidentKb());
  return 0;
}

int App(const std::string& program_folder, const std::vector<std::string>& files) {
  app::ApplicationOptions options;
  options.app_dir = program_folder + "/";
  options.executable_path = options.app_dir + "video-to-plim-converter";
  // The splash's minimum stay is left out: it is a fixed two seconds by design.
  options.timing.splash_init_ms = 1;
  options.timing.splash_tick_ms = 1;
  options.timing.splash_min_ticks = 0;
  options.end_process = [](int code) { std::_Exit(code); };
  app::Application application(options);
  application.Start();
  WaitExposed(application.mainWindow());
  std::printf("ready\n");
  std::fflush(stdout);
  // Added as a drop from a file manager adds them: each probed for its duration.
  application.program().MainForm().WMDropFiles(files);
  const int rows = application.program().MainForm().dxTreeSourceFileInfo.RowCount();
  if (rows != static_cast<int>(files.size())) std::fprintf(stderr, "only %d of %zu files added\n", rows, files.size());
  Settle();
  std::printf("rss_kb %ld\n", ResidentKb());
  std::fflush(stdout);
  std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "baseline") return Baseline(std::vector<std::string>(argv + 2, argv + argc));
  if (mode == "app" && argc > 2) return App(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  std::fprintf(stderr, "usage: app_startup_bench baseline|app PROGRAM_FOLDER [MEDIA_FILE...]\n");
  return 2;
}
