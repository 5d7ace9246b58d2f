/* 16x16 matrix multiply of 12-bit unsigned integers into 32-bit sums, many rounds. (Unsigned:
 * the signed 16x16->32 multiply of the compiler's library ends in a skip over RET, which QEMU's
 * AVR target gets wrong.) */
#include "workload.h"

#ifndef ROUNDS
#define ROUNDS 200
#endif
#define N 16

static uint16_t a[N][N], b[N][N];
static uint32_t c[N][N];

int main(void) {
  uint16_t seed = 3;
  for (uint8_t i = 0; i < N; ++i) {
    for (uint8_t j = 0; j < N; ++j) {
      a[i][j] = next_random(&seed) >> 4;
      b[i][j] = next_random(&seed) >> 4;
    }
  }
  uint32_t check = 0;
  for (uint16_t round = 0; round < ROUNDS; ++round) {
    for (uint8_t i = 0; i < N; ++i) {
      for (uint8_t j = 0; j < N; ++j) {
        uint32_t sum = 0;
        for (uint8_t k = 0; k < N; ++k) sum += (uint32_t)a[i][k] * b[k][j];
        c[i][j] = sum;
      }
    }
    for (uint8_t i = 0; i < N; ++i) check += c[i][(i + round) % N];
    a[round % N][round % N] += 1;
  }
  finish(check);
}
