/* Every code from 32 to 255 in each of the eight built-in fonts, 32 codes a line, on a layer big
 * enough for all of them and shown whole, for the driver's screenshot. */
#include "velmora.h"

#define WIDTH 560
#define HEIGHT 780

int main(void) {
  static const uint8_t heights[8] = {7, 7, 9, 9, 12, 14, 14, 16};
  char line[33];
  int16_t y = 2;
  vm_create_layer(1, WIDTH, HEIGHT);
  vm_select_layer(1);
  vm_set_screen_size(WIDTH, HEIGHT); /* show all of it, so no glyph is past the shown edge */
  vm_clear();
  vm_set_text_colour(VM_RGB(255, 255, 255));
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
  vm_halt();
  return 0;
}
