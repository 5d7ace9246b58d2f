// The window services: the screen size and repaint request of group 3, and group 7's window
// state, title, place, z-order and screen size. All act on the one host window; after it has
// been destroyed they do nothing and the queries answer 0.
#include <algorithm>
#include <string>

#include "graphics/canvas.h"
#include "host/host_services.h"
#include "host/system_services.h"
#include "host/window.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "text/windows1252.h"

namespace velmora {

namespace {

// The shown part is never smaller than this in either direction.
constexpr int32_t kSmallestScreenSide = 20;

// 3.1: the shown part is at least 20 x 20 and never larger than the current layer; the window
// follows.
void SetScreenSize() {
  const Layer& layer = LayerTable[CurrentLayer];
  ScreenSize.width = std::min<int32_t>(
      std::max<int32_t>(GuestInt16(kArgumentAddress), kSmallestScreenSide), layer.width);
  ScreenSize.height = std::min<int32_t>(
      std::max<int32_t>(GuestInt16(kArgumentAddress + 2), kSmallestScreenSide), layer.height);
  FitWindowToSurface();
}

// 3.2: the whole window at the next pump, without erasing.
void RequestRepaint() {
  PlatformRequestRepaint();
}

void RestoreWindow() {
  PlatformRestoreWindow();
}
void MinimizeWindow() {
  PlatformMinimizeWindow();
}
void IsMinimized() {
  SetGuestByte(kArgumentAddress, PlatformIsMinimized() ? 1 : 0);
}

// 7.18: the title is the guest's Windows-1252 text, up to its terminator or the end of the data
// space.
void SetTitle() {
  PlatformSetTitle(Windows1252ToUtf8(GuestString(GuestWord(kArgumentAddress))).c_str());
}

void FlashWindow() {
  PlatformFlashWindow();
}
void ShowWindow() {
  PlatformShowWindow();
}
void HideWindow() {
  PlatformHideWindow();
}

// 7.24: x and y are signed.
void MoveWindow() {
  PlatformMoveWindow(GuestInt16(kArgumentAddress), GuestInt16(kArgumentAddress + 2));
}

// 7.25: 0 bottom, 1 top, 2 not topmost, 3 topmost; anything else does nothing.
void SetWindowOrder() {
  static constexpr WindowOrder kOrders[] = {WindowOrder::kBottom, WindowOrder::kTop,
                                            WindowOrder::kNotTopmost, WindowOrder::kTopmost};
  const uint8_t place = GuestByte(kArgumentAddress);
  if (place < 4) PlatformSetWindowOrder(kOrders[place]);
}

// Two 16-bit results at the two pointers at 0x60 and 0x62, the first written first.
void WritePair(int32_t first, int32_t second) {
  const uint16_t first_at = GuestWord(kArgumentAddress);
  const uint16_t second_at = GuestWord(kArgumentAddress + 2);
  SetGuestWord(first_at, uint16_t(first));
  SetGuestWord(second_at, uint16_t(second));
}

void OuterSize() {
  PlatformRect outer;
  PlatformWindowRect(&outer);
  WritePair(outer.right - outer.left, outer.bottom - outer.top);
}

void OuterPlace() {
  PlatformRect outer;
  PlatformWindowRect(&outer);
  WritePair(outer.left, outer.top);
}

// 7.29: each halving rounds toward zero; size and z-order stay.
void CentreWindow() {
  PlatformRect outer;
  PlatformWindowRect(&outer);
  int32_t screen_width, screen_height;
  PlatformScreenSize(&screen_width, &screen_height);
  PlatformMoveWindow(screen_width / 2 - (outer.right - outer.left) / 2,
                     screen_height / 2 - (outer.bottom - outer.top) / 2);
}

void ScreenSizeService() {
  int32_t width, height;
  PlatformScreenSize(&width, &height);
  WritePair(width, height);
}

void IsActive() {
  SetGuestByte(kArgumentAddress, PlatformIsActive() ? 1 : 0);
}

const ServiceRow kWindowServices[] = {
    {3, 1, SetScreenSize, "set screen size"},    {3, 2, RequestRepaint, "repaint"},
    {7, 8, RestoreWindow, "restore window"},     {7, 9, MinimizeWindow, "minimize window"},
    {7, 10, IsMinimized, "is minimized"},        {7, 18, SetTitle, "set title"},
    {7, 21, FlashWindow, "flash window"},        {7, 22, ShowWindow, "show window"},
    {7, 23, HideWindow, "hide window"},          {7, 24, MoveWindow, "move window"},
    {7, 25, SetWindowOrder, "set window order"}, {7, 27, OuterSize, "window size"},
    {7, 28, OuterPlace, "window place"},         {7, 29, CentreWindow, "centre window"},
    {7, 30, ScreenSizeService, "screen size"},   {7, 97, IsActive, "is active"},
};

}  // namespace

std::span<const ServiceRow> WindowServiceRows() {
  return kWindowServices;
}

}  // namespace velmora
