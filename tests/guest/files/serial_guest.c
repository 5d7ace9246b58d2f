/* Talks to port COM3 (a pseudo-terminal the driver holds): receives "hello", answers "HELLO!",
 * recording every check (checks.h). */
#include <string.h>

#include "checks.h"
#include "velmora.h"

static char received[8];

int main(void) {
  RESULT_CHECKS = 0;
  RESULT_FAILURES = 0;
  CHECK(vm_serial_open(0), 1);
  CHECK(vm_serial_open(4), 1); /* no such device */
  CHECK(vm_serial_present(4), 0);
  CHECK(vm_serial_present(3), 1);
  CHECK(vm_serial_open(3), 0);
  CHECK(vm_serial_present(3), 0); /* held open here */
  CHECK_STATUS(0);
  CHECK(vm_serial_configure(3, 9600, 8, 0, 1), 0);
  CHECK(vm_serial_configure(3, 9600, 9, 0, 1), 3);
  CHECK(vm_serial_timeouts(3, 5), 0);

  /* The driver sent "hello" before the run; wait until it is all there. */
  uint16_t waited = 0;
  while (vm_serial_input_count(3) < 5 && waited++ < 2000) vm_yield();
  CHECK(vm_serial_input_count(3), 5);
  CHECK(vm_serial_read(3, received, 3), 3);
  CHECK(memcmp(received, "hel", 3), 0);
  CHECK(vm_serial_read_byte(3), 'l');
  CHECK(vm_serial_read(3, received, sizeof received), 1);
  CHECK(received[0], 'o');
  CHECK(vm_serial_read_byte(3), 0);
  CHECK_STATUS(VM_SERIAL_NOTHING);

  CHECK(vm_serial_write(3, "HELLO", 5), 0);
  CHECK(vm_serial_write_byte(3, '!'), 0);
  CHECK(vm_serial_write(3, (void*)0xFFF0, 0x0F), 2);
  CHECK(vm_serial_write(3, "", 0), 0);
  CHECK(vm_serial_open(3), 0); /* reopening closes first */
  CHECK(vm_serial_close(3), 0);
  CHECK(vm_serial_close(3), 1);
  CHECK(vm_serial_read_byte(3), 0);
  CHECK_STATUS(1);
  CHECK(vm_serial_present(3), 1);
  /* Left open for the host to close at the end of the run. */
  CHECK(vm_serial_open(3), 0);
  vm_halt();
  return 0;
}
