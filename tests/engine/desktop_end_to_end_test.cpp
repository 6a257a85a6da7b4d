// Whole batches with the real encoder on a desktop of the test's own: logind
// and the notification daemon are python3-dbusmock services on a private bus,
// and the encoder runs under a name of the test's own, so nothing here can
// reach the machine's power-off or a process the test did not start.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "engine/converting_form.h"
#include "engine/process_table.h"
#include "engine_test_support.h"
#include "media_probe.h"
#include "platform/desktop.h"
#include "platform/process_table.h"
#include "private_bus.h"
#include "test_media.h"
#include "test_program.h"
#include "ui/event_loop.h"

using engine_tests::AddRow;
using engine_tests::ProbeMedia;
using testing_support::Exists;
using testing_support::ProcessState;

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kNotifications = "org.freedesktop.Notifications";

std::vector<std::string> CallsOf(const std::vector<std::string>& calls, const std::string& method) {
  std::vector<std::string> result;
  for (const std::string& call : calls)
    if (call.rfind(method + " ", 0) == 0) result.push_back(call);
  return result;
}

class OnTheDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* override_path = std::getenv("VTPC_E2E_ENCODER");
    const std::string encoder = override_path ? override_path : std::string(VTPC_PROGRAM_DIR) + "evc";
    if (!Exists(encoder)) GTEST_SKIP() << "no encoder at " << encoder << " yet";
    ASSERT_TRUE(bus.ok()) << bus.error();
    ASSERT_TRUE(bus.StartTemplate("logind", kLogind));
    ASSERT_TRUE(bus.StartTemplate("notification_daemon", kNotifications));

    ::mkdir((dir.path() + "Config").c_str(), 0755);
    ::mkdir((dir.path() + "media").c_str(), 0755);
    name = engine_tests::UniqueProcessName("dsk");
    ASSERT_EQ(::symlink(encoder.c_str(), (dir.path() + name).c_str()), 0);
    desktop = std::make_unique<platform::DBusDesktop>("Video To Plim Converter",
                                                      platform::BusAddresses{bus.address(), bus.address()});
    power = std::make_unique<platform::LogindPowerControl>(bus.address());

    ProgramServices services;
    services.app_dir = dir.path();
    services.dialogs = &dialogs;
    services.loop = &loop;
    services.desktop = desktop.get();
    services.power = power.get();
    services.processes = &table;
    services.encoder_name = name;
    services.rm_encoder_name = "r" + name;
    services.quit = [this] { ++quits; };
    services.timing.convert_prepare_ms = 200;
    services.timing.convert_grace_ms = 500;
    program = std::make_unique<Program>(std::move(services));
    engine_tests::SetUpConversionLists(*program);
    program->MainForm().edtOutputFolder.SetText(out());
    program->MainForm().chkShowOutputDirectory.SetChecked(false);
  }

  void TearDown() override {
    if (program) program->CommonLib().StopEncoder(name);
  }

  std::string out() const { return dir.path() + "out"; }
  std::string media(const std::string& file) const { return dir.path() + "media/" + file; }
  std::vector<std::string> Notifications() const { return CallsOf(bus.Calls(kNotifications), "Notify"); }
  // Runs the batch with a watcher that looks at the world every 20 ms meanwhile.
  void Convert(const std::function<void()>& watch) {
    ui::Timer watcher(20, true);
    watcher.OnTimer = watch;
    loop.Attach(watcher);
    program->MainForm().btnConvertClick();
    loop.Detach(watcher);
  }
  bool Reported() const {
    return program->CustomProc().RefreshCount >= 1 &&
           program->ConvertingForm().statState.PanelText().find("time=") != std::string::npos;
  }

  testing_support::PrivateBus bus;
  testing_support::TempDir dir;
  testing_support::FakeDialogs dialogs;
  ui::SteadyClock clock;
  ui::BasicEventLoop loop{clock};
  platform::ProcProcessTable table;
  std::unique_ptr<platform::DBusDesktop> desktop;
  std::unique_ptr<platform::LogindPowerControl> power;
  std::string name;
  int quits = 0;
  std::unique_ptr<Program> program;
};

}  // namespace

