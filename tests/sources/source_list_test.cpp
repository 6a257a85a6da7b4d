#include "sources/source_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "media/duration_probe.h"
#include "platform/errors.h"
#include "settings/ini_file.h"
#include "source_list_fixture.h"
#include "sources/components.h"
#include "test_media.h"

using testing_support::MakeClip;
using testing_support::WriteFile;

namespace {

// --- Adding files ---

TEST_F(SourceListTest, SoundFilesOfEveryAcceptedTypeAreAddedAndKnownToHaveNoPicture) {
  std::vector<std::string> paths;
  for (const std::string& ext : testing_support::AcceptedSoundTypes()) {
    paths.push_back(t.dir.file("tone" + ext));
    testing_support::MakeSoundClip(ext, 3, paths.back());
  }
  paths.push_back(t.dir.file("covered.mp3"));
  testing_support::MakeSoundClip(".mp3", 3, paths.back(), /*with_cover=*/true);
  lib.AddSourceFiles(grid, paths);
  EXPECT_EQ(Paths(), paths);
  EXPECT_EQ(t.dialogs.codec_errors, 0);
  const media::DurationProbe probe;
  for (int row = 0; row < grid.RowCount(); ++row) {
    EXPECT_EQ(grid.Cell(row, 3), "00:00:03") << grid.Cell(row, 1);
    EXPECT_FALSE(probe.HasVideoStream(grid.Cell(row, 1))) << grid.Cell(row, 1);
  }
  EXPECT_TRUE(probe.HasVideoStream(Clip("clip.avi")));
  EXPECT_FALSE(probe.HasVideoStream(t.dir.file("missing.avi")));
}

TEST_F(SourceListTest, AnAddedFileFillsItsRowAndLoadsTheTrimBar) {
  const std::string path = Clip("clip.avi");
  lib.AddSourceFiles(grid, {path});
  ASSERT_EQ(grid.RowCount(), 1);
  const std::string size = TCommonLib::FormatFileSize(static_cast<int64_t>(std::filesystem::file_size(path)));
  EXPECT_EQ(grid.Cell(0, 0), "True");
  EXPECT_EQ(grid.Cell(0, 1), path);
  EXPECT_EQ(grid.Cell(0, 2), size);
  for (int column : {3, 5, 6}) EXPECT_EQ(grid.Cell(0, column), "00:00:02");
  EXPECT_EQ(grid.Cell(0, 4), "00:00:00");
  EXPECT_TRUE(grid.IsSelected(0));
  EXPECT_EQ(form.TrimDurationSeconds, 2);
  EXPECT_TRUE(form.TrimBarReady);
  EXPECT_EQ(t.dialogs.codec_errors, 0);
}

TEST_F(SourceListTest, ExtensionsAreComparedLowerCasedAndOthersSkippedSilently) {
  const std::string upper = Clip("LOUD.AVI");
  const std::string mp4 = Clip("clip.mp4");
  const std::string flash = Clip("anim.Swf");
  WriteFile(t.dir.file("notes.txt"), "not a video");
  std::filesystem::create_directory(t.dir.file("holiday.avi"));
  lib.AddSourceFiles(grid,
                     {upper, t.dir.file("notes.txt"), t.dir.file("holiday.avi"), mp4, t.dir.file("noext"), flash});
  EXPECT_EQ(Paths(), (std::vector<std::string>{upper, mp4, flash}));
  EXPECT_EQ(t.dialogs.codec_errors, 0);
}

TEST_F(SourceListTest, DuplicatesAreExactAndCaseSensitive) {
  const std::string lower = Clip("clip.avi");
  const std::string mixed = Clip("Clip.avi");
  lib.AddSourceFiles(grid, {lower, lower});
  lib.AddSourceFiles(grid, {lower, mixed});
  EXPECT_EQ(Paths(), (std::vector<std::string>{lower, mixed}));
}

TEST_F(SourceListTest, UnreadableFilesGetOneCodecWindowEachAndTheRestIsAdded) {
  const std::string good1 = Clip("one.avi");
  const std::string good2 = Clip("two.mpg");
  const std::string shorty = Clip("short.mp4", 0.8);
  WriteFile(t.dir.file("empty.avi"), "");
  WriteFile(t.dir.file("fake.wmv"), std::string(5000, 'x'));
  std::vector<int> rows_at_each_window;
  t.dialogs.while_modal = [&] { rows_at_each_window.push_back(grid.RowCount()); };
  lib.AddSourceFiles(
      grid, {shorty, good1, t.dir.file("empty.avi"), t.dir.file("missing.mov"), good2, t.dir.file("fake.wmv")});
  EXPECT_EQ(Paths(), (std::vector<std::string>{good1, good2}));
  EXPECT_EQ(t.dialogs.codec_errors, 4);
  // Each window names its file.
  EXPECT_EQ(t.dialogs.codec_error_paths, (std::vector<std::string>{shorty, t.dir.file("empty.avi"),
                                                                   t.dir.file("missing.mov"), t.dir.file("fake.wmv")}));
  // One window at a time, in list order, each closed before the next path.
  EXPECT_EQ(rows_at_each_window, (std::vector<int>{0, 1, 1, 2}));
}

TEST_F(SourceListTest, AwkwardNamesAreTakenWhole) {
  std::vector<std::string> paths = {Clip("with  blanks .avi"), Clip("it's \"quoted\".mov"),
                                    Clip("Fußball – Ünïcødé 動画.flv")};
  // Deeper than 254 characters: a cut path would name another file.
  std::string deep = t.dir.path();
  while (deep.size() < 300) deep += "a-rather-long-folder-name/";
  std::filesystem::create_directories(deep);
  paths.push_back(deep + "deep clip.avi");
  MakeClip(".avi", 2, paths.back());
  form.WMDropFiles(paths);
  EXPECT_EQ(Paths(), paths);
  EXPECT_EQ(t.dialogs.codec_errors, 0);
}

TEST_F(SourceListTest, TheSizeComesFromTheFileAndAMissingFileIsAnError) {
  WriteFile(t.dir.file("five.bin"), "12345");
  EXPECT_EQ(TCommonLib::SourceFileSize(t.dir.file("five.bin")), 5);
  try {
    TCommonLib::SourceFileSize(t.dir.file("gone.avi"));
    FAIL() << "no error";
  } catch (const FileOpenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + t.dir.file("gone.avi") + "\". ", 0), 0u);
  }
}

