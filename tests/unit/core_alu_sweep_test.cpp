// Every operand pair of the 8-bit ALU instructions, with and without carry and incoming Z,
// against a reference model that does the arithmetic on wide signed integers: carries are
// results beyond 8 (or 4) bits, overflow is a signed result outside -128..127, S is the sign of
// the exact signed result.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/dispatch.h"
#include "core/machine.h"

namespace velmora {
namespace {

constexpr int kD = 20, kR = 21;  // the registers the two-operand forms use

int Signed(unsigned v) {
  return v >= 0x80 ? int(v) - 0x100 : int(v);
}

// Expected flags: each one 0 or 1, or kKeep.
constexpr int kKeep = -1;
struct FlagRule {
  int c = kKeep, z = kKeep, n = kKeep, v = kKeep, s = kKeep, h = kKeep;
};

uint8_t Apply(uint8_t in, const FlagRule& f) {
  const int values[6] = {f.c, f.z, f.n, f.v, f.s, f.h};
  uint8_t out = in;
  for (int bit = 0; bit < 6; ++bit) {
    if (values[bit] == kKeep) continue;
    out = uint8_t(values[bit] ? out | (1 << bit) : out & ~(1 << bit));
  }
  return out;
}

struct Expected {
  unsigned result;  // 8-bit register result, or the 16-bit product
  uint8_t sreg;
};

int CarryIn(uint8_t sreg) {
  return sreg & 1;
}
int ZeroIn(uint8_t sreg) {
  return (sreg >> 1) & 1;
}

Expected Add(unsigned a, unsigned b, int carry, uint8_t sreg) {
  const int wide = int(a + b) + carry, exact = Signed(a) + Signed(b) + carry;
  const unsigned r = unsigned(wide) & 0xFF;
  FlagRule f;
  f.c = wide > 0xFF;
  f.h = int((a & 15) + (b & 15)) + carry > 15;
  f.v = exact < -128 || exact > 127;
  f.n = r >= 0x80;
  f.z = r == 0;
  f.s = exact < 0;
  return {r, Apply(sreg, f)};
}

Expected Subtract(unsigned a, unsigned b, int carry, bool keepZ, uint8_t sreg) {
  const int wide = int(a) - int(b) - carry, exact = Signed(a) - Signed(b) - carry;
  const unsigned r = unsigned(wide) & 0xFF;
  FlagRule f;
  f.c = wide < 0;
  f.h = int(a & 15) - int(b & 15) - carry < 0;
  f.v = exact < -128 || exact > 127;
  f.n = r >= 0x80;
  f.z = keepZ ? (r == 0 ? ZeroIn(sreg) : 0) : r == 0;
  f.s = exact < 0;
  return {r, Apply(sreg, f)};
}

Expected Logic(unsigned r, uint8_t sreg) {
  FlagRule f;
  f.v = 0;
  f.n = r >= 0x80;
  f.s = r >= 0x80;
  f.z = r == 0;
  return {r, Apply(sreg, f)};
}

// The shifts define V and S through N and C.
Expected Shift(unsigned r, int carryOut, uint8_t sreg) {
  FlagRule f;
  f.c = carryOut;
  f.n = r >= 0x80;
  f.v = f.n ^ f.c;
  f.s = f.n ^ f.v;
  f.z = r == 0;
  return {r, Apply(sreg, f)};
}

// Products: C is set when the 16-bit product reads as at least 0x8000 (negative for the signed
// forms), Z when the stored value is zero.
Expected Product(int product, bool fractional, uint8_t sreg) {
  const unsigned stored = unsigned(fractional ? product * 2 : product) & 0xFFFF;
  FlagRule f;
  f.c = product < 0 || product >= 0x8000;
  f.z = stored == 0;
  return {stored, Apply(sreg, f)};
}

enum class Form { kTwoRegister, kImmediate, kOneOperand, kMultiply };

struct SweepOp {
  const char* name;
  Form form;
  uint16_t word;  // operand fields filled in by the sweep
  bool stores;
  Expected (*model)(unsigned a, unsigned b, uint8_t sreg);
};

const SweepOp kOps[] = {
    {"ADD", Form::kTwoRegister, 0x0C00, true,
     [](unsigned a, unsigned b, uint8_t s) { return Add(a, b, 0, s); }},
    {"ADC", Form::kTwoRegister, 0x1C00, true,
     [](unsigned a, unsigned b, uint8_t s) { return Add(a, b, CarryIn(s), s); }},
    {"SUB", Form::kTwoRegister, 0x1800, true,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, 0, false, s); }},
    {"SBC", Form::kTwoRegister, 0x0800, true,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, CarryIn(s), true, s); }},
    {"CP", Form::kTwoRegister, 0x1400, false,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, 0, false, s); }},
    {"CPC", Form::kTwoRegister, 0x0400, false,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, CarryIn(s), true, s); }},
    {"AND", Form::kTwoRegister, 0x2000, true,
     [](unsigned a, unsigned b, uint8_t s) { return Logic(a & b, s); }},
    {"OR", Form::kTwoRegister, 0x2800, true,
     [](unsigned a, unsigned b, uint8_t s) { return Logic(a | b, s); }},
    {"EOR", Form::kTwoRegister, 0x2400, true,
     [](unsigned a, unsigned b, uint8_t s) { return Logic(a ^ b, s); }},
    {"SUBI", Form::kImmediate, 0x5000, true,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, 0, false, s); }},
    {"SBCI", Form::kImmediate, 0x4000, true,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, CarryIn(s), true, s); }},
    {"CPI", Form::kImmediate, 0x3000, false,
     [](unsigned a, unsigned b, uint8_t s) { return Subtract(a, b, 0, false, s); }},
    {"ANDI", Form::kImmediate, 0x7000, true,
     [](unsigned a, unsigned b, uint8_t s) { return Logic(a & b, s); }},
    {"ORI", Form::kImmediate, 0x6000, true,
     [](unsigned a, unsigned b, uint8_t s) { return Logic(a | b, s); }},
    {"COM", Form::kOneOperand, 0x9400, true,
     [](unsigned a, unsigned, uint8_t s) {
       Expected e = Logic(255 - a, s);
       e.sreg |= 1;  // C
       return e;
     }},
    {"NEG", Form::kOneOperand, 0x9401, true,
     [](unsigned a, unsigned, uint8_t s) { return Subtract(0, a, 0, false, s); }},
    {"SWAP", Form::kOneOperand, 0x9402, true,
     [](unsigned a, unsigned, uint8_t s) {
       return Expected{(a % 16) * 16 + a / 16, s};
     }},
    {"INC", Form::kOneOperand, 0x9403, true,
     [](unsigned a, unsigned, uint8_t s) {
       Expected e = Add(a, 1, 0, s);
       e.sreg = uint8_t((e.sreg & ~0x21) | (s & 0x21));  // C and H kept
       return e;
     }},
    {"DEC", Form::kOneOperand, 0x940A, true,
     [](unsigned a, unsigned, uint8_t s) {
       Expected e = Subtract(a, 1, 0, false, s);
       e.sreg = uint8_t((e.sreg & ~0x21) | (s & 0x21));
       return e;
     }},
    {"ASR", Form::kOneOperand, 0x9405, true,
     [](unsigned a, unsigned, uint8_t s) {
       return Shift(unsigned(Signed(a) >> 1) & 0xFF, int(a % 2), s);
     }},
    {"LSR", Form::kOneOperand, 0x9406, true,
     [](unsigned a, unsigned, uint8_t s) { return Shift(a / 2, int(a % 2), s); }},
    {"ROR", Form::kOneOperand, 0x9407, true,
     [](unsigned a, unsigned, uint8_t s) {
       return Shift(a / 2 + 128 * CarryIn(s), int(a % 2), s);
     }},
    {"MUL", Form::kMultiply, 0x9C00, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(int(a * b), false, s); }},
    {"MULS", Form::kMultiply, 0x0200, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(Signed(a) * Signed(b), false, s); }},
    {"MULSU", Form::kMultiply, 0x0300, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(Signed(a) * int(b), false, s); }},
    {"FMUL", Form::kMultiply, 0x0308, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(int(a * b), true, s); }},
    {"FMULS", Form::kMultiply, 0x0380, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(Signed(a) * Signed(b), true, s); }},
    {"FMULSU", Form::kMultiply, 0x0388, true,
     [](unsigned a, unsigned b, uint8_t s) { return Product(Signed(a) * int(b), true, s); }},
};

