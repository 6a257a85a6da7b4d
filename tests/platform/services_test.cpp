#include "platform/services.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fakes.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "test_program.h"

TEST(SpawnDetached, StartsTheProgramWithItsArgumentWholeAndDoesNotWait) {
  testing_support::TempDir dir;
  const std::string target = dir.file("a file; with \"quotes\" and $HOME");
  // `touch` stands in for the file manager: it must receive the target as one argument.
  ASSERT_TRUE(platform::SpawnDetached("touch", target));
  for (int i = 0; i < 200 && !testing_support::Exists(target); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(testing_support::Exists(target));
}

TEST(ProgramServices, WithoutRealServicesTheDesktopIsNeverReached) {
  testing_support::TempDir dir;
  testing_support::FakeDialogs dialogs;
  testing_support::FakeEventLoop loop;
  ProgramServices services;
  services.app_dir = dir.path();
  services.dialogs = &dialogs;
  services.loop = &loop;
  Program program(std::move(services));
  EXPECT_NE(dynamic_cast<platform::InertPowerControl*>(&program.power()), nullptr);
  EXPECT_NE(dynamic_cast<platform::InertLauncher*>(&program.launcher()), nullptr);
  EXPECT_NE(dynamic_cast<platform::InertDesktop*>(&program.desktop()), nullptr);
  EXPECT_EQ(program.AppDir(), dir.path());
}

TEST(PlatformNames, DefaultsLiveInTheHomeFolder) {
  EXPECT_EQ(platform::DefaultInitDir(), platform::HomeFolder() + "/");
  const std::string folder = platform::ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(platform::ExecutablePath().rfind(folder, 0), 0u);
}
