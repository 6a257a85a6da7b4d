// Test doubles for the services the logic asks for: scripted dialogs, a virtual
// clock and an event loop on it that can inject actions at chosen moments.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_table.h"
#include "platform/services.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"

namespace testing_support {

struct ShownMessage {
  ui::MessageKind kind;
  std::string caption;
  std::string text;
};

// Records every dialog and answers from scripts; an unscripted question is
// answered No, an unscripted prompt or browser is cancelled.
class FakeDialogs : public ui::Dialogs {
 public:
  void Message(ui::MessageKind kind, const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override;
  std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial_folder) override;
  std::vector<std::string> OpenFiles(const ui::OpenFilesRequest& request) override;
  void ShowCodecError(const std::string& path) override;

  // Scripts.
  std::deque<bool> yes_no_answers;
  std::deque<std::optional<std::string>> input_answers;
  std::deque<std::optional<std::string>> folder_answers;
  std::deque<std::vector<std::string>> open_answers;
  // Run while a modal dialog is up (a click elsewhere, a nested event).
  std::function<void()> while_modal;

  // Records.
  std::vector<ShownMessage> messages;
  std::vector<std::string> questions;
  std::vector<std::string> prompts;  // "caption|prompt|initial"
  std::vector<std::string> folder_titles;
  std::vector<std::string> folder_starts;
  std::vector<ui::OpenFilesRequest> open_requests;
  int codec_errors = 0;
  std::vector<std::string> codec_error_paths;

 private:
  void Modal();
};

// Virtual time: sleeping advances it at once.
class ManualClock : public ui::Clock {
 public:
  int64_t NowMs() override { return now_ms; }
  void SleepMs(int ms) override { now_ms += ms > 0 ? ms : 0; }
  int64_t now_ms = 0;
};

// The real event loop logic on virtual time, plus actions injected at chosen
// virtual moments (they run while events are handled, as a user's click would).
class FakeEventLoop : public ui::BasicEventLoop {
 public:
  FakeEventLoop() : ui::BasicEventLoop(clock) {}
  ManualClock clock;

  // Runs the action during the first event handling at or after the moment.
  void At(int64_t moment_ms, std::function<void()> action);
  // Runs the action during the n-th event handling from now (1 = the next one).
  void OnRound(int rounds_from_now, std::function<void()> action);

  int64_t rounds = 0;
  int64_t Now() const { return clock.now_ms; }

 protected:
  void BeforeEvents() override;

 private:
  struct Scheduled {
    int64_t moment_ms;
    int64_t round;
    std::function<void()> action;
  };
  std::vector<Scheduled> scheduled_;
};

// Records what would have been opened; opens nothing.
class FakeLauncher : public platform::Launcher {
 public:
  void Open(const std::string& target) override {
    opened.push_back(target);
    if (journal) journal->push_back("open " + target);
  }
  std::vector<std::string> opened;
  // When set, also notes each call in a journal shared with other fakes.
  std::vector<std::string>* journal = nullptr;
};

// Counts power-off requests; can never reach the real one.
class FakePowerControl : public platform::PowerControl {
 public:
  bool PowerOff(std::string& reason) override {
    ++requests;
    if (journal) journal->push_back("power off");
    reason = refusal;
    return refusal.empty();
  }
  int requests = 0;
  // When set, the request is refused with this reason.
  std::string refusal;
  std::vector<std::string>* journal = nullptr;
};

// A process table of pretend processes: tests add and remove entries, and
// ending one only ever touches this table.
class FakeProcessTable : public platform::ProcessTable {
 public:
  struct Process {
    pid_t pid;
    std::string name;
    // Survives SIGTERM (only SIGKILL ends it).
    bool ignores_terminate = false;
    // Cannot be signalled at all (another user's process).
    bool protected_process = false;
  };

  // Adds a living process and returns its id.
  pid_t Add(const std::string& name, bool ignores_terminate = false, bool protected_process = false);
  void Remove(pid_t pid);
  bool Alive(pid_t pid) const;
  size_t Count(const std::string& name) const;

  std::vector<platform::ProcessEntry> Snapshot() override;
  bool Terminate(pid_t pid) override;
  bool Kill(pid_t pid) override;

  std::vector<Process> processes;
  int snapshots = 0;
  // Runs at the start of every snapshot: lets a test make processes come and go.
  std::function<void()> on_snapshot;
  // "TERM <pid>" and "KILL <pid>", in order.
  std::vector<std::string> signals;

 private:
  // Beyond any id the kernel hands out, so a pretend process never shares its
  // id with a real child a test starts.
  pid_t next_pid_ = 4'300'000;
};

// A temporary folder removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // With a trailing separator.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Whole file content, or nothing when the file cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Waits for a child of this process (or an orphan handed to it as subreaper)
// to end: its wait status, or nothing while it still runs after the time.
std::optional<int> WaitForProcess(int pid, int timeout_ms);

bool Exists(const std::string& path);
// The scheduler state of a process from /proc ('T' while it is stopped); '?' when gone.
char ProcessState(pid_t pid);

}  // namespace testing_support
