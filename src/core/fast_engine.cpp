// The fast engine's interpreter: direct-threaded over the decode cache, one label per handler,
// with the entry pointer (which is pc), the status flags packed in SREG's layout and the budget
// of instructions in locals. Every instruction that is rare, or that might fault or read SREG
// through the data space, is handed to the reference core (StepInstruction) with the machine
// state written back first, so the fast handlers only cover the common, well-defined cases.
#include "core/fast_engine.h"

#include <bit>
#include <cstring>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/hostcall.h"
#include "core/jit_engine.h"
#include "core/machine.h"

namespace velmora {

FastEntry FastCache[kProgramWords];
uint8_t FastChunkReady[kChunkCount];
const void* const* FastHandlers = nullptr;

namespace {

// Packed flags, in SREG's bit order (H, 0x20, only ever comes from the flag tables).
constexpr uint32_t kC = 0x01, kZ = 0x02, kN = 0x04, kV = 0x08, kS = 0x10, kT = 0x40, kI = 0x80;

inline uint32_t ZeroFlag(uint32_t r) {
  return r == 0 ? kZ : 0;
}

// Flags as tables, built once by the compiler: the handlers look them up instead of computing
// each flag from the operands' bits.
struct FlagTables {
  uint8_t arith[64];   // H S V N C of an addition or subtraction, by CarryIndex
  uint8_t inc[256];    // S V N Z of INC, by the result
  uint8_t dec[256];    // S V N Z of DEC, by the result
  uint8_t logic[256];  // S V N Z of a logic result (V = 0, S = N)
  uint8_t neg[256];    // H S V N Z C of NEG, by the operand
  uint8_t shift[512];  // S V N Z C of ASR, LSR, ROR, by the result and 256 x bit 0 of the operand
};

constexpr FlagTables MakeFlagTables() {
  FlagTables t{};
  for (uint32_t i = 0; i < 64; ++i) {
    const uint32_t h = i & 1, c = (i >> 4) & 1, v = ((i >> 3) ^ (i >> 4)) & 1, n = i >> 5;
    t.arith[i] = uint8_t(c | (n << 2) | (v << 3) | ((n ^ v) << 4) | (h << 5));
  }
  for (uint32_t r = 0; r < 256; ++r) {
    const uint32_t n = r >> 7, z = r == 0 ? 1 : 0;
    const uint32_t vi = r == 0x80 ? 1 : 0, vd = r == 0x7F ? 1 : 0;
    t.inc[r] = uint8_t((z << 1) | (n << 2) | (vi << 3) | ((n ^ vi) << 4));
    t.dec[r] = uint8_t((z << 1) | (n << 2) | (vd << 3) | ((n ^ vd) << 4));
    t.logic[r] = uint8_t((z << 1) | (n << 2) | (n << 4));
    const uint32_t negated = (0x100 - r) & 0xFF, nn = negated >> 7;
    const uint32_t nv = negated == 0x80 ? 1 : 0;
    t.neg[r] = uint8_t((negated != 0 ? 1 : 0) | ((negated == 0 ? 1 : 0) << 1) | (nn << 2) |
                       (nv << 3) | ((nn ^ nv) << 4) | ((((negated | r) >> 3) & 1) << 5));
    for (uint32_t c = 0; c < 2; ++c) {
      t.shift[r | (c << 8)] = uint8_t(c | (z << 1) | (n << 2) | ((n ^ c) << 3) | (c << 4));
    }
  }
  return t;
}

constexpr FlagTables kFlags = MakeFlagTables();

// H S V N C of the 8-bit addition or subtraction of rd and rr (with a carry in) whose untruncated
// result is `full`. In x = rd ^ rr ^ full, bit 4 is the carry (borrow) into bit 4 and bit 8 the
// carry out of bit 7; V is the carry into bit 7 xor the carry out.
inline uint32_t ArithFlags(uint32_t rd, uint32_t rr, uint32_t full) {
  const uint32_t x = rd ^ rr ^ full;
  return kFlags.arith[((x >> 4) & 0x1F) | ((full >> 2) & 0x20)];
}

// The eight flag bytes of each packed value, for writing the flags back at every hand-over.
struct FlagBytes {
  uint8_t bytes[256][8];
};

constexpr FlagBytes MakeFlagBytes() {
  FlagBytes t{};
  for (uint32_t s = 0; s < 256; ++s)
    for (uint32_t i = 0; i < 8; ++i) t.bytes[s][i] = uint8_t((s >> i) & 1);
  return t;
}

constexpr FlagBytes kFlagBytes = MakeFlagBytes();

inline void StoreFlags(uint32_t sreg) {
  std::memcpy(Machine.flags.bit, kFlagBytes.bytes[sreg & 0xFF], 8);
}

// ComposeSreg without the loop: each byte made 0 or 1 (any non-zero byte is a set flag), then
// the eight gathered into one by a multiply.
inline uint32_t LoadFlags() {
  uint64_t v;
  std::memcpy(&v, Machine.flags.bit, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  v = ((((v & kLow7) + kLow7) | v) >> 7) & 0x0101010101010101ull;
  return uint32_t((v * 0x0102040810204080ull) >> 56);
}

// Two bytes of the data space as one little-endian word: the register pairs and SP.
inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  if constexpr (std::endian::native == std::endian::big) v = uint16_t((v >> 8) | (v << 8));
  return v;
}
inline void Store16(uint8_t* p, uint32_t value) {
  uint16_t v = uint16_t(value);
  if constexpr (std::endian::native == std::endian::big) v = uint16_t((v >> 8) | (v << 8));
  std::memcpy(p, &v, 2);
}

// The reference's return-address handling (machine.cpp), inline.
inline void PushReturn(uint8_t* data, uint32_t address) {
  const uint32_t s = Load16(data + kSpAddress);
  data[(s - 2) & 0xFFFF] = uint8_t(address);
  data[(s - 1) & 0xFFFF] = uint8_t(address >> 8);
  data[s] = uint8_t((address >> 16) & 0x3F);
  Store16(data + kSpAddress, s - 3);
}

inline uint32_t PopReturn(uint8_t* data) {
  const uint32_t s = Load16(data + kSpAddress);
  const uint32_t address = data[s + 1] | (data[s + 2] << 8) | ((data[s + 3] & 0x3F) << 16);
  Store16(data + kSpAddress, s + 3);
  return address;
}

}  // namespace

void PrepareChunk(uint32_t chunk) {
  FastEntry* entry = &FastCache[chunk * kChunkWords];
  const FastEntry undecoded = {FastHandlers[kOpDECODE], 0, 0, 0, 0};
  for (uint32_t i = 0; i < kChunkWords; ++i) entry[i] = undecoded;
  FastChunkReady[chunk] = 1;
}

void ForgetDecodedProgram() {
  std::memset(FastChunkReady, 0, sizeof FastChunkReady);
  ForgetTranslatedProgram();
}

uint64_t RunEngine(EngineKind engine, uint64_t limit) {
  switch (engine) {
    case EngineKind::kFast:
      return RunFastInstructions(limit);
    case EngineKind::kJit:
      return RunJitInstructions(limit);
    case EngineKind::kReference:
      break;
  }
  return RunInstructions(limit);
}

// --- Handler bodies ------------------------------------------------------------------------------
// DO_<op> is the work of one instruction on the entry e, without the dispatch, so that a
// superinstruction can run two bodies in a row. R is the data space, P program memory, sreg the
// packed flags. A body may `goto escape` (before any side effect) to leave a case to the reference.

#define ADD_BODY_N(RR, CARRY) \
  { R[e->a] = uint8_t(R[e->a] + (RR) + (CARRY)); }
#define ADD_BODY_C(RR, CARRY)                    \
  {                                              \
    const uint32_t s = R[e->a] + (RR) + (CARRY); \
    R[e->a] = uint8_t(s);                        \
    sreg = (sreg & ~kC) | (s >> 8);              \
  }
#define ADD_BODY_CZ(RR, CARRY)                                  \
  {                                                             \
    const uint32_t s = R[e->a] + (RR) + (CARRY);                \
    R[e->a] = uint8_t(s);                                       \
    sreg = (sreg & ~(kC | kZ)) | (s >> 8) | ZeroFlag(s & 0xFF); \
  }
#define ADD_BODY_A(RR, CARRY)                                               \
  {                                                                         \
    const uint32_t rd = R[e->a], rr = (RR), s = rd + rr + (CARRY);          \
    R[e->a] = uint8_t(s);                                                   \
    sreg = (sreg & (kT | kI)) | ArithFlags(rd, rr, s) | ZeroFlag(s & 0xFF); \
  }
#define DO_ADD_N ADD_BODY_N(R[e->b], 0)
#define DO_ADD_C ADD_BODY_C(R[e->b], 0)
#define DO_ADD_CZ ADD_BODY_CZ(R[e->b], 0)
#define DO_ADD_A ADD_BODY_A(R[e->b], 0)
#define DO_ADC_N ADD_BODY_N(R[e->b], (sreg & kC))
#define DO_ADC_C ADD_BODY_C(R[e->b], (sreg & kC))
#define DO_ADC_CZ ADD_BODY_CZ(R[e->b], (sreg & kC))
#define DO_ADC_A ADD_BODY_A(R[e->b], (sreg & kC))

// Subtractions and compares. The untruncated difference d is negative on a borrow, so its bit 8
// is C. KEEP_Z: the with-carry forms clear Z on a non-zero result and keep it otherwise.
#define SUB_Z(r, KEEP_Z) ((KEEP_Z) ? ((r) == 0 ? (sreg & kZ) : 0) : ZeroFlag(r))
#define SUB_BODY_N(RR, CARRY) \
  { R[e->a] = uint8_t(R[e->a] - (RR) - (CARRY)); }
#define SUB_BODY_C(RR, CARRY, STORE)             \
  {                                              \
    const uint32_t d = R[e->a] - (RR) - (CARRY); \
    if (STORE) R[e->a] = uint8_t(d);             \
    sreg = (sreg & ~kC) | ((d >> 8) & kC);       \
  }
#define SUB_BODY_CZ(RR, CARRY, STORE, KEEP_Z)                               \
  {                                                                         \
    const uint32_t d = R[e->a] - (RR) - (CARRY);                            \
    if (STORE) R[e->a] = uint8_t(d);                                        \
    sreg = (sreg & ~(kC | kZ)) | ((d >> 8) & kC) | SUB_Z(d & 0xFF, KEEP_Z); \
  }
#define SUB_BODY_A(RR, CARRY, STORE, KEEP_Z)                                     \
  {                                                                              \
    const uint32_t rd = R[e->a], rr = (RR), d = rd - rr - (CARRY);               \
    if (STORE) R[e->a] = uint8_t(d);                                             \
    sreg = (sreg & (kT | kI)) | ArithFlags(rd, rr, d) | SUB_Z(d & 0xFF, KEEP_Z); \
  }
#define DO_SUB_N SUB_BODY_N(R[e->b], 0)
#define DO_SUB_C SUB_BODY_C(R[e->b], 0, true)
#define DO_SUB_CZ SUB_BODY_CZ(R[e->b], 0, true, false)
#define DO_SUB_A SUB_BODY_A(R[e->b], 0, true, false)
#define DO_SBC_N SUB_BODY_N(R[e->b], (sreg & kC))
#define DO_SBC_C SUB_BODY_C(R[e->b], (sreg & kC), true)
#define DO_SBC_CZ SUB_BODY_CZ(R[e->b], (sreg & kC), true, true)
#define DO_SBC_A SUB_BODY_A(R[e->b], (sreg & kC), true, true)
#define DO_SUBI_N SUB_BODY_N(e->b, 0)
#define DO_SUBI_C SUB_BODY_C(e->b, 0, true)
#define DO_SUBI_CZ SUB_BODY_CZ(e->b, 0, true, false)
#define DO_SUBI_A SUB_BODY_A(e->b, 0, true, false)
#define DO_SBCI_N SUB_BODY_N(e->b, (sreg & kC))
#define DO_SBCI_C SUB_BODY_C(e->b, (sreg & kC), true)
#define DO_SBCI_CZ SUB_BODY_CZ(e->b, (sreg & kC), true, true)
#define DO_SBCI_A SUB_BODY_A(e->b, (sreg & kC), true, true)
#define DO_CP_C SUB_BODY_C(R[e->b], 0, false)
#define DO_CP_CZ SUB_BODY_CZ(R[e->b], 0, false, false)
#define DO_CP_A SUB_BODY_A(R[e->b], 0, false, false)
#define DO_CPC_C SUB_BODY_C(R[e->b], (sreg & kC), false)
#define DO_CPC_CZ SUB_BODY_CZ(R[e->b], (sreg & kC), false, true)
#define DO_CPC_A SUB_BODY_A(R[e->b], (sreg & kC), false, true)
#define DO_CPI_C SUB_BODY_C(e->b, 0, false)
#define DO_CPI_CZ SUB_BODY_CZ(e->b, 0, false, false)
#define DO_CPI_A SUB_BODY_A(e->b, 0, false, false)

#define LOGIC_BODY_N(OP, RR) \
  { R[e->a] = uint8_t(R[e->a] OP(RR)); }
#define LOGIC_BODY_A(OP, RR)                                \
  {                                                         \
    const uint32_t r = R[e->a] OP(RR);                      \
    R[e->a] = uint8_t(r);                                   \
    sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.logic[r]; \
  }
#define DO_AND_N LOGIC_BODY_N(&, R[e->b])
#define DO_AND_A LOGIC_BODY_A(&, R[e->b])
#define DO_OR_N LOGIC_BODY_N(|, R[e->b])
#define DO_OR_A LOGIC_BODY_A(|, R[e->b])
#define DO_EOR_N LOGIC_BODY_N(^, R[e->b])
#define DO_EOR_A LOGIC_BODY_A(^, R[e->b])
#define DO_ANDI_N LOGIC_BODY_N(&, e->b)
#define DO_ANDI_A LOGIC_BODY_A(&, e->b)
#define DO_ORI_N LOGIC_BODY_N(|, e->b)
#define DO_ORI_A LOGIC_BODY_A(|, e->b)

#define DO_COM_N \
  { R[e->a] = uint8_t(~R[e->a]); }
#define DO_COM_A                                                      \
  {                                                                   \
    const uint32_t r = uint8_t(~R[e->a]);                             \
    R[e->a] = uint8_t(r);                                             \
    sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | kC | kFlags.logic[r]; \
  }
#define DO_NEG_N \
  { R[e->a] = uint8_t(-R[e->a]); }
#define DO_NEG_A                                \
  {                                             \
    const uint32_t rd = R[e->a];                \
    R[e->a] = uint8_t(-rd);                     \
    sreg = (sreg & (kT | kI)) | kFlags.neg[rd]; \
  }
#define DO_SWAP \
  { R[e->a] = uint8_t((R[e->a] << 4) | (R[e->a] >> 4)); }
#define DO_INC_N \
  { R[e->a] = uint8_t(R[e->a] + 1); }
#define DO_INC_A                                          \
  {                                                       \
    const uint32_t r = (R[e->a] + 1) & 0xFF;              \
    R[e->a] = uint8_t(r);                                 \
    sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.inc[r]; \
  }
#define DO_DEC_N \
  { R[e->a] = uint8_t(R[e->a] - 1); }
#define DO_DEC_A                                          \
  {                                                       \
    const uint32_t r = (R[e->a] - 1) & 0xFF;              \
    R[e->a] = uint8_t(r);                                 \
    sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.dec[r]; \
  }

#define SHIFT_BODY_N(RESULT)     \
  {                              \
    const uint32_t rd = R[e->a]; \
    R[e->a] = uint8_t(RESULT);   \
  }
#define SHIFT_BODY_C(RESULT)        \
  {                                 \
    const uint32_t rd = R[e->a];    \
    R[e->a] = uint8_t(RESULT);      \
    sreg = (sreg & ~kC) | (rd & 1); \
  }
#define SHIFT_BODY_A(RESULT)                                                       \
  {                                                                                \
    const uint32_t rd = R[e->a], r = (RESULT);                                     \
    R[e->a] = uint8_t(r);                                                          \
    sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | kFlags.shift[r | ((rd & 1) << 8)]; \
  }
#define ASR_RESULT ((rd & 0x80) | (rd >> 1))
#define LSR_RESULT (rd >> 1)
#define ROR_RESULT (((sreg & kC) << 7) | (rd >> 1))
#define DO_ASR_N SHIFT_BODY_N(ASR_RESULT)
#define DO_ASR_C SHIFT_BODY_C(ASR_RESULT)
#define DO_ASR_A SHIFT_BODY_A(ASR_RESULT)
#define DO_LSR_N SHIFT_BODY_N(LSR_RESULT)
#define DO_LSR_C SHIFT_BODY_C(LSR_RESULT)
#define DO_LSR_A SHIFT_BODY_A(LSR_RESULT)
#define DO_ROR_N SHIFT_BODY_N(ROR_RESULT)
#define DO_ROR_C SHIFT_BODY_C(ROR_RESULT)
#define DO_ROR_A SHIFT_BODY_A(ROR_RESULT)

// ADIW and SBIW on the pair at a with the constant b; OVERFLOW and CARRY from bit 15 before
// (h) and after (n).
#define WORD_BODY_N(OP) \
  { Store16(R + e->a, Load16(R + e->a) OP e->b); }
#define WORD_BODY_A(OP, OVERFLOW, CARRY)                                                \
  {                                                                                     \
    const uint32_t before = Load16(R + e->a), r = (before OP e->b) & 0xFFFF;            \
    Store16(R + e->a, r);                                                               \
    const uint32_t h = before >> 15, n = r >> 15, v = (OVERFLOW), c = (CARRY);          \
    sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | c | ZeroFlag(r) | (n << 2) | (v << 3) | \
           ((n ^ v) << 4);                                                              \
  }
#define DO_ADIW_N WORD_BODY_N(+)
#define DO_ADIW_A WORD_BODY_A(+, (h ^ 1) & n, (n ^ 1) & h)
#define DO_SBIW_N WORD_BODY_N(-)
#define DO_SBIW_A WORD_BODY_A(-, h&(n ^ 1), n&(h ^ 1))

// The product goes to R1:R0 (shifted left by one for the fractional forms); C is bit 15 of the
// product, Z tests the stored value.
#define MUL_BODY_N(PRODUCT, SHIFT) \
  { Store16(R, uint32_t(PRODUCT) << (SHIFT)); }
#define MUL_BODY_A(PRODUCT, SHIFT)                                                   \
  {                                                                                  \
    const uint32_t p = uint32_t(PRODUCT) & 0xFFFF, stored = (p << (SHIFT)) & 0xFFFF; \
    Store16(R, stored);                                                              \
    sreg = (sreg & ~(kZ | kC)) | (p >> 15) | ZeroFlag(stored);                       \
  }
#define UNSIGNED_PRODUCT (R[e->a] * R[e->b])
#define SIGNED_PRODUCT (int8_t(R[e->a]) * int8_t(R[e->b]))
#define MIXED_PRODUCT (int8_t(R[e->a]) * R[e->b])
#define DO_MUL_N MUL_BODY_N(UNSIGNED_PRODUCT, 0)
#define DO_MUL_A MUL_BODY_A(UNSIGNED_PRODUCT, 0)
#define DO_MULS_N MUL_BODY_N(SIGNED_PRODUCT, 0)
#define DO_MULS_A MUL_BODY_A(SIGNED_PRODUCT, 0)
#define DO_MULSU_N MUL_BODY_N(MIXED_PRODUCT, 0)
#define DO_MULSU_A MUL_BODY_A(MIXED_PRODUCT, 0)
#define DO_FMUL_N MUL_BODY_N(UNSIGNED_PRODUCT, 1)
#define DO_FMUL_A MUL_BODY_A(UNSIGNED_PRODUCT, 1)
#define DO_FMULS_N MUL_BODY_N(SIGNED_PRODUCT, 1)
#define DO_FMULS_A MUL_BODY_A(SIGNED_PRODUCT, 1)
#define DO_FMULSU_N MUL_BODY_N(MIXED_PRODUCT, 1)
#define DO_FMULSU_A MUL_BODY_A(MIXED_PRODUCT, 1)

// Data transfer. SREG at 0x5F and, for LDD and STD, addresses below 0x60 (registers and I/O, one
// compare with the limit) or beyond 0xFFFF escape to the reference.
#define DO_NOP \
  {}
#define DO_MOV \
  { R[e->a] = R[e->b]; }
#define DO_MOVW \
  { Store16(R + e->a, Load16(R + e->b)); }
#define DO_LDI \
  { R[e->a] = e->b; }
#define DO_LD                                  \
  {                                            \
    const uint32_t address = Load16(R + e->b); \
    if (address == kSregAddress) goto escape;  \
    R[e->a] = R[address];                      \
  }
#define DO_LD_INC                              \
  {                                            \
    const uint32_t address = Load16(R + e->b); \
    if (address == kSregAddress) goto escape;  \
    const uint8_t value = R[address];          \
    Store16(R + e->b, address + 1);            \
    R[e->a] = value;                           \
  }
#define DO_LD_DEC                                             \
  {                                                           \
    const uint32_t address = (Load16(R + e->b) - 1) & 0xFFFF; \
    if (address == kSregAddress) goto escape;                 \
    Store16(R + e->b, address);                               \
    R[e->a] = R[address];                                     \
  }
#define DO_ST                                  \
  {                                            \
    const uint32_t address = Load16(R + e->b); \
    if (address == kSregAddress) goto escape;  \
    R[address] = R[e->a];                      \
  }
#define DO_ST_INC                              \
  {                                            \
    const uint32_t address = Load16(R + e->b); \
    if (address == kSregAddress) goto escape;  \
    Store16(R + e->b, address + 1);            \
    R[address] = R[e->a];                      \
  }
#define DO_ST_DEC                                             \
  {                                                           \
    const uint32_t address = (Load16(R + e->b) - 1) & 0xFFFF; \
    if (address == kSregAddress) goto escape;                 \
    Store16(R + e->b, address);                               \
    R[address] = R[e->a];                                     \
  }
#define DISPLACED_ADDRESS                                     \
  const uint32_t address = Load16(R + e->b) + uint32_t(e->x); \
  if (address - kArgumentAddress >= kGuestDataSize - kArgumentAddress) goto escape;
#define DO_LDD            \
  {                       \
    DISPLACED_ADDRESS     \
    R[e->a] = R[address]; \
  }
#define DO_STD            \
  {                       \
    DISPLACED_ADDRESS     \
    R[address] = R[e->a]; \
  }
#define DO_IN \
  { R[e->a] = R[e->x]; }
#define DO_IN_SREG \
  { R[e->a] = uint8_t(sreg); }
#define DO_OUT \
  { R[e->x] = R[e->a]; }
#define DO_OUT_SREG \
  { sreg = R[e->a]; }
#define DO_PUSH                                \
  {                                            \
    const uint32_t s = Load16(R + kSpAddress); \
    if (s == kSregAddress) goto escape;        \
    Store16(R + kSpAddress, s - 1);            \
    R[s] = R[e->a];                            \
  }
#define DO_POP                                                \
  {                                                           \
    const uint32_t s = (Load16(R + kSpAddress) + 1) & 0xFFFF; \
    if (s == kSregAddress) goto escape;                       \
    Store16(R + kSpAddress, s);                               \
    R[e->a] = R[s];                                           \
  }
#define DO_SBI \
  { R[e->x] |= e->b; }
#define DO_CBI \
  { R[e->x] &= uint8_t(~e->b); }
#define DO_LPM \
  { R[e->a] = P[Load16(R + 30)]; }
#define DO_LPM_INC                       \
  {                                      \
    R[e->a] = P[Load16(R + 30)];         \
    Store16(R + 30, Load16(R + 30) + 1); \
  }
#define ELPM_ADDRESS                                                            \
  const uint32_t address = (uint32_t(R[kRampzAddress]) << 16) | Load16(R + 30); \
  if (address >= kProgramBytes) goto escape;
#define DO_ELPM           \
  {                       \
    ELPM_ADDRESS          \
    R[e->a] = P[address]; \
  }
#define DO_ELPM_INC                                  \
  {                                                  \
    ELPM_ADDRESS                                     \
    R[e->a] = P[address];                            \
    Store16(R + 30, address + 1);                    \
    R[kRampzAddress] = uint8_t((address + 1) >> 16); \
  }

// Status bits.
#define DO_BSET \
  { sreg |= e->a; }
#define DO_BCLR \
  { sreg &= ~uint32_t(e->a); }
#define DO_BST \
  { sreg = (sreg & ~kT) | ((R[e->a] & e->b) ? kT : 0); }
#define DO_BLD \
  { R[e->a] = (sreg & kT) ? uint8_t(R[e->a] | e->b) : uint8_t(R[e->a] & ~e->b); }

// GCC's global common subexpression elimination merges the handlers' indirect jumps and then
// shuffles registers before each one; interpreters built on computed goto turn it off.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-gcse")))
#endif
uint64_t
RunFastInstructions(uint64_t limit) {
  static const void* const kHandlers[kFastOpCount] = {
#define VELMORA_FAST_OP_LABEL(name) &&L_##name,
#define VELMORA_FAST_PAIR_LABEL(first, second) &&L_##first##_then_##second,
      VELMORA_FAST_PLAIN_OPS(VELMORA_FAST_OP_LABEL) VELMORA_FAST_OTHER_OPS(VELMORA_FAST_OP_LABEL)
          VELMORA_FAST_PAIRS(VELMORA_FAST_PAIR_LABEL) VELMORA_FAST_JOINS(VELMORA_FAST_PAIR_LABEL)
#undef VELMORA_FAST_OP_LABEL
#undef VELMORA_FAST_PAIR_LABEL
  };
  FastHandlers = kHandlers;
  if (limit == 0 || (Machine.fault | Machine.quit) != 0) return 0;

  const int64_t granted = limit > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(limit);
  int64_t budget = granted;  // instructions still allowed; blocks are charged on entry
  uint8_t* R = Machine.data;
  const uint8_t* P = Machine.program;
  // Opaque to the compiler, so that it keeps the two bases in registers rather than forming
  // them again in every handler.
  __asm__("" : "+r"(R), "+r"(P));
  uint32_t sreg = LoadFlags();
  uint32_t pc = Machine.pc;
  const FastEntry* e = nullptr;

// The entry's pc, and the entry of a static target (x is its byte distance).
#define PC() uint32_t(e - FastCache)
#define TARGET() reinterpret_cast<const FastEntry*>(reinterpret_cast<const char*>(e) + e->x)
// The next instruction of the same block: no check.
#define NEXT(words)    \
  do {                 \
    e += (words);      \
    goto * e->handler; \
  } while (0)
// A new block: charged to the budget first.
#define ENTER(target)                        \
  do {                                       \
    e = (target);                            \
    if ((budget -= e->count) < 0) goto over; \
    goto * e->handler;                       \
  } while (0)
#define SYNC_OUT()    \
  do {                \
    Machine.pc = pc;  \
    StoreFlags(sreg); \
  } while (0)

  goto dispatch;

#define VELMORA_FAST_PLAIN_HANDLER(name) \
  L_##name : DO_##name;                  \
  NEXT(1);
  VELMORA_FAST_PLAIN_OPS(VELMORA_FAST_PLAIN_HANDLER)
#undef VELMORA_FAST_PLAIN_HANDLER

#define VELMORA_FAST_PAIR_HANDLER(first, second) \
  L_##first##_then_##second : DO_##first;        \
  e += 1;                                        \
  DO_##second;                                   \
  NEXT(1);
  VELMORA_FAST_PAIRS(VELMORA_FAST_PAIR_HANDLER)
#undef VELMORA_FAST_PAIR_HANDLER

#define VELMORA_FAST_JOIN_HANDLER(first, second) \
  L_##first##_then_##second : DO_##first;        \
  e += 1;                                        \
  goto L_##second;
  VELMORA_FAST_JOINS(VELMORA_FAST_JOIN_HANDLER)
#undef VELMORA_FAST_JOIN_HANDLER

L_LDS:
  R[e->a] = R[e->x];
  NEXT(2);
L_LDS_SREG:
  R[e->a] = uint8_t(sreg);
  NEXT(2);
L_STS:
  R[e->x] = R[e->a];
  NEXT(2);
L_STS_SREG:
  sreg = R[e->a];
  NEXT(2);

  // --- Control flow: the terminators ------------------------------------------------------------

L_RJMP:
L_JMP:
  ENTER(TARGET());
L_RCALL:
  PushReturn(R, PC() + 1);
  ENTER(TARGET());
L_CALL:
  PushReturn(R, PC() + 2);
  ENTER(TARGET());
L_IJMP:
  pc = Load16(R + 30);
  goto dispatch;
L_ICALL:
  PushReturn(R, PC() + 1);
  pc = Load16(R + 30);
  goto dispatch;
L_EIJMP:
  pc = (uint32_t(R[kEindAddress]) << 16) | Load16(R + 30);
  if (pc >= kProgramWords) goto L_STEP;  // the reference faults there
  goto dispatch;
L_EICALL:
  // The push comes first: it may write Z or EIND.
  PushReturn(R, PC() + 1);
  pc = (uint32_t(R[kEindAddress]) << 16) | Load16(R + 30);
  if (pc >= kProgramWords) {
    pc = 0;
    Machine.fault = kFaultEicall;
    goto stop;
  }
  goto dispatch;
L_RETI:
  sreg |= kI;
L_RET:
  pc = PopReturn(R);
  goto dispatch;
L_BRBS:
  ENTER((sreg & e->a) ? TARGET() : e + 1);
L_BRBC:
  ENTER((sreg & e->a) ? e + 1 : TARGET());
L_CPSE:
  ENTER(R[e->a] == R[e->b] ? TARGET() : e + 1);
L_SBRC:
  ENTER((R[e->a] & e->b) ? e + 1 : TARGET());
L_SBRS:
  ENTER((R[e->a] & e->b) ? TARGET() : e + 1);
L_SBIC:
  ENTER((R[0x20 + e->a] & e->b) ? e + 1 : TARGET());
L_SBIS:
  ENTER((R[0x20 + e->a] & e->b) ? TARGET() : e + 1);

  // --- Hand-overs: host calls and the reference core --------------------------------------------

L_BREAK:
  pc = PC();
  SYNC_OUT();
  ServiceCall();
  goto resume;
L_WDR:
  pc = PC();
  SYNC_OUT();
  WatchdogStep();
  goto resume;
L_STEP:
  pc = PC();
  SYNC_OUT();
  StepInstruction();
  goto resume;

resume:
  sreg = LoadFlags();
  pc = Machine.pc;
  if ((Machine.fault | Machine.quit) != 0) goto stop;
  goto dispatch;

// A case inside a block that the fast handler leaves to the reference: the instruction at e runs
// there, then the block goes on (or the run stops on its fault).
escape:
  pc = PC();
  SYNC_OUT();
  StepInstruction();
  sreg = LoadFlags();
  if ((Machine.fault | Machine.quit) != 0) {
    budget += e->count - 1;  // the rest of the block did not run
    pc = Machine.pc;
    goto stop;
  }
  e = FastCache + Machine.pc;
  goto * e->handler;

// A pc computed at run time (returns, indirect jumps, after the host or the reference).
dispatch:
  if (pc >= kProgramWords) {
    // The reference's fetch there is a step that faults.
    if (budget > 0) {
      budget -= 1;
      Machine.fault = kFaultPcOutside;
    }
    goto stop;
  }
  if (!FastChunkReady[pc >> kChunkShift]) PrepareChunk(pc >> kChunkShift);
  ENTER(FastCache + pc);

L_DECODE:
  // Reached only on entering a block (an undecoded entry counts 0); charged once decoded.
  DecodeBlock(PC());
  if ((budget -= e->count) < 0) goto over;
  goto * e->handler;

// The block at e is longer than the budget left: the reference runs what is left, exactly.
over:
  budget += e->count;
  pc = PC();
  SYNC_OUT();
  budget -= int64_t(RunInstructions(uint64_t(budget)));
  return uint64_t(granted - budget);

stop:
  SYNC_OUT();
  return uint64_t(granted - budget);

#undef PC
#undef TARGET
#undef NEXT
#undef ENTER
#undef SYNC_OUT
}

}  // namespace velmora
