#include "shell/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/errors.h"
#include "plugins/plugin_api.h"
#include "test_program.h"

using testing_support::TempDir;
using testing_support::TestProgram;

namespace {

void Install(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

// A program folder with both sibling libraries.
struct StartUp : ::testing::Test {
  StartUp() {
    Install(VTPC_RES_SO, t.AppDir() + "Res.so");
    Install(VTPC_FORM_SO, t.AppDir() + "Form.so");
  }
  TestProgram t;
  TFrmMainForm& form() { return t->MainForm(); }
};

// What a view of the splash would see: when it showed and when it went.
struct SplashWatch {
  int64_t shown_at = -1, hidden_at = -1;
  int width = 0, height = 0;
  bool had_picture = false, modal = false;
  int tick_count_at_close = -1;
};

void WatchSplash(TestProgram& t, SplashWatch& watch) {
  t->MainForm().CreateSplashView = [&t, &watch](TFrmFlashForm& splash) -> std::shared_ptr<void> {
    watch.width = splash.Width;
    watch.height = splash.Height;
    watch.had_picture = !splash.ImgFlash.Empty();
    auto id = std::make_shared<int>();
    *id = splash.Form.Subscribe([&t, &watch, &splash] {
      if (splash.Form.Visible() && watch.shown_at < 0) {
        watch.shown_at = t.loop.Now();
        watch.modal = splash.Form.Modal();
      }
      if (!splash.Form.Visible() && watch.shown_at >= 0 && watch.hidden_at < 0) {
        watch.hidden_at = t.loop.Now();
        watch.tick_count_at_close = splash.TickCount;
      }
    });
    return std::shared_ptr<void>(id.get(), [id, &splash](void*) { splash.Form.Unsubscribe(*id); });
  };
}

}  // namespace

TEST_F(StartUp, BothLibrariesMissingGiveTwoBoxesInOrderAndNoSplash) {
  std::filesystem::remove(t.AppDir() + "Res.so");
  std::filesystem::remove(t.AppDir() + "Form.so");
  SplashWatch watch;
  WatchSplash(t, watch);
  form().Start();
  ASSERT_EQ(t.dialogs.messages.size(), 2u);
  EXPECT_EQ(t.dialogs.messages[0].text, "'Form.so' is not found. Please reinstall this program.");
  EXPECT_EQ(t.dialogs.messages[1].text, "'Res.so' is not found. Please reinstall this program.");
  for (const auto& m : t.dialogs.messages) {
    EXPECT_EQ(m.kind, ui::MessageKind::Information);
    EXPECT_EQ(m.caption, "Video To Plim Converter");
  }
  EXPECT_TRUE(t->Ended());
  EXPECT_NE(t->ExitCode(), 0);
  EXPECT_LT(watch.shown_at, 0);
  EXPECT_FALSE(form().Form.Visible());
}

TEST_F(StartUp, OneMissingLibraryEndsTheProgramToo) {
  std::filesystem::remove(t.AppDir() + "Res.so");
  EXPECT_FALSE(form().CheckLibraries());
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].text, "'Res.so' is not found. Please reinstall this program.");
  // A folder of that name is no library.
  std::filesystem::create_directory(t.AppDir() + "Res.so");
  EXPECT_FALSE(form().CheckLibraries());
}

TEST_F(StartUp, LibrariesAreLookedForBesideTheProgramNotInTheWorkingFolder) {
  TempDir elsewhere;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());
  const bool found = form().CheckLibraries();
  std::filesystem::current_path(before);
  EXPECT_TRUE(found);
  EXPECT_TRUE(t.dialogs.messages.empty());
}

TEST_F(StartUp, SplashStaysTwoTicksAfterAQuickInitialisationThenTheWindowShows) {
  SplashWatch watch;
  WatchSplash(t, watch);
  form().Start();
  EXPECT_TRUE(t.dialogs.messages.empty());
  ASSERT_GE(watch.shown_at, 0);
  EXPECT_TRUE(watch.modal);
  EXPECT_TRUE(watch.had_picture);
  EXPECT_EQ(watch.width, 420);
  EXPECT_EQ(watch.height, 260);
  // Initialisation runs 250 ms after showing; the splash goes at the second tick.
  EXPECT_EQ(watch.tick_count_at_close, 2);
  EXPECT_GE(watch.hidden_at - watch.shown_at, 2000);
  EXPECT_LT(watch.hidden_at - watch.shown_at, 2100);
  EXPECT_TRUE(form().Form.Visible());
  EXPECT_TRUE(form().AcceptsDroppedFiles);
  EXPECT_FALSE(t->Ended());
}

