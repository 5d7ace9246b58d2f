/* Every string service called from C the way a guest program calls it. Each case sets buf,
 * makes one call and checks the edited text and the result (checks.h records every check). */
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "../checks.h"
#include "velmora.h"

#define TOP ((char*)0xFFF0) /* 16 bytes up to the end of the data space */

static char buf[96];

static void check_text(uint16_t line, const char* want_text, int32_t want, int32_t got) {
  check(line, got, want);
  check(line, strcmp(buf, want_text), 0);
}

/* A call on buf that gives a result, one that gives none, and a call checked by its result. */
#define CASE(start, call, text, result) \
  (strcpy(buf, start), check_text(__LINE__, text, (int32_t)(result), (int32_t)(call)))
#define EDIT(start, call, text) CASE(start, ((call), 0), text, 0)
#define RESULT(call, result) CHECK(call, result)

/* Function 4 has no wrapper of its own: it is the copy again. */
static uint16_t copy4(char* d, const char* s) {
  VM_ARG16(2) = (uint16_t)s;
  return vm_str_call(4, d);
}

/* 36, 37 and 38 on one text: the integer, the same sign-extended, and the real. */
static void parse(uint16_t line, const char* text, int32_t integer, float real) {
  strcpy(buf, text);
  check_text(line, text, integer, vm_str_parse_int32(buf));
  const int64_t wide = vm_str_parse_int64(buf);
  check_text(line, text, integer, (int32_t)wide);
  check(line, (int32_t)(wide >> 32), integer < 0 ? -1 : 0);
  check(line, vm_str_parse_float(buf) == real, 1);
}
#define PARSE(text, integer, real) parse(__LINE__, text, integer, real)
#define REAL(bits, digits, text) \
  CASE("", vm_str_format_double_bits(buf, digits, bits), text, sizeof(text) - 1)

