// Instruction behaviour, one row per case: a few instruction words, the data bytes and flags
// before, and every data byte, flag, pc and fault after. Each row also proves that no other byte
// of the data space (guard bytes and the stored SREG byte included) changed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/dispatch.h"
#include "core/machine.h"

namespace velmora {
namespace {

// Instruction word builders, straight from the encoding bit patterns.
constexpr uint16_t RR(uint16_t op, int d, int r) {
  return uint16_t(op | ((r & 0x10) << 5) | ((d & 0x1F) << 4) | (r & 0x0F));
}
constexpr uint16_t RK(uint16_t op, int d, int k) {
  return uint16_t(op | ((k & 0xF0) << 4) | ((d & 0x0F) << 4) | (k & 0x0F));
}
constexpr uint16_t R1(uint16_t op, int d) {
  return uint16_t(op | ((d & 0x1F) << 4));
}
constexpr uint16_t ADD(int d, int r) {
  return RR(0x0C00, d, r);
}
constexpr uint16_t ADC(int d, int r) {
  return RR(0x1C00, d, r);
}
constexpr uint16_t SUB(int d, int r) {
  return RR(0x1800, d, r);
}
constexpr uint16_t SBC(int d, int r) {
  return RR(0x0800, d, r);
}
constexpr uint16_t CP(int d, int r) {
  return RR(0x1400, d, r);
}
constexpr uint16_t CPC(int d, int r) {
  return RR(0x0400, d, r);
}
constexpr uint16_t AND(int d, int r) {
  return RR(0x2000, d, r);
}
constexpr uint16_t OR(int d, int r) {
  return RR(0x2800, d, r);
}
constexpr uint16_t EOR(int d, int r) {
  return RR(0x2400, d, r);
}
constexpr uint16_t MOV(int d, int r) {
  return RR(0x2C00, d, r);
}
constexpr uint16_t CPSE(int d, int r) {
  return RR(0x1000, d, r);
}
constexpr uint16_t MUL(int d, int r) {
  return RR(0x9C00, d, r);
}
constexpr uint16_t CPI(int d, int k) {
  return RK(0x3000, d, k);
}
constexpr uint16_t SBCI(int d, int k) {
  return RK(0x4000, d, k);
}
constexpr uint16_t SUBI(int d, int k) {
  return RK(0x5000, d, k);
}
constexpr uint16_t ORI(int d, int k) {
  return RK(0x6000, d, k);
}
constexpr uint16_t ANDI(int d, int k) {
  return RK(0x7000, d, k);
}
constexpr uint16_t LDI(int d, int k) {
  return RK(0xE000, d, k);
}
constexpr uint16_t COM(int d) {
  return R1(0x9400, d);
}
constexpr uint16_t NEG(int d) {
  return R1(0x9401, d);
}
constexpr uint16_t SWAP(int d) {
  return R1(0x9402, d);
}
constexpr uint16_t INC(int d) {
  return R1(0x9403, d);
}
constexpr uint16_t ASR(int d) {
  return R1(0x9405, d);
}
constexpr uint16_t LSR(int d) {
  return R1(0x9406, d);
}
constexpr uint16_t ROR(int d) {
  return R1(0x9407, d);
}
constexpr uint16_t DEC(int d) {
  return R1(0x940A, d);
}
constexpr uint16_t ADIW(int pair, int k) {
  return uint16_t(0x9600 | ((k & 0x30) << 2) | (((pair - 24) / 2) << 4) | (k & 0x0F));
}
constexpr uint16_t SBIW(int pair, int k) {
  return uint16_t(ADIW(pair, k) | 0x0100);
}
constexpr uint16_t MULS(int d, int r) {
  return uint16_t(0x0200 | ((d - 16) << 4) | (r - 16));
}
constexpr uint16_t MUL3(int variant, int d, int r) {
  return uint16_t(0x0300 | variant | ((d - 16) << 4) | (r - 16));
}
constexpr uint16_t MULSU(int d, int r) {
  return MUL3(0x00, d, r);
}
constexpr uint16_t FMUL(int d, int r) {
  return MUL3(0x08, d, r);
}
constexpr uint16_t FMULS(int d, int r) {
  return MUL3(0x80, d, r);
}
constexpr uint16_t FMULSU(int d, int r) {
  return MUL3(0x88, d, r);
}
constexpr uint16_t MOVW(int d, int r) {
  return uint16_t(0x0100 | ((d / 2) << 4) | (r / 2));
}
// Indirect forms by the low four bits of the load and store groups.
enum : uint16_t { kZInc = 1, kZDec = 2, kYPlain = 8, kYInc = 9, kYDec = 10 };
enum : uint16_t { kXPlain = 12, kXInc = 13, kXDec = 14 };
constexpr uint16_t LD(int d, uint16_t form) {
  return R1(uint16_t(0x9000 | form), d);
}
constexpr uint16_t ST(uint16_t form, int r) {
  return R1(uint16_t(0x9200 | form), r);
}
constexpr uint16_t LDD(int d, bool y, int q) {
  return uint16_t(0x8000 | ((q & 0x20) << 8) | ((q & 0x18) << 7) | ((d & 0x1F) << 4) | (y ? 8 : 0) |
                  (q & 7));
}
constexpr uint16_t STD(bool y, int q, int r) {
  return uint16_t(LDD(r, y, q) | 0x0200);
}
constexpr uint16_t LDS(int d) {
  return R1(0x9000, d);
}  // second word: the address
constexpr uint16_t STS(int r) {
  return R1(0x9200, r);
}
constexpr uint16_t PUSH(int r) {
  return R1(0x920F, r);
}
constexpr uint16_t POP(int d) {
  return R1(0x900F, d);
}
constexpr uint16_t XCH(int d) {
  return R1(0x9204, d);
}
constexpr uint16_t LAS(int d) {
  return R1(0x9205, d);
}
constexpr uint16_t LAC(int d) {
  return R1(0x9206, d);
}
constexpr uint16_t LAT(int d) {
  return R1(0x9207, d);
}
constexpr uint16_t LPMZ(int d) {
  return R1(0x9004, d);
}
constexpr uint16_t LPMZINC(int d) {
  return R1(0x9005, d);
}
constexpr uint16_t ELPMZ(int d) {
  return R1(0x9006, d);
}
constexpr uint16_t ELPMZINC(int d) {
  return R1(0x9007, d);
}
constexpr uint16_t IN(int d, int a) {
  return uint16_t(0xB000 | ((a & 0x30) << 5) | ((d & 0x1F) << 4) | (a & 0x0F));
}
constexpr uint16_t OUT(int a, int r) {
  return uint16_t(IN(r, a) | 0x0800);
}
constexpr uint16_t IOBIT(uint16_t op, int a, int b) {
  return uint16_t(op | (a << 3) | b);
}
constexpr uint16_t CBI(int a, int b) {
  return IOBIT(0x9800, a, b);
}
constexpr uint16_t SBIC(int a, int b) {
  return IOBIT(0x9900, a, b);
}
constexpr uint16_t SBI(int a, int b) {
  return IOBIT(0x9A00, a, b);
}
constexpr uint16_t SBIS(int a, int b) {
  return IOBIT(0x9B00, a, b);
}
constexpr uint16_t RJMP(int k) {
  return uint16_t(0xC000 | (k & 0xFFF));
}
constexpr uint16_t RCALL(int k) {
  return uint16_t(0xD000 | (k & 0xFFF));
}
constexpr uint16_t BRBS(int s, int k) {
  return uint16_t(0xF000 | ((k & 0x7F) << 3) | s);
}
constexpr uint16_t BRBC(int s, int k) {
  return uint16_t(0xF400 | ((k & 0x7F) << 3) | s);
}
constexpr uint16_t BLD(int d, int b) {
  return uint16_t(0xF800 | (d << 4) | b);
}
constexpr uint16_t BST(int d, int b) {
  return uint16_t(0xFA00 | (d << 4) | b);
}
constexpr uint16_t SBRC(int r, int b) {
  return uint16_t(0xFC00 | (r << 4) | b);
}
constexpr uint16_t SBRS(int r, int b) {
  return uint16_t(0xFE00 | (r << 4) | b);
}
constexpr uint16_t JMP(uint32_t k) {
  return uint16_t(0x940C | ((k >> 13) & 0x1F0) | ((k >> 16) & 1));
}
constexpr uint16_t CALL(uint32_t k) {
  return uint16_t(JMP(k) | 2);
}
constexpr uint16_t Low(uint32_t k) {
  return uint16_t(k);
}
constexpr uint16_t kRET = 0x9508, kRETI = 0x9518, kIJMP = 0x9409, kEIJMP = 0x9419;
constexpr uint16_t kICALL = 0x9509, kEICALL = 0x9519, kLPM = 0x95C8, kELPM = 0x95D8;
constexpr uint16_t kSLEEP = 0x9588, kSPM = 0x95E8, kNOP = 0x0000;

using Bytes = std::vector<std::pair<uint32_t, uint8_t>>;

// Data addresses of the registers the rows use most.
enum : uint32_t { XL = 26, XH, YL, YH, ZL, ZH };
enum : uint32_t { RAMPZ = 0x5B, EIND = 0x5C, SPL = 0x5D, SPH = 0x5E, SREG = 0x5F };

struct Case {
  const char* name;
  std::vector<uint16_t> code;  // placed at word `at`, pc starts there
  Bytes before;                // data bytes over the reset state (all 0xFF, SP 0xFFFF)
  const char* flags = "";      // flags set before, by letter; the others are 0
  Bytes after;                 // every data byte that must change
  const char* flagsAfter = "";
  uint32_t pc = 1;
  uint8_t fault = 0;
  uint32_t at = 0;
  int steps = 1;
  Bytes program = {};  // extra program-memory bytes
};

uint8_t FlagValue(const char* letters) {
  static const char kOrder[] = "CZNVSHTI";
  uint8_t value = 0;
  for (const char* p = letters; *p; ++p)
    for (int i = 0; i < 8; ++i)
      if (kOrder[i] == *p) value |= uint8_t(1 << i);
  return value;
}

std::string FlagLetters(uint8_t value) {
  static const char kOrder[] = "CZNVSHTI";
  std::string s;
  for (int i = 0; i < 8; ++i)
    if (value & (1 << i)) s += kOrder[i];
  return s.empty() ? "-" : s;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  ClearMachine();
  uint32_t byte = 2 * c.at;
  for (uint16_t w : c.code) {
    Machine.program[byte++] = uint8_t(w);
    Machine.program[byte++] = uint8_t(w >> 8);
  }
  for (auto [address, value] : c.program) Machine.program[address] = value;
  ResetMachine();
  for (auto [address, value] : c.before) Machine.data[address] = value;
  SplitSreg(FlagValue(c.flags));
  Machine.pc = c.at;

  static uint8_t expected[kDataSpaceSize];
  std::copy(Machine.data, Machine.data + kDataSpaceSize, expected);
  for (auto [address, value] : c.after) expected[address] = value;

  for (int i = 0; i < c.steps && Machine.fault == kFaultNone; ++i) StepInstruction();

  EXPECT_EQ(Machine.pc, c.pc);
  EXPECT_EQ(Machine.fault, c.fault);
  EXPECT_EQ(FlagLetters(ComposeSreg()), FlagLetters(FlagValue(c.flagsAfter)));
  for (uint8_t f : Machine.flags.bit) EXPECT_LE(f, 1) << "flag bytes hold 0 or 1";
  int reported = 0;
  for (uint32_t a = 0; a < kDataSpaceSize && reported < 8; ++a) {
    if (Machine.data[a] == expected[a]) continue;
    ADD_FAILURE() << "data 0x" << std::hex << a << " is 0x" << int(Machine.data[a])
                  << ", expected 0x" << int(expected[a]);
    ++reported;
  }
}

void RunAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) RunCase(c);
}

