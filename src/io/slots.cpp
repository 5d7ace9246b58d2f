#include "io/slots.h"

namespace velmora {

void ResetFileSlots() {}
void CloseAllFileSlots() {}
void CloseAllSerialSlots() {}

}  // namespace velmora
