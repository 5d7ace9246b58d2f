/* Tries every path of paths.txt (one a line, in the folder the program starts in) with each file
 * and directory service and writes a line per path to results.txt: the path, the statuses of
 * exists, open, create, make directory, change directory, rename onto it, rename away from it,
 * delete and remove directory, and the first line an open could read. Before them, lines that
 * say what the path services, the ports and a launch answer. The driver runs it in a sandbox and
 * checks the answers and that nothing outside the sandbox changed. */
#include <stdlib.h>
#include <string.h>

#include "velmora.h"

static char path[300];
static char start[300];
static char value[300];
static char line[700];
static char content[64];

static void append_number(uint16_t number) {
  char digits[8];
  strcat(line, utoa(number, digits, 10));
}

/* "label=value status" */
static void report(const char* label, uint8_t status) {
  strcpy(line, label);
  strcat(line, "=");
  strcat(line, value);
  strcat(line, " ");
  append_number(status);
  vm_file_write_line(2, line);
}

static void path_services(void) {
  report("cwd", vm_current_dir(value, sizeof value));
  report("temp", vm_temp_dir(value, sizeof value));
  report("program", vm_program_path(value, sizeof value));
  report("programdir", vm_program_dir(value, sizeof value));
  report("exedir", vm_executable_dir(value, sizeof value));
  value[0] = 0;
  report("any_txt", vm_file_exists("*.txt"));
}

/* The command of command.txt, which would leave a file beside the sandbox. */
static void launch(void) {
  static char command[200];
  vm_file_open(5, VM_OPEN_READ, "\\command.txt");
  vm_file_read_line(5, command, sizeof command);
  vm_file_close(5);
  value[0] = 0;
  report("launch", vm_run_command(command));
}

/* Port 1 is a host device, port 2 the loopback stand-in. */
static void ports(void) {
  value[0] = 0;
  report("open1", vm_serial_open(1));
  report("present1", vm_serial_present(1));
  report("open2", vm_serial_open(2));
  vm_serial_write(2, "ab", 2);
  memset(value, 0, 3);
  vm_serial_read(2, value, 2);
  report("loop2", VM_STATUS);
  vm_serial_close(2);
}

static void probe(void) {
  uint8_t status[9];
  content[0] = 0;
  status[0] = vm_file_exists(path);
  status[1] = vm_file_open(3, VM_OPEN_READ_WRITE, path);
  if (status[1] == 0) {
    vm_file_read_line(3, content, sizeof content);
    vm_file_seek_end(3);
    vm_file_write_text(3, "probe");
    vm_file_close(3);
  }
  status[2] = vm_file_open(3, VM_OPEN_READ_WRITE_ALWAYS, path);
  if (status[2] == 0) {
    vm_file_write_text(3, "created");
    vm_file_close(3);
  }
  status[3] = vm_dir_create(path);
  status[4] = vm_set_current_dir(path);
  if (status[4] == 0) vm_set_current_dir(start);
  vm_file_open(4, VM_OPEN_WRITE_ALWAYS, "victim.txt");
  vm_file_close(4);
  status[5] = vm_file_rename("victim.txt", path);
  if (status[5] == 0) vm_file_rename(path, "victim.txt");
  status[6] = vm_file_rename(path, "moved.txt");
  if (status[6] == 0) vm_file_rename("moved.txt", path);
  status[7] = vm_file_delete(path);
  status[8] = vm_dir_remove(path);

  strcpy(line, path);
  strcat(line, "|");
  for (uint8_t i = 0; i < 9; ++i) {
    if (i) strcat(line, " ");
    append_number(status[i]);
  }
  strcat(line, "|");
  strcat(line, content);
  vm_file_write_line(2, line);
}

int main(void) {
  vm_current_dir(start, sizeof start);
  vm_file_open(1, VM_OPEN_READ, "paths.txt");
  vm_file_open(2, VM_OPEN_WRITE_ALWAYS, "results.txt");
  path_services();
  ports();
  launch();
  for (;;) {
    uint16_t length = vm_file_read_line(1, path, sizeof path);
    if (VM_STATUS == VM_FILE_EOF && length == 0) break;
    probe();
  }
  vm_file_close(2);
  vm_halt();
}
