// The random services of group 9 against draws taken by hand from the same seed: which draws make
// which bits, and the width each result is written with. The integer and float services are
// checked from a guest program (tests/guest/events/gate_arith.c).
#include <gtest/gtest.h>

#include <algorithm>
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

// Reseeds, skips `skip` draws and runs group 9 function `function` with A32 = a, B32 = b and
// 0x68-0x6F at 0xEE.
void Call(uint8_t function, int skip, uint32_t a = 0xEEEEEEEE, uint32_t b = 0xEEEEEEEE) {
  std::memset(Machine.data + 0x60, 0xEE, 16);
  SetGuestDword(0x60, a);
  SetGuestDword(0x64, b);
  SeedRandom(12345);
  for (int i = 0; i < skip; ++i) RandomWord();
  Machine.data[kFunctionAddress] = function;
  Machine.data[kGroupAddress] = 9;
  ServiceCall();
}

TEST(ArithRandom, ResultsAreBuiltFromFifteenBitDrawsInOrder) {
  InstallAllServices();
  SeedRandom(12345);
  uint32_t seen = 0;
  for (int i = 0; i < 2000; ++i) seen |= RandomWord();
  EXPECT_EQ(seen, 0x7FFFu);
  for (int skip = 0; skip < 16; ++skip) {
    SeedRandom(12345);
    for (int i = 0; i < skip; ++i) RandomWord();
    const uint32_t r1 = RandomWord(), r2 = RandomWord(), r3 = RandomWord();
    const uint32_t r32 = r2 << 16 | r3 | (r1 & 1) << 15 | (r1 & 2) << 30;
    Call(24, skip);
    EXPECT_EQ(GuestWord(0x60), 0xEE00 | (r1 & 0xFF)) << skip;
    Call(25, skip);
    EXPECT_EQ(GuestDword(0x60), 0xEEEE0000 | r2 | (r1 & 1) << 15) << skip;
    Call(26, skip);
    EXPECT_EQ(GuestDword(0x60), r32) << skip;
    EXPECT_EQ(Machine.data[0x64], 0xEE);
    Call(27, skip);
    const float unit = float(double(r32) / 4294967295.0);
    EXPECT_EQ(GuestFloat(0x60), unit) << skip;
  }
}

// Function 28: lo + R32 mod (hi - lo + 1), in either order; the full range gives lo + R32.
TEST(ArithRandom, BetweenInEitherOrder) {
  InstallAllServices();
  const int32_t cases[][2] = {{10, 1},
                              {1, 10},
                              {5, 5},
                              {3, -3},
                              {-100, -200},
                              {INT32_MIN, INT32_MIN + 2},
                              {0, INT32_MAX},
                              {INT32_MIN, -1},
                              {INT32_MIN, INT32_MAX},
                              {INT32_MAX, INT32_MIN}};
  for (const auto& [a, b] : cases) {
    const int64_t lo = std::min(a, b), hi = std::max(a, b);
    for (int skip = 0; skip < 12; ++skip) {
      Call(26, skip);
      const uint32_t r32 = GuestDword(0x60);
      Call(28, skip, uint32_t(a), uint32_t(b));
      EXPECT_EQ(GuestInt32(0x60), int32_t(lo + int64_t(r32 % uint64_t(hi - lo + 1))))
          << a << ".." << b;
    }
  }
}

}  // namespace
}  // namespace velmora
