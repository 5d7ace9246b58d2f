/* The image services under a clip set by the guest: saved regions show white outside it, the
 * whole-layer save ignores it and leaves it as it was, copies, fills and loads stay inside it. */
#include <velmora.h>

#define RESULTS ((volatile uint8_t*)0x100)

int main(void) {
  vm_load_image_layer("scene.bmp", 0);
  vm_load_image_layer("src.bmp", 1);
  vm_set_clip(10, 5, 29, 14);
  RESULTS[0] = vm_save_region("clip_region.bmp", 5, 0, 35, 20);
  RESULTS[1] = vm_save_layer("clip_layer.bmp", 0);
  RESULTS[2] = vm_inside_clip(10, 5);
  RESULTS[3] = vm_inside_clip(29, 14);
  RESULTS[4] = vm_inside_clip(9, 5);
  RESULTS[5] = vm_inside_clip(30, 14);
  vm_copy_block(1, 0, 0, 0, 0, 20, 20);
  vm_save_layer("clip_copy.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_set_clip(0, 0, 7, 15);
  vm_set_fill_colour(0x00123456UL);
  vm_flood_fill(6, 6, VM_FLOOD_TO_BORDER);
  RESULTS[6] = vm_load_image("info40.bmp", 5, 11);
  vm_save_layer("clip_fill.bmp", 0);
  RESULTS[7] = 0xEE;
  vm_halt();
  return 0;
}
