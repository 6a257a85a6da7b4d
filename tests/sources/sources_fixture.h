// A fresh program with short names for the parts the source tests touch.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "sources/init_file_form.h"
#include "test_program.h"

struct SourcesTest : ::testing::Test {
  testing_support::TestProgram t;
  TFrmMainForm& form = t->MainForm();
  ui::SourceGrid& grid = form.dxTreeSourceFileInfo;
  TCommonLib& lib = t->CommonLib();
  TCustomProc& proc = t->CustomProc();
  testing_support::FakePreviewGraph& graph = t.graph;

  // A row as the list adds it, without a real file behind it.
  int AddRow(const std::string& path, const std::string& duration, const std::string& start = "00:00:00",
             const std::string& end = "") {
    const std::string e = end.empty() ? duration : end;
    return grid.AddRow({"True", path, "1 KB", duration, start, e, duration});
  }
  std::string Cell(int row, int column) const { return grid.Cell(row, column); }
  void SelectOnly(const std::vector<int>& rows) {
    for (int r = 0; r < grid.RowCount(); ++r) grid.SetSelected(r, false);
    for (int r : rows) grid.SetSelected(r, true);
  }
};
