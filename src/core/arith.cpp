// Arithmetic and logic instructions: each computes, stores (except the compares), sets exactly
// its flags and advances pc by one word.
#include "core/fields.h"
#include "core/handlers.h"

namespace velmora {

namespace {

uint8_t* const R = Machine.data;

inline void Next() {
  Machine.pc += 1;
}

// The 16-bit product goes to R1:R0; C is bit 15 of the product, Z tests the stored value.
inline void StoreProduct(uint32_t product, bool fractional) {
  const uint16_t p = uint16_t(product);
  const uint16_t stored = fractional ? uint16_t(p << 1) : p;
  R[0] = uint8_t(stored);
  R[1] = uint8_t(stored >> 8);
  Flags()[kFlagC] = (p >> 15) & 1;
  Flags()[kFlagZ] = stored == 0;
  Next();
}

}  // namespace

// ADD: add without carry. 0000 11rd dddd rrrr
void ExecADD(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], rr = R[FieldR5(w)], r = (rd + rr) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsAdd(rd, rr, r);
  Next();
}

// ADC: add with carry. 0001 11rd dddd rrrr
void ExecADC(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], rr = R[FieldR5(w)], r = (rd + rr + Flags()[kFlagC]) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsAdd(rd, rr, r);
  Next();
}

// SUB: subtract without carry. 0001 10rd dddd rrrr
void ExecSUB(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], rr = R[FieldR5(w)], r = (rd - rr) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsSub(rd, rr, r);
  Next();
}

// SBC: subtract with carry. 0000 10rd dddd rrrr
void ExecSBC(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], rr = R[FieldR5(w)], r = (rd - rr - Flags()[kFlagC]) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsSubKeepZ(rd, rr, r);
  Next();
}

// CP: compare. 0001 01rd dddd rrrr
void ExecCP(const uint8_t* w) {
  const unsigned rd = R[FieldD5(w)], rr = R[FieldR5(w)];
  SetFlagsSub(rd, rr, (rd - rr) & 0xFF);
  Next();
}

// CPC: compare with carry. 0000 01rd dddd rrrr
void ExecCPC(const uint8_t* w) {
  const unsigned rd = R[FieldD5(w)], rr = R[FieldR5(w)];
  SetFlagsSubKeepZ(rd, rr, (rd - rr - Flags()[kFlagC]) & 0xFF);
  Next();
}

// AND: logical and. 0010 00rd dddd rrrr
void ExecAND(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned r = R[d] & R[FieldR5(w)];
  R[d] = uint8_t(r);
  SetFlagsLogic(r);
  Next();
}

// OR: logical or. 0010 10rd dddd rrrr
void ExecOR(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned r = R[d] | R[FieldR5(w)];
  R[d] = uint8_t(r);
  SetFlagsLogic(r);
  Next();
}

// EOR: exclusive or. 0010 01rd dddd rrrr
void ExecEOR(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned r = R[d] ^ R[FieldR5(w)];
  R[d] = uint8_t(r);
  SetFlagsLogic(r);
  Next();
}

// SUBI: subtract immediate. 0101 KKKK dddd KKKK
void ExecSUBI(const uint8_t* w) {
  const int d = FieldD4(w);
  const unsigned rd = R[d], k = FieldK8(w), r = (rd - k) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsSub(rd, k, r);
  Next();
}

// SBCI: subtract immediate with carry. 0100 KKKK dddd KKKK
void ExecSBCI(const uint8_t* w) {
  const int d = FieldD4(w);
  const unsigned rd = R[d], k = FieldK8(w), r = (rd - k - Flags()[kFlagC]) & 0xFF;
  R[d] = uint8_t(r);
  SetFlagsSubKeepZ(rd, k, r);
  Next();
}

// CPI: compare with immediate. 0011 KKKK dddd KKKK
void ExecCPI(const uint8_t* w) {
  const unsigned rd = R[FieldD4(w)], k = FieldK8(w);
  SetFlagsSub(rd, k, (rd - k) & 0xFF);
  Next();
}

// ANDI: logical and with immediate. 0111 KKKK dddd KKKK
void ExecANDI(const uint8_t* w) {
  const int d = FieldD4(w);
  const unsigned r = R[d] & FieldK8(w);
  R[d] = uint8_t(r);
  SetFlagsLogic(r);
  Next();
}

// ORI: logical or with immediate. 0110 KKKK dddd KKKK
void ExecORI(const uint8_t* w) {
  const int d = FieldD4(w);
  const unsigned r = R[d] | FieldK8(w);
  R[d] = uint8_t(r);
  SetFlagsLogic(r);
  Next();
}

// COM: one's complement. 1001 010d dddd 0000
void ExecCOM(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned r = 0xFF - R[d];
  R[d] = uint8_t(r);
  uint8_t* f = Flags();
  f[kFlagC] = 1;
  f[kFlagV] = 0;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = r == 0;
  f[kFlagS] = f[kFlagN];
  Next();
}