TEST(CoreInstructions, AddAndSubtract) {
  RunAll({
      {"ADD 0x7F+0x01 overflows into the sign",
       {ADD(16, 17)},
       {{16, 0x7F}, {17, 0x01}},
       "",
       {{16, 0x80}},
       "HVN"},
      {"ADD 0xFF+0x01 carries out to zero",
       {ADD(0, 31)},
       {{0, 0xFF}, {31, 0x01}},
       "CZNVSHTI",
       {{0, 0x00}},
       "CZHTI"},
      {"ADD Rd,Rd shifts left", {ADD(5, 5)}, {{5, 0x81}}, "", {{5, 0x02}}, "CVS"},
      {"ADC adds the carry", {ADC(1, 2)}, {{1, 0x0F}, {2, 0x00}}, "C", {{1, 0x10}}, "H"},
      {"ADC without carry", {ADC(1, 2)}, {{1, 0x0F}, {2, 0x00}}, "", {{1, 0x0F}}, ""},
      {"ADC Rd,Rd rotates left through carry",
       {ADC(20, 20)},
       {{20, 0x80}},
       "C",
       {{20, 0x01}},
       "CVS"},
      {"ADC 0xFF+0x00+C wraps", {ADC(3, 4)}, {{3, 0xFF}, {4, 0x00}}, "C", {{3, 0x00}}, "CZH"},
      {"SUB 0x00-0x01 borrows", {SUB(16, 17)}, {{16, 0x00}, {17, 0x01}}, "", {{16, 0xFF}}, "CHNS"},
      {"SUB 0x80-0x01 overflows", {SUB(30, 1)}, {{30, 0x80}, {1, 0x01}}, "", {{30, 0x7F}}, "HVS"},
      {"SUB equal gives Z", {SUB(7, 8)}, {{7, 0x42}, {8, 0x42}}, "CN", {{7, 0x00}}, "Z"},
      {"SBC borrow clears Z", {SBC(16, 17)}, {{16, 0x00}, {17, 0x00}}, "CZ", {{16, 0xFF}}, "CHNS"},
      {"SBC zero result keeps Z set",
       {SBC(16, 17)},
       {{16, 0x05}, {17, 0x04}},
       "CZ",
       {{16, 0x00}},
       "Z"},
      {"SBC zero result keeps Z clear", {SBC(16, 17)}, {{16, 0x05}, {17, 0x05}}, "", {{16, 0}}, ""},
      {"CP equal sets Z and stores nothing", {CP(9, 10)}, {{9, 0x33}, {10, 0x33}}, "C", {}, "Z"},
      {"CP 3 with 5", {CP(9, 10)}, {{9, 0x03}, {10, 0x05}}, "", {}, "CHNS"},
      {"CPC equal without carry keeps Z", {CPC(9, 10)}, {{9, 0x12}, {10, 0x12}}, "Z", {}, "Z"},
      {"CPC equal without carry keeps Z clear", {CPC(9, 10)}, {{9, 0x12}, {10, 0x12}}, "", {}, ""},
      {"CPC unequal clears Z", {CPC(9, 10)}, {{9, 0x05}, {10, 0x04}}, "Z", {}, ""},
      {"CPC with carry to zero keeps Z", {CPC(9, 10)}, {{9, 0x05}, {10, 0x04}}, "CZ", {}, "Z"},
      {"SUBI 0x10-0x20", {SUBI(16, 0x20)}, {{16, 0x10}}, "", {{16, 0xF0}}, "CNS"},
      {"SUBI on R31", {SUBI(31, 0x01)}, {{31, 0x01}}, "", {{31, 0x00}}, "Z"},
      {"SBCI borrow", {SBCI(17, 0x00)}, {{17, 0x00}}, "CZ", {{17, 0xFF}}, "CHNS"},
      {"SBCI to zero keeps Z", {SBCI(17, 0x00)}, {{17, 0x01}}, "CZ", {{17, 0x00}}, "Z"},
      {"CPI equal on R31", {CPI(31, 0xFF)}, {{31, 0xFF}}, "C", {}, "Z"},
      {"CPI signed overflow", {CPI(20, 0x01)}, {{20, 0x80}}, "", {}, "HVS"},
  });
}

