/* The text services as a guest program uses them: fonts, spacing, measuring, drawing and system
 * font slots. Every result goes to a table at 0x1000 that the driver reads back. */
#include "velmora.h"

#define OUT ((volatile uint16_t*)0x1000)

static uint16_t width_of(const char* text) {
  uint16_t width, height;
  vm_measure_text(text, &width, &height);
  return width;
}

static uint16_t height_of(const char* text) {
  uint16_t width, height;
  vm_measure_text(text, &width, &height);
  return height;
}

int main(void) {
  OUT[0] = vm_builtin_font(0, 1);
  OUT[1] = vm_draw_text(10, 20, "AB");
  OUT[2] = width_of("AB");
  OUT[3] = height_of("AB");
  vm_builtin_font(0, 0);
  OUT[4] = vm_draw_text(10, 20, "AB");
  OUT[5] = width_of("AB");
  vm_builtin_font(0, -2);
  OUT[6] = vm_draw_text(10, 20, "AB");
  OUT[7] = width_of("AB");
  OUT[8] = vm_builtin_font(8, 5);
  OUT[9] = vm_draw_text(10, 20, "AB");
  OUT[10] = vm_draw_text(241, 20, "MMM");
  vm_builtin_font(7, 1);
  OUT[11] = width_of("A");
  OUT[12] = width_of("1");
  OUT[13] = width_of(" ");
  vm_builtin_font(1, 1);
  OUT[14] = width_of("A");
  OUT[15] = width_of("1");
  OUT[16] = width_of(" ");
  vm_builtin_font(0, 1);
  {
    uint16_t both = 0xEEEE;
    vm_measure_text("AB", &both, &both);
    OUT[17] = both;
  }
  vm_system_font(0);
  OUT[18] = vm_draw_text(0, 5, "A");
  OUT[19] = vm_draw_text(0, 5, "A\nB");
  OUT[20] = height_of("A\r\nB");
  OUT[21] = vm_create_font(3, 20, 0, 1, 0, 0, "Surely No Such Face");
  vm_system_font(3);
  OUT[22] = height_of("X");
  vm_builtin_font(2, 1);
  OUT[23] = width_of("A");
  OUT[24] = vm_draw_text(0, 0, "A");
  {
    /* Text far longer and larger than the layer costs only the glyphs that can show. */
    static char long_text[3001];
    for (uint16_t i = 0; i < 3000; ++i) long_text[i] = (char)('A' + i % 26);
    vm_create_font(4, 4096, 1, 1, 1, 1, "DejaVu Sans");
    vm_system_font(4);
    OUT[26] = height_of(long_text);
    OUT[27] = vm_draw_text(0, -8, long_text);
  }
  OUT[25] = 0xC0DE;
  vm_halt();
  return 0;
}