TEST(UniqueFileList, KeepsTheFirstOfEachExactPathInOrder) {
  EXPECT_EQ(TCommonLib::UniqueFileList({"/b", "/a", "/b", "/A", "/a", "/c"}),
            (std::vector<std::string>{"/b", "/a", "/A", "/c"}));
  EXPECT_TRUE(TCommonLib::UniqueFileList({}).empty());
}

// --- The open dialog and the busy window ---

TEST_F(SourceListTest, SelectSourceFilesOpensAtTheFolderAndReturnsTheChoice) {
  t.dialogs.open_answers = {{"/v/b.avi", "/v/a.avi", "/v/b.avi"}, {"/v/b.avi", "/v/b.avi"}, {}};
  EXPECT_EQ(lib.SelectSourceFiles(form.dlgOpenSourceFile, true, "/start/"),
            (std::vector<std::string>{"/v/b.avi", "/v/a.avi"}));
  EXPECT_EQ(lib.SelectSourceFiles(form.dlgOpenSourceFile, false, "/start/"),
            (std::vector<std::string>{"/v/b.avi", "/v/b.avi"}));
  EXPECT_TRUE(lib.SelectSourceFiles(form.dlgOpenSourceFile, true, "/other/").empty());
  ASSERT_EQ(t.dialogs.open_requests.size(), 3u);
  EXPECT_EQ(t.dialogs.open_requests[2].initial_folder, "/other/");
  EXPECT_TRUE(t.dialogs.open_requests[0].multi_select);
  EXPECT_EQ(t.dialogs.open_requests[0].filter,
            "All supported files|*.3gp;*.mp4;*.m4v;*.mpeg;*.mpg;*.avi;*.asf;*.mov;*.wmv;*.flv;*.swf;*.rm;*.rmvb;*.3g2;"
            "*.vob;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.ogv;*.mp3;*.wav;*.m4a;*.aac;*.flac;*.ogg;*.opus;*.wma;"
            "|Video files|*.3gp;*.mp4;*.m4v;*.mpeg;*.mpg;*.avi;*.asf;*.mov;*.wmv;*.flv;*.swf;*.rm;*.rmvb;*.3g2;"
            "*.vob;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.ogv;"
            "|Audio files|*.mp3;*.wav;*.m4a;*.aac;*.flac;*.ogg;*.opus;*.wma;|3GP Files "
            "(*.3gp)|*.3gp|AVI Files (*.avi)|*.avi|ASF Files (*.asf)|*.asf|Flash Files (*.flv,swf)|*.flv;*.swf|MOV "
            "Files (*.mov)|*.mov|WMV Files (*.wmv)|*.wmv|MP4 File (*.mp4,*.m4v)|*.mp4;*.m4v|MPEG Files "
            "(*.mpeg,*.mpg)|*.mpeg;*.mpg;|RM Files (*.rm,*.rmvb)|*.rm;*.rmvb;|3G2 Files (*.3g2)|*.3g2|DVD Video "
            "Files (*.vob)|*.vob|Matroska Files (*.mkv)|*.mkv|WebM Files (*.webm)|*.webm|MPEG-TS Files "
            "(*.ts,*.m2ts,*.mts)|*.ts;*.m2ts;*.mts|Ogg Video Files (*.ogv)|*.ogv");
}

