#include "services/gate.h"

namespace velmora {

void FillImageServices(ServiceProc* /*group3*/) {}

}  // namespace velmora
