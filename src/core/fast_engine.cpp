// The fast engine's interpreter: direct-threaded over the decode cache, one label per handler,
// with the entry pointer (which is pc), the status flags packed in SREG's layout and the budget
// of instructions in locals. Every instruction that is rare, or that might fault or read SREG
// through the data space, is handed to the reference core (StepInstruction) with the machine
// state written back first, so the fast handlers only cover the common, well-defined cases.
#include "core/fast_engine.h"

#include <cstring>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/hostcall.h"
#include "core/machine.h"

namespace velmora {

FastEntry FastCache[kProgramWords];
uint8_t FastChunkReady[kChunkCount];
const void* const* FastHandlers = nullptr;

namespace {

// Packed flags, in SREG's bit order.
constexpr uint32_t kC = 0x01, kZ = 0x02, kN = 0x04, kV = 0x08, kS = 0x10, kH = 0x20, kT = 0x40,
                   kI = 0x80;

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

inline void StoreFlags(uint32_t sreg) {
  for (int i = 0; i < 8; ++i) Machine.flags.bit[i] = uint8_t((sreg >> i) & 1);
}

// The reference's return-address handling (machine.cpp), inline.
inline void PushReturn(uint8_t* data, uint32_t address) {
  const uint32_t s = data[kSpAddress] | (data[kSpAddress + 1] << 8);
  data[(s - 2) & 0xFFFF] = uint8_t(address);
  data[(s - 1) & 0xFFFF] = uint8_t(address >> 8);
  data[s] = uint8_t((address >> 16) & 0x3F);
  const uint32_t sp = (s - 3) & 0xFFFF;
  data[kSpAddress] = uint8_t(sp);
  data[kSpAddress + 1] = uint8_t(sp >> 8);
}

inline uint32_t PopReturn(const uint8_t* data, uint8_t* sp_bytes) {
  const uint32_t s = data[kSpAddress] | (data[kSpAddress + 1] << 8);
  const uint32_t address = data[s + 1] | (data[s + 2] << 8) | ((data[s + 3] & 0x3F) << 16);
  const uint32_t sp = (s + 3) & 0xFFFF;
  sp_bytes[0] = uint8_t(sp);
  sp_bytes[1] = uint8_t(sp >> 8);
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
}

uint64_t RunEngine(EngineKind engine, uint64_t limit) {
  return engine == EngineKind::kFast ? RunFastInstructions(limit) : RunInstructions(limit);
}

uint64_t RunFastInstructions(uint64_t limit) {
  static const void* const kHandlers[kFastOpCount] = {
#define VELMORA_FAST_OP_LABEL(name) &&L_##name,
      VELMORA_FAST_OPS(VELMORA_FAST_OP_LABEL)
#undef VELMORA_FAST_OP_LABEL
  };
  FastHandlers = kHandlers;
  if (limit == 0 || (Machine.fault | Machine.quit) != 0) return 0;

  const int64_t granted = limit > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(limit);
  int64_t budget = granted;  // instructions still allowed; blocks are charged on entry
  uint8_t* const R = Machine.data;
  const uint8_t* const P = Machine.program;
  uint32_t sreg = ComposeSreg();
  uint32_t pc = Machine.pc;
  const FastEntry* e = nullptr;

// The entry's pc, and the entry of a static target (x is its byte distance).
#define PC() uint32_t(e - FastCache)
#define TARGET() reinterpret_cast<const FastEntry*>(reinterpret_cast<const char*>(e) + e->x)
// The next instruction of the same block: no check.
#define NEXT(words)     \
  do {                  \
    e += (words);       \
    goto* e->handler;   \
  } while (0)
// A new block: charged to the budget first.
#define ENTER(target)                        \
  do {                                       \
    e = (target);                            \
    if ((budget -= e->count) < 0) goto over; \
    goto* e->handler;                        \
  } while (0)
#define POINTER(low) uint32_t(R[low] | (R[(low) + 1] << 8))
#define SET_POINTER(low, value)              \
  do {                                       \
    const uint32_t pointer_value = (value);  \
    R[low] = uint8_t(pointer_value);         \
    R[(low) + 1] = uint8_t(pointer_value >> 8); \
  } while (0)
#define SYNC_OUT()    \
  do {                \
    Machine.pc = pc;  \
    StoreFlags(sreg); \
  } while (0)

  goto dispatch;

  // --- Arithmetic and logic -------------------------------------------------------------------

#define ADD_VARIANTS(NAME, RR, CARRY)                                                     \
  L_##NAME##_N : {                                                                        \
    R[e->a] = uint8_t(R[e->a] + (RR) + (CARRY));                                          \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_C : {                                                                        \
    const uint32_t s = R[e->a] + (RR) + (CARRY);                                          \
    R[e->a] = uint8_t(s);                                                                 \
    sreg = (sreg & ~kC) | (s >> 8);                                                       \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_CZ : {                                                                       \
    const uint32_t s = R[e->a] + (RR) + (CARRY);                                          \
    R[e->a] = uint8_t(s);                                                                 \
    sreg = (sreg & ~(kC | kZ)) | (s >> 8) | ZeroFlag(s & 0xFF);                           \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_A : {                                                                        \
    const uint32_t rd = R[e->a], rr = (RR), s = rd + rr + (CARRY);                        \
    R[e->a] = uint8_t(s);                                                                 \
    sreg = (sreg & (kT | kI)) | ArithFlags(rd, rr, s) | ZeroFlag(s & 0xFF);               \
    NEXT(1);                                                                              \
  }

  ADD_VARIANTS(ADD, R[e->b], 0)
  ADD_VARIANTS(ADC, R[e->b], (sreg & kC))

// Subtractions; KEEP_Z: the with-carry forms clear Z on a non-zero result and keep it otherwise.
// The untruncated difference d is negative on a borrow, so its bit 8 is C.
#define SUB_Z(r, KEEP_Z) ((KEEP_Z) ? ((r) == 0 ? (sreg & kZ) : 0) : ZeroFlag(r))
#define SUB_CZ_VARIANTS(NAME, RR, CARRY, STORE, KEEP_Z)                                   \
  L_##NAME##_C : {                                                                        \
    const uint32_t d = R[e->a] - (RR) - (CARRY);                                          \
    if (STORE) R[e->a] = uint8_t(d);                                                      \
    sreg = (sreg & ~kC) | ((d >> 8) & kC);                                                \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_CZ : {                                                                       \
    const uint32_t d = R[e->a] - (RR) - (CARRY);                                          \
    if (STORE) R[e->a] = uint8_t(d);                                                      \
    sreg = (sreg & ~(kC | kZ)) | ((d >> 8) & kC) | SUB_Z(d & 0xFF, KEEP_Z);               \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_A : {                                                                        \
    const uint32_t rd = R[e->a], rr = (RR), d = rd - rr - (CARRY);                        \
    if (STORE) R[e->a] = uint8_t(d);                                                      \
    sreg = (sreg & (kT | kI)) | ArithFlags(rd, rr, d) | SUB_Z(d & 0xFF, KEEP_Z);          \
    NEXT(1);                                                                              \
  }
#define SUB_VARIANTS(NAME, RR, CARRY, KEEP_Z)         \
  L_##NAME##_N : {                                    \
    R[e->a] = uint8_t(R[e->a] - (RR) - (CARRY));      \
    NEXT(1);                                          \
  }                                                   \
  SUB_CZ_VARIANTS(NAME, RR, CARRY, true, KEEP_Z)

  SUB_VARIANTS(SUB, R[e->b], 0, false)
  SUB_VARIANTS(SBC, R[e->b], (sreg & kC), true)
  SUB_VARIANTS(SUBI, e->b, 0, false)
  SUB_VARIANTS(SBCI, e->b, (sreg & kC), true)
  SUB_CZ_VARIANTS(CP, R[e->b], 0, false, false)
  SUB_CZ_VARIANTS(CPC, R[e->b], (sreg & kC), false, true)
  SUB_CZ_VARIANTS(CPI, e->b, 0, false, false)

#define LOGIC_VARIANTS(NAME, OP, RR)                               \
  L_##NAME##_N : {                                                 \
    R[e->a] = uint8_t(R[e->a] OP(RR));                             \
    NEXT(1);                                                       \
  }                                                                \
  L_##NAME##_A : {                                                 \
    const uint32_t r = R[e->a] OP(RR);                             \
    R[e->a] = uint8_t(r);                                          \
    sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.logic[r];        \
    NEXT(1);                                                       \
  }

  LOGIC_VARIANTS(AND, &, R[e->b])
  LOGIC_VARIANTS(OR, |, R[e->b])
  LOGIC_VARIANTS(EOR, ^, R[e->b])
  LOGIC_VARIANTS(ANDI, &, e->b)
  LOGIC_VARIANTS(ORI, |, e->b)

L_COM_N:
  R[e->a] = uint8_t(~R[e->a]);
  NEXT(1);
L_COM_A : {
  const uint32_t r = uint8_t(~R[e->a]);
  R[e->a] = uint8_t(r);
  sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | kC | kFlags.logic[r];
  NEXT(1);
}
L_NEG_N:
  R[e->a] = uint8_t(-R[e->a]);
  NEXT(1);
L_NEG_A : {
  const uint32_t rd = R[e->a];
  R[e->a] = uint8_t(-rd);
  sreg = (sreg & (kT | kI)) | kFlags.neg[rd];
  NEXT(1);
}
L_SWAP:
  R[e->a] = uint8_t((R[e->a] << 4) | (R[e->a] >> 4));
  NEXT(1);
L_INC_N:
  R[e->a] = uint8_t(R[e->a] + 1);
  NEXT(1);
L_INC_A : {
  const uint32_t r = (R[e->a] + 1) & 0xFF;
  R[e->a] = uint8_t(r);
  sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.inc[r];
  NEXT(1);
}
L_DEC_N:
  R[e->a] = uint8_t(R[e->a] - 1);
  NEXT(1);
L_DEC_A : {
  const uint32_t r = (R[e->a] - 1) & 0xFF;
  R[e->a] = uint8_t(r);
  sreg = (sreg & ~(kS | kV | kN | kZ)) | kFlags.dec[r];
  NEXT(1);
}

#define SHIFT_VARIANTS(NAME, RESULT)                                  \
  L_##NAME##_N : {                                                    \
    const uint32_t rd = R[e->a];                                      \
    R[e->a] = uint8_t(RESULT);                                        \
    NEXT(1);                                                          \
  }                                                                   \
  L_##NAME##_C : {                                                    \
    const uint32_t rd = R[e->a];                                      \
    R[e->a] = uint8_t(RESULT);                                        \
    sreg = (sreg & ~kC) | (rd & 1);                                   \
    NEXT(1);                                                          \
  }                                                                   \
  L_##NAME##_A : {                                                    \
    const uint32_t rd = R[e->a], r = (RESULT);                        \
    R[e->a] = uint8_t(r);                                             \
    sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | kFlags.shift[r | ((rd & 1) << 8)]; \
    NEXT(1);                                                          \
  }

  SHIFT_VARIANTS(ASR, (rd & 0x80) | (rd >> 1))
  SHIFT_VARIANTS(LSR, rd >> 1)
  SHIFT_VARIANTS(ROR, ((sreg & kC) << 7) | (rd >> 1))

