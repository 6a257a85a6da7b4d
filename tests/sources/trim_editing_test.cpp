#include "sources/trim_editing.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "sources/components.h"
#include "sources_fixture.h"

using sources::MouseButton;
using sources::ShiftState;

namespace {

constexpr int kStart = 4, kEnd = 5, kCut = 6;

struct TrimTest : SourcesTest {
  // The five-minute file of the examples, selected and focused, loaded into the bar.
  TrimTest() {
    AddRow("/v/five.avi", "00:05:00");
    SelectOnly({0});
    grid.SetFocusedRow(0);
    proc.LoadTrimBar();
  }
  void TypeEnd(int row, const std::string& text) {
    ASSERT_TRUE(grid.UserBeginEdit(row, kEnd));
    grid.UserEditorChange(text);
    grid.UserEndEdit();
  }
  void TypeStart(int row, const std::string& text) {
    grid.SetFocusedRow(row);
    ASSERT_TRUE(grid.UserBeginEdit(row, kStart));
    grid.UserEditorChange(text);  // the first change ends the edit
  }
  void SetCells(int row, const std::string& start, const std::string& end) {
    grid.SetCell(row, kStart, start);
    grid.SetCell(row, kEnd, end);
  }
  std::vector<std::string> Range(int row) const { return {Cell(row, kStart), Cell(row, kEnd), Cell(row, kCut)}; }
  using Texts = std::vector<std::string>;
};

// --- The check after an edit ---

TEST_F(TrimTest, AStartBeyondTheDurationBecomesTheDuration) {
  TypeStart(0, "00:10:00");
  EXPECT_EQ(Range(0), (Texts{"00:05:00", "00:05:00", "00:00:00"}));
  EXPECT_FALSE(grid.Editing());
  EXPECT_EQ(grid.FocusedRow(), ui::SourceGrid::kNone);
}

TEST_F(TrimTest, AnEndBeforeTheStartTakesTheStart) {
  SetCells(0, "00:01:00", "00:05:00");
  TypeEnd(0, "00:00:30");
  EXPECT_EQ(Range(0), (Texts{"00:01:00", "00:01:00", "00:00:00"}));
}

TEST_F(TrimTest, AnEndBeyondTheDurationBecomesTheDuration) {
  SetCells(0, "00:01:00", "00:05:00");
  TypeEnd(0, "00:07:00");
  EXPECT_EQ(Range(0), (Texts{"00:01:00", "00:05:00", "00:04:00"}));
}

TEST_F(TrimTest, AStartBeyondTheDurationWithAnEarlierEndLeavesTheEndAtTheTypedStart) {
  SetCells(0, "00:10:00", "00:03:20");
  form.dxTreeSourceFileInfoEdited();
  EXPECT_EQ(Range(0), (Texts{"00:05:00", "00:10:00", "00:00:00"}));
}

TEST_F(TrimTest, ClearedCellsTakeZeroAndTheDuration) {
  SetCells(0, "00:01:00", "00:02:00");
  TypeStart(0, "");
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:02:00", "00:02:00"}));
  TypeEnd(0, "");
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:05:00", "00:05:00"}));
}

TEST_F(TrimTest, ARefusedTimeGivesTheCellBackItsPreviousText) {
  auto refused = [&](const std::function<void()>& edit) {
    try {
      edit();
    } catch (const ConversionError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  TypeEnd(0, "00:04:00");
  // The message stays the conversion error; the cell is not left holding the text.
  EXPECT_EQ(refused([&] { TypeEnd(0, "1:30"); }), "'1:' is not a valid integer value");
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:04:00", "00:04:00"}));
  // Digits in their places but no time: minutes and seconds stop at 59.
  EXPECT_EQ(refused([&] { TypeEnd(0, "00:90:00"); }), "'00:90:00' is not a valid time");
  EXPECT_EQ(Cell(0, kEnd), "00:04:00");
  EXPECT_EQ(refused([&] { TypeEnd(0, "00:02:00x"); }), "'00:02:00x' is not a valid time");
  EXPECT_EQ(Cell(0, kEnd), "00:04:00");
  TypeStart(0, "00:01:00");
  EXPECT_EQ(refused([&] { TypeStart(0, "00:00:75"); }), "'00:00:75' is not a valid time");
  EXPECT_EQ(Range(0), (Texts{"00:01:00", "00:04:00", "00:03:00"}));
}

TEST_F(TrimTest, AnEndEditLastsUntilTheCellIsLeft) {
  ASSERT_TRUE(grid.UserBeginEdit(0, kEnd));
  grid.UserEditorChange("00:0");
  grid.UserEditorChange("00:02:00");
  EXPECT_TRUE(grid.Editing());
  EXPECT_EQ(Cell(0, kEnd), "00:05:00");
  grid.SetFocusedRow(ui::SourceGrid::kNone);  // leaving the row ends it
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:02:00", "00:02:00"}));
  EXPECT_FALSE(grid.UserBeginEdit(0, 3));  // the duration is read-only
}

TEST_F(TrimTest, TheCheckCorrectsEverySelectedRowAndStopsAtAnUnreadableTime) {
  AddRow("/v/two.avi", "00:02:00", "00:03:00", "00:01:00");
  AddRow("/v/bad.avi", "00:02:00", "ab:00:00", "00:01:00");
  AddRow("/v/after.avi", "00:02:00", "00:09:00", "00:01:00");
  AddRow("/v/unselected.avi", "00:02:00", "00:09:00", "00:01:00");
  SelectOnly({1, 2, 3});
  try {
    form.dxTreeSourceFileInfoEdited();
    FAIL() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'ab' is not a valid integer value");
  }
  EXPECT_EQ(Range(1), (Texts{"00:02:00", "00:03:00", "00:00:00"}));
  EXPECT_EQ(Cell(3, kStart), "00:09:00");  // not reached
  EXPECT_EQ(Cell(4, kStart), "00:09:00");
}

TEST_F(TrimTest, ACheckedStartMovesALoadedPreview) {
  form.btnPlayClick();
  ASSERT_TRUE(graph.Active());
  graph.seeks_ms.clear();
  TypeStart(0, "00:01:15");
  EXPECT_EQ(graph.seeks_ms, std::vector<int64_t>{75000});
  form.btnStopClick();
  TypeStart(0, "00:01:20");
  EXPECT_EQ(graph.seeks_ms.size(), 1u);
}

TEST_F(TrimTest, ACheckBoxClickRunsTheCheckToo) {
  SetCells(0, "00:09:00", "00:01:00");
  grid.UserToggleCheck(0);
  EXPECT_EQ(Cell(0, 0), "False");
  EXPECT_EQ(Range(0), (Texts{"00:05:00", "00:09:00", "00:00:00"}));
}

// --- Loading the bar ---

TEST_F(TrimTest, TheBarPlacesTheMarkersForTheRange) {
  EXPECT_EQ(form.Panel2.Width(), 1);  // a start of 0
  EXPECT_EQ(form.Panel3.Width(), 1);  // an end at the duration
  SetCells(0, "00:02:30", "00:03:45");
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel2.Width(), 111);            // 150 / 300 x 220 + 1
  EXPECT_EQ(form.Panel3.Width(), 220 - 165 + 1);  // 225 / 300 x 220 = 165
  EXPECT_EQ(form.Panel1.Width(), 260);
  EXPECT_EQ(form.TrackWidth(), 260 - 111 - 56 - 38);
  EXPECT_EQ(form.TrimDurationSeconds, 300);
  EXPECT_TRUE(form.TrimBarReady);
}

TEST_F(TrimTest, HalvesRoundToTheEvenNeighbour) {
  // 96 / 256 x 220 = 82.5 exactly, which rounds to 82.
  AddRow("/v/odd.avi", "00:04:16", "00:01:36", "00:01:36");
  SelectOnly({1});
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel2.Width(), 83);
  EXPECT_EQ(form.Panel3.Width(), 220 - 82 + 1);
}

TEST_F(TrimTest, SmallDifferencesDoNotMoveTheMarkers) {
  form.Panel2.SetWidth(2);
  form.Panel3.SetWidth(3);
  proc.LoadTrimBar();  // wants 1 and 1: off by one and by two
  EXPECT_EQ(form.Panel2.Width(), 2);
  EXPECT_EQ(form.Panel3.Width(), 3);
  form.Panel3.SetWidth(4);
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel3.Width(), 1);
}

