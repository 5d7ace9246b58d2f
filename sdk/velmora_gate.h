/* The calling convention every service wrapper uses: arguments from 0x60, function at 0x49,
 * group at 0x48, then BREAK; results are read back from 0x60 and the status byte at 0x47. */
#ifndef VELMORA_GATE_H
#define VELMORA_GATE_H

#include <stdint.h>

#define VM_EVENT_PENDING (*(volatile uint8_t*)0x46)
#define VM_STATUS (*(volatile uint8_t*)0x47)
#define VM_GROUP (*(volatile uint8_t*)0x48)
#define VM_FUNCTION (*(volatile uint8_t*)0x49)

/* Argument area accessors by offset from 0x60. */
#define VM_ARG8(offset) (*(volatile uint8_t*)(0x60 + (offset)))
#define VM_ARG16(offset) (*(volatile uint16_t*)(0x60 + (offset)))
#define VM_ARG32(offset) (*(volatile uint32_t*)(0x60 + (offset)))
#define VM_ARG64(offset) (*(volatile uint64_t*)(0x60 + (offset)))
#define VM_ARGF(offset) (*(volatile float*)(0x60 + (offset)))

/* Runs service `function` of `group` with the arguments already in place. */
static inline void vm_call(uint8_t group, uint8_t function) {
  VM_FUNCTION = function;
  VM_GROUP = group;
  __asm__ __volatile__("break" ::: "memory");
}

/* Lets the host handle one message and poll the timers; returns 1 when events wait (and the
 * I flag is set). */
static inline uint8_t vm_wdr(void) {
  __asm__ __volatile__("wdr" ::: "memory");
  return VM_EVENT_PENDING;
}

/* Stops the machine on an undefined instruction (fault 2): the simplest end of a test program. */
static inline void vm_halt(void) {
  for (;;) __asm__ __volatile__(".word 0x9404" ::: "memory");
}

#endif
