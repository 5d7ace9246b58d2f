/* 16x16 matrix multiply of 16-bit integers into 32-bit sums, many rounds. */
#include "workload.h"

#define ROUNDS 200
#define N 16

static int16_t a[N][N], b[N][N];
static int32_t c[N][N];

int main(void) {
  uint16_t seed = 3;
  for (uint8_t i = 0; i < N; ++i) {
    for (uint8_t j = 0; j < N; ++j) {
      a[i][j] = (int16_t)(next_random(&seed) >> 4) - 2048;
      b[i][j] = (int16_t)(next_random(&seed) >> 4) - 2048;
    }
  }
  uint32_t check = 0;
  for (uint8_t round = 0; round < ROUNDS; ++round) {
    for (uint8_t i = 0; i < N; ++i) {
      for (uint8_t j = 0; j < N; ++j) {
        int32_t sum = 0;
        for (uint8_t k = 0; k < N; ++k) sum += (int32_t)a[i][k] * b[k][j];
        c[i][j] = sum;
      }
    }
    for (uint8_t i = 0; i < N; ++i) check += (uint32_t)c[i][(i + round) % N];
    a[round % N][round % N] += 1;
  }
  finish(check);
}
