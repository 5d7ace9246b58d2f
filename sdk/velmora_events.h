/* Velmora guest SDK: events and timers. Register a handler for an event type (which enables
 * it), switch delivery on, then call vm_wdr() in the main loop; when it answers 1 (the I flag
 * must be set, see vm_sei()), vm_fetch_event() brings the oldest event to VM_EVENT_TYPE,
 * VM_EVENT_X, VM_EVENT_Y and VM_EVENT_HANDLER. The host never calls a handler itself: the
 * guest jumps to the delivered address when it chooses. */
#ifndef VELMORA_EVENTS_H
#define VELMORA_EVENTS_H

#include "velmora_gate.h"

/* Event types; timer k expires as VM_EVENT_TIMER0 + k. */
#define VM_EVENT_CLOSE 0
#define VM_EVENT_BUTTON_DOWN 1
#define VM_EVENT_BUTTON_UP 2
#define VM_EVENT_DOUBLE_CLICK 3
#define VM_EVENT_MOUSE_MOVE 4
#define VM_EVENT_TIMER0 5
#define VM_EVENT_TYPES 13

/* The fetched event: client-area position (mouse events), type and registered handler. */
#define VM_EVENT_X (*(volatile int16_t*)0x30)
#define VM_EVENT_Y (*(volatile int16_t*)0x32)
#define VM_EVENT_TYPE (*(volatile uint16_t*)0x42)
#define VM_EVENT_HANDLER (*(volatile uint16_t*)0x44)

/* A handler as the host stores it: a C function's 16-bit address (a word address). */
typedef void (*vm_event_handler)(void);
#define VM_HANDLER_ADDRESS(function) ((uint16_t)(function))
/* Calls the handler delivered with the last fetched event. */
static inline void vm_call_event_handler(void) {
  ((vm_event_handler)VM_EVENT_HANDLER)();
}

/* Sets and clears the I flag, which WDR and the fetch need to report pending events. */
static inline void vm_sei(void) {
  __asm__ __volatile__("sei" ::: "memory");
}
static inline void vm_cli(void) {
  __asm__ __volatile__("cli" ::: "memory");
}

/* Sleeps a millisecond and lets the host handle one message (group 2). */
static inline void vm_yield(void) {
  vm_call(2, 0);
}

/* Moves the oldest event to 0x20-0x45 (nothing when none waits); returns 1 when more wait and
 * the I flag is set (group 11). */
static inline uint8_t vm_fetch_event(void) {
  vm_call(11, 0);
  return VM_EVENT_PENDING;
}

/* Switches event generation on (group 12) and off (group 13). */
static inline void vm_events_on(void) {
  vm_call(12, 0);
}
static inline void vm_events_off(void) {
  vm_call(13, 0);
}

/* Registers the handler of an event type and enables it: 0, 1 for a type of 13 or more, 2 for
 * handler 0 (7.14). */
static inline uint8_t vm_set_event_handler(uint16_t type, uint16_t handler) {
  VM_ARG16(0) = type;
  VM_ARG16(2) = handler;
  vm_call(7, 14);
  return VM_ARG8(0);
}

/* Enables a type that has a handler: 0, or 1 for a bad type or none registered (7.15). */
static inline uint8_t vm_enable_event(uint16_t type) {
  VM_ARG16(0) = type;
  vm_call(7, 15);
  return VM_ARG8(0);
}

/* Disables a type: 0, or 1 for a bad type (7.16). */
static inline uint8_t vm_disable_event(uint16_t type) {
  VM_ARG16(0) = type;
  vm_call(7, 16);
  return VM_ARG8(0);
}

/* 1 when the type is enabled, else 0 (7.17). */
static inline uint8_t vm_event_enabled(uint16_t type) {
  VM_ARG16(0) = type;
  vm_call(7, 17);
  return VM_ARG8(0);
}

/* Discards every pending event (7.19). */
static inline void vm_clear_events(void) {
  vm_call(7, 19);
}

/* The number of pending events, at most 1022 (7.20). */
static inline uint16_t vm_event_count(void) {
  vm_call(7, 20);
  return VM_ARG16(0);
}

/* Sets timer 0-7 to fire every `interval` ms once its event is enabled; returns the status:
 * 0, or 1 for a timer of 8 or more (7.95). */
static inline uint8_t vm_set_timer(uint8_t timer, uint32_t interval) {
  VM_ARG8(0) = timer;
  *(volatile uint32_t*)0x61 = interval;
  vm_call(7, 95);
  return VM_STATUS;
}

#endif