int main(void) {
  /* The status byte must survive every call. */
  VM_STATUS = 0x5A;

  CASE("hello", vm_str_length(buf), "hello", 5);
  CASE("", vm_str_length(buf), "", 0);
  CASE("xxxxxxxx", vm_str_copy(buf, "abc"), "abc", 3);
  CASE("xxxxxxxx", copy4(buf, "abc"), "abc", 3);
  CASE("ab", vm_str_append(buf, "cd"), "abcd", 4);
  CASE("", vm_str_append(buf, "cd"), "cd", 2);
  /* Copy and append read their whole source before they write. */
  CASE("abc", vm_str_append(buf, buf), "abcabc", 6);
  CASE("abcdef", vm_str_append(buf, buf + 3), "abcdefdef", 9);
  CASE("abcdef", vm_str_copy(buf + 2, buf), "ababcdef", 6);
  CASE("abcdef", vm_str_copy(buf, buf + 2), "cdef", 4);

  CASE("hello", vm_str_find_char(buf, 'l'), "hello", 2);
  CASE("hello", vm_str_find_char(buf, 0), "hello", VM_NOT_FOUND);
  CASE("", vm_str_find_char(buf, 'a'), "", VM_NOT_FOUND);
  CASE("hello", vm_str_find(buf, "llo"), "hello", 2);
  CASE("hello", vm_str_find(buf, ""), "hello", 0);
  CASE("hello", vm_str_find(buf, "hello!"), "hello", VM_NOT_FOUND);
  CASE("abc", vm_str_find(buf, "abd"), "abc", VM_NOT_FOUND);
  CASE("aaab", vm_str_find(buf, "aab"), "aaab", 1);
  CASE("hello", vm_str_find(buf, "lo!"), "hello", VM_NOT_FOUND);

  CASE("banana", vm_str_replace_char(buf, 'a', 'o'), "bonono", 3);
  CASE("banana", vm_str_replace_char(buf, 0, 'x'), "banana", 0);
  CASE("banana", vm_str_replace_char(buf, 'a', 0), "b", 3);
  CASE("abcdefg", vm_str_delete(buf, 2, 3), "abfg", 4);
  CASE("abcdefg", vm_str_delete(buf, 4, 3), "abcd", 4);
  CASE("abcdefg", vm_str_delete(buf, 5, 100), "abcde", 5);
  CASE("abcdefg", vm_str_delete(buf, 9, 0xFFFF), "abcdefg", 7);
  CASE("abc", vm_str_insert_char(buf, 1, 'x'), "axbc", 4);
  CASE("abc", vm_str_insert_char(buf, 3, 'd'), "abcd", 4);
  CASE("", vm_str_insert_char(buf, 0, 'x'), "x", 1);
  CASE("abc", vm_str_insert_char(buf, 9, 'd'), "abc", 3);
  CASE("banana", vm_str_remove_char(buf, 'a'), "bnn", 3);
  CASE("banana", vm_str_remove_char(buf, 0), "banana", 6);
  CASE("aaa", vm_str_remove_char(buf, 'a'), "", 0);
  EDIT("abcd", vm_str_reverse(buf), "dcba");

  /* Decimals: "#" marks a value too large for its field, whose width is cut to 64. */
  CASE("n=", vm_str_append_u16(buf, 4, 42), "n=0042", 6);
  CASE("", vm_str_append_u16(buf, 200, 7),
       "0000000000000000000000000000000000000000000000000000000000000007", 64);
  CASE("", vm_str_append_u32(buf, 2, 1234), "#4", 2);
  CASE("", vm_str_append_u32(buf, 2, 10034), "34", 2);
  CASE("", vm_str_append_u32(buf, 9, 4294967295UL), "#94967295", 9);
  CASE("", vm_str_append_u64(buf, 0, UINT64_MAX), "#446744073709551615", 19);
  CASE("", vm_str_append_u64(buf, 0, 999999999999999999ULL), "999999999999999999", 18);
  CASE("", vm_str_append_u32(buf, 0, 4294967295UL), "4294967295", 10);
  CASE("", vm_str_append_u32(buf, 1, 10), "#", 1);
  CASE("x", vm_str_append_s32(buf, 0, -1), "x-1", 3);
  CASE("", vm_str_append_s32(buf, 0, INT32_MIN), "-2147483648", 11);
  CASE("", vm_str_append_s64(buf, 0, INT64_MIN), "-9223372036854775808", 20);
  CASE("", vm_str_append_s64(buf, 2, -123), "-#3", 3);
  CASE("", vm_str_append_s16(buf, 3, -5), "-005", 4);
  CASE("", vm_str_append_s16(buf, 0, INT16_MIN), "-32768", 6);

  /* Reals replace the string. The exponent after rounding to the digit count picks the
   * notation; a whole mantissa keeps its point; ties go to even on the exact binary value; 22
   * digits at most. */
  CASE("junk", vm_str_format_float(buf, 3, 1234567.0f), "1.23E6", 6);
  CASE("junk", vm_str_format_float(buf, 4, -0.00125f), "-1.25E-3", 8);
  CASE("junk", vm_str_format_float(buf, 30, 0.1f), "0.10000000149011611938", 22);
  CASE("", vm_str_format_float(buf, 5, NAN), "Err", 3);
  CASE("", vm_str_format_double_bits(buf, 2, 0x41024F8000000000ULL), "1.5E5", 5);
  CASE("", vm_str_format_double_bits(buf, 64, 0xC480F0CF064DD592ULL), "-1.E22", 6);
  CASE("", vm_str_format_double_bits(buf, 0, 0x3FD0000000000000ULL), "0.2", 3); /* 0.25 */
  REAL(0x3E8AD7F29ABCAF48ULL, 1, "2E-7");
  REAL(0x8000000000000000ULL, 5, "-0");
  REAL(0xBFC0000000000000ULL, 6, "-0.125");
  REAL(0x3F8930BE0DED288DULL, 5, "1.23E-2");                 /* 0.0123 */
  REAL(0x405EDD2F1A9FBE77ULL, 5, "123.46");                  /* 123.456 */
  REAL(0x40F86A0000000000ULL, 5, "1.E5");                    /* 100000 */
  REAL(0x4023FAE147AE147BULL, 2, "10");                      /* 9.99 */
  REAL(0x4023000000000000ULL, 1, "1E1");                     /* 9.5 */
  REAL(0x40F869F800000000ULL, 5, "1.E5");                    /* 99999.5 */
  REAL(0x3FB97F62B6AE7D56ULL, 2, "0.1");                     /* 0.0996 */
  REAL(0x444B1AE4D6E2EF50ULL, 22, "1000000000000000000000"); /* 1e21 */
  REAL(0x7FEFFFFFFFFFFFFFULL, 17, "1.7976931348623157E308");
  REAL(0x8000000000000001ULL, 64, "-4.940656458412465441766E-324");
  REAL(0x4004000000000000ULL, 1, "2"); /* 2.5 */
  REAL(0x400C000000000000ULL, 1, "4"); /* 3.5 */
  REAL(0x3FB999999999999AULL, 20, "0.10000000000000000555");

  /* Cutting; a zero character never matches. */
  EDIT("a.b.c", vm_str_keep_after_last(buf, '.'), "c");
  EDIT("dir\\", vm_str_keep_after_last(buf, '\\'), "");
  EDIT("abc", vm_str_keep_after_last(buf, 'x'), "abc");
  EDIT("abc", vm_str_keep_after_last(buf, 0), "abc");
  EDIT("a.b.c", vm_str_keep_after_first(buf, '.'), "b.c");
  EDIT("abc", vm_str_keep_after_first(buf, 'c'), "");
  EDIT("abc", vm_str_keep_after_first(buf, '.'), "abc");
  EDIT("a.b.c", vm_str_keep_before_last(buf, '.'), "a.b");
  EDIT("\\file", vm_str_keep_before_last(buf, '\\'), "");
  EDIT("a.b.c", vm_str_cut_at_first(buf, '.'), "a");
  EDIT(".x", vm_str_cut_at_first(buf, '.'), "");
  EDIT("key=value;", vm_str_keep_between(buf, '=', ';'), "value");
  EDIT("abc;def", vm_str_keep_between(buf, '=', ';'), "abc");
  EDIT("k=v", vm_str_keep_between(buf, '=', ';'), "v");
  EDIT("abc(def)ghi", vm_str_remove_span(buf, '(', ')'), "abcghi");
  EDIT("abc(def", vm_str_remove_span(buf, '(', ')'), "abc");
  EDIT("def)ghi", vm_str_remove_span(buf, '(', ')'), "ghi");
  EDIT("a)b(c)d)e", vm_str_remove_span(buf, '(', ')'), "a)bd)e");
  EDIT("a|b|c|d", vm_str_remove_span(buf, '|', '|'), "ac|d");
  EDIT("ab|", vm_str_remove_span(buf, '|', '|'), "ab");
  EDIT("x(y)", vm_str_remove_span(buf, 0, ')'), "");
  EDIT("C:\\dir\\file.txt", vm_path_file_name(buf), "file.txt");
  EDIT("C:\\dir\\", vm_path_file_name(buf), "");
  EDIT("C:\\work\\demo.tar.gz", vm_path_stem(buf), "demo.tar");
  EDIT("demo", vm_path_stem(buf), "demo");
  EDIT(".profile", vm_path_stem(buf), "");
  EDIT("C:\\a.b\\noext", vm_path_stem(buf), "noext");
  EDIT("archive.tar.gz", vm_path_extension(buf), "gz");
  EDIT("noext", vm_path_extension(buf), "noext");
  EDIT("C:\\work\\demo.hex", vm_path_directory(buf), "C:\\work");
  EDIT("name.txt", vm_path_directory(buf), "name.txt");
  EDIT("Mixed Case 42 \xC0\xE9Z[@", vm_str_lower(buf), "mixed case 42 \xC0\xE9z[@");
  EDIT("Mixed Case 42 \xC0\xE9z{`", vm_str_upper(buf), "MIXED CASE 42 \xC0\xE9Z{`");

  CASE("x=", vm_str_append_hex8(buf, 0x3C), "x=3C", 4);
  CASE("", vm_str_append_hex16(buf, 0x00FF), "00FF", 4);
  CASE("#", vm_str_append_hex32(buf, 0xDEADBEEFUL), "#DEADBEEF", 9);
  CASE("", vm_str_append_hex64(buf, 0x0123456789ABCDEFULL), "0123456789ABCDEF", 16);
  CASE("", vm_str_append_hex64(buf, UINT64_MAX), "FFFFFFFFFFFFFFFF", 16);

  /* Integers saturate at the 32-bit limits; reals are read as strtof reads them. */
  PARSE("12abc", 12, 12.0f);
  PARSE("  -123xyz", -123, -123.0f);
  PARSE("\t\n\v\f\r+42", 42, 42.0f);
  PARSE("abc", 0, 0.0f);
  PARSE("", 0, 0.0f);
  PARSE("- 5", 0, 0.0f);
  PARSE("2147483648", INT32_MAX, 2147483648.0f);
  PARSE("-2147483649", INT32_MIN, -2147483649.0f);
  PARSE("99999999999999999999999", INT32_MAX, 1e23f);
  PARSE("3.25", 3, 3.25f);
  PARSE(" -1e3x", -1, -1000.0f);
  PARSE("1e40", 1, INFINITY);
  PARSE("0x1p4", 0, 16.0f);
  PARSE("0.1", 0, 0.1f);

  /* A string that runs into the end of the data space ends there; nothing goes past it. */
  memcpy(TOP, "ABCDEFGHIJKLMNOP", 16);
  RESULT(vm_str_length(TOP), 16);
  RESULT(vm_str_append(TOP, "xyz"), 16);
  RESULT(vm_str_append_hex32(TOP, 1), 16);
  RESULT(vm_str_insert_char(TOP, 0, '!'), 16);
  RESULT(vm_str_find(TOP, "NOP"), 13);
  CASE("", vm_str_copy(buf, TOP), "ABCDEFGHIJKLMNOP", 16);
  RESULT(vm_str_copy((char*)0xFFFA, "hello world"), 5);
  RESULT(memcmp(TOP, "ABCDEFGHIJhello", 16), 0);
  /* Edits near the end keep their terminator at 0xFFFF at the latest. */
  strcpy((char*)0xFFFC, "ab");
  RESULT(vm_str_insert_char((char*)0xFFFC, 0, 'x'), 3);
  RESULT(vm_str_insert_char((char*)0xFFFC, 0, 'y'), 3);
  RESULT(memcmp((char*)0xFFFC, "xab", 4), 0);
  strcpy((char*)0xFFF8, "n=");
  RESULT(vm_str_append_u16((char*)0xFFF8, 64, 7), 7);
  RESULT(memcmp((char*)0xFFF8, "n=00000", 8), 0);
  RESULT(vm_str_format_float((char*)0xFFFC, 9, 3.14159265f), 3);
  RESULT(memcmp((char*)0xFFFC, "3.1", 4), 0);

  /* The gate cleared the group byte and no call touched the status byte. */
  RESULT(VM_GROUP, 0);
  RESULT(VM_STATUS, 0x5A);
  vm_halt();
  return 0;
}
