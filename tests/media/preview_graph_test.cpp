#include "media/preview_graph.h"

#include <gtest/gtest.h>

#include "fake_preview_graph.h"
#include "fakes.h"
#include "media/playback_clock.h"

using media::PreviewGraph;
using testing_support::FakeEventLoop;
using testing_support::FakePreviewGraph;

namespace {

TEST(PreviewGraph, AnInactiveGraphRefusesWorkAndClearsNothing) {
  FakePreviewGraph graph;
  EXPECT_FALSE(graph.Active());
  EXPECT_THROW(graph.RenderFile("/a.avi"), media::MediaError);
  EXPECT_THROW(graph.Run(), media::MediaError);
  EXPECT_THROW(graph.Pause(), media::MediaError);
  EXPECT_THROW(graph.Stop(), media::MediaError);
  graph.Clear();
  graph.SeekToMilliseconds(5000);
  EXPECT_TRUE(graph.calls.empty());
  EXPECT_TRUE(graph.seeks_ms.empty());
  EXPECT_EQ(graph.DurationMs(), 0);
  EXPECT_EQ(graph.CurrentPosition(), 0);
  EXPECT_EQ(graph.GetState(), PreviewGraph::State::Stopped);
}

TEST(PreviewGraph, StateFollowsOnlySuccessfulOperations) {
  FakePreviewGraph graph;
  std::vector<PreviewGraph::State> seen;
  graph.Subscribe([&](PreviewGraph::State s) { seen.push_back(s); });
  graph.SetActive(true);
  EXPECT_EQ(graph.RenderFile("/a.avi"), 0);
  graph.Run();
  graph.fail_pause = true;
  EXPECT_THROW(graph.Pause(), media::MediaError);
  EXPECT_EQ(graph.GetState(), PreviewGraph::State::Running);
  graph.fail_pause = false;
  graph.Pause();
  graph.Run();
  graph.Clear();  // unloading stops
  EXPECT_EQ(graph.loaded, "");
  graph.Run();
  graph.SetActive(false);  // releasing stops too
  EXPECT_FALSE(graph.Active());
  using S = PreviewGraph::State;
  EXPECT_EQ(seen, (std::vector<S>{S::Running, S::Paused, S::Running, S::Stopped, S::Running, S::Stopped}));
}

TEST(PreviewGraph, TheNullGraphRendersNothing) {
  media::NullPreviewGraph graph;
  graph.SetActive(true);
  EXPECT_THROW(graph.RenderFile("/a.avi"), media::MediaError);
  EXPECT_EQ(graph.DurationMs(), 0);
}

TEST(PreviewGraph, SeekingTakesMillisecondsAsAnAbsolutePosition) {
  FakeEventLoop loop;
  FakePreviewGraph graph(&loop.clock);
  graph.SetActive(true);
  graph.RenderFile("/a.avi");
  graph.SeekToMilliseconds(12345);
  EXPECT_EQ(graph.CurrentPosition(), 123450000);  // 100-ns units
  graph.Run();
  loop.Wait(1000);
  EXPECT_EQ(graph.PositionMs(), 13345);
}

struct ClockFixture : ::testing::Test {
  FakeEventLoop loop;
  FakePreviewGraph graph{&loop.clock};
  media::PlaybackClock clock{1000};
  std::vector<std::pair<uint32_t, uint32_t>> ticks;

  ClockFixture() {
    clock.SetFilterGraph(&graph);
    clock.OnTimer = [this](uint32_t current, uint32_t stop) { ticks.emplace_back(current, stop); };
    loop.Attach(clock.timer());
    graph.duration_ms = 30500;
    graph.SetActive(true);
    graph.RenderFile("/a.avi");
  }
  ~ClockFixture() override { loop.Detach(clock.timer()); }
};

TEST_F(ClockFixture, TicksEverySecondOnlyWhileTheGraphRuns) {
  loop.Wait(3000);
  EXPECT_TRUE(ticks.empty());  // loaded but not running
  graph.Run();
  loop.Wait(3050);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], std::make_pair(1000u, 30500u));
  EXPECT_EQ(ticks[2], std::make_pair(3000u, 30500u));
  graph.Pause();
  loop.Wait(5000);
  EXPECT_EQ(ticks.size(), 3u);
  graph.Run();  // a new run starts a new period
  loop.Wait(999);
  EXPECT_EQ(ticks.size(), 3u);
  loop.Wait(20);
  EXPECT_EQ(ticks.size(), 4u);
  graph.Stop();
  loop.Wait(5000);
  EXPECT_EQ(ticks.size(), 4u);
}

TEST_F(ClockFixture, KeepsItsRangeInSecondsAndStaysAtTheEnd) {
  graph.Run();
  loop.Wait(2000);
  EXPECT_EQ(clock.Min(), 0);
  EXPECT_EQ(clock.Max(), 30);
  EXPECT_EQ(clock.Position(), 2);
  loop.Wait(40000);  // past the end: the graph stands at its end and keeps running
  EXPECT_EQ(ticks.back(), std::make_pair(30500u, 30500u));
  EXPECT_EQ(clock.Position(), 30);
  clock.SetPosition(0);
  EXPECT_EQ(clock.Position(), 0);
}

TEST_F(ClockFixture, UnboundClockNeverTicks) {
  clock.SetFilterGraph(nullptr);
  graph.Run();
  loop.Wait(3000);
  EXPECT_TRUE(ticks.empty());
}

}  // namespace
