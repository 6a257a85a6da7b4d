// Engine overhead and window responsiveness of a batch.
//
//   bench_engine_batch [ENCODER] [--quick]
//
// ENCODER defaults to the program folder's evc. Any program that takes the
// encoder's options will do as a stand-in (Debian's ffmpeg does), since the
// figures are ratios against the same program run bare.
//
// 1. Overhead: a batch of 20 one-second clips with the fixed pauses set to 0,
//    against the sum of the same command lines run bare (started and waited for,
//    nothing else). Aim: at most 1.1.
// 2. Responsiveness: the longest gap between two handlings of pending events on
//    the user-interface thread while a batch runs, with the pauses as shipped.
//    Aim: at most 150 ms.
// 3. Time left: a batch of clips of different lengths with the pauses as shipped;
//    each estimate shown after the first file is done, against the time the
//    batch really took from then. Aim: never above twice the real time.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/helpers.h"
#include "common/text.h"
#include "engine/catalogue.h"
#include "engine/converting_form.h"
#include "platform/command_line.h"
#include "platform/process_table.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Answers nothing, shows nothing: a benchmark has no user.
class SilentDialogs : public ui::Dialogs {
 public:
  void Message(ui::MessageKind, const std::string&, const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override { return std::nullopt; }
  std::vector<std::string> OpenFiles(const ui::OpenFilesRequest&) override { return {}; }
  void ShowCodecError(const std::string&) override {}
};

// Notes the longest time between two handlings of pending events.
class GapMeter : public ui::BasicEventLoop {
 public:
  explicit GapMeter(ui::Clock& clock) : ui::BasicEventLoop(clock) {}
  void Reset() {
    last_ = Clock::time_point{};
    longest_ = Clock::duration::zero();
  }
  double LongestMs() const { return std::chrono::duration<double, std::milli>(longest_).count(); }

 protected:
  void BeforeEvents() override {
    const auto now = Clock::now();
    if (last_ != Clock::time_point{}) longest_ = std::max(longest_, now - last_);
    last_ = now;
  }

 private:
  Clock::time_point last_{};
  Clock::duration longest_{};
};

bool RunQuiet(const std::vector<std::string>& argv, const std::string& folder = {}) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&fa, folder.c_str());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Fill(ui::ListBox& list, const catalogue::TextList& table) {
  list.Clear();
  for (size_t i = 0; i + 1 < table.size(); ++i) list.Add(table[i]);
  list.SetItemIndex(std::stoi(table.back()));
}

// The lists as the program fills them, with the "Normal Quality" preset of the MP4 type.
void SetUpLists(Program& program) {
  TfrmOption& o = program.OptionForm();
  Fill(program.MainForm().cbbOutputFiletype, catalogue::OutputTypeList());
  Fill(o.cbbVideoSize, catalogue::VideoSizeList());
  Fill(o.cbbVideoBitrate, catalogue::VideoBitrateList());
  Fill(o.cbbFramerate, catalogue::FrameRateList());
  Fill(o.cbbAspectratio, catalogue::AspectRatioList());
  Fill(o.cbbAudioBitrate, catalogue::AudioBitrateList());
  Fill(o.cbbAudioChannels, catalogue::AudioChannelsList());
  Fill(o.cbbAudioSample, catalogue::AudioSampleList());
  Fill(o.cbbAudioVolumeGain, catalogue::VolumeGainList());
  std::vector<std::string> f;
  SplitSkipEmpty(catalogue::QualityPreset(0, 2), '|', f);
  ui::ListBox* lists[] = {&o.cbbVideoSize,    &o.cbbFramerate,     &o.cbbVideoBitrate,
                          &o.cbbAudioBitrate, &o.cbbAudioChannels, &o.cbbAudioSample};
  for (size_t i = 0; i < 6; ++i) lists[i]->SetItemIndex(std::stoi(f[i]));
}

struct Bench {
  std::string folder;  // program folder, with a trailing separator
  std::string name;    // the encoder's process name here
  SilentDialogs dialogs;
  ui::SteadyClock clock;
  GapMeter loop{clock};
  platform::ProcProcessTable table;