TEST_F(StartUp, ASlowInitialisationKeepsTheSplashUntilItEnds) {
  SplashWatch watch;
  WatchSplash(t, watch);
  // The initialisation handles pending events once (the round after the one
  // whose timer started it); make that take 3.5 s.
  t.loop.At(250, [&] { t.loop.OnRound(1, [&] { t.loop.clock.now_ms += 3500; }); });
  form().Start();
  // Never before the initialisation ended, and at most one tick after.
  EXPECT_GE(watch.hidden_at - watch.shown_at, 3750);
  EXPECT_LE(watch.hidden_at - watch.shown_at, 4750);
}

TEST_F(StartUp, AFailingInitialisationStillClosesTheSplash) {
  SplashWatch watch;
  WatchSplash(t, watch);
  t.loop.At(250, [&] { t.loop.OnRound(1, [] { throw AppError("Cannot open file \"x\"."); }); });
  form().Start();
  EXPECT_GE(watch.hidden_at, 0);
  // Reported, and the window comes up all the same.
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].text, "Cannot open file \"x\".");
  EXPECT_EQ(t.dialogs.messages[0].kind, ui::MessageKind::Error);
  EXPECT_TRUE(form().Form.Visible());
}

TEST_F(StartUp, ProductInformationAndCaption) {
  form().Start();
  const RecSoftInfo& info = t->SoftInfo();
  EXPECT_EQ(info.ProductName, "Video To Plim Converter");
  EXPECT_EQ(info.VersionText, "2.0");
  EXPECT_EQ(info.ProgramFolder, t.AppDir());
  EXPECT_FALSE(info.StringEntry0.empty());
  EXPECT_FALSE(info.StringEntry2.empty());
  EXPECT_FALSE(info.StringEntry7.empty());
  EXPECT_NE(info.HomePageUrl.find("://"), std::string::npos);
  EXPECT_NE(info.SupportEmail.find('@'), std::string::npos);
  EXPECT_EQ(form().Form.Caption(), "Video To Plim Converter 2.0");
  EXPECT_EQ(form().lblTitle.Caption(), "Video To Plim Converter 2.0");
}

TEST(StartUpOdd, LongTextsAreCutAndABadPictureGivesAPlainSplash) {
  TestProgram t;
  Install(VTPC_ODD_RES_SO, t.AppDir() + "Res.so");
  Install(VTPC_FORM_SO, t.AppDir() + "Form.so");
  SplashWatch watch;
  WatchSplash(t, watch);
  t->MainForm().Start();
  EXPECT_GE(watch.hidden_at, 0);
  EXPECT_FALSE(watch.had_picture);
  EXPECT_GT(watch.width, 0);
  EXPECT_EQ(t->SoftInfo().ProductName, std::string(253, 'x'));
  EXPECT_TRUE(t->SoftInfo().HomePageUrl.empty());
  // The e-mail action hands the bare scheme on.
  t->MainForm().SendEmail();
  ASSERT_EQ(t.launcher.opened.size(), 1u);
  EXPECT_EQ(t.launcher.opened[0], "mailto:");
}

TEST(StartUpOdd, NoVersionResourceLeavesTheProductNameAndABlank) {
  TempDir other;
  testing_support::WriteFile(other.file("plain"), "no ELF here");
  TestProgram t;
  ProgramServices services;
  Install(VTPC_RES_SO, t.AppDir() + "Res.so");
  services.app_dir = t.AppDir();
  services.dialogs = &t.dialogs;
  services.loop = &t.loop;
  services.executable_path = other.file("plain");
  Program program(services);
  program.MainForm().InitializeApplication();
  EXPECT_EQ(program.MainForm().Form.Caption(), "Video To Plim Converter ");
}

TEST_F(StartUp, ProductActionsHandTheirTargetsToTheDesktop) {
  form().Start();
  form().ActSysHomePageExecute();
  form().ActSysEmailExecute();
  form().ActSysHelpExecute();
  ASSERT_EQ(t.launcher.opened.size(), 3u);
  EXPECT_EQ(t.launcher.opened[0], t->SoftInfo().HomePageUrl);
  EXPECT_EQ(t.launcher.opened[1], "mailto:" + t->SoftInfo().SupportEmail);
  EXPECT_EQ(t.launcher.opened[2], t.AppDir() + "Help.html");
}

