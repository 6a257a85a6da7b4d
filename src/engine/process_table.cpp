#include "engine/process_table.h"

#include <set>
#include <vector>

#include "shell/common_lib.h"
#include "platform/process_table.h"
#include "common/helpers.h"
#include "shell/program.h"
#include "ui/event_loop.h"

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

pid_t TCommonLib::GetProcessIdByName(const std::string& name) const {
  const pid_t pid = program_.SysFunc().ProcessIdByName(name);
  if (pid == 0) program_.WriteLog("Get Process id error.");
  return pid;
}

bool TCommonLib::KillProcessByName(const std::string& name) const {
  EnableDebugPrivilege();
  platform::ProcessTable& table = program_.processes();
  bool result = false;
  bool matched = false;
  // Only our own encoders: another user's or another instance's process of the
  // same name is never touched.
  const auto snapshot = table.Snapshot();
  EncoderChildren.WithChildren([&](const std::set<pid_t>& ours) {
    for (const auto& entry : snapshot) {
      if (!ours.count(entry.pid) || !NameMatches(entry.name, name)) continue;
      matched = true;
      result = table.Terminate(entry.pid);
    }
  });
  if (!matched || !result) {
    program_.WriteLog("Terminate process error.");
    return false;
  }
  return true;
}

bool TCommonLib::SetTokenPrivilege(int /*token*/, const std::string& /*privilege*/, bool /*enable*/) const {
  // Any process may signal its own user's processes here: nothing to enable.
  return true;
}

bool TCommonLib::EnableDebugPrivilege() const {
  return SetTokenPrivilege(0, "SeDebugPrivilege", true);
}

bool TCommonLib::OwnEncoderRunning() const {
  const auto snapshot = program_.processes().Snapshot();
  bool running = false;
  EncoderChildren.WithChildren([&](const std::set<pid_t>& ours) {
    for (const auto& entry : snapshot)
      if (ours.count(entry.pid)) running = true;
  });
  return running;
}

void TCommonLib::StopEncoder(const std::string& /*path*/) const {
  // Every encoder this program started is ended, whatever its name: a runner
  // only ever starts the job's encoder.
  const ui::Timing& timing = program_.timing();
  platform::ProcessTable& table = program_.processes();
  EnableDebugPrivilege();
  // Time spent, counted in the pauses between looks; the loop's clock may be virtual.
  int64_t spent_ms = 0;
  const int step_ms = timing.stop_retry_ms > 0 ? timing.stop_retry_ms : 1;
  std::set<pid_t> asked, killed;
  for (;;) {
    // The table only tells which are still there; the registry, locked, tells
    // which are still ours to signal.
    const auto snapshot = table.Snapshot();
    std::vector<pid_t> left;
    EncoderChildren.WithChildren([&](const std::set<pid_t>& ours) {
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
      for (size_t i = 0; i < left.size(); ++i) program_.WriteLog("Terminate process error.");
      return;
    }
    program_.loop().Wait(timing.stop_retry_ms);
    program_.loop().ProcessEvents();
    spent_ms += step_ms;
  }
}
