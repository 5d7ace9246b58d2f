#include "services/gate.h"

namespace velmora {

void FillTextServices(ServiceProc* /*group3*/) {}

}  // namespace velmora