void PrintTo(const SweepOp& op, std::ostream* os) { *os << op.name; }

void PutWord(uint16_t word) {
  Machine.program[0] = uint8_t(word);
  Machine.program[1] = uint8_t(word >> 8);
}

// The multiplies take their operands from R16-R23 (R16-R31 for MULS); MUL from any register.
constexpr int kMulD = 18, kMulR = 23;

uint16_t Encode(const SweepOp& op, unsigned b) {
  switch (op.form) {
    case Form::kTwoRegister:
      return uint16_t(op.word | ((kR & 0x10) << 5) | (kD << 4) | (kR & 0x0F));
    case Form::kImmediate:
      return uint16_t(op.word | ((b & 0xF0) << 4) | ((kD - 16) << 4) | (b & 0x0F));
    case Form::kOneOperand:
      return uint16_t(op.word | (kD << 4));
    case Form::kMultiply:
      if (op.word == 0x9C00)
        return uint16_t(op.word | ((kMulR & 0x10) << 5) | (kMulD << 4) | (kMulR & 0x0F));
      return uint16_t(op.word | ((kMulD - 16) << 4) | (kMulR - 16));
  }
  return 0;
}

class CoreAluSweep : public testing::TestWithParam<SweepOp> {};

TEST_P(CoreAluSweep, MatchesTheReferenceModel) {
  const SweepOp& op = GetParam();
  ClearMachine();
  ResetMachine();
  const bool multiply = op.form == Form::kMultiply;
  const int dReg = multiply ? kMulD : kD, rReg = multiply ? kMulR : kR;
  const unsigned bCount = op.form == Form::kOneOperand ? 1 : 256;
  // Incoming flags: every combination of C and Z with the other flags in a varying pattern,
  // so that kept flags are checked as well.
  uint8_t pattern = 0x5A;
  int failures = 0;
  if (op.form != Form::kImmediate) PutWord(Encode(op, 0));
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < bCount; ++b) {
      if (op.form == Form::kImmediate) PutWord(Encode(op, b));
      for (unsigned cz = 0; cz < 4; ++cz) {
        pattern = uint8_t(pattern * 5 + 1);
        const uint8_t sreg = uint8_t((pattern & 0xFC) | cz);
        Machine.data[dReg] = uint8_t(a);
        Machine.data[rReg] = uint8_t(b);
        Machine.data[0] = 0x11;
        Machine.data[1] = 0x22;
        SplitSreg(sreg);
        Machine.pc = 0;
        StepInstruction();
        const Expected e = op.model(a, b, sreg);
        const unsigned got =
            multiply ? unsigned(Machine.data[0] | (Machine.data[1] << 8)) : Machine.data[dReg];
        const unsigned want = multiply ? e.result : (op.stores ? e.result : a);
        const bool operandsKept = multiply ? (Machine.data[dReg] == a && Machine.data[rReg] == b)
                                           : (Machine.data[rReg] == b);
        if (got != want || ComposeSreg() != e.sreg || Machine.pc != 1 || !operandsKept) {
          ADD_FAILURE() << op.name << " a=0x" << std::hex << a << " b=0x" << b << " sreg in 0x"
                        << int(sreg) << ": result 0x" << got << " (want 0x" << want << "), sreg 0x"
                        << int(ComposeSreg()) << " (want 0x" << int(e.sreg) << "), pc "
                        << Machine.pc;
          if (++failures == 5) return;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllOperands, CoreAluSweep, testing::ValuesIn(kOps),
                         [](const testing::TestParamInfo<SweepOp>& info) {
                           return std::string(info.param.name);
                         });

// Both operands in one register: ADD Rd,Rd shifts, ADC rotates, SUB and EOR clear, CP finds equal.
TEST(CoreAluSweepSameRegister, DoubledOperand) {
  struct Row {
    const char* name;
    uint16_t word;
    Expected (*model)(unsigned a, uint8_t sreg);
  };
  const Row rows[] = {
      {"ADD", 0x0C00, [](unsigned a, uint8_t s) { return Add(a, a, 0, s); }},
      {"ADC", 0x1C00, [](unsigned a, uint8_t s) { return Add(a, a, CarryIn(s), s); }},
      {"SUB", 0x1800, [](unsigned a, uint8_t s) { return Subtract(a, a, 0, false, s); }},
      {"SBC", 0x0800, [](unsigned a, uint8_t s) { return Subtract(a, a, CarryIn(s), true, s); }},
      {"EOR", 0x2400, [](unsigned a, uint8_t s) { return Logic(a ^ a, s); }},
      {"AND", 0x2000, [](unsigned a, uint8_t s) { return Logic(a, s); }},
  };
  ClearMachine();
  ResetMachine();
  for (const Row& row : rows) {
    PutWord(uint16_t(row.word | ((kD & 0x10) << 5) | (kD << 4) | (kD & 0x0F)));
    for (unsigned a = 0; a < 256; ++a) {
      for (unsigned sreg = 0; sreg < 256; sreg += 0x23) {
        Machine.data[kD] = uint8_t(a);
        SplitSreg(uint8_t(sreg));
        Machine.pc = 0;
        StepInstruction();
        const Expected e = row.model(a, uint8_t(sreg));
        ASSERT_EQ(Machine.data[kD], e.result) << row.name << " a=" << a;
        ASSERT_EQ(ComposeSreg(), e.sreg) << row.name << " a=" << a << " sreg=" << sreg;
      }
    }
  }
}

}  // namespace
}  // namespace velmora
