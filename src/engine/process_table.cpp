#include "engine/process_table.h"

#include <set>
#include <vector>

#include "common/helpers.h"
#include "engine/runner.h"
#include "platform/process_table.h"
#include "ui/event_loop.h"
#include "ui/timing.h"

namespace {

// Names compare as whole texts, ASCII letters folded: "EVC" finds "evc", but
// "evc" finds neither "revc" nor "evc2".
bool NameMatches(const std::string& table_name, const std::string& name) {
  return SameTextAscii(table_name, name) || SameTextAscii(ExecutableFileName(table_name), name);
}

}  // namespace

std::string ExecutableFileName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

pid_t TSysFunc::ProcessIdByName(const std::string& name) const {
  pid_t result = 0;
  for (const auto& entry : table_.Snapshot())
    if (SameTextAscii(entry.name, name)) result = entry.pid;
  return result;
}

namespace engine {

pid_t GetProcessIdByName(const TSysFunc& lookup, const std::string& name, const EngineLog& log) {
  const pid_t pid = lookup.ProcessIdByName(name);
  if (pid == 0) log("Get Process id error.");
  return pid;
}

bool KillProcessByName(const EncoderProcesses& encoders, const std::string& name) {
  platform::ProcessTable& table = encoders.table;
  bool result = false;
  bool matched = false;
  // Only our own encoders: another user's or another instance's process of the
  // same name is never touched.
  const auto snapshot = table.Snapshot();
  encoders.children.WithChildren([&](const std::set<pid_t>& ours) {
    for (const auto& entry : snapshot) {
      if (!ours.count(entry.pid) || !NameMatches(entry.name, name)) continue;
      matched = true;
      result = table.Terminate(entry.pid);
    }
  });
  if (!matched || !result) {
    encoders.log("Terminate process error.");
    return false;
  }
  return true;
}

bool OwnEncoderRunning(platform::ProcessTable& table, const ChildRegistry& children) {
  const auto snapshot = table.Snapshot();
  bool running = false;
  children.WithChildren([&](const std::set<pid_t>& ours) {
    for (const auto& entry : snapshot)
      if (ours.count(entry.pid)) running = true;
  });
  return running;
}

void StopEncoder(const EncoderProcesses& encoders, ui::EventLoop& loop, const ui::Timing& timing) {
  // Every encoder this program started is ended, whatever its name: a runner
  // only ever starts the job's encoder.
  platform::ProcessTable& table = encoders.table;
  // Time spent, counted in the pauses between looks; the loop's clock may be virtual.
  int64_t spent_ms = 0;
  const int step_ms = timing.stop_retry_ms > 0 ? timing.stop_retry_ms : 1;
  std::set<pid_t> asked, killed;
  for (;;) {
    // The table only tells which are still there; the registry, locked, tells
    // which are still ours to signal.
    const auto snapshot = table.Snapshot();
    std::vector<pid_t> left;
    encoders.children.WithChildren([&](const std::set<pid_t>& ours) {
      for (const auto& entry : snapshot) {
        if (!ours.count(entry.pid)) continue;
        left.push_back(entry.pid);
        if (spent_ms >= timing.stop_give_up_ms) continue;
        // Asked once, so the encoder can finish a playable file; one that is
        // still there after the grace is ended outright, once.
        if (spent_ms >= timing.stop_kill_after_ms) {
          if (killed.insert(entry.pid).second) table.Kill(entry.pid);
        } else if (asked.insert(entry.pid).second) {
          table.Terminate(entry.pid);
        }
      }
    });
    if (left.empty()) return;
    if (spent_ms >= timing.stop_give_up_ms) {
      // One bounded attempt: what could not be ended is said once, per process.
      for (size_t i = 0; i < left.size(); ++i) encoders.log("Terminate process error.");
      return;
    }
    loop.Wait(timing.stop_retry_ms);
    loop.ProcessEvents();
    spent_ms += step_ms;
  }
}

}  // namespace engine
