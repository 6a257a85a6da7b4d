// The program as a package runs it: files from the command line, and the data in
// the user's own folders instead of beside the executable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "app_fixture.h"
#include "platform/data_layout.h"
#include "shell/custom_proc.h"
#include "test_media.h"

using testing_support::AppFixture;
using testing_support::Exists;
using testing_support::TempDir;

namespace {

// Restores the current folder the test changed.
struct CurrentFolder {
  explicit CurrentFolder(const std::string& folder) : saved(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() { std::filesystem::current_path(saved); }
  std::filesystem::path saved;
};

TEST(CommandLineFiles, AreListedWithTheOpenDialogsChecksAndBadOnesGetTheErrorInfo) {
  AppFixture f;
  TempDir media;
  testing_support::MakeClip(".avi", 2, media.file("one.avi"));
  testing_support::MakeClip(".mkv", 3, media.file("two.mkv"));
  testing_support::WriteFile(media.file("notes.txt"), "not a video");
  std::filesystem::create_directory(media.file("folder.avi"));
  const CurrentFolder here(media.path());
  // Absolute and relative names, the same file twice, a missing one, a text
  // file and a folder, as a shell or a file manager may hand them over.
  f.application->Start({media.file("one.avi"), "two.mkv", "./one.avi", "missing.avi", "notes.txt", "folder.avi"});
  ASSERT_TRUE(testing_support::WaitFor([&] { return f.window().isVisible(); }));
  const ui::SourceGrid& grid = f.form().dxTreeSourceFileInfo;
  ASSERT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 1), media.file("one.avi"));
  EXPECT_EQ(grid.Cell(1, 1), media.file("two.mkv"));
  EXPECT_EQ(grid.Cell(1, 3), "00:00:03");
  EXPECT_EQ(f.window().grid()->QTableView::model()->rowCount(), 2);
  const std::set<std::string> refused(f.dialogs.codec_error_paths.begin(), f.dialogs.codec_error_paths.end());
  EXPECT_EQ(refused,
            (std::set<std::string>{media.file("missing.avi"), media.file("notes.txt"), media.file("folder.avi")}));
  EXPECT_EQ(f.dialogs.codec_error_paths.size(), 3u);
}

TEST(CommandLineFiles, NoneLeaveTheListEmptyAndShowNothing) {
  AppFixture f;
  f.Start();
  EXPECT_EQ(f.form().dxTreeSourceFileInfo.RowCount(), 0);
  EXPECT_EQ(f.dialogs.codec_errors, 0);
  EXPECT_TRUE(f.dialogs.messages.empty());
}

// An installed layout for a fixture's program folder, on folders of the test.
struct InstalledApp {
  explicit InstalledApp(const std::map<std::string, std::string>& extra = {}) {
    vars = {{"HOME", home.path()}, {"XDG_RUNTIME_DIR", home.file("run")}};
    for (const auto& [name, value] : extra) vars[name] = value;
    std::filesystem::create_directory(home.file("run"));
    app::ApplicationOptions options;
    options.layout = platform::InstalledLayout("/nowhere/", [this](const char* name) {
      auto it = vars.find(name);
      return it == vars.end() ? std::string() : it->second;
    });
    layout = options.layout;
    fixture = std::make_unique<AppFixture>(options);
  }
  TempDir home;
  std::map<std::string, std::string> vars;
  platform::DataLayout layout;
  std::unique_ptr<AppFixture> fixture;
};

TEST(InstalledProgram, KeepsSettingsLogAndOutputFolderInTheUsersFolders) {
  InstalledApp app;
  AppFixture& f = *app.fixture;
  f.Start();
  EXPECT_TRUE(f.dialogs.messages.empty());
  EXPECT_EQ(f.form().edtOutputFolder.Text(), app.home.file("Videos/Video To Plim Converter"));
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  ASSERT_TRUE(f.program().Ended());
  EXPECT_TRUE(Exists(app.home.file(".config/video-to-plim-converter/UserSettings.ini")));
  f.program().WriteLog("a line");
  EXPECT_TRUE(Exists(app.home.file(".local/state/video-to-plim-converter/log.txt")));
  EXPECT_TRUE(std::filesystem::is_directory(app.home.file("run/video-to-plim-converter")));
  // The fixture's program folder got nothing of it.
  for (const char* name : {"Config/UserSettings.ini", "log.txt"}) EXPECT_FALSE(Exists(f.AppDir() + name)) << name;
}

TEST(InstalledProgram, TheRealMediaScriptGoesToThePrivateScratchFolderAndLeavesWithTheProgram) {
  InstalledApp app;
  AppFixture& f = *app.fixture;
  // One a killed run left behind is swept at start.
  const std::string script = app.home.file("run/video-to-plim-converter/VideoFile.avs");
  std::filesystem::create_directory(app.home.file("run/video-to-plim-converter"));
  testing_support::WriteFile(script, "stale");
  f.Start();
  EXPECT_FALSE(Exists(script));
  f.form().dxTreeSourceFileInfo.AddRow(
      {"True", "/clips/clip.rmvb", "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  const std::string command = f.program().CustomProc().CreateConvertParameter("/clips/clip.rmvb");
  EXPECT_NE(command.find("\"" + script + "\""), std::string::npos) << command;
  EXPECT_TRUE(Exists(script));
  EXPECT_FALSE(Exists(f.AppDir() + "VideoFile.avs"));
  // The encoders are still the ones beside the program.
  EXPECT_EQ(command.rfind("\"" + f.AppDir() + "revc\"", 0), 0u) << command;
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  ASSERT_TRUE(f.program().Ended());
  EXPECT_FALSE(Exists(script));
}

TEST(InstalledProgram, AStateFolderThatCannotBeMadeIsSaidOnceAndTheProgramWorksOn) {
  TempDir elsewhere;
  testing_support::WriteFile(elsewhere.file("state"), "a file, not a folder");
  InstalledApp app({{"XDG_STATE_HOME", elsewhere.file("state")}});
  AppFixture& f = *app.fixture;
  f.Start();
  ASSERT_TRUE(f.window().isVisible());
  ASSERT_EQ(f.dialogs.messages.size(), 1u);
  EXPECT_EQ(f.dialogs.messages[0].kind, ui::MessageKind::Warning);
  EXPECT_NE(f.dialogs.messages[0].text.find(elsewhere.file("state/video-to-plim-converter") + "\" for the log"),
            std::string::npos)
      << f.dialogs.messages[0].text;
  // A log line that cannot be written is an error of its own, not a crash.
  EXPECT_ANY_THROW(f.program().WriteLog("a line"));
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  EXPECT_TRUE(f.program().Ended());
  EXPECT_TRUE(Exists(app.home.file(".config/video-to-plim-converter/UserSettings.ini")));
}

}  // namespace
