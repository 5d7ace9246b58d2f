/* A C program the compiler turns into the whole instruction mix: 32- and 64-bit arithmetic
 * through the library routines, soft floating point, recursion, calls through function pointers,
 * a table lookup and a sort. Results go to 0x100; check_cpu.py recomputes every one. The
 * differential test against simavr runs it too, in lockstep. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "velmora.h"

struct Results {
  uint32_t crc;       /* 0x100 */
  uint64_t product;   /* 0x104 */
  uint64_t quotient;  /* 0x10C */
  int32_t remainder;  /* 0x114 */
  float ratio;        /* 0x118 */
  uint16_t fib;       /* 0x11C */
  uint8_t sorted[16]; /* 0x11E */
  uint16_t switched;  /* 0x12E */
  int16_t sdiv;       /* 0x130 */
  uint16_t calls;     /* 0x132 */
};
#ifndef RESULTS_ADDRESS
#define RESULTS_ADDRESS 0x100 /* the differential test moves them into simavr's RAM */
#endif
#define OUT ((struct Results*)RESULTS_ADDRESS)

static const char kText[] = "The quick brown fox jumps over the lazy dog";
volatile uint64_t big_a = 0x12345678ABCDull, big_b = 0x9876, dividend = 0xFEDCBA9876543210ull;
volatile int32_t negative = -1234567;
volatile float num = 10.0f, den = 4.0f;
volatile uint8_t depth = 20;
volatile int16_t small = -30000;

static uint32_t crc32(const char* s, size_t n) {
  uint32_t crc = 0xFFFFFFFFul;
  while (n--) {
    crc ^= (uint8_t)*s++;
    for (uint8_t bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & -(crc & 1));
  }
  return ~crc;
}

static uint16_t fib(uint8_t n) {
  return n < 2 ? n : fib(n - 1) + fib(n - 2);
}

static int compare(const void* a, const void* b) {
  return (int)*(const uint8_t*)a - (int)*(const uint8_t*)b;
}

static const uint16_t kPicks[10] = {11, 203, 37, 4111, 5, 619, 77, 8080, 9, 1000};
static uint16_t pick(uint8_t k) {
  return k < 10 ? kPicks[k] : 1;
}

static uint16_t twice(uint16_t x) {
  return 2 * x;
}
static uint16_t thrice(uint16_t x) {
  return 3 * x;
}
static uint16_t (*const volatile ops[2])(uint16_t) = {twice, thrice};

int main(void) {
  OUT->crc = crc32(kText, strlen(kText));
  OUT->product = big_a * big_b;
  OUT->quotient = dividend / 12345u;
  OUT->remainder = negative % 1000;
  OUT->ratio = num / den + 0.25f;
  OUT->fib = fib(depth);
  uint8_t data[16];
  for (uint8_t i = 0; i < 16; ++i) data[i] = (uint8_t)(i * 97 + 13);
  qsort(data, 16, 1, compare);
  memcpy(OUT->sorted, data, 16);
  uint16_t sum = 0;
  for (uint8_t k = 0; k < 12; ++k) sum += pick(k + (depth & 0));
  OUT->switched = sum;
  OUT->sdiv = small / 7;
  OUT->calls = ops[1](ops[0](7));
  vm_halt();
}
