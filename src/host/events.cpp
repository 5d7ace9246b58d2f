#include "host/events.h"

namespace velmora {

void ResetTimers() {}

}  // namespace velmora
