/* Image files through the guest's services: header queries on files of every kind, layers
 * loaded from files and saved again, regions, and drawing a file into the current layer. Each
 * status is recorded from 0x100 on for the test driver. */
#include <velmora.h>

#define RESULTS ((volatile uint8_t*)0x100)

static uint8_t count;

static void record(uint8_t value) {
  RESULTS[count++] = value;
}

static void record16(uint16_t value) {
  record((uint8_t)value);
  record((uint8_t)(value >> 8));
}

static const char* const queried[] = {"core12.bmp", "info40.bmp",  "v52.bmp",      "v56.bmp",
                                      "v4_108.bmp", "v5_124.bmp",  "topdown.bmp",  "rgba32.bmp",
                                      "pal8.bmp",   "rle8.bmp",    "os2v2_64.bmp", "rle24.bmp",
                                      "text.txt",   "missing.bmp", "big640.bmp"};

static const char* const accepted[] = {"core12.bmp", "info40.bmp", "v52.bmp",    "v56.bmp",
                                       "v4_108.bmp", "v5_124.bmp", "topdown.bmp"};
static const char* const resaved[] = {"out_core12.bmp", "out_info40.bmp", "out_v52.bmp",
                                      "out_v56.bmp",    "out_v4_108.bmp", "out_v5_124.bmp",
                                      "out_topdown.bmp"};

int main(void) {
  uint8_t i;
  for (i = 0; i < sizeof queried / sizeof queried[0]; ++i) {
    uint16_t width = 0xAAAA, height = 0xBBBB;
    record(vm_image_size(queried[i], &width, &height));
    record16(width);
    record16(height);
  }
  /* 0x14B */
  for (i = 0; i < sizeof accepted / sizeof accepted[0]; ++i) {
    record(vm_load_image_layer(accepted[i], 10 + i));
    record(vm_save_layer(resaved[i], 10 + i));
  }
  /* 0x159: files in this system's own form come back byte for byte. */
  record(vm_load_image_layer("rt32.bmp", 2));
  record(vm_save_layer("rt32_out.bmp", 2));
  record(vm_load_image_layer("rt41.bmp", 3));
  record(vm_save_layer("rt41_out.bmp", 3));
  /* 0x15D */
  record(vm_save_layer("absent.bmp", 999));
  record(vm_load_image_layer("wide10010.bmp", 4));
  record(vm_load_image_layer("rgba32.bmp", 4));
  record(vm_save_layer("never.bmp", 4));
  /* 0x161: the current layer becomes the 40 x 20 scene. */
  record(vm_load_image_layer("scene.bmp", 0));
  record(vm_save_region("region.bmp", 20, 10, 30, 15));
  record(vm_save_region("region_clamped.bmp", -5, -7, 3, 2));
  record(vm_save_region("region_outside.bmp", 38, 18, 42, 21));
  record(vm_save_region("region_inverted.bmp", 30, 15, 20, 10));
  record(vm_save_region("region_narrow.bmp", 30, 10, 20, 15));
  /* 0x167: loading another layer leaves the scene current: the next loads draw on it. */
  record(vm_load_image_layer("info40.bmp", 5));
  record(vm_load_image("info40.bmp", -2, 17));
  record(vm_load_image("topdown.bmp", 20, 5));
  record(vm_load_image("rgba32.bmp", 0, 0));
  record(vm_load_image("missing.bmp", 0, 0));
  /* A height near 2^31 below a positive y: its few rows of data all fall far below the layer. */
  record(vm_load_image("tall.bmp", 3, 1));
  record(vm_save_layer("scene_loaded.bmp", 0));
  /* 0x16E */
  record(vm_save_layer("no\\such\\dir\\x.bmp", 0));
  record(0xEE);
  vm_halt();
  return 0;
}
