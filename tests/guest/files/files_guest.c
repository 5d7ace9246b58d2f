/* Works through the file and directory services in the current directory (a fresh scratch
 * directory made by the driver), recording every check (checks.h). Ends with a file still open
 * in slot 200, which the host must close with its data on disk. */
#include <string.h>

#include "../checks.h"
#include "velmora.h"

static char line[32];
static char path[256];
static char start_dir[256];

static void open_modes(void) {
  /* Missing files: modes 3-5 fail and leave the slot closed, 0-2 create. */
  for (uint8_t mode = 3; mode <= 5; ++mode) {
    CHECK(vm_file_open(7, mode, "missing.bin"), 1);
    CHECK(vm_file_close(7), 1);
  }
  CHECK(vm_file_exists("missing.bin"), 0);
  CHECK(vm_file_open(7, VM_OPEN_READ_ALWAYS, "created0.bin"), 0);
  CHECK(vm_file_size(7), 0);
  CHECK_STATUS(0);
  CHECK(vm_file_open(6, VM_OPEN_WRITE_ALWAYS, "created1.bin"), 0);
  CHECK(vm_file_open(5, VM_OPEN_READ_WRITE_ALWAYS, "created2.bin"), 0);
  CHECK(vm_file_open(4, 6, "mode6.bin"), 1);
  CHECK(vm_file_exists("mode6.bin"), 0);
  CHECK(vm_file_exists("created?.bin"), 1);

  /* A read-only file refuses writes, a write-only file refuses reads. */
  CHECK(vm_file_write_byte(7, 1), 8);
  CHECK(vm_file_read_byte(6), 0);
  CHECK_STATUS(7);

  /* No sharing: a file open in one slot cannot be opened in another. */
  CHECK(vm_file_open(9, VM_OPEN_READ, "created1.bin"), 1);
  /* Reopening a slot closes its file first, which frees it for another slot. */
  CHECK(vm_file_open(6, VM_OPEN_READ_ALWAYS, "created0.bin"), 1); /* held by slot 7 */
  CHECK(vm_file_close(6), 1);                                     /* failed open: closed */
  CHECK(vm_file_open(7, VM_OPEN_READ, "created2.bin"), 1);        /* held by slot 5 */
  CHECK(vm_file_open(9, VM_OPEN_READ, "created0.bin"), 0);        /* slot 7 let it go */
  for (uint8_t slot = 4; slot <= 9; ++slot) vm_file_close(slot);
}

static void values(void) {
  CHECK(vm_file_open(1, VM_OPEN_READ_WRITE_ALWAYS, "values.bin"), 0);
  CHECK(vm_file_write_word(1, 0x1234), 0);
  CHECK(vm_file_write_dword(1, 0x89ABCDEFul), 0);
  CHECK(vm_file_write_qword(1, 0x0706050403020100ull), 0);
  CHECK(vm_file_write_byte(1, 0x5A), 0);
  CHECK(vm_file_size(1), 15);
  CHECK(vm_file_seek_start(1), 0);
  CHECK(vm_file_read_byte(1), 0x34); /* low byte first */
  CHECK(vm_file_read_byte(1), 0x12);
  CHECK(vm_file_read_dword(1), 0x89ABCDEFul);
  VM_ARG32(4) = 0xFFFFFFFFul;
  uint64_t q = vm_file_read_qword(1); /* four bytes only, upper half cleared */
  CHECK((uint32_t)q, 0x03020100ul);
  CHECK((uint32_t)(q >> 32), 0);
  CHECK(vm_file_read_word(1), 0x0504);
  CHECK(vm_file_seek(1, 14), 0);
  CHECK(vm_file_read_word(1), 0); /* one byte left */
  CHECK_STATUS(VM_FILE_EOF);
  CHECK(vm_file_read_byte(1), 0); /* and it was consumed */
  CHECK_STATUS(VM_FILE_EOF);
  CHECK(vm_file_seek(1, -1), 5);
  CHECK(vm_file_seek_end(1), 0);
  CHECK(vm_file_read_dword(1), 0);
  CHECK_STATUS(VM_FILE_EOF);
  CHECK(vm_file_flush(1), 0);

  /* Blocks: count first for 57 and 58, buffer first for 99. */
  static uint8_t block[8];
  CHECK(vm_file_seek(1, 9), 0);
  CHECK(vm_file_read_block(1, block, 4), 0);
  CHECK(block[0] == 3 && block[3] == 6, 1);
  CHECK(vm_file_read_buffer(1, block, 8), VM_FILE_EOF); /* only two bytes left */
  CHECK(block[0] == 7 && block[1] == 0x5A, 1);
  CHECK(vm_file_write_block(1, block, 0), 0);
  CHECK(vm_file_size(1), 15);
  CHECK(vm_file_close(1), 0);
}

