/* A program that shrinks the screen to 100 x 50, paints it and ends by destroying its window:
 * the screenshot must still show the picture, at the shown size. */
#include <velmora.h>

int main(void) {
  vm_set_screen_size(100, 50);
  vm_set_background_colour(VM_RGB(0, 0, 200));
  vm_clear();
  vm_set_fill_colour(VM_RGB(250, 200, 0));
  vm_fill_rect(10, 10, 19, 19);
  vm_set_pixel(99, 49, VM_RGB(1, 2, 3));
  vm_set_pixel(100, 49, VM_RGB(255, 255, 255)); /* on the layer, outside the shown part */
  vm_repaint();
  vm_exit();
}
