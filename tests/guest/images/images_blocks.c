/* Block copies between layers and flood fills, each result saved as a file for the driver. The
 * fill colour is the canvas's initial white. */
#include <velmora.h>

static void fresh(void) {
  vm_load_image_layer("dest.bmp", 0);
  vm_load_image_layer("src.bmp", 1);
}

int main(void) {
  fresh();
  vm_copy_block(1, 0, 0, 5, 5, 10, 10);
  vm_save_layer("copy_basic.bmp", 0);

  fresh();
  vm_copy_block(0, 0, 0, 5, 5, 10, 10);     /* the source is the current layer */
  vm_copy_block(1, 0, 0, 10005, 0, 10, 10); /* reaches beyond 10010 */
  vm_copy_block(1, 0, 10001, 0, 0, 1, 10);  /* so does the source */
  vm_copy_block(7, 0, 0, 0, 0, 10, 10);     /* no such layer */
  vm_copy_block(1, 0, 0, 0, 0, -3, 10);     /* negative width */
  vm_copy_block(1, 0, 0, 0, 0, 10, -1);     /* negative height */
  vm_copy_block(1, 0, 0, 0, 0, 0, 10);      /* empty */
  vm_save_layer("copy_none.bmp", 0);

  fresh();
  /* The source y is clamped to 0; both blocks hang over their layers' edges. */
  vm_copy_block(1, 15, -4, 25, 22, 10, 10);
  vm_copy_block(1, -9, 18, -3, 0, 4, 4);
  vm_save_layer("copy_edges.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(6, 6, VM_FLOOD_TO_BORDER);
  vm_save_layer("fill_border.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(3, 3, VM_FLOOD_SURFACE);
  vm_save_layer("fill_surface.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(12, 10, 5);
  vm_save_layer("fill_mode5.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(0, 0, VM_FLOOD_TO_BORDER);
  vm_save_layer("fill_outside.bmp", 0);

  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(5, 3, VM_FLOOD_TO_BORDER); /* starts on the border colour */
  vm_flood_fill(1, 1, VM_FLOOD_SURFACE);   /* starts off the surface colour */
  vm_flood_fill(100, 3, VM_FLOOD_TO_BORDER);
  vm_flood_fill(-1, 3, VM_FLOOD_TO_BORDER);
  vm_save_layer("fill_none.bmp", 0);

  /* White on white: mode 0 must still end. */
  vm_load_image_layer("outline.bmp", 0);
  vm_flood_fill(0, 0, VM_FLOOD_TO_BORDER);
  vm_flood_fill(0, 0, VM_FLOOD_TO_BORDER);
  vm_save_layer("fill_twice.bmp", 0);

  /* Hundreds of one-pixel gaps in a row: the fill's queue of seeds grows while it wraps. */
  vm_load_image_layer("comb.bmp", 0);
  vm_flood_fill(0, 0, VM_FLOOD_TO_BORDER);
  vm_save_layer("fill_comb.bmp", 0);
  vm_halt();
  return 0;
}
