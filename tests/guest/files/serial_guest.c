/* Talks to port COM3 (a pseudo-terminal the driver holds): receives "hello", answers "HELLO!",
 * and records every check at 0x4000 as the file guest does. */
#include <string.h>

#include "velmora.h"

#define RESULTS 0x4000
#define RESULT_CHECKS (*(volatile uint16_t*)RESULTS)
#define RESULT_FAILURES (*(volatile uint16_t*)(RESULTS + 2))
#define MAX_FAILURES 50

static void check(uint16_t line, uint32_t got, uint32_t want) {
  RESULT_CHECKS++;
  if (got == want) return;
  uint16_t n = RESULT_FAILURES++;
  if (n >= MAX_FAILURES) return;
  volatile uint8_t* record = (volatile uint8_t*)(RESULTS + 4 + 10 * n);
  *(volatile uint16_t*)record = line;
  *(volatile uint32_t*)(record + 2) = got;
  *(volatile uint32_t*)(record + 6) = want;
}
#define CHECK(got, want) check(__LINE__, (uint32_t)(got), (uint32_t)(want))
#define CHECK_STATUS(want) CHECK(VM_STATUS, want)

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
