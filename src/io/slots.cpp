#include "io/slots.h"

namespace velmora {

FileSlotEntry FileSlot[kSlotCount];
SerialSlotEntry SerialSlot[kSlotCount];

void ResetFileSlots() {
  for (FileSlotEntry& slot : FileSlot) slot = {};
}

// A slot whose close fails is marked closed all the same: its handle is no longer usable.
void CloseAllFileSlots() {
  for (FileSlotEntry& slot : FileSlot) {
    if (!slot.open) continue;
    FileClose(slot.handle);
    slot.open = 0;
  }
}

void CloseAllSerialSlots() {
  for (SerialSlotEntry& slot : SerialSlot) {
    if (!slot.open) continue;
    SerialClose(slot.handle);
    slot.open = 0;
  }
}

}  // namespace velmora
