/* An event loop: every left click draws a ring where it landed, a timer blinks a square in the
 * corner, and the close request ends the program. Try it headless with scripted input:
 *
 *   velmora-run --click 40,40@100 --click 120,60@200 --close 500 --screenshot paint.png paint.hex
 *
 * The number of clicks seen is kept at 0x1F0 and the number of timer ticks at 0x1F2. */
#include "velmora.h"

#define clicks (*(volatile uint16_t*)0x1F0)
#define ticks (*(volatile uint16_t*)0x1F2)

static volatile uint8_t closing;

static void on_click(void) {
  ++clicks;
  vm_set_pen(2, VM_RGB(255, 220, 0));
  vm_circle(VM_EVENT_X, VM_EVENT_Y, 8);
  vm_repaint();
}

static void on_timer(void) {
  ++ticks;
  vm_set_fill_colour((ticks & 1) ? VM_RGB(0, 200, 80) : VM_RGB(60, 60, 60));
  vm_fill_rect(228, 2, 237, 11);
  vm_repaint();
}

static void on_close(void) {
  closing = 1;
}

int main(void) {
  clicks = 0;
  ticks = 0;
  vm_clear();
  vm_set_text_rgb(200, 200, 200);
  vm_draw_text(4, 4, "Click me");

  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, VM_HANDLER_ADDRESS(on_click));
  vm_set_event_handler(VM_EVENT_TIMER0, VM_HANDLER_ADDRESS(on_timer));
  vm_set_event_handler(VM_EVENT_CLOSE, VM_HANDLER_ADDRESS(on_close));
  vm_set_timer(0, 100);
  vm_keep_open_on_close(1); /* let on_close decide */
  vm_events_on();
  vm_sei();

  while (!closing) {
    /* WDR keeps the window alive; when it reports waiting events, fetch and run each handler. */
    if (vm_wdr()) {
      uint8_t more;
      do {
        more = vm_fetch_event();
        vm_call_event_handler();
      } while (more);
    }
  }
  vm_exit();
  return 0;
}
