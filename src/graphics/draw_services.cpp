#include "services/gate.h"

namespace velmora {

void FillDrawingServices(ServiceProc* /*group3*/) {}

}  // namespace velmora
