#include "engine/converting_form.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"

namespace {

constexpr const char* kVideoLine = "frame=  450 q=2.0 size=     512kB time=30.45 bitrate= 137.7kbits/s\r";
constexpr const char* kAudioLine = "size=     512kB time=12.50 bitrate=  64.0kbits/s\r";

class ProgressWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    job().SourceFile = "/clips/a.avi";
    job().CodecArgs = " -vcodec mpeg4 -acodec aac";
    job().OutputExt = ".mp4";
    job().EncoderPath = tp.AppDir() + "evc";
    proc().CheckedCount = 5;
    proc().FilesDone = 0;
    proc().TrimSecondsText = "60";
    form().Form.Show();
  }
  TfrmConverting& form() { return tp->ConvertingForm(); }
  TCustomProc& proc() { return tp->CustomProc(); }
  TConvertParameterStruct& job() { return tp->CommonLib().ConvertParameter; }
  // What the batch driver's callback does with each console text.
  void Relay(const std::string& text) { proc().ConvertOutputCallback(text); }

  testing_support::TestProgram tp;
};

}  // namespace

TEST_F(ProgressWindow, ShowingResetsCounterBarsAndSpinner) {
  EXPECT_EQ(form().Form.Caption(), "Converting");
  EXPECT_EQ(form().lblCurFileName.Caption(), "/clips/a.avi");
  EXPECT_EQ(form().lblPersent.Caption(), "Current: 1, Total: 5");
  form().Form.Hide();
  form().ProgressBar1.SetRange(0, 60);
  form().ProgressBar1.SetPosition(40);
  form().pbTotal.SetRange(0, 500);
  form().pbTotal.SetPosition(300);
  form().tmrChangingTimer();
  form().Form.Show();
  EXPECT_EQ(form().SpinnerStep, 0);
  EXPECT_EQ(form().ProgressBar1.Max(), 1);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  EXPECT_EQ(form().pbTotal.Max(), 1);
  EXPECT_EQ(form().pbTotal.Position(), 0);
}

TEST_F(ProgressWindow, SpinnerRunsOneToFiveAndSaysConvertingFromThreeSeconds) {
  const char* expected[] = {"|", "/", "-", "\\", "|", "|", "/"};
  for (const char* mark : expected) {
    form().tmrChangingTimer();
    EXPECT_EQ(form().lblInfo.Caption(), std::string("Installing convert information  ") + mark);
  }
  EXPECT_EQ(form().SpinnerStep, 2);
  form().ProgressBar1.SetRange(0, 60);
  form().ProgressBar1.SetPosition(3);
  form().tmrChangingTimer();
  EXPECT_EQ(form().lblInfo.Caption(), "Converting  -");

  // The timer runs by itself every 500 ms, shown or not: three more steps.
  form().Form.Hide();
  EXPECT_EQ(form().tmrChanging.Interval(), 500);
  ASSERT_EQ(form().SpinnerStep, 3);
  tp.loop.Wait(1600);
  EXPECT_EQ(form().SpinnerStep, 1);
  EXPECT_EQ(form().lblInfo.Caption(), "Converting  |");
}

TEST_F(ProgressWindow, FirstTextOfARowIsIgnoredThenBarsFollowTheTime) {
  proc().FilesDone = 2;
  proc().RefreshCount = 0;
  Relay(kVideoLine);
  EXPECT_EQ(form().statState.PanelText(), kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  EXPECT_EQ(form().ProgressBar1.Max(), 1);
  EXPECT_EQ(form().lblPersent.Caption(), "Current: 1, Total: 5");

  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Max(), 60);
  EXPECT_EQ(form().ProgressBar1.Position(), 30);
  // The batch bar lags one text behind the file bar.
  EXPECT_EQ(form().pbTotal.Max(), 500);
  EXPECT_EQ(form().pbTotal.Position(), 200);
  EXPECT_EQ(form().lblPersent.Caption(), "Current: 3, Total: 5");

  Relay(kVideoLine);
  EXPECT_EQ(form().pbTotal.Position(), 249);  // 30 * 100 div 61, plus 200

  // A file at its end never fills its hundred: 60 * 100 div 61.
  form().ProgressBar1.SetPosition(60);
  Relay(kVideoLine);
  EXPECT_EQ(form().pbTotal.Position(), 298);
}

