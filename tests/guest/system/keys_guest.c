/* The keyboard and cursor services against the driver's scripted keys, on the virtual clock
 * (each WDR is a millisecond). Before the run A is held and Caps Lock is on; what the driver
 * schedules is written next to each step. Every check is recorded (checks.h). */
#include <string.h>

#include "../checks.h"
#include "velmora.h"

#define UNTOUCHED 0xA5

static uint32_t start;
static uint8_t list[12];

/* Pumps until `ms` milliseconds of the run have passed: scripted keys happen and their messages
 * are taken. */
static void wait_until(uint16_t ms) {
  while (vm_ticks() - start < ms) vm_wdr();
}

#define CHECK_LIST(...)                                                 \
  do {                                                                  \
    static const uint8_t want[12] = {__VA_ARGS__};                      \
    for (uint8_t i = 0; i < 12; ++i) check(__LINE__, list[i], want[i]); \
  } while (0)

int main(void) {
  start = vm_ticks();

  /* A held during the boot (snapshot bit 7): 32 and 72 report nothing while it stays down. */
  CHECK(vm_key_down('A'), 1);
  CHECK_STATUS(0);
  CHECK(vm_key_pressed('A'), 0);
  CHECK(vm_key_released('A'), 0);
  /* Caps Lock on at boot (snapshot 1): its first release query while up reports it. */
  CHECK(vm_key_released(VM_KEY_CAPS_LOCK), 1);
  CHECK(vm_key_released(VM_KEY_CAPS_LOCK), 0);
  CHECK(vm_caps_lock(), 1);
  CHECK(vm_num_lock(), 0);
  CHECK(vm_scroll_lock(), 0);

  /* A up at 10, down at 20, up at 30: one press, one release. */
  wait_until(15);
  CHECK(vm_key_pressed('A'), 0);
  wait_until(25);
  CHECK(vm_key_pressed('A'), 1);
  CHECK(vm_key_pressed('A'), 0);
  CHECK(vm_key_released('A'), 0);
  wait_until(35);
  CHECK(vm_key_released('A'), 1);
  CHECK(vm_key_released('A'), 0);
  CHECK(vm_key_pressed('A'), 0);

  /* C down at 40 and up at 41: gone by 45, yet the platform's pressed bit saw it, once; any
   * asynchronous query clears the bit, 71's too. */
  wait_until(45);
  CHECK(vm_key_pressed_async('C'), 1);
  CHECK(vm_key_pressed_async('C'), 0);
  CHECK(vm_key_down('C'), 0);
  /* D down at 46: 71 looks first and takes the bit. */
  wait_until(48);
  CHECK(vm_key_down('D'), 1);
  CHECK(vm_key_pressed_async('D'), 0);

  /* Left Shift and E to N down at 50: the ten lowest codes, ascending, generic Shift first. */
  wait_until(80);
  memset(list, 0xEE, sizeof list);
  CHECK(vm_keys_down_active(list), 10);
  CHECK_LIST(0x10, 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 0xEE, 0xEE);
  /* E to N up at 85: Shift, D and left Shift remain, and the rest of the ten bytes is cleared. */
  wait_until(110);
  memset(list, 0xEE, sizeof list);
  CHECK(vm_keys_down(list), 3);
  CHECK_LIST(0x10, 'D', 0xA0, 0, 0, 0, 0, 0, 0, 0, 0xEE, 0xEE);

  /* Shift and D up at 115, left Control and A down at 120. The combination's status is the
   * last HostError, which selecting an absent layer sets to 1. */
  wait_until(130);
  vm_select_layer(999);
  CHECK(vm_key_combination(1, 0, 0, 'A'), 1);
  CHECK_STATUS(1);
  CHECK(vm_key_combination(1, 1, 0, 'A'), 0);
  CHECK(vm_key_combination(0, 0, 0, 'A'), 0);
  CHECK(vm_key_combination_any_window(1, 0, 0, 'A'), 1);
  /* Right Shift down at 135: now only Control+Shift+A holds. */
  wait_until(140);
  CHECK(vm_key_combination(1, 0, 0, 'A'), 0);
  CHECK(vm_key_combination(1, 1, 0, 'A'), 1);

  /* Injection: the key is down at once; its message comes with the next pump. */
  CHECK(vm_inject_key_down('X'), 0);
  CHECK_STATUS(0);
  CHECK(vm_key_down('X'), 1);
  vm_wdr();
  memset(list, 0xEE, sizeof list);
  CHECK(vm_keys_down(list), 6);
  CHECK_LIST(0x10, 0x11, 'A', 'X', 0xA1, 0xA2, 0, 0, 0, 0, 0xEE, 0xEE);
  CHECK(vm_inject_key_up('X'), 0);
  CHECK(vm_key_down('X'), 0);

  /* Another window active from 150 (Z went down at 145): the active-only services answer 0 with
   * status 0 and 33 leaves its list alone; 105 and 107 still answer. */
  wait_until(155);
  CHECK(vm_window_active(), 0);
  VM_STATUS = UNTOUCHED;
  CHECK(vm_key_down('Z'), 0);
  CHECK_STATUS(0);
  VM_STATUS = UNTOUCHED;
  CHECK(vm_key_pressed('Z'), 0);
  CHECK_STATUS(0);
  CHECK(vm_key_released('Z'), 0);
  CHECK(vm_key_pressed_async('Z'), 0);
  CHECK(vm_caps_lock(), 0);
  CHECK(vm_key_combination(1, 1, 0, 'A'), 0);
  memset(list, 0xEE, sizeof list);
  CHECK(vm_keys_down_active(list), 0);
  CHECK_LIST(0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE);
  CHECK(vm_keys_down(list) > 0, 1);
  CHECK(vm_key_combination_any_window(0, 1, 0, 'Z'), 0); /* Control is down too */
  CHECK(vm_key_combination_any_window(1, 1, 0, 'Z'), 1);
  /* Active again from 160: Z has been down all along, so 32 reports it once now. */
  wait_until(165);
  CHECK(vm_key_pressed('Z'), 1);
  CHECK(vm_key_down('Z'), 1);

  /* The cursor follows the mouse moved to (10, 20) at 170, in screen coordinates. */
  wait_until(175);
  int16_t window_x, window_y, cursor_x, cursor_y;
  VM_STATUS = UNTOUCHED;
  vm_window_place(&window_x, &window_y);
  vm_cursor_position(&cursor_x, &cursor_y);
  CHECK(cursor_x, window_x + 5 + 10);
  CHECK(cursor_y, window_y + 28 + 20);
  vm_hide_cursor();
  vm_hide_cursor();
  vm_show_cursor();
  CHECK_STATUS(UNTOUCHED);
  vm_exit();
  return 0;
}
