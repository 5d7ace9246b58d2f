/* Velmora guest SDK: files and directories (group 7).
 *
 * Open files are named by a slot, 0 to 255. Every function leaves a status in VM_STATUS and
 * most also return it: 0 success, 1 slot not open, open or close failed, or a path that is not
 * available or does not fit, 2 buffer reaches 0xFFFF, 3 delete or remove failed or executable
 * name does not fit, 4 rename failed, 5 seek failed, 7 read failed, 8 write failed,
 * 9 create directory failed, 10 flush failed, 11 current directory failed or does not fit,
 * 12 size failed, 13 temporary directory failed or does not fit, 14 changing directory failed,
 * 255 end of file (a read got fewer bytes than it asked for; the value read is then 0).
 * A backslash separates directories in paths, on every host. Values in files are little-endian. */
#ifndef VELMORA_FILES_H
#define VELMORA_FILES_H

#include "velmora_gate.h"

#define VM_FILE_OK 0
#define VM_FILE_NOT_OPEN 1
#define VM_FILE_RANGE 2
#define VM_FILE_EOF 255

/* Open modes: the first three create a missing file, the last three need an existing one. None
 * truncates or appends; the position starts at 0. An open file cannot be opened a second time. */
#define VM_OPEN_READ_ALWAYS 0
#define VM_OPEN_WRITE_ALWAYS 1
#define VM_OPEN_READ_WRITE_ALWAYS 2
#define VM_OPEN_READ 3
#define VM_OPEN_WRITE 4
#define VM_OPEN_READ_WRITE 5

#define VM_FILE_GROUP 7

/* Opens `name` in `slot`, closing what the slot held first. */
static inline uint8_t vm_file_open(uint8_t slot, uint8_t mode, const char* name) {
  VM_ARG8(0) = slot;
  VM_ARG8(1) = mode;
  VM_ARG16(2) = (uint16_t)name;
  vm_call(VM_FILE_GROUP, 40);
  return VM_STATUS;
}

/* Runs a service whose only argument is the slot and returns the status. */
static inline uint8_t vm_file_slot_call(uint8_t slot, uint8_t function) {
  VM_ARG8(0) = slot;
  vm_call(VM_FILE_GROUP, function);
  return VM_STATUS;
}

/* Runs a service whose only argument is a name and returns the status. */
static inline uint8_t vm_file_name_call(const char* name, uint8_t function) {
  VM_ARG16(0) = (uint16_t)name;
  vm_call(VM_FILE_GROUP, function);
  return VM_STATUS;
}

/* Closes the slot's file. */
static inline uint8_t vm_file_close(uint8_t slot) {
  return vm_file_slot_call(slot, 41);
}
/* Writes buffered data through to the device. */
static inline uint8_t vm_file_flush(uint8_t slot) {
  return vm_file_slot_call(slot, 42);
}
/* Deletes a file (not a directory, not an open file). */
static inline uint8_t vm_file_delete(const char* name) {
  return vm_file_name_call(name, 43);
}
/* Creates a directory. */
static inline uint8_t vm_dir_create(const char* name) {
  return vm_file_name_call(name, 44);
}
/* Removes an empty directory. */
static inline uint8_t vm_dir_remove(const char* name) {
  return vm_file_name_call(name, 60);
}
/* Makes `name` the current directory. */
static inline uint8_t vm_set_current_dir(const char* name) {
  return vm_file_name_call(name, 64);
}

/* 1 when a file or directory matches; * and ? are wildcards in the last component. */
static inline uint8_t vm_file_exists(const char* pattern) {
  vm_file_name_call(pattern, 45);
  return VM_ARG8(0);
}

/* Renames or moves a file; an existing `to` is never replaced. */
static inline uint8_t vm_file_rename(const char* from, const char* to) {
  VM_ARG16(0) = (uint16_t)from;
  VM_ARG16(2) = (uint16_t)to;
  vm_call(VM_FILE_GROUP, 61);
  return VM_STATUS;
}

/* Moves to the start, to `position` bytes from the start, or to the end. */
static inline uint8_t vm_file_seek_start(uint8_t slot) {
  return vm_file_slot_call(slot, 46);
}
static inline uint8_t vm_file_seek(uint8_t slot, int32_t position) {
  VM_ARG32(1) = (uint32_t)position;
  return vm_file_slot_call(slot, 47);
}
static inline uint8_t vm_file_seek_end(uint8_t slot) {
  return vm_file_slot_call(slot, 48);
}

/* The file's size in bytes (0 with a status on failure). */
static inline uint32_t vm_file_size(uint8_t slot) {
  vm_file_slot_call(slot, 59);
  return VM_ARG32(0);
}

