/* Shared start and end of the test cards: each card clears the shown part of layer 0 to black,
 * draws one family of primitives, and stops; the runner's screenshot is compared with a golden
 * picture. */
#ifndef CARD_H
#define CARD_H

#include <velmora.h>

#define WHITE VM_RGB(255, 255, 255)
#define RED VM_RGB(255, 0, 0)
#define GREEN VM_RGB(0, 255, 0)
#define BLUE VM_RGB(0, 0, 255)
#define YELLOW VM_RGB(255, 255, 0)
#define CYAN VM_RGB(0, 255, 255)
#define MAGENTA VM_RGB(255, 0, 255)
#define GREY VM_RGB(128, 128, 128)
#define DARK VM_RGB(0, 0, 96)

static inline void card_begin(void) {
  vm_set_background_colour(0);
  vm_clear();
  vm_set_pen(1, WHITE);
  vm_set_fill_colour(DARK);
}

static inline void card_end(void) {
  vm_repaint();
  vm_halt();
}

#endif