TEST_F(OnTheDesktop, MkvAndWebmConvertWhileTheMachineStaysAwakeThenOneNotification) {
  testing_support::MakeClip(".mkv", 2, media("a.mkv"));
  testing_support::MakeClip(".webm", 2, media("b.webm"));
  AddRow(*program, "True", media("a.mkv"));
  AddRow(*program, "True", media("b.webm"));
  EXPECT_TRUE(bus.Inhibitors().empty());

  std::vector<std::vector<std::string>> held;  // once per row, while its encoder reports
  int last_row = -1;
  Convert([&] {
    if (!Reported() || program->CustomProc().FilesDone == last_row) return;
    last_row = program->CustomProc().FilesDone;
    held.push_back(bus.Inhibitors());
  });

  const std::vector<std::string> ours{"sleep:idle|Video To Plim Converter|Converting videos|block"};
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0], ours);
  EXPECT_EQ(held[1], ours);
  EXPECT_TRUE(testing_support::Eventually([&] { return bus.Inhibitors().empty(); }, 3000)) << "held after the batch";
  for (const char* file : {"a.mp4", "b.mp4"}) {
    const auto facts = ProbeMedia(out() + "/" + file);
    EXPECT_TRUE(facts.opened) << file;
    EXPECT_GT(facts.video_frames, 0) << file;
    EXPECT_GT(facts.audio_frames, 0) << file;
    EXPECT_NEAR(facts.duration_s, 2, 0.25) << file;
  }
  const auto notes = Notifications();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find(R"("Conversion finished" "2 files converted, 0 failed.")"), std::string::npos) << notes[0];
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(CallsOf(bus.Calls(kLogind), "PowerOff").empty());
}

TEST_F(OnTheDesktop, ShutdownCallsLogindsPowerOffInsteadOfNotifying) {
  testing_support::MakeClip(".webm", 1, media("a.webm"));
  testing_support::WriteFile(media("broken.mkv"), "no video in here\n");
  AddRow(*program, "True", media("broken.mkv"));
  AddRow(*program, "True", media("a.webm"));
  program->MainForm().chkShutdown.SetChecked(true);
  program->MainForm().btnConvertClick();
  EXPECT_EQ(CallsOf(bus.Calls(kLogind), "PowerOff"), std::vector<std::string>{"PowerOff True"});
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(Notifications().empty());
  EXPECT_TRUE(ProbeMedia(out() + "/a.mp4").opened);
}

TEST_F(OnTheDesktop, RefusedPowerOffIsToldAndTheProgramGoesOn) {
  ASSERT_TRUE(bus.AddMethod(kLogind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PowerOff", "b", "",
                            "raise dbus.exceptions.DBusException('Access denied', "
                            "name='org.freedesktop.DBus.Error.AccessDenied')"));
  testing_support::MakeClip(".mkv", 1, media("a.mkv"));
  testing_support::WriteFile(media("broken.webm"), "no video in here\n");
  AddRow(*program, "True", media("a.mkv"));
  AddRow(*program, "True", media("broken.webm"));
  program->MainForm().chkShutdown.SetChecked(true);
  program->MainForm().btnConvertClick();
  EXPECT_EQ(CallsOf(bus.Calls(kLogind), "PowerOff"),
            (std::vector<std::string>{"PowerOff True",
                                      "PowerOff raised: org.freedesktop.DBus.Error.AccessDenied: "
                                      "Access denied"}));
  EXPECT_EQ(quits, 0);
  ASSERT_GE(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "The computer could not be shut down: Access denied");
  EXPECT_TRUE(program->MainForm().Form.Enabled());
  // The machine stays on, so the user hears how the batch went.
  const auto notes = Notifications();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("1 file converted, 1 failed."), std::string::npos) << notes[0];
}

