#include "core/hostcall.h"
#include "core/machine.h"
#include "services/gate.h"

namespace velmora {

void FillEventServices(ServiceProc* /*group7*/) {}

void ServiceYield() {}
void ServiceFetchEvent() {}
void ServiceEventsOn() {}
void ServiceEventsOff() {}

void WatchdogStep() {
  Machine.data[kEventPendingAddress] = 0;
  Machine.pc += 1;
}

}  // namespace velmora
