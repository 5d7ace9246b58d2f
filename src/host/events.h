// Events and timers: the ring the window procedure and the timer poll fill, and the guest fetches.
#pragma once

#include <cstdint>

namespace velmora {

// All eight timers to interval 0xFFFFFFFF and last firing 0, as at boot.
void ResetTimers();

}  // namespace velmora
