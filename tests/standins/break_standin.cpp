// Stand-in for the service gate: BREAK only steps over itself.
#include "core/hostcall.h"
#include "core/machine.h"

namespace velmora {

void ServiceCall() {
  Machine.pc += 1;
}

}  // namespace velmora
