#include "app_fixture.h"

#include <QElapsedTimer>
#include <filesystem>

namespace testing_support {

AppFixture::AppFixture(bool with_libraries, bool real_dialogs) : AppFixture(app::ApplicationOptions{}, real_dialogs) {
  if (!with_libraries) {
    std::filesystem::remove(dir.path() + "Res.so");
    std::filesystem::remove(dir.path() + "Form.so");
  }
}

AppFixture::AppFixture(app::ApplicationOptions given, bool real_dialogs) : options(std::move(given)) {
  options.dialogs = real_dialogs ? nullptr : &dialogs;
  std::filesystem::create_directory(dir.path() + "Config");
  std::filesystem::copy_file(VTPC_RES_SO, dir.path() + "Res.so");
  std::filesystem::copy_file(VTPC_FORM_SO, dir.path() + "Form.so");
  options.app_dir = dir.path();
  // An installed layout handed in finds its program files in the fixture's folder.
  if (options.layout.installed) options.layout.program_folder = dir.path();
  options.executable_path = VTPC_EXECUTABLE;
  options.launcher = &launcher;
  options.power = &power;
  options.timing.splash_init_ms = 10;
  options.timing.splash_tick_ms = 20;
  application = std::make_unique<app::Application>(options);
}

AppFixture::~AppFixture() {
  application.reset();
  // Windows deleted later must go while their program folder still exists.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void AppFixture::Reopen() {
  application.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  application = std::make_unique<app::Application>(options);
}

void AppFixture::Start() {
  application->Start();
  WaitFor([this] { return window().isVisible(); });
  window().activateWindow();
  WaitFor([this] { return QApplication::activeWindow() == &window(); }, 1000);
}

QWidget* AppFixture::KeyTarget() {
  QWidget* focus = QApplication::focusWidget();
  return focus && focus->window() == &window() ? focus : &window();
}

bool WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(5);
  }
  return true;
}

}  // namespace testing_support