  std::unique_ptr<Program> MakeProgram(const ui::Timing& timing) {
    ProgramServices s;
    s.app_dir = folder;
    s.dialogs = &dialogs;
    s.loop = &loop;
    s.processes = &table;
    s.encoder_name = name;
    s.rm_encoder_name = "r" + name;
    s.timing = timing;
    auto program = std::make_unique<Program>(std::move(s));
    SetUpLists(*program);
    program->MainForm().chkShowOutputDirectory.SetChecked(false);
    program->MainForm().chkShutdown.SetChecked(false);
    return program;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string encoder = std::string(VTPC_PROGRAM_DIR) + "evc";
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick")
      quick = true;
    else
      encoder = a;
  }
  if (access(encoder.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "no encoder at %s (give one as the first argument)\n", encoder.c_str());
    return 2;
  }
  const int clips = quick ? 5 : 20;

  char pattern[] = "/tmp/vtpc-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 2;
  Bench bench;
  bench.folder = std::string(pattern) + "/";
  bench.name = "vtbe" + std::to_string(getpid() % 100000);
  std::filesystem::create_directories(bench.folder + "Config");
  std::filesystem::create_directories(bench.folder + "media");
  std::filesystem::create_symlink(std::filesystem::absolute(encoder), bench.folder + bench.name);

