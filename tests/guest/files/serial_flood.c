/* Writes to COM3 for ever, in blocks larger than any pseudo-terminal holds: with nobody reading,
 * each write waits until Ctrl-C ends it. */
#include "velmora.h"

int main(void) {
  vm_serial_open(3);
  for (;;) vm_serial_write(3, (const void*)0x1000, 30000);
}
