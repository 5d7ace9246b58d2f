/* Group 9 as a guest program sees it through the SDK: the arithmetic results (including the ones
 * chosen for a zero divisor and overflow), and which bytes the random services write. Floats
 * go in and out as bit patterns, so the compiler's own float code plays no part. checks.h
 * records every check; a failed 64-bit row shows as its index counted from 1. (What calls
 * without a service leave is event_edges.c's.) */
#include <velmora.h>

#include "../checks.h"

#define STATUS_MARK 0xA5

struct case32 {
  uint8_t function;
  uint32_t a, b, want;
};

static const struct case32 kCases32[] = {
    {1, 5, 7, 12},
    {1, 0xFFFFFFFF, 2, 1},
    {3, (uint32_t)-5, 3, (uint32_t)-2},
    {6, 3, 5, (uint32_t)-2},
    {8, 0x80000000, 1, 0x7FFFFFFF},
    {11, 0xFFFFFFFF, 0xFFFFFFFF, 1},
    {13, (uint32_t)-3, 7, (uint32_t)-21},
    {16, 0xFFFFFFF9, 2, 0x7FFFFFFC},
    {16, 7, 0, 0xFFFFFFFF},
    {18, (uint32_t)-7, 2, (uint32_t)-3},
    {18, 7, (uint32_t)-2, (uint32_t)-3},
    {18, 0x80000000, (uint32_t)-1, 0x80000000},
    {18, 12345, 0, 0xFFFFFFFF},
    {21, 7, 3, 1},
    {21, 1234, 0, 1234},
    {28, 5, 5, 5},
    {28, (uint32_t)-9, (uint32_t)-9, (uint32_t)-9},
    /* Floats as bits: 1.5 + -2.25, 0.1 + 0.2, 0.1 - 0.1, 3e38 * 10, 1 / 3, -1 / 0. */
    {5, 0x3FC00000, 0xC0100000, 0xBF400000},
    {5, 0x3DCCCCCD, 0x3E4CCCCD, 0x3E99999A},
    {10, 0x3DCCCCCD, 0x3DCCCCCD, 0x00000000},
    {15, 0x7E61D59E, 0x41200000, 0x7F800000},
    {20, 0x3F800000, 0x40400000, 0x3EAAAAAB},
    {20, 0xBF800000, 0x00000000, 0xFF800000},
    /* Float to unsigned (B unused): 3.99, -0.5, -0.99999994, -1, 2^32 - 256, 2^32, NaN. */
    {23, 0x407F5C29, 0, 3},
    {23, 0xBF000000, 0, 0},
    {23, 0xBF7FFFFF, 0, 0},
    {23, 0xBF800000, 0, 0xFFFFFFFF},
    {23, 0x4F7FFFFF, 0, 0xFFFFFF00},
    {23, 0x4F800000, 0, 0xFFFFFFFF},
    {23, 0x7FC00000, 0, 0xFFFFFFFF},
    /* Beyond the table: nothing changes. */
    {29, 0x12345678, 1, 0x12345678},
    {0, 0x12345678, 1, 0x12345678},
};

struct case64 {
  uint8_t function;
  uint64_t a, b, want;
};

static const struct case64 kCases64[] = {
    {2, 0x00000000FFFFFFFFull, 1, 0x0000000100000000ull},
    {4, (uint64_t)-1, (uint64_t)-1, (uint64_t)-2},
    {7, 0x0000000100000000ull, 1, 0x00000000FFFFFFFFull},
    {9, 0, 1, (uint64_t)-1},
    {12, 0x123456789ull, 0x1000, 0x123456789000ull},
    {14, (uint64_t)-3, 5, (uint64_t)-15},
    {17, (uint64_t)-1, 3, 0x5555555555555555ull},
    {17, 99, 0, (uint64_t)-1},
    {19, (uint64_t)-7, 2, (uint64_t)-3},
    {19, 0x8000000000000000ull, (uint64_t)-1, 0x8000000000000000ull},
    {19, 5, 0, (uint64_t)-1},
    {22, 0x123456789ABCDEF0ull, 0x1000, 0xEF0},
    {22, 77, 0, 77},
};

#define COUNT(table) (sizeof(table) / sizeof(table[0]))

static void fill_arguments(void) {
  for (uint8_t i = 0; i < 16; ++i) VM_ARG8(i) = 0xEE;
}

int main(void) {
  VM_STATUS = STATUS_MARK;

  for (uint8_t i = 0; i < COUNT(kCases32); ++i) {
    const struct case32* c = &kCases32[i];
    CHECK(vm_op32(c->function, c->a, c->b), c->want);
    CHECK(VM_ARG32(4), c->b);
  }
  for (uint8_t i = 0; i < COUNT(kCases64); ++i) {
    const struct case64* c = &kCases64[i];
    CHECK(vm_op64(c->function, c->a, c->b) == c->want && VM_ARG64(8) == c->b ? 0 : i + 1, 0);
  }

  /* Random results have their own width. */
  fill_arguments();
  vm_random8();
  CHECK(VM_ARG8(1) == 0xEE, 1);
  fill_arguments();
  vm_random16();
  CHECK(VM_ARG8(2) == 0xEE, 1);
  uint16_t seen = 0;
  for (uint8_t i = 0; i < 200; ++i) {
    const int32_t between = vm_random_between(10, 1);
    CHECK(between >= 1 && between <= 10, 1);
    if (between >= 1 && between <= 10) seen |= 1u << between;
    const int32_t around = vm_random_between(3, -3);
    CHECK(around >= -3 && around <= 3, 1);
    const int32_t low = vm_random_between(INT32_MIN + 2, INT32_MIN); /* no overflow */
    CHECK(low <= INT32_MIN + 2, 1);
    vm_random_unit();
    const uint32_t unit = VM_ARG32(0);
    CHECK(unit <= 0x3F800000, 1); /* 0.0 to 1.0: non-negative floats order as their bits */
  }
  CHECK(seen == 0x7FE, 1); /* every value from 1 to 10 came up */

  /* None of these services writes the status byte. */
  CHECK(VM_STATUS == STATUS_MARK, 1);
  vm_exit();
}
