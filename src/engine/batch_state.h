// The counters and flags of the batch that runs or ran last, shared by the batch
// driver and the progress window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TAdvanceSystem;

// Where the engine writes its log lines.
using EngineLog = std::function<void(const std::string&)>;

struct BatchState {
  int32_t FilesDone = 0;
  int32_t CheckedCount = 0;
  int32_t RefreshCount = 0;
  int32_t RowIndex = 0;
  std::string CurrentCommand;
  bool StopRequested = false;
  // Set by the progress window's Stop and close handlers, cleared when a batch
  // starts: a row's encoder that ended on a stop counts as stopped, not failed.
  bool BatchInterrupted = false;

  // Start (hh:mm:ss) and length (whole seconds) of the range of the job last built.
  std::string TrimStartText;
  std::string TrimSecondsText;

  // The file the row converted last wrote (the real name, or its partial file
  // when stopped); empty when it kept none.
  std::string LastOutput;

  // A batch runs; a second one is refused meanwhile.
  bool Running = false;
  // The runner of the row being converted; none between rows.
  TAdvanceSystem* Runner = nullptr;
};
