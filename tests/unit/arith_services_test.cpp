// Group 9 through the service gate: integer and float results against host arithmetic, the
// results chosen for what the host cannot compute, and the bit layout of the random services.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/hostcall.h"
#include "core/machine.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/random.h"

namespace velmora {
namespace {

constexpr uint8_t kUntouched = 0xA5;

class ArithServices : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMachine();
    Machine.data[kStatusAddress] = kUntouched;
  }

  // Runs group 9 function `function` and checks what every call must leave behind.
  void Call(uint8_t function) {
    const uint32_t pc = Machine.pc;
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = 9;
    ServiceCall();
    EXPECT_EQ(Machine.pc, pc + 1);
    EXPECT_EQ(Machine.data[kGroupAddress], 0);
    EXPECT_EQ(Machine.data[kStatusAddress], kUntouched);
    EXPECT_EQ(Machine.fault, 0);
  }

  uint32_t Call32(uint8_t function, uint32_t a, uint32_t b) {
    SetGuestDword(0x60, a);
    SetGuestDword(0x64, b);
    Call(function);
    EXPECT_EQ(GuestDword(0x64), b) << "function " << int(function) << " changed B32";
    return GuestDword(0x60);
  }

  uint64_t Call64(uint8_t function, uint64_t a, uint64_t b) {
    SetGuestQword(0x60, a);
    SetGuestQword(0x68, b);
    Call(function);
    EXPECT_EQ(GuestQword(0x68), b) << "function " << int(function) << " changed B64";
    return GuestQword(0x60);
  }

  uint32_t CallFloat(uint8_t function, float a, float b) {
    SetGuestFloat(0x60, a);
    SetGuestFloat(0x64, b);
    Call(function);
    return GuestDword(0x60);
  }
};

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

constexpr uint32_t kMin32 = 0x80000000u;
constexpr uint64_t kMin64 = 0x8000000000000000u;

struct Case32 {
  uint8_t function;
  uint32_t a, b, want;
};

TEST_F(ArithServices, ThirtyTwoBitIntegers) {
  const Case32 cases[] = {
      {1, 5, 7, 12},
      {1, 0xFFFFFFFF, 2, 1},
      {3, uint32_t(-5), 3, uint32_t(-2)},
      {6, 3, 5, uint32_t(-2)},
      {8, kMin32, 1, 0x7FFFFFFF},
      {11, 0x10000, 0x10000, 0},
      {11, 0xFFFFFFFF, 0xFFFFFFFF, 1},
      {13, uint32_t(-3), 7, uint32_t(-21)},
      {16, 0xFFFFFFF9, 2, 0x7FFFFFFC},
      {16, 7, 0, 0xFFFFFFFF},  // zero divisor: all ones
      {18, uint32_t(-7), 2, uint32_t(-3)},
      {18, 7, uint32_t(-2), uint32_t(-3)},
      {18, kMin32, uint32_t(-1), kMin32},  // the wrapped quotient
      {18, kMin32, 1, kMin32},
      {18, 12345, 0, 0xFFFFFFFF},
      {21, 7, 3, 1},
      {21, 0xFFFFFFFF, 10, 5},
      {21, 1234, 0, 1234},  // zero divisor: the dividend
  };
  for (const Case32& c : cases) {
    EXPECT_EQ(Call32(c.function, c.a, c.b), c.want)
        << "function " << int(c.function) << " a=" << c.a << " b=" << c.b;
  }
}

struct Case64 {
  uint8_t function;
  uint64_t a, b, want;
};

