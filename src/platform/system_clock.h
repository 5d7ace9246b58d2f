// The real clocks of the operating system under the backends: posix/ and win32/ each implement
// them, and the backends build their Platform time functions on them (the headless backend may put
// a virtual clock in front).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

// Milliseconds of the monotonic clock, wrapping at 2^32.
uint32_t SystemTickCount();
// The same, without wrapping.
uint64_t SystemMonotonicMilliseconds();
void SystemSleep(uint32_t milliseconds);
// The wall clock, in the local time zone and in UTC.
void SystemLocalTime(PlatformDateTime* time);
void SystemUtcTime(PlatformDateTime* time);

}  // namespace velmora
