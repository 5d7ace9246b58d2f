/* Velmora guest SDK: the canvas and its drawing services (group 3).
 *
 * Colours are uint32_t 0x00BBGGRR (make them with VM_RGB). Coordinates are pixels of the current
 * layer, x to the right and y downwards. Lines leave out their end point and move the current
 * position there; rectangles, ellipses and rounded rectangles given by corners cover left..right-1
 * and top..bottom-1; the fills vm_fill_rect, vm_clear_rect and vm_invert_rect are inclusive.
 * Everything is clipped to the clip rectangle; nothing is shown until vm_repaint. */
#ifndef VELMORA_GRAPHICS_H
#define VELMORA_GRAPHICS_H

#include "velmora_gate.h"

#define VM_RGB(r, g, b) \
  ((uint32_t)(uint8_t)(r) | ((uint32_t)(uint8_t)(g) << 8) | ((uint32_t)(uint8_t)(b) << 16))
#define VM_NO_PIXEL 0xFFFFFFFFUL /* what vm_get_pixel answers outside the clip or the layer */
#define VM_ARC_CLOCKWISE 0
#define VM_ARC_COUNTERCLOCKWISE 1

static inline void vm_g2(uint8_t function, int16_t a, int16_t b) {
  VM_ARG16(0) = (uint16_t)a;
  VM_ARG16(2) = (uint16_t)b;
  vm_call(3, function);
}
static inline void vm_g3(uint8_t function, int16_t a, int16_t b, int16_t c) {
  VM_ARG16(4) = (uint16_t)c;
  vm_g2(function, a, b);
}
static inline void vm_g4(uint8_t function, int16_t a, int16_t b, int16_t c, int16_t d) {
  VM_ARG16(6) = (uint16_t)d;
  vm_g3(function, a, b, c);
}
static inline void vm_g5(uint8_t function, int16_t a, int16_t b, int16_t c, int16_t d, int16_t e) {
  VM_ARG16(8) = (uint16_t)e;
  vm_g4(function, a, b, c, d);
}
static inline void vm_g8(uint8_t function, int16_t a, int16_t b, int16_t c, int16_t d, int16_t e,
                         int16_t f, int16_t g, int16_t h) {
  VM_ARG16(8) = (uint16_t)e;
  VM_ARG16(10) = (uint16_t)f;
  VM_ARG16(12) = (uint16_t)g;
  VM_ARG16(14) = (uint16_t)h;
  vm_g4(function, a, b, c, d);
}
static inline void vm_gcolour(uint8_t function, uint32_t colour) {
  VM_ARG32(0) = colour;
  vm_call(3, function);
}
static inline uint32_t vm_gget32(uint8_t function) {
  vm_call(3, function);
  return VM_ARG32(0);
}

/* ---- Screen, layers and clip ---- */

/* Shows width × height of the current layer (at least 20, at most the layer) and fits the
 * window to it; the clip becomes the whole layer (3.1). */
