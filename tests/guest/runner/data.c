/* Initialised data copied from program memory by the C start-up, a string read from program
 * memory with LPM, and a small computation: the loader must have put every byte in its place.
 * Results at 0x180: ten primes, then at 0x1A0 the copied strings, then the machine stops. */
#include <avr/pgmspace.h>
#include <stdint.h>

#include "velmora_gate.h"

static char greeting[] = "Velmora runner";
static const char motto[] PROGMEM = "from flash";

int main(void) {
  volatile uint8_t* primes = (volatile uint8_t*)0x180;
  uint8_t found = 0;
  for (uint8_t n = 2; found < 10; ++n) {
    uint8_t prime = 1;
    for (uint8_t d = 2; d * d <= n; ++d) {
      if (n % d == 0) prime = 0;
    }
    if (prime) primes[found++] = n;
  }
  volatile char* text = (volatile char*)0x1A0;
  for (uint8_t i = 0; i < sizeof greeting; ++i) *text++ = greeting[i];
  for (uint8_t i = 0; i < sizeof motto; ++i) *text++ = pgm_read_byte(&motto[i]);
  vm_halt();
}
