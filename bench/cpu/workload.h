/* Shared by the benchmark workloads: each ends by leaving its 32-bit result in r25:r22 and
 * stopping on an undefined instruction word (0x9404), which Velmora treats as a fault and
 * the harness recognises in simavr. No workload uses a service call or a peripheral. */
#ifndef VELMORA_BENCH_WORKLOAD_H
#define VELMORA_BENCH_WORKLOAD_H

#include <stdint.h>

static inline void finish(uint32_t result) __attribute__((noreturn));
static inline void finish(uint32_t result) {
  __asm__ __volatile__("movw r22, %A0\n\tmovw r24, %C0\n1:\t.word 0x9404\n\trjmp 1b" ::"r"(result)
                       : "r22", "r23", "r24", "r25", "memory");
  __builtin_unreachable();
}

/* A 16-bit linear congruential generator, so every machine sees the same data. */
static inline uint16_t next_random(uint16_t* state) {
  *state = (uint16_t)(*state * 25173u + 13849u);
  return *state;
}

#endif
