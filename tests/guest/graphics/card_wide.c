/* Wide pens: round caps and joins on lines, polylines, rectangles, ellipses, rounded rectangles,
 * arcs, pies, curves and dots; even and odd widths. */
#include "card.h"

int main(void) {
  card_begin();
  for (int16_t w = 2; w <= 7; ++w) {
    vm_set_pen(w, w & 1 ? WHITE : YELLOW);
    vm_line(4 + (w - 2) * 14, 6, 14 + (w - 2) * 14, 30);
    vm_dot(8 + (w - 2) * 14, 40);
  }
  vm_set_pen(9, GREEN);
  vm_move_to(90, 10);
  vm_line_to(130, 10);
  vm_line_to(110, 40);
  vm_set_pen(4, CYAN);
  vm_hline(140, 8, 30);
  vm_vline(180, 6, 30);
  vm_set_pen(3, RED);
  vm_rect(190, 8, 40, 24);
  vm_set_pen(6, MAGENTA);
  vm_filled_rect(10, 54, 50, 80);
  vm_set_pen(5, WHITE);
  vm_ellipse(60, 54, 110, 84);
  vm_set_pen(8, YELLOW);
  vm_filled_circle(135, 70, 14);
  vm_set_pen(4, GREEN);
  vm_round_rect(160, 52, 70, 30, 10);
  vm_set_pen(6, CYAN);
  vm_arc(10, 90, 60, 118, 60, 104, 10, 104);
  vm_set_pen(5, RED);
  vm_pie(70, 90, 110, 118, 110, 104, 90, 90);
  vm_set_pen(7, WHITE);
  vm_bezier(120, 115, 140, 80, 180, 130, 200, 92);
  vm_set_pen(20, GREY);
  vm_dot(222, 105);
  vm_set_pen(20000, DARK); /* the widest pen: bounded work */
  vm_line(-30000, 30000, -29000, 30000);
  card_end();
}