TEST(CoreInstructions, Logic) {
  RunAll({
      {"AND keeps C and H, clears V",
       {AND(2, 3)},
       {{2, 0xF0}, {3, 0x8F}},
       "CHV",
       {{2, 0x80}},
       "CHNS"},
      {"AND Rd,Rd tests", {AND(4, 4)}, {{4, 0x00}}, "", {{4, 0x00}}, "Z"},
      {"OR to zero", {OR(0, 1)}, {{0, 0}, {1, 0}}, "V", {{0, 0}}, "Z"},
      {"OR sets bits", {OR(0, 1)}, {{0, 0x01}, {1, 0x40}}, "Z", {{0, 0x41}}, ""},
      {"EOR Rd,Rd clears", {EOR(31, 31)}, {{31, 0xA5}}, "NS", {{31, 0x00}}, "Z"},
      {"EOR toggles", {EOR(5, 6)}, {{5, 0x0F}, {6, 0xFF}}, "", {{5, 0xF0}}, "NS"},
      {"ANDI masks", {ANDI(20, 0x0F)}, {{20, 0x3C}}, "T", {{20, 0x0C}}, "T"},
      {"ORI sets the sign", {ORI(16, 0x80)}, {{16, 0x01}}, "", {{16, 0x81}}, "NS"},
      {"COM 0x00", {COM(0)}, {{0, 0x00}}, "Z", {{0, 0xFF}}, "CNS"},
      {"COM 0xFF", {COM(31)}, {{31, 0xFF}}, "V", {{31, 0x00}}, "CZ"},
  });
}

TEST(CoreInstructions, OneOperand) {
  RunAll({
      {"NEG 0x00", {NEG(16)}, {{16, 0x00}}, "CH", {{16, 0x00}}, "Z"},
      {"NEG 0x80", {NEG(16)}, {{16, 0x80}}, "", {{16, 0x80}}, "CNV"},
      {"NEG 0x09 half borrow", {NEG(16)}, {{16, 0x09}}, "", {{16, 0xF7}}, "CHNS"},
      {"NEG 0x01", {NEG(1)}, {{1, 0x01}}, "", {{1, 0xFF}}, "CHNS"},
      {"SWAP", {SWAP(31)}, {{31, 0xA5}}, "CZ", {{31, 0x5A}}, "CZ"},
      {"INC 0x7F keeps C and H", {INC(17)}, {{17, 0x7F}}, "CH", {{17, 0x80}}, "CHVN"},
      {"INC 0xFF", {INC(17)}, {{17, 0xFF}}, "", {{17, 0x00}}, "Z"},
      {"DEC 0x80", {DEC(17)}, {{17, 0x80}}, "C", {{17, 0x7F}}, "CVS"},
      {"DEC 0x01", {DEC(0)}, {{0, 0x01}}, "H", {{0, 0x00}}, "HZ"},
      {"DEC 0x00", {DEC(0)}, {{0, 0x00}}, "Z", {{0, 0xFF}}, "NS"},
      {"ASR keeps the sign", {ASR(2)}, {{2, 0x81}}, "", {{2, 0xC0}}, "CNS"},
      {"ASR 0x01", {ASR(2)}, {{2, 0x01}}, "", {{2, 0x00}}, "CZVS"},
      {"LSR 0x01", {LSR(3)}, {{3, 0x01}}, "N", {{3, 0x00}}, "CZVS"},
      {"LSR 0x80", {LSR(3)}, {{3, 0x80}}, "NZ", {{3, 0x40}}, ""},
      {"ROR carry into bit 7", {ROR(4)}, {{4, 0x02}}, "C", {{4, 0x81}}, "NV"},
      {"ROR 0x01 without carry", {ROR(4)}, {{4, 0x01}}, "", {{4, 0x00}}, "CZVS"},
  });
}

TEST(CoreInstructions, WordImmediates) {
  RunAll({
      {"ADIW 0x7FFF+1",
       {ADIW(24, 1)},
       {{24, 0xFF}, {25, 0x7F}},
       "",
       {{24, 0x00}, {25, 0x80}},
       "VN"},
      {"ADIW R31:R30 +63 carries",
       {0x96FF},
       {{30, 0xFF}, {31, 0xFF}},
       "",
       {{30, 0x3E}, {31, 0}},
       "C"},
      {"ADIW to zero", {ADIW(26, 63)}, {{26, 0xC1}, {27, 0xFF}}, "", {{26, 0}, {27, 0}}, "CZ"},
      {"ADIW +0 keeps the value", {ADIW(28, 0)}, {{28, 0x34}, {29, 0x12}}, "CZ", {}, ""},
      {"SBIW 0x8000-1",
       {SBIW(24, 1)},
       {{24, 0x00}, {25, 0x80}},
       "",
       {{24, 0xFF}, {25, 0x7F}},
       "VS"},
      {"SBIW 0x0000-1",
       {SBIW(26, 1)},
       {{26, 0x00}, {27, 0x00}},
       "",
       {{26, 0xFF}, {27, 0xFF}},
       "CNS"},
      {"SBIW to zero", {SBIW(28, 0x31)}, {{28, 0x31}, {29, 0x00}}, "", {{28, 0}, {29, 0}}, "Z"},
      {"SBIW R31:R30 -63", {SBIW(30, 63)}, {{30, 0x00}, {31, 0x01}}, "", {{30, 0xC1}, {31, 0}}, ""},
  });
}

