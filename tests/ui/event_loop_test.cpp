#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "fakes.h"
#include "ui/models.h"

using testing_support::FakeEventLoop;

TEST(EventLoop, PostedWorkRunsInOrderOnTheLoopsThread) {
  FakeEventLoop loop;
  std::vector<int> seen;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) loop.Post([&seen, i] { seen.push_back(i); });
  });
  worker.join();
  EXPECT_TRUE(seen.empty());  // nothing runs until events are handled
  loop.ProcessEvents();
  ASSERT_EQ(seen.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], i);
}

TEST(EventLoop, WorkPostedByAHandlerWaitsForTheNextRound) {
  FakeEventLoop loop;
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop.Post(again);
  };
  loop.Post(again);
  loop.ProcessEvents();
  EXPECT_EQ(runs, 1);
  loop.ProcessEvents();
  EXPECT_EQ(runs, 2);
}

TEST(EventLoop, TimersFireAtTheirIntervalOnlyWhileEnabled) {
  FakeEventLoop loop;
  ui::Timer timer(500, true);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  loop.Attach(timer);
  loop.Wait(2600);
  EXPECT_EQ(ticks, 5);
  timer.SetEnabled(false);
  loop.Wait(2000);
  EXPECT_EQ(ticks, 5);
  timer.SetEnabled(true);  // the interval counts from being enabled again
  loop.Wait(400);
  EXPECT_EQ(ticks, 5);
  loop.Wait(200);
  EXPECT_EQ(ticks, 6);
  loop.Detach(timer);
  loop.Wait(2000);
  EXPECT_EQ(ticks, 6);
}

TEST(EventLoop, ATimerHandlerThatWaitsDoesNotReenterItself) {
  FakeEventLoop loop;
  ui::Timer timer(100, true);
  int depth = 0, max_depth = 0, ticks = 0;
  timer.OnTimer = [&] {
    ++ticks;
    max_depth = std::max(max_depth, ++depth);
    loop.Wait(1000);
    --depth;
  };
  loop.Attach(timer);
  loop.Wait(1500);
  EXPECT_GE(ticks, 1);
  EXPECT_EQ(max_depth, 1);
}

TEST(EventLoop, WaitsHandleEventsInSmallSlices) {
  FakeEventLoop loop;
  std::vector<int64_t> moments;
  loop.At(35, [&] { moments.push_back(loop.Now()); });
  loop.At(1990, [&] { moments.push_back(loop.Now()); });
  const auto before = loop.rounds;
  loop.Wait(2000);
  EXPECT_EQ(loop.Now(), 2000);
  ASSERT_EQ(moments.size(), 2u);
  EXPECT_LE(moments[0] - 35, ui::BasicEventLoop::kSliceMs);
  EXPECT_LE(moments[1] - 1990, ui::BasicEventLoop::kSliceMs);
  EXPECT_GE(loop.rounds - before, 2000 / ui::BasicEventLoop::kSliceMs);
}

TEST(EventLoop, RealClockWaitReallyWaits) {
  ui::SteadyClock clock;
  ui::BasicEventLoop loop(clock);
  bool ran = false;
  loop.Post([&] { ran = true; });
  const auto start = clock.NowMs();
  loop.Wait(30);
  EXPECT_TRUE(ran);
  EXPECT_GE(clock.NowMs() - start, 30);
}

TEST(EventLoop, ATimerWhoseHandlerThrowsKeepsFiring) {
  FakeEventLoop loop;
  ui::Timer timer(100, true);
  int ticks = 0;
  timer.OnTimer = [&] {
    ++ticks;
    throw std::runtime_error("handler failed");
  };
  loop.Attach(timer);
  for (int i = 0; i < 3; ++i) EXPECT_THROW(loop.Wait(150), std::runtime_error);
  EXPECT_GE(ticks, 2);
}

TEST(EventLoop, ReenablingATimerWithinOnePassRestartsItsPeriod) {
  FakeEventLoop loop;
  ui::Timer timer(500, true);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  loop.Attach(timer);
  loop.Wait(400);
  timer.SetEnabled(false);
  timer.SetEnabled(true);  // no event handling in between
  loop.Wait(400);          // 800 ms since attach, 400 since the restart
  EXPECT_EQ(ticks, 0);
  loop.Wait(150);
  EXPECT_EQ(ticks, 1);
}