TEST_F(ProgressWindow, TimeFieldPositionDependsOnTheOutputKind) {
  proc().RefreshCount = 1;
  Relay(kAudioLine);  // four fields: too few for video
  EXPECT_EQ(form().ProgressBar1.Position(), 0);

  job().CodecArgs = "  -acodec aac -vn ";
  job().OutputExt = ".m4a";
  Relay(kAudioLine);
  EXPECT_EQ(form().ProgressBar1.Position(), 12);
  Relay(kVideoLine);  // the third field of a video line is "2.0 size"
  EXPECT_EQ(form().ProgressBar1.Position(), 2);

  // ".3gp" takes the video layout even for an audio codec.
  job().OutputExt = ".3gp";
  form().ProgressBar1.SetPosition(0);
  Relay(kAudioLine);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Position(), 30);
}

TEST_F(ProgressWindow, TextsWithoutAUsableTimeLeaveTheBar) {
  proc().RefreshCount = 1;
  Relay(kVideoLine);
  ASSERT_EQ(form().ProgressBar1.Position(), 30);
  const std::string unusable[] = {
      "",
      "frame=  450 q=2.0 size=     512kB time=10000000000.00 bitrate=N/A",
      "a=b=c=d==e",                            // empty time field
      "frame=1 q=2 size=3",                    // too few fields
      "frame=1 q=2 size=3 time=+- bitrate=0",  // no number at all
  };
  for (const auto& text : unusable) {
    Relay(text);
    EXPECT_EQ(form().ProgressBar1.Position(), 30) << text;
  }
  // Letters and blanks are skipped when the number is read.
  Relay("frame=1 q=2 size=3 time= 4x2.99 bitrate=0");
  EXPECT_EQ(form().ProgressBar1.Position(), 42);
  // Past the end of the range shows as the end.
  Relay("frame=1 q=2 size=3 time=75.00 bitrate=0");
  EXPECT_EQ(form().ProgressBar1.Position(), 60);
}

TEST_F(ProgressWindow, RangeEdgeCases) {
  proc().RefreshCount = 1;
  proc().TrimSecondsText = "0";
  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Max(), 0);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  form().tmrChangingTimer();
  EXPECT_EQ(form().lblInfo.Caption(), "Installing convert information  |");

  // A negative length keeps the maximum at 0.
  proc().TrimSecondsText = "-40";
  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Max(), 0);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  Relay(kVideoLine);
  EXPECT_GE(form().pbTotal.Position(), 0);

  // No range known: the last one stays.
  proc().TrimSecondsText = "90";
  Relay(kVideoLine);
  proc().TrimSecondsText = "";
  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Max(), 90);
  proc().TrimSecondsText = "99999999999";
  Relay(kVideoLine);
  EXPECT_EQ(form().ProgressBar1.Position(), 30);
}

TEST_F(ProgressWindow, StopAnsweredNoChangesNothing) {
  tp.processes.Add("evc");
  tp->MainForm().Form.SetEnabled(false);
  proc().RowIndex = 1;
  form().btnStop1Click();
  EXPECT_EQ(tp.dialogs.questions,
            std::vector<std::string>{"Video To Plim Converter|Are you sure you want to stop the work ? "});
  EXPECT_TRUE(form().Form.Visible());
  EXPECT_FALSE(tp->MainForm().Form.Enabled());
  EXPECT_FALSE(proc().StopRequested);
  EXPECT_EQ(proc().RowIndex, 1);
  EXPECT_EQ(tp.processes.Count("evc"), 1u);
}

