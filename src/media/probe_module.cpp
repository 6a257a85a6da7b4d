#include "media/probe_module.h"

#include <cstdio>
#include <exception>
#include <type_traits>

#include "media/duration_probe.h"

namespace {

int Fail(int code, const char* text, ProbeAnswer* answer) {
  std::snprintf(answer->reason, sizeof answer->reason, "%s", text);
  return code;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int vtpc_probe_length(const char* path, int library_messages,
                                                                        ProbeAnswer* answer) {
  try {
    media::ShowLibraryMessages(library_messages != 0);
    answer->ms = media::DurationProbe().DurationMs(path);
    return 0;
  } catch (const media::ProbeError& error) {
    return Fail(1, error.reason().c_str(), answer);
  } catch (const std::exception& error) {
    return Fail(2, error.what(), answer);
  }
}

// The export has the type the loader takes it for.
static_assert(std::is_same_v<decltype(&vtpc_probe_length), ProbeLengthFn>);
