/* A loop of COUNT passes around one instruction, OP: nop, break (a service call to group 0,
 * which does nothing but clear the group byte) or wdr. Against the nop loop it gives the cost of
 * a service call round trip and of a host step. One service call before the loop, in every
 * variant, draws the boot report (the system font's set-up), which is no part of either cost. */
#include "velmora_gate.h"

#ifndef COUNT
#define COUNT 2000000ul
#endif

int main(void) {
  vm_call(0, 0);
  for (uint32_t i = 0; i < COUNT; ++i) {
    VM_GROUP = 0;
    __asm__ __volatile__(OP ::: "memory");
  }
  vm_halt();
}
