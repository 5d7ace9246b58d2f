/* Records every check at 0x4000 for the driver (checks.py): word checks, word failures, then per
 * failure: word source line, dword got, dword want. */
#ifndef FILES_CHECKS_H
#define FILES_CHECKS_H

#include <stdint.h>

#define RESULTS 0x4000
#define RESULT_CHECKS (*(volatile uint16_t*)RESULTS)
#define RESULT_FAILURES (*(volatile uint16_t*)(RESULTS + 2))
#define MAX_FAILURES 200

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

#endif
