/* A program to debug, built with -g -gdwarf-4 -Og: check_debugger.py steers avr-gdb through it.
 *
 * weigh() adds up count multiples of `scale` with the host's arithmetic service; main draws
 * the results as bars, writes them to debuggee.bin beside the program, then reads beyond the
 * data space (fault 6). far_outer() and far_inner() lie beyond 128 KiB (.farcode at 0x30100), so
 * their addresses and return addresses need all 22 bits. While the byte at HOLD reads 0x5A it first
 * spins, pumping messages, so that a debugger has a running guest to interrupt. */
#include "velmora.h"

#define HOLD (*(volatile uint8_t*)0x180)

volatile uint16_t progress; /* watched: the term weigh() last added */
uint16_t scale = 30;        /* set from the debugger to change the results */
uint32_t results[4];

__attribute__((noinline)) uint32_t weigh(uint16_t count) {
  uint32_t total = 0;
  for (uint16_t i = 1; i <= count; ++i) {
    const uint32_t term = (uint32_t)i * scale;
    total = vm_add32(total, term); /* service line */
    progress = i;
  }
  return total;
}

__attribute__((noinline)) void draw_bars(void) {
  vm_set_fill_rgb(0, 0, 0);
  vm_filled_rect(0, 0, 239, 119);
  for (uint8_t i = 0; i < 4; ++i) {
    vm_set_fill_rgb(60 * i, 255 - 60 * i, 128);
    vm_filled_rect(10 + 50 * i, 110 - (int16_t)(results[i] / 5), 50 + 50 * i, 110);
  }
  vm_repaint();
}

__attribute__((section(".farcode"), noinline)) uint16_t far_inner(uint16_t x) {
  return (uint16_t)(x * 5 + 1);
}

__attribute__((section(".farcode"), noinline)) uint16_t far_outer(uint16_t x) {
  return (uint16_t)(far_inner(x) + 7);
}

int main(void) {
  for (uint8_t i = 0; i < 4; ++i) results[i] = weigh(i + 2);
  results[3] += far_outer(4); /* 28 */
  draw_bars();
  vm_file_open(1, VM_OPEN_WRITE_ALWAYS, "debuggee.bin");
  vm_file_write_block(1, results, sizeof results);
  vm_file_close(1);
  while (HOLD == 0x5A) vm_wdr();
  /* LDD from 0xFFF0 + 63: beyond the data space. */
  __asm__ __volatile__("ldi r28, 0xF0\n\tldi r29, 0xFF\n\tldd r24, Y+63" ::
                           : "r24", "r28", "r29", "memory");
  vm_halt();
}
