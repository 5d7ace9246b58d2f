/* The window services on the headless virtual desktop, whatever its screen size: state round
 * trips, placement, the fit to the screen size and its clamp to the screen, centring, z-order
 * and the title. Records every check (checks.h); the driver reads the host log and the window
 * dump as well. No service here writes the status byte: it must keep the value set at the start. */
#include "../checks.h"
#include "velmora.h"

/* The headless window's frame: 5 pixels left, right and bottom, 28 on top. */
#define FRAME_WIDTH 10
#define FRAME_HEIGHT 33
#define UNTOUCHED 0xA5

static int16_t screen_width, screen_height;

static int16_t smaller(int16_t a, int16_t b) {
  return a < b ? a : b;
}

/* The window's outer size and place after a fit to a client of width x height. */
static void check_fit(uint16_t line, int16_t width, int16_t height) {
  int16_t w, h, x, y;
  const int16_t want_w = smaller(width + FRAME_WIDTH, screen_width);
  const int16_t want_h = smaller(height + FRAME_HEIGHT, screen_height);
  vm_window_size(&w, &h);
  vm_window_place(&x, &y);
  check(line, (uint16_t)w, (uint16_t)want_w);
  check(line, (uint16_t)h, (uint16_t)want_h);
  check(line, (uint16_t)x, (uint16_t)(screen_width / 2 - want_w / 2));
  check(line, (uint16_t)y, (uint16_t)(screen_height / 2 - want_h / 2));
}

int main(void) {
  int16_t w, h, x, y;
  VM_STATUS = UNTOUCHED;
  vm_screen_size(&screen_width, &screen_height);

  /* The boot fitted the 240 x 120 screen size, restored and active. */
  check_fit(__LINE__, 240, 120);
  CHECK(vm_window_minimized(), 0);
  CHECK(vm_window_active(), 1);

  /* Minimize and restore: 10 follows, and so does the active window. */
  vm_minimize_window();
  CHECK(vm_window_minimized(), 1);
  CHECK(vm_window_active(), 0);
  vm_restore_window();
  CHECK(vm_window_minimized(), 0);
  CHECK(vm_window_active(), 1);

  /* Hiding deactivates, showing activates. */
  vm_hide_window();
  CHECK(vm_window_active(), 0);
  vm_show_window();
  CHECK(vm_window_active(), 1);

  /* A move to a negative x: the place reads back in two's complement, the size stays. */
  vm_move_window(-20, 30);
  vm_window_place(&x, &y);
  CHECK((uint16_t)x, 0xFFEC);
  CHECK(y, 30);
  vm_window_size(&w, &h);
  CHECK(w, smaller(240 + FRAME_WIDTH, screen_width));

  /* Centring halves the screen and the window separately, each toward zero. */
  vm_set_screen_size(101, 51);
  check_fit(__LINE__, 101, 51);
  vm_move_window(3, 4);
  vm_centre_window();
  vm_window_size(&w, &h);
  vm_window_place(&x, &y);
  CHECK(x, screen_width / 2 - w / 2);
  CHECK(y, screen_height / 2 - h / 2);

  /* The screen size is at least 20 x 20 and at most the layer. */
  vm_set_screen_size(5, -3);
  check_fit(__LINE__, 20, 20);
  vm_set_screen_size(1000, 1000);
  check_fit(__LINE__, 240, 120);
  /* A layer larger than the screen: the window is the screen's size at most. */
  CHECK(vm_create_layer(1, 400, 300), 0);
  vm_select_layer(1);
  vm_set_screen_size(400, 300);
  check_fit(__LINE__, 400, 300);

  /* Z-order: 4 is no place; the titles around it mark it in the host log. */
  VM_STATUS = UNTOUCHED;
  vm_set_title("before order 4");
  vm_window_order(4);
  vm_set_title("after order 4");
  vm_window_order(VM_ORDER_BOTTOM);
  vm_window_order(VM_ORDER_TOPMOST);
  vm_flash_window();

  /* The title is Windows-1252: an e with an acute accent, the euro sign. */
  vm_set_title("Caf\xe9 \x80 5");
  CHECK_STATUS(UNTOUCHED);
  vm_exit();
  return 0;
}
