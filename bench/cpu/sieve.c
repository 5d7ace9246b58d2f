/* Sieve of Eratosthenes over the odd numbers below 32768, one bit each, many rounds. */
#include "workload.h"

#ifndef ROUNDS
#define ROUNDS 20
#endif
#define LIMIT 32768u

static uint8_t bits[LIMIT / 16];

int main(void) {
  uint32_t total = 0;
  for (uint16_t round = 0; round < ROUNDS; ++round) {
    for (uint16_t i = 0; i < sizeof bits; ++i) bits[i] = 0;
    uint16_t count = 1; /* the prime 2 */
    for (uint16_t n = 3; n < LIMIT; n += 2) {
      const uint16_t index = n >> 1;
      if (bits[index >> 3] & (1u << (index & 7))) continue;
      ++count;
      for (uint32_t m = (uint32_t)n * n; m < LIMIT; m += 2u * n) {
        const uint16_t k = (uint16_t)(m >> 1);
        bits[k >> 3] |= (uint8_t)(1u << (k & 7));
      }
    }
    total += count;
  }
  finish(total);
}