TEST(CoreInstructions, Multiplies) {
  RunAll({
      {"MUL 0xFF*0xFF", {MUL(16, 17)}, {{16, 0xFF}, {17, 0xFF}}, "", {{0, 0x01}, {1, 0xFE}}, "C"},
      {"MUL overwrites its operands", {MUL(0, 1)}, {{0, 3}, {1, 5}}, "CZ", {{0, 15}, {1, 0}}, ""},
      {"MUL by zero", {MUL(31, 30)}, {{31, 0}, {30, 0x80}}, "", {{0, 0}, {1, 0}}, "Z"},
      {"MULS 0x01*0x80", {MULS(16, 17)}, {{16, 0x01}, {17, 0x80}}, "", {{0, 0x80}, {1, 0xFF}}, "C"},
      {"MULS 0x80*0x80", {MULS(31, 16)}, {{31, 0x80}, {16, 0x80}}, "C", {{0, 0x00}, {1, 0x40}}, ""},
      {"MULSU -128*255",
       {MULSU(16, 23)},
       {{16, 0x80}, {23, 0xFF}},
       "",
       {{0, 0x80}, {1, 0x80}},
       "C"},
      {"MULSU second operand unsigned",
       {MULSU(23, 16)},
       {{23, 0x01}, {16, 0x80}},
       "",
       {{0, 0x80}, {1, 0x00}},
       ""},
      {"FMUL 0x80*0x80", {FMUL(16, 17)}, {{16, 0x80}, {17, 0x80}}, "", {{0, 0x00}, {1, 0x80}}, ""},
      {"FMUL C from the unshifted product",
       {FMUL(18, 19)},
       {{18, 0xFF}, {19, 0xFF}},
       "",
       {{0, 0x02}, {1, 0xFC}},
       "C"},
      {"FMULS 0x80*0x80", {FMULS(20, 21)}, {{20, 0x80}, {21, 0x80}}, "", {{0, 0}, {1, 0x80}}, ""},
      {"FMULS -1*1", {FMULS(20, 21)}, {{20, 0xFF}, {21, 0x01}}, "", {{0, 0xFE}, {1, 0xFF}}, "C"},
      {"FMULSU -128*128", {FMULSU(22, 23)}, {{22, 0x80}, {23, 0x80}}, "", {{0, 0}, {1, 0x80}}, "C"},
      {"FMULSU zero", {FMULSU(22, 23)}, {{22, 0x00}, {23, 0x80}}, "", {{0, 0}, {1, 0}}, "Z"},
      {"ADC after a multiply adds exactly 1",
       {MUL(16, 17), ADC(2, 3)},
       {{16, 0xFF}, {17, 0xFF}, {2, 0x10}, {3, 0x20}},
       "",
       {{0, 0x01}, {1, 0xFE}, {2, 0x31}},
       "",
       2,
       0,
       0,
       2},
  });
}

TEST(CoreInstructions, RegisterMoves) {
  RunAll({
      {"MOV", {MOV(0, 31)}, {{31, 0x5A}}, "CZNVSHTI", {{0, 0x5A}}, "CZNVSHTI"},
      {"MOVW", {MOVW(2, 30)}, {{30, 0x34}, {31, 0x12}}, "", {{2, 0x34}, {3, 0x12}}, ""},
      {"LDI R31", {LDI(31, 0xA5)}, {}, "", {{31, 0xA5}}, ""},
      {"LDI R16", {LDI(16, 0x00)}, {}, "Z", {{16, 0x00}}, "Z"},
  });
}

TEST(CoreInstructions, IndirectLoadsAndStores) {
  RunAll({
      {"LD X", {LD(0, kXPlain)}, {{XL, 0x00}, {XH, 0x03}, {0x300, 0x11}}, "", {{0, 0x11}}},
      {"LD X+",
       {LD(1, kXInc)},
       {{XL, 0xFF}, {XH, 0x03}, {0x3FF, 0x22}},
       "",
       {{1, 0x22}, {XL, 0x00}, {XH, 0x04}}},
      {"LD -X from 0 wraps",
       {LD(0, kXDec)},
       {{XL, 0}, {XH, 0}, {0xFFFF, 0x33}},
       "",
       {{0, 0x33}, {XL, 0xFF}, {XH, 0xFF}}},
      {"LD X+ from 0xFFFF wraps",
       {LD(0, kXInc)},
       {{XL, 0xFF}, {XH, 0xFF}, {0xFFFF, 0x44}},
       "",
       {{0, 0x44}, {XL, 0x00}, {XH, 0x00}}},
      {"LD R26,X+ keeps the loaded byte",
       {LD(26, kXInc)},
       {{XL, 0x00}, {XH, 0x03}, {0x300, 0x77}},
       "",
       {{XL, 0x77}}},
      {"LD R27,-X keeps the loaded byte",
       {LD(27, kXDec)},
       {{XL, 0x00}, {XH, 0x03}, {0x2FF, 0x66}},
       "",
       {{XL, 0xFF}, {XH, 0x66}}},
      {"LD X+ reads its own register before the update",
       {LD(0, kXInc)},
       {{XL, 0x1A}, {XH, 0}},
       "",
       {{0, 0x1A}, {XL, 0x1B}}},
      {"LD -X reads its own register after the update",
       {LD(0, kXDec)},
       {{XL, 0x1B}, {XH, 0}},
       "",
       {{0, 0x1A}, {XL, 0x1A}}},
      {"LD Y without displacement",
       {0x9008},
       {{YL, 0x10}, {YH, 0x02}, {0x210, 0x5A}},
       "",
       {{0, 0x5A}}},
      {"LD Y+",
       {LD(31, kYInc)},
       {{YL, 0x10}, {YH, 0x02}, {0x210, 0x5B}},
       "",
       {{31, 0x5B}, {YL, 0x11}}},
      {"LD -Y",
       {LD(31, kYDec)},
       {{YL, 0x00}, {YH, 0x02}, {0x1FF, 0x5C}},
       "",
       {{31, 0x5C}, {YL, 0xFF}, {YH, 0x01}}},
      {"LD Z+",
       {LD(7, kZInc)},
       {{ZL, 0x10}, {ZH, 0x02}, {0x210, 0x5D}},
       "",
       {{7, 0x5D}, {ZL, 0x11}}},
      {"LD -Z",
       {LD(7, kZDec)},
       {{ZL, 0x10}, {ZH, 0x02}, {0x20F, 0x5E}},
       "",
       {{7, 0x5E}, {ZL, 0x0F}}},
      {"LD through SREG reads the composed flags",
       {LD(0, kXPlain)},
       {{XL, SREG}, {XH, 0}},
       "CT",
       {{0, 0x41}},
       "CT"},
      {"ST X", {ST(kXPlain, 3)}, {{XL, 0x00}, {XH, 0x03}, {3, 0x99}}, "", {{0x300, 0x99}}},
      {"ST X+,R26 stores the incremented low byte",
       {ST(kXInc, 26)},
       {{XL, 0xFF}, {XH, 0x03}},
       "",
       {{XL, 0x00}, {XH, 0x04}, {0x3FF, 0x00}}},
      {"ST -X,R26 stores the decremented low byte",
       {ST(kXDec, 26)},
       {{XL, 0x00}, {XH, 0x03}},
       "",
       {{XL, 0xFF}, {XH, 0x02}, {0x2FF, 0xFF}}},
      {"ST -X at 0 wraps",
       {ST(kXDec, 0)},
       {{XL, 0}, {XH, 0}, {0, 0x12}},
       "",
       {{XL, 0xFF}, {XH, 0xFF}, {0xFFFF, 0x12}}},
      {"ST Y", {ST(kYPlain, 16)}, {{YL, 0x00}, {YH, 0x05}, {16, 0x01}}, "", {{0x500, 0x01}}},
      {"ST Y+",
       {ST(kYInc, 16)},
       {{YL, 0x00}, {YH, 0x05}, {16, 0x02}},
       "",
       {{0x500, 0x02}, {YL, 0x01}}},
      {"ST -Y",
       {ST(kYDec, 16)},
       {{YL, 0x00}, {YH, 0x05}, {16, 0x03}},
       "",
       {{0x4FF, 0x03}, {YL, 0xFF}, {YH, 0x04}}},
      {"ST Z+",
       {ST(kZInc, 1)},
       {{ZL, 0xFF}, {ZH, 0xFF}, {1, 0x04}},
       "",
       {{0xFFFF, 0x04}, {ZL, 0}, {ZH, 0}}},
      {"ST -Z",
       {ST(kZDec, 1)},
       {{ZL, 0x00}, {ZH, 0x06}, {1, 0x05}},
       "",
       {{0x5FF, 0x05}, {ZL, 0xFF}, {ZH, 0x05}}},
      {"ST into SREG splits the flags",
       {ST(kZInc, 2)},
       {{ZL, SREG}, {ZH, 0}, {2, 0xA5}},
       "ZVST",
       {{ZL, 0x60}},
       "CNHI"},
  });
}

