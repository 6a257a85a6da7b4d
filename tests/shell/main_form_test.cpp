#include "shell/main_form.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "platform/errors.h"
#include "settings/option_form.h"
#include "shell/startup.h"
#include "test_program.h"

using testing_support::TestProgram;

namespace {

// Counts the clicks of every command button the keys reach.
struct KeyFixture : ::testing::Test {
  KeyFixture() {
    TFrmMainForm& f = t->MainForm();
    for (auto [name, button] : std::map<std::string, ui::Button*>{{"open", &f.btnOpenFile},
                                                                  {"remove", &f.btnRemoveFile},
                                                                  {"clear", &f.btnClearFile},
                                                                  {"play", &f.btnPlay},
                                                                  {"pause", &f.btnPause},
                                                                  {"stop", &f.btnStop},
                                                                  {"convert", &f.btnConvert},
                                                                  {"folder", &f.btnSelectOutputFolder}})
      button->OnClick = [this, name = name] { ++clicks[name]; };
  }
  void Press(int key, ui::ShiftState shift) { t->MainForm().FormKeyDown(key, shift); }
  static ui::ShiftState Ctrl() {
    ui::ShiftState s;
    s.ctrl = true;
    return s;
  }
  TestProgram t;
  std::map<std::string, int> clicks;
};

}  // namespace

TEST_F(KeyFixture, CtrlLettersClickTheirButtons) {
  for (char key : std::string("ORLPUTSNB")) Press(key, Ctrl());
  EXPECT_EQ(clicks, (std::map<std::string, int>{{"open", 1},
                                                {"remove", 1},
                                                {"clear", 1},
                                                {"play", 1},
                                                {"pause", 1},
                                                {"stop", 1},
                                                {"convert", 2},
                                                {"folder", 1}}));
  // The folder button is hidden, yet its key reaches it.
  EXPECT_FALSE(t->MainForm().btnSelectOutputFolder.Visible());
}

TEST_F(KeyFixture, OnlyCtrlAloneCounts) {
  ui::ShiftState ctrl_shift = Ctrl(), ctrl_alt = Ctrl(), ctrl_left = Ctrl(), ctrl_right = Ctrl();
  ctrl_shift.shift = true;
  ctrl_alt.alt = true;
  ctrl_left.left = true;
  ctrl_right.right = true;
  Press('O', ctrl_shift);
  Press('O', ctrl_alt);
  Press('O', ctrl_left);
  Press('O', ctrl_right);
  Press('O', {});
  ui::ShiftState alt;
  alt.alt = true;
  Press('S', alt);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(KeyFixture, CtrlIShowsTheOptionsDialogWithoutWaiting) {
  EXPECT_FALSE(t->OptionForm().Form.Visible());
  Press('I', Ctrl());
  EXPECT_TRUE(t->OptionForm().Form.Visible());
  EXPECT_FALSE(t->OptionForm().Form.Modal());
}

TEST_F(KeyFixture, F1OpensTheHelpWithAnyModifiers) {
  t->SoftInfo().ProgramFolder = t.AppDir();
  ui::ShiftState shift, ctrl = Ctrl(), all = Ctrl();
  shift.shift = true;
  all.shift = all.alt = true;
  for (const auto& s : {ui::ShiftState{}, shift, ctrl, all}) Press(vk::F1, s);
  ASSERT_EQ(t.launcher.opened.size(), 4u);
  for (const auto& target : t.launcher.opened) EXPECT_EQ(target, t.AppDir() + "Help.html");
  EXPECT_TRUE(clicks.empty());
}

TEST(MainWindow, ResizeSetsTheMinimumSize) {
  TestProgram t;
  t->MainForm().FormResize();
  EXPECT_EQ(t->MainForm().MinWidth, 686);
  EXPECT_EQ(t->MainForm().MinHeight, 519);
}

TEST(MainWindow, CloseEndsTheProgram) {
  TestProgram t;
  t->MainForm().btnWindowClose.Click();
  EXPECT_TRUE(t->Ended());
  EXPECT_EQ(t->ExitCode(), 0);
}

TEST(MainWindow, MinimizeButtonMinimizes) {
  TestProgram t;
  t->MainForm().btnWindowMinimize.Click();
  EXPECT_TRUE(t->MainForm().Form.Minimized());
}

TEST(MainWindow, MemoryTimerHandlesPendingEvents) {
  TestProgram t;
  bool ran = false;
  t.loop.Post([&] { ran = true; });
  t->MainForm().tmrClearMemoryTimer();
  EXPECT_TRUE(ran);
  EXPECT_EQ(t->MainForm().tmrClearMemory.Interval(), 1000);
}

TEST(MainWindow, AnErrorInAHandlerIsReportedAndTheProgramGoesOn) {
  TestProgram t;
  t->MainForm().btnOpenFile.OnClick = [] { throw AppError("Cannot open file \"/x\". Permission denied"); };
  t->Guarded([&] { t->MainForm().btnOpenFile.Click(); });
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].kind, ui::MessageKind::Error);
  EXPECT_EQ(t.dialogs.messages[0].caption, "Video To Plim Converter");
  EXPECT_EQ(t.dialogs.messages[0].text, "Cannot open file \"/x\". Permission denied");
  EXPECT_FALSE(t->Ended());
}

TEST(MainWindow, ClosingWhileThePreviewPlaysStopsItSavesTheSettingsAndEnds) {
  TestProgram t;
  t.graph.SetActive(true);
  t.graph.RenderFile("/v/clip.avi");
  t.graph.Run();
  t->MainForm().chkShutdown.SetChecked(true);
  t->MainForm().FormClose();
  EXPECT_FALSE(t.graph.Active());
  EXPECT_TRUE(t->Ended());
  const auto settings = testing_support::ReadFile(t.AppDir() + "Config/UserSettings.ini");
  ASSERT_TRUE(settings);
  EXPECT_NE(settings->find("SHUTDOWN=1"), std::string::npos);
}

TEST(MainWindow, ASettingsFileThatCannotBeWrittenIsReportedAndTheProgramStillEnds) {
  TestProgram t;
  // A folder where the settings file should be: it cannot be written.
  ::mkdir((t.AppDir() + "Config/UserSettings.ini").c_str(), 0755);
  t->MainForm().FormClose();
  EXPECT_TRUE(t->Ended());
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].kind, ui::MessageKind::Error);
}
