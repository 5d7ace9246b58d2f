// Stand-in for the host's message pump: WDR only steps over itself.
#include "core/hostcall.h"
#include "core/machine.h"

namespace velmora {

void WatchdogStep() {
  Machine.pc += 1;
}

}  // namespace velmora
