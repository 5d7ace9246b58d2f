// The two 256-slot tables through which the guest names files and serial ports.
#pragma once

#include <cstdint>

#include "io/file_layer.h"

namespace velmora {

// Marks every file slot closed without closing anything (nothing is open yet).
void ResetFileSlots();
// Closes every open file slot, then (CloseAllSerialSlots) every open serial slot, in index order.
void CloseAllFileSlots();
void CloseAllSerialSlots();

}  // namespace velmora
