/* Velmora guest SDK: image files, block copies and flood fill.
 *
 * Image functions return the status: 0 success, 1 the file cannot be opened or created (save
 * layer: the layer does not exist), 2 not a BMP file (load as layer: the layer cannot be
 * created), 3 unknown info header size, 5 compressed, 6 not 24 bits per pixel, 8 a write failed
 * after the file was created. */
#ifndef VELMORA_IMAGES_H
#define VELMORA_IMAGES_H

#include "velmora_gate.h"

/* Flood fills stop at, or fill, this one colour (red 50, green 50, blue 0). */
#define VM_FLOOD_COLOUR 0x00003232UL
#define VM_FLOOD_TO_BORDER 0 /* fill outward until the flood colour */
#define VM_FLOOD_SURFACE 1   /* fill the connected area of the flood colour */

/* Saves the whole layer as a 24-bit BMP file, whatever the clip. */
static inline uint8_t vm_save_layer(const char* name, uint16_t layer) {
  VM_ARG16(0) = (uint16_t)name;
  VM_ARG16(2) = layer;
  vm_call(3, 66);
  return VM_STATUS;
}

/* Saves columns left..right-1 and rows top..bottom-1 of the current layer; pixels outside the
 * clip are saved white. Each value is clamped to 0..10009. */
static inline uint8_t vm_save_region(const char* name, int16_t left, int16_t top, int16_t right,
                                     int16_t bottom) {
  VM_ARG16(0) = (uint16_t)name;
  VM_ARG16(2) = (uint16_t)top;
  VM_ARG16(4) = (uint16_t)left;
  VM_ARG16(6) = (uint16_t)right;
  VM_ARG16(8) = (uint16_t)bottom;
  vm_call(3, 67);
  return VM_STATUS;
}

/* Draws a BMP file with its top-left pixel at (x, y) of the current layer, under the clip. */
static inline uint8_t vm_load_image(const char* name, int16_t x, int16_t y) {
  VM_ARG16(0) = (uint16_t)name;
  VM_ARG16(2) = (uint16_t)x;
  VM_ARG16(4) = (uint16_t)y;
  vm_call(3, 68);
  return VM_STATUS;
}

/* Reads a BMP file's size; both are 0 when the status is not 0. */
static inline uint8_t vm_image_size(const char* name, uint16_t* width, uint16_t* height) {
  VM_ARG16(0) = (uint16_t)name;
  VM_ARG16(2) = (uint16_t)width;
  VM_ARG16(4) = (uint16_t)height;
  vm_call(3, 69);
  return VM_STATUS;
}

/* Copies width × height pixels from (source_x, source_y) of another layer to (x, y) of the
 * current layer, under the clip. Nothing happens when the source is the current layer or
 * absent, or when the block would reach beyond 10010 in any direction. */
static inline void vm_copy_block(uint16_t source_layer, int16_t source_x, int16_t source_y,
                                 int16_t x, int16_t y, int16_t width, int16_t height) {
  VM_ARG16(0) = source_layer;
  VM_ARG16(2) = (uint16_t)source_x;
  VM_ARG16(4) = (uint16_t)source_y;
  VM_ARG16(6) = (uint16_t)x;
  VM_ARG16(8) = (uint16_t)y;
  VM_ARG16(10) = (uint16_t)width;
  VM_ARG16(12) = (uint16_t)height;
  vm_call(3, 70);
}

/* Flood fills from (x, y) with the fill colour, under the clip; mode VM_FLOOD_TO_BORDER or
 * VM_FLOOD_SURFACE (any mode above 1 counts as 1). */
static inline void vm_flood_fill(int16_t x, int16_t y, uint8_t mode) {
  VM_ARG16(0) = (uint16_t)x;
  VM_ARG16(2) = (uint16_t)y;
  VM_ARG8(4) = mode;
  vm_call(3, 71);
}

/* Loads a BMP file as a layer of the image's size; the current layer stays current (loading
 * into the current layer also sets the screen size to the image's size). */
static inline uint8_t vm_load_image_layer(const char* name, uint16_t layer) {
  VM_ARG16(0) = (uint16_t)name;
  VM_ARG16(2) = layer;
  vm_call(3, 77);
  return VM_STATUS;
}

#endif
