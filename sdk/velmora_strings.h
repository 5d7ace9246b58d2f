/* Velmora guest SDK: the string library (group 5). Strings are zero-terminated and edited in
 * place; the caller reserves room for what a service writes. A string with no terminator before
 * 0xFFFF ends there, and no service writes past 0xFFFF. Searches report VM_NOT_FOUND. Group 5
 * never touches the status byte. Case mapping changes the ASCII letters only. */
#ifndef VELMORA_STRINGS_H
#define VELMORA_STRINGS_H

#include "velmora_gate.h"

#define VM_NOT_FOUND 0xFFFFu

/* Runs string service `function` with s at 0x60 and returns the word result at 0x60. */
static inline uint16_t vm_str_call(uint8_t function, const char* s) {
  VM_ARG16(0) = (uint16_t)s;
  vm_call(5, function);
  return VM_ARG16(0);
}

/* Length of s (5.1). */
static inline uint16_t vm_str_length(const char* s) {
  return vm_str_call(1, s);
}

/* Copies s over d, terminator included; returns the bytes copied (5.2). Overlap is allowed. */
static inline uint16_t vm_str_copy(char* d, const char* s) {
  VM_ARG16(2) = (uint16_t)s;
  return vm_str_call(2, d);
}

/* Appends s to d; returns the new length of d (5.3). s may be d itself. */
static inline uint16_t vm_str_append(char* d, const char* s) {
  VM_ARG16(2) = (uint16_t)s;
  return vm_str_call(3, d);
}

/* Position of the first c in s, or VM_NOT_FOUND (5.5). */
static inline uint16_t vm_str_find_char(const char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  return vm_str_call(5, s);
}

/* Position of the first occurrence of t in s, or VM_NOT_FOUND; an empty t is found at 0 (5.6). */
static inline uint16_t vm_str_find(const char* s, const char* t) {
  VM_ARG16(2) = (uint16_t)t;
  return vm_str_call(6, s);
}

/* Replaces every old_char by new_char; returns the count (5.7). */
static inline uint16_t vm_str_replace_char(char* s, char old_char, char new_char) {
  VM_ARG8(2) = (uint8_t)old_char;
  VM_ARG8(3) = (uint8_t)new_char;
  return vm_str_call(7, s);
}

/* Deletes n bytes at position i (at most up to the end); returns the new length (5.8). */
static inline uint16_t vm_str_delete(char* s, uint16_t i, uint16_t n) {
  VM_ARG16(2) = i;
  VM_ARG16(4) = n;
  return vm_str_call(8, s);
}

/* Inserts c at position i (i = length appends); returns the new length, unchanged when i is
 * beyond the end or there is no room before 0xFFFF (5.9). */
static inline uint16_t vm_str_insert_char(char* s, uint16_t i, char c) {
  VM_ARG16(2) = i;
  VM_ARG8(4) = (uint8_t)c;
  return vm_str_call(9, s);
}

/* Removes every c; returns the new length (5.10). */
static inline uint16_t vm_str_remove_char(char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  return vm_str_call(10, s);
}

/* Reverses s in place (5.11). */
static inline void vm_str_reverse(char* s) {
  vm_str_call(11, s);
}

/* Decimal appends. Width 0 is the free form; width n (at most 64) appends exactly n digits with
 * leading zeros, the first shown as '#' when the value does not fit. A negative value appends
 * '-' before its digits; the width does not count it. Each returns the new length (5.12-5.14,
 * 5.17-5.19). */
static inline uint16_t vm_str_append_u16(char* s, uint8_t width, uint16_t value) {
  VM_ARG8(2) = width;
  VM_ARG16(3) = value;
  return vm_str_call(12, s);
}
static inline uint16_t vm_str_append_u32(char* s, uint8_t width, uint32_t value) {
  VM_ARG8(2) = width;
  VM_ARG32(3) = value;
  return vm_str_call(13, s);
}
static inline uint16_t vm_str_append_u64(char* s, uint8_t width, uint64_t value) {
  VM_ARG8(2) = width;
  VM_ARG64(3) = value;
  return vm_str_call(14, s);
}
static inline uint16_t vm_str_append_s32(char* s, uint8_t width, int32_t value) {
  VM_ARG8(2) = width;
  VM_ARG32(3) = (uint32_t)value;
  return vm_str_call(17, s);
}
static inline uint16_t vm_str_append_s64(char* s, uint8_t width, int64_t value) {
  VM_ARG8(2) = width;
  VM_ARG64(3) = (uint64_t)value;
  return vm_str_call(18, s);
}
static inline uint16_t vm_str_append_s16(char* s, uint8_t width, int16_t value) {
  VM_ARG8(2) = width;
  VM_ARG16(3) = (uint16_t)value;
  return vm_str_call(19, s);
}

