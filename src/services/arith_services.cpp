#include "services/gate.h"

namespace velmora {

void FillArithmeticServices(ServiceProc* /*group9*/) {}

}  // namespace velmora
