#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "private_bus.h"
#include "sources_fixture.h"

namespace {

struct PreviewTest : SourcesTest {
  PreviewTest() {
    AddRow("/v/a.avi", "00:01:00");
    AddRow("/v/b.avi", "00:01:00");
    AddRow("/v/c.avi", "00:01:00");
  }
  // Stopped, playing, paused as the state table has them.
  void ExpectStopped() {
    EXPECT_FALSE(graph.Active());
    EXPECT_EQ(lib.PreviewFile, "");
    EXPECT_FALSE(proc.IsPlaying);
    EXPECT_TRUE(form.panLogo.Visible());
  }
  void ExpectPlaying(const std::string& path) {
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(lib.PreviewFile, path);
    EXPECT_TRUE(proc.IsPlaying);
    EXPECT_FALSE(form.panLogo.Visible());
    EXPECT_EQ(graph.GetState(), media::PreviewGraph::State::Running);
  }
  void ExpectPaused(const std::string& path) {
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(lib.PreviewFile, path);
    EXPECT_FALSE(proc.IsPlaying);
    EXPECT_FALSE(form.panLogo.Visible());
    EXPECT_EQ(graph.GetState(), media::PreviewGraph::State::Paused);
  }
  int Count(const std::string& call) const {
    return static_cast<int>(std::count(graph.calls.begin(), graph.calls.end(), call));
  }
};

TEST_F(PreviewTest, TheStateTableFromStopToPlayPauseAndBack) {
  ExpectStopped();
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:00");
  form.btnPlayClick();  // nothing selected, nothing loaded
  EXPECT_TRUE(graph.calls.empty());
  form.btnPauseClick();
  ExpectStopped();

  SelectOnly({1});
  form.btnPlayClick();
  ExpectPlaying("/v/b.avi");
  t.loop.Wait(2500);
  form.btnPauseClick();
  ExpectPaused("/v/b.avi");
  const int64_t paused_at = graph.PositionMs();
  form.btnPauseClick();          // pausing again does nothing
  EXPECT_EQ(Count("pause"), 2);  // the one before the first run, and this one
  t.loop.Wait(3000);
  form.btnPlayClick();  // resumes where it stood, without loading again
  ExpectPlaying("/v/b.avi");
  EXPECT_EQ(graph.PositionMs(), paused_at);
  EXPECT_EQ(Count("render /v/b.avi"), 1);
  form.btnPlayClick();  // already playing: nothing
  EXPECT_EQ(Count("run"), 2);

  form.btnStopClick();
  ExpectStopped();
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:00");
  EXPECT_EQ(form.pbPlayState.Position(), 0);
  EXPECT_EQ(form.dstrckbrMainform.Position(), 0);
  form.btnStopClick();  // stopping a stopped preview does nothing
  ExpectStopped();
}

TEST_F(PreviewTest, PlayWithSeveralRowsLoadsEachInTurnAndPlaysTheLast) {
  SelectOnly({0, 1, 2});
  form.btnPlayClick();
  EXPECT_EQ(Count("render /v/a.avi"), 1);
  EXPECT_EQ(Count("render /v/b.avi"), 1);
  EXPECT_EQ(Count("render /v/c.avi"), 1);
  ExpectPlaying("/v/c.avi");
  EXPECT_EQ(graph.loaded, "/v/c.avi");
}

TEST_F(PreviewTest, ANewFilePlaysFromTheStartMarkOnceTheBarWasLoaded) {
  form.StartMarkSeconds = 42;
  SelectOnly({0});
  form.btnPlayClick();  // the bar was never loaded: from the beginning
  EXPECT_TRUE(graph.seeks_ms.empty());
  EXPECT_LT(graph.PositionMs(), 1000);
  form.btnStopClick();

  proc.LoadTrimBar();
  form.StartMarkSeconds = 42;
  form.btnPlayClick();
  EXPECT_EQ(graph.seeks_ms, std::vector<int64_t>{42000});
  EXPECT_GE(graph.PositionMs(), 42000);
}

TEST_F(PreviewTest, AFileThatCannotBeRenderedIsLoggedNotShown) {
  graph.unrenderable = {"/v/a.avi"};
  SelectOnly({0});
  form.btnPlayClick();
  EXPECT_EQ(t.LogMessages(), std::vector<std::string>{"Playing Video error."});
  // Said under the trim bar, with the player's reason.
  EXPECT_EQ(form.Panel1.Caption(), "cannot preview this file: cannot render /v/a.avi");
  EXPECT_TRUE(t.dialogs.messages.empty());
  EXPECT_TRUE(graph.Active());  // left active and cleared until the next stop
  EXPECT_EQ(graph.loaded, "");
  EXPECT_EQ(lib.PreviewFile, "");
  EXPECT_FALSE(proc.IsPlaying);
  EXPECT_TRUE(form.panLogo.Visible());
  form.btnStopClick();
  ExpectStopped();
}

TEST_F(PreviewTest, APartlyRenderedFileCountsAsFailedButStaysThePreviewFile) {
  graph.render_results["/v/b.avi"] = 1;
  SelectOnly({1});
  form.btnPlayClick();
  EXPECT_EQ(t.LogMessages(), std::vector<std::string>{"Playing Video error."});
  EXPECT_EQ(form.Panel1.Caption(), "cannot preview this file: it holds no picture or sound the player can show");
  EXPECT_EQ(lib.PreviewFile, "/v/b.avi");
  EXPECT_EQ(graph.loaded, "");
  EXPECT_FALSE(proc.IsPlaying);
  // Play now only runs the empty graph; the first tick finds it at its end and stops.
  form.btnPlayClick();
  EXPECT_TRUE(proc.IsPlaying);
  t.loop.Wait(1100);
  ExpectStopped();
}

TEST_F(PreviewTest, GraphFailuresShowTheLogo) {
  SelectOnly({0});
  form.btnPlayClick();
  graph.fail_pause = true;
  form.btnPauseClick();
  EXPECT_TRUE(form.panLogo.Visible());
  EXPECT_TRUE(proc.IsPlaying);  // the other fields keep their values

  graph.fail_stop = true;
  form.pbPlayState.SetRange(0, 60);
  form.pbPlayState.SetPosition(30);
  form.panLogo.Hide();
  form.btnStopClick();
  EXPECT_TRUE(form.panLogo.Visible());
  EXPECT_EQ(form.pbPlayState.Position(), 0);
  EXPECT_EQ(lib.PreviewFile, "/v/a.avi");

  graph.fail_stop = false;
  form.btnStopClick();
  graph.fail_run = true;
  form.btnPlayClick();  // loads, but cannot run: not reported as playing
  EXPECT_TRUE(form.panLogo.Visible());
  EXPECT_FALSE(proc.IsPlaying);
  EXPECT_EQ(lib.PreviewFile, "/v/a.avi");
  graph.fail_run = false;
  form.btnPlayClick();  // so Play can try again
  ExpectPlaying("/v/a.avi");
}

TEST_F(PreviewTest, TheClockShowsWholeSecondsAndMirrorsIntoTheHiddenBar) {
  graph.duration_ms = 90000;
  SelectOnly({0});
  const int64_t run = t.loop.Now();  // ticks come every second from here
  t.loop.At(run + 1000, [&] { graph.SetPositionMs(3999); });
  t.loop.At(run + 2000, [&] {
    graph.SetPositionMs(3725000);
    graph.duration_ms = 4000000;
  });
  form.btnPlayClick();
  t.loop.Wait(1500 - static_cast<int>(t.loop.Now() - run));
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:03");
  EXPECT_EQ(form.pbPlayState.Max(), 90);
  EXPECT_EQ(form.pbPlayState.Position(), 3);
  t.loop.Wait(1000);
  EXPECT_EQ(form.pnlCurTime.Caption(), "01:02:05");
}

TEST_F(PreviewTest, TheEndMarkPausesAndRewindsToTheBeginning) {
  form.PreviewStopText = "00:00:20";
  SelectOnly({2});
  form.btnPlayClick();
  t.loop.Wait(19500);
  ExpectPlaying("/v/c.avi");
  t.loop.Wait(1000);  // the tick at 20 s
  ExpectPaused("/v/c.avi");
  EXPECT_EQ(graph.PositionMs(), 0);
  form.btnPlayClick();  // goes on from the beginning
  t.loop.Wait(5000);
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:05");
}

TEST_F(PreviewTest, ATickThatSkipsTheEndMarkDoesNotPause) {
  form.PreviewStopText = "00:00:20";
  SelectOnly({2});
  const int64_t run = t.loop.Now();
  t.loop.At(run + 20000, [&] { graph.SetPositionMs(21000); });  // the tick due at 20 s sees 21 s
  form.btnPlayClick();
  t.loop.Wait(20500);
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:21");
  ExpectPlaying("/v/c.avi");
}

TEST_F(PreviewTest, TheEndOfTheFileRewindsAndStops) {
  graph.duration_ms = 5000;
  SelectOnly({0});
  form.btnPlayClick();
  t.loop.Wait(4500);
  ExpectPlaying("/v/a.avi");
  t.loop.Wait(1000);
  ExpectStopped();
  EXPECT_EQ(graph.seeks_ms.back(), 0);
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:00");
  EXPECT_EQ(form.pbPlayState.Position(), 0);
  t.loop.Wait(3000);  // no more ticks once stopped
  EXPECT_EQ(form.pnlCurTime.Caption(), "00:00:00");
}

TEST_F(PreviewTest, LoadingAnotherFileReplacesThePlayingOne) {
  SelectOnly({0});
  form.btnPlayClick();
  form.btnStopClick();
  SelectOnly({1});
  form.btnPlayClick();
  ExpectPlaying("/v/b.avi");
  proc.PreviewOpenAndPlay("/v/c.avi");
  ExpectPlaying("/v/c.avi");
  EXPECT_EQ(graph.loaded, "/v/c.avi");
}

}  // namespace

