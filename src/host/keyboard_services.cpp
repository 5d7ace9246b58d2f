// Keyboard and cursor services of group 7: keys pressed and released since the last look, keys
// down now, the list of keys down, lock toggles, key combinations, key injection, and the mouse
// cursor's position and display counter.
#include <cstring>

#include "host/host_services.h"
#include "host/system_services.h"
#include "platform/platform.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

uint8_t KeySnapshot[256];

namespace {

constexpr uint8_t kShiftKey = 0x10, kControlKey = 0x11, kAltKey = 0x12;
constexpr uint8_t kCapsLock = 0x14, kNumLock = 0x90, kScrollLock = 0x91;
constexpr int kListedKeys = 10;

// The services that answer only while the host window is active: status 0, and with another
// window active B(0x60) = 0 and nothing more.
bool WhileActive() {
  SetStatus(0);
  if (PlatformIsActive()) return true;
  SetGuestByte(kArgumentAddress, 0);
  return false;
}

bool KeyDownNow(uint8_t key) {
  return PlatformAsyncKeyState(key).down;
}

// 7.32: 1 once per press. A key seen up clears its snapshot; one seen down reports only when the
// snapshot says it was up (0) and then records it down.
void PressedSinceLastLook() {
  if (!WhileActive()) return;
  const uint8_t key = GuestByte(kArgumentAddress);
  uint8_t result = 0;
  if (KeyDownNow(key)) {
    result = KeySnapshot[key] == 0 ? 1 : 0;
    KeySnapshot[key] = 1;
  } else {
    KeySnapshot[key] = 0;
  }
  SetGuestByte(kArgumentAddress, result);
}

// 7.72: 1 once per release, the mirror of 32.
void ReleasedSinceLastLook() {
  if (!WhileActive()) return;
  const uint8_t key = GuestByte(kArgumentAddress);
  uint8_t result = 0;
  if (KeyDownNow(key)) {
    KeySnapshot[key] = 1;
  } else {
    result = KeySnapshot[key] == 1 ? 1 : 0;
    KeySnapshot[key] = 0;
  }
  SetGuestByte(kArgumentAddress, result);
}

void DownNow() {
  if (!WhileActive()) return;
  SetGuestByte(kArgumentAddress, KeyDownNow(GuestByte(kArgumentAddress)) ? 1 : 0);
}

// 7.37: the platform's own "pressed since the previous asynchronous query" bit.
void PressedSincePlatformQuery() {
  if (!WhileActive()) return;
  SetGuestByte(kArgumentAddress,
               PlatformAsyncKeyState(GuestByte(kArgumentAddress)).pressed ? 1 : 0);
}

// 33 and 105: the ten bytes at the pointer cleared (addresses wrap at 0x10000), then the codes
// of the keys down, ascending, at most ten; their number at 0x60.
void ListKeysDown() {
  const uint16_t list = GuestWord(kArgumentAddress);
  for (int i = 0; i < kListedKeys; ++i) SetGuestByte(uint16_t(list + i), 0);
  uint8_t state[256];
  if (!PlatformKeyboardState(state)) {
    SetGuestByte(kArgumentAddress, 0);
    return;
  }
  int count = 0;
  for (int key = 0; key < 256 && count < kListedKeys; ++key) {
    if (state[key] & 0x80) SetGuestByte(uint16_t(list + count++), uint8_t(key));
  }
  SetGuestByte(kArgumentAddress, uint8_t(count));
}

void ListKeysDownWhileActive() {
  if (WhileActive()) ListKeysDown();
}

void ListKeysDownAnyway() {
  SetStatus(0);
  ListKeysDown();
}

// 34-36: a lock is on when its toggle bit is set in the message state.
void LockToggled(uint8_t key) {
  if (!WhileActive()) return;
  uint8_t state[256];
  const bool on = PlatformKeyboardState(state) && (state[key] & 1) != 0;
  SetGuestByte(kArgumentAddress, on ? 1 : 0);
}
void CapsLockOn() {
  LockToggled(kCapsLock);
}
void NumLockOn() {
  LockToggled(kNumLock);
}
void ScrollLockOn() {
  LockToggled(kScrollLock);
}

// 106 and 107: the key down, and each modifier down exactly when its argument is non-zero. The
// status is the current HostError, which this does not change.
void KeyCombination() {
  const bool control = GuestByte(kArgumentAddress) != 0;
  const bool shift = GuestByte(kArgumentAddress + 1) != 0;
  const bool alt = GuestByte(kArgumentAddress + 2) != 0;
  const uint8_t key = GuestByte(kArgumentAddress + 3);
  const bool held = KeyDownNow(key) && KeyDownNow(kControlKey) == control &&
                    KeyDownNow(kShiftKey) == shift && KeyDownNow(kAltKey) == alt;
  SetGuestByte(kArgumentAddress, held ? 1 : 0);
  ReportHostError();
}

void KeyCombinationWhileActive() {
  if (WhileActive()) KeyCombination();
}

void KeyCombinationAnyway() {
  KeyCombination();
}

// 38 and 39: status 0 and B(0x60) = 0, or both 1 when the platform took nothing.
void InjectKey(bool up) {
  SetStatus(0);
  const bool taken = PlatformInjectKey(GuestByte(kArgumentAddress), up);
  SetGuestByte(kArgumentAddress, taken ? 0 : 1);
  if (!taken) SetStatus(1);
}
void InjectKeyDown() {
  InjectKey(false);
}
void InjectKeyUp() {
  InjectKey(true);
}

// 92: screen coordinates as 16-bit values at the two pointers.
void CursorPosition() {
  int32_t x, y;
  PlatformCursorPosition(&x, &y);
  const uint16_t x_at = GuestWord(kArgumentAddress);
  const uint16_t y_at = GuestWord(kArgumentAddress + 2);
  SetGuestWord(x_at, uint16_t(x));
  SetGuestWord(y_at, uint16_t(y));
}

void ShowCursor() {
  PlatformShowCursor(true);
}
void HideCursor() {
  PlatformShowCursor(false);
}

const ServiceRow kKeyboardServices[] = {
    {7, 32, PressedSinceLastLook, "key pressed"},
    {7, 33, ListKeysDownWhileActive, "keys down"},
    {7, 34, CapsLockOn, "caps lock"},
    {7, 35, NumLockOn, "num lock"},
    {7, 36, ScrollLockOn, "scroll lock"},
    {7, 37, PressedSincePlatformQuery, "key pressed async"},
    {7, 38, InjectKeyDown, "inject key down"},
    {7, 39, InjectKeyUp, "inject key up"},
    {7, 71, DownNow, "key down"},
    {7, 72, ReleasedSinceLastLook, "key released"},
    {7, 92, CursorPosition, "cursor position"},
    {7, 93, ShowCursor, "show cursor"},
    {7, 94, HideCursor, "hide cursor"},
    {7, 105, ListKeysDownAnyway, "keys down any window"},
    {7, 106, KeyCombinationWhileActive, "key combination"},
    {7, 107, KeyCombinationAnyway, "key combination any window"},
};

}  // namespace

void ResetKeySnapshot() {
  if (!PlatformKeyboardState(KeySnapshot)) std::memset(KeySnapshot, 0, sizeof KeySnapshot);
}

std::span<const ServiceRow> KeyboardServiceRows() {
  return kKeyboardServices;
}

}  // namespace velmora
