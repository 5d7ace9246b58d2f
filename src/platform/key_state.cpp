#include "platform/key_state.h"

namespace velmora {

namespace {

uint8_t SidedKey(uint8_t key) {
  return key >= 0x10 && key <= 0x12 ? uint8_t(0xA0 + 2 * (key - 0x10)) : key;
}

// The generic code of a left or right modifier, 0 for other keys.
uint8_t GenericKey(uint8_t key) {
  return key >= 0xA0 && key <= 0xA5 ? uint8_t(0x10 + (key - 0xA0) / 2) : 0;
}

void SetAsync(KeyTables* keys, uint8_t key, bool down) {
  if (down && !keys->async_down[key]) keys->async_pressed[key] = true;
  keys->async_down[key] = down;
}

void SetMessage(KeyTables* keys, uint8_t key, bool down) {
  uint8_t& state = keys->message_state[key];
  if (down && (state & 0x80) == 0) state ^= 1;
  state = uint8_t(down ? state | 0x80 : state & ~0x80);
}

}  // namespace

void KeyHappened(KeyTables* keys, uint8_t key, bool down) {
  key = SidedKey(key);
  SetAsync(keys, key, down);
  if (const uint8_t generic = GenericKey(key)) {
    const uint8_t left = uint8_t(0xA0 + 2 * (generic - 0x10));
    SetAsync(keys, generic, keys->async_down[left] || keys->async_down[left + 1]);
  }
}

void KeyMessageTaken(KeyTables* keys, uint8_t key, bool down) {
  key = SidedKey(key);
  SetMessage(keys, key, down);
  if (const uint8_t generic = GenericKey(key)) {
    const uint8_t left = uint8_t(0xA0 + 2 * (generic - 0x10));
    SetMessage(keys, generic,
               ((keys->message_state[left] | keys->message_state[left + 1]) & 0x80) != 0);
  }
}

PlatformKeyState AsyncKeyQuery(KeyTables* keys, uint8_t key) {
  const PlatformKeyState state = {keys->async_down[key], keys->async_pressed[key]};
  keys->async_pressed[key] = false;
  return state;
}

}  // namespace velmora
