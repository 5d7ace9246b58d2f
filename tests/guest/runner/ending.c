/* Writes a file it never closes, records where it runs, then ends the way ENDING says:
 * 1 a fault, 2 closing its window (the quit message), 3 never (for the limit, the timeout and
 * a close request from outside).
 * Whatever ended the run, the host must have closed the file with everything written in it.
 * RAM 0x300: the current directory; 0x500: the program path; 0x1F0: status bytes. */
#include "velmora.h"

#ifndef ENDING
#error "build with -DENDING=1, 2 or 3"
#endif

int main(void) {
  volatile uint8_t* status = (volatile uint8_t*)0x1F0;
  status[0] = vm_file_open(7, VM_OPEN_WRITE_ALWAYS, "ending.txt");
  status[1] = (uint8_t)vm_file_write_line(7, "written before the end");
  status[2] = vm_current_dir((char*)0x300, 0x200);
  status[3] = vm_program_path((char*)0x500, 0x200);
  status[4] = 0xA5;
#if ENDING == 1
  vm_halt();
#elif ENDING == 2
  vm_exit();
#else
  for (;;) vm_wdr();
#endif
}