// ADIW and SBIW on the pair at a with the constant b; OVERFLOW and CARRY from bit 15 before
// (h) and after (n).
#define WORD_VARIANTS(NAME, OP, OVERFLOW, CARRY)                                          \
  L_##NAME##_N : {                                                                        \
    const uint32_t r = POINTER(e->a) OP e->b;                                             \
    SET_POINTER(e->a, r);                                                                 \
    NEXT(1);                                                                              \
  }                                                                                       \
  L_##NAME##_A : {                                                                        \
    const uint32_t before = POINTER(e->a), r = (before OP e->b) & 0xFFFF;                 \
    SET_POINTER(e->a, r);                                                                 \
    const uint32_t h = before >> 15, n = r >> 15, v = (OVERFLOW), c = (CARRY);            \
    sreg = (sreg & ~(kS | kV | kN | kZ | kC)) | c | ZeroFlag(r) | (n << 2) | (v << 3) |   \
           ((n ^ v) << 4);                                                                \
    NEXT(1);                                                                              \
  }

  WORD_VARIANTS(ADIW, +, (h ^ 1) & n, (n ^ 1) & h)
  WORD_VARIANTS(SBIW, -, h & (n ^ 1), n & (h ^ 1))

// The product goes to R1:R0 (shifted left by one for the fractional forms); C is bit 15 of the
// product, Z tests the stored value.
#define MUL_VARIANTS(NAME, PRODUCT, SHIFT)                                          \
  L_##NAME##_N : {                                                                  \
    const uint32_t stored = uint32_t(PRODUCT) << (SHIFT);                           \
    R[0] = uint8_t(stored);                                                         \
    R[1] = uint8_t(stored >> 8);                                                    \
    NEXT(1);                                                                        \
  }                                                                                 \
  L_##NAME##_A : {                                                                  \
    const uint32_t p = uint32_t(PRODUCT) & 0xFFFF, stored = (p << (SHIFT)) & 0xFFFF; \
    R[0] = uint8_t(stored);                                                         \
    R[1] = uint8_t(stored >> 8);                                                    \
    sreg = (sreg & ~(kZ | kC)) | (p >> 15) | ZeroFlag(stored);                      \
    NEXT(1);                                                                        \
  }

  MUL_VARIANTS(MUL, R[e->a] * R[e->b], 0)
  MUL_VARIANTS(MULS, int8_t(R[e->a]) * int8_t(R[e->b]), 0)
  MUL_VARIANTS(MULSU, int8_t(R[e->a]) * R[e->b], 0)
  MUL_VARIANTS(FMUL, R[e->a] * R[e->b], 1)
  MUL_VARIANTS(FMULS, int8_t(R[e->a]) * int8_t(R[e->b]), 1)
  MUL_VARIANTS(FMULSU, int8_t(R[e->a]) * R[e->b], 1)

  // --- Data transfer ----------------------------------------------------------------------------
  // SREG at 0x5F and addresses beyond 0xFFFF escape to the reference before any side effect.