TEST_F(ArithServices, SixtyFourBitIntegers) {
  const Case64 cases[] = {
      {2, 0x00000000FFFFFFFF, 1, 0x0000000100000000},
      {4, uint64_t(-1), uint64_t(-1), uint64_t(-2)},
      {7, 0x0000000100000000, 1, 0x00000000FFFFFFFF},
      {9, 0, 1, uint64_t(-1)},
      {12, 0x100000000, 0x100000000, 0},
      {12, 0x123456789, 0x1000, 0x123456789000},
      {14, uint64_t(-3), 5, uint64_t(-15)},
      {17, uint64_t(-1), 3, 0x5555555555555555},
      {17, 99, 0, uint64_t(-1)},
      {19, uint64_t(-7), 2, uint64_t(-3)},
      {19, kMin64, uint64_t(-1), kMin64},
      {19, 5, 0, uint64_t(-1)},
      {22, 0x123456789ABCDEF0, 0x1000, 0xEF0},
      {22, 77, 0, 77},
  };
  for (const Case64& c : cases) {
    EXPECT_EQ(Call64(c.function, c.a, c.b), c.want)
        << "function " << int(c.function) << " a=" << c.a << " b=" << c.b;
  }
}

TEST_F(ArithServices, FloatsFollowSinglePrecision) {
  const float inf = std::numeric_limits<float>::infinity();
  const float values[] = {0.0f, -0.0f, 1.5f, -2.25f, 3.0e38f, 1.0e-45f, 0.1f, inf, -inf};
  for (float a : values) {
    for (float b : values) {
      EXPECT_EQ(CallFloat(5, a, b), Bits(a + b)) << a << " + " << b;
      EXPECT_EQ(CallFloat(10, a, b), Bits(a - b)) << a << " - " << b;
      EXPECT_EQ(CallFloat(15, a, b), Bits(a * b)) << a << " * " << b;
      const float quotient = a / b;
      if (std::isnan(quotient)) {
        float got;
        const uint32_t bits = CallFloat(20, a, b);
        std::memcpy(&got, &bits, sizeof got);
        EXPECT_TRUE(std::isnan(got)) << a << " / " << b;
      } else {
        EXPECT_EQ(CallFloat(20, a, b), Bits(quotient)) << a << " / " << b;
      }
    }
  }
}

TEST_F(ArithServices, FloatToUnsigned) {
  struct Case {
    float value;
    uint32_t want;
  };
  const Case cases[] = {
      {3.99f, 3},
      {0.0f, 0},
      {-0.0f, 0},
      {-0.5f, 0},
      {-0.99999994f, 0},
      {-1.0f, 0xFFFFFFFF},
      {-1.0e30f, 0xFFFFFFFF},
      {2147483648.0f, 0x80000000},
      {4294967040.0f, 0xFFFFFF00},  // the largest float below 2^32
      {4294967296.0f, 0xFFFFFFFF},
      {std::numeric_limits<float>::infinity(), 0xFFFFFFFF},
      {-std::numeric_limits<float>::infinity(), 0xFFFFFFFF},
      {std::numeric_limits<float>::quiet_NaN(), 0xFFFFFFFF},
      {1.0e-40f, 0},
  };
  for (const Case& c : cases) {
    SetGuestFloat(0x60, c.value);
    Call(23);
    EXPECT_EQ(GuestDword(0x60), c.want) << c.value;
  }
}

// The random services are checked against draws taken from the same seed by hand.
class ArithRandom : public ArithServices {
 protected:
  static constexpr uint32_t kSeed = 12345;

  void SetUp() override {
    ArithServices::SetUp();
    for (uint32_t a = 0x60; a < 0x70; ++a) Machine.data[a] = 0xEE;
  }

  // Three draws after `skip` others, built into 32 bits as the services must.
  static uint32_t Expected32(int skip) {
    SeedRandom(kSeed);
    for (int i = 0; i < skip; ++i) RandomWord();
    const uint32_t r1 = RandomWord(), r2 = RandomWord(), r3 = RandomWord();
    return r2 << 16 | r3 | (r1 & 1) << 15 | (r1 & 2) << 30;
  }
};

