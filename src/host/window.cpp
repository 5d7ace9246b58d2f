// The window procedure: what the host does with the messages a backend hands over.
#include "graphics/canvas.h"
#include "host/events.h"
#include "host/run.h"
#include "io/slots.h"
#include "platform/platform.h"

namespace velmora {

uint8_t KeepOpenOnClose;

namespace {

// While delivery is off, mouse messages go to the platform's default handling: nothing here.
// While it is on, they are taken even when their event is disabled or the ring is full.
void MouseMessage(uint16_t type, int16_t x, int16_t y) {
  if (EventDeliveryOn && EventEnable[type]) QueueEvent(type, x, y);
}

}  // namespace

void WindowMouseMove(int16_t x, int16_t y) {
  MouseMessage(kEventMouseMove, x, y);
}
void WindowLeftButtonDown(int16_t x, int16_t y) {
  MouseMessage(kEventButtonDown, x, y);
}
void WindowLeftButtonUp(int16_t x, int16_t y) {
  MouseMessage(kEventButtonUp, x, y);
}
void WindowLeftDoubleClick(int16_t x, int16_t y) {
  MouseMessage(kEventDoubleClick, x, y);
}

void WindowCloseRequest() {
  if (EventDeliveryOn && EventEnable[kEventClose]) QueueEvent(kEventClose);
  if (KeepOpenOnClose == 0) PlatformDestroyWindow();
}

// The backend copies the shown part of the canvas to the window itself; the boot report is
// drawn before the first copy.
void WindowPaint() {
  ShowBootReport();
}

// Open files and ports are closed before any drawing object goes; the quit message ends the run
// at the next pump.
void WindowDestroy() {
  CloseAllFileSlots();
  CloseAllSerialSlots();
  DestroyCanvas();
  PlatformPostQuit();
}

}  // namespace velmora
