/* Writes numbered records of 32 bytes to records.bin, one block write service each, and counts
 * the writes that completed at 0x4000 (the count follows each write). The first byte of mode.txt
 * says how the run ends: 'f' never (it pumps messages, so that a close request or a signal ends
 * it), 'x' closing its window after 200 records, 'h' a fault after 200 records, 'q' when a write
 * fails (the quota), after which it writes over the first record and starts another file.
 * 0x4004: the failed write's status, 0x4005: the overwrite's, 0x4006: the other file's. */
#include <string.h>

#include "velmora.h"

static char record[32];

static uint8_t write_record(uint32_t number) {
  memset(record, '.', sizeof record);
  record[0] = 'R';
  for (int8_t i = 8; i >= 1; --i) {
    record[i] = (char)('0' + number % 10);
    number /= 10;
  }
  record[30] = '\r';
  record[31] = '\n';
  return vm_file_write_block(1, record, sizeof record);
}

int main(void) {
  volatile uint32_t* count = (volatile uint32_t*)0x4000;
  volatile uint8_t* status = (volatile uint8_t*)0x4004;
  *count = 0;
  status[0] = status[1] = status[2] = 0xEE;
  char mode = 'f';
  if (vm_file_open(2, VM_OPEN_READ, "mode.txt") == 0) mode = (char)vm_file_read_byte(2);
  vm_file_close(2);
  vm_file_open(1, VM_OPEN_WRITE_ALWAYS, "records.bin");
  for (;;) {
    const uint8_t written = write_record(*count);
    if (written != 0) {
      status[0] = written;
      if (mode == 'q') break;
      /* The window was closed under it (its files with it): the quit message comes next. */
      for (;;) vm_wdr();
    }
    *count = *count + 1;
    if (mode == 'f') vm_wdr();
    if (*count == 200 && mode == 'x') vm_exit();
    if (*count == 200 && mode == 'h') vm_halt();
  }
  vm_file_seek_start(1);
  status[1] = write_record(0);
  status[2] = vm_file_open(3, VM_OPEN_WRITE_ALWAYS, "more.bin");
  if (status[2] == 0) status[2] = vm_file_write_byte(3, 1);
  vm_halt();
}
