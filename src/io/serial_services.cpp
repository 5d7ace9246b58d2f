#include "services/gate.h"

namespace velmora {

void FillSerialServices(ServiceProc* /*group7*/) {}

}  // namespace velmora