L_MOV:
  R[e->a] = R[e->b];
  NEXT(1);
L_MOVW:
  R[e->a] = R[e->b];
  R[e->a + 1] = R[e->b + 1];
  NEXT(1);
L_LDI:
  R[e->a] = e->b;
  NEXT(1);
L_LD : {
  const uint32_t address = POINTER(e->b);
  if (address == kSregAddress) goto escape;
  R[e->a] = R[address];
  NEXT(1);
}
L_LD_INC : {
  const uint32_t address = POINTER(e->b);
  if (address == kSregAddress) goto escape;
  const uint8_t value = R[address];
  SET_POINTER(e->b, address + 1);
  R[e->a] = value;
  NEXT(1);
}
L_LD_DEC : {
  const uint32_t address = (POINTER(e->b) - 1) & 0xFFFF;
  if (address == kSregAddress) goto escape;
  SET_POINTER(e->b, address);
  R[e->a] = R[address];
  NEXT(1);
}
L_ST : {
  const uint32_t address = POINTER(e->b);
  if (address == kSregAddress) goto escape;
  R[address] = R[e->a];
  NEXT(1);
}
L_ST_INC : {
  const uint32_t address = POINTER(e->b);
  if (address == kSregAddress) goto escape;
  SET_POINTER(e->b, address + 1);
  R[address] = R[e->a];
  NEXT(1);
}
L_ST_DEC : {
  const uint32_t address = (POINTER(e->b) - 1) & 0xFFFF;
  if (address == kSregAddress) goto escape;
  SET_POINTER(e->b, address);
  R[address] = R[e->a];
  NEXT(1);
}
L_LDD : {
  const uint32_t address = POINTER(e->b) + uint32_t(e->x);
  if (address == kSregAddress || address >= kGuestDataSize) goto escape;
  R[e->a] = R[address];
  NEXT(1);
}
L_STD : {
  const uint32_t address = POINTER(e->b) + uint32_t(e->x);
  if (address == kSregAddress || address >= kGuestDataSize) goto escape;
  R[address] = R[e->a];
  NEXT(1);
}
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
L_IN:
  R[e->a] = R[e->x];
  NEXT(1);
