/* Lines and pens: a star of 1-pixel lines in every octant (end points left out), horizontal and
 * vertical lines of both signs, a polyline through the current position, single pixels. */
#include "card.h"

int main(void) {
  card_begin();
  static const int8_t ends[][2] = {
      {30, 0},  {30, 12},   {30, 30},   {12, 30},   {0, 30},  {-12, 30}, {-30, 30}, {-30, 12},
      {-30, 0}, {-30, -12}, {-30, -30}, {-12, -30}, {0, -30}, {12, -30}, {30, -30}, {30, -12}};
  for (uint8_t i = 0; i < 16; ++i) {
    vm_set_pen_colour(i & 1 ? YELLOW : WHITE);
    vm_line(40, 40, 40 + ends[i][0], 40 + ends[i][1]);
  }
  vm_set_pen_rgb(255, 0, 0);
  vm_hline(80, 10, 40);
  vm_hline(120, 14, -40);
  vm_vline(80, 20, 30);
  vm_vline(84, 50, -30);
  vm_set_pen_colour(GREEN);
  vm_move_to(90, 20);
  vm_line_to(130, 30);
  vm_line_to(95, 50);
  vm_line_to(90, 20);
  vm_line(100, 60, 101, 61); /* one pixel */
  vm_line(104, 60, 104, 60); /* nothing */
  vm_dot(108, 60);           /* nothing with a 1-pixel pen */
  /* Pixels: pen, given colour, erase, toggle twice. */
  for (int16_t x = 0; x < 40; x += 2) {
    vm_plot(140 + x, 10);
    vm_set_pixel(140 + x, 12, VM_RGB(x * 6, 255 - x * 6, 128));
  }
  vm_set_pen_colour(CYAN);
  for (int16_t x = 0; x < 40; ++x) vm_toggle(140 + x, 16);
  for (int16_t x = 0; x < 40; x += 3) vm_toggle(140 + x, 16);
  vm_erase(150, 16);
  /* Shallow and steep lines with ties. */
  vm_set_pen_colour(MAGENTA);
  vm_line(140, 30, 180, 40);
  vm_line(140, 40, 144, 42);
  vm_line(150, 40, 152, 44);
  vm_line(180, 50, 140, 60);
  vm_line(200, 10, 210, 110);
  vm_line(230, 110, 220, 10);
  /* Off the layer: clipped, nothing wraps. */
  vm_set_pen_colour(WHITE);
  vm_line(-1000, 80, 1000, 100);
  vm_line(-32768, -32768, 32767, 32767);
  card_end();
}
