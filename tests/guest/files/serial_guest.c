/* Talks to port COM3 (a pseudo-terminal the driver holds): receives eight bytes of every kind,
 * sends them back reversed with a '!' after them (checks.h records every check). */
#include <string.h>

#include "../checks.h"
#include "velmora.h"

static uint8_t received[12];

int main(void) {
  CHECK(vm_serial_open(0), 1);
  CHECK(vm_serial_open(4), 1); /* no such device */
  CHECK(vm_serial_present(4), 0);
  CHECK(vm_serial_present(3), 1);
  CHECK(vm_serial_open(3), 0);
  CHECK(vm_serial_present(3), 0); /* held open here */
  CHECK_STATUS(0);
  CHECK(vm_serial_configure(3, 9600, 8, 0, 1), 0);
  CHECK(vm_serial_timeouts(3, 5), 0);

  /* The driver sent the bytes before the run; wait until they are all there. */
  uint16_t waited = 0;
  while (vm_serial_input_count(3) < 8 && waited++ < 2000) vm_yield();
  CHECK(vm_serial_input_count(3), 8);
  CHECK(vm_serial_read(3, received, 3), 3);
  received[3] = vm_serial_read_byte(3);
  CHECK(vm_serial_read(3, received + 4, sizeof received - 4), 4);
  CHECK(memcmp(received, "he\0\xFF\r\n\x03\x7F", 8), 0);
  CHECK(vm_serial_read_byte(3), 0);
  CHECK_STATUS(VM_SERIAL_NOTHING);

  for (uint8_t i = 0; i < 4; ++i) {
    const uint8_t swap = received[i];
    received[i] = received[7 - i];
    received[7 - i] = swap;
  }
  CHECK(vm_serial_write(3, received, 8), 0);
  CHECK(vm_serial_write_byte(3, '!'), 0);
  CHECK(vm_serial_write(3, "", 0), 0);
  CHECK(vm_serial_open(3), 0); /* reopening closes first */
  CHECK(vm_serial_close(3), 0);
  CHECK(vm_serial_close(3), 1);
  CHECK(vm_serial_present(3), 1);
  /* Left open for the host to close at the end of the run. */
  CHECK(vm_serial_open(3), 0);
  vm_halt();
  return 0;
}