TEST_F(SourceListTest, TheDialogsFirstEntryOffersExactlyWhatTheListTakes) {
  lib.SelectSourceFiles(form.dlgOpenSourceFile, true, "/start/");
  ASSERT_EQ(t.dialogs.open_requests.size(), 1u);
  const auto entries = TCommonLib::SplitText(t.dialogs.open_requests[0].filter, '|');
  ASSERT_GE(entries.size(), 2u);
  std::vector<std::string> offered;
  for (const std::string& pattern : TCommonLib::SplitText(entries[1], ';')) {
    ASSERT_EQ(pattern.rfind("*.", 0), 0u) << pattern;
    offered.push_back(pattern.substr(1));
    EXPECT_TRUE(TCommonLib::AcceptedSourceExtension("/v/clip" + offered.back())) << pattern;
  }
  for (const char* ext : {".mkv", ".webm", ".ts", ".m2ts", ".mts", ".m4v", ".ogv", ".3g2", ".vob", ".mp3", ".wav",
                          ".m4a", ".aac", ".flac", ".ogg", ".opus", ".wma"}) {
    EXPECT_NE(std::find(offered.begin(), offered.end(), ext), offered.end()) << ext;
    EXPECT_TRUE(TCommonLib::AcceptedSourceExtension("/v/CLIP" + std::string(ext))) << ext;
  }
  // Look-alikes stay out.
  for (const char* path : {"/v/a.mk", "/v/a.tsx", "/v/a.webmx", "/v/ts", "/v/a.oggx", "/v/a.mp", "/v/wav"})
    EXPECT_FALSE(TCommonLib::AcceptedSourceExtension(path)) << path;
}

