// The sources layer on its own: each piece built from just the models and
// services it is handed, with no program around it.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_preview_graph.h"
#include "fakes.h"
#include "media/playback_clock.h"
#include "sources/init_file_form.h"
#include "sources/preview_player.h"
#include "sources/source_list.h"
#include "sources/trim_editing.h"
#include "test_media.h"
#include "ui/models.h"
#include "ui/source_grid.h"
#include "ui/timing.h"

namespace {

using testing_support::FakeEventLoop;

TEST(BusyWindowAlone, AddsThroughTheHandedActionAndRaisesItsFailureOnceClosed) {
  FakeEventLoop loop;
  ui::Timing timing;
  std::vector<std::vector<std::string>> added;
  bool fail = false;
  TFrmInitFileForm busy(loop, timing, [&](const std::vector<std::string>& paths, const sources::AddProgress& progress) {
    added.push_back(paths);
    progress(1234, 10000);
    EXPECT_EQ(busy.lblInfo.Caption(), "Adding 1,234 of 10,000  |");
    if (fail) throw std::runtime_error("disk gone");
  });

  busy.SetFileList({"/v/a.avi", "/v/b.avi"});
  busy.ShowModal();
  EXPECT_FALSE(busy.Form.Visible());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0], (std::vector<std::string>{"/v/a.avi", "/v/b.avi"}));
  // The adding started only after the start delay.
  EXPECT_GE(loop.Now(), timing.busy_start_ms);

  fail = true;
  EXPECT_THROW(busy.ShowModal(), std::runtime_error);
  EXPECT_FALSE(busy.Form.Visible());
  EXPECT_EQ(added.size(), 2u);
}

TEST(SourceListAlone, RefusedFilesGoToTheCodecErrorAndAnEmptyListLoadsNoTrimBar) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.file("junk.avi"), "not a video");
  testing_support::WriteFile(dir.file("notes.txt"), "text");
  ui::SourceGrid grid;
  std::vector<std::string> codec_errors;
  int trim_loads = 0;
  sources::AddSourceFiles(
      grid, {dir.file("junk.avi"), dir.file("notes.txt"), dir.path()},
      [&](const std::string& path) { codec_errors.push_back(path); }, [&] { ++trim_loads; });
  EXPECT_EQ(grid.RowCount(), 0);
  // Only the accepted extension is measured; the text file and the folder are skipped quietly.
  EXPECT_EQ(codec_errors, (std::vector<std::string>{dir.file("junk.avi")}));
  EXPECT_EQ(trim_loads, 0);

  // Rows already there are selected from the top and the bar loaded even when nothing new came.
  grid.AddRow({"True", "/v/a.avi", "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  sources::AddSourceFiles(
      grid, {}, [&](const std::string& path) { codec_errors.push_back(path); }, [&] { ++trim_loads; });
  EXPECT_TRUE(grid.IsSelected(0));
  EXPECT_EQ(trim_loads, 1);
}

