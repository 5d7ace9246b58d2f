// The real clock of a POSIX host, for backends that offer real time (headless in real-time
// mode, sdl).
#pragma once

#include <cstdint>

namespace velmora {

// Milliseconds of the monotonic clock, wrapping at 2^32.
uint32_t PosixTickCount();
void PosixSleep(uint32_t milliseconds);

}  // namespace velmora
