/* Records where it runs, then pumps until something from outside ends the run. RAM 0x300: the
 * current directory; 0x500: the program path; 0x1F0: their statuses, then 0xA5. */
#include "velmora.h"

int main(void) {
  volatile uint8_t* status = (volatile uint8_t*)0x1F0;
  status[0] = vm_current_dir((char*)0x300, 0x200);
  status[1] = vm_program_path((char*)0x500, 0x200);
  status[2] = 0xA5;
  for (;;) vm_wdr();
}