TEST(SourceListAlone, ManyFilesMeasuredAtOnceStillComeInTheirOrderEachOnce) {
  testing_support::TempDir dir;
  testing_support::MakeClip(".avi", 2, dir.file("clip.avi"));
  testing_support::WriteFile(dir.file("junk.mkv"), "not a video");
  ui::SourceGrid grid;
  grid.AddRow({"True", dir.file("held.avi"), "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  // Files named again, a broken one between good ones, one the grid holds:
  // c5 comes only with its second naming, c9 never.
  std::vector<std::string> paths, rows{dir.file("held.avi")};
  for (int i = 0; i < 24; ++i) {
    const std::string name = dir.file("c" + std::to_string(i % 16) + ".avi");
    if (i < 16) std::filesystem::create_hard_link(dir.file("clip.avi"), name);
    paths.push_back(i == 5 ? dir.file("junk.mkv") : i == 9 ? dir.file("held.avi") : name);
    if (i != 5 && i != 9 && i < 16) rows.push_back(name);
  }
  rows.push_back(dir.file("c5.avi"));
  std::vector<std::string> errors;
  std::vector<std::pair<size_t, size_t>> steps;
  sources::AddSourceFiles(
      grid, paths, [&](const std::string& path) { errors.push_back(path); }, [] {},
      [&](size_t done, size_t total) { steps.emplace_back(done, total); });
  std::vector<std::string> shown;
  for (int row = 0; row < grid.RowCount(); ++row) shown.push_back(grid.Cell(row, ui::kColPath));
  EXPECT_EQ(shown, rows);
  EXPECT_EQ(errors, std::vector<std::string>{dir.file("junk.mkv")});
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.back(), std::make_pair(paths.size(), paths.size()));
}

TEST(TrimCellsAlone, TheCutTimeTakesWholeNumbersWithoutBlanksOfAtMostTwelveDigits) {
  ui::SourceGrid grid;
  auto cut = [&](const std::string& start, const std::string& end) {
    grid.Clear();
    grid.AddRow({"True", "/v/a.avi", "1 KB", "00:05:00", start, end, "00:05:00"});
    return sources::RowCutSeconds(grid, "/V/A.AVI");
  };
  EXPECT_EQ(cut("00:01:00", "00:04:00"), 180);
  EXPECT_EQ(cut("0:1:0", "+0:4:-0"), 180);       // signs and short parts are whole numbers
  EXPECT_EQ(cut("00: 01:00", "00:04:00"), 240);  // a blank makes the start read as 0
  EXPECT_EQ(cut("00:01:00", "00:04:00 "), -60);
  EXPECT_EQ(cut("0:0:0", "0:0:999999999999"), 999999999999);
  EXPECT_EQ(cut("0:0:0", "0:0:1000000000000"), 0);  // thirteen digits: no time a cell can mean
  EXPECT_EQ(cut("0:0:0", "0:0:+"), 0);
}

// Records what the buttons and the clock ask of the player.
struct RecordingHost : sources::PreviewHost {
  std::vector<std::string> calls;
  void Play() override { calls.push_back("play"); }
  void Pause() override { calls.push_back("pause"); }
  void Stop() override { calls.push_back("stop"); }
  void OpenAndPlay(const std::string& path) override { calls.push_back("open " + path); }
};

TEST(PreviewButtonsAlone, PlayResumesTheLoadedFileOrLoadsEachSelectedRowAndPauseOnlyPausesAPlayingOne) {
  ui::SourceGrid grid;
  grid.AddRow({"True", "/v/a.avi", "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  grid.AddRow({"True", "/v/b.avi", "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  grid.AddRow({"True", "/v/c.avi", "1 KB", "00:00:10", "00:00:00", "00:00:10", "00:00:10"});
  grid.SetSelected(0, true);
  grid.SetSelected(2, true);

  RecordingHost host;
  sources::PlayClicked(host, "", false, grid);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"open /v/a.avi", "open /v/c.avi"}));

  host.calls.clear();
  sources::PlayClicked(host, "/v/c.avi", true, grid);  // already playing: nothing
  sources::PlayClicked(host, "/v/c.avi", false, grid);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"play"}));

  host.calls.clear();
  sources::PauseClicked(host, "/v/c.avi", false);
  sources::PauseClicked(host, "", true);
  sources::PauseClicked(host, "/v/c.avi", true);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"pause"}));
}

TEST(PreviewClockAlone, TheEndMarkRewindsAndPausesAndTheEndOfTheFileStops) {
  testing_support::FakePreviewGraph graph;
  media::PlaybackClock clock;
  ui::ProgressBar progress;
  sources::Panel clock_text{0, "00:00:00"};
  RecordingHost host;

  graph.SetActive(true);
  ASSERT_EQ(graph.RenderFile("/v/a.avi"), 0);
  graph.SetPositionMs(4500);
  sources::ClockTick(host, graph, clock, progress, clock_text, "00:00:09", 10, 100);
  EXPECT_EQ(clock_text.Caption(), "00:00:04");
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(graph.seeks_ms.empty());

  graph.SetPositionMs(9000);
  sources::ClockTick(host, graph, clock, progress, clock_text, "00:00:09", 10, 100);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"pause"}));
  EXPECT_EQ(graph.seeks_ms, (std::vector<int64_t>{0}));

  host.calls.clear();
  sources::ClockTick(host, graph, clock, progress, clock_text, "", 100, 100);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"stop"}));
}

}  // namespace
