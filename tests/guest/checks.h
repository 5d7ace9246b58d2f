/* CHECK(got, want) for guest test programs: records at 0x4000 the number of checks, the number of
 * failures, and per failure the source line (word), got and want (dwords), for the driver's
 * velmora_test.report_checks. The counts start at zero before main. */
#ifndef VELMORA_TEST_CHECKS_H
#define VELMORA_TEST_CHECKS_H

#include <stdint.h>

#define CHECK_RECORD 0x4000
#define CHECK_COUNT (*(volatile uint16_t*)CHECK_RECORD)
#define CHECK_FAILURES (*(volatile uint16_t*)(CHECK_RECORD + 2))

__attribute__((constructor)) static void checks_start(void) {
  CHECK_COUNT = 0;
  CHECK_FAILURES = 0;
}

static void check(uint16_t line, uint32_t got, uint32_t want) {
  CHECK_COUNT++;
  if (got == want) return;
  uint16_t n = CHECK_FAILURES++;
  if (n >= 200) return;
  volatile uint8_t* record = (volatile uint8_t*)(CHECK_RECORD + 4 + 10 * n);
  *(volatile uint16_t*)record = line;
  *(volatile uint32_t*)(record + 2) = got;
  *(volatile uint32_t*)(record + 6) = want;
}
#define CHECK(got, want) check(__LINE__, (uint32_t)(got), (uint32_t)(want))
#define CHECK_STATUS(want) CHECK(VM_STATUS, want)

#endif
