// The desktop services against python3-dbusmock's logind and notification
// daemon on a private bus: the inhibitor, the screen saver, the notification
// and the power-off, and what happens when a bus or a service is missing.
#include "platform/desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "platform/child_process.h"
#include "private_bus.h"

using testing_support::Eventually;
using testing_support::PrivateBus;

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kScreenSaver = "org.freedesktop.ScreenSaver";
constexpr const char* kTitle = "Video To Plim Converter";

std::vector<std::string> CallsOf(const std::vector<std::string>& calls, const std::string& method) {
  std::vector<std::string> result;
  for (const std::string& call : calls)
    if (call.rfind(method + " ", 0) == 0 || call == method) result.push_back(call);
  return result;
}

class DesktopOnPrivateBus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bus.ok()) << bus.error();
    desktop = std::make_unique<platform::DBusDesktop>(kTitle, platform::BusAddresses{bus.address(), bus.address()});
    desktop->SetLog([this](const std::string& line) { log.push_back(line); });
  }
  bool StartScreenSaver() {
    return bus.StartMock(kScreenSaver, "/org/freedesktop/ScreenSaver", kScreenSaver) &&
           bus.AddMethod(kScreenSaver, "/org/freedesktop/ScreenSaver", kScreenSaver, "Inhibit", "ss", "u", "ret = 7") &&
           bus.AddMethod(kScreenSaver, "/org/freedesktop/ScreenSaver", kScreenSaver, "UnInhibit", "u", "", "");
  }

  PrivateBus bus;
  std::unique_ptr<platform::DBusDesktop> desktop;
  std::vector<std::string> log;
};

}  // namespace

TEST_F(DesktopOnPrivateBus, TheSleepInhibitorLastsExactlyAsLongAsItsHold) {
  ASSERT_TRUE(bus.StartTemplate("logind", kLogind));
  auto hold = desktop->KeepAwake(platform::kBatchInhibitReason);
  ASSERT_NE(hold, nullptr);
  EXPECT_EQ(bus.Inhibitors(), std::vector<std::string>{"sleep:idle|Video To Plim Converter|Converting videos|block"});
  EXPECT_EQ(CallsOf(bus.Calls(kLogind), "Inhibit"),
            std::vector<std::string>{R"(Inhibit "sleep:idle" "Video To Plim Converter" "Converting videos" "block")"});

  // A child started while it is held (as every encoder is) must not keep it.
  auto child = platform::PipedChild::Start({"/bin/sleep", "30"}, "/");
  ASSERT_NE(child, nullptr);
  hold.reset();
  EXPECT_TRUE(Eventually([&] { return bus.Inhibitors().empty(); }, 3000)) << "the child kept the inhibitor";
  child->Signal(SIGKILL);
  child->WaitForExit(2000);
  EXPECT_TRUE(log.empty());
}

TEST_F(DesktopOnPrivateBus, OneNotificationSaysHowTheBatchWent) {
  ASSERT_TRUE(bus.StartTemplate("notification_daemon", kNotifications));
  platform::NotifyBatchFinished(*desktop, 2, 1);
  const auto notes = CallsOf(bus.Calls(kNotifications), "Notify");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind(R"(Notify "Video To Plim Converter" 0 )", 0), 0u) << notes[0];
  EXPECT_NE(notes[0].find(R"("Conversion finished" "2 files converted, 1 failed.")"), std::string::npos) << notes[0];

  EXPECT_EQ(platform::BatchResultText(1, 0), "1 file converted, 0 failed.");
  EXPECT_EQ(platform::BatchResultText(0, 3), "0 files converted, 3 failed.");
}

TEST_F(DesktopOnPrivateBus, TheScreenSaverStaysOffWhileTheHoldLives) {
  ASSERT_TRUE(StartScreenSaver());
  auto hold = desktop->KeepScreenOn(platform::kPreviewInhibitReason);
  ASSERT_NE(hold, nullptr);
  EXPECT_EQ(CallsOf(bus.Calls(kScreenSaver), "Inhibit"),
            std::vector<std::string>{R"(Inhibit "Video To Plim Converter" "Playing a preview")"});
  EXPECT_TRUE(CallsOf(bus.Calls(kScreenSaver), "UnInhibit").empty());
  hold.reset();
  EXPECT_EQ(CallsOf(bus.Calls(kScreenSaver), "UnInhibit"), std::vector<std::string>{"UnInhibit 7"});
}

TEST_F(DesktopOnPrivateBus, MissingServicesAreSkippedWithOneLogLineEach) {
  // A bus with nobody on it: every call fails at once, nothing throws.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(desktop->KeepAwake(platform::kBatchInhibitReason), nullptr);
    EXPECT_EQ(desktop->KeepScreenOn(platform::kPreviewInhibitReason), nullptr);
    desktop->Notify("Conversion finished", "1 file converted, 0 failed.");
  }
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("Keeping the computer awake skipped: ", 0), 0u) << log[0];
  EXPECT_EQ(log[1].rfind("Keeping the screen saver off skipped: ", 0), 0u) << log[1];
  EXPECT_EQ(log[2].rfind("The desktop notification skipped: ", 0), 0u) << log[2];

  // Once the service is there, it works; when it goes again, that is logged anew.
  ASSERT_TRUE(bus.StartTemplate("logind", kLogind));
  EXPECT_NE(desktop->KeepAwake(platform::kBatchInhibitReason), nullptr);
  bus.StopMock(kLogind);
  EXPECT_EQ(desktop->KeepAwake(platform::kBatchInhibitReason), nullptr);
  EXPECT_EQ(log.size(), 4u);
}

TEST(DesktopWithoutABus, NothingFailsAndEachFeatureSaysSoOnce) {
  testing_support::TempDir dir;
  const std::string nowhere = "unix:path=" + dir.file("no-bus");
  platform::DBusDesktop desktop(kTitle, {nowhere, nowhere});
  std::vector<std::string> log;
  desktop.SetLog([&](const std::string& line) { log.push_back(line); });
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(desktop.KeepAwake(platform::kBatchInhibitReason), nullptr);
    EXPECT_EQ(desktop.KeepScreenOn(platform::kPreviewInhibitReason), nullptr);
    desktop.Notify("s", "b");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[0].find("cannot reach the system bus"), std::string::npos) << log[0];
  EXPECT_NE(log[2].find("cannot reach the session bus"), std::string::npos) << log[2];

  std::string reason;
  EXPECT_FALSE(platform::LogindPowerControl(nowhere).PowerOff(reason));
  EXPECT_NE(reason.find("cannot reach the system bus"), std::string::npos) << reason;
}

TEST_F(DesktopOnPrivateBus, PowerOffAsksLogindInteractivelyAndReportsARefusal) {
  ASSERT_TRUE(bus.StartTemplate("logind", kLogind));
  platform::LogindPowerControl power(bus.address());
  std::string reason;
  EXPECT_TRUE(power.PowerOff(reason)) << reason;
  EXPECT_EQ(CallsOf(bus.Calls(kLogind), "PowerOff"), std::vector<std::string>{"PowerOff True"});

  ASSERT_TRUE(bus.AddMethod(kLogind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PowerOff", "b", "",
                            "raise dbus.exceptions.DBusException('Interactive authentication required.', "
                            "name='org.freedesktop.DBus.Error.InteractiveAuthorizationRequired')"));
  EXPECT_FALSE(power.PowerOff(reason));
  EXPECT_EQ(reason, "Interactive authentication required.");
}
