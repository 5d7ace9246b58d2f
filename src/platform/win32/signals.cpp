// The console's requests to end a Windows program, as the runtime library hands them on: Ctrl-C
// is SIGINT, Ctrl-Break SIGBREAK; SIGTERM only comes from the program itself.
#include <csignal>

#include "platform/platform.h"

namespace velmora {

void PlatformCatchEndSignals(void (*handler)(int)) {
  for (const int signal_number : {SIGINT, SIGBREAK, SIGTERM}) std::signal(signal_number, handler);
}

}  // namespace velmora