TEST(CoreInstructions, DisplacementAndDirect) {
  RunAll({
      {"LDD Y+10", {LDD(5, true, 10)}, {{YL, 0x00}, {YH, 0x03}, {0x30A, 0x42}}, "", {{5, 0x42}}},
      {"LDD Z+63", {LDD(5, false, 63)}, {{ZL, 0x00}, {ZH, 0x03}, {0x33F, 0x43}}, "", {{5, 0x43}}},
      {"LDD Z+0 is LD Z",
       {LDD(31, false, 0)},
       {{ZL, 0x00}, {ZH, 0x03}, {0x300, 0x44}},
       "",
       {{31, 0x44}}},
      {"LDD past 0xFFFF faults and loads 0",
       {LDD(0, false, 63)},
       {{ZL, 0xC1}, {ZH, 0xFF}},
       "",
       {{0, 0x00}},
       "",
       1,
       kFaultDataRead},
      {"LDD Y+1 at 0xFFFF faults",
       {LDD(3, true, 1)},
       {{YL, 0xFF}, {YH, 0xFF}, {3, 0x12}},
       "",
       {{3, 0x00}},
       "",
       1,
       kFaultDataRead},
      {"STD Y+33", {STD(true, 33, 7)}, {{YL, 0x00}, {YH, 0x03}, {7, 0x45}}, "", {{0x321, 0x45}}},
      {"STD Z+1", {STD(false, 1, 7)}, {{ZL, 0xFE}, {ZH, 0xFF}, {7, 0x46}}, "", {{0xFFFF, 0x46}}},
      {"STD past 0xFFFF faults and stores nothing",
       {STD(true, 2, 7)},
       {{YL, 0xFF}, {YH, 0xFF}},
       "",
       {},
       "",
       1,
       kFaultDataWrite},
      {"LDS", {LDS(9), 0x1234}, {{0x1234, 0x47}}, "", {{9, 0x47}}, "", 2},
      {"LDS from SREG", {LDS(9), 0x005F}, {}, "CZNVSHTI", {{9, 0xFF}}, "CZNVSHTI", 2},
      {"STS", {STS(9), 0xFFFF}, {{9, 0x48}}, "", {{0xFFFF, 0x48}}, "", 2},
      {"STS 0x5F with 0x01 leaves only C", {STS(16), 0x005F}, {{16, 0x01}}, "ZNVSHTI", {}, "C", 2},
      {"LDS in the last word",
       {LDS(0)},
       {},
       "",
       {},
       "",
       kProgramWords - 1,
       kFaultOperandOutside,
       kProgramWords - 1},
      {"STS in the last word",
       {STS(0)},
       {},
       "",
       {},
       "",
       kProgramWords - 1,
       kFaultOperandOutside,
       kProgramWords - 1},
  });
}

TEST(CoreInstructions, StackAndIo) {
  RunAll({
      {"PUSH stores at SP, then lowers it",
       {PUSH(3)},
       {{SPL, 0xFF}, {SPH, 0x10}, {3, 0x77}},
       "",
       {{0x10FF, 0x77}, {SPL, 0xFE}}},
      {"PUSH with SP 0 wraps",
       {PUSH(3)},
       {{SPL, 0}, {SPH, 0}, {3, 0x78}},
       "",
       {{0x0000, 0x78}, {SPL, 0xFF}, {SPH, 0xFF}}},
      {"POP raises SP, then reads",
       {POP(4)},
       {{SPL, 0xFE}, {SPH, 0x10}, {0x10FF, 0x79}},
       "",
       {{4, 0x79}, {SPL, 0xFF}}},
      {"POP with SP 0xFFFF reads address 0",
       {POP(4)},
       {{0, 0x7A}},
       "",
       {{4, 0x7A}, {SPL, 0x00}, {SPH, 0x00}}},
      {"PUSH, POP round trip",
       {PUSH(5), POP(6)},
       {{5, 0x7B}},
       "",
       {{6, 0x7B}, {0xFFFF, 0x7B}},
       "",
       2,
       0,
       0,
       2},
      {"IN reads SP after reset",
       {IN(1, 0x3D), IN(2, 0x3E)},
       {{1, 0}, {2, 0}},
       "",
       {{1, 0xFF}, {2, 0xFF}},
       "",
       2,
       0,
       0,
       2},
      {"IN reads the composed SREG", {IN(0, 0x3F)}, {}, "CNHI", {{0, 0xA5}}, "CNHI"},
      {"OUT SREG then IN",
       {OUT(0x3F, 16), IN(17, 0x3F)},
       {{16, 0xA5}},
       "ZVST",
       {{17, 0xA5}},
       "CNHI",
       2,
       0,
       0,
       2},
      {"OUT SP then PUSH",
       {OUT(0x3E, 16), OUT(0x3D, 17), PUSH(18)},
       {{16, 0x10}, {17, 0xFF}, {18, 0x99}},
       "",
       {{SPH, 0x10}, {SPL, 0xFE}, {0x10FF, 0x99}},
       "",
       3,
       0,
       0,
       3},
      {"OUT RAMPZ", {OUT(0x3B, 16)}, {{16, 0x03}}, "", {{RAMPZ, 0x03}}},
      {"IN of I/O 0x00", {IN(31, 0x00)}, {{0x20, 0x3C}}, "", {{31, 0x3C}}},
      {"SBI", {SBI(0x1F, 7)}, {{0x3F, 0x00}}, "", {{0x3F, 0x80}}},
      {"CBI", {CBI(0x00, 0)}, {}, "", {{0x20, 0xFE}}},
  });
}

TEST(CoreInstructions, ExchangeAndReadModifyWrite) {
  const Bytes state = {{ZL, 0x00}, {ZH, 0x04}, {0x400, 0x12}, {5, 0x34}};
  RunAll({
      {"XCH", {XCH(5)}, state, "", {{0x400, 0x34}, {5, 0x12}}},
      {"LAS", {LAS(5)}, state, "", {{0x400, 0x36}, {5, 0x36}}},
      {"LAC", {LAC(5)}, state, "", {{0x400, 0x02}, {5, 0x02}}},
      {"LAT", {LAT(5)}, state, "", {{0x400, 0x26}, {5, 0x26}}},
      {"XCH with SREG", {XCH(5)}, {{ZL, SREG}, {ZH, 0}, {5, 0x01}}, "ZN", {{5, 0x06}}, "C"},
      {"LAS on R30 changes the address only after",
       {LAS(30)},
       {{ZL, 0x10}, {ZH, 0x04}, {0x410, 3}},
       "",
       {{ZL, 0x13}, {0x410, 0x13}}},
  });
}

