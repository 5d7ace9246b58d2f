#include "services/gate.h"

namespace velmora {

void FillStringServices(ServiceProc* /*group5*/) {}

}  // namespace velmora
