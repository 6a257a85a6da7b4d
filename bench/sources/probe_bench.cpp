// Adding 200 small media files (every accepted container in turn): the time per
// file of our duration probe, and of the whole AddSourceFiles, against running
// `ffprobe` once per file on the same files. Prints the figures and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "media/duration_probe.h"
#include "shell/common_lib.h"
#include "shell/main_form.h"
#include "test_media.h"
#include "test_program.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename F>
double BestOf(int runs, F&& body) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    body();
    best = std::min(best, Seconds(start));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const int runs = 3;
  testing_support::TempDir dir;
  std::vector<std::string> paths;
  const auto& containers = testing_support::AcceptedContainers();
  for (int i = 0; i < files; ++i) {
    const std::string& ext = containers[static_cast<size_t>(i) % containers.size()];
    paths.push_back(dir.file("clip " + std::to_string(i) + ext));
    testing_support::MakeClip(ext, 2, paths.back());
  }

  const media::DurationProbe probe;
  int64_t measured = 0;
  const double probe_s = BestOf(runs, [&] {
    measured = 0;
    for (const auto& p : paths) measured += TCommonLib::ProbeDurationSeconds(p, probe) > 0;
  });

  int rows = 0;
  const double add_s = BestOf(runs, [&] {
    testing_support::TestProgram program;
    program->CommonLib().AddSourceFiles(program->MainForm().dxTreeSourceFileInfo, paths);
    rows = program->MainForm().dxTreeSourceFileInfo.RowCount();
  });

  int ffprobe_ok = 0;
  const double ffprobe_s = BestOf(runs, [&] {
    ffprobe_ok = 0;
    for (const auto& p : paths)
      ffprobe_ok += testing_support::RunProgram(
                        {"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", p}) == 0;
  });

  const double per = 1000.0 / files;
  std::printf("files: %d (%zu containers), best of %d runs\n", files, containers.size(), runs);
  std::printf("probe (libavformat):   %8.3f ms/file  (%lld measured)\n", probe_s * per,
              static_cast<long long>(measured));
  std::printf("AddSourceFiles:        %8.3f ms/file  (%d rows)\n", add_s * per, rows);
  std::printf("ffprobe per file:      %8.3f ms/file  (%d succeeded)\n", ffprobe_s * per, ffprobe_ok);
  std::printf("ratio ffprobe / probe: %8.1f x\n", ffprobe_s / probe_s);
  std::printf("ratio ffprobe / add:   %8.1f x\n", ffprobe_s / add_s);
  return measured == files && rows == files ? 0 : 1;
}
