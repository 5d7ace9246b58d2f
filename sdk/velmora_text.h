/* Velmora guest SDK: text services (group 3, functions 36 to 41). Text is drawn in the text
 * colour on the current layer, under the clip, without a background. */
#ifndef VELMORA_TEXT_H
#define VELMORA_TEXT_H

#include "velmora_gate.h"

/* Built-in bitmap font 0-7 with `spacing` extra pixels after every character (may be 0 or
 * negative). Returns 0, or 1 when font is above 7 (font 0 and spacing 1 are taken instead). */
static inline uint8_t vm_builtin_font(uint16_t font, int16_t spacing) {
  VM_ARG16(0) = font;
  VM_ARG16(2) = (uint16_t)spacing;
  vm_call(3, 36);
  return VM_STATUS;
}

/* Creates a system font into `slot`: the installed face nearest to `face`, a cell `height` in
 * pixels (0: default), bold, italic, underline and strike-out when non-zero. Returns 0, or 1
 * when only the fallback font could be had. Does not select the slot. */
static inline uint8_t vm_create_font(uint8_t slot, uint16_t height, uint8_t bold, uint8_t italic,
                                     uint8_t underline, uint8_t strikeout, const char* face) {
  VM_ARG8(0) = slot;
  VM_ARG8(1) = (uint8_t)height;
  VM_ARG8(2) = (uint8_t)(height >> 8);
  VM_ARG8(3) = bold;
  VM_ARG8(4) = italic;
  VM_ARG8(5) = underline;
  VM_ARG8(6) = strikeout;
  VM_ARG8(7) = (uint8_t)(uint16_t)face;
  VM_ARG8(8) = (uint8_t)((uint16_t)face >> 8);
  vm_call(3, 37);
  return VM_STATUS;
}

/* Switches text to the system font of `slot` (slot 0 holds the fixed-pitch system font). */
static inline void vm_system_font(uint8_t slot) {
  VM_ARG8(0) = slot;
  vm_call(3, 38);
}

/* Measures `text` in the current font: its width and height in pixels. */
static inline void vm_measure_text(const char* text, uint16_t* width, uint16_t* height) {
  VM_ARG16(0) = (uint16_t)width;
  VM_ARG16(2) = (uint16_t)height;
  VM_ARG16(4) = (uint16_t)text;
  vm_call(3, 39);
}

/* Draws `text` with its top-left at (x, y). Returns the x just right of the text (built-in
 * fonts) or y plus the height of the drawn lines (system fonts). */
static inline int16_t vm_draw_text(int16_t x, int16_t y, const char* text) {
  VM_ARG16(0) = (uint16_t)x;
  VM_ARG16(2) = (uint16_t)y;
  VM_ARG16(4) = (uint16_t)text;
  vm_call(3, 40);
  return (int16_t)VM_ARG16(0);
}

/* Draws `text` at y centred between x1 and x2 (in either order). */
static inline void vm_draw_centred_text(int16_t x1, int16_t x2, int16_t y, const char* text) {
  VM_ARG16(0) = (uint16_t)x1;
  VM_ARG16(2) = (uint16_t)x2;
  VM_ARG16(4) = (uint16_t)y;
  VM_ARG16(6) = (uint16_t)text;
  vm_call(3, 41);
}

#endif
