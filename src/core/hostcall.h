// The core's only two ways into the host, defined by the service gate and the host shell.
#pragma once

namespace velmora {

// BREAK: runs the service selected by the group and function bytes and advances pc.
void ServiceCall();
// WDR: lets the host handle one message, polls the timers, sets the event-pending byte and
// advances pc.
void WatchdogStep();

}  // namespace velmora
