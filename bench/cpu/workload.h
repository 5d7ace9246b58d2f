/* Shared by the benchmark workloads: each ends by leaving its 32-bit result in r25:r22 and
 * stopping on an undefined instruction word (0x9404), which Velmora treats as a fault and
 * the in-process harness recognises in simavr. No workload uses a service call or a peripheral.
 *
 * Built with VELMORA_PEERS (bench/peers.sh), a workload also shows its result to the other
 * machines, run as programs: it prints it in hex on USART0, which simavr and QEMU pass to their
 * output, and the undefined word makes QEMU dump its registers and stop (with -d unimp).
 * simavr runs the undefined word as a no-op and stops at the SLEEP with interrupts off that
 * follows. In Velmora the USART is plain memory (its status byte reads 0xFF: always ready). */
#ifndef VELMORA_BENCH_WORKLOAD_H
#define VELMORA_BENCH_WORKLOAD_H

#include <stdint.h>

#ifdef VELMORA_PEERS
#include <avr/io.h>

static void print_hex(uint32_t value) {
  UCSR0B = 1 << TXEN0;
  for (int8_t shift = 28; shift >= -4; shift -= 4) {
    const uint8_t digit = (uint8_t)((value >> (shift < 0 ? 0 : shift)) & 15);
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UDR0 = shift < 0 ? '\n' : (uint8_t)(digit < 10 ? '0' + digit : 'a' + digit - 10);
  }
}
#endif

static inline void finish(uint32_t result) __attribute__((noreturn));
static inline void finish(uint32_t result) {
#ifdef VELMORA_PEERS
  print_hex(result);
#endif
  __asm__ __volatile__(
      "movw r22, %A0\n\tmovw r24, %C0\n1:\t.word 0x9404\n\tcli\n\tsleep\n\trjmp 1b" ::"r"(result)
      : "r22", "r23", "r24", "r25", "memory");
  __builtin_unreachable();
}

/* A 16-bit linear congruential generator, so every machine sees the same data. */
static inline uint16_t next_random(uint16_t* state) {
  *state = (uint16_t)(*state * 25173u + 13849u);
  return *state;
}

#endif
