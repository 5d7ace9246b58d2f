// The two 256-slot tables through which the guest names files and serial ports.
#pragma once

#include <cstdint>

#include "io/file_layer.h"
#include "io/serial_layer.h"

namespace velmora {

constexpr int kSlotCount = 256;

struct FileSlotEntry {
  uint8_t open;  // 1 = open
  FileHandle handle;
};
struct SerialSlotEntry {
  uint8_t open;  // 1 = open
  SerialHandle handle;
};

// Indexed by the slot byte the guest passes. Serial slot n is the port COMn.
extern FileSlotEntry FileSlot[kSlotCount];
extern SerialSlotEntry SerialSlot[kSlotCount];

// Marks every file slot closed without closing anything (nothing is open yet).
void ResetFileSlots();
// Closes every open file slot, then (CloseAllSerialSlots) every open serial slot, in index order.
void CloseAllFileSlots();
void CloseAllSerialSlots();

}  // namespace velmora
