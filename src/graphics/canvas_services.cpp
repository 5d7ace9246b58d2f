#include "services/gate.h"

namespace velmora {

void FillCanvasServices(ServiceProc* /*group3*/) {}

}  // namespace velmora
