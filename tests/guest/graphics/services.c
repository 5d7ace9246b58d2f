/* The canvas services seen from a guest: start values, clip and screen-size rules, layer status
 * codes, pen width limits, colour blends, read-back outside the clip, line end points, noise
 * corners and random colours (checks.h records every check). */
#include <velmora.h>

#include "../checks.h"

#define PEN VM_RGB(10, 20, 30)

int main(void) {
  CHECK(vm_current_layer(), 0);
  CHECK(vm_layer_width(0), 240);
  CHECK(vm_layer_height(0), 120);
  CHECK(vm_inside_clip(239, 119), 1);
  CHECK(vm_inside_clip(240, 119), 0);

  vm_set_background_colour(0);
  vm_clear();
  vm_set_pen_colour(PEN);
  vm_set_clip(300, -5, 10, 50); /* left 10, top 0, right 239, bottom 50 */
  vm_plot(239, 0);
  CHECK(vm_get_pixel(239, 0), PEN);
  CHECK(vm_get_pixel(9, 0), 0xFFFFFFFF);
  CHECK(vm_inside_clip(10, 50) << 1 | vm_inside_clip(10, 51), 2);
  vm_reset_clip();

  /* Screen size: at least 20, at most the layer, the clip reset; the clears fill exactly the
   * shown part. */
  vm_set_fill_colour(VM_RGB(1, 2, 3));
  vm_set_clip(3, 3, 4, 4);
  vm_set_screen_size(5, 5);
  vm_clear_to_fill();
  CHECK(vm_get_pixel(19, 19), 0x030201);
  CHECK(vm_get_pixel(20, 19), 0);
  vm_set_screen_size(1000, 1000);
  vm_clear();
  CHECK(vm_get_pixel(239, 119), 0);

  /* Layers. */
  CHECK(vm_create_layer(7, 10009, 1), 0);
  CHECK(vm_create_layer(7, 10010, 1), 2);
  CHECK(vm_layer_width(7), 10009); /* refused before anything was released: still 10009 */
  VM_ARG16(0) = 7;
  VM_ARG16(2) = 20;
  VM_ARG16(4) = 20;
  VM_ARG8(6) = 1; /* reserved byte */
  vm_call(3, 73);
  CHECK(VM_STATUS, 2);
  CHECK(vm_layer_width(7), 10009);
  CHECK(vm_delete_layer(0), 2); /* current: refused */
  CHECK(vm_delete_layer(9), 0); /* absent: fine */
  CHECK(vm_delete_layer(7), 0);
  CHECK(vm_layer_exists(7), 0);
  CHECK(vm_create_layer(8, 0, 10), 2);
  VM_ARG16(0) = 8;
  vm_call(3, 75);
  CHECK(VM_ARG8(0) | (uint32_t)VM_STATUS << 8, 0x200); /* not there; status is the last HostError */
  VM_STATUS = 0x55;
  vm_select_layer(123); /* absent: nothing changes, no status written */
  CHECK(VM_STATUS | (uint32_t)vm_current_layer() << 8, 0x55);
  CHECK(vm_create_layer(65535, 30, 20), 0);
  CHECK(vm_layer_width(65535) | (uint32_t)vm_layer_height(65535) << 16, 30 | 20UL << 16);
  CHECK(vm_create_layer(5, -3, 10), 2);

  /* Pen width limits and colours. */
  vm_set_pen_width(0);
  CHECK((uint16_t)vm_pen_width(), 1);
  vm_set_pen_width(30000);
  CHECK((uint16_t)vm_pen_width(), 20000);
  vm_set_pen_width(-5);
  CHECK((uint16_t)vm_pen_width(), 0xFFFB);
  vm_set_pen_width(1);
  vm_set_pen_colour(0x12345678UL);
  CHECK(vm_pen_colour(), 0x345678);
  vm_set_background_rgb(1, 2, 3);
  CHECK(vm_background_colour(), 0x030201);
  vm_set_text_colour(0xFF000001UL);
  CHECK(vm_text_colour(), 1);
  CHECK(vm_blend(0, 0x12345678UL, 0), 0x12345678);
  CHECK(vm_blend(1, 0x00FF00FFUL, 0), 0xFE00FE);
  CHECK(vm_blend(128, 0x000000FFUL, 0), 0x7F);
  CHECK(vm_blend(255, 0, 0xAABBCCDDUL), 0xAABBCCDD);
  CHECK(vm_blend(100, 0x00000010UL, 0x00FFFFF0UL), 0x646468);

  /* Pixels. */
  vm_set_background_colour(0);
  vm_clear();
  vm_set_pen_colour(PEN);
  CHECK(vm_get_pixel(-1, 0), 0xFFFFFFFF);
  CHECK(vm_get_pixel(240, 0), 0xFFFFFFFF);
  vm_set_pixel(4, 4, 0xFF123456UL); /* the top byte is not kept */
  CHECK(vm_get_pixel(4, 4), 0x123456);
  vm_line(0, 10, 10, 10); /* the current position is left at its end */
  vm_line_to(10, 15);
  CHECK((vm_get_pixel(10, 10) == PEN) | (vm_get_pixel(10, 14) == PEN) << 1 |
            (vm_get_pixel(10, 15) == 0) << 2,
        7);
  /* Noise with reversed corners covers the same inclusive rectangle. */
  for (uint8_t i = 0; i < 24; ++i) vm_noise(32, 33, 30, 31);
  uint32_t inside = 0, outside = 0;
  for (int16_t y = 29; y <= 35; ++y)
    for (int16_t x = 28; x <= 34; ++x) {
      const uint8_t lit = vm_get_pixel(x, y) == PEN;
      if (x >= 30 && x <= 32 && y >= 31 && y <= 33)
        inside += lit;
      else
        outside += lit;
    }
  CHECK(inside | outside << 16, 9);
  uint32_t top = 0;
  for (uint8_t i = 0; i < 64; ++i) top |= vm_random_colour();
  CHECK(top >> 24 | (top & 0x00FFFFFF) << 8, 0xFFFFFF00); /* no top byte; every colour bit seen */
  CHECK(vm_blend(128, 0x000000FFUL, 0x0000FF00UL), 0x807F);
  vm_set_fill_rgb(4, 5, 6);
  vm_set_text_rgb(7, 8, 9);
  CHECK(vm_fill_colour(), 0x060504);
  CHECK(vm_text_colour(), 0x090807);
  /* A random plot paints only on an odd draw: over many tries some pixels are painted, some not. */
  vm_set_pen_colour(PEN);
  for (int16_t x = 0; x < 64; ++x) vm_random_plot(x, 100);
  uint8_t lit = 0;
  for (int16_t x = 0; x < 64; ++x) lit += vm_get_pixel(x, 100) == PEN;
  CHECK(lit > 8 && lit < 56, 1);
  vm_halt();
}