TEST_F(ProgressWindow, StopAnsweredYesEndsTheEncodersAndClearsTheWindow) {
  for (int i = 0; i < 5; ++i) engine_tests::AddRow(*tp, "True", "/clips/" + std::to_string(i) + ".avi");
  // Encoders this program started, and one of another instance.
  for (const char* name : {"evc", "revc"}) tp->CommonLib().EncoderChildren.Add(tp.processes.Add(name));
  const pid_t foreign = tp.processes.Add("evc");
  tp.processes.Add("unrelated");
  job().EncoderPath = tp.AppDir() + "revc";
  tp->MainForm().Form.SetEnabled(false);
  form().pbTotal.SetRange(0, 500);
  form().pbTotal.SetPosition(120);
  tp.dialogs.yes_no_answers = {true};
  form().btnStop1Click();
  EXPECT_TRUE(proc().StopRequested);
  EXPECT_FALSE(form().Form.Visible());
  EXPECT_TRUE(tp->MainForm().Form.Enabled());
  EXPECT_EQ(proc().RowIndex, 15);
  EXPECT_EQ(tp.processes.Count("evc"), 1u);
  EXPECT_TRUE(tp.processes.Alive(foreign));
  EXPECT_EQ(tp.processes.Count("revc"), 0u);
  EXPECT_EQ(tp.processes.Count("unrelated"), 1u);
  EXPECT_EQ(form().ProgressBar1.Position(), 0);
  EXPECT_EQ(form().pbTotal.Max(), 0);
  EXPECT_EQ(form().pbTotal.Position(), 0);
  EXPECT_EQ(form().lblPersent.Caption(), "Current: 1, Total: ...");
}

TEST_F(ProgressWindow, CloseBoxAsksAndStopsWithoutMarkingTheBatchStopped) {
  for (int i = 0; i < 3; ++i) engine_tests::AddRow(*tp, "True", "/clips/" + std::to_string(i) + ".avi");
  tp->CommonLib().EncoderChildren.Add(tp.processes.Add("evc"));
  tp->MainForm().Form.SetEnabled(false);
  proc().RowIndex = 0;
  EXPECT_FALSE(form().FormClose());
  EXPECT_EQ(tp.dialogs.questions.back(), "Video To Plim Converter|Are you sure to stop processing ?");
  EXPECT_TRUE(form().Form.Visible());
  EXPECT_EQ(proc().RowIndex, 0);
  EXPECT_EQ(tp.processes.Count("evc"), 1u);

  tp.dialogs.yes_no_answers = {true};
  EXPECT_TRUE(form().FormClose());
  EXPECT_FALSE(form().Form.Visible());
  EXPECT_TRUE(tp->MainForm().Form.Enabled());
  EXPECT_EQ(proc().RowIndex, 13);
  EXPECT_FALSE(proc().StopRequested);
  EXPECT_EQ(tp.processes.Count("evc"), 0u);
}

// --- Pause and the time left ---

TEST_F(ProgressWindow, PauseWithoutAnEncoderOfOursChangesNothing) {
  // A pretend encoder in the table is no child of ours: nothing to suspend.
  tp.processes.Add("evc");
  form().btnPause.Click();
  EXPECT_FALSE(form().Paused);
  EXPECT_TRUE(form().btnPause.Visible());
  EXPECT_FALSE(form().btnResume.Visible());
  EXPECT_EQ(form().lblTimeLeft.Caption(), "");
}

TEST_F(ProgressWindow, WhilePausedTheWindowSaysSoAndStopClearsIt) {
  form().tmrChangingTimer();
  form().ShowPaused(true);
  EXPECT_FALSE(form().btnPause.Visible());
  EXPECT_TRUE(form().btnResume.Visible());
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Paused");
  // The spinner stands still, and a late console text does not cover "Paused".
  const std::string spinner = form().lblInfo.Caption();
  form().tmrChangingTimer();
  form().tmrChangingTimer();
  EXPECT_EQ(form().lblInfo.Caption(), spinner);
  Relay(kVideoLine);
  Relay(kVideoLine);
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Paused");

  tp.dialogs.yes_no_answers = {true};
  form().btnStop1Click();
  EXPECT_FALSE(form().Paused);
  EXPECT_TRUE(form().btnPause.Visible());
  EXPECT_FALSE(form().btnResume.Visible());
  EXPECT_EQ(form().lblTimeLeft.Caption(), "");
}