// ---------------------------------------------------------------- About box

namespace {

struct AboutRecord {
  std::string caption;
  std::vector<std::string> texts;
  std::vector<std::string> link_targets;
  int shown = 0, freed = 0, buttons = 0;
};

AboutRecord* g_about = nullptr;  // the C callbacks have no closure

VtpcApplication RecordingApplication() {
  VtpcApplication app{};
  app.abi_version = VTPC_APPLICATION_ABI;
  app.title = "Video To Plim Converter";
  app.CreateDialog = [](void*, const char* caption, int, int) -> void* {
    g_about->caption = caption;
    return g_about;
  };
  app.AddText = [](void*, int, int, int, int, const char* text, int) { g_about->texts.push_back(text); };
  app.AddLink = [](void*, int, int, int, int, const char*, const char* target) {
    g_about->link_targets.push_back(target);
  };
  app.AddCloseButton = [](void*, int, int, int, int, const char*) { ++g_about->buttons; };
  app.RunModal = [](void*) { ++g_about->shown; };
  app.FreeDialog = [](void*) { ++g_about->freed; };
  return app;
}

}  // namespace

TEST(About, FormLibraryShowsTheProductInformationThroughTheApplication) {
  AboutRecord record;
  g_about = &record;
  const VtpcApplication app = RecordingApplication();
  TestProgram base;
  Install(VTPC_RES_SO, base.AppDir() + "Res.so");
  Install(VTPC_FORM_SO, base.AppDir() + "Form.so");
  ProgramServices services;
  services.app_dir = base.AppDir();
  services.dialogs = &base.dialogs;
  services.loop = &base.loop;
  services.application = &app;
  Program program(services);
  program.MainForm().InitializeApplication();
  program.MainForm().ActSysAboutExecute();
  EXPECT_EQ(record.shown, 1);
  EXPECT_EQ(record.freed, 1);
  EXPECT_EQ(record.buttons, 1);
  EXPECT_EQ(record.caption, "About Video To Plim Converter");
  const std::string all = [&] {
    std::string s;
    for (auto& t : record.texts) s += t + "\n";
    return s;
  }();
  EXPECT_NE(all.find("Video To Plim Converter 2.0"), std::string::npos);
  EXPECT_NE(all.find(program.SoftInfo().StringEntry2), std::string::npos);
  EXPECT_NE(all.find(base.AppDir()), std::string::npos);
  EXPECT_EQ(record.link_targets,
            (std::vector<std::string>{program.SoftInfo().HomePageUrl, "mailto:" + program.SoftInfo().SupportEmail}));

  // A missing library, or one without the export, shows nothing.
  std::filesystem::remove(base.AppDir() + "Form.so");
  program.MainForm().ShowAbout();
  Install(VTPC_RES_SO, base.AppDir() + "Form.so");
  program.MainForm().ShowAbout();
  EXPECT_EQ(record.shown, 1);
  g_about = nullptr;
}

// ---------------------------------------------------------------- JPEG

TEST(Jpeg, TheSplashPictureDecodesAndDamagedDataIsRefused) {
  TempDir dir;
  Install(VTPC_RES_SO, dir.file("Res.so"));
  ResLibrary res(dir.path());
  ASSERT_TRUE(res.Loaded());
  const std::string jpeg = res.FindResource("ImgFlash", "jpeg");
  ASSERT_GT(jpeg.size(), 1000u);
  EXPECT_TRUE(res.FindResource("ImgFlash", "png").empty());
  auto picture = DecodeJpeg(jpeg.data(), jpeg.size());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Width, 420);
  EXPECT_EQ(picture->Height, 260);
  EXPECT_EQ(picture->Rgb.size(), 420u * 260u * 3u);

  EXPECT_FALSE(DecodeJpeg("not a jpeg at all", 17));
  EXPECT_FALSE(DecodeJpeg(nullptr, 0));
  // A picture cut short must not bring the program down, whatever it decodes to.
  for (size_t cut : {size_t{2}, size_t{100}, jpeg.size() / 2}) (void)DecodeJpeg(jpeg.data(), cut);
}
