#include "services/gate.h"

namespace velmora {

void FillFileServices(ServiceProc* /*group7*/) {}

}  // namespace velmora
