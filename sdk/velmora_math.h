/* Velmora guest SDK: wide integer and single-precision arithmetic and random numbers
 * (group 9). Results replace the first operand at 0x60; the status byte is never touched.
 * A zero divisor gives a quotient of all ones and a remainder equal to the dividend; the most
 * negative value divided by -1 gives itself. */
#ifndef VELMORA_MATH_H
#define VELMORA_MATH_H

#include "velmora_gate.h"

/* Runs a 32-bit operation of group 9 on a and b and returns A32. */
static inline uint32_t vm_op32(uint8_t function, uint32_t a, uint32_t b) {
  VM_ARG32(0) = a;
  VM_ARG32(4) = b;
  vm_call(9, function);
  return VM_ARG32(0);
}

/* Runs a 64-bit operation of group 9 on a and b and returns A64. */
static inline uint64_t vm_op64(uint8_t function, uint64_t a, uint64_t b) {
  VM_ARG64(0) = a;
  VM_ARG64(8) = b;
  vm_call(9, function);
  return VM_ARG64(0);
}

/* Runs a floating-point operation of group 9 on a and b and returns the float at 0x60. */
static inline float vm_opf(uint8_t function, float a, float b) {
  VM_ARGF(0) = a;
  VM_ARGF(4) = b;
  vm_call(9, function);
  return VM_ARGF(0);
}

/* a + b, wrapping (9.1). */
static inline uint32_t vm_add32(uint32_t a, uint32_t b) {
  return vm_op32(1, a, b);
}
/* a + b, wrapping (9.2). */
static inline uint64_t vm_add64(uint64_t a, uint64_t b) {
  return vm_op64(2, a, b);
}
/* Signed a + b, wrapping (9.3). */
static inline int32_t vm_add_s32(int32_t a, int32_t b) {
  return (int32_t)vm_op32(3, a, b);
}
/* Signed a + b, wrapping (9.4). */
static inline int64_t vm_add_s64(int64_t a, int64_t b) {
  return (int64_t)vm_op64(4, a, b);
}
/* a + b in single precision (9.5). */
static inline float vm_addf(float a, float b) {
  return vm_opf(5, a, b);
}

/* a - b, wrapping (9.6). */
static inline uint32_t vm_sub32(uint32_t a, uint32_t b) {
  return vm_op32(6, a, b);
}
/* a - b, wrapping (9.7). */
static inline uint64_t vm_sub64(uint64_t a, uint64_t b) {
  return vm_op64(7, a, b);
}
/* Signed a - b, wrapping (9.8). */
static inline int32_t vm_sub_s32(int32_t a, int32_t b) {
  return (int32_t)vm_op32(8, a, b);
}
/* Signed a - b, wrapping (9.9). */
static inline int64_t vm_sub_s64(int64_t a, int64_t b) {
  return (int64_t)vm_op64(9, a, b);
}
/* a - b in single precision (9.10). */
static inline float vm_subf(float a, float b) {
  return vm_opf(10, a, b);
}

/* Low 32 bits of a * b (9.11). */
static inline uint32_t vm_mul32(uint32_t a, uint32_t b) {
  return vm_op32(11, a, b);
}
/* Low 64 bits of a * b (9.12). */
static inline uint64_t vm_mul64(uint64_t a, uint64_t b) {
  return vm_op64(12, a, b);
}
/* Signed a * b, low 32 bits (9.13). */
static inline int32_t vm_mul_s32(int32_t a, int32_t b) {
  return (int32_t)vm_op32(13, a, b);
}
/* Signed a * b, low 64 bits (9.14). */
static inline int64_t vm_mul_s64(int64_t a, int64_t b) {
  return (int64_t)vm_op64(14, a, b);
}
/* a * b in single precision (9.15). */
static inline float vm_mulf(float a, float b) {
  return vm_opf(15, a, b);
}

/* Unsigned a / b; all ones for b = 0 (9.16). */
static inline uint32_t vm_div32(uint32_t a, uint32_t b) {
  return vm_op32(16, a, b);
}
/* Unsigned a / b; all ones for b = 0 (9.17). */
static inline uint64_t vm_div64(uint64_t a, uint64_t b) {
  return vm_op64(17, a, b);
}
/* Signed a / b truncated toward zero; -1 for b = 0 (9.18). */
static inline int32_t vm_div_s32(int32_t a, int32_t b) {
  return (int32_t)vm_op32(18, a, b);
}
/* Signed a / b truncated toward zero; -1 for b = 0 (9.19). */
static inline int64_t vm_div_s64(int64_t a, int64_t b) {
  return (int64_t)vm_op64(19, a, b);
}
/* a / b in single precision (9.20). */
static inline float vm_divf(float a, float b) {
  return vm_opf(20, a, b);
}

/* Unsigned a mod b; a for b = 0 (9.21). */
static inline uint32_t vm_mod32(uint32_t a, uint32_t b) {
  return vm_op32(21, a, b);
}
/* Unsigned a mod b; a for b = 0 (9.22). */
static inline uint64_t vm_mod64(uint64_t a, uint64_t b) {
  return vm_op64(22, a, b);
}

/* value truncated to an unsigned integer; 0 above -1, 0xFFFFFFFF for -1 or less, 2^32 or
 * more and NaN (9.23). */
static inline uint32_t vm_ftou32(float value) {
  VM_ARGF(0) = value;
  vm_call(9, 23);
  return VM_ARG32(0);
}

/* A random byte (9.24). */
static inline uint8_t vm_random8(void) {
  vm_call(9, 24);
  return VM_ARG8(0);
}

/* 16 random bits (9.25). */
static inline uint16_t vm_random16(void) {
  vm_call(9, 25);
  return VM_ARG16(0);
}

/* 32 random bits (9.26). */
static inline uint32_t vm_random32(void) {
  vm_call(9, 26);
  return VM_ARG32(0);
}

/* A random float from 0.0 to 1.0 inclusive (9.27). */
static inline float vm_random_unit(void) {
  vm_call(9, 27);
  return VM_ARGF(0);
}

/* A random integer from the smaller to the larger of a and b, both included (9.28). */
static inline int32_t vm_random_between(int32_t a, int32_t b) {
  return (int32_t)vm_op32(28, a, b);
}

#endif
