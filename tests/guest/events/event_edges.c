/* The edges of the event and clock services, run with a fixed date and scripted input (see
 * check_events.py, group "edges"): calls without a service, the status byte, the date records,
 * yield, the ring's limit, a late timer, delivery switched off, the handler an event carries, and
 * close requests in every setting; the last one ends the program. checks.h records every check. */
#include <string.h>

#include "../checks.h"
#include "velmora.h"

static uint32_t start;

/* WDR until `ms` milliseconds of the run have passed (each WDR is one on the virtual clock). */
static void pump_until(uint32_t ms) {
  while (vm_ticks() - start < ms) vm_wdr();
}

static uint16_t fetch_all(uint16_t type) {
  uint16_t seen = 0;
  while (vm_event_count() > 0) {
    vm_fetch_event();
    seen += VM_EVENT_TYPE == type;
  }
  return seen;
}

static void gate_and_status(void) {
  /* Groups without services, function 0 and the functions beyond each table, groups above 13:
   * the group byte is cleared for groups 0-13 only, nothing else changes. */
  static const uint8_t idle[][2] = {{0, 1},  {1, 1},   {4, 1},  {6, 1},  {8, 1},   {10, 1}, {3, 80},
                                    {5, 39}, {7, 109}, {9, 29}, {14, 1}, {100, 1}, {255, 1}};
  uint8_t arguments[0x20];
  for (uint8_t i = 0; i < 0x20; ++i) VM_ARG8(i) = (uint8_t)(i * 7 + 3);
  memcpy(arguments, (void*)0x60, sizeof arguments);
  VM_EVENT_PENDING = 0x33;
  VM_STATUS = 0x5A;
  for (uint8_t g = 0; g < sizeof idle / sizeof idle[0]; ++g) {
    uint16_t function = 0;
    while (function < 256) {
      vm_call(idle[g][0], (uint8_t)function);
      const uint8_t kept = memcmp(arguments, (void*)0x60, sizeof arguments) == 0 &&
                           VM_EVENT_PENDING == 0x33 && VM_STATUS == 0x5A &&
                           VM_GROUP == (idle[g][0] < 14 ? 0 : idle[g][0]) &&
                           VM_FUNCTION == function;
      CHECK(kept ? 0 : function + 1, 0);
      function = function ? function + 1 : idle[g][1];
    }
  }
  /* The event and clock services leave the status byte alone; 7.95 is the one that writes it. */
  static const uint8_t calls[][2] = {{2, 0},  {11, 0}, {12, 0}, {13, 0}, {7, 1},  {7, 2},  {7, 3},
                                     {7, 4},  {7, 5},  {7, 6},  {7, 7},  {7, 11}, {7, 12}, {7, 13},
                                     {7, 14}, {7, 15}, {7, 16}, {7, 17}, {7, 19}, {7, 20}, {7, 67}};
  for (uint8_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
    VM_ARG16(0) = 0x3000;
    VM_STATUS = 0x5C;
    vm_call(calls[i][0], calls[i][1]);
    CHECK(VM_STATUS, 0x5C);
  }
  vm_events_off();
  vm_clear_events();
}

static void records(void) {
  /* --date 2024-03-05T14:07:09.250, a Tuesday; nothing has pumped yet. */
  static const uint8_t both[10] = {0xE8, 0x07, 3, 5, 2, 14, 7, 9, 0xFA, 0};
  static uint8_t record[12];
  static const uint8_t function[] = {1, 2, 3, 5, 6, 7}, offset[] = {0, 5, 0, 0, 5, 0},
                       length[] = {10, 3, 5, 10, 3, 5};
  for (uint8_t i = 0; i < 6; ++i) {
    memset(record, 0xCC, sizeof record);
    vm_call_with_pointer(function[i], record);
    CHECK(memcmp(record, both + offset[i], length[i]) == 0 && record[length[i]] == 0xCC, 1);
  }
  uint64_t one = 0xCCCCCCCCCCCCCCCCull;
  vm_store_one(&one);
  CHECK(one == 1, 1);
  /* A record at the top of the data space puts its last bytes into the guard bytes. */
  vm_store_one((uint64_t*)0xFFFE);
  CHECK(*(volatile uint16_t*)0xFFFE, 1);
}

