/* Velmora guest SDK: clock, tick counter and the end of the program (group 7). */
#ifndef VELMORA_SYSTEM_H
#define VELMORA_SYSTEM_H

#include "velmora_gate.h"

/* Date and time as the clock services write them (ten bytes). */
typedef struct {
  uint16_t year;
  uint8_t month;   /* 1-12 */
  uint8_t day;     /* 1-31 */
  uint8_t weekday; /* 0 = Sunday */
  uint8_t hour, minute, second;
  uint16_t millisecond;
} vm_time_record;

/* Time of day (three bytes). */
typedef struct {
  uint8_t hour, minute, second;
} vm_time_of_day;

/* Date (five bytes). */
typedef struct {
  uint16_t year;
  uint8_t month, day, weekday;
} vm_date;

/* Runs a group 7 service whose only argument is a pointer at 0x60. */
static inline void vm_call_with_pointer(uint8_t function, void* pointer) {
  VM_ARG16(0) = (uint16_t)pointer;
  vm_call(7, function);
}

/* Local date and time (7.1), time of day (7.2) and date (7.3). */
static inline void vm_local_datetime(vm_time_record* time) {
  vm_call_with_pointer(1, time);
}
static inline void vm_local_time(vm_time_of_day* time) {
  vm_call_with_pointer(2, time);
}
static inline void vm_local_date(vm_date* date) {
  vm_call_with_pointer(3, date);
}

/* Stores the 64-bit value 1 (7.4). */
static inline void vm_store_one(uint64_t* value) {
  vm_call_with_pointer(4, value);
}

/* As the local forms, in UTC (7.5, 7.6, 7.7). */
static inline void vm_utc_datetime(vm_time_record* time) {
  vm_call_with_pointer(5, time);
}
static inline void vm_utc_time(vm_time_of_day* time) {
  vm_call_with_pointer(6, time);
}
static inline void vm_utc_date(vm_date* date) {
  vm_call_with_pointer(7, date);
}

/* The host's millisecond tick count, wrapping at 2^32 (7.11). */
static inline uint32_t vm_ticks(void) {
  vm_call(7, 11);
  return VM_ARG32(0);
}

/* *deadline = tick count + delay (7.12). */
static inline void vm_set_deadline(uint32_t* deadline, uint32_t delay) {
  VM_ARG16(0) = (uint16_t)deadline;
  *(volatile uint32_t*)0x62 = delay;
  vm_call(7, 12);
}

/* 0 while the tick count is below *deadline, 1 when equal, 2 above (7.13). */
static inline uint8_t vm_compare_deadline(const uint32_t* deadline) {
  vm_call_with_pointer(13, (void*)deadline);
  return VM_ARG8(0);
}

/* Destroys the window: files and ports close, and the program ends at the next WDR or
 * yield (7.66). */
static inline void vm_destroy_window(void) {
  vm_call(7, 66);
}

/* keep != 0: a close request leaves the window open (the guest decides); keep = 0: a close
 * request destroys it, as at start (7.67). */
static inline void vm_keep_open_on_close(uint8_t keep) {
  VM_ARG8(0) = keep ? 0 : 1;
  vm_call(7, 67);
}

/* Ends the program cleanly: destroys the window and lets the host take the quit message
 * (velmora-run exits with status 0). */
static inline void vm_exit(void) {
  vm_destroy_window();
  for (;;) __asm__ __volatile__("wdr" ::: "memory");
}

#endif
