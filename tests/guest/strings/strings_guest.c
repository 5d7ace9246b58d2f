/* Every string service called from C the way a guest program calls it. Each call leaves one line
 * "name|text|result" in the transcript at 0x8000 (text is the edited string), written with the
 * C library only, so that the driver can compare the whole run at once. */
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "velmora.h"

#define TRANSCRIPT ((char*)0x8000)
#define TOP ((char*)0xFFF0) /* 16 bytes up to the end of the data space */

static char* line_end = TRANSCRIPT;
static char buf[96];

static void put(const char* text) {
  while (*text) *line_end++ = *text++;
  *line_end = 0;
}

static void put_line(const char* name, const char* text, const char* result) {
  put(name);
  put("|");
  put(text);
  put("|");
  put(result);
  put("\n");
}

static void record(const char* name, uint32_t result) {
  char number[12];
  ultoa(result, number, 10);
  put_line(name, buf, number);
}

static void record_signed(const char* name, int32_t result) {
  char number[12];
  ltoa(result, number, 10);
  put_line(name, buf, number);
}

static void record_hex(const char* name, uint32_t high, uint32_t low) {
  char number[20];
  ultoa(high, number, 16);
  put(name);
  put("||");
  put(number);
  put(" ");
  ultoa(low, number, 16);
  put(number);
  put("\n");
}

static void set(const char* text) { strcpy(buf, text); }

static void fill_top(void) { memcpy(TOP, "ABCDEFGHIJKLMNOP", 16); }