/* Writes value with `digits` significant digits (1 to 20) over s, as in 1.23E6, 0.5 or 12;
 * infinities and NaN give "Err". Returns the length (5.15). */
static inline uint16_t vm_str_format_float(char* s, uint8_t digits, float value) {
  VM_ARG8(2) = digits;
  VM_ARGF(3) = value;
  return vm_str_call(15, s);
}

/* The same for a 64-bit IEEE double given by its bits (the guest's own double is 32-bit);
 * digit counts above 22 count as 22 (5.16). */
static inline uint16_t vm_str_format_double_bits(char* s, uint8_t digits, uint64_t bits) {
  VM_ARG8(2) = digits;
  VM_ARG64(3) = bits;
  return vm_str_call(16, s);
}

/* Cutting at a character; a zero character never matches and s is left alone when c does not
 * occur. */
/* s becomes what follows the last c (5.20). */
static inline void vm_str_keep_after_last(char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  vm_str_call(20, s);
}
/* s becomes what follows the first c (5.21). */
static inline void vm_str_keep_after_first(char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  vm_str_call(21, s);
}
/* s becomes what precedes the last c (5.22). */
static inline void vm_str_keep_before_last(char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  vm_str_call(22, s);
}
/* s is cut at the first c (5.23). */
static inline void vm_str_cut_at_first(char* s, char c) {
  VM_ARG8(2) = (uint8_t)c;
  vm_str_call(23, s);
}
/* s becomes the text between the first a and the next b: "key=value;" with '=' and ';' gives
 * "value" (5.24). */
static inline void vm_str_keep_between(char* s, char a, char b) {
  VM_ARG8(2) = (uint8_t)a;
  VM_ARG8(3) = (uint8_t)b;
  vm_str_call(24, s);
}
/* Removes the first a and everything up to and including the next b: "abc(def)ghi" gives
 * "abcghi"; without a, removes up to and including the first b (5.25). */
static inline void vm_str_remove_span(char* s, char a, char b) {
  VM_ARG8(2) = (uint8_t)a;
  VM_ARG8(3) = (uint8_t)b;
  vm_str_call(25, s);
}

/* Paths, with the backslash as separator. */
/* C:\dir\file.txt -> file.txt (5.26). */
static inline void vm_path_file_name(char* s) {
  vm_str_call(26, s);
}
/* C:\dir\demo.tar.gz -> demo.tar (5.27). */
static inline void vm_path_stem(char* s) {
  vm_str_call(27, s);
}
/* demo.tar.gz -> gz; a name without a point stays whole (5.28). */
static inline void vm_path_extension(char* s) {
  vm_str_call(28, s);
}
/* C:\dir\file.txt -> C:\dir (5.29). */
static inline void vm_path_directory(char* s) {
  vm_str_call(29, s);
}

/* Maps the ASCII letters to lower case (5.30). */
static inline void vm_str_lower(char* s) {
  vm_str_call(30, s);
}
/* Maps the ASCII letters to upper case (5.31). */
static inline void vm_str_upper(char* s) {
  vm_str_call(31, s);
}

/* Hex appends, upper case, all digits: 2, 4, 8 or 16. Each returns the new length (5.32-5.35). */
static inline uint16_t vm_str_append_hex8(char* s, uint8_t value) {
  VM_ARG8(2) = value;
  return vm_str_call(32, s);
}
static inline uint16_t vm_str_append_hex16(char* s, uint16_t value) {
  VM_ARG16(2) = value;
  return vm_str_call(33, s);
}
static inline uint16_t vm_str_append_hex32(char* s, uint32_t value) {
  VM_ARG32(2) = value;
  return vm_str_call(34, s);
}
static inline uint16_t vm_str_append_hex64(char* s, uint64_t value) {
  VM_ARG64(2) = value;
  return vm_str_call(35, s);
}

/* Decimal integer as atoi reads it (white space, sign, digits); out-of-range values give the
 * nearest 32-bit limit (5.36). */
static inline int32_t vm_str_parse_int32(const char* s) {
  vm_str_call(36, s);
  return (int32_t)VM_ARG32(0);
}
/* The same 32-bit value, sign-extended (5.37). */
static inline int64_t vm_str_parse_int64(const char* s) {
  vm_str_call(37, s);
  return (int64_t)VM_ARG64(0);
}
/* A real number as strtof reads it (5.38). */
static inline float vm_str_parse_float(const char* s) {
  vm_str_call(38, s);
  return VM_ARGF(0);
}

#endif