TEST_F(SourceListTest, OpenAddsTheChosenFilesOnceBehindTheBusyWindow) {
  const std::string a = Clip("a.avi");
  const std::string b = Clip("b.flv");
  t.dialogs.open_answers = {{a, b, a}};
  TFrmInitFileForm& busy = t->InitFileForm();
  bool busy_seen_empty = false;
  t.loop.At(100, [&] { busy_seen_empty = busy.Form.Visible() && grid.RowCount() == 0; });
  form.btnOpenFileClick();
  EXPECT_TRUE(busy_seen_empty);
  EXPECT_FALSE(busy.Form.Visible());
  EXPECT_FALSE(busy.Timer1.Enabled());
  EXPECT_EQ(Paths(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(t.dialogs.open_requests.at(0).initial_folder, platform::DefaultInitDir());
  EXPECT_EQ(SavedInitDir(), t.dir.path());
  // The next dialog opens where the last one left off.
  form.btnOpenFileClick();
  EXPECT_EQ(t.dialogs.open_requests.at(1).initial_folder, t.dir.path());
}

TEST_F(SourceListTest, CancelStillShowsTheBusyWindowBrieflyAndReloadsTheFirstRow) {
  AddRow("/v/a.avi", "00:05:00", "00:01:00");
  AddRow("/v/b.avi", "00:04:00");
  const int64_t before = t.loop.Now();
  form.btnOpenFileClick();  // no scripted answer: cancelled
  const int64_t shown = t.loop.Now() - before;
  EXPECT_GE(shown, 300);
  EXPECT_LT(shown, 400);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_TRUE(grid.IsSelected(0));
  EXPECT_EQ(form.TrimDurationSeconds, 300);
  EXPECT_EQ(SavedInitDir(), "");  // the dialog never returned a file
}

TEST_F(SourceListTest, TheSpinnerTurnsEverySecondFromItsSecondPhase) {
  ui::Timing slow;
  slow.busy_start_ms = 4500;
  testing_support::TestProgram p(slow);
  TFrmInitFileForm& busy = p->InitFileForm();
  std::vector<std::string> captions;
  for (int at : {500, 1500, 2500, 3500, 4400}) p.loop.At(at, [&] { captions.push_back(busy.lblInfo.Caption()); });
  busy.SetFileList({});
  busy.ShowModal();
  EXPECT_EQ(captions, (std::vector<std::string>{"Installing File...", "Installing File...  /", "Installing File...  -",
                                                "Installing File...  \\", "Installing File...  |"}));
  EXPECT_FALSE(busy.Form.Visible());
  // Shown again: the phase starts over at 1.
  captions.clear();
  p.loop.At(p.loop.Now() + 1300, [&] { captions.push_back(busy.lblInfo.Caption()); });
  busy.ShowModal();
  EXPECT_EQ(captions, (std::vector<std::string>{"Installing File...  /"}));
}

TEST_F(SourceListTest, AFailureWhileAddingClosesTheBusyWindowAndReachesTheCaller) {
  const std::string a = Clip("a.avi");
  t.dialogs.open_answers = {{a}, {a}};
  // The settings file cannot be written: the folder is saved after the adding.
  std::filesystem::remove(t.dir.file("Config"));
  WriteFile(t.dir.file("Config"), "a file where the folder should be");
  EXPECT_THROW(form.btnOpenFileClick(), AppError);
  EXPECT_FALSE(t->InitFileForm().Form.Visible());
  EXPECT_EQ(Paths(), std::vector<std::string>{a});
  // The window still works the next time.
  std::filesystem::remove(t.dir.file("Config"));
  std::filesystem::create_directory(t.dir.file("Config"));
  bool stuck = false;  // a timer left for dead would never close the window
  t.loop.At(t.loop.Now() + 5000, [&] {
    stuck = t->InitFileForm().Form.Visible();
    t->InitFileForm().Close();
  });
  form.btnOpenFileClick();
  EXPECT_FALSE(stuck);
  EXPECT_EQ(SavedInitDir(), t.dir.path());
}

TEST_F(SourceListTest, ADropIsAddedAtOnceWithoutTheBusyWindowOrTheFolder) {
  const std::string a = Clip("a.avi");
  WriteFile(t.dir.file("readme.txt"), "text");
  std::filesystem::create_directory(t.dir.file("folder"));
  const int64_t before = t.loop.Now();
  form.WMDropFiles({t.dir.file("folder"), a, t.dir.file("readme.txt"), a});
  EXPECT_EQ(t.loop.Now(), before);
  EXPECT_EQ(Paths(), (std::vector<std::string>{a}));
  EXPECT_EQ(t.dialogs.codec_errors, 0);
  EXPECT_EQ(SavedInitDir(), "");
}

}  // namespace
