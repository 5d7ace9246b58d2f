/* The text services as a guest program uses them: built-in fonts, spacing, measuring, drawing,
 * the shown edge, system font slots and strings at the top of data memory (checks.h records
 * every check). */
#include <string.h>

#include "../checks.h"
#include "velmora.h"

static uint16_t measure(const char* text, uint8_t which) {
  uint16_t size[2];
  vm_measure_text(text, &size[0], &size[1]);
  return size[which];
}

int main(void) {
  /* "AB" at 10: each glyph 5 wide, the spacing after each; 7 high. */
  CHECK(vm_builtin_font(0, 1), 0);
  CHECK(vm_draw_text(10, 20, "AB"), 22);
  CHECK(measure("AB", 0), 11);
  CHECK(measure("AB", 1), 7);
  vm_builtin_font(0, 0);
  CHECK(vm_draw_text(10, 20, "AB"), 20);
  CHECK(measure("AB", 0), 10);
  vm_builtin_font(0, -2); /* the letters share two columns */
  CHECK(vm_draw_text(10, 20, "AB"), 16);
  CHECK(measure("AB", 0), 8);
  CHECK(vm_builtin_font(8, 5), 1); /* no font 8: font 0 with spacing 1 */
  CHECK(vm_draw_text(10, 20, "AB"), 22);
  CHECK(vm_draw_text(241, 20, "MMM"), 244); /* past the shown edge: one spacing per character */
  vm_builtin_font(7, 1);
  CHECK(measure("A", 0), 13);
  CHECK(measure("1", 0), 10);
  CHECK(measure(" ", 0), 8);
  vm_builtin_font(1, 1);
  CHECK(measure("A", 0), 5);
  CHECK(measure("1", 0), 5);
  CHECK(measure(" ", 0), 2);
  vm_builtin_font(0, 1);
  uint16_t both = 0xEEEE;
  vm_measure_text("AB", &both, &both);
  CHECK(both, 7); /* width and height to the same address: the height stays */
  vm_builtin_font(2, 1);
  CHECK(vm_draw_text(0, 0, "A"), measure("A", 0) + 1); /* drawing adds one more spacing */
  /* An unterminated string at the top of data memory ends there. */
  vm_builtin_font(0, 1);
  memset((void*)0xFFFC, 'M', 4);
  CHECK(vm_draw_text(0, 0, (const char*)0xFFFC), 24);

  /* System fonts: slot 0 is 16 pixels a line; an unknown face still gives the asked height. */
  vm_system_font(0);
  CHECK(vm_draw_text(0, 5, "A"), 21);
  CHECK(vm_create_font(3, 20, 0, 1, 0, 0, "Surely No Such Face"), 0);
  vm_system_font(3);
  CHECK(measure("X", 1), 20);
  /* Text far longer and larger than the layer costs only the glyphs that can show. */
  static char long_text[3001];
  for (uint16_t i = 0; i < 3000; ++i) long_text[i] = (char)('A' + i % 26);
  vm_create_font(4, 4096, 1, 1, 1, 1, "DejaVu Sans");
  vm_system_font(4);
  CHECK(measure(long_text, 1), 4096);
  CHECK(vm_draw_text(0, -8, long_text), 4088);
  vm_halt();
  return 0;
}
