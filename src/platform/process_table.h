// The system's process table: which processes run under which name, and ending
// them. Behind an interface so that logic tests work on a table of their own and
// can never end a real process.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  pid_t pid = 0;
  // The executable's file name, as the process table reports it ("evc").
  std::string name;
};

class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // A fresh snapshot of the living processes, in the table's order; zombies
  // (ended but not yet collected by their parent) are left out.
  virtual std::vector<ProcessEntry> Snapshot() = 0;
  // Asks the process to end (SIGTERM). False when it could not be signalled.
  virtual bool Terminate(pid_t pid) = 0;
  // Ends the process without asking (SIGKILL). False when it could not be signalled.
  virtual bool Kill(pid_t pid) = 0;
};

// The real table under /proc.
class ProcProcessTable : public ProcessTable {
 public:
  std::vector<ProcessEntry> Snapshot() override;
  bool Terminate(pid_t pid) override;
  bool Kill(pid_t pid) override;
};

// Sees nothing and ends nothing: the default whenever no real table was wired in.
class InertProcessTable : public ProcessTable {
 public:
  std::vector<ProcessEntry> Snapshot() override { return {}; }
  bool Terminate(pid_t) override { return false; }
  bool Kill(pid_t) override { return false; }
};

// Name and state of one /proc entry; false when the process is gone or a zombie.
// Exposed for tests.
bool ReadProcessEntry(pid_t pid, ProcessEntry& entry);

}  // namespace platform
