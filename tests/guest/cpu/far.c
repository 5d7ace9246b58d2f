/* A program larger than 128 KiB: tables and functions placed beyond the first 64 K words, read
 * with ELPM and reached with 22-bit calls, EICALL, EIJMP and three-byte returns. Results go to
 * 0x100; check_cpu.py recomputes them. */
#include <avr/pgmspace.h>
#include <stdint.h>

#include "velmora.h"

#define OUT16(offset) (*(volatile uint16_t*)(0x100 + (offset)))

/* Table byte i of table `seed`; check_cpu.py uses the same formula. */
#define V(i) (uint8_t)(((uint32_t)(i) * (i)*7u + SEED * 101u + ((i) >> 2)) & 0xFF)
#define V4(i) V(i), V(i + 1), V(i + 2), V(i + 3)
#define V16(i) V4(i), V4(i + 4), V4(i + 8), V4(i + 12)
#define V64(i) V16(i), V16(i + 16), V16(i + 32), V16(i + 48)
#define V256 V64(0), V64(64), V64(128), V64(192)

#define SEED 1
const uint8_t table1[256] __attribute__((section(".fartable1"), used)) = {V256};
#undef SEED
#define SEED 2
const uint8_t table2[256] __attribute__((section(".fartable2"), used)) = {V256};
#undef SEED
#define SEED 3
const uint8_t table3[256] __attribute__((section(".fartable3"), used)) = {V256};

uint16_t elpm_sum(uint32_t address, uint16_t count);
uint16_t eicall_far_target(uint16_t arg);
uint16_t eijmp_round_trip(uint16_t arg);
void check_return_layout(void);

__attribute__((section(".farcode2"), noinline)) uint16_t far_twist(uint16_t x) {
  return (uint16_t)((x << 3) + 0x55);
}

__attribute__((section(".farcode"), noinline)) uint16_t far_mix(uint16_t x,
                                                                uint16_t (*near)(uint16_t)) {
  return near(x) ^ far_twist(x);
}

__attribute__((noinline)) static uint16_t near_double(uint16_t x) {
  return (uint16_t)(2 * x + 1);
}

/* An order-sensitive hash: rotate left by one, then add the byte. */
static uint16_t c_hash(uint32_t address) {
  uint16_t hash = 0;
  for (uint16_t i = 0; i < 256; ++i)
    hash = (uint16_t)(((hash << 1) | (hash >> 15)) + pgm_read_byte_far(address + i));
  return hash;
}

volatile uint16_t input = 1234;
uint16_t (*volatile far_pointer)(uint16_t) = far_twist;

int main(void) {
  OUT16(0x00) = c_hash(pgm_get_far_address(table1));
  OUT16(0x02) = c_hash(pgm_get_far_address(table2));
  OUT16(0x04) = c_hash(pgm_get_far_address(table3));
  OUT16(0x06) = elpm_sum(pgm_get_far_address(table2), 256);
  OUT16(0x0A) = far_mix(input, near_double);
  OUT16(0x0C) = eicall_far_target(500);
  OUT16(0x0E) = eijmp_round_trip(77);
  OUT16(0x10) = far_pointer(input);
  check_return_layout();
  vm_halt();
}
