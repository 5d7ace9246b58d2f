/* Velmora guest SDK: the host window, the keyboard, the mouse cursor, message boxes, the beep,
 * launching programs and setting the guest's clock (group 7). */
#ifndef VELMORA_DESKTOP_H
#define VELMORA_DESKTOP_H

#include "velmora_system.h"

/* Virtual-key codes: letters and digits are their ASCII capitals ('A' is 0x41, '0' is 0x30). */
#define VM_KEY_LBUTTON 0x01
#define VM_KEY_RBUTTON 0x02
#define VM_KEY_MBUTTON 0x04
#define VM_KEY_BACKSPACE 0x08
#define VM_KEY_TAB 0x09
#define VM_KEY_ENTER 0x0D
#define VM_KEY_SHIFT 0x10
#define VM_KEY_CONTROL 0x11
#define VM_KEY_ALT 0x12
#define VM_KEY_PAUSE 0x13
#define VM_KEY_CAPS_LOCK 0x14
#define VM_KEY_ESCAPE 0x1B
#define VM_KEY_SPACE 0x20
#define VM_KEY_PAGE_UP 0x21
#define VM_KEY_PAGE_DOWN 0x22
#define VM_KEY_END 0x23
#define VM_KEY_HOME 0x24
#define VM_KEY_LEFT 0x25
#define VM_KEY_UP 0x26
#define VM_KEY_RIGHT 0x27
#define VM_KEY_DOWN 0x28
#define VM_KEY_INSERT 0x2D
#define VM_KEY_DELETE 0x2E
#define VM_KEY_NUMPAD0 0x60 /* to 0x69 */
#define VM_KEY_F1 0x70      /* to F24, 0x87 */
#define VM_KEY_NUM_LOCK 0x90
#define VM_KEY_SCROLL_LOCK 0x91
#define VM_KEY_LSHIFT 0xA0
#define VM_KEY_RSHIFT 0xA1
#define VM_KEY_LCONTROL 0xA2
#define VM_KEY_RCONTROL 0xA3
#define VM_KEY_LALT 0xA4
#define VM_KEY_RALT 0xA5

/* Runs a group 7 service that takes one byte and answers one byte at 0x60. */
static inline uint8_t vm_system_byte(uint8_t function, uint8_t value) {
  VM_ARG8(0) = value;
  vm_call(7, function);
  return VM_ARG8(0);
}

/* Runs a group 7 service that writes two 16-bit values at two pointers. */
static inline void vm_system_pair(uint8_t function, void* first, void* second) {
  VM_ARG16(0) = (uint16_t)first;
  VM_ARG16(2) = (uint16_t)second;
  vm_call(7, function);
}

/* ---- The window ---- */

/* Restore from minimized (7.8), minimize (7.9); 1 while minimized (7.10). */
static inline void vm_restore_window(void) {
  vm_call(7, 8);
}
static inline void vm_minimize_window(void) {
  vm_call(7, 9);
}
static inline uint8_t vm_window_minimized(void) {
  vm_call(7, 10);
  return VM_ARG8(0);
}

/* The window's title: Windows-1252 text (7.18). */
static inline void vm_set_title(const char* title) {
  vm_call_with_pointer(18, (void*)title);
}

/* Flash the caption once (7.21); show (7.22) and hide (7.23) the window. */
static inline void vm_flash_window(void) {
  vm_call(7, 21);
}
static inline void vm_show_window(void) {
  vm_call(7, 22);
}
static inline void vm_hide_window(void) {
  vm_call(7, 23);
}

/* Move the window's outer top-left corner to (x, y) on the screen (7.24). */
static inline void vm_move_window(int16_t x, int16_t y) {
  VM_ARG16(0) = (uint16_t)x;
  VM_ARG16(2) = (uint16_t)y;
  vm_call(7, 24);
}

/* Z-order (7.25). */
#define VM_ORDER_BOTTOM 0
#define VM_ORDER_TOP 1
#define VM_ORDER_NOT_TOPMOST 2
#define VM_ORDER_TOPMOST 3
static inline void vm_window_order(uint8_t place) {
  VM_ARG8(0) = place;
  vm_call(7, 25);
}

/* Outer size (7.27) and outer top-left corner (7.28) of the window; centre it on the primary
 * screen (7.29); the primary screen's size (7.30). */
static inline void vm_window_size(int16_t* width, int16_t* height) {
  vm_system_pair(27, width, height);
}
static inline void vm_window_place(int16_t* x, int16_t* y) {
  vm_system_pair(28, x, y);
}
static inline void vm_centre_window(void) {
  vm_call(7, 29);
}
static inline void vm_screen_size(int16_t* width, int16_t* height) {
  vm_system_pair(30, width, height);
}

/* 1 while the host window is the active window (7.97). */
static inline uint8_t vm_window_active(void) {
  vm_call(7, 97);
  return VM_ARG8(0);
}

/* ---- The keyboard: answers 0 while another window is active, except where said ---- */

