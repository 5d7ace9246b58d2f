// The keyboard as a backend without a platform key state of its own keeps it (headless, SDL):
// the asynchronous state the input changes when it happens, and the message state a key message
// changes when a pump takes it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

struct KeyTables {
  bool async_down[256];
  bool async_pressed[256];     // went down since the last asynchronous query
  uint8_t message_state[256];  // bit 7 down, bit 0 toggled at every press
};

// A key going down or up. A generic modifier (0x10-0x12) goes down as its left key, as a keyboard
// has no generic key; the generic code is down while either side is.
void KeyHappened(KeyTables* keys, uint8_t key, bool down);
void KeyMessageTaken(KeyTables* keys, uint8_t key, bool down);
// Reads a key's asynchronous state and clears its pressed bit.
PlatformKeyState AsyncKeyQuery(KeyTables* keys, uint8_t key);

// The cursor's display counter (PlatformShowCursor) one step up or down, kept by the same
// backends; it stays at either end of its range, as the guest can call the step without limit.
inline int32_t StepCursorCount(int32_t count, bool show) {
  if (show) return count < INT32_MAX ? count + 1 : count;
  return count > INT32_MIN ? count - 1 : count;
}

}  // namespace velmora
