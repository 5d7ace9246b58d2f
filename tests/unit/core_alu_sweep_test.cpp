// Every operand pair of the 8-bit ALU and multiply instructions, with every carry and incoming Z,
// against a reference model that does the arithmetic on wide signed integers: carries are results
// beyond 8 (or 4) bits, overflow is a signed result outside -128..127, S is the sign of the exact
// signed result.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/dispatch.h"
#include "core/machine.h"

namespace velmora {
namespace {

int Signed(unsigned v) {
  return v >= 0x80 ? int(v) - 0x100 : int(v);
}

struct Expected {
  unsigned result;  // 8-bit register result, or the 16-bit product
  uint8_t sreg;
};

// Sets flag `bit` of `sreg` to `value`.
uint8_t Put(uint8_t sreg, int bit, bool value) {
  return uint8_t(value ? sreg | 1 << bit : sreg & ~(1 << bit));
}

// Z, N, V, S from the result and the exact signed value; C and H as given.
Expected Flags(unsigned r, int exact, bool c, bool h, bool v, uint8_t s) {
  s = Put(Put(Put(s, kFlagC, c), kFlagZ, r == 0), kFlagN, r >= 0x80);
  return {r, Put(Put(Put(s, kFlagV, v), kFlagS, exact < 0), kFlagH, h)};
}

Expected Add(unsigned a, unsigned b, int carry, uint8_t s) {
  const int wide = int(a + b) + carry, exact = Signed(a) + Signed(b) + carry;
  return Flags(unsigned(wide) & 0xFF, exact, wide > 0xFF, int((a & 15) + (b & 15)) + carry > 15,
               exact < -128 || exact > 127, s);
}

// keepZ: SBC, SBCI and CPC clear Z for a non-zero result and keep it for a zero one.
Expected Sub(unsigned a, unsigned b, int carry, bool keepZ, uint8_t s) {
  const int wide = int(a) - int(b) - carry, exact = Signed(a) - Signed(b) - carry;
  Expected e = Flags(unsigned(wide) & 0xFF, exact, wide < 0, int(a & 15) - int(b & 15) - carry < 0,
                     exact < -128 || exact > 127, s);
  if (keepZ && e.result == 0) e.sreg = Put(e.sreg, kFlagZ, s & 2);
  return e;
}

// Logic: V = 0, N, Z, S = N; C and H kept.
Expected Logic(unsigned r, uint8_t s) {
  return Flags(r, Signed(r), s & 1, s & 0x20, false, s);
}

// Shifts: C = bit 0 out, V = N xor C, S = N xor V.
Expected Shift(unsigned r, int out, uint8_t s) {
  const bool n = r >= 0x80;
  const Expected e = Flags(r, 0, out, s & 0x20, n != bool(out), s);
  return {r, Put(e.sreg, kFlagS, n != (n != bool(out)))};
}

// Products: C is bit 15 of the (unshifted) product, Z says whether the stored value is zero.
Expected Product(int product, bool fractional, uint8_t s) {
  const unsigned stored = unsigned(fractional ? product * 2 : product) & 0xFFFF;
  return {stored, Put(Put(s, kFlagC, product < 0 || product >= 0x8000), kFlagZ, stored == 0)};
}

// INC and DEC keep C and H.
Expected KeepCH(Expected e, uint8_t s) {
  return {e.result, uint8_t((e.sreg & ~0x21) | (s & 0x21))};
}

enum Form { kTwoRegister, kImmediate, kOneOperand, kMultiply };

struct SweepOp {
  const char* name;
  Form form;
  uint16_t word;  // operand fields filled in by the sweep
  bool stores;
  Expected (*model)(unsigned a, unsigned b, uint8_t s);
};

// A model as an expression of the operands a and b and the incoming SREG s.
#define MODEL(expression) [](unsigned a, unsigned b, uint8_t s) { return (void)b, (expression); }

// clang-format off
const SweepOp kOps[] = {
    {"ADD", kTwoRegister, 0x0C00, true, MODEL(Add(a, b, 0, s))},
    {"ADC", kTwoRegister, 0x1C00, true, MODEL(Add(a, b, s & 1, s))},
    {"SUB", kTwoRegister, 0x1800, true, MODEL(Sub(a, b, 0, false, s))},
    {"SBC", kTwoRegister, 0x0800, true, MODEL(Sub(a, b, s & 1, true, s))},
    {"CP", kTwoRegister, 0x1400, false, MODEL(Sub(a, b, 0, false, s))},
    {"CPC", kTwoRegister, 0x0400, false, MODEL(Sub(a, b, s & 1, true, s))},
    {"AND", kTwoRegister, 0x2000, true, MODEL(Logic(a & b, s))},
    {"OR", kTwoRegister, 0x2800, true, MODEL(Logic(a | b, s))},
    {"EOR", kTwoRegister, 0x2400, true, MODEL(Logic(a ^ b, s))},
    {"SUBI", kImmediate, 0x5000, true, MODEL(Sub(a, b, 0, false, s))},
    {"SBCI", kImmediate, 0x4000, true, MODEL(Sub(a, b, s & 1, true, s))},
    {"CPI", kImmediate, 0x3000, false, MODEL(Sub(a, b, 0, false, s))},
    {"ANDI", kImmediate, 0x7000, true, MODEL(Logic(a & b, s))},
    {"ORI", kImmediate, 0x6000, true, MODEL(Logic(a | b, s))},
    {"COM", kOneOperand, 0x9400, true, MODEL(Logic(255 - a, uint8_t(s | 1)))},
    {"NEG", kOneOperand, 0x9401, true, MODEL(Sub(0, a, 0, false, s))},
    {"SWAP", kOneOperand, 0x9402, true, MODEL((Expected{(a % 16) * 16 + a / 16, s}))},
    {"INC", kOneOperand, 0x9403, true, MODEL(KeepCH(Add(a, 1, 0, s), s))},
    {"DEC", kOneOperand, 0x940A, true, MODEL(KeepCH(Sub(a, 1, 0, false, s), s))},
    {"ASR", kOneOperand, 0x9405, true, MODEL(Shift(unsigned(Signed(a) >> 1) & 0xFF, a % 2, s))},
    {"LSR", kOneOperand, 0x9406, true, MODEL(Shift(a / 2, a % 2, s))},
    {"ROR", kOneOperand, 0x9407, true, MODEL(Shift(a / 2 + 128 * (s & 1), a % 2, s))},
    {"MUL", kMultiply, 0x9C00, true, MODEL(Product(int(a * b), false, s))},
    {"MULS", kMultiply, 0x0200, true, MODEL(Product(Signed(a) * Signed(b), false, s))},
    {"MULSU", kMultiply, 0x0300, true, MODEL(Product(Signed(a) * int(b), false, s))},
    {"FMUL", kMultiply, 0x0308, true, MODEL(Product(int(a * b), true, s))},
    {"FMULS", kMultiply, 0x0380, true, MODEL(Product(Signed(a) * Signed(b), true, s))},
    {"FMULSU", kMultiply, 0x0388, true, MODEL(Product(Signed(a) * int(b), true, s))},
};
// clang-format on

// Registers: R20 and R21 for the ALU forms, R18 and R23 for the multiplies (MUL takes any).
constexpr int kD = 20, kR = 21, kMulD = 18, kMulR = 23;

uint16_t Encode(const SweepOp& op, unsigned b) {
  switch (op.form) {
    case kTwoRegister:
      return uint16_t(op.word | (kR & 0x10) << 5 | kD << 4 | (kR & 0x0F));
    case kImmediate:
      return uint16_t(op.word | (b & 0xF0) << 4 | (kD - 16) << 4 | (b & 0x0F));
    case kOneOperand:
      return uint16_t(op.word | kD << 4);
    case kMultiply:
      if (op.word == 0x9C00)
        return uint16_t(op.word | (kMulR & 0x10) << 5 | kMulD << 4 | (kMulR & 15));
      return uint16_t(op.word | (kMulD - 16) << 4 | (kMulR - 16));
  }
  return 0;
}

TEST(CoreAluSweep, EveryOperandMatchesTheReferenceModel) {
  ClearMachine();
  ResetMachine();
  for (const SweepOp& op : kOps) {
    const bool multiply = op.form == kMultiply;
    const int d = multiply ? kMulD : kD, r = multiply ? kMulR : kR;
    // Incoming flags: every C and Z with the others in a varying pattern, so kept flags count.
    uint8_t pattern = 0x5A;
    int failures = 0;
    for (unsigned a = 0; a < 256; ++a) {
      for (unsigned b = 0; b < (op.form == kOneOperand ? 1u : 256u); ++b) {
        const uint16_t word = Encode(op, b);
        Machine.program[0] = uint8_t(word);
        Machine.program[1] = uint8_t(word >> 8);
        for (unsigned cz = 0; cz < 4; ++cz) {
          pattern = uint8_t(pattern * 5 + 1);
          const uint8_t sreg = uint8_t((pattern & 0xFC) | cz);
          Machine.data[d] = uint8_t(a);
          Machine.data[r] = uint8_t(b);
          Machine.data[0] = 0x11;
          Machine.data[1] = 0x22;
          SplitSreg(sreg);
          Machine.pc = 0;
          StepInstruction();
          const Expected e = op.model(a, b, sreg);
          const unsigned got = multiply ? DataWord(0) : Machine.data[d];
          const unsigned want = multiply || op.stores ? e.result : a;
          const bool kept = Machine.data[r] == b && (!multiply || Machine.data[d] == a);
          if (got == want && ComposeSreg() == e.sreg && Machine.pc == 1 && kept) continue;
          ADD_FAILURE() << op.name << " a=0x" << std::hex << a << " b=0x" << b << " sreg in 0x"
                        << int(sreg) << ": result 0x" << got << " (want 0x" << want << "), sreg 0x"
                        << int(ComposeSreg()) << " (want 0x" << int(e.sreg) << ")";
          if (++failures == 5) break;
        }
        if (failures == 5) break;
      }
      if (failures == 5) break;
    }
  }
}

}  // namespace
}  // namespace velmora