/* 1 once per press of the key (7.32), 1 once per release (7.72). */
static inline uint8_t vm_key_pressed(uint8_t key) {
  return vm_system_byte(32, key);
}
static inline uint8_t vm_key_released(uint8_t key) {
  return vm_system_byte(72, key);
}
/* 1 while the key is down (7.71). */
static inline uint8_t vm_key_down(uint8_t key) {
  return vm_system_byte(71, key);
}
/* 1 when the platform saw the key go down since its previous asynchronous query (7.37). */
static inline uint8_t vm_key_pressed_async(uint8_t key) {
  return vm_system_byte(37, key);
}

/* The codes of the keys down, ascending, at most ten, into keys[10] (the rest 0); returns their
 * number. vm_keys_down answers whatever window is active (7.105), vm_keys_down_active only while
 * the host window is (7.33). */
static inline uint8_t vm_keys_down(uint8_t keys[10]) {
  vm_call_with_pointer(105, keys);
  return VM_ARG8(0);
}
static inline uint8_t vm_keys_down_active(uint8_t keys[10]) {
  vm_call_with_pointer(33, keys);
  return VM_ARG8(0);
}

/* 1 while Caps Lock (7.34), Num Lock (7.35), Scroll Lock (7.36) is on. */
static inline uint8_t vm_caps_lock(void) {
  vm_call(7, 34);
  return VM_ARG8(0);
}
static inline uint8_t vm_num_lock(void) {
  vm_call(7, 35);
  return VM_ARG8(0);
}
static inline uint8_t vm_scroll_lock(void) {
  vm_call(7, 36);
  return VM_ARG8(0);
}

/* 1 while the key is down with exactly the modifiers asked for (7.106; 7.107 whatever window is
 * active). */
static inline uint8_t vm_key_combination(uint8_t control, uint8_t shift, uint8_t alt, uint8_t key) {
  VM_ARG8(0) = control;
  VM_ARG8(1) = shift;
  VM_ARG8(2) = alt;
  VM_ARG8(3) = key;
  vm_call(7, 106);
  return VM_ARG8(0);
}
static inline uint8_t vm_key_combination_any_window(uint8_t control, uint8_t shift, uint8_t alt,
                                                    uint8_t key) {
  VM_ARG8(0) = control;
  VM_ARG8(1) = shift;
  VM_ARG8(2) = alt;
  VM_ARG8(3) = key;
  vm_call(7, 107);
  return VM_ARG8(0);
}

/* Put a key going down (7.38) or up (7.39) into the input; 0, or 1 when nothing was taken. */
static inline uint8_t vm_inject_key_down(uint8_t key) {
  return vm_system_byte(38, key);
}
static inline uint8_t vm_inject_key_up(uint8_t key) {
  return vm_system_byte(39, key);
}

/* ---- The mouse cursor ---- */

/* Cursor position on the screen (7.92); show (7.93) and hide (7.94) it, counted. */
static inline void vm_cursor_position(int16_t* x, int16_t* y) {
  vm_system_pair(92, x, y);
}
static inline void vm_show_cursor(void) {
  vm_call(7, 93);
}
static inline void vm_hide_cursor(void) {
  vm_call(7, 94);
}

/* ---- Dialogs, sound and programs ---- */

/* A tone; returns when it has ended (7.26). */
static inline void vm_beep(uint16_t frequency, uint16_t milliseconds) {
  VM_ARG16(0) = frequency;
  VM_ARG16(2) = milliseconds;
  vm_call(7, 26);
}

/* A modal message box (7.65): returns VM_ANSWER_* (0 with status 1 when there was none). */
#define VM_BUTTONS_OK 0
#define VM_BUTTONS_OK_CANCEL 1
#define VM_BUTTONS_YES_NO 2
#define VM_BUTTONS_YES_NO_CANCEL 3
#define VM_ANSWER_OK 1
#define VM_ANSWER_CANCEL 2
#define VM_ANSWER_YES 3
#define VM_ANSWER_NO 4
static inline uint8_t vm_message_box(const char* text, const char* caption, uint8_t buttons) {
  VM_ARG16(0) = (uint16_t)text;
  VM_ARG16(2) = (uint16_t)caption;
  VM_ARG8(4) = buttons;
  vm_call(7, 65);
  return VM_ARG8(0);
}

/* The donators box (7.96). */
static inline void vm_donators_box(void) {
  vm_call(7, 96);
}

/* Runs a command line, detached and without a shell (7.104): returns the status, 0 when it
 * started, 3 when the program was not found. The show flag is the pointer's high byte: a
 * command stored at 0x100 or above asks for a shown window, one below for a hidden one. */
static inline uint8_t vm_run_command(const char* command) {
  VM_ARG16(0) = (uint16_t)command;
  vm_call(7, 104);
  return VM_STATUS;
}

/* Sets the guest's own clock from a time record (its day of the week is not read); every date
 * and time the guest reads afterwards follows it (7.31). */
static inline void vm_set_local_datetime(const vm_time_record* time) {
  vm_call_with_pointer(31, (void*)time);
}

#endif