// The screen saver stays off while the preview plays, through the desktop's
// org.freedesktop.ScreenSaver (a dbusmock service on a private bus).
TEST(PreviewScreenSaver, IsHeldOffOnlyWhileThePreviewPlays) {
  constexpr const char* kName = "org.freedesktop.ScreenSaver";
  constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
  testing_support::PrivateBus bus;
  ASSERT_TRUE(bus.ok()) << bus.error();
  ASSERT_TRUE(bus.StartMock(kName, kPath, kName));
  ASSERT_TRUE(bus.AddMethod(kName, kPath, kName, "Inhibit", "ss", "u",
                            "self.cookie = getattr(self, 'cookie', 0) + 1\nret = self.cookie"));
  ASSERT_TRUE(bus.AddMethod(kName, kPath, kName, "UnInhibit", "u", "", ""));
  const auto calls = [&] {
    std::vector<std::string> result;
    for (const std::string& call : bus.Calls(kName))
      if (call.find("Inhibit") != std::string::npos) result.push_back(call);
    return result;
  };
  const std::string inhibit = R"(Inhibit "Video To Plim Converter" "Playing a preview")";

  platform::DBusDesktop desktop("Video To Plim Converter", {bus.address(), bus.address()});
  auto t = std::make_unique<testing_support::TestProgram>(ui::Timing{}, &desktop);
  TFrmMainForm& form = (*t)->MainForm();
  form.dxTreeSourceFileInfo.AddRow({"True", "/v/a.avi", "1 KB", "00:01:00", "00:00:00", "00:01:00", "00:01:00"});
  form.dxTreeSourceFileInfo.SetSelected(0, true);

  form.btnPlayClick();
  EXPECT_EQ(calls(), std::vector<std::string>{inhibit});
  form.btnPlayClick();  // already playing: still one hold
  form.btnPauseClick();
  EXPECT_EQ(calls(), (std::vector<std::string>{inhibit, "UnInhibit 1"}));
  form.btnPlayClick();
  form.btnStopClick();
  form.btnStopClick();
  EXPECT_EQ(calls(), (std::vector<std::string>{inhibit, "UnInhibit 1", inhibit, "UnInhibit 2"}));
  // Playing when the program ends lets the screen saver back too.
  form.btnPlayClick();
  t.reset();
  EXPECT_EQ(calls().back(), "UnInhibit 3");
}
