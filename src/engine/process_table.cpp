#include "engine/process_table.h"

#include <set>

#include "engine/common_lib.h"
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

bool TCommonLib::EndProcessesByName(const std::string& name, bool force, std::set<pid_t>* asked) const {
  EnableDebugPrivilege();
  platform::ProcessTable& table = program_.processes();
  bool result = false;
  bool matched = false;
  for (const auto& entry : table.Snapshot()) {
    if (!NameMatches(entry.name, name)) continue;
    matched = true;
    // Asking again only hurries an encoder that is finishing its file (some
    // take repeated signals as "quit now").
    if (!force && asked && asked->count(entry.pid)) {
      result = true;
      continue;
    }
    result = force ? table.Kill(entry.pid) : table.Terminate(entry.pid);
    if (asked && result) asked->insert(entry.pid);
  }
  if (!matched || !result) {
    program_.WriteLog("Terminate process error.");
    return false;
  }
  return true;
}

bool TCommonLib::KillProcessByName(const std::string& name) const {
  return EndProcessesByName(name, false, nullptr);
}

bool TCommonLib::SetTokenPrivilege(int /*token*/, const std::string& /*privilege*/, bool /*enable*/) const {
  // Any process may signal its own user's processes here: nothing to enable.
  return true;
}

bool TCommonLib::EnableDebugPrivilege() const {
  return SetTokenPrivilege(0, "SeDebugPrivilege", true);
}

void TCommonLib::StopProcessesNamed(const std::string& name) const {
  const ui::Timing& timing = program_.timing();
  // Time spent in attempts, counted in the pauses between them; the loop's clock
  // may be virtual.
  int64_t spent_ms = 0;
  std::set<pid_t> asked;
  const int step_ms = timing.stop_retry_ms > 0 ? timing.stop_retry_ms : 1;
  while (GetProcessIdByName(name) != 0) {
    if (spent_ms >= timing.stop_give_up_ms) {
      // A process we cannot end must not hold the window for ever.
      program_.WriteLog("Terminate process error.");
      return;
    }
    // Asked politely first, so the encoder finishes a playable file; one that
    // ignores that for too long is ended outright.
    EndProcessesByName(name, spent_ms >= timing.stop_kill_after_ms, &asked);
    program_.loop().Wait(timing.stop_retry_ms);
    program_.loop().ProcessEvents();
    spent_ms += step_ms;
  }
}

void TCommonLib::StopEncoder(const std::string& path) const {
  StopProcessesNamed(ExecutableFileName(path));
  StopProcessesNamed(program_.EncoderName());
}
