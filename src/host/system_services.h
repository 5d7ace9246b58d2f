// Group 7's system services that keep state of their own: the guest's clock and the keyboard
// snapshot.
#pragma once

#include <cstdint>

#include "services/gate.h"

namespace velmora {

// How far the guest's clock is ahead of the host's, in milliseconds: set by 7.31 and added to
// every date and time the guest reads. The host's own clock is never set.
extern int64_t GuestClockOffset;

// Per key: 0 up or 1 down as functions 32 and 72 last saw it; at boot the platform's keyboard
// state (bit 7 down, bit 0 toggled).
extern uint8_t KeySnapshot[256];
// The boot's reset: the snapshot becomes the platform's keyboard state.
void ResetKeySnapshot();

}  // namespace velmora
