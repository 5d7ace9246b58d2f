/* A program that declares its fuses, lock bits and signature, as programs for a real chip do:
 * avr-gcc puts them in sections of their own far above program memory, which the by-hand build
 * in the READMEs must leave out of the HEX file. Leaves "FUSE" at 0x200. */
#include <avr/io.h>
#include <avr/signature.h>

#include "velmora.h"

FUSES = {.low = 0xFF, .high = 0x99, .extended = 0xFD};
LOCKBITS = 0xFF;

int main(void) {
  *(volatile uint32_t*)0x200 = 0x45535546UL; /* "FUSE" */
  vm_halt();
  return 0;
}