TEST(CoreInstructions, ProgramMemoryReads) {
  RunAll({
      {"LPM into R0",
       {kLPM},
       {{ZL, 0x01}, {ZH, 0x01}},
       "",
       {{0, 0xAB}},
       "",
       1,
       0,
       0,
       1,
       {{0x101, 0xAB}}},
      {"LPM Rd,Z",
       {LPMZ(5)},
       {{ZL, 0xFF}, {ZH, 0xFF}},
       "",
       {{5, 0xCD}},
       "",
       1,
       0,
       0,
       1,
       {{0xFFFF, 0xCD}}},
      {"LPM Rd,Z+",
       {LPMZINC(5)},
       {{ZL, 0xFF}, {ZH, 0xFF}},
       "",
       {{5, 0xCD}, {ZL, 0}, {ZH, 0}},
       "",
       1,
       0,
       0,
       1,
       {{0xFFFF, 0xCD}}},
      {"LPM R30,Z+ increments the loaded Z",
       {LPMZINC(30)},
       {{ZL, 0x00}, {ZH, 0x02}},
       "",
       {{ZL, 0x80}},
       "",
       1,
       0,
       0,
       1,
       {{0x200, 0x7F}}},
      {"ELPM into R0",
       {kELPM},
       {{ZL, 0xFF}, {ZH, 0xFF}, {RAMPZ, 3}},
       "",
       {{0, 0x5A}},
       "",
       1,
       0,
       0,
       1,
       {{0x3FFFF, 0x5A}}},
      {"ELPM Rd,Z",
       {ELPMZ(7)},
       {{ZL, 0x34}, {ZH, 0x12}, {RAMPZ, 1}},
       "",
       {{7, 0x5B}},
       "",
       1,
       0,
       0,
       1,
       {{0x11234, 0x5B}}},
      {"ELPM Rd,Z+ carries into RAMPZ",
       {ELPMZINC(7)},
       {{ZL, 0xFF}, {ZH, 0xFF}, {RAMPZ, 3}},
       "",
       {{7, 0x5C}, {ZL, 0}, {ZH, 0}, {RAMPZ, 4}},
       "",
       1,
       0,
       0,
       1,
       {{0x3FFFF, 0x5C}}},
      {"ELPM R31,Z+ keeps the new Z",
       {ELPMZINC(31)},
       {{ZL, 0x10}, {ZH, 0x00}, {RAMPZ, 2}},
       "",
       {{ZL, 0x11}, {ZH, 0x00}},
       "",
       1,
       0,
       0,
       1,
       {{0x20010, 0x99}}},
      {"ELPM Rd,Z+ reads the last byte",
       {ELPMZINC(7)},
       {{ZL, 0xFF}, {ZH, 0x0F}, {RAMPZ, 4}},
       "",
       {{7, 0x5D}, {ZL, 0x00}, {ZH, 0x10}},
       "",
       1,
       0,
       0,
       1,
       {{0x40FFF, 0x5D}}},
      {"ELPM beyond program memory",
       {kELPM},
       {{ZL, 0x00}, {ZH, 0x10}, {RAMPZ, 4}},
       "",
       {{0, 0x00}},
       "",
       1,
       kFaultElpm},
      {"ELPM after reset faults",
       {ELPMZINC(7)},
       {{ZL, 0x00}, {ZH, 0x00}},
       "",
       {{7, 0x00}},
       "",
       1,
       kFaultElpm},
  });
}

