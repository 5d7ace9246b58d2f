/* The bundled demo: draws a small test card with shapes, a curve and text in a system font and
 * the built-in fonts, counts the primes below 1000 with the host's arithmetic services, and ends
 * by destroying its window. Run it with a screenshot to see the card:
 *
 *   velmora-run --screenshot demo.png --dump-memory 0x1F0:4 demo.hex
 */
#include "velmora.h"

/* Results for --dump-memory, at fixed addresses above the service arguments: the prime count at
 * 0x1F0 and the last prime found at 0x1F2. */
#define prime_count (*(volatile uint16_t*)0x1F0)
#define last_prime (*(volatile uint16_t*)0x1F2)

static void count_primes(void) {
  uint16_t count = 0, last = 0;
  for (uint16_t n = 2; n < 1000; ++n) {
    uint8_t prime = 1;
    for (uint16_t d = 2; d * d <= n; ++d) {
      if (vm_mod32(n, d) == 0) {
        prime = 0;
        break;
      }
    }
    if (prime) {
      ++count;
      last = n;
    }
  }
  prime_count = count;
  last_prime = last;
}

int main(void) {
  /* Layer 0 starts at 240 × 120: re-create it larger, then show all of it. */
  vm_create_layer(0, 320, 200);
  vm_set_screen_size(320, 200);
  vm_set_background_colour(VM_RGB(16, 24, 48));
  vm_clear();

  /* Stripes in the fill colour, from dark to light. */
  for (uint8_t i = 0; i < 8; ++i) {
    vm_set_fill_rgb((uint8_t)(40 + 25 * i), (uint8_t)(60 + 20 * i), 160);
    vm_fill_rect((int16_t)(i * 40), 150, (int16_t)(i * 40 + 39), 199);
  }

  vm_set_pen(3, VM_RGB(255, 200, 0));
  vm_set_fill_rgb(220, 40, 60);
  vm_filled_circle(60, 90, 35);
  vm_set_fill_rgb(40, 200, 120);
  vm_filled_round_rect(120, 60, 80, 60, 12);
  vm_set_pen(1, VM_RGB(255, 255, 255));
  vm_set_fill_rgb(250, 220, 60);
  vm_pie(220, 55, 300, 135, 300, 95, 260, 55);
  vm_set_pen(2, VM_RGB(120, 220, 255));
  vm_bezier(10, 140, 100, 40, 220, 240, 310, 140);

  vm_set_text_rgb(255, 255, 255);
  vm_draw_text(8, 6, "Velmora demo");
  vm_builtin_font(7, 1);
  vm_draw_text(8, 26, "Hello!");
  vm_builtin_font(0, 1);
  vm_set_text_rgb(0, 0, 0);
  vm_draw_text(8, 186, "built-in font 0: ABC abc 123");

  count_primes();
  vm_repaint();
  vm_exit();
  return 0;
}