  std::printf("encoder: %s\n", encoder.c_str());
  std::vector<std::string> sources;
  for (int i = 0; i < clips; ++i) {
    const std::string path = bench.folder + "media/clip" + std::to_string(i) + ".avi";
    if (!RunQuiet({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100", "-t", "1", "-c:v", "mpeg4", "-c:a", "mp2", path})) {
      std::fprintf(stderr, "ffmpeg could not make the clips\n");
      return 2;
    }
    sources.push_back(path);
  }

  // --- 1. Overhead, pauses at 0. ---
  ui::Timing fast;
  fast.convert_prepare_ms = 0;
  fast.convert_grace_ms = 0;
  auto program = bench.MakeProgram(fast);
  ui::SourceGrid& grid = program->MainForm().dxTreeSourceFileInfo;
  for (const auto& s : sources) grid.AddRow({"True", s, "", "00:00:01", "00:00:00", "00:00:01", ""});

  // The very command lines the batch runs, built the same way.
  const auto commands = [&](const std::string& out) {
    program->MainForm().edtOutputFolder.SetText(out);
    std::vector<std::vector<std::string>> result;
    for (const auto& s : sources)
      result.push_back(platform::SplitCommandLine(program->CustomProc().CreateConvertParameter(s)));
    return result;
  };
  const auto bare = [&](int round) {
    const auto argvs = commands(bench.folder + "bare" + std::to_string(round));
    Clock::duration sum{};
    for (const auto& a : argvs) {
      const auto t0 = Clock::now();
      if (!RunQuiet(a, bench.folder)) std::fprintf(stderr, "bare run failed: %s\n", a.back().c_str());
      sum += Clock::now() - t0;
    }
    return Seconds(sum);
  };
  const auto batch = [&](int round) {
    program->MainForm().edtOutputFolder.SetText(bench.folder + "batch" + std::to_string(round));
    bench.loop.Reset();
    const auto t0 = Clock::now();
    program->MainForm().btnConvertClick();
    return std::make_pair(Seconds(Clock::now() - t0), bench.loop.LongestMs());
  };

  bare(0);  // warm the caches

  // The machine is shared: a whole batch against a whole series of bare runs
  // measures the neighbours as much as us. So each clip runs bare and then as a
  // one-row batch, back to back, and the sums are compared.
  const auto check_only = [&](int row) {
    for (int r = 0; r < grid.RowCount(); ++r) grid.SetCell(r, 0, r == row ? "True" : "False");
  };
  std::vector<double> ratios;
  double longest_fast_gap = 0;
  for (int round = 1; round <= (quick ? 1 : 3); ++round) {
    const auto argvs = commands(bench.folder + "bare" + std::to_string(round));
    program->MainForm().edtOutputFolder.SetText(bench.folder + "batch" + std::to_string(round));
    double bare_sum = 0, batch_sum = 0;
    for (int i = 0; i < clips; ++i) {
      const auto b0 = Clock::now();
      RunQuiet(argvs[static_cast<size_t>(i)], bench.folder);
      bare_sum += Seconds(Clock::now() - b0);
      check_only(i);
      bench.loop.Reset();
      const auto t0 = Clock::now();
      program->MainForm().btnConvertClick();
      batch_sum += Seconds(Clock::now() - t0);
      longest_fast_gap = std::max(longest_fast_gap, bench.loop.LongestMs());
    }
    ratios.push_back(batch_sum / bare_sum);
    std::printf("round %d: bare runs %.3f s, one-row batches %.3f s, ratio %.3f\n", round, bare_sum, batch_sum,
                batch_sum / bare_sum);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("overhead ratio (median of %zu rounds): %.3f  (aim <= 1.1)\n", ratios.size(), ratios[ratios.size() / 2]);

  // For reference: the whole batch at once against one more series of bare runs.
  for (int r = 0; r < grid.RowCount(); ++r) grid.SetCell(r, 0, "True");
  const double whole_bare = bare(9);
  const auto [whole, whole_gap] = batch(9);
  longest_fast_gap = std::max(longest_fast_gap, whole_gap);
  std::printf("whole batch of %d: %.3f s against %.3f s bare (ratio %.3f)\n", clips, whole, whole_bare,
              whole / whole_bare);

  // --- 2. Responsiveness with the pauses as shipped. ---
  program.reset();
  auto shipped = bench.MakeProgram(ui::Timing{});
  ui::SourceGrid& g2 = shipped->MainForm().dxTreeSourceFileInfo;
  for (int i = 0; i < 3; ++i)
    g2.AddRow({"True", sources[static_cast<size_t>(i)], "", "00:00:01", "00:00:00", "00:00:01", ""});
  shipped->MainForm().edtOutputFolder.SetText(bench.folder + "shipped");
  bench.loop.Reset();
  const auto t0 = Clock::now();
  shipped->MainForm().btnConvertClick();
  std::printf("shipped pauses, 3 rows: %.2f s, longest gap %.1f ms  (aim <= 150)\n", Seconds(Clock::now() - t0),
              bench.loop.LongestMs());
  std::printf("longest gap with pauses at 0: %.1f ms\n", longest_fast_gap);
  shipped.reset();

  // --- 3. Time left, pauses as shipped. ---
  // Long enough at this size that the encoder, not the fixed waits, takes most of the time.
  const std::vector<int> lengths = quick ? std::vector<int>{20, 6, 40} : std::vector<int>{30, 8, 60, 4, 20};
  auto timed = bench.MakeProgram(ui::Timing{});
  ui::SourceGrid& g3 = timed->MainForm().dxTreeSourceFileInfo;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const std::string path = bench.folder + "media/long" + std::to_string(i) + ".avi";
    if (!RunQuiet({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100", "-t", std::to_string(lengths[i]), "-c:v", "mpeg4", "-c:a",
                   "mp2", path})) {
      std::fprintf(stderr, "ffmpeg could not make the clips\n");
      return 2;
    }
    const std::string length = text::FormatSeconds(lengths[i]);
    g3.AddRow({"True", path, "", length, "00:00:00", length, length});
  }
  timed->MainForm().edtOutputFolder.SetText(bench.folder + "timed");
  // Every estimate shown once the first file is done, with the time it was shown.
  std::vector<std::pair<Clock::time_point, int64_t>> estimates;
  TfrmConverting& progress = timed->ConvertingForm();
  const int watching = progress.lblTimeLeft.Subscribe([&] {
    const std::string caption = progress.lblTimeLeft.Caption();
    const std::string head = "Time left: ";
    int64_t seconds = 0;
    if (timed->CustomProc().FilesDone < 1 || caption.rfind(head, 0) != 0) return;
    if (text::ParseTimeText(caption.substr(head.size()), seconds)) estimates.emplace_back(Clock::now(), seconds);
  });
  const auto timed_start = Clock::now();
  timed->MainForm().btnConvertClick();
  const auto timed_end = Clock::now();
  progress.lblTimeLeft.Unsubscribe(watching);
  double worst = 0, lowest = 1e9;
  for (const auto& [at, seconds] : estimates) {
    const double real = Seconds(timed_end - at);
    if (real < 1.0) continue;  // the last second says nothing of a ratio
    worst = std::max(worst, static_cast<double>(seconds) / real);
    lowest = std::min(lowest, static_cast<double>(seconds) / real);
  }
  std::printf(
      "time left, %zu rows (%.1f s): %zu estimates after the first file, estimate/real from %.2f to %.2f"
      "  (aim <= 2)\n",
      lengths.size(), Seconds(timed_end - timed_start), estimates.size(), estimates.empty() ? 0.0 : lowest, worst);

  std::error_code ec;
  std::filesystem::remove_all(bench.folder, ec);
  return 0;
}