int main(void) {
  records();
  start = vm_ticks();
  gate_and_status();

  /* A yield sleeps a millisecond and pumps once; it reports no events. */
  uint32_t before = vm_ticks();
  VM_EVENT_PENDING = 0x55;
  vm_yield();
  CHECK(vm_ticks() - before, 2);
  CHECK(VM_EVENT_PENDING, 0x55);

  /* The ring holds 1022 events and drops the rest without a trace; then it is empty. */
  CHECK(vm_set_event_handler(VM_EVENT_TIMER0, 0x100), 0);
  CHECK(vm_set_timer(0, 0), 0); /* fires at every WDR */
  CHECK(vm_set_timer(8, 5), 1);
  vm_events_on();
  for (uint16_t i = 0; i < 1100; ++i) vm_wdr();
  CHECK(vm_event_count(), 1022);
  CHECK(fetch_all(VM_EVENT_TIMER0), 1022);
  VM_EVENT_TYPE = 0xBEEF;
  VM_EVENT_PENDING = 1;
  vm_fetch_event();
  CHECK(VM_EVENT_TYPE, 0xBEEF);
  CHECK(VM_EVENT_PENDING, 0);

  /* A timer polled late fires once, and its period counts from that poll. */
  vm_disable_event(VM_EVENT_TIMER0);
  vm_set_event_handler(VM_EVENT_TIMER0 + 1, 0x100);
  vm_set_timer(1, 5);
  vm_wdr();
  CHECK(fetch_all(VM_EVENT_TIMER0 + 1), 1);
  for (uint16_t i = 0; i < 500; ++i) vm_yield(); /* a second without timer polls */
  vm_wdr();
  CHECK(fetch_all(VM_EVENT_TIMER0 + 1), 1);
  for (uint8_t i = 0; i < 4; ++i) vm_wdr();
  CHECK(vm_event_count(), 0);
  vm_wdr();
  CHECK(fetch_all(VM_EVENT_TIMER0 + 1), 1);
  vm_disable_event(VM_EVENT_TIMER0 + 1);

  /* An event carries the handler registered when it was queued (a click at 3000 ms). */
  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, 0x1234);
  pump_until(3001);
  vm_set_event_handler(VM_EVENT_BUTTON_DOWN, 0x5678);
  CHECK(vm_event_count(), 1);
  vm_fetch_event();
  CHECK(VM_EVENT_TYPE == VM_EVENT_BUTTON_DOWN && VM_EVENT_HANDLER == 0x1234, 1);
  CHECK(VM_EVENT_X == 10 && VM_EVENT_Y == 20, 1);
  /* A double click at 3500 and a move at 3600, both enabled. */
  vm_set_event_handler(VM_EVENT_DOUBLE_CLICK, 0x100);
  vm_set_event_handler(VM_EVENT_MOUSE_MOVE, 0x100);
  pump_until(3601);
  vm_fetch_event();
  CHECK(VM_EVENT_TYPE == VM_EVENT_DOUBLE_CLICK && VM_EVENT_X == 7 && VM_EVENT_Y == 8, 1);
  vm_fetch_event();
  CHECK(VM_EVENT_TYPE == VM_EVENT_MOUSE_MOVE && VM_EVENT_X == -1 && VM_EVENT_Y == 2, 1);
  CHECK(vm_event_count(), 0);

  /* Delivery off: no timer, click or close event; kept open, the window stays (closes at 4000
   * and 4100, a click at 4050). */
  vm_set_event_handler(VM_EVENT_CLOSE, 0x100);
  vm_set_event_handler(VM_EVENT_TIMER0 + 2, 0x100);
  vm_set_timer(2, 0);
  vm_keep_open_on_close(1);
  vm_events_off();
  pump_until(4060);
  CHECK(vm_event_count(), 0);
  vm_events_on();
  vm_disable_event(VM_EVENT_CLOSE); /* on, but not enabled: no close event either */
  vm_disable_event(VM_EVENT_TIMER0 + 2);
  pump_until(4110);
  CHECK(vm_event_count(), 0);
  CHECK(vm_event_enabled(VM_EVENT_CLOSE), 0);
  /* Not kept open: the close at 4200 destroys the window, and the next WDR ends the program. */
  vm_keep_open_on_close(0);
  pump_until(4300);
  CHECK(0, 1); /* never reached */
  vm_halt();
}