TEST(CoreInstructions, JumpsAndCalls) {
  RunAll({
      {"RJMP to itself at 0", {RJMP(-1)}, {}, "", {}, "", 0},
      {"RJMP before word 0", {RJMP(-2)}, {}, "", {}, "", 0, kFaultRjmp},
      {"RJMP forward", {RJMP(5)}, {}, "", {}, "", 6},
      {"RJMP backward", {RJMP(-2048)}, {}, "", {}, "", 0x1000 - 2047, 0, 0x1000},
      {"RJMP past the end", {RJMP(0)}, {}, "", {}, "", 0, kFaultRjmp, kProgramWords - 1},
      {"RCALL pushes the return address",
       {RCALL(-1)},
       {},
       "",
       {{0xFFFD, 0x01}, {0xFFFE, 0x01}, {0xFFFF, 0x00}, {SPL, 0xFC}},
       "",
       0x100,
       0,
       0x100},
      {"RCALL out of range pushes, then faults",
       {RCALL(0x7FF)},
       {},
       "",
       {{0xFFFD, 0x00}, {0xFFFE, 0x08}, {0xFFFF, 0x02}, {SPL, 0xFC}},
       "",
       0,
       kFaultRcall,
       kProgramWords - 1},
      {"JMP", {JMP(0x1ABCD), Low(0x1ABCD)}, {}, "", {}, "", 0x1ABCD},
      {"JMP to the last word", {JMP(0x207FF), Low(0x207FF)}, {}, "", {}, "", 0x207FF},
      {"JMP to 0x20800", {JMP(0x20800), Low(0x20800)}, {}, "", {}, "", 0, kFaultJmp},
      {"JMP to the top of the 22-bit range",
       {JMP(0x3FFFFF), Low(0x3FFFFF)},
       {},
       "",
       {},
       "",
       0,
       kFaultJmp},
      {"JMP in the last word",
       {JMP(0)},
       {},
       "",
       {},
       "",
       kProgramWords - 1,
       kFaultOperandOutside,
       kProgramWords - 1},
      {"CALL then RET",
       {CALL(0x1ABCD), Low(0x1ABCD)},
       {},
       "",
       {{0xFFFD, 0x02}, {0xFFFE, 0x00}, {0xFFFF, 0x00}},
       "",
       2,
       0,
       0,
       2,
       {{2 * 0x1ABCD, 0x08}, {2 * 0x1ABCD + 1, 0x95}}},
      {"CALL stores three bytes, low first",
       {CALL(0x100), Low(0x100)},
       {{SPL, 0x00}, {SPH, 0x10}},
       "",
       {{0x0FFE, 0x12}, {0x0FFF, 0x34}, {0x1000, 0x01}, {SPL, 0xFD}, {SPH, 0x0F}},
       "",
       0x100,
       0,
       0x13410},
      {"CALL out of range pushes, then faults",
       {CALL(0x3F0000), Low(0x3F0000)},
       {},
       "",
       {{0xFFFD, 0x02}, {0xFFFE, 0x00}, {0xFFFF, 0x00}, {SPL, 0xFC}},
       "",
       0,
       kFaultCall},
      {"CALL in the last word",
       {CALL(0)},
       {},
       "",
       {},
       "",
       kProgramWords - 1,
       kFaultOperandOutside,
       kProgramWords - 1},
      {"CALL with SP 1 wraps",
       {CALL(0x40), Low(0x40)},
       {{SPL, 0x01}, {SPH, 0x00}},
       "",
       {{0xFFFF, 0x02}, {0x0000, 0x00}, {0x0001, 0x00}, {SPL, 0xFE}, {SPH, 0xFF}},
       "",
       0x40},
      {"CALL with SP 0 wraps",
       {CALL(0x40), Low(0x40)},
       {{SPL, 0x00}, {SPH, 0x00}},
       "",
       {{0xFFFE, 0x02}, {0xFFFF, 0x00}, {0x0000, 0x00}, {SPL, 0xFD}, {SPH, 0xFF}},
       "",
       0x40},
      {"IJMP", {kIJMP}, {{ZL, 0x34}, {ZH, 0x12}}, "", {}, "", 0x1234},
      {"IJMP ignores EIND", {kIJMP}, {{ZL, 0xFF}, {ZH, 0xFF}, {EIND, 1}}, "", {}, "", 0xFFFF},
      {"EIJMP", {kEIJMP}, {{ZL, 0x45}, {ZH, 0x23}, {EIND, 1}}, "", {}, "", 0x12345},
      {"EIJMP with any bits 4-7",
       {0x94F9},
       {{ZL, 0xFF}, {ZH, 0x07}, {EIND, 2}},
       "",
       {},
       "",
       0x207FF},
      {"EIJMP past the end",
       {kEIJMP},
       {{ZL, 0x00}, {ZH, 0x08}, {EIND, 2}},
       "",
       {},
       "",
       0,
       kFaultEijmp},
      {"EIJMP after reset faults", {kEIJMP}, {}, "", {}, "", 0, kFaultEijmp},
      {"ICALL",
       {kICALL},
       {{ZL, 0x00}, {ZH, 0x20}},
       "",
       {{0xFFFD, 0x01}, {0xFFFE, 0x00}, {0xFFFF, 0x00}, {SPL, 0xFC}},
       "",
       0x2000},
      {"EICALL across 64 K words",
       {kEICALL},
       {{ZL, 0x00}, {ZH, 0x01}, {EIND, 1}},
       "",
       {{0xFFFD, 0x01}, {0xFFFE, 0x00}, {0xFFFF, 0x00}, {SPL, 0xFC}},
       "",
       0x10100},
      {"EICALL past the end pushes, then faults",
       {kEICALL},
       {{ZL, 0x00}, {ZH, 0x00}, {EIND, 3}},
       "",
       {{0xFFFD, 0x35}, {0xFFFE, 0x12}, {0xFFFF, 0x00}, {SPL, 0xFC}},
       "",
       0,
       kFaultEicall,
       0x1234},
      {"RET reads the low byte first",
       {kRET},
       {{SPL, 0x00}, {SPH, 0x10}, {0x1001, 0x56}, {0x1002, 0x34}, {0x1003, 0xC1}},
       "",
       {{SPL, 0x03}},
       "",
       0x13456},
      {"RET with SP 0xFFFF reads the guard bytes",
       {kRET},
       {},
       "",
       {{SPL, 0x02}, {SPH, 0x00}},
       "",
       0},
      {"RET to beyond program memory then fetches nothing",
       {kRET},
       {{SPL, 0x00}, {SPH, 0x10}, {0x1001, 0x00}, {0x1002, 0x08}, {0x1003, 0x02}},
       "",
       {{SPL, 0x03}},
       "",
       0x20800,
       kFaultPcOutside,
       0,
       2},
      {"RETI sets I",
       {kRETI},
       {{SPL, 0x00}, {SPH, 0x10}, {0x1001, 0x10}, {0x1002, 0}, {0x1003, 0}},
       "",
       {{SPL, 0x03}},
       "I",
       0x10},
      {"RETI with I already set",
       {kRETI},
       {{SPL, 0x00}, {SPH, 0x10}, {0x1001, 0x10}, {0x1002, 0}, {0x1003, 0}},
       "IC",
       {{SPL, 0x03}},
       "IC",
       0x10},
      {"CALL at SP 0xFFFF and RET keep the guard bytes",
       {CALL(0x10), Low(0x10)},
       {},
       "",
       {{0xFFFD, 0x02}, {0xFFFE, 0x00}, {0xFFFF, 0x00}},
       "",
       2,
       0,
       0,
       2,
       {{0x20, 0x08}, {0x21, 0x95}}},
  });
}

TEST(CoreInstructions, Branches) {
  RunAll({
      {"BRBS taken", {BRBS(1, 10)}, {}, "Z", {}, "Z", 11},
      {"BRBS not taken", {BRBS(1, 10)}, {}, "", {}, "", 1},
      {"BRBC taken backward", {BRBC(0, -64)}, {}, "", {}, "", 0x100 + 1 - 64, 0, 0x100},
      {"BRBC not taken", {BRBC(0, -64)}, {}, "C", {}, "C", 0x101, 0, 0x100},
      {"BRBS on I forward 63", {BRBS(7, 63)}, {}, "I", {}, "I", 64},
      {"BRBS on T", {BRBS(6, 2)}, {}, "T", {}, "T", 3},
      {"BRBC on S", {BRBC(4, 2)}, {}, "N", {}, "N", 3},
      {"branch before word 0 stops at the next fetch",
       {BRBS(1, -2)},
       {},
       "Z",
       {},
       "Z",
       0xFFFFFFFFu,
       kFaultPcOutside,
       0,
       2},
      {"straight-line execution off the end",
       {kNOP},
       {},
       "",
       {},
       "",
       kProgramWords,
       kFaultPcOutside,
       kProgramWords - 1,
       2},
  });
}

TEST(CoreInstructions, Skips) {
  RunAll({
      {"CPSE equal skips one word", {CPSE(1, 2), ADD(0, 0)}, {{1, 7}, {2, 7}}, "", {}, "", 2},
      {"CPSE unequal", {CPSE(1, 2), ADD(0, 0)}, {{1, 7}, {2, 8}}, "", {}, "", 1},
      {"CPSE over STS", {CPSE(1, 2), STS(0), 0x0300}, {{1, 7}, {2, 7}}, "", {}, "", 3},
      {"CPSE over LDS", {CPSE(1, 2), LDS(0), 0x0300}, {{1, 7}, {2, 7}}, "", {}, "", 3},
      {"CPSE over JMP", {CPSE(1, 2), JMP(0x3FFFFF), 0xFFFF}, {{1, 7}, {2, 7}}, "", {}, "", 3},
      {"CPSE over CALL", {CPSE(1, 2), CALL(0), 0x0000}, {{1, 7}, {2, 7}}, "", {}, "", 3},
      {"CPSE over ADIW with constant 0xF",
       {CPSE(1, 2), ADIW(24, 0x0F)},
       {{1, 7}, {2, 7}},
       "",
       {},
       "",
       2},
      {"CPSE over SBIW with constant 0x3C",
       {CPSE(1, 2), SBIW(30, 0x3C)},
       {{1, 7}, {2, 7}},
       "",
       {},
       "",
       2},
      {"CPSE over an undefined word", {CPSE(1, 2), 0x940B}, {{1, 7}, {2, 7}}, "", {}, "", 2},
      {"SBRS set bit over STS", {SBRS(16, 3), STS(0), 0x0300}, {{16, 0x08}}, "", {}, "", 3},
      {"SBRS set bit over LDS", {SBRS(16, 3), LDS(0), 0x0300}, {{16, 0x08}}, "", {}, "", 3},
      {"SBRS set bit over ADD", {SBRS(16, 3), ADD(0, 0)}, {{16, 0x08}}, "", {}, "", 2},
      {"SBRS clear bit", {SBRS(16, 3), ADD(0, 0)}, {{16, 0xF7}}, "", {}, "", 1},
      {"SBRS ignores bit 3 of the word",
       {uint16_t(SBRS(16, 0) | 8), ADD(0, 0)},
       {{16, 0x01}},
       "",
       {},
       "",
       2},
      {"SBRC clear bit", {SBRC(31, 7), ADD(0, 0)}, {{31, 0x7F}}, "", {}, "", 2},
      {"SBRC set bit", {SBRC(31, 7), ADD(0, 0)}, {{31, 0x80}}, "", {}, "", 1},
      {"SBIC clear bit", {SBIC(0x1F, 0), ADD(0, 0)}, {{0x3F, 0xFE}}, "", {}, "", 2},
      {"SBIC set bit", {SBIC(0x1F, 0), ADD(0, 0)}, {}, "", {}, "", 1},
      {"SBIS set bit over CALL", {SBIS(0x00, 5), CALL(0), 0}, {}, "", {}, "", 3},
      {"SBIS clear bit", {SBIS(0x00, 5), CALL(0), 0}, {{0x20, 0}}, "", {}, "", 1},
      {"skip from the last word",
       {CPSE(1, 1)},
       {},
       "",
       {},
       "",
       kProgramWords - 1,
       kFaultOperandOutside,
       kProgramWords - 1},
      {"no skip from the last word",
       {CPSE(1, 2)},
       {{1, 1}, {2, 2}},
       "",
       {},
       "",
       kProgramWords,
       0,
       kProgramWords - 1},
  });
}