static inline void vm_set_screen_size(int16_t width, int16_t height) {
  vm_g2(1, width, height);
}
/* Asks for the window to be repainted with the current layer (3.2). */
static inline void vm_repaint(void) {
  vm_call(3, 2);
}
/* Fills the shown part with the fill colour (3.3). */
static inline void vm_clear_to_fill(void) {
  vm_call(3, 3);
}
/* Fills the shown part with the background colour (3.4). */
static inline void vm_clear(void) {
  vm_call(3, 4);
}
/* Makes an existing layer current and shown; the clip becomes the whole layer (3.5). */
static inline void vm_select_layer(uint16_t layer) {
  VM_ARG16(0) = layer;
  vm_call(3, 5);
}
/* Creates (or re-creates) a layer of up to 10009 × 10009 pixels, black; status 0 or 2 (3.73). */
static inline uint8_t vm_create_layer(uint16_t layer, int16_t width, int16_t height) {
  VM_ARG16(0) = layer;
  VM_ARG16(2) = (uint16_t)width;
  VM_ARG16(4) = (uint16_t)height;
  VM_ARG8(6) = 0;
  vm_call(3, 73);
  return VM_STATUS;
}
/* Deletes a layer; status 0, or 2 for the current layer (3.74). */
static inline uint8_t vm_delete_layer(uint16_t layer) {
  VM_ARG16(0) = layer;
  vm_call(3, 74);
  return VM_STATUS;
}
/* 1 when the layer exists (3.75). */
static inline uint8_t vm_layer_exists(uint16_t layer) {
  VM_ARG16(0) = layer;
  vm_call(3, 75);
  return VM_ARG8(0);
}
/* The current layer (3.76). */
static inline uint16_t vm_current_layer(void) {
  vm_call(3, 76);
  return VM_ARG16(0);
}
/* A layer's width, 0 when absent (3.78). */
static inline uint16_t vm_layer_width(uint16_t layer) {
  VM_ARG16(0) = layer;
  vm_call(3, 78);
  return VM_ARG16(0);
}
/* A layer's height, 0 when absent (3.79). */
static inline uint16_t vm_layer_height(uint16_t layer) {
  VM_ARG16(0) = layer;
  vm_call(3, 79);
  return VM_ARG16(0);
}
/* Clips all drawing to the inclusive rectangle, cut to the layer (3.16). */
static inline void vm_set_clip(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(16, x1, y1, x2, y2);
}
/* Clips to the whole current layer (3.17). */
static inline void vm_reset_clip(void) {
  vm_call(3, 17);
}
/* 1 when (x, y) lies inside the clip (3.18). */
static inline uint8_t vm_inside_clip(int16_t x, int16_t y) {
  vm_g2(18, x, y);
  return VM_ARG8(0);
}

/* ---- Pen, brushes and colours ---- */

/* Pen width in pixels: 0 counts as 1, above 20000 as 20000 (3.6). */
static inline void vm_set_pen_width(int16_t width) {
  VM_ARG16(0) = (uint16_t)width;
  vm_call(3, 6);
}
/* The pen width (3.7). */
static inline int16_t vm_pen_width(void) {
  vm_call(3, 7);
  return (int16_t)VM_ARG16(0);
}
/* Colour of lines, outlines and single pixels (3.8). */
static inline void vm_set_pen_colour(uint32_t colour) {
  vm_gcolour(8, colour);
}
/* The same from three bytes (3.9). */
static inline void vm_set_pen_rgb(uint8_t r, uint8_t g, uint8_t b) {
  VM_ARG8(0) = r;
  VM_ARG8(1) = g;
  VM_ARG8(2) = b;
  vm_call(3, 9);
}
/* The pen colour (3.10). */
static inline uint32_t vm_pen_colour(void) {
  return vm_gget32(10);
}
/* Pen width and colour at once (3.42). */
static inline void vm_set_pen(int16_t width, uint32_t colour) {
  VM_ARG16(0) = (uint16_t)width;
  VM_ARG32(2) = colour;
  vm_call(3, 42);
}
/* Background colour: erasing, vm_clear, vm_clear_rect (3.11). */
static inline void vm_set_background_colour(uint32_t colour) {
  vm_gcolour(11, colour);
}
/* The same from three bytes (3.12). */
static inline void vm_set_background_rgb(uint8_t r, uint8_t g, uint8_t b) {
  VM_ARG8(0) = r;
  VM_ARG8(1) = g;
  VM_ARG8(2) = b;
  vm_call(3, 12);
}
/* The background colour (3.13). */
static inline uint32_t vm_background_colour(void) {
  return vm_gget32(13);
}
/* Fill colour: inside of filled shapes, vm_fill_rect, vm_clear_to_fill (3.45). */
static inline void vm_set_fill_colour(uint32_t colour) {
  vm_gcolour(45, colour);
}
/* The fill colour (3.46). */
static inline uint32_t vm_fill_colour(void) {
  return vm_gget32(46);
}
/* The same from three bytes (3.47). */
static inline void vm_set_fill_rgb(uint8_t r, uint8_t g, uint8_t b) {
  VM_ARG8(0) = r;
  VM_ARG8(1) = g;
  VM_ARG8(2) = b;
  vm_call(3, 47);
}
/* Colour of text (3.48). */
static inline void vm_set_text_colour(uint32_t colour) {
  vm_gcolour(48, colour);
}
/* The same from three bytes (3.49). */
static inline void vm_set_text_rgb(uint8_t r, uint8_t g, uint8_t b) {
  VM_ARG8(0) = r;
  VM_ARG8(1) = g;
  VM_ARG8(2) = b;
  vm_call(3, 49);
}
/* The text colour (3.50). */
static inline uint32_t vm_text_colour(void) {
  return vm_gget32(50);
}
/* Blends c1 (weight 0) into c2 (weight 255) (3.56). */
static inline uint32_t vm_blend(uint8_t weight, uint32_t c1, uint32_t c2) {
  VM_ARG8(0) = weight;
  *(volatile uint32_t*)0x61 = c1;
  *(volatile uint32_t*)0x65 = c2;
  vm_call(3, 56);
  return VM_ARG32(0);
}
/* A random 24-bit colour (3.72). */
static inline uint32_t vm_random_colour(void) {
  return vm_gget32(72);
}