int main(void) {
  /* The status byte must survive every call. */
  VM_STATUS = 0x5A;

  set("hello");
  record("length", vm_str_length(buf));
  set("");
  record("length_empty", vm_str_length(buf));
  set("xxxxxxxx");
  record("copy", vm_str_copy(buf, "abc"));
  set("ab");
  record("append", vm_str_append(buf, "cd"));
  set("abc");
  record("append_self", vm_str_append(buf, buf));
  set("abcdef");
  record("copy_overlap", vm_str_copy(buf + 2, buf));
  set("hello");
  record("find_char", vm_str_find_char(buf, 'l'));
  record("find_char_zero", vm_str_find_char(buf, 0));
  record("find", vm_str_find(buf, "llo"));
  record("find_empty", vm_str_find(buf, ""));
  record("find_longer", vm_str_find(buf, "hello!"));
  set("banana");
  record("replace", vm_str_replace_char(buf, 'a', 'o'));
  set("abcdefg");
  record("delete", vm_str_delete(buf, 2, 3));
  set("abcdefg");
  record("delete_past_end", vm_str_delete(buf, 5, 100));
  set("abc");
  record("insert", vm_str_insert_char(buf, 1, 'x'));
  set("abc");
  record("insert_at_end", vm_str_insert_char(buf, 3, 'd'));
  set("abc");
  record("insert_beyond", vm_str_insert_char(buf, 9, 'd'));
  set("banana");
  record("remove", vm_str_remove_char(buf, 'a'));
  set("abcd");
  vm_str_reverse(buf);
  record("reverse", 0);

  set("n=");
  record("u16", vm_str_append_u16(buf, 4, 42));
  set("");
  record("u32", vm_str_append_u32(buf, 0, 4294967295UL));
  set("");
  record("u32_narrow", vm_str_append_u32(buf, 2, 1234));
  set("");
  record("u64", vm_str_append_u64(buf, 0, 18446744073709551615ULL));
  set("x");
  record("s32", vm_str_append_s32(buf, 0, -1));
  set("");
  record("s32_min", vm_str_append_s32(buf, 0, INT32_MIN));
  set("");
  record("s64_min", vm_str_append_s64(buf, 0, INT64_MIN));
  set("");
  record("s16", vm_str_append_s16(buf, 3, -5));
  set("");
  record("s16_min", vm_str_append_s16(buf, 0, INT16_MIN));

  set("junk");
  record("float", vm_str_format_float(buf, 3, 1234567.0f));
  set("junk");
  record("float_one", vm_str_format_float(buf, 2, 1.0f));
  set("junk");
  record("float_small", vm_str_format_float(buf, 4, -0.00125f));
  set("");
  record("float_inf", vm_str_format_float(buf, 5, INFINITY));
  set("");
  record("float_nan", vm_str_format_float(buf, 5, NAN));
  set("");
  record("double", vm_str_format_double_bits(buf, 2, 0x41024F8000000000ULL)); /* 1.5e5 */
  set("");
  record("double_long", vm_str_format_double_bits(buf, 12, 0xBF8948B0F905440FULL));

  set("a.b.c");
  vm_str_keep_after_last(buf, '.');
  record("keep_after_last", 0);
  set("a.b.c");
  vm_str_keep_after_first(buf, '.');
  record("keep_after_first", 0);
  set("a.b.c");
  vm_str_keep_before_last(buf, '.');
  record("keep_before_last", 0);
  set("a.b.c");
  vm_str_cut_at_first(buf, '.');
  record("cut_at_first", 0);
  set("key=value;");
  vm_str_keep_between(buf, '=', ';');
  record("keep_between", 0);
  set("abc(def)ghi");
  vm_str_remove_span(buf, '(', ')');
  record("remove_span", 0);
  set("C:\\dir\\");
  vm_path_file_name(buf);
  record("file_name_of_dir", 0);
  set("C:\\work\\demo.tar.gz");
  vm_path_stem(buf);
  record("stem", 0);
  set("archive.tar.gz");
  vm_path_extension(buf);
  record("extension", 0);
  set("C:\\work\\demo.hex");
  vm_path_directory(buf);
  record("directory", 0);
  set("name.txt");
  vm_path_directory(buf);
  record("directory_none", 0);
  set("Mixed Case 42");
  vm_str_lower(buf);
  record("lower", 0);
  vm_str_upper(buf);
  record("upper", 0);

  set("x=");
  record("hex8", vm_str_append_hex8(buf, 0x3C));
  set("");
  record("hex16", vm_str_append_hex16(buf, 0x00FF));
  set("");
  record("hex32", vm_str_append_hex32(buf, 0xDEADBEEFUL));
  set("");
  record("hex64", vm_str_append_hex64(buf, 0x0123456789ABCDEFULL));

  set("  -123xyz");
  record_signed("parse32", vm_str_parse_int32(buf));
  set("99999999999");
  record_signed("parse32_limit", vm_str_parse_int32(buf));
  set("12abc");
  int64_t wide = vm_str_parse_int64(buf);
  record_hex("parse64", (uint32_t)((uint64_t)wide >> 32), (uint32_t)wide);
  set("-1");
  wide = vm_str_parse_int64(buf);
  record_hex("parse64_negative", (uint32_t)((uint64_t)wide >> 32), (uint32_t)wide);
  set("3.25");
  float real = vm_str_parse_float(buf);
  uint32_t bits;
  memcpy(&bits, &real, 4);
  record_hex("parse_float", 0, bits);

  /* A string that runs into the end of the data space ends there; nothing goes past it. */
  fill_top();
  set("");
  record("top_length", vm_str_length(TOP));
  record("top_append", vm_str_append(TOP, "xyz"));
  record("top_hex", vm_str_append_hex32(TOP, 1));
  record("top_insert", vm_str_insert_char(TOP, 0, '!'));
  record("top_find", vm_str_find(TOP, "NOP"));
  record("top_copy_from", vm_str_copy(buf, TOP));
  record("top_copy_to", vm_str_copy((char*)0xFFFA, "hello world"));

  /* The gate cleared the group byte and no call touched the status byte. */
  set("");
  record("group", VM_GROUP);
  record("status", VM_STATUS);
  put("end\n");
  vm_halt();
  return 0;
}
