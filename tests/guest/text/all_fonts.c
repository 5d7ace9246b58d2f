/* Every code from 32 to 255 in each of the eight built-in fonts, 32 codes a line, on a layer big
 * enough for all of them and shown whole, for the driver's screenshot. */
#include "velmora.h"

#define WIDTH 560
#define HEIGHT 780

static void graphics(uint8_t function) {
  vm_call(3, function);
}

int main(void) {
  static const uint8_t heights[8] = {7, 7, 9, 9, 12, 14, 14, 16};
  char line[33];
  int16_t y = 2;
  VM_ARG16(0) = 1;
  VM_ARG16(2) = WIDTH;
  VM_ARG16(4) = HEIGHT;
  VM_ARG8(6) = 0;
  graphics(73); /* layer 1 */
  VM_ARG16(0) = 1;
  graphics(5);
  VM_ARG16(0) = WIDTH;
  VM_ARG16(2) = HEIGHT;
  graphics(1); /* show all of it, so no glyph is past the shown edge */
  graphics(4); /* black */
  VM_ARG32(0) = 0x00FFFFFFUL;
  graphics(48);
  for (uint8_t font = 0; font < 8; ++font) {
    vm_builtin_font(font, 1);
    for (uint16_t first = 32; first < 256; first += 32) {
      for (uint8_t i = 0; i < 32; ++i) line[i] = (char)(first + i);
      line[32] = 0;
      vm_draw_text(2, y, line);
      y += heights[font] + 2;
    }
    y += 6;
  }
  *(volatile uint8_t*)0x1000 = 1; /* drew everything */
  vm_halt();
  return 0;
}
