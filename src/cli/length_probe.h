// Measures sources through the probe module, loaded on the first call, so that
// a run starts its first encoder before the media libraries are even loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "media/probe_module.h"
#include "platform/platform.h"
#include "platform/shared_library.h"

namespace cli {

class LengthProbe {
 public:
  // The module is looked for in app_dir (with a trailing separator).
  LengthProbe(std::string app_dir, bool library_messages)
      : module_path_(std::move(app_dir) + platform::kProbeModule), library_messages_(library_messages) {}

  // The source's length in milliseconds. Throws std::runtime_error with the
  // reason a user reads: the file's fault, or that the module cannot be loaded.
  // Safe to call from several threads at once.
  int64_t LengthMs(const std::string& path);

 private:
  std::string module_path_;
  bool library_messages_;
  std::once_flag loaded_;
  std::unique_ptr<platform::SharedLibrary> module_;
  ProbeLengthFn length_ = nullptr;
};

}  // namespace cli
