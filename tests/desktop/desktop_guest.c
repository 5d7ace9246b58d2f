/* The desktop program's test guest: draws a fixed picture, then writes what it sees to
 * seen.txt in its directory (left clicks with their position, presses of K, close requests,
 * message box answers) without ever closing the file, so that only the host's clean-up on the
 * way out puts it on disk. Variants (compile-time):
 *   KEEP_OPEN  the first close request is only noted; the second ends the program
 *   ASK        asks two questions in message boxes at the start
 *   HANG       stops pumping after the picture and a thousand injected keys, queued before the
 *              close request: only the host's watch can close it */
#include "velmora.h"

#define SEEN 1

static volatile uint8_t closes;
static char line[40];

static void note(const char* text) {
  vm_file_write_line(SEEN, text);
}

static void on_click(void) {
  line[0] = 0;
  vm_str_append(line, "click ");
  vm_str_append_s16(line, 0, VM_EVENT_X);
  vm_str_append(line, " ");
  vm_str_append_s16(line, 0, VM_EVENT_Y);
  note(line);
}

static void on_close(void) {
  ++closes;
  note("close");
}

static void draw(void) {
  vm_set_background_rgb(16, 24, 48);
  vm_clear();
  vm_set_fill_rgb(200, 60, 40);
  vm_fill_rect(10, 10, 69, 49);
  vm_set_pen(3, VM_RGB(240, 200, 0));
  vm_circle(120, 60, 30);
  vm_set_pen(1, VM_RGB(0, 220, 120));
  vm_line(0, 119, 239, 0);
  vm_set_text_rgb(255, 255, 255);
  vm_draw_text(150, 90, "Velmora");
  vm_builtin_font(2, 1);
  vm_draw_text(10, 100, "built-in 2");
  vm_repaint();
}

int main(void) {
  vm_file_open(SEEN, VM_OPEN_WRITE_ALWAYS, "seen.txt");
  vm_set_title("Velmora desktop test");
  draw();
  note("started");
#ifdef HANG
  for (uint16_t keys = 0; keys < 1000; ++keys) vm_inject_key_up('K');
  note("flooded");
  for (;;) {
  }
#endif
  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, VM_HANDLER_ADDRESS(on_click));
  vm_set_event_handler(VM_EVENT_CLOSE, VM_HANDLER_ADDRESS(on_close));
#ifdef KEEP_OPEN
  vm_keep_open_on_close(1);
#endif
  vm_events_on();
  vm_sei();
#ifdef ASK
  line[0] = 0;
  vm_str_append(line, "answer ");
  vm_str_append_u16(line, 0,
                    vm_message_box("Go on?", "Velmora question", VM_BUTTONS_YES_NO_CANCEL));
  vm_str_append(line, " ");
  vm_str_append_u16(line, 0, vm_message_box("Really?", "Velmora question 2", VM_BUTTONS_OK_CANCEL));
  note(line);
#endif
  for (;;) {
    if (vm_wdr()) {
      uint8_t more;
      do {
        more = vm_fetch_event();
        vm_call_event_handler();
      } while (more);
    }
    if (vm_key_pressed('K')) note("key K");
#ifdef KEEP_OPEN
    if (closes >= 2) vm_exit();
#endif
  }
}