L_IN_SREG:
  R[e->a] = uint8_t(sreg);
  NEXT(1);
L_OUT:
  R[e->x] = R[e->a];
  NEXT(1);
L_OUT_SREG:
  sreg = R[e->a];
  NEXT(1);
L_PUSH : {
  const uint32_t s = POINTER(kSpAddress);
  if (s == kSregAddress) goto escape;
  SET_POINTER(kSpAddress, s - 1);
  R[s] = R[e->a];
  NEXT(1);
}
L_POP : {
  const uint32_t s = (POINTER(kSpAddress) + 1) & 0xFFFF;
  if (s == kSregAddress) goto escape;
  SET_POINTER(kSpAddress, s);
  R[e->a] = R[s];
  NEXT(1);
}
L_SBI:
  R[e->x] |= e->b;
  NEXT(1);
L_CBI:
  R[e->x] &= uint8_t(~e->b);
  NEXT(1);
L_LPM:
  R[e->a] = P[POINTER(30)];
  NEXT(1);
L_LPM_INC:
  R[e->a] = P[POINTER(30)];
  SET_POINTER(30, POINTER(30) + 1);
  NEXT(1);
L_ELPM : {
  const uint32_t address = (uint32_t(R[kRampzAddress]) << 16) | POINTER(30);
  if (address >= kProgramBytes) goto escape;
  R[e->a] = P[address];
  NEXT(1);
}
L_ELPM_INC : {
  const uint32_t address = (uint32_t(R[kRampzAddress]) << 16) | POINTER(30);
  if (address >= kProgramBytes) goto escape;
  R[e->a] = P[address];
  SET_POINTER(30, address + 1);
  R[kRampzAddress] = uint8_t((address + 1) >> 16);
  NEXT(1);
}

  // --- Status bits ------------------------------------------------------------------------------

