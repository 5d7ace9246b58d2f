// The signals that ask a POSIX program to end.
#include <csignal>

#include "platform/platform.h"
#include "platform/posix/end_signal.h"

namespace velmora {
namespace {

volatile std::sig_atomic_t EndSignal = 0;
void (*HostEndHandler)(int) = nullptr;

extern "C" void OnEndSignal(int signal_number) {
  EndSignal = 1;
  if (HostEndHandler) HostEndHandler(signal_number);
}

}  // namespace

bool EndSignalSeen() {
  return EndSignal != 0;
}

void PlatformCatchEndSignals(void (*handler)(int)) {
  HostEndHandler = handler;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, OnEndSignal);
}

}  // namespace velmora