TEST_F(TrimTest, AnEndBeyondTheDurationKeepsTheFillerAtOnePixel) {
  SetCells(0, "00:05:00", "00:10:00");
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel2.Width(), 221);
  EXPECT_EQ(form.Panel3.Width(), 1);
}

TEST_F(TrimTest, TheLastSelectedRowOutsideThePreviewDecides) {
  AddRow("/v/b.avi", "00:10:00", "00:05:00");
  AddRow("/v/c.avi", "00:02:00");
  SelectOnly({1});
  form.btnPlayClick();  // b in the preview
  form.Panel2.SetWidth(50);
  proc.LoadTrimBar();  // only the previewed row: the bar keeps its range, the preview plays on
  EXPECT_EQ(form.Panel2.Width(), 50);
  EXPECT_EQ(form.TrimDurationSeconds, 300);
  EXPECT_EQ(lib.PreviewFile, "/v/b.avi");

  SelectOnly({1, 2});
  proc.LoadTrimBar();  // b is passed over; c stops the preview and decides
  EXPECT_EQ(form.TrimDurationSeconds, 120);
  EXPECT_EQ(form.Panel2.Width(), 1);
  EXPECT_EQ(lib.PreviewFile, "");

  SelectOnly({0, 1});
  proc.LoadTrimBar();  // one after another: the last one decides
  EXPECT_EQ(form.TrimDurationSeconds, 600);
  EXPECT_EQ(form.Panel2.Width(), 111);
}

