// The random services of group 9 against draws taken by hand from the same seed: which draws
// make which bits, and the width each result is written with. The integer and float services
// are checked from a guest program (tests/guest/events/gate_arith.c).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "core/hostcall.h"
#include "core/machine.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/random.h"

namespace velmora {
namespace {

constexpr uint32_t kSeed = 12345;

class ArithRandom : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllServices();
    ClearMachine();
  }

  // Seeds, skips `skip` draws, fills 0x60-0x6F with 0xEE and runs group 9 function `function`.
  static void Call(uint8_t function, int skip, uint32_t a = 0xEEEEEEEE, uint32_t b = 0xEEEEEEEE) {
    std::memset(Machine.data + 0x60, 0xEE, 16);
    SetGuestDword(0x60, a);
    SetGuestDword(0x64, b);
    Draws(skip);
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = 9;
    ServiceCall();
  }

  // Reseeds and skips `skip` draws.
  static void Draws(int skip) {
    SeedRandom(kSeed);
    for (int i = 0; i < skip; ++i) RandomWord();
  }
};

TEST_F(ArithRandom, DrawsAreFifteenBits) {
  SeedRandom(kSeed);
  uint32_t seen_or = 0;
  for (int i = 0; i < 2000; ++i) {
    const uint32_t draw = RandomWord();
    ASSERT_LT(draw, 0x8000u);
    seen_or |= draw;
  }
  EXPECT_EQ(seen_or, 0x7FFFu);
}

// Every random service, after every number of earlier draws, against its draws r1, r2, r3.
TEST_F(ArithRandom, ResultsAreBuiltFromTheDrawsInOrder) {
  for (int skip = 0; skip < 16; ++skip) {
    Draws(skip);
    const uint32_t r1 = RandomWord(), r2 = RandomWord(), r3 = RandomWord();
    const uint32_t r32 = r2 << 16 | r3 | (r1 & 1) << 15 | (r1 & 2) << 30;

    Call(24, skip);
    EXPECT_EQ(Machine.data[0x60], uint8_t(r1)) << skip;
    EXPECT_EQ(Machine.data[0x61], 0xEE);
    Call(25, skip);
    EXPECT_EQ(GuestWord(0x60), uint16_t(r2 | (r1 & 1) << 15)) << skip;
    EXPECT_EQ(Machine.data[0x62], 0xEE);
    Call(26, skip);
    EXPECT_EQ(GuestDword(0x60), r32) << skip;
    EXPECT_EQ(Machine.data[0x64], 0xEE);
    Call(27, skip);
    const float unit = float(double(r32) / 4294967295.0);
    uint32_t unit_bits;
    std::memcpy(&unit_bits, &unit, sizeof unit_bits);
    EXPECT_EQ(GuestDword(0x60), unit_bits) << skip;
  }
}

// Function 28: lo + R32 mod (hi - lo + 1), in either order; the full range gives lo + R32.
TEST_F(ArithRandom, BetweenInEitherOrder) {
  struct Case {
    int32_t a, b;
  };
  const Case cases[] = {
      {10, 1},
      {1, 10},
      {5, 5},
      {3, -3},
      {-100, -200},
      {INT32_MIN, INT32_MIN + 2},
      {0, INT32_MAX},
      {INT32_MIN, -1},
      {INT32_MIN, INT32_MAX},
      {INT32_MAX, INT32_MIN},
  };
  for (const Case& c : cases) {
    const int64_t lo = c.a < c.b ? c.a : c.b;
    const int64_t hi = c.a < c.b ? c.b : c.a;
    for (int skip = 0; skip < 12; ++skip) {
      Call(26, skip);
      const uint32_t r32 = GuestDword(0x60);
      Call(28, skip, uint32_t(c.a), uint32_t(c.b));
      const int32_t got = GuestInt32(0x60);
      EXPECT_EQ(got, int32_t(lo + int64_t(r32 % uint64_t(hi - lo + 1)))) << c.a << ".." << c.b;
      EXPECT_GE(got, lo);
      EXPECT_LE(got, hi);
    }
  }
}

}  // namespace
}  // namespace velmora
