/* Chords and pies: quarter, half and three-quarter sweeps in both directions, equal radials,
 * radials far outside the ellipse. */
#include "card.h"

static const int16_t radials[][4] = {
    {40, 20, 20, 0},  /* right to top */
    {40, 20, 0, 20},  /* right to left */
    {20, 0, 40, 20},  /* top to right */
    {40, 40, 0, 0},   /* corner to corner */
    {30, 20, 30, 20}, /* equal: whole ellipse */
    {500, 30, -500, 29},
};

int main(void) {
  card_begin();
  for (uint8_t i = 0; i < 6; ++i) {
    const int16_t x = 2 + i * 39, y = 2;
    vm_set_fill_colour(DARK);
    vm_set_pen_colour(YELLOW);
    vm_pie(x, y, x + 36, y + 36, x + radials[i][0] - 2, y + radials[i][1] - 2,
           x + radials[i][2] - 2, y + radials[i][3] - 2);
    vm_set_fill_colour(VM_RGB(96, 0, 0));
    vm_set_pen_colour(CYAN);
    vm_chord(x, y + 40, x + 36, y + 76, x + radials[i][0] - 2, y + 40 + radials[i][1] - 2,
             x + radials[i][2] - 2, y + 40 + radials[i][3] - 2);
  }
  vm_set_arc_direction(VM_ARC_COUNTERCLOCKWISE);
  for (uint8_t i = 0; i < 4; ++i) {
    const int16_t x = 2 + i * 39, y = 82;
    vm_set_fill_colour(VM_RGB(0, 80, 0));
    vm_set_pen_colour(WHITE);
    vm_pie(x, y, x + 36, y + 36, x + radials[i][0] - 2, y + radials[i][1] - 2,
           x + radials[i][2] - 2, y + radials[i][3] - 2);
  }
  vm_set_fill_colour(VM_RGB(80, 0, 80));
  vm_chord(160, 82, 236, 118, 236, 100, 160, 90);
  card_end();
}