TEST_F(TrimTest, UnreadableCellsCountAsZero) {
  SetCells(0, "1:30", ".:.:.");
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel2.Width(), 1);
  EXPECT_EQ(form.Panel3.Width(), 221);
}

// --- The markers ---

TEST_F(TrimTest, TheStartMarkerScalesByTheLoadedDuration) {
  AddRow("/v/other.avi", "00:01:00", "00:00:00", "00:00:50");
  SelectOnly({0, 1});
  form.Splitter1DragTo(113);
  EXPECT_EQ(form.StartMarkSeconds, 153);  // ((113 - 3) x 121) div 260 = 51 %
  EXPECT_EQ(Range(0), (Texts{"00:02:33", "00:05:00", "00:02:27"}));
  EXPECT_EQ(Cell(1, kStart), "00:02:33");
  EXPECT_EQ(Cell(1, kCut), "00:00:00");  // 50 - 153 is negative
  form.Splitter1DragTo(5);
  EXPECT_EQ(Cell(0, kStart), "00:00:00");
  form.Splitter1DragTo(220);
  EXPECT_EQ(Cell(0, kStart), "00:05:00");
}

TEST_F(TrimTest, TheEndMarkerMayOvershootByOnePercent) {
  form.Splitter2DragTo(2);
  EXPECT_EQ(Cell(0, kEnd), "00:05:00");
  EXPECT_EQ(form.PreviewStopText, "00:05:00");
  form.Splitter2DragTo(1);
  EXPECT_EQ(Range(0), (Texts{"00:00:00", "00:05:03", "00:05:03"}));
  EXPECT_EQ(form.PreviewStopText, "00:05:03");
  form.dxTreeSourceFileInfoEdited();  // the next check brings it back
  EXPECT_EQ(Cell(0, kEnd), "00:05:00");
  form.Splitter2DragTo(219);
  EXPECT_EQ(Cell(0, kEnd), "00:00:00");
}

TEST_F(TrimTest, DraggingKeepsFillersAndTrackAtLeastOnePixel) {
  int moves = 0;
  form.Panel2.Subscribe([&] { ++moves; });
  form.Splitter1DragTo(-40);
  EXPECT_EQ(moves, 0);  // already at 1: nothing moved, nothing ran
  form.Splitter1DragTo(1000);
  EXPECT_EQ(form.Panel2.Width(), 260 - 1 - 38 - 1);
  EXPECT_EQ(form.TrackWidth(), 1);
  form.Splitter2DragTo(1000);
  EXPECT_EQ(form.Panel3.Width(), 1);
  form.Splitter1DragTo(100);
  form.Splitter2DragTo(1000);
  EXPECT_EQ(form.TrackWidth(), 1);
}

TEST_F(TrimTest, MarkersCloserThanTwentyPixelsAreNudgedApart) {
  form.Panel2.SetWidth(230);  // the end marker's left edge (240) is only 10 pixels away
  form.SetStartTimeAndPlay();
  EXPECT_EQ(form.Panel2.Width(), 229);
  form.Splitter2Moved();
  EXPECT_EQ(form.Panel3.Width(), 1);  // never below 1
  form.Panel2.SetWidth(100);
  form.Panel3.SetWidth(125);  // end marker left edge 116
  form.Splitter2Moved();
  EXPECT_EQ(form.Panel3.Width(), 124);
}

TEST_F(TrimTest, TheStartMarkerMovesALoadedPreviewTheEndMarkerNever) {
  form.btnPlayClick();
  graph.seeks_ms.clear();
  form.Splitter1DragTo(60);
  form.Splitter1DragTo(113);
  EXPECT_EQ(graph.seeks_ms, (std::vector<int64_t>{(((60 - 3) * 121) / 260) * 3 * 1000, 153000}));
  graph.fail_seek = true;
  form.Splitter1DragTo(120);  // a failing seek is ignored
  form.Splitter2DragTo(40);
  EXPECT_EQ(graph.seeks_ms.size(), 3u);
  const int paints = form.Splitter2.Paints();
  form.Splitter2DragTo(41);
  EXPECT_GT(form.Splitter2.Paints(), paints);
}