// NEG: two's complement. 1001 010d dddd 0001
void ExecNEG(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], r = (0x100 - rd) & 0xFF;
  R[d] = uint8_t(r);
  uint8_t* f = Flags();
  f[kFlagH] = ((r | rd) >> 3) & 1;
  f[kFlagV] = r == 0x80;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = r == 0;
  f[kFlagC] = r != 0;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  Next();
}

// SWAP: exchange nibbles. 1001 010d dddd 0010
void ExecSWAP(const uint8_t* w) {
  const int d = FieldD5(w);
  R[d] = uint8_t((R[d] << 4) | (R[d] >> 4));
  Next();
}

// INC: increment, C and H kept. 1001 010d dddd 0011
void ExecINC(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned r = (R[d] + 1) & 0xFF;
  R[d] = uint8_t(r);
  uint8_t* f = Flags();
  f[kFlagV] = r == 0x80;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = r == 0;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  Next();
}

// DEC: decrement, C and H kept. 1001 010d dddd 1010
void ExecDEC(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d], r = (rd - 1) & 0xFF;
  R[d] = uint8_t(r);
  uint8_t* f = Flags();
  f[kFlagV] = rd == 0x80;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagZ] = r == 0;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  Next();
}

namespace {

// The shift rules shared by ASR, LSR and ROR.
inline void StoreShift(int d, unsigned rd, unsigned r) {
  R[d] = uint8_t(r);
  uint8_t* f = Flags();
  f[kFlagC] = rd & 1;
  f[kFlagN] = (r >> 7) & 1;
  f[kFlagV] = f[kFlagN] ^ f[kFlagC];
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  f[kFlagZ] = r == 0;
  Next();
}

}  // namespace

// ASR: arithmetic shift right. 1001 010d dddd 0101
void ExecASR(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d];
  StoreShift(d, rd, (rd & 0x80) | (rd >> 1));
}

// LSR: logical shift right. 1001 010d dddd 0110
void ExecLSR(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d];
  StoreShift(d, rd, rd >> 1);
}

// ROR: rotate right through carry. 1001 010d dddd 0111
void ExecROR(const uint8_t* w) {
  const int d = FieldD5(w);
  const unsigned rd = R[d];
  StoreShift(d, rd, (Flags()[kFlagC] << 7) | (rd >> 1));
}

// ADIW: add immediate to word. 1001 0110 KKdd KKKK
void ExecADIW(const uint8_t* w) {
  const int p = FieldPair(w);
  const unsigned before = R[p] | (R[p + 1] << 8), r = (before + FieldK6(w)) & 0xFFFF;
  R[p] = uint8_t(r);
  R[p + 1] = uint8_t(r >> 8);
  uint8_t* f = Flags();
  const unsigned rdh7 = before >> 15, r15 = r >> 15;
  f[kFlagV] = (rdh7 ^ 1) & r15;
  f[kFlagN] = r15;
  f[kFlagZ] = r == 0;
  f[kFlagC] = (r15 ^ 1) & rdh7;
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  Next();
}

// SBIW: subtract immediate from word. 1001 0111 KKdd KKKK
void ExecSBIW(const uint8_t* w) {
  const int p = FieldPair(w);
  const unsigned before = R[p] | (R[p + 1] << 8), r = (before - FieldK6(w)) & 0xFFFF;
  R[p] = uint8_t(r);
  R[p + 1] = uint8_t(r >> 8);
  uint8_t* f = Flags();
  const unsigned rdh7 = before >> 15, r15 = r >> 15;
  f[kFlagV] = rdh7 & (r15 ^ 1);
  f[kFlagN] = r15;
  f[kFlagZ] = r == 0;
  f[kFlagC] = r15 & (rdh7 ^ 1);
  f[kFlagS] = f[kFlagN] ^ f[kFlagV];
  Next();
}

// MUL: multiply unsigned. 1001 11rd dddd rrrr
void ExecMUL(const uint8_t* w) {
  StoreProduct(R[FieldD5(w)] * R[FieldR5(w)], false);
}

// MULS: multiply signed. 0000 0010 dddd rrrr
void ExecMULS(const uint8_t* w) {
  StoreProduct(uint32_t(int8_t(R[FieldD4(w)]) * int8_t(R[FieldR4(w)])), false);
}

// MULSU: multiply signed with unsigned. 0000 0011 0ddd 0rrr
void ExecMULSU(const uint8_t* w) {
  StoreProduct(uint32_t(int8_t(R[FieldD3(w)]) * R[FieldR3(w)]), false);
}

// FMUL: fractional multiply unsigned. 0000 0011 0ddd 1rrr
void ExecFMUL(const uint8_t* w) {
  StoreProduct(R[FieldD3(w)] * R[FieldR3(w)], true);
}

// FMULS: fractional multiply signed. 0000 0011 1ddd 0rrr
void ExecFMULS(const uint8_t* w) {
  StoreProduct(uint32_t(int8_t(R[FieldD3(w)]) * int8_t(R[FieldR3(w)])), true);
}

// FMULSU: fractional multiply signed with unsigned. 0000 0011 1ddd 1rrr
void ExecFMULSU(const uint8_t* w) {
  StoreProduct(uint32_t(int8_t(R[FieldD3(w)]) * R[FieldR3(w)]), true);
}

}  // namespace velmora
