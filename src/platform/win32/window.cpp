// The Win32 window backend: the one window, of class ClassNameProg, whose window procedure hands
// the messages the host handles to the host's; the message pump, one message per pump; the
// picture shown with SetDIBitsToDevice; window state and place; the clock.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <new>

#include "platform/platform.h"
#include "platform/system_clock.h"
#include "platform/win32/win32_backend.h"
#include "platform/win32/win32_text.h"

namespace velmora {

Win32Window Win32;

namespace {

constexpr char kClassName[] = "ClassNameProg";
// WS_MINIMIZE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX: created minimized, with a caption, a
// system menu and a minimize box, neither resizable nor maximizable.
constexpr DWORD kWindowStyle = 0x20CA0000;
constexpr int kCreatedSide = 100;
// SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER.
constexpr UINT kMoveOnly = 0x205;

// The last picture shown, in the platform's pixel order (0x00RRGGBB), to show it again where the
// window is uncovered while the guest does not pump.
struct ShownPicture {
  uint32_t* pixels = nullptr;
  size_t capacity = 0;
  int32_t width = 0, height = 0;
};
ShownPicture Shown;

// Copies the visible part of the host's picture, swapping red and blue.
bool KeepPicture(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride) {
  const size_t count = size_t(width) * size_t(height);
  if (count > Shown.capacity) {
    auto* grown = new (std::nothrow) uint32_t[count];
    if (!grown) return false;
    delete[] Shown.pixels;
    Shown.pixels = grown;
    Shown.capacity = count;
  }
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* in = pixels + size_t(y) * size_t(stride);
    uint32_t* out = Shown.pixels + size_t(y) * size_t(width);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = in[x];
      out[x] = (colour & 0x00FF00) | (colour & 0xFF) << 16 | (colour >> 16 & 0xFF);
    }
  }
  Shown.width = width;
  Shown.height = height;
  return true;
}

// The kept picture at the client area's top left, black beside and below it.
void ShowPicture(HDC dc) {
  RECT client;
  GetClientRect(Win32.window, &client);
  if (Shown.width > 0 && Shown.height > 0) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Shown.width;
    info.bmiHeader.biHeight = -Shown.height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, DWORD(Shown.width), DWORD(Shown.height), 0, 0, 0,
                      UINT(Shown.height), Shown.pixels, &info, DIB_RGB_COLORS);
  }
  const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  const RECT right = {Shown.width, 0, client.right, client.bottom};
  const RECT below = {0, Shown.height, std::min<LONG>(Shown.width, client.right), client.bottom};
  if (right.left < right.right) FillRect(dc, &right, black);
  if (below.top < below.bottom) FillRect(dc, &below, black);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto x = [lparam] { return int16_t(GET_X_LPARAM(lparam)); };
  const auto y = [lparam] { return int16_t(GET_Y_LPARAM(lparam)); };
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      Win32.paint_dc = BeginPaint(window, &paint);
      if (Win32.paint_dc) WindowPaint();
      EndPaint(window, &paint);
      Win32.paint_dc = nullptr;
      return 0;
    }
    case WM_CLOSE:
      WindowCloseRequest();
      return 0;
    case WM_DESTROY:
      WindowDestroy();
      return 0;
    case WM_NCDESTROY:
      Win32.window = nullptr;
      break;
    case WM_ACTIVATEAPP:
      return 0;
    case WM_MOUSEMOVE:
      WindowMouseMove(x(), y());
      return 0;
    case WM_LBUTTONDOWN:
      WindowLeftButtonDown(x(), y());
      return 0;
    case WM_LBUTTONUP:
      WindowLeftButtonUp(x(), y());
      return 0;
    case WM_LBUTTONDBLCLK:
      WindowLeftDoubleClick(x(), y());
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// A message of the window waiting in the queue, left where it is.
bool Waiting(UINT message, MSG* found) {
  return PeekMessageA(found, Win32.window, message, message, PM_NOREMOVE | PM_NOYIELD) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Window and message pump

bool PlatformCreateWindow() {
  if (Win32.window) return true;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  static bool registered = false;
  if (!registered) {
    // Redrawn whole when resized; no double-click messages, no background brush, no menu and
    // no icon of its own.
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.lpszClassName = kClassName;
    if (!RegisterClassA(&window_class)) return false;
    registered = true;
  }
  if (!Win32.interrupt) Win32.interrupt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Win32.window =
      CreateWindowExA(WS_EX_CLIENTEDGE, kClassName, "", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      kCreatedSide, kCreatedSide, nullptr, nullptr, instance, nullptr);
  if (!Win32.window) return false;
  ShowWindow(Win32.window, SW_SHOW);
  return true;
}

PumpResult PlatformPumpMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return PumpResult::kNone;
  if (message.message == WM_QUIT) return PumpResult::kQuit;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return PumpResult::kDispatched;
}

