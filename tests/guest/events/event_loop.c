/* A guest with a real event loop: handlers for button down and up, the close request and two
 * timers, WDR in the main loop, each fetched event handled by jumping to the handler address the
 * host delivered. Every handled event is logged for --dump-memory:
 *
 *   0x2000 u16 number of log entries
 *   0x2002 u8  event-pending byte of a WDR with the I flag clear (events were waiting)
 *   0x2003 u8  event count reported then (7.20)
 *   0x2004 u8  results of 7.14 with type 13 and with handler 0, 7.15 of a type without handler
 *   0x2007 u8  7.17 of type 200 (never enabled)
 *   0x2008 u32 tick count at the start
 *   0x2010 entries of 8 bytes: u16 type, i16 x, i16 y, u16 milliseconds since the start
 *   0x2300 local date and time at the start (7.1)
 *
 * KEEP_OPEN=1 sets KeepOpenOnClose, so the close handler ends the program with vm_exit();
 * KEEP_OPEN=0 lets the close request destroy the window, and the program ends at the next WDR. */
#include <velmora.h>

#ifndef KEEP_OPEN
#define KEEP_OPEN 1
#endif

#define MAX_ENTRIES 64

struct log_entry {
  uint16_t type;
  int16_t x, y;
  uint16_t when;
};

struct event_log {
  uint16_t count;
  uint8_t pending_with_i_clear;
  uint8_t count_with_i_clear;
  uint8_t bad_type_result;
  uint8_t zero_handler_result;
  uint8_t enable_without_handler;
  uint8_t query_out_of_range;
  uint32_t start_tick;
  uint8_t reserved[4];
  struct log_entry entry[MAX_ENTRIES];
};

#define LOG (*(volatile struct event_log*)0x2000)
#define START_TIME ((vm_time_record*)0x2300)

static uint32_t start_tick;
static volatile uint8_t close_seen;

static void log_event(void) {
  uint16_t n = LOG.count;
  if (n >= MAX_ENTRIES) return;
  LOG.entry[n].type = VM_EVENT_TYPE;
  LOG.entry[n].x = VM_EVENT_X;
  LOG.entry[n].y = VM_EVENT_Y;
  LOG.entry[n].when = (uint16_t)(vm_ticks() - start_tick);
  LOG.count = n + 1;
}

static void on_close(void) {
  log_event();
  close_seen = 1;
}

int main(void) {
  start_tick = vm_ticks();
  LOG.start_tick = start_tick;
  vm_local_datetime(START_TIME);
  LOG.count = 0;
  LOG.bad_type_result = vm_set_event_handler(13, VM_HANDLER_ADDRESS(log_event));
  LOG.zero_handler_result = vm_set_event_handler(VM_EVENT_BUTTON_DOWN, 0);
  LOG.enable_without_handler = vm_enable_event(VM_EVENT_MOUSE_MOVE);
  LOG.query_out_of_range = vm_event_enabled(200);

  vm_set_event_handler(VM_EVENT_CLOSE, VM_HANDLER_ADDRESS(on_close));
  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, VM_HANDLER_ADDRESS(log_event));
  vm_set_event_handler(VM_EVENT_BUTTON_UP, VM_HANDLER_ADDRESS(log_event));
  vm_set_event_handler(VM_EVENT_TIMER0, VM_HANDLER_ADDRESS(log_event));
  vm_set_event_handler(VM_EVENT_TIMER0 + 1, VM_HANDLER_ADDRESS(log_event));
  vm_set_timer(0, 10);
  vm_set_timer(1, 25);
  vm_keep_open_on_close(KEEP_OPEN);
  vm_events_on();

  /* The timers fire at this first WDR, but with I clear nothing is reported. */
  vm_cli();
  LOG.pending_with_i_clear = vm_wdr();
  LOG.count_with_i_clear = (uint8_t)vm_event_count();
  vm_sei();

  for (;;) {
    if (close_seen) vm_exit();
    if (vm_wdr()) {
      uint8_t more;
      do {
        more = vm_fetch_event();
        vm_call_event_handler();
      } while (more);
    }
  }
}
