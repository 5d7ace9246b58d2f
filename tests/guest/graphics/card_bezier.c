/* Cubic Bézier curves: S-curves, loops, cusps, straight and degenerate ones, huge control
 * points. */
#include "card.h"

int main(void) {
  card_begin();
  vm_bezier(4, 4, 60, 4, 4, 56, 60, 56);
  vm_set_pen_colour(YELLOW);
  vm_bezier(70, 56, 160, -10, 60, -10, 150, 56); /* loop */
  vm_set_pen_colour(GREEN);
  vm_bezier(160, 4, 236, 56, 160, 56, 236, 4); /* cusp-like */
  vm_set_pen_colour(CYAN);
  vm_bezier(4, 70, 20, 70, 40, 70, 60, 70); /* straight */
  vm_bezier(4, 80, 4, 80, 4, 80, 4, 80);    /* a point: nothing */
  vm_bezier(10, 80, 60, 110, 10, 110, 60, 80);
  vm_set_pen_colour(MAGENTA);
  vm_bezier(70, 118, -32768, -32768, 32767, -32768, 230, 118);
  vm_set_pen_colour(RED);
  vm_bezier(120, 70, 140, 60, 200, 120, 230, 70);
  card_end();
}
