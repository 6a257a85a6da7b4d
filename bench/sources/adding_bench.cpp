// Adding 2,000 and 10,000 files through the real window models (the busy
// window, the main form's grid, the Remove and its Undo), as the Open button
// does: the time until the list is usable, and how long the Undo of a Remove
// of every row takes, and one move of a trim marker with every row selected. The files are hard links to a few small
// clips, so the probe reads real media each time. Prints seconds and files per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/main_form.h"
#include "sources/init_file_form.h"
#include "test_media.h"
#include "test_program.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
  if (counts.empty()) counts = {2000, 10000};
  testing_support::TempDir dir;
  const auto& containers = testing_support::AcceptedContainers();
  std::vector<std::string> originals;
  // VTPC_BENCH_CLIP=FILE adds links to that file alone: a library of phone
  // clips is H.264 in MP4, which the tiny clips of every container are not.
  const char* clip = std::getenv("VTPC_BENCH_CLIP");
  if (clip) {
    originals.push_back(dir.file(std::string("original") + std::filesystem::path(clip).extension().string()));
    std::filesystem::copy_file(clip, originals.back());
  }
  for (size_t i = 0; !clip && i < containers.size(); ++i) {
    originals.push_back(dir.file("original " + std::to_string(i) + containers[i]));
    testing_support::MakeClip(containers[i], 2, originals.back());
  }
  int failures = 0;
  for (int count : counts) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      const std::string& original = originals[static_cast<size_t>(i) % originals.size()];
      paths.push_back(dir.file(std::to_string(count) + "-" + std::to_string(i) + "-" +
                               std::filesystem::path(original).filename().string()));
      std::filesystem::create_hard_link(original, paths.back());
    }
    testing_support::TestProgram program;
    TFrmMainForm& form = program->MainForm();
    TFrmInitFileForm& busy = program->InitFileForm();
    busy.SetFileList(paths);
    // The busy window's start delay runs on the test clock and is not counted.
    const auto added_at = Clock::now();
    busy.ShowModal();
    const double add_s = Since(added_at);
    const int rows = form.dxTreeSourceFileInfo.RowCount();

    form.dxTreeSourceFileInfo.SelectAll();
    const auto removed_at = Clock::now();
    form.btnRemoveFileClick();
    const double remove_s = Since(removed_at);
    const auto undone_at = Clock::now();
    form.UndoRemove();
    const double undo_s = Since(undone_at);
    const bool back = form.dxTreeSourceFileInfo.RowCount() == rows;
    // A marker dragged with every row selected: each move trims them all.
    form.dxTreeSourceFileInfo.SelectAll();
    constexpr int kMoves = 20;
    const auto dragged_at = Clock::now();
    for (int i = 1; i <= kMoves; ++i) form.Splitter1DragTo(10 + i * 5);
    form.Splitter1EndDrag();
    const double move_ms = Since(dragged_at) * 1000 / kMoves;

    std::printf(
        "%6d files: added in %6.2f s (%6.0f files/s, %d rows, last caption \"%s\"); remove all %6.2f s; undo %6.3f "
        "s; a marker move over all rows %6.1f ms%s\n",
        count, add_s, count / add_s, rows, busy.lblInfo.Caption().c_str(), remove_s, undo_s, move_ms,
        back ? "" : " (rows missing)");
    failures += rows != count || !back;
  }
  return failures == 0 ? 0 : 1;
}
