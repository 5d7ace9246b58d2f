#include "services/gate.h"

namespace velmora {

void FillSystemServices(ServiceProc* /*group7*/) {}

}  // namespace velmora