static void lines(void) {
  CHECK(vm_file_open(2, VM_OPEN_READ_WRITE_ALWAYS, "lines.txt"), 0);
  CHECK(vm_file_write_text(2, ""), 0);
  CHECK_STATUS(0);
  CHECK(vm_file_write_text(2, "A\r\nB"), 4);
  CHECK(vm_file_seek_start(2), 0);
  CHECK(vm_file_read_line(2, line, sizeof line), 1);
  CHECK_STATUS(0);
  CHECK(strcmp(line, "A"), 0);
  CHECK(vm_file_read_line(2, line, sizeof line), 1);
  CHECK_STATUS(VM_FILE_EOF); /* last line without a line end */
  CHECK(strcmp(line, "B"), 0);
  CHECK(vm_file_read_line(2, line, sizeof line), 0);
  CHECK_STATUS(VM_FILE_EOF);
  CHECK(line[0], 0);

  /* A line longer than the buffer comes in unterminated pieces. */
  CHECK(vm_file_seek_end(2), 0);
  CHECK(vm_file_write_line(2, "ABCDEF"), 6);
  CHECK(vm_file_write_line(2, ""), 0);
  CHECK(vm_file_write_line(2, "G"), 1);
  CHECK(vm_file_size(2), 4 + 8 + 2 + 3);
  CHECK(vm_file_seek(2, 4), 0);
  memset(line, '#', sizeof line);
  CHECK(vm_file_read_line(2, line, 4), 0);
  CHECK_STATUS(0);
  CHECK(memcmp(line, "ABC#", 4), 0);
  CHECK(vm_file_read_line(2, line, 4), 0);
  CHECK(memcmp(line, "DEF#", 4), 0);
  CHECK(vm_file_read_line(2, line, 4), 0); /* the CR LF alone ends the line */
  CHECK(line[0], 0);
  CHECK(vm_file_read_line(2, line, sizeof line), 0); /* the empty line */
  CHECK_STATUS(0);
  CHECK(vm_file_read_line(2, line, sizeof line), 1);
  CHECK(strcmp(line, "G"), 0);
  CHECK_STATUS(0);
  CHECK(vm_file_seek_start(2), 0);
  CHECK(vm_file_read_line(2, line, 1), 1); /* too small to read anything */
  CHECK_STATUS(0);
  CHECK(vm_file_read_byte(2), 'A');
  CHECK(vm_file_close(2), 0);
}

static void ranges(void) {
  /* The last byte a buffer may reach is 0xFFFD (every service's bound is in the unit tests). */
  CHECK(vm_file_open(3, VM_OPEN_READ_WRITE_ALWAYS, "range.bin"), 0);
  CHECK(vm_file_write_block(3, (void*)0xFFF0, 0x0F), VM_FILE_RANGE);
  CHECK(vm_file_size(3), 0);
  CHECK(vm_file_write_block(3, (void*)0xFFF0, 0x0E), 0);
  CHECK(vm_file_size(3), 0x0E);
  CHECK(vm_file_close(3), 0);

  /* No mode truncates: writing at the start of an existing file keeps the rest. */
  CHECK(vm_file_open(3, VM_OPEN_WRITE, "range.bin"), 0);
  CHECK(vm_file_write_byte(3, 'K'), 0);
  CHECK(vm_file_close(3), 0);

  /* A name without a terminator ends at the end of the data space. */
  memset((void*)0xFFF8, 'z', 8);
  CHECK(vm_file_open(3, VM_OPEN_WRITE_ALWAYS, (const char*)0xFFF8), 0);
  CHECK(vm_file_close(3), 0);
  CHECK(vm_file_exists("zzzzzzzz"), 1);
}

