/* Quicksort of 1024 pseudo-random 16-bit numbers, many rounds, with a check of the order. */
#include "workload.h"

#ifndef ROUNDS
#define ROUNDS 120
#endif
#define COUNT 1024

static uint16_t values[COUNT];

static void quicksort(uint16_t* a, int16_t lo, int16_t hi) {
  while (lo < hi) {
    const uint16_t pivot = a[(uint16_t)(lo + hi) / 2];
    int16_t i = lo, j = hi;
    while (i <= j) {
      while (a[i] < pivot) ++i;
      while (a[j] > pivot) --j;
      if (i <= j) {
        const uint16_t t = a[i];
        a[i++] = a[j];
        a[j--] = t;
      }
    }
    if (j - lo < hi - i) {
      quicksort(a, lo, j);
      lo = i;
    } else {
      quicksort(a, i, hi);
      hi = j;
    }
  }
}

int main(void) {
  uint16_t seed = 7;
  uint32_t check = 0;
  for (uint16_t round = 0; round < ROUNDS; ++round) {
    for (uint16_t i = 0; i < COUNT; ++i) values[i] = next_random(&seed);
    quicksort(values, 0, COUNT - 1);
    for (uint16_t i = 1; i < COUNT; ++i) {
      if (values[i - 1] > values[i]) finish(0xBAD00000ul + i);
    }
    check = check * 31 + values[COUNT / 2];
  }
  finish(check);
}
