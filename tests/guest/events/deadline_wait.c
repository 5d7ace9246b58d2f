/* Waits 100 ms for the tick count without WDR or yield, the way a simple delay loop does, then
 * ends cleanly. Logged for --dump-memory:
 *
 *   0x2000 u32 polls of the deadline (7.13) until it answered "reached"
 *   0x2004 u8  that answer (1: the tick count equals the deadline)
 *   0x2005 u8  the answer after one more yield (2: past the deadline)
 *   0x2008 u32 tick count at the start
 *   0x200C u32 tick count after the wait */
#include <velmora.h>

#define POLLS (*(volatile uint32_t*)0x2000)
#define ANSWER (*(volatile uint8_t*)0x2004)
#define LATER (*(volatile uint8_t*)0x2005)
#define START (*(volatile uint32_t*)0x2008)
#define END (*(volatile uint32_t*)0x200C)

int main(void) {
  uint32_t deadline;
  START = vm_ticks();
  vm_set_deadline(&deadline, 100);
  uint32_t polls = 0;
  uint8_t answer;
  do {
    answer = vm_compare_deadline(&deadline);
    ++polls;
  } while (answer == 0);
  POLLS = polls;
  ANSWER = answer;
  END = vm_ticks();
  vm_yield();
  LATER = vm_compare_deadline(&deadline);
  vm_exit();
}
