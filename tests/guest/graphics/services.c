/* The canvas services seen from a guest: start values, clip and screen-size rules, layer status
 * codes, pen width limits, colour blends, read-back outside the clip, line end points, toggle,
 * noise corners and random colours. Results go to R[] at 0x1000; 0xC0DE at 0x10FE marks the end. */
#include <velmora.h>

#define R ((volatile uint32_t*)0x1000)
#define DONE (*(volatile uint16_t*)0x10FE)
#define PEN VM_RGB(10, 20, 30)

int main(void) {
  R[0] = vm_current_layer();
  R[1] = vm_layer_width(0);
  R[2] = vm_layer_height(0);
  R[3] = vm_inside_clip(239, 119);
  R[4] = vm_inside_clip(240, 119);

  vm_set_background_colour(0);
  vm_clear();
  vm_set_pen_colour(PEN);
  vm_set_clip(300, -5, 10, 50); /* left 10, top 0, right 239, bottom 50 */
  vm_plot(239, 0);
  R[5] = vm_get_pixel(239, 0);
  R[6] = vm_get_pixel(9, 0);
  R[7] = vm_inside_clip(10, 50) << 1 | vm_inside_clip(10, 51);
  vm_reset_clip();

  /* Screen size: at least 20, at most the layer, the clip reset; the clears fill exactly the
   * shown part. */
  vm_set_fill_colour(VM_RGB(1, 2, 3));
  vm_set_clip(3, 3, 4, 4);
  vm_set_screen_size(5, 5);
  vm_clear_to_fill();
  R[8] = vm_get_pixel(19, 19);
  R[9] = vm_get_pixel(20, 19);
  vm_set_screen_size(1000, 1000);
  vm_clear();
  R[10] = vm_get_pixel(239, 119);

  /* Layers. */
  R[11] = vm_create_layer(7, 10009, 1);
  R[12] = vm_create_layer(7, 10010, 1);
  R[13] = vm_layer_width(7); /* refused before anything was released: still 10009 */
  VM_ARG16(0) = 7;
  VM_ARG16(2) = 20;
  VM_ARG16(4) = 20;
  VM_ARG8(6) = 1; /* reserved byte */
  vm_call(3, 73);
  R[14] = VM_STATUS;
  R[15] = vm_layer_width(7);
  R[16] = vm_delete_layer(0); /* current: refused */
  R[17] = vm_delete_layer(9); /* absent: fine */
  R[18] = vm_delete_layer(7);
  R[19] = vm_layer_exists(7);
  R[20] = vm_create_layer(8, 0, 10);
  VM_ARG16(0) = 8;
  vm_call(3, 75);
  R[21] = VM_ARG8(0) | (uint32_t)VM_STATUS << 8; /* not there; status is the last HostError */
  VM_STATUS = 0x55;
  vm_select_layer(123); /* absent: nothing changes, no status written */
  R[22] = VM_STATUS | (uint32_t)vm_current_layer() << 8;
  R[23] = vm_create_layer(65535, 30, 20);
  R[24] = vm_layer_width(65535) | (uint32_t)vm_layer_height(65535) << 16;
  R[25] = vm_create_layer(5, -3, 10);

  /* Pen width limits and colours. */
  vm_set_pen_width(0);
  R[26] = (uint16_t)vm_pen_width();
  vm_set_pen_width(30000);
  R[27] = (uint16_t)vm_pen_width();
  vm_set_pen_width(-5);
  R[28] = (uint16_t)vm_pen_width();
  vm_set_pen_width(1);
  vm_set_pen_colour(0x12345678UL);
  R[29] = vm_pen_colour();
  vm_set_background_rgb(1, 2, 3);
  R[30] = vm_background_colour();
  vm_set_text_colour(0xFF000001UL);
  R[31] = vm_text_colour();
  R[32] = vm_blend(0, 0x12345678UL, 0);
  R[33] = vm_blend(1, 0x00FF00FFUL, 0);
  R[34] = vm_blend(128, 0x000000FFUL, 0);
  R[35] = vm_blend(255, 0, 0xAABBCCDDUL);
  R[36] = vm_blend(100, 0x00000010UL, 0x00FFFFF0UL);

  /* Pixels. */
  vm_set_background_colour(0);
  vm_clear();
  vm_set_pen_colour(PEN);
  vm_toggle(3, 3);
  R[37] = vm_get_pixel(3, 3);
  vm_toggle(3, 3);
  R[38] = vm_get_pixel(3, 3);
  R[39] = vm_get_pixel(-1, 0);
  R[40] = vm_get_pixel(240, 0);
  vm_set_pixel(4, 4, 0xFF123456UL); /* the top byte is not kept */
  R[41] = vm_get_pixel(4, 4);
  vm_line(0, 10, 10, 10);
  R[42] = (vm_get_pixel(9, 10) == PEN) | (vm_get_pixel(10, 10) == 0) << 1;
  vm_line_to(10, 15);
  R[43] = (vm_get_pixel(10, 10) == PEN) | (vm_get_pixel(10, 14) == PEN) << 1 |
          (vm_get_pixel(10, 15) == 0) << 2;
  vm_set_fill_colour(PEN);
  vm_fill_rect(5, 20, 5, 20);
  R[44] = (vm_get_pixel(5, 20) == PEN) | (vm_get_pixel(6, 20) == 0) << 1 |
          (vm_get_pixel(5, 21) == 0) << 2 | (vm_get_pixel(4, 20) == 0) << 3;
  /* Noise with reversed corners covers the same inclusive rectangle. */
  for (uint8_t i = 0; i < 24; ++i) vm_noise(32, 33, 30, 31);
  uint32_t inside = 0, outside = 0;
  for (int16_t y = 29; y <= 35; ++y)
    for (int16_t x = 28; x <= 34; ++x) {
      const uint8_t lit = vm_get_pixel(x, y) == PEN;
      if (x >= 30 && x <= 32 && y >= 31 && y <= 33) inside += lit; else outside += lit;
    }
  R[45] = inside | outside << 16;
  uint32_t top = 0;
  for (uint8_t i = 0; i < 64; ++i) top |= vm_random_colour();
  R[46] = top >> 24 | (top & 0x00FFFFFF) << 8; /* no top byte; every colour bit seen */
  R[47] = vm_blend(128, 0x000000FFUL, 0x0000FF00UL);
  vm_set_fill_rgb(4, 5, 6);
  vm_set_text_rgb(7, 8, 9);
  R[48] = vm_fill_colour();
  R[49] = vm_text_colour();
  /* A random plot paints only on an odd draw: over many tries some pixels are painted, some not. */
  vm_set_pen_colour(PEN);
  for (int16_t x = 0; x < 64; ++x) vm_random_plot(x, 100);
  uint8_t lit = 0;
  for (int16_t x = 0; x < 64; ++x) lit += vm_get_pixel(x, 100) == PEN;
  R[50] = lit > 8 && lit < 56;
  DONE = 0xC0DE;
  vm_halt();
}