void PlatformPostQuit() {
  PostQuitMessage(0);
}

void PlatformRequestRepaint() {
  if (Win32.window) InvalidateRect(Win32.window, nullptr, FALSE);
}

void PlatformDestroyWindow() {
  if (Win32.window) DestroyWindow(Win32.window);
}

bool PlatformWindowExists() {
  return Win32.window != nullptr;
}

// The close button's message, or a close request from outside, waiting for a pump. Where the
// window was uncovered meanwhile, the last picture is shown again.
bool PlatformCloseWaiting() {
  if (!Win32.window) return false;
  MSG message;
  const bool close = Waiting(WM_CLOSE, &message) ||
                     (Waiting(WM_SYSCOMMAND, &message) && (message.wParam & 0xFFF0) == SC_CLOSE) ||
                     (Waiting(WM_NCLBUTTONDOWN, &message) && message.wParam == HTCLOSE);
  RECT uncovered;
  if (Win32.window && GetUpdateRect(Win32.window, &uncovered, FALSE)) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(Win32.window, &paint);
    if (dc) ShowPicture(dc);
    EndPaint(Win32.window, &paint);
  }
  return close;
}

void PlatformInterrupt() {
  if (Win32.interrupt) SetEvent(Win32.interrupt);
}

void PlatformPresent(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride) {
  if (!Win32.window) return;
  RECT client;
  GetClientRect(Win32.window, &client);
  // Only what the client area can show is copied.
  width = std::clamp<int32_t>(width, 0, client.right);
  height = std::clamp<int32_t>(height, 0, client.bottom);
  if (!KeepPicture(pixels, width, height, stride)) Shown.width = Shown.height = 0;
  const HDC dc = Win32.paint_dc ? Win32.paint_dc : GetDC(Win32.window);
  if (!dc) return;
  ShowPicture(dc);
  if (dc != Win32.paint_dc) ReleaseDC(Win32.window, dc);
}

void PlatformShowWindow() {
  if (Win32.window) ShowWindowAsync(Win32.window, SW_SHOW);
}

void PlatformHideWindow() {
  if (Win32.window) ShowWindowAsync(Win32.window, SW_HIDE);
}

void PlatformMinimizeWindow() {
  if (Win32.window) ShowWindow(Win32.window, SW_MINIMIZE);
}

void PlatformRestoreWindow() {
  if (Win32.window) ShowWindow(Win32.window, SW_RESTORE);
}

bool PlatformIsMinimized() {
  return Win32.window && IsIconic(Win32.window);
}

bool PlatformIsActive() {
  return Win32.window && GetForegroundWindow() == Win32.window;
}

void PlatformSetTitle(const char* title) {
  if (Win32.window) SetWindowTextW(Win32.window, WideText(title).c_str());
}

void PlatformFlashWindow() {
  if (Win32.window) FlashWindow(Win32.window, TRUE);
}

void PlatformWindowRect(PlatformRect* outer) {
  RECT rect = {0, 0, 0, 0};
  if (Win32.window) GetWindowRect(Win32.window, &rect);
  *outer = {rect.left, rect.top, rect.right, rect.bottom};
}

void PlatformClientSize(int32_t* width, int32_t* height) {
  RECT rect = {0, 0, 0, 0};
  if (Win32.window) GetClientRect(Win32.window, &rect);
  *width = rect.right;
  *height = rect.bottom;
}

void PlatformMoveWindow(int32_t x, int32_t y) {
  if (Win32.window) SetWindowPos(Win32.window, nullptr, x, y, 0, 0, kMoveOnly);
}

// One call that also brings the window to the top: no flags, no window to insert after.
void PlatformPlaceWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (Win32.window) SetWindowPos(Win32.window, nullptr, x, y, width, height, 0);
}

void PlatformSetWindowOrder(WindowOrder order) {
  if (!Win32.window) return;
  static const HWND kAfter[] = {HWND_BOTTOM, HWND_TOP, HWND_NOTOPMOST, HWND_TOPMOST};
  SetWindowPos(Win32.window, kAfter[int(order)], 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void PlatformScreenSize(int32_t* width, int32_t* height) {
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}

// ---------------------------------------------------------------------------------------------
// Time

uint32_t PlatformTickCount() {
  return SystemTickCount();
}

void PlatformSleep(uint32_t milliseconds) {
  SystemSleep(milliseconds);
}

void PlatformLocalTime(PlatformDateTime* time) {
  SystemLocalTime(time);
}

void PlatformUtcTime(PlatformDateTime* time) {
  SystemUtcTime(time);
}

}  // namespace velmora
