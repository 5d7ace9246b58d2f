/* Layers: a failed re-creation of the current layer (drawing lands on the spare surface until
 * another layer is selected), drawing on another layer, switching back and forth, a bigger layer
 * shown through a smaller screen, the clip kept or reset by selection, re-creating the current
 * layer. The card shows layer 1 at the end. */
#include "card.h"

int main(void) {
  card_begin();
  vm_filled_circle(20, 20, 15); /* layer 0, not shown at the end */
  vm_create_layer(3, 50, 50);
  vm_select_layer(3);
  vm_create_layer(3, 0, 50); /* refused: layer 3 absent, the spare surface takes the drawing */
  vm_set_fill_colour(GREY);
  vm_fill_rect(0, 0, 299, 299);
  vm_create_layer(1, 300, 200);
  vm_select_layer(1);
  vm_set_fill_colour(RED);
  vm_fill_rect(0, 0, 299, 199);
  vm_set_pen_colour(YELLOW);
  vm_line(0, 0, 299, 199); /* reaches past the shown 240 x 120 */
  vm_select_layer(0);
  vm_set_pen_colour(GREEN);
  vm_line(0, 0, 40, 40); /* layer 0 again */
  vm_select_layer(1);
  vm_set_clip(10, 10, 60, 60);
  vm_select_layer(1); /* already current: the clip stays */
  vm_set_fill_colour(BLUE);
  vm_fill_rect(0, 0, 100, 100);
  /* Re-create the current layer: the shown size follows it. */
  vm_create_layer(2, 64, 48);
  vm_select_layer(2);
  vm_set_fill_colour(CYAN);
  vm_fill_rect(0, 0, 63, 47);
  vm_create_layer(2, 80, 60); /* fresh, black, ScreenSize 80 x 60 */
  vm_set_pen_colour(WHITE);
  vm_rect(0, 0, 80, 60);
  vm_select_layer(1);             /* ScreenSize stays 80 x 60 */
  vm_set_screen_size(1000, 1000); /* at most the layer: 300 x 200 */
  vm_set_screen_size(240, 120);
  vm_set_pen(3, MAGENTA);
  vm_ellipse(150, 20, 230, 110);
  vm_set_pen(1, WHITE);
  vm_line(100, 0, 100, 300); /* the clip is the whole layer again */
  card_end();
}