static void names(void) {
  CHECK(vm_file_rename("values.bin", "moved.bin"), 0);
  CHECK(vm_file_exists("values.bin"), 0);
  CHECK(vm_file_exists("moved.bin"), 1);
  CHECK(vm_file_rename("lines.txt", "moved.bin"), 4); /* never replaces */
  CHECK(vm_file_rename("nothing.bin", "other.bin"), 4);
  CHECK(vm_file_delete("moved.bin"), 0);
  CHECK(vm_file_delete("moved.bin"), 3);

  CHECK(vm_dir_create("sub"), 0);
  CHECK(vm_dir_create("sub"), 9);
  CHECK(vm_file_open(10, VM_OPEN_WRITE_ALWAYS, "sub\\in.txt"), 0);
  CHECK(vm_file_write_text(10, "in"), 2);
  CHECK(vm_file_delete("sub\\in.txt"), 3); /* still open */
  CHECK(vm_file_rename("sub\\in.txt", "sub\\out.txt"), 4);
  CHECK(vm_file_close(10), 0);
  CHECK(vm_file_exists("sub\\*.txt"), 1);
  CHECK(vm_file_exists("sub\\i?.txt"), 1);
  CHECK(vm_file_exists("sub\\*.bin"), 0);
  CHECK(vm_file_exists("*.*"), 1);
  CHECK(vm_file_exists("s*\\in.txt"), 0); /* wildcards only in the last component */
  CHECK(vm_file_open(10, VM_OPEN_WRITE_ALWAYS, "sub\\k[1].txt"), 0);
  CHECK(vm_file_close(10), 0);
  CHECK(vm_file_exists("sub\\k[1]*"), 1); /* only * and ? are wildcards */
  CHECK(vm_file_delete("sub\\k[1].txt"), 0);
  CHECK(vm_file_delete("sub"), 3);
  CHECK(vm_dir_remove("sub"), 3); /* not empty */
  CHECK(vm_file_delete("sub\\in.txt"), 0);
  CHECK(vm_dir_remove("sub"), 0);
  CHECK(vm_dir_remove("sub"), 3);
  CHECK(vm_file_exists("sub"), 0);
}

static uint8_t ends_with(const char* text, const char* tail) {
  size_t a = strlen(text), b = strlen(tail);
  return a >= b && strcmp(text + a - b, tail) == 0;
}

/* An absolute path: from the root, or from a drive's root. */
static uint8_t is_absolute(const char* text) {
  return text[0] == '\\' || (text[0] != 0 && text[1] == ':' && text[2] == '\\');
}

/* A buffer too small for the path: the status, and an empty text, not a false success. */
#define CHECK_SMALL(call, status) (path[0] = 'x', CHECK(call, status), CHECK(path[0], 0))

static void directories(void) {
  CHECK(vm_current_dir(start_dir, sizeof start_dir), 0);
  CHECK(is_absolute(start_dir), 1); /* paths come back with backslashes */
  CHECK(strchr(start_dir, '/') == 0, 1);
  CHECK(vm_dir_create("deeper"), 0);
  CHECK(vm_set_current_dir("deeper"), 0);
  CHECK(vm_current_dir(path, sizeof path), 0);
  CHECK(ends_with(path, "\\deeper"), 1);
  CHECK(vm_file_exists("..\\lines.txt"), 1);
  CHECK(vm_set_current_dir(".."), 0);
  CHECK(vm_set_current_dir("absent"), 14);
  CHECK(vm_dir_remove("deeper"), 0);
  CHECK_SMALL(vm_current_dir(path, 4), 11);

  CHECK(vm_temp_dir(path, sizeof path), 0);
  CHECK(ends_with(path, "\\"), 1);
  CHECK_SMALL(vm_temp_dir(path, 1), 13);

  /* The program was loaded from the scratch directory, which the boot made current. */
  CHECK(vm_program_path(path, sizeof path), 0);
  CHECK(ends_with(path, "\\files_guest.hex"), 1);
  CHECK(vm_program_dir(path, sizeof path), 0);
  CHECK(strcmp(path, start_dir), 0);
  CHECK_SMALL(vm_program_path(path, 8), 1);
  CHECK(vm_executable_name(path, sizeof path), 0);
  CHECK(strcmp(path, "velmora-run"), 0);
  CHECK_SMALL(vm_executable_name(path, 11), 3); /* no room for the terminator */
  CHECK(vm_executable_dir(path, sizeof path), 0);
  CHECK(is_absolute(path), 1);
  CHECK(ends_with(path, "velmora-run"), 0);
  CHECK_SMALL(vm_executable_dir(path, 2), 1);
}

int main(void) {
  open_modes();
  values();
  lines();
  ranges();
  names();
  directories();
  vm_halt();
  return 0;
}