/* Reads one value; VM_STATUS tells 0, 7 or VM_FILE_EOF (then the value is 0). */
static inline uint8_t vm_file_read_byte(uint8_t slot) {
  vm_file_slot_call(slot, 49);
  return VM_ARG8(0);
}
static inline uint16_t vm_file_read_word(uint8_t slot) {
  vm_file_slot_call(slot, 50);
  return VM_ARG16(0);
}
static inline uint32_t vm_file_read_dword(uint8_t slot) {
  vm_file_slot_call(slot, 51);
  return VM_ARG32(0);
}
/* Reads four bytes into a 64-bit value whose upper half is 0. */
static inline uint64_t vm_file_read_qword(uint8_t slot) {
  vm_file_slot_call(slot, 52);
  return VM_ARG64(0);
}

/* Writes one value. */
static inline uint8_t vm_file_write_byte(uint8_t slot, uint8_t value) {
  VM_ARG8(1) = value;
  return vm_file_slot_call(slot, 53);
}
static inline uint8_t vm_file_write_word(uint8_t slot, uint16_t value) {
  VM_ARG16(1) = value;
  return vm_file_slot_call(slot, 54);
}
static inline uint8_t vm_file_write_dword(uint8_t slot, uint32_t value) {
  VM_ARG32(1) = value;
  return vm_file_slot_call(slot, 55);
}
static inline uint8_t vm_file_write_qword(uint8_t slot, uint64_t value) {
  VM_ARG64(1) = value;
  return vm_file_slot_call(slot, 56);
}

/* Reads up to `count` bytes; fewer give VM_FILE_EOF (no count is reported). */
static inline uint8_t vm_file_read_block(uint8_t slot, void* buffer, uint16_t count) {
  VM_ARG16(1) = count;
  VM_ARG16(3) = (uint16_t)buffer;
  return vm_file_slot_call(slot, 57);
}
/* As vm_file_read_block; a refused buffer also gets a zero byte at its start. */
static inline uint8_t vm_file_read_buffer(uint8_t slot, void* buffer, uint16_t count) {
  VM_ARG16(1) = (uint16_t)buffer;
  VM_ARG16(3) = count;
  return vm_file_slot_call(slot, 99);
}
/* Writes `count` bytes. */
static inline uint8_t vm_file_write_block(uint8_t slot, const void* buffer, uint16_t count) {
  VM_ARG16(1) = count;
  VM_ARG16(3) = (uint16_t)buffer;
  return vm_file_slot_call(slot, 58);
}

/* Reads one line without its CR LF or LF into a buffer of `size` bytes and returns its length.
 * The last line may lack a line end and comes with VM_FILE_EOF. A line longer than size - 1
 * comes in pieces of size - 1 bytes, each returned as 0 and NOT terminated. */
static inline uint16_t vm_file_read_line(uint8_t slot, char* buffer, uint16_t size) {
  VM_ARG16(1) = (uint16_t)buffer;
  VM_ARG16(3) = size;
  vm_file_slot_call(slot, 98);
  return VM_ARG16(0);
}

/* Writes a string without its terminator; returns the bytes written (0 on failure). */
static inline uint16_t vm_file_write_text(uint8_t slot, const char* text) {
  VM_ARG16(1) = (uint16_t)text;
  vm_file_slot_call(slot, 100);
  return VM_ARG16(0);
}
/* Writes a string and CR LF; returns the string's bytes written (0 on failure). */
static inline uint16_t vm_file_write_line(uint8_t slot, const char* text) {
  VM_ARG16(1) = (uint16_t)text;
  vm_file_slot_call(slot, 101);
  return VM_ARG16(0);
}

/* Runs a service that writes a path into a buffer of `size` bytes; a path that does not fit
 * gives an empty string and a non-zero status. */
static inline uint8_t vm_file_path_call(char* buffer, uint16_t size, uint8_t function) {
  VM_ARG16(0) = (uint16_t)buffer;
  VM_ARG16(2) = size;
  vm_call(VM_FILE_GROUP, function);
  return VM_STATUS;
}

/* The current directory. */
static inline uint8_t vm_current_dir(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 62);
}
/* The temporary-files directory, ending in a backslash. */
static inline uint8_t vm_temp_dir(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 63);
}
/* The host executable's name without directory and extension. */
static inline uint8_t vm_executable_name(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 68);
}
/* The directory of the host executable. */
static inline uint8_t vm_executable_dir(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 69);
}
/* The directory of the running HEX program ("." when it was loaded by a bare file name). */
static inline uint8_t vm_program_dir(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 102);
}
/* The path of the running HEX program, as it was given to the host. */
static inline uint8_t vm_program_path(char* buffer, uint16_t size) {
  return vm_file_path_call(buffer, size, 103);
}

#endif
