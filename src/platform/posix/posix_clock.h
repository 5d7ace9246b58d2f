// The real clocks of a POSIX host. Backends build their Platform time functions on these (the
// headless backend may put a virtual clock in front of them).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

// Milliseconds of the monotonic clock, wrapping at 2^32.
uint32_t PosixTickCount();
// The same, without wrapping.
uint64_t PosixMonotonicMilliseconds();
void PosixSleep(uint32_t milliseconds);
// The wall clock, in the local time zone and in UTC.
void PosixLocalTime(PlatformDateTime* time);
void PosixUtcTime(PlatformDateTime* time);

}  // namespace velmora
