// Operand fields of an instruction word and the shared flag rules. The word is seen in place in
// program memory: w[0] is the low byte, w[1] the high byte.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace velmora {

inline int FieldD5(const uint8_t* w) {
  return ((w[1] & 1) << 4) | (w[0] >> 4);
}
inline int FieldR5(const uint8_t* w) {
  return ((w[1] & 2) << 3) | (w[0] & 0x0F);
}
inline int FieldD4(const uint8_t* w) {
  return 16 + (w[0] >> 4);
}
inline int FieldR4(const uint8_t* w) {
  return 16 + (w[0] & 0x0F);
}
inline int FieldD3(const uint8_t* w) {
  return 16 + ((w[0] >> 4) & 7);
}
inline int FieldR3(const uint8_t* w) {
  return 16 + (w[0] & 7);
}
inline uint8_t FieldK8(const uint8_t* w) {
  return uint8_t(((w[1] & 0x0F) << 4) | (w[0] & 0x0F));
}
inline int FieldK6(const uint8_t* w) {
  return ((w[0] >> 2) & 0x30) | (w[0] & 0x0F);
}
inline int FieldPair(const uint8_t* w) {
  return 24 + 2 * ((w[0] >> 4) & 3);
}
inline int FieldQ(const uint8_t* w) {
  return (w[1] & 0x20) | ((w[1] & 0x0C) << 1) | (w[0] & 7);
}
inline int FieldA6(const uint8_t* w) {
  return ((w[1] & 6) << 3) | (w[0] & 0x0F);
}
inline int FieldA5(const uint8_t* w) {
  return w[0] >> 3;
}
inline int FieldB(const uint8_t* w) {
  return w[0] & 7;
}
inline int32_t FieldK7(const uint8_t* w) {
  const int k = ((w[1] & 3) << 5) | (w[0] >> 3);
  return k >= 64 ? k - 128 : k;
}
inline int32_t FieldK12(const uint8_t* w) {
  const int k = ((w[1] & 0x0F) << 8) | w[0];
  return k >= 2048 ? k - 4096 : k;
}
inline uint16_t SecondWord(const uint8_t* w) {
  return uint16_t(w[2] | (w[3] << 8));
}

inline uint8_t* Flags() {
  return Machine.flags.bit;
}

inline void SetFlagsAdd(unsigned rd, unsigned rr, unsigned r) {
  uint8_t* f = Flags();
  const unsigned carries = (rd & rr) | (rr & ~r) | (~r & rd);
  const unsigned overflow = (rd & rr & ~r) | (~rd & ~rr & r);
  f[kFlagH] = (carries >> 3) & 1;
  f[kFlagC] = (carries >> 7) & 1;
  f[kFlagV] = (overflow >> 7) & 1;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = (r & 0xFF) == 0;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
}

// Subtraction flags except Z, which the two subtraction rules treat differently.
inline void SetFlagsSubNoZ(unsigned rd, unsigned rr, unsigned r) {
  uint8_t* f = Flags();
  const unsigned borrows = (~rd & rr) | (rr & r) | (r & ~rd);
  const unsigned overflow = (rd & ~rr & ~r) | (~rd & rr & r);
  f[kFlagH] = (borrows >> 3) & 1;
  f[kFlagC] = (borrows >> 7) & 1;
  f[kFlagV] = (overflow >> 7) & 1;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
}

inline void SetFlagsSub(unsigned rd, unsigned rr, unsigned r) {
  SetFlagsSubNoZ(rd, rr, r);
  Flags()[kFlagZ] = (r & 0xFF) == 0;
}

// With carry: Z stays set only while every byte of a multi-byte result is zero.
inline void SetFlagsSubKeepZ(unsigned rd, unsigned rr, unsigned r) {
  SetFlagsSubNoZ(rd, rr, r);
  if ((r & 0xFF) != 0) Flags()[kFlagZ] = 0;
}

inline void SetFlagsLogic(unsigned r) {
  uint8_t* f = Flags();
  f[kFlagV] = 0;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = (r & 0xFF) == 0;
  f[kFlagS] = f[kFlagN];
}

}  // namespace velmora
