// The window procedure: what the host does with the messages a backend hands over; and fitting
// the window to the shown picture.
#include "host/window.h"

#include <algorithm>

#include "graphics/canvas.h"
#include "host/events.h"
#include "host/run.h"
#include "io/slots.h"
#include "platform/platform.h"

namespace velmora {

uint8_t KeepOpenOnClose;
void (*BeforeCanvasRelease)() = nullptr;

namespace {

// The largest client side the fit asks for; layers are at most 10009 pixels a side.
constexpr int32_t kFitLimit = 10010;

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

// The boot report is drawn before the first copy; then the ScreenSize part of the current layer,
// as far as the surface reaches, goes to the window (the backend shows black beyond it).
void WindowPaint() {
  ShowBootReport();
  if (ScreenSurface.pixels == nullptr) return;
  PlatformPresent(ScreenSurface.pixels, std::clamp(ScreenSize.width, 0, ScreenSurface.width),
                  std::clamp(ScreenSize.height, 0, ScreenSurface.height), ScreenSurface.width);
}

// Open files and ports are closed before any drawing object goes; the quit message ends the run
// at the next pump.
void WindowDestroy() {
  CloseAllFileSlots();
  CloseAllSerialSlots();
  if (BeforeCanvasRelease != nullptr) BeforeCanvasRelease();
  DestroyCanvas();
  PlatformPostQuit();
}

// Signed arithmetic throughout: a frame wider than the screen gives negative places.
void FitWindowToSurface() {
  if (PlatformIsMinimized()) PlatformRestoreWindow();
  PlatformRect outer;
  PlatformWindowRect(&outer);
  int32_t client_width, client_height;
  PlatformClientSize(&client_width, &client_height);
  const int32_t frame_width = (outer.right - outer.left) - client_width;
  const int32_t frame_height = (outer.bottom - outer.top) - client_height;
  int32_t screen_width, screen_height;
  PlatformScreenSize(&screen_width, &screen_height);

  int32_t width = frame_width + std::min(ScreenSize.width, kFitLimit);
  if (width > screen_width) width = screen_width;
  int32_t height = frame_height + std::min(ScreenSize.height, kFitLimit);
  if (height > screen_height) height = screen_height;
  const int32_t x = screen_width / 2 - width / 2;
  const int32_t y = screen_height / 2 - height / 2;
  PlatformPlaceWindow(x, y, width, height);
  ResetClip();
}

}  // namespace velmora