/* ---- Pixels ---- */

/* Sets a pixel to a colour (3.14). */
static inline void vm_set_pixel(int16_t x, int16_t y, uint32_t colour) {
  VM_ARG32(4) = colour;
  vm_g2(14, x, y);
}
/* A pixel's colour, VM_NO_PIXEL outside the clip or the layer (3.15). */
static inline uint32_t vm_get_pixel(int16_t x, int16_t y) {
  vm_g2(15, x, y);
  return VM_ARG32(0);
}
/* Sets a pixel to the pen colour (3.19). */
static inline void vm_plot(int16_t x, int16_t y) {
  vm_g2(19, x, y);
}
/* Sets a pixel to the background colour (3.20). */
static inline void vm_erase(int16_t x, int16_t y) {
  vm_g2(20, x, y);
}
/* Background becomes pen colour, anything else background (3.21). */
static inline void vm_toggle(int16_t x, int16_t y) {
  vm_g2(21, x, y);
}
/* Plots with probability one half (3.22). */
static inline void vm_random_plot(int16_t x, int16_t y) {
  vm_g2(22, x, y);
}
/* Pen-coloured noise over the inclusive rectangle, each pixel with probability one half (3.26). */
static inline void vm_noise(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(26, x1, y1, x2, y2);
}

/* ---- Lines and curves ---- */

/* A dot: moves to (x, y) and draws a line of length 0 (visible only with wide pens) (3.23). */
static inline void vm_dot(int16_t x, int16_t y) {
  vm_g2(23, x, y);
}
/* Line from (x, y) to (x + length, y) (3.27). */
static inline void vm_hline(int16_t x, int16_t y, int16_t length) {
  vm_g3(27, x, y, length);
}
/* Line from (x, y) to (x, y + length) (3.28). */
static inline void vm_vline(int16_t x, int16_t y, int16_t length) {
  vm_g3(28, x, y, length);
}
/* Line from (x1, y1) to (x2, y2) (3.29). */
static inline void vm_line(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(29, x1, y1, x2, y2);
}
/* Moves the current position (3.57). */
static inline void vm_move_to(int16_t x, int16_t y) {
  vm_g2(57, x, y);
}
/* Line from the current position to (x, y) (3.58). */
static inline void vm_line_to(int16_t x, int16_t y) {
  vm_g2(58, x, y);
}
/* Arc of the ellipse in the corners from the radial through (xs, ys) to that through (xe, ye),
 * in the arc direction (3.59). */
static inline void vm_arc(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t xs,
                          int16_t ys, int16_t xe, int16_t ye) {
  vm_g8(59, left, top, right, bottom, xs, ys, xe, ye);
}
/* The same preceded by a line from the current position, which ends at the arc's end (3.60). */
static inline void vm_arc_to(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t xs,
                             int16_t ys, int16_t xe, int16_t ye) {
  vm_g8(60, left, top, right, bottom, xs, ys, xe, ye);
}
/* Line from the current position to the circle's point at `start` degrees, then the arc over
 * `sweep` degrees (counter-clockwise when positive) (3.61). */