TEST_F(ProgressWindow, TimeLeftComesFromTheEncodersPaceTheTrimmedLengthsAndTheFixedWaits) {
  // As shipped: 2 s before each row's encoder, and each row given at least 3 s.
  int64_t now = 0;
  form().NowMs = [&] { return now; };
  engine_tests::AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:01:00");
  engine_tests::AddRow(*tp, "True", "/clips/b.avi", "00:00:30", "00:01:30");
  engine_tests::AddRow(*tp, "False", "/clips/skipped.avi", "00:00:00", "01:00:00");
  engine_tests::AddRow(*tp, "True", "/clips/c.avi", "00:00:00", "00:00:02");
  form().Form.Hide();
  form().Form.Show();  // the batch starts at 0
  EXPECT_EQ(form().lblTimeLeft.Caption(), "");
  const auto relay_at = [&](int64_t ms, const std::string& time) {
    now = ms;
    Relay("frame=  450 q=2.0 size=     512kB time=" + time + " bitrate= 137.7kbits/s\r");
  };

  // Row a's encoder starts after the 2 s wait; its start-up says nothing of the pace.
  proc().RowIndex = 0;
  proc().RefreshCount = 0;
  relay_at(2000, "0.00");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: estimating...");
  relay_at(2600, "0.50");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: estimating...");
  // 20 s of media in the 10 s the encoder ran: half a second per second. Left:
  // 40 s of a (20 s), then b (2 s wait + 30 s), then c (2 s wait + its 1 s,
  // which the 3 s a row is given at least makes 3 s): 57 s.
  relay_at(12000, "20.00");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:57");

  // Ten minutes paused count for nothing.
  form().ShowPaused(true);
  now += 600000;
  form().ShowPaused(false);
  relay_at(now, "20.00");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:57");

  // Row a ends 40 s of media later at that pace, and b's encoder starts after
  // its 2 s wait: a's 60 s took 30 s of run, the pace stays. Left: b (30 s) and c.
  proc().RowIndex = 1;
  proc().FilesDone = 1;
  proc().RefreshCount = 0;
  form().ProgressBar1.SetPosition(0);
  relay_at(now + 22000, "0.00");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:35");
  // b runs faster: 30 s in 7.5 s, so 90 media seconds in 37.5 s of run. Left:
  // 30 s of b (12.5 s) and c (5 s).
  relay_at(now + 7500, "30.00");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:18");
}

TEST_F(ProgressWindow, AFastEncoderThatReportsNoProgressStillGivesAnEstimateOnceARowHasEnded) {
  int64_t now = 0;
  form().NowMs = [&] { return now; };
  engine_tests::AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:20");
  engine_tests::AddRow(*tp, "True", "/clips/b.avi", "00:00:00", "00:00:40");
  form().Form.Hide();
  form().Form.Show();
  proc().TrimSecondsText = "20";
  proc().RowIndex = 0;
  proc().RefreshCount = 0;
  now = 2000;
  Relay(kVideoLine);  // its only text, which moves no bar
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: estimating...");
  // a ended within its 3 s of grace; b's first text comes after b's 2 s wait.
  proc().RowIndex = 1;
  proc().FilesDone = 1;
  proc().RefreshCount = 0;
  proc().TrimSecondsText = "40";
  form().ProgressBar1.SetPosition(0);
  now = 7000;
  Relay(kVideoLine);
  // a was held back by the wait, not by its encoder: without a pace b is given
  // its 3 s, the least a row takes.
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:03");
  // Its own reports then give the pace: 10 s in 1 s, 30 s left take 3 s.
  Relay("frame=  450 q=2.0 size=     512kB time=10.00 bitrate= 137.7kbits/s\r");
  now = 8000;
  Relay("frame=  450 q=2.0 size=     512kB time=10.00 bitrate= 137.7kbits/s\r");
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:03");
  now = 9000;
  Relay("frame=  450 q=2.0 size=     512kB time=12.00 bitrate= 137.7kbits/s\r");
  // 12 s in 2 s: 28 s left take 4.7 s.
  EXPECT_EQ(form().lblTimeLeft.Caption(), "Time left: 00:00:05");
}

TEST(RunMsFor, ScalesThePaceAndNeedsSomethingToGoBy) {
  EXPECT_EQ(RunMsFor(100, 0, 10000), 0);
  EXPECT_EQ(RunMsFor(0, 10, 10000), 0);
  EXPECT_EQ(RunMsFor(10, 20, 10000), 5000);
  EXPECT_EQ(RunMsFor(int64_t{1} << 40, 1, int64_t{1} << 40), INT64_MAX / 4);
}
