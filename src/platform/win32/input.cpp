// The keyboard and the cursor on USER32: the thread's key state as the messages taken tell it
// (GetKeyboardState), the hardware's (GetAsyncKeyState), key injection (SendInput with the scan
// code MapVirtualKeyA gives), the cursor's place and display counter.
#include <windows.h>

#include "platform/platform.h"

namespace velmora {

bool PlatformKeyboardState(uint8_t state[256]) {
  return GetKeyboardState(state) != 0;
}

PlatformKeyState PlatformAsyncKeyState(uint8_t key) {
  const SHORT state = GetAsyncKeyState(key);
  return {(state & 0x8000) != 0, (state & 1) != 0};
}

// The key goes to whatever window has the keyboard focus, which need not be Velmora's.
bool PlatformInjectKey(uint8_t key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = WORD(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return SendInput(1, &input, sizeof input) == 1;
}

void PlatformCursorPosition(int32_t* x, int32_t* y) {
  POINT cursor = {0, 0};
  GetCursorPos(&cursor);
  *x = cursor.x;
  *y = cursor.y;
}

int32_t PlatformShowCursor(bool show) {
  return ShowCursor(show);
}

}  // namespace velmora
