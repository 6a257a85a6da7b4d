// The stop routine and the name lookups on a table of pretend processes, in
// virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/process_table.h"
#include "engine_test_support.h"

namespace {

class StopEncoder : public ::testing::Test {
 protected:
  TCommonLib& lib() { return tp->CommonLib(); }
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

TEST_F(StopEncoder, NothingRunningReturnsAtOnceAfterTwoLookups) {
  tp.processes.Add("revcx");
  tp.processes.Add("evc2");
  lib().StopEncoder(tp.AppDir() + "revc");
  EXPECT_EQ(tp.processes.snapshots, 2);
  EXPECT_EQ(tp.LogMessages(), (std::vector<std::string>{"Get Process id error.", "Get Process id error."}));
  EXPECT_EQ(tp.loop.Now(), 0);
  EXPECT_TRUE(tp.processes.signals.empty());
}

TEST_F(StopEncoder, EndsTheNamedEncoderThenTheDefaultOneWhileEventsRun) {
  tp.processes.Add("revc");
  tp.processes.Add("REVC");
  tp.processes.Add("evc");
  int handled = 0;
  tp.loop.OnRound(1, [&] { ++handled; });
  lib().StopEncoder(tp.AppDir() + "revc");
  EXPECT_TRUE(tp.processes.processes.empty());
  EXPECT_EQ(Signals("TERM"), 3);
  EXPECT_EQ(handled, 1) << "pending events run between attempts";
  EXPECT_EQ(Count("Get Process id error."), 2);
  EXPECT_EQ(Count("Terminate process error."), 0);
}

TEST_F(StopEncoder, ProcessIgnoringTerminateIsKilledAfterTwoSeconds) {
  tp.processes.Add("evc", /*ignores_terminate=*/true);
  lib().StopEncoder("evc");
  EXPECT_TRUE(tp.processes.processes.empty());
  // Asked once, then left to finish its file for two seconds.
  EXPECT_EQ(Signals("TERM"), 1);
  EXPECT_EQ(Signals("KILL"), 1);
  EXPECT_GE(tp.loop.Now(), 2000);
  EXPECT_EQ(Count("Terminate process error."), 0);
}

TEST_F(StopEncoder, GivesUpOnAProcessItCannotEnd) {
  tp.processes.Add("evc", false, /*protected_process=*/true);
  lib().StopEncoder("evc");
  // Both loops try for ten seconds, then give up and say so.
  EXPECT_GE(tp.loop.Now(), 20000);
  EXPECT_LT(tp.loop.Now(), 21000);
  // A failed request is repeated: the process may become reachable.
  EXPECT_EQ(Signals("TERM"), 40);
  EXPECT_EQ(Signals("KILL"), 160);
  // One line per failed attempt, and one for each time it gave up.
  EXPECT_EQ(Count("Terminate process error."), 202);
  EXPECT_TRUE(tp.processes.Alive(tp.processes.processes.front().pid));
}

TEST(KillProcessByName, ReportsTheLastAttempt) {
  testing_support::TestProgram tp;
  tp.processes.Add("evc");
  tp.processes.Add("evc", false, /*protected_process=*/true);
  EXPECT_FALSE(tp->CommonLib().KillProcessByName("evc"));
  EXPECT_EQ(tp.LogMessages(), std::vector<std::string>{"Terminate process error."});
  EXPECT_EQ(tp.processes.Count("evc"), 1u);

  testing_support::TestProgram other;
  other.processes.Add("evc", false, true);
  other.processes.Add("evc");
  EXPECT_TRUE(other->CommonLib().KillProcessByName("EVC"));
  EXPECT_TRUE(other.LogMessages().empty());
  EXPECT_TRUE(other->CommonLib().EnableDebugPrivilege());
  EXPECT_TRUE(other->CommonLib().SetTokenPrivilege(0, "SeDebugPrivilege", false));
}
