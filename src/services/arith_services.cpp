// Group 9: the wide integer and single-precision arithmetic the instruction set lacks, and
// random numbers. Results replace the first operand; no service touches the status byte.
//
// Results where the host has none: a zero divisor gives a quotient of all ones and a remainder
// equal to the dividend; the most negative value divided by -1 gives itself (the wrapped
// quotient); a random range that spans all 2^32 values gives lo + R32.
#include <cmath>
#include <cstdint>

#include "services/gate.h"
#include "services/guest.h"
#include "services/random.h"

namespace velmora {

namespace {

constexpr uint32_t kA = 0x60;
constexpr uint32_t kB32 = 0x64;
constexpr uint32_t kB64 = 0x68;

uint32_t A32() {
  return GuestDword(kA);
}
uint32_t B32() {
  return GuestDword(kB32);
}
uint64_t A64() {
  return GuestQword(kA);
}
uint64_t B64() {
  return GuestQword(kB64);
}
float AFloat() {
  return GuestFloat(kA);
}
float BFloat() {
  return GuestFloat(kB32);
}
void SetA32(uint32_t value) {
  SetGuestDword(kA, value);
}
void SetA64(uint64_t value) {
  SetGuestQword(kA, value);
}

void Add32() {
  SetA32(A32() + B32());
}
void Add64() {
  SetA64(A64() + B64());
}
void Subtract32() {
  SetA32(A32() - B32());
}
void Subtract64() {
  SetA64(A64() - B64());
}
void Multiply32() {
  SetA32(A32() * B32());
}
void Multiply64() {
  SetA64(A64() * B64());
}
void AddFloat() {
  SetGuestFloat(kA, AFloat() + BFloat());
}
void SubtractFloat() {
  SetGuestFloat(kA, AFloat() - BFloat());
}
void MultiplyFloat() {
  SetGuestFloat(kA, AFloat() * BFloat());
}
void DivideFloat() {
  SetGuestFloat(kA, AFloat() / BFloat());
}

void DivideUnsigned32() {
  const uint32_t divisor = B32();
  SetA32(divisor == 0 ? UINT32_MAX : A32() / divisor);
}

void DivideUnsigned64() {
  const uint64_t divisor = B64();
  SetA64(divisor == 0 ? UINT64_MAX : A64() / divisor);
}

void DivideSigned32() {
  const int32_t dividend = int32_t(A32());
  const int32_t divisor = int32_t(B32());
  if (divisor == 0) {
    SetA32(UINT32_MAX);
  } else if (divisor == -1) {
    SetA32(0u - uint32_t(dividend));  // negation that wraps for the most negative value
  } else {
    SetA32(uint32_t(dividend / divisor));
  }
}

void DivideSigned64() {
  const int64_t dividend = int64_t(A64());
  const int64_t divisor = int64_t(B64());
  if (divisor == 0) {
    SetA64(UINT64_MAX);
  } else if (divisor == -1) {
    SetA64(0u - uint64_t(dividend));
  } else {
    SetA64(uint64_t(dividend / divisor));
  }
}

void RemainderUnsigned32() {
  const uint32_t divisor = B32();
  if (divisor != 0) SetA32(A32() % divisor);
}

void RemainderUnsigned64() {
  const uint64_t divisor = B64();
  if (divisor != 0) SetA64(A64() % divisor);
}

// Integer part for 0 <= value < 2^32, 0 for -1 < value < 0; values of -1 or less, of 2^32 or
// more, and NaN give all ones.
void FloatToUnsigned() {
  const float value = AFloat();
  uint32_t result = UINT32_MAX;
  if (value > -1.0f && value < 4294967296.0f) result = value <= 0.0f ? 0 : uint32_t(value);
  SetA32(result);
}

// 32 random bits from three draws r1, r2, r3: r2 in the high half, r3 in the low, and the two
// bits a draw lacks (15 and 31) from bits 0 and 1 of r1.
uint32_t RandomBits32() {
  const uint32_t r1 = RandomWord();
  const uint32_t r2 = RandomWord();
  const uint32_t r3 = RandomWord();
  uint32_t value = r2 * 0x10000u + r3;
  if (r1 & 1) value |= 0x8000u;
  if (r1 & 2) value |= 0x80000000u;
  return value;
}

void RandomByte() {
  SetGuestByte(kA, uint8_t(RandomWord()));
}

void RandomWord16() {
  const uint32_t r1 = RandomWord();
  const uint32_t r2 = RandomWord();
  SetGuestWord(kA, uint16_t(r2 | ((r1 & 1) << 15)));
}

void RandomDword() {
  SetA32(RandomBits32());
}

void RandomUnitFloat() {
  SetGuestFloat(kA, float(double(RandomBits32()) / 4294967295.0));
}

// lo + R32 mod (hi - lo + 1); the count is computed in 64 bits so that the full range, whose
// count does not fit 32 bits, gives lo + R32 (every value equally likely).
void RandomBetween() {
  const int32_t a = int32_t(A32());
  const int32_t b = int32_t(B32());
  const int32_t lo = a < b ? a : b;
  const int32_t hi = a < b ? b : a;
  const uint64_t count = uint64_t(int64_t(hi) - int64_t(lo)) + 1;
  const uint32_t random = RandomBits32();
  SetA32(uint32_t(lo) + uint32_t(random % count));
}

}  // namespace

void FillArithmeticServices(ServiceProc* group9) {
  // Signed and unsigned addition, subtraction and multiplication give the same bits.
  group9[1] = group9[3] = Add32;
  group9[2] = group9[4] = Add64;
  group9[5] = AddFloat;
  group9[6] = group9[8] = Subtract32;
  group9[7] = group9[9] = Subtract64;
  group9[10] = SubtractFloat;
  group9[11] = group9[13] = Multiply32;
  group9[12] = group9[14] = Multiply64;
  group9[15] = MultiplyFloat;
  group9[16] = DivideUnsigned32;
  group9[17] = DivideUnsigned64;
  group9[18] = DivideSigned32;
  group9[19] = DivideSigned64;
  group9[20] = DivideFloat;
  group9[21] = RemainderUnsigned32;
  group9[22] = RemainderUnsigned64;
  group9[23] = FloatToUnsigned;
  group9[24] = RandomByte;
  group9[25] = RandomWord16;
  group9[26] = RandomDword;
  group9[27] = RandomUnitFloat;
  group9[28] = RandomBetween;
}

}  // namespace velmora