TEST_F(ArithRandom, DrawsAreFifteenBits) {
  SeedRandom(kSeed);
  uint32_t seen_or = 0;
  for (int i = 0; i < 2000; ++i) {
    const uint32_t draw = RandomWord();
    EXPECT_LT(draw, 0x8000u);
    seen_or |= draw;
  }
  EXPECT_EQ(seen_or, 0x7FFFu);
}

TEST_F(ArithRandom, ByteAndWordWriteOnlyTheirWidth) {
  SeedRandom(kSeed);
  const uint32_t r = RandomWord();
  SeedRandom(kSeed);
  Call(24);
  EXPECT_EQ(Machine.data[0x60], uint8_t(r));
  EXPECT_EQ(Machine.data[0x61], 0xEE);

  for (int round = 0; round < 8; ++round) {
    SeedRandom(kSeed + round);
    const uint32_t r1 = RandomWord(), r2 = RandomWord();
    SeedRandom(kSeed + round);
    Call(25);
    EXPECT_EQ(GuestWord(0x60), uint16_t(r2 | (r1 & 1) << 15));
    EXPECT_EQ(Machine.data[0x62], 0xEE);
  }
}

TEST_F(ArithRandom, ThirtyTwoBitsFromThreeDrawsInOrder) {
  for (int skip = 0; skip < 16; ++skip) {
    const uint32_t want = Expected32(skip);
    SeedRandom(kSeed);
    for (int i = 0; i < skip; ++i) RandomWord();
    Call(26);
    EXPECT_EQ(GuestDword(0x60), want) << "after " << skip << " draws";
    EXPECT_EQ(Machine.data[0x64], 0xEE);
  }
}

TEST_F(ArithRandom, UnitFloatScalesThirtyTwoBits) {
  for (int skip = 0; skip < 16; ++skip) {
    const uint32_t bits = Expected32(skip);
    SeedRandom(kSeed);
    for (int i = 0; i < skip; ++i) RandomWord();
    Call(27);
    const float want = float(double(bits) / 4294967295.0);
    EXPECT_EQ(GuestDword(0x60), Bits(want));
    EXPECT_GE(GuestFloat(0x60), 0.0f);
    EXPECT_LE(GuestFloat(0x60), 1.0f);
  }
}

TEST_F(ArithRandom, BetweenInEitherOrder) {
  struct Case {
    int32_t a, b;
  };
  const Case cases[] = {
      {10, 1},
      {1, 10},
      {5, 5},
      {-3, 3},
      {3, -3},
      {-100, -200},
      {INT32_MIN, INT32_MIN + 2},
      {INT32_MAX - 1, INT32_MAX},
      {0, INT32_MAX},
      {INT32_MIN, -1},
  };
  for (const Case& c : cases) {
    const int64_t lo = c.a < c.b ? c.a : c.b;
    const int64_t hi = c.a < c.b ? c.b : c.a;
    for (int skip = 0; skip < 12; ++skip) {
      const uint32_t bits = Expected32(skip);
      SeedRandom(kSeed);
      for (int i = 0; i < skip; ++i) RandomWord();
      const int32_t got = int32_t(Call32(28, uint32_t(c.a), uint32_t(c.b)));
      EXPECT_EQ(got, int32_t(lo + int64_t(bits % uint64_t(hi - lo + 1)))) << c.a << ".." << c.b;
      EXPECT_GE(got, lo);
      EXPECT_LE(got, hi);
    }
  }
}

TEST_F(ArithRandom, FullRangeGivesLowPlusRandomBits) {
  for (const auto& [a, b] : {std::pair{INT32_MIN, INT32_MAX}, std::pair{INT32_MAX, INT32_MIN}}) {
    const uint32_t bits = Expected32(0);
    SeedRandom(kSeed);
    EXPECT_EQ(Call32(28, uint32_t(a), uint32_t(b)), uint32_t(INT32_MIN) + bits);
  }
}

}  // namespace
}  // namespace velmora
