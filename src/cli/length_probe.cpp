#include "cli/length_probe.h"

#include <stdexcept>

namespace cli {

int64_t LengthProbe::LengthMs(const std::string& path) {
  std::call_once(loaded_, [this] {
    module_ = std::make_unique<platform::SharedLibrary>(module_path_);
    length_ = reinterpret_cast<ProbeLengthFn>(module_->Symbol(VTPC_PROBE_LENGTH));
  });
  if (!length_) {
    const std::string why = module_->Loaded() ? "it has no " VTPC_PROBE_LENGTH : module_->Error();
    throw std::runtime_error("cannot measure files without " + module_path_ + ": " + why);
  }
  ProbeAnswer answer{};
  if (length_(path.c_str(), library_messages_ ? 1 : 0, &answer) != 0) throw std::runtime_error(answer.reason);
  return answer.ms;
}

}  // namespace cli