static inline void vm_angle_arc(int16_t x, int16_t y, int16_t r, float start, float sweep) {
  VM_ARG16(0) = (uint16_t)x;
  VM_ARG16(2) = (uint16_t)y;
  VM_ARG16(4) = (uint16_t)r;
  *(volatile float*)0x66 = start;
  *(volatile float*)0x6A = sweep;
  vm_call(3, 61);
}
/* VM_ARC_CLOCKWISE or VM_ARC_COUNTERCLOCKWISE for the arc services (3.62). */
static inline void vm_set_arc_direction(uint8_t direction) {
  VM_ARG8(0) = direction;
  vm_call(3, 62);
}
/* Cubic Bézier curve from (x0, y0) to (x3, y3) with control points (x1, y1), (x2, y2) (3.63). */
static inline void vm_bezier(int16_t x0, int16_t y0, int16_t x1, int16_t y1, int16_t x2, int16_t y2,
                             int16_t x3, int16_t y3) {
  vm_g8(63, x0, y0, x1, y1, x2, y2, x3, y3);
}

/* ---- Shapes ---- */

/* Filled rectangle by corners: pen outline, fill inside (3.24). */
static inline void vm_filled_rect(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(24, x1, y1, x2, y2);
}
/* Fills x1..x2, y1..y2 inclusive with the background colour (3.25). */
static inline void vm_clear_rect(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(25, x1, y1, x2, y2);
}
/* Rectangle outline of width × height at (x, y) (3.30). */
static inline void vm_rect(int16_t x, int16_t y, int16_t width, int16_t height) {
  vm_g4(30, x, y, width, height);
}
/* Rectangle outline by corners (3.31). */
static inline void vm_rect_corners(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(31, x1, y1, x2, y2);
}
/* Circle outline in the corners (x - r, y - r), (x + r, y + r) (3.32). */
static inline void vm_circle(int16_t x, int16_t y, int16_t r) {
  vm_g3(32, x, y, r);
}
/* Filled circle (3.33). */
static inline void vm_filled_circle(int16_t x, int16_t y, int16_t r) {
  vm_g3(33, x, y, r);
}
/* Ellipse outline in the corners (3.34). */
static inline void vm_ellipse(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(34, x1, y1, x2, y2);
}
/* Rounded-rectangle outline of width × height at (x, y), corner radius r (3.35). */
static inline void vm_round_rect(int16_t x, int16_t y, int16_t width, int16_t height, int16_t r) {
  vm_g5(35, x, y, width, height, r);
}
/* Inverts every colour bit of x1..x2, y1..y2 inclusive (3.43). */
static inline void vm_invert_rect(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(43, x1, y1, x2, y2);
}
/* Fills x1..x2, y1..y2 inclusive with the fill colour (3.44). */
static inline void vm_fill_rect(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(44, x1, y1, x2, y2);
}
/* Filled rectangle of width × height at (x, y) (3.51). */
static inline void vm_filled_rect_sized(int16_t x, int16_t y, int16_t width, int16_t height) {
  vm_g4(51, x, y, width, height);
}
/* Filled ellipse in the corners (3.52). */
static inline void vm_filled_ellipse(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
  vm_g4(52, x1, y1, x2, y2);
}
/* Filled rounded rectangle of width × height at (x, y), corner radius r (3.53). */
static inline void vm_filled_round_rect(int16_t x, int16_t y, int16_t width, int16_t height,
                                        int16_t r) {
  vm_g5(53, x, y, width, height, r);
}
/* Rounded-rectangle outline by corners (3.54). */
static inline void vm_round_rect_corners(int16_t x1, int16_t y1, int16_t x2, int16_t y2,
                                         int16_t r) {
  vm_g5(54, x1, y1, x2, y2, r);
}
/* Filled rounded rectangle by corners (3.55). */
static inline void vm_filled_round_rect_corners(int16_t x1, int16_t y1, int16_t x2, int16_t y2,
                                                int16_t r) {
  vm_g5(55, x1, y1, x2, y2, r);
}
/* Chord: the arc of vm_arc closed by a straight line, filled (3.64). */
static inline void vm_chord(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t xs,
                            int16_t ys, int16_t xe, int16_t ye) {
  vm_g8(64, left, top, right, bottom, xs, ys, xe, ye);
}
/* Pie: the arc of vm_arc closed by the two radii, filled (3.65). */
static inline void vm_pie(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t xs,
                          int16_t ys, int16_t xe, int16_t ye) {
  vm_g8(65, left, top, right, bottom, xs, ys, xe, ye);
}

#endif
