/* COUNT fills of a 1920x1080 layer through the drawing service (FILLS=0: the same program
 * without the fills, for the start-up and the loop). */
#include "velmora_graphics.h"

#ifndef COUNT
#define COUNT 20
#endif

int main(void) {
  vm_create_layer(1, 1920, 1080);
  vm_select_layer(1);
  vm_set_screen_size(1920, 1080);
  for (uint16_t i = 0; i < COUNT; ++i) {
#if FILLS
    vm_fill_rect(0, 0, 1919, 1079);
#endif
  }
  vm_halt();
}
