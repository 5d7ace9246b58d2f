/* Eight 16-bit draws from the host's random source at 0x180, then a stop: with the same
 * --seed two runs must see the same numbers. */
#include "velmora.h"

int main(void) {
  volatile uint16_t* draws = (volatile uint16_t*)0x180;
  for (uint8_t i = 0; i < 8; ++i) draws[i] = vm_random16();
  vm_halt();
}
