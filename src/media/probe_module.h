// The duration probe as a module loaded with dlopen. The media libraries it
// pulls in take longer to load than a short clip takes to start converting, so
// vtp-convert does not link them: it loads this beside the running encoder.
#pragma once

#include <cstdint>

#define VTPC_PROBE_LENGTH "vtpc_probe_length"

extern "C" {
struct ProbeAnswer {
  // The few words a user reads (see ProbeError::reason), or what else went
  // wrong. Not last: a last array's size counts as unknown to the checks on writes.
  char reason[512];
  int64_t ms;
};
// 0: the length is in answer->ms. 1: the file is refused, answer->reason says
// why. 2: another failure, described there. library_messages: whether the media
// libraries print their own messages.
typedef int (*ProbeLengthFn)(const char* path, int library_messages, ProbeAnswer* answer);
}
