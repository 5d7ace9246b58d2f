// Whether a signal that asks the program to end has come. Waits that have no end of their own
// look at it between slices: a signal that arrives just before such a wait starts interrupts
// nothing, and would otherwise be lost.
#pragma once

namespace velmora {

bool EndSignalSeen();

}  // namespace velmora
