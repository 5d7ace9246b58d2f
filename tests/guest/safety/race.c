/* Creates a file and a folder in swap, and deletes them, again and again while the driver swaps
 * the folder swap for a link that leads out of the sandbox. Counts the rounds at 0x4000 and the
 * creations that succeeded at 0x4002 and 0x4004. */
#include "velmora.h"

int main(void) {
  volatile uint16_t* counts = (volatile uint16_t*)0x4000;
  counts[0] = counts[1] = counts[2] = 0;
  for (uint16_t round = 0; round < 4000; ++round) {
    if (vm_file_open(1, VM_OPEN_WRITE_ALWAYS, "swap\\f.txt") == 0) {
      vm_file_write_text(1, "x");
      vm_file_close(1);
      counts[1]++;
    }
    if (vm_dir_create("swap\\d") == 0) counts[2]++;
    vm_dir_remove("swap\\d");
    vm_file_delete("swap\\f.txt");
    counts[0]++;
  }
  vm_halt();
}