TEST_F(TrimTest, FillerClicksStepByTheModifierKeys) {
  form.Panel2.SetWidth(100);
  form.Panel3.SetWidth(100);
  ShiftState plain, shift, ctrl, ctrl_double, shift_double, alt_ctrl;
  shift.shift = true;
  ctrl.ctrl = true;
  ctrl_double.ctrl = ctrl_double.double_click = true;
  shift_double.shift = shift_double.double_click = true;
  alt_ctrl.alt = alt_ctrl.ctrl = true;
  const std::vector<std::pair<ShiftState, int>> steps = {{plain, 5},       {shift, 10},       {ctrl, 1},
                                                         {ctrl_double, 1}, {shift_double, 5}, {alt_ctrl, 5}};
  for (const auto& [state, step] : steps) {
    int before = form.Panel3.Width();
    form.Panel3MouseDown(MouseButton::Left, state);
    EXPECT_EQ(form.Panel3.Width(), before - step);
    before = form.Panel2.Width();
    form.Panel2MouseDown(MouseButton::Left, state);
    EXPECT_EQ(form.Panel2.Width(), before - step);
  }
  const int left = form.Panel2.Width();
  form.Panel2MouseDown(MouseButton::Right, plain);
  EXPECT_EQ(form.Panel2.Width(), left);
  // The handlers ran: the cells follow the markers.
  EXPECT_EQ(Cell(0, kStart), TCommonLib::FormatSeconds(form.StartMarkSeconds));
  EXPECT_EQ(Cell(0, kEnd), form.PreviewStopText);
}

TEST_F(TrimTest, FillerClicksNeedRoomToStep) {
  form.Panel2.SetWidth(5);
  form.Panel2MouseDown(MouseButton::Left, {});  // not wider than the step
  EXPECT_EQ(form.Panel2.Width(), 5);
  form.Panel2.SetWidth(110);
  form.Panel3.SetWidth(106);  // 110 + 106 + 45 = 261: the track is under 7 pixels
  form.Panel2MouseDown(MouseButton::Left, {});
  form.Panel3MouseDown(MouseButton::Left, {});
  EXPECT_EQ(form.Panel2.Width(), 110);
  EXPECT_EQ(form.Panel3.Width(), 106);
  form.Panel3.SetWidth(105);
  form.Panel3MouseDown(MouseButton::Left, {});
  EXPECT_EQ(form.Panel3.Width(), 100);
}

TEST_F(TrimTest, TheMarkersAreRepaintedEveryTenMilliseconds) {
  const int before = form.Splitter1.Paints();
  t.loop.Wait(100);
  EXPECT_GE(form.Splitter1.Paints() - before, 9);
  EXPECT_GE(form.Splitter2.Paints(), 9);
}

TEST_F(TrimTest, RowCutSecondsFindsTheLastRowIgnoringCase) {
  SetCells(0, "00:01:00", "00:04:00");
  EXPECT_EQ(proc.RowCutSeconds("/V/FIVE.AVI"), 180);
  AddRow("/v/Five.avi", "00:05:00", "00:00:10", "00:00:40");
  EXPECT_EQ(proc.RowCutSeconds("/v/five.avi"), 30);
  AddRow("/v/five.AVI", "00:05:00", "0:1:2:3", "00:00:40");
  EXPECT_EQ(proc.RowCutSeconds("/v/five.avi"), 40);  // four parts read as 0
  EXPECT_EQ(proc.RowCutSeconds("/v/none.avi"), 0);
  // A marker moved over the first two rows gives each the cut of the last row of its path.
  SelectOnly({0, 1});
  form.Splitter2DragTo(100);
  const std::string end = Cell(0, kEnd);
  EXPECT_EQ(Cell(1, kEnd), end);
  EXPECT_EQ(Cell(0, kCut), "00:00:40");
  EXPECT_EQ(Cell(1, kCut), "00:00:40");
}

}  // namespace

TEST_F(TrimTest, TheBarsCaptionNamesItsRowAndCountsTheRowsADragWrites) {
  EXPECT_EQ(form.Panel1.Caption(), "five.avi \u00b7 1 row");
  AddRow("/v/music/two.avi", "00:02:00");
  AddRow("/v/three.avi", "00:03:00");
  SelectOnly({0, 1, 2});
  proc.LoadTrimBar();  // the last selected row
  EXPECT_EQ(form.Panel1.Caption(), "three.avi \u00b7 3 rows");
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(sources::TrimBarWrites(grid, form.TrimRowId, row));
  SelectOnly({0});
  proc.LoadTrimBar();
  EXPECT_EQ(form.Panel1.Caption(), "five.avi \u00b7 1 row");
  EXPECT_FALSE(sources::TrimBarWrites(grid, form.TrimRowId, 2));
  // Its row gone, the bar names nothing and marks nothing.
  grid.DeleteRow(0);
  EXPECT_EQ(sources::TrimBarCaption(grid, form.TrimRowId), "");
  EXPECT_FALSE(sources::TrimBarWrites(grid, form.TrimRowId, 0));
}
