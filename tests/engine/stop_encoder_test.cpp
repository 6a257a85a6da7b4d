// The stop routine and the name lookups on a table of pretend processes, in
// virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/converting_form.h"
#include "engine/process_table.h"
#include "engine_test_support.h"

namespace {

class StopEncoder : public ::testing::Test {
 protected:
  TCommonLib& lib() { return tp->CommonLib(); }
  // A pretend encoder process that this program's runner started.
  pid_t Ours(const std::string& name, bool ignores_terminate = false, bool protected_process = false) {
    const pid_t pid = tp.processes.Add(name, ignores_terminate, protected_process);
    lib().EncoderChildren.Add(pid);
    return pid;
  }
  long Count(const std::string& message) {
    const auto log = tp.LogMessages();
    return std::count(log.begin(), log.end(), message);
  }
  long Signals(const std::string& kind) {
    return std::count_if(tp.processes.signals.begin(), tp.processes.signals.end(),
                         [&](const std::string& s) { return s.rfind(kind, 0) == 0; });
  }
  testing_support::TestProgram tp;
};

}  // namespace

TEST_F(StopEncoder, NothingOfOursRunningReturnsAtOnceAndTouchesNothing) {
  tp.processes.Add("revcx");
  tp.processes.Add("evc");
  tp.processes.Add("revc");
  lib().StopEncoder(tp.AppDir() + "revc");
  EXPECT_LE(tp.processes.snapshots, 1);
  EXPECT_TRUE(tp.LogMessages().empty());
  EXPECT_EQ(tp.loop.Now(), 0);
  EXPECT_TRUE(tp.processes.signals.empty());
  EXPECT_EQ(tp.processes.processes.size(), 3u);
}

TEST_F(StopEncoder, EndsEveryEncoderWeStartedAndNoOtherWhileEventsRun) {
  Ours("revc");
  Ours("evc");
  const pid_t foreign = tp.processes.Add("evc");
  // An id we once started and have since collected is no longer ours.
  const pid_t collected = tp.processes.Add("evc");
  lib().EncoderChildren.Add(collected);
  lib().EncoderChildren.Collect(collected, [] { return std::optional<int>(0); });
  int handled = 0;
  tp.loop.OnRound(1, [&] { ++handled; });
  lib().StopEncoder(tp.AppDir() + "revc");
  EXPECT_EQ(tp.processes.processes.size(), 2u);
  EXPECT_TRUE(tp.processes.Alive(foreign));
  EXPECT_TRUE(tp.processes.Alive(collected));
  EXPECT_EQ(Signals("TERM"), 2);
  EXPECT_EQ(handled, 1) << "pending events run between looks";
  EXPECT_EQ(Count("Terminate process error."), 0);
}

TEST_F(StopEncoder, ProcessIgnoringTerminateIsKilledAfterTwoSeconds) {
  Ours("evc", /*ignores_terminate=*/true);
  lib().StopEncoder("evc");
  EXPECT_TRUE(tp.processes.processes.empty());
  // Asked once, then left to finish its file for two seconds.
  EXPECT_EQ(Signals("TERM"), 1);
  EXPECT_EQ(Signals("KILL"), 1);
  EXPECT_GE(tp.loop.Now(), 2000);
  EXPECT_LT(tp.loop.Now(), 2200);
  EXPECT_EQ(Count("Terminate process error."), 0);
}

TEST_F(StopEncoder, OneBoundedAttemptPerStopAndOneLinePerProcessLeft) {
  Ours("evc", false, /*protected_process=*/true);
  Ours("revc", false, /*protected_process=*/true);
  lib().StopEncoder("evc");
  EXPECT_GE(tp.loop.Now(), 4000);
  EXPECT_LT(tp.loop.Now(), 4200);
  // Each asked once and killed once; no storm of repeated signals.
  EXPECT_EQ(Signals("TERM"), 2);
  EXPECT_EQ(Signals("KILL"), 2);
  EXPECT_EQ(Count("Terminate process error."), 2);
  EXPECT_EQ(tp.processes.processes.size(), 2u);
}

TEST_F(StopEncoder, TwoStopsOfAnEncoderThatWillNotDieHoldTheWindowTwiceTheBoundAtMost) {
  Ours("evc", false, /*protected_process=*/true);
  for (int i = 0; i < 2; ++i) {
    tp.dialogs.yes_no_answers.push_back(true);
    tp->ConvertingForm().btnStop1Click();
  }
  EXPECT_LT(tp.loop.Now(), 2 * 4000 + 400);
  EXPECT_EQ(Count("Terminate process error."), 2);
  EXPECT_EQ(Signals("TERM") + Signals("KILL"), 4);
}

TEST(KillProcessByName, EndsOnlyOurOwnAndReportsTheLastAttempt) {
  testing_support::TestProgram tp;
  const pid_t ours = tp.processes.Add("evc");
  tp->CommonLib().EncoderChildren.Add(ours);
  const pid_t stuck = tp.processes.Add("evc", false, /*protected_process=*/true);
  tp->CommonLib().EncoderChildren.Add(stuck);
  const pid_t foreign = tp.processes.Add("evc");
  EXPECT_FALSE(tp->CommonLib().KillProcessByName("evc"));
  EXPECT_EQ(tp.LogMessages(), std::vector<std::string>{"Terminate process error."});
  EXPECT_FALSE(tp.processes.Alive(ours));
  EXPECT_TRUE(tp.processes.Alive(stuck));
  EXPECT_TRUE(tp.processes.Alive(foreign));

  testing_support::TestProgram other;
  const pid_t a = other.processes.Add("evc", false, true);
  const pid_t b = other.processes.Add("evc");
  other->CommonLib().EncoderChildren.Add(a);
  other->CommonLib().EncoderChildren.Add(b);
  EXPECT_TRUE(other->CommonLib().KillProcessByName("EVC"));
  EXPECT_TRUE(other.LogMessages().empty());
  // Only foreign ones of that name: nothing of ours matched.
  other.processes.Add("revc");
  EXPECT_FALSE(other->CommonLib().KillProcessByName("revc"));
  EXPECT_TRUE(other->CommonLib().EnableDebugPrivilege());
  EXPECT_TRUE(other->CommonLib().SetTokenPrivilege(0, "SeDebugPrivilege", false));
}