TEST_F(OnTheDesktop, PauseSuspendsOurEncoderAndResumeFinishesAPlayableFile) {
  // About three thousand frames: seconds of work, so there is time to pause.
  ASSERT_TRUE(engine_tests::MakeClip(media("long.avi"), 120, "160x120", 25));
  AddRow(*program, "True", media("long.avi"));
  TfrmConverting& progress = program->ConvertingForm();
  enum { kRunning, kPaused, kResumed } phase = kRunning;
  pid_t pid = 0;
  int64_t paused_at = 0;
  std::string text_settled;
  bool stopped_state = false, frozen = false, running_again = false, shows_paused = false;
  Convert([&] {
    const int64_t now = clock.NowMs();
    if (phase == kRunning && Reported()) {
      pid = program->SysFunc().ProcessIdByName(name);
      progress.btnPause.Click();
      shows_paused = progress.Paused && progress.btnResume.Visible() && progress.lblTimeLeft.Caption() == "Paused";
      paused_at = now;
      phase = kPaused;
    } else if (phase == kPaused && text_settled.empty() && now - paused_at >= 700) {
      // What the encoder wrote just before it was suspended has come through by now.
      text_settled = progress.statState.PanelText();
    } else if (phase == kPaused && now - paused_at >= 1700) {
      stopped_state = ProcessState(pid) == 'T';
      frozen = progress.statState.PanelText() == text_settled;
      progress.btnResume.Click();
      running_again = ProcessState(pid) != 'T' && !progress.Paused && progress.btnPause.Visible();
      phase = kResumed;
    }
  });
  ASSERT_EQ(phase, kResumed) << "the encoder finished before it could be paused";
  EXPECT_TRUE(shows_paused);
  EXPECT_TRUE(stopped_state);
  EXPECT_TRUE(frozen) << "a suspended encoder reported progress";
  EXPECT_TRUE(running_again);
  const auto facts = ProbeMedia(out() + "/long.mp4");
  EXPECT_TRUE(facts.opened);
  EXPECT_EQ(facts.decode_errors, 0);
  EXPECT_NEAR(facts.duration_s, 120, 0.5);
  EXPECT_EQ(Notifications().size(), 1u);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(OnTheDesktop, StopWhilePausedEndsTheEncoderAtOnceAndReleasesTheInhibitor) {
  ASSERT_TRUE(engine_tests::MakeClip(media("long.avi"), 300, "160x120", 5));
  ASSERT_TRUE(engine_tests::MakeClip(media("next.avi"), 1));
  AddRow(*program, "True", media("long.avi"));
  AddRow(*program, "True", media("next.avi"));
  TfrmConverting& progress = program->ConvertingForm();
  int64_t paused_at = -1, stop_ms = -1;
  Convert([&] {
    if (stop_ms >= 0) return;
    if (paused_at < 0 && Reported()) {
      progress.btnPause.Click();
      if (progress.Paused) paused_at = clock.NowMs();
    } else if (paused_at >= 0 && clock.NowMs() - paused_at >= 500) {
      dialogs.yes_no_answers.push_back(true);
      const int64_t start = clock.NowMs();
      progress.btnStop1Click();
      stop_ms = clock.NowMs() - start;
    }
  });
  ASSERT_GE(stop_ms, 0) << "never paused";
  // A suspended encoder left alone would only end at the kill after two seconds.
  EXPECT_LT(stop_ms, 1500);
  EXPECT_EQ(program->SysFunc().ProcessIdByName(name), 0);
  EXPECT_FALSE(progress.Paused);
  const auto facts = ProbeMedia(out() + "/long.partial.mp4");
  EXPECT_TRUE(facts.opened) << "the stopped part stays playable";
  EXPECT_GT(facts.video_frames, 0);
  EXPECT_FALSE(Exists(out() + "/next.mp4"));
  EXPECT_TRUE(testing_support::Eventually([&] { return bus.Inhibitors().empty(); }, 3000));
  EXPECT_TRUE(Notifications().empty()) << "no notification after Stop";
}

TEST_F(OnTheDesktop, TodaysOtherContainersConvertAndAMissingBusIsHarmless) {
  // The same batch with every desktop service out of reach.
  const std::string nowhere = "unix:path=" + dir.file("no-bus");
  program.reset();
  desktop =
      std::make_unique<platform::DBusDesktop>("Video To Plim Converter", platform::BusAddresses{nowhere, nowhere});
  ProgramServices services;
  services.app_dir = dir.path();
  services.dialogs = &dialogs;
  services.loop = &loop;
  services.desktop = desktop.get();
  services.processes = &table;
  services.encoder_name = name;
  services.rm_encoder_name = "r" + name;
  services.timing.convert_prepare_ms = 200;
  services.timing.convert_grace_ms = 500;
  program = std::make_unique<Program>(std::move(services));
  engine_tests::SetUpConversionLists(*program);
  program->MainForm().edtOutputFolder.SetText(out());
  program->MainForm().chkShowOutputDirectory.SetChecked(false);

  const std::vector<std::string> containers = {".ts", ".m2ts", ".mts", ".ogv", ".m4v", ".3g2", ".vob"};
  for (const std::string& ext : containers) {
    testing_support::MakeClip(ext, 1, media("c" + ext.substr(1) + ext));
    AddRow(*program, "True", media("c" + ext.substr(1) + ext));
  }
  program->MainForm().btnConvertClick();
  for (const std::string& ext : containers) {
    const auto facts = ProbeMedia(out() + "/c" + ext.substr(1) + ".mp4");
    EXPECT_TRUE(facts.opened) << ext;
    EXPECT_GT(facts.video_frames, 0) << ext;
    EXPECT_NEAR(facts.duration_s, 1, 0.25) << ext;
  }
  EXPECT_TRUE(dialogs.messages.empty());
  int skipped = 0;
  for (const std::string& line : testing_support::ReadLogMessages(dir.path()))
    if (line.find(" skipped: cannot reach the ") != std::string::npos) ++skipped;
  EXPECT_EQ(skipped, 2) << "one line for the inhibitor, one for the notification";
  EXPECT_TRUE(bus.Inhibitors().empty());
  EXPECT_TRUE(Notifications().empty());
}
