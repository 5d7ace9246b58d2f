// Stand-in for the host's window procedure, which window backends call back into.
#include "platform/platform.h"

namespace velmora {

void WindowMouseMove(int16_t, int16_t) {}
void WindowLeftButtonDown(int16_t, int16_t) {}
void WindowLeftButtonUp(int16_t, int16_t) {}
void WindowLeftDoubleClick(int16_t, int16_t) {}
void WindowCloseRequest() {}
void WindowPaint() {}
void WindowDestroy() {}

}  // namespace velmora