TEST(CoreInstructions, StatusBits) {
  std::vector<Case> cases;
  static const char* kSingle[] = {"C", "Z", "N", "V", "S", "H", "T", "I"};
  static const char* kAllBut[] = {"ZNVSHTI", "CNVSHTI", "CZVSHTI", "CZNSHTI",
                                  "CZNVHTI", "CZNVSTI", "CZNVSHI", "CZNVSHT"};
  for (int s = 0; s < 8; ++s) {
    cases.push_back({"BSET", {uint16_t(0x9408 | (s << 4))}, {}, "", {}, kSingle[s]});
    cases.push_back({"BCLR", {uint16_t(0x9488 | (s << 4))}, {}, "CZNVSHTI", {}, kAllBut[s]});
  }
  RunAll(cases);
  RunAll({
      {"BST set bit", {BST(5, 6)}, {{5, 0x40}}, "", {}, "T"},
      {"BST clear bit", {BST(5, 6)}, {{5, 0xBF}}, "T", {}, ""},
      {"BLD sets the bit", {BLD(31, 0)}, {{31, 0x00}}, "T", {{31, 0x01}}, "T"},
      {"BLD clears the bit", {BLD(31, 7)}, {}, "", {{31, 0x7F}}, ""},
      {"BLD ignores bit 3 of the word", {uint16_t(BLD(0, 1) | 8)}, {{0, 0}}, "T", {{0, 0x02}}, "T"},
  });
}

TEST(CoreInstructions, SystemAndUndefined) {
  RunAll({
      {"NOP", {kNOP}, {}, "CZ", {}, "CZ"},
      {"NOP with any low byte", {0x00FF}, {}, "", {}, ""},
      {"SLEEP", {kSLEEP}, {}, "", {}, ""},
      {"SPM", {kSPM}, {}, "", {}, "", 1, 0, 0, 1},
      {"SPM Z+", {0x95F8}, {{ZL, 0}, {ZH, 0}}, "", {}, ""},
      {"unassigned 0x9528 runs as nothing", {0x9528}, {}, "", {}, ""},
      {"unassigned 0x95B8 runs as nothing", {0x95B8}, {}, "", {}, ""},
      {"BREAK with a group beyond the table only advances pc",
       {0x9598},
       {{0x48, 14}},
       "CZ",
       {},
       "CZ"},
      {"0x9404", {0x9404}, {}, "", {}, "", 0, kFaultUndefinedOneOperand},
      {"0x95FB", {0x95FB}, {}, "", {}, "", 0x30, kFaultUndefinedOneOperand, 0x30},
      {"0x9003", {0x9003}, {}, "", {}, "", 0, kFaultUndefinedLoad},
      {"0x900B", {0x900B}, {}, "", {}, "", 0, kFaultUndefinedLoad},
      {"0x91FB", {0x91FB}, {}, "", {}, "", 7, kFaultUndefinedLoad, 7},
      {"0x9203", {0x9203}, {}, "", {}, "", 0, kFaultUndefinedStore},
      {"0x920B", {0x920B}, {}, "", {}, "", 0, kFaultUndefinedStore},
      {"0x93FB", {0x93FB}, {}, "", {}, "", 0, kFaultUndefinedStore},
      {"fetch at 0x20800", {}, {}, "", {}, "", kProgramWords, kFaultPcOutside, kProgramWords},
  });
}

TEST(CoreMachine, ResetState) {
  ClearMachine();
  SplitSreg(0x42);
  Machine.pc = 77;
  Machine.fault = kFaultJmp;
  ResetMachine();
  for (uint32_t a = 0; a < kGuestDataSize; ++a) {
    if (a == SPL || a == SPH) continue;
    ASSERT_EQ(Machine.data[a], 0xFF) << "address " << a;
  }
  for (uint32_t a = kGuestDataSize; a < kDataSpaceSize; ++a) ASSERT_EQ(Machine.data[a], 0);
  EXPECT_EQ(StackPointer(), 0xFFFF);
  EXPECT_EQ(Machine.pc, 0u);
  EXPECT_EQ(Machine.fault, 0);
  EXPECT_EQ(ComposeSreg(), 0x42) << "reset leaves the flags alone";
}

TEST(CoreMachine, DataPathsOutsideTheGuestSpace) {
  ClearMachine();
  ResetMachine();
  EXPECT_EQ(ReadData(0x10000), 0);
  EXPECT_EQ(Machine.fault, kFaultDataRead);
  WriteData(0x10001, 0x55);
  EXPECT_EQ(Machine.fault, kFaultDataRead) << "the first fault stays";
  EXPECT_EQ(Machine.data[0x10001], 0);
}

TEST(CoreMachine, RunStopsOnFaultAndCounts) {
  ClearMachine();
  const uint16_t code[] = {LDI(16, 3), DEC(16), BRBC(1, -2), 0x9404};
  for (int i = 0; i < 4; ++i) {
    Machine.program[2 * i] = uint8_t(code[i]);
    Machine.program[2 * i + 1] = uint8_t(code[i] >> 8);
  }
  ResetMachine();
  EXPECT_EQ(RunInstructions(1000), 8u);  // LDI, 3 x (DEC, BRNE), the undefined word
  EXPECT_EQ(Machine.pc, 3u);
  EXPECT_EQ(Machine.fault, kFaultUndefinedOneOperand);
  EXPECT_EQ(RunInstructions(1000), 0u) << "a stopped machine stays stopped";
  ResetMachine();
  EXPECT_EQ(RunInstructions(2), 2u);
  EXPECT_EQ(Machine.pc, 2u);
}

}  // namespace
}  // namespace velmora
