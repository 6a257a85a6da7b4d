// TSysFunc: the silent process lookup the batch driver polls with. The logging
// lookup, termination and the stop routine are operations of TCommonLib
// (engine/process_table.cpp).
#pragma once

#include <sys/types.h>

#include <string>

namespace platform {
class ProcessTable;
}

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
