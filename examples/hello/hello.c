/* Hello, Velmora: the first guest program to run.
 *
 * It finds the first 20 prime numbers, adds them up with the host's arithmetic service
 * (group 9, function 1: the 32-bit value at 0x60 += the one at 0x64), shows a greeting and the
 * sum on the screen, leaves everything in RAM and ends by closing its window. Run it headless
 * with a screenshot to see the screen:
 *
 *   velmora-run --screenshot hello.png build/examples/hello/hello.hex
 *
 * and look at the results in memory:
 *
 *   velmora-run --dump-state build/examples/hello/hello.hex
 *     r2..r5   the sum of the primes, low byte first (639 = 7F 02 00 00)
 *
 *   velmora-run --dump-state --dump-memory 0x100:48 build/examples/hello/hello.hex
 *     0x100    the 20 primes, one byte each (02 03 05 07 0B ...)
 *     0x114    their sum, 32 bits little-endian
 *     0x118    a greeting, zero-terminated
 */
#include "velmora.h"

#define PRIME_COUNT 20

volatile uint8_t* const primes = (volatile uint8_t*)0x100;
volatile uint32_t* const sum = (volatile uint32_t*)0x114;
volatile char* const greeting = (volatile char*)0x118;

int main(void) {
  uint8_t found = 0;
  for (uint8_t n = 2; found < PRIME_COUNT; ++n) {
    uint8_t prime = 1;
    for (uint8_t i = 0; i < found && primes[i] * primes[i] <= n; ++i) {
      if (n % primes[i] == 0) prime = 0;
    }
    if (prime) primes[found++] = n;
  }

  uint32_t total = 0;
  for (uint8_t i = 0; i < PRIME_COUNT; ++i) total = vm_add32(total, primes[i]);
  *sum = total;

  const char* text = "Hello, Velmora!";
  for (uint8_t i = 0; text[i] != 0; ++i) greeting[i] = text[i];
  greeting[15] = 0;

  /* The screen still shows the boot report: clear it, then write in the system font. */
  vm_set_background_rgb(16, 24, 48);
  vm_clear();
  vm_set_text_rgb(255, 255, 255);
  vm_draw_text(8, 8, text);
  char line[32] = "20 primes add up to ";
  vm_str_append_u32(line, 0, total);
  vm_draw_text(8, 32, line);
  vm_repaint();

  /* Closing the window ends the run at the next WDR: velmora-run exits with status 0. The sum
   * stays in r2..r5 as well, where --dump-state shows it. */
  register uint32_t shown asm("r2") = total;
  vm_destroy_window();
  for (;;) __asm__ __volatile__("wdr" ::"r"(shown) : "memory");
}
