/* Rectangles and rounded rectangles: filled and outlined, by corners and by size, reversed and
 * degenerate corners, the inclusive fills and inversion. */
#include "card.h"

int main(void) {
  card_begin();
  vm_filled_rect(4, 4, 24, 20);      /* pen outline, dark inside, 4..23 x 4..19 */
  vm_rect(30, 4, 20, 16);            /* outline only */
  vm_rect_corners(76, 20, 56, 4);    /* reversed corners */
  vm_filled_rect_sized(82, 4, 1, 1); /* one pixel */
  vm_filled_rect(86, 4, 86, 20);     /* zero width: nothing */
  vm_filled_rect(90, 4, 92, 6);      /* 2 x 2: all outline */
  vm_set_fill_colour(GREEN);
  vm_fill_rect(96, 4, 100, 8);  /* inclusive 5 x 5 */
  vm_fill_rect(110, 8, 106, 4); /* reversed */
  vm_set_background_colour(RED);
  vm_clear_rect(114, 4, 118, 8);
  vm_set_background_colour(0);
  vm_set_fill_colour(DARK);
  vm_fill_rect(124, 4, 124, 4); /* one pixel */
  vm_set_pen_colour(YELLOW);
  vm_round_rect(4, 28, 40, 20, 5);
  vm_filled_round_rect(50, 28, 40, 20, 5);
  vm_round_rect_corners(96, 28, 136, 48, 10);
  vm_filled_round_rect_corners(142, 48, 182, 28, 20); /* corners larger than the box */
  vm_round_rect(188, 28, 12, 8, 2);
  vm_filled_round_rect(204, 28, 30, 20, 0);
  vm_set_pen_colour(CYAN);
  for (int16_t i = 1; i <= 8; ++i) vm_rect(4 + i * 12 - 12, 56, i, i);
  for (int16_t i = 1; i <= 8; ++i) vm_round_rect(4 + i * 14 - 14, 70, i + 3, i + 3, i / 2 + 1);
  /* Inversion over shapes. */
  vm_set_fill_colour(MAGENTA);
  vm_filled_round_rect(130, 60, 100, 50, 12);
  vm_invert_rect(150, 70, 210, 100);
  vm_invert_rect(200, 90, 160, 80); /* reversed: inverted twice back */
  /* Huge and off-layer rectangles are clipped. */
  vm_set_pen_colour(GREY);
  vm_rect_corners(-32768, 112, 32767, 32767);
  vm_filled_rect(-500, 100, 20, 118);
  card_end();
}
