/* Clipping: every primitive drawn across the edges of a clip rectangle, a clip with its corners
 * reversed and off the layer, pixel writes and reads outside it. */
#include "card.h"

int main(void) {
  card_begin();
  vm_set_pen_colour(GREY);
  vm_rect(19, 19, 102, 82); /* marks the clip below */
  vm_set_clip(120, 100, 20, 20);
  vm_set_pen_colour(YELLOW);
  vm_set_fill_colour(DARK);
  vm_filled_ellipse(0, 0, 60, 60);
  vm_filled_rect(90, 10, 140, 50);
  vm_line(0, 110, 140, 0);
  vm_set_pen(5, GREEN);
  vm_circle(70, 100, 20);
  vm_set_pen(1, CYAN);
  vm_pie(80, 50, 140, 110, 140, 80, 110, 50);
  vm_set_fill_colour(RED);
  vm_fill_rect(0, 60, 30, 70);
  vm_invert_rect(110, 30, 130, 40);
  vm_noise(0, 85, 239, 90);
  for (int16_t x = 0; x < 140; x += 2) vm_plot(x, 60);
  /* Off the layer: clamped to 130..239, 60..119. */
  vm_set_clip(130, 60, 1000, 30000);
  vm_set_pen_colour(MAGENTA);
  vm_filled_rect(100, 40, 300, 200);
  vm_reset_clip();
  vm_set_pen_colour(WHITE);
  vm_line(130, 0, 239, 50);
  card_end();
}
