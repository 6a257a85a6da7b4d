// TSysFunc: the silent process lookup, and the operations on the encoders this
// program started: the logging lookup, termination and the stop routine.
#pragma once

#include <sys/types.h>

#include <string>

#include "engine/batch_state.h"

namespace platform {
class ProcessTable;
}
namespace ui {
class EventLoop;
struct Timing;
}  // namespace ui
class ChildRegistry;

class TSysFunc {
 public:
  explicit TSysFunc(platform::ProcessTable& table) : table_(table) {}

  // Id of a process whose name equals the given one (ASCII letters folded); of the
  // last one in the table's order when several do; 0 when none does. Writes nothing.
  pid_t ProcessIdByName(const std::string& name) const;

 private:
  platform::ProcessTable& table_;
};

// Text after the last "/" of a path; the whole text without one.
std::string ExecutableFileName(const std::string& path);

namespace engine {

// The encoders this program started, in the table they run in.
struct EncoderProcesses {
  platform::ProcessTable& table;
  const ChildRegistry& children;
  EngineLog log;
};

// Like TSysFunc::ProcessIdByName, but logs "Get Process id error." when none is found.
pid_t GetProcessIdByName(const TSysFunc& lookup, const std::string& name, const EngineLog& log);
// Asks every process of that name that this program started to end; true when
// the last attempt succeeded. Logs "Terminate process error." when none
// matched or the last attempt failed.
bool KillProcessByName(const EncoderProcesses& encoders, const std::string& name);
// True while the table still holds an encoder this program started.
bool OwnEncoderRunning(platform::ProcessTable& table, const ChildRegistry& children);
// One bounded attempt at ending every encoder this program started, letting
// pending events run meanwhile: each is asked once (SIGTERM), one still there
// after Timing::stop_kill_after_ms is killed, and after Timing::stop_give_up_ms
// each one left gets one "Terminate process error." line.
void StopEncoder(const EncoderProcesses& encoders, ui::EventLoop& loop, const ui::Timing& timing);

}  // namespace engine
