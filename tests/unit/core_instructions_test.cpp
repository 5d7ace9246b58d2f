// Instruction behaviour the simavr differential test cannot see (docs/processor.md). One row per
// case: the words, the data bytes and flags before, every data byte and flag after, pc and fault;
// no other byte of the data space (guard bytes and the stored SREG byte included) may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/dispatch.h"
#include "core/machine.h"

namespace velmora {
namespace {

// Instruction words from the encoding bit patterns.
constexpr auto R1 = [](int op, int d) { return uint16_t(op | (d & 0x1F) << 4); };
constexpr auto CPSE = [](int d, int r) {
  return uint16_t(0x1000 | (r & 0x10) << 5 | d << 4 | (r & 15));
};
constexpr auto PUSH = [](int r) { return R1(0x920F, r); };
constexpr auto POP = [](int d) { return R1(0x900F, d); };
constexpr auto LD = [](int d, int form) { return R1(0x9000 | form, d); };
constexpr auto ST = [](int form, int r) { return R1(0x9200 | form, r); };
constexpr auto LDS = [](int d) { return R1(0x9000, d); };  // second word: the address
constexpr auto STS = [](int r) { return R1(0x9200, r); };
constexpr auto JMP = [](uint32_t k) {
  return uint16_t(0x940C | (k >> 13 & 0x1F0) | (k >> 16 & 1));
};
constexpr auto CALL = [](uint32_t k) { return uint16_t(JMP(k) | 2); };
constexpr auto ADIW = [](int pair, int k) {
  return uint16_t(0x9600 | (k & 0x30) << 2 | (pair - 24) / 2 << 4 | (k & 15));
};
enum : int { kXInc = 13, kXDec = 14 };
constexpr uint16_t kRET = 0x9508, kNOP = 0x0000;
constexpr uint16_t kADD00 = 0x0C00, kSBRS16b0 = 0xFF00, kBLD0b1 = 0xF801;
constexpr uint16_t kXCH5 = 0x9254, kLAS5 = 0x9255, kLAC5 = 0x9256, kLAT5 = 0x9257;
constexpr uint16_t kLPM30Inc = 0x91E5, kELPM31Inc = 0x91F7, kELPM7Inc = 0x9077;

using Bytes = std::vector<std::pair<uint32_t, uint8_t>>;
enum : uint32_t { XL = 26, XH, YL, YH, ZL, ZH };
enum : uint32_t { RAMPZ = 0x5B, EIND = 0x5C, SPL = 0x5D, SPH = 0x5E, SREG = 0x5F };
constexpr uint32_t kLast = kProgramWords - 1;

struct Case {
  const char* name;
  std::vector<uint16_t> code;  // placed at word `at`, where pc starts
  Bytes before = {};           // data bytes over the reset state (all 0xFF, SP 0xFFFF)
  const char* flags = "";      // flags set before, by letter; the others are 0
  Bytes after = {};            // every data byte that changes
  const char* flagsAfter = "";
  uint32_t pc = 1;
  uint8_t fault = 0;
  uint32_t at = 0;
  int steps = 1;
  Bytes program = {};  // extra program-memory bytes
};

constexpr char kFlagLetters[] = "CZNVSHTI";

uint8_t FlagValue(const char* letters) {
  uint8_t value = 0;
  for (const char* p = letters; *p; ++p)
    value |= uint8_t(1 << (std::find(kFlagLetters, kFlagLetters + 8, *p) - kFlagLetters));
  return value;
}

std::string FlagLetters(uint8_t value) {
  std::string s;
  for (int i = 0; i < 8; ++i)
    if (value & (1 << i)) s += kFlagLetters[i];
  return s;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  ClearMachine();
  for (size_t i = 0; i < c.code.size(); ++i) {
    Machine.program[2 * (c.at + i)] = uint8_t(c.code[i]);
    Machine.program[2 * (c.at + i) + 1] = uint8_t(c.code[i] >> 8);
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
  for (uint32_t a = 0, reported = 0; a < kDataSpaceSize && reported < 8; ++a) {
    if (Machine.data[a] == expected[a]) continue;
    ADD_FAILURE() << "data 0x" << std::hex << a << " is 0x" << int(Machine.data[a])
                  << ", expected 0x" << int(expected[a]);
    ++reported;
  }
}

const Bytes kEqual = {{1, 7}, {2, 7}};  // CPSE R1,R2 skips

// clang-format off
const Case kCases[] = {
    // SREG lives in the flags: XCH through the data space composes and splits it (loads and
    // stores at 0x5F are the simavr test's).
    {.name = "XCH with 0x5F", .code = {kXCH5}, .before = {{ZL, SREG}, {ZH, 0}, {5, 0x01}},
     .flags = "ZN", .after = {{5, 0x06}}, .flagsAfter = "C"},

    // The stack and the pointers wrap modulo 0x10000; returns near the top read the guard bytes.
    {.name = "PUSH with SP 0", .code = {PUSH(3)}, .before = {{SPL, 0}, {SPH, 0}, {3, 0x78}},
     .after = {{0, 0x78}, {SPL, 0xFF}, {SPH, 0xFF}}},
    {.name = "POP with SP 0xFFFF", .code = {POP(4)}, .before = {{0, 0x7A}},
     .after = {{4, 0x7A}, {SPL, 0}, {SPH, 0}}},
    {.name = "CALL with SP 1", .code = {CALL(0x40), 0x40}, .before = {{SPL, 1}, {SPH, 0}},
     .after = {{0xFFFF, 0x02}, {0, 0}, {1, 0}, {SPL, 0xFE}, {SPH, 0xFF}}, .pc = 0x40},
    {.name = "CALL with SP 0", .code = {CALL(0x40), 0x40}, .before = {{SPL, 0}, {SPH, 0}},
     .after = {{0xFFFE, 0x02}, {0xFFFF, 0}, {0, 0}, {SPL, 0xFD}, {SPH, 0xFF}}, .pc = 0x40},
    {.name = "RET with SP 0xFFFF", .code = {kRET}, .after = {{SPL, 0x02}, {SPH, 0}}, .pc = 0},
    {.name = "CALL and RET at the top", .code = {CALL(0x10), 0x10},
     .after = {{0xFFFD, 0x02}, {0xFFFE, 0}, {0xFFFF, 0}}, .pc = 2, .steps = 2,
     .program = {{0x20, 0x08}, {0x21, 0x95}}},
    {.name = "LD -X from 0", .code = {LD(0, kXDec)}, .before = {{XL, 0}, {XH, 0}, {0xFFFF, 0x33}},
     .after = {{0, 0x33}, {XL, 0xFF}, {XH, 0xFF}}},
    {.name = "LD X+ from 0xFFFF", .code = {LD(0, kXInc)},
     .before = {{XL, 0xFF}, {XH, 0xFF}, {0xFFFF, 0x44}}, .after = {{0, 0x44}, {XL, 0}, {XH, 0}}},
    {.name = "ST -X at 0", .code = {ST(kXDec, 0)}, .before = {{XL, 0}, {XH, 0}, {0, 0x12}},
     .after = {{XL, 0xFF}, {XH, 0xFF}, {0xFFFF, 0x12}}},

    // Return addresses: three bytes, low byte at SP+1 (CALL's are the far guest's).
    {.name = "RET reads low first", .code = {kRET},
     .before = {{SPL, 0}, {SPH, 0x10}, {0x1001, 0x56}, {0x1002, 0x34}, {0x1003, 0xC1}},
     .after = {{SPL, 0x03}}, .pc = 0x13456},

    // Pointer updates where the hardware's result is undefined.
    {.name = "LD R26,X+", .code = {LD(26, kXInc)}, .before = {{XL, 0}, {XH, 3}, {0x300, 0x77}},
     .after = {{XL, 0x77}}},
    {.name = "LD R27,-X", .code = {LD(27, kXDec)}, .before = {{XL, 0}, {XH, 3}, {0x2FF, 0x66}},
     .after = {{XL, 0xFF}, {XH, 0x66}}},
    {.name = "ST X+,R26", .code = {ST(kXInc, 26)}, .before = {{XL, 0xFF}, {XH, 3}},
     .after = {{XL, 0}, {XH, 4}, {0x3FF, 0}}},
    {.name = "ST -X,R26", .code = {ST(kXDec, 26)}, .before = {{XL, 0}, {XH, 3}},
     .after = {{XL, 0xFF}, {XH, 2}, {0x2FF, 0xFF}}},
    {.name = "LPM R30,Z+", .code = {kLPM30Inc}, .before = {{ZL, 0}, {ZH, 2}}, .after = {{ZL, 0x80}},
     .program = {{0x200, 0x7F}}},
    {.name = "ELPM R31,Z+", .code = {kELPM31Inc}, .before = {{ZL, 0x10}, {ZH, 0}, {RAMPZ, 2}},
     .after = {{ZL, 0x11}, {ZH, 0}}, .program = {{0x20010, 0x99}}},

    // XCH, LAS, LAC and LAT (not in simavr): the register gets the stored value.
    {.name = "XCH", .code = {kXCH5}, .before = {{ZL, 0}, {ZH, 4}, {0x400, 0x12}, {5, 0x34}},
     .after = {{0x400, 0x34}, {5, 0x12}}},
    {.name = "LAS", .code = {kLAS5}, .before = {{ZL, 0}, {ZH, 4}, {0x400, 0x12}, {5, 0x34}},
     .after = {{0x400, 0x36}, {5, 0x36}}},
    {.name = "LAC", .code = {kLAC5}, .before = {{ZL, 0}, {ZH, 4}, {0x400, 0x12}, {5, 0x34}},
     .after = {{0x400, 0x02}, {5, 0x02}}},
    {.name = "LAT", .code = {kLAT5}, .before = {{ZL, 0}, {ZH, 4}, {0x400, 0x12}, {5, 0x34}},
     .after = {{0x400, 0x26}, {5, 0x26}}},
    {.name = "LAS on R30", .code = {R1(0x9205, 30)}, .before = {{ZL, 0x10}, {ZH, 4}, {0x410, 3}},
     .after = {{ZL, 0x13}, {0x410, 0x13}}},

    // Program memory beyond simavr's 256 KiB; RAMPZ and EIND keep all eight bits, 0xFF at reset.
    {.name = "ELPM Z+ reads the last byte", .code = {kELPM7Inc},
     .before = {{ZL, 0xFF}, {ZH, 0x0F}, {RAMPZ, 4}}, .after = {{7, 0x5D}, {ZL, 0}, {ZH, 0x10}},
     .program = {{0x40FFF, 0x5D}}},
    {.name = "EIJMP, bits 4-7 set", .code = {0x94F9}, .before = {{ZL, 0xFF}, {ZH, 7}, {EIND, 2}},
     .pc = 0x207FF},
    {.name = "JMP to the last word", .code = {JMP(kLast), uint16_t(kLast)}, .pc = kLast},

    // The end of program memory (see also the last-word loop below).
    {.name = "no skip from the last word", .code = {CPSE(1, 2)}, .before = {{1, 1}, {2, 2}},
     .pc = kProgramWords, .at = kLast},
    {.name = "off the end", .code = {kNOP}, .pc = kProgramWords, .fault = kFaultPcOutside,
     .at = kLast, .steps = 2},
    {.name = "branch before word 0", .code = {uint16_t(0xF000 | 0x7E << 3 | 1)}, .flags = "Z",
     .flagsAfter = "Z", .pc = 0xFFFFFFFF, .fault = kFaultPcOutside, .steps = 2},

    // Skips: two words over JMP, CALL, LDS and STS only; bit 3 of SBRS and BLD is ignored.
    {.name = "CPSE over ADIW 0xF", .code = {CPSE(1, 2), ADIW(24, 0xF)}, .before = kEqual, .pc = 2},
    {.name = "CPSE over 0x940B", .code = {CPSE(1, 2), 0x940B}, .before = kEqual, .pc = 2},
    {.name = "SBRS with bit 3", .code = {kSBRS16b0 | 8, kADD00}, .before = {{16, 1}}, .pc = 2},
    {.name = "BLD with bit 3", .code = {uint16_t(kBLD0b1 | 8)}, .before = {{0, 0}}, .flags = "T",
     .after = {{0, 0x02}}, .flagsAfter = "T"},
};
// clang-format on

TEST(CoreInstructions, Cases) {
  for (const Case& c : kCases) RunCase(c);
  // A two-word instruction in the last word, or a skip there whose condition holds.
  for (uint16_t word : {LDS(0), STS(0), JMP(0), CALL(0), CPSE(1, 1)})
    RunCase({.name = "last word",
             .code = {word},
             .pc = kLast,
             .fault = kFaultOperandOutside,
             .at = kLast});
  // Words that do nothing at all but advance pc.
  for (uint16_t word : {0x0000, 0x00FF, 0x9588, 0x95E8, 0x95F8, 0x9528, 0x95B8})
    RunCase({.name = "no-op", .code = {word}, .flags = "CZ", .flagsAfter = "CZ"});
}

}  // namespace
}  // namespace velmora
