/* Circles, ellipses and arcs: small circles of every radius, ellipses of even and odd sizes,
 * arcs in both directions, arc-to and angle arcs. */
#include "card.h"

int main(void) {
  card_begin();
  for (int16_t r = 0; r <= 7; ++r) {
    vm_circle(6 + r * 18, 10, r);
    vm_filled_circle(6 + r * 18, 28, r);
  }
  vm_set_pen_colour(YELLOW);
  vm_ellipse(150, 2, 180, 18);
  vm_filled_ellipse(184, 2, 215, 19);
  vm_ellipse(220, 2, 221, 30); /* one column wide */
  vm_ellipse(235, 2, 225, 30); /* reversed */
  for (int16_t i = 1; i <= 6; ++i)
    vm_ellipse(140 + i * 14 - 14, 24, 140 + i * 14 - 14 + i + 1, 24 + i + 2);
  /* Arcs of one ellipse: clockwise (default) and counter-clockwise between the same radials. */
  vm_set_pen_colour(GREEN);
  vm_arc(4, 44, 54, 84, 54, 64, 29, 44); /* right round the bottom to the top */
  vm_set_arc_direction(VM_ARC_COUNTERCLOCKWISE);
  vm_set_pen_colour(RED);
  vm_arc(60, 44, 110, 84, 110, 64, 85, 44); /* right up to the top */
  vm_set_arc_direction(VM_ARC_CLOCKWISE);
  vm_set_pen_colour(CYAN);
  vm_arc(116, 44, 156, 84, 150, 50, 150, 50); /* equal radials: the whole ellipse */
  vm_arc(120, 48, 152, 80, 120, 64, 152, 64); /* upper half */
  /* Arc-to: a line from the current position to the arc's start, ending at its end. */
  vm_set_pen_colour(MAGENTA);
  vm_move_to(160, 44);
  vm_arc_to(170, 50, 200, 80, 200, 65, 185, 80);
  vm_line_to(236, 84);
  /* Angle arcs: counter-clockwise for a positive sweep, clockwise for a negative one. */
  vm_set_pen_colour(WHITE);
  vm_move_to(4, 100);
  vm_angle_arc(30, 100, 14, 180.0f, -180.0f);
  vm_line_to(60, 100);
  vm_angle_arc(80, 100, 14, 180.0f, 270.0f);
  vm_move_to(110, 100);
  vm_angle_arc(130, 100, 12, 0.0f, 720.0f);
  vm_move_to(150, 115);
  vm_angle_arc(175, 100, 10, 45.0f, 0.0f);
  /* Huge circles are clipped and cost no more than small ones. */
  vm_set_pen_colour(GREY);
  vm_circle(200, 32767, 32767 - 100);
  vm_filled_circle(-32000, -32000, 32767);
  card_end();
}
