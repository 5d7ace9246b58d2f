// The signals that ask a POSIX program to end.
#include <csignal>

#include "platform/platform.h"

namespace velmora {

void PlatformCatchEndSignals(void (*handler)(int)) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, handler);
}

}  // namespace velmora