L_BSET:
  sreg |= e->a;
  NEXT(1);
L_BCLR:
  sreg &= ~uint32_t(e->a);
  NEXT(1);
L_BST:
  sreg = (sreg & ~kT) | ((R[e->a] & e->b) ? kT : 0);
  NEXT(1);
L_BLD:
  R[e->a] = (sreg & kT) ? uint8_t(R[e->a] | e->b) : uint8_t(R[e->a] & ~e->b);
  NEXT(1);
L_NOP:
  NEXT(1);

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
  pc = POINTER(30);
  goto dispatch;
L_ICALL:
  PushReturn(R, PC() + 1);
  pc = POINTER(30);
  goto dispatch;
L_EIJMP:
  pc = (uint32_t(R[kEindAddress]) << 16) | POINTER(30);
  if (pc >= kProgramWords) goto L_STEP;  // the reference faults there
  goto dispatch;
L_EICALL:
  // The push comes first: it may write Z or EIND.
  PushReturn(R, PC() + 1);
  pc = (uint32_t(R[kEindAddress]) << 16) | POINTER(30);
  if (pc >= kProgramWords) {
    pc = 0;
    Machine.fault = kFaultEicall;
    goto stop;
  }
  goto dispatch;
L_RETI:
  sreg |= kI;
L_RET:
  pc = PopReturn(R, &R[kSpAddress]);
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
  sreg = ComposeSreg();
  pc = Machine.pc;
  if ((Machine.fault | Machine.quit) != 0) goto stop;
  goto dispatch;

// A case inside a block that the fast handler leaves to the reference: the instruction at e runs
// there, then the block goes on (or the run stops on its fault).
escape:
  pc = PC();
  SYNC_OUT();
  StepInstruction();
  sreg = ComposeSreg();
  if ((Machine.fault | Machine.quit) != 0) {
    budget += e->count - 1;  // the rest of the block did not run
    pc = Machine.pc;
    goto stop;
  }
  e = FastCache + Machine.pc;
  goto* e->handler;

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
  goto* e->handler;

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
#undef POINTER
#undef SET_POINTER
#undef SYNC_OUT
}

}  // namespace velmora
