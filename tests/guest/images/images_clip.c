/* The image services under a clip set by the guest: saved regions show white outside it, the
 * whole-layer save ignores it and leaves it as it was, copies, fills and loads stay inside it. */
#include <velmora.h>

#define RESULTS ((volatile uint8_t*)0x100)

static void set_clip(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  VM_ARG16(0) = (uint16_t)x1;
  VM_ARG16(2) = (uint16_t)y1;
  VM_ARG16(4) = (uint16_t)x2;
  VM_ARG16(6) = (uint16_t)y2;
  vm_call(3, 16);
}

static uint8_t inside_clip(int16_t x, int16_t y) {
  VM_ARG16(0) = (uint16_t)x;
  VM_ARG16(2) = (uint16_t)y;
  vm_call(3, 18);
  return VM_ARG8(0);
}

static void set_fill_colour(uint32_t colour) {
  VM_ARG32(0) = colour;
  vm_call(3, 45);
}

int main(void) {
  vm_load_image_layer("scene.bmp", 0);
  vm_load_image_layer("src.bmp", 1);
  set_clip(10, 5, 29, 14);
  RESULTS[0] = vm_save_region("clip_region.bmp", 5, 0, 35, 20);
  RESULTS[1] = vm_save_layer("clip_layer.bmp", 0);
  RESULTS[2] = inside_clip(10, 5);
  RESULTS[3] = inside_clip(29, 14);
  RESULTS[4] = inside_clip(9, 5);
  RESULTS[5] = inside_clip(30, 14);
  vm_copy_block(1, 0, 0, 0, 0, 20, 20);
  vm_save_layer("clip_copy.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  set_clip(0, 0, 7, 15);
  set_fill_colour(0x00123456UL);
  vm_flood_fill(6, 6, VM_FLOOD_TO_BORDER);
  RESULTS[6] = vm_load_image("info40.bmp", 5, 11);
  vm_save_layer("clip_fill.bmp", 0);
  RESULTS[7] = 0xEE;
  vm_halt();
  return 0;
}
