// Group 9: the wide integer and single-precision arithmetic the instruction set lacks, and
// random numbers. Results replace the first operand; no service touches the status byte.
//
// Results where the host has none: a zero divisor gives a quotient of all ones and a remainder
// equal to the dividend; the most negative value divided by -1 gives itself (the wrapped
// quotient); a random range that spans all 2^32 values gives lo + R32.
#include "services/arith_services.h"

#include <cmath>
#include <cstdint>

#include "services/gate.h"
#include "services/guest.h"
#include "services/random.h"
#include "services/status.h"

namespace velmora {

namespace {

constexpr uint32_t kB32 = 0x64;
constexpr uint32_t kB64 = 0x68;

uint32_t A32() {
  return GuestDword(kArgumentAddress);
}
uint32_t B32() {
  return GuestDword(kB32);
}
uint64_t A64() {
  return GuestQword(kArgumentAddress);
}
uint64_t B64() {
  return GuestQword(kB64);
}
float AFloat() {
  return GuestFloat(kArgumentAddress);
}
float BFloat() {
  return GuestFloat(kB32);
}
void SetA32(uint32_t value) {
  SetGuestDword(kArgumentAddress, value);
}
void SetA64(uint64_t value) {
  SetGuestQword(kArgumentAddress, value);
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
  SetGuestFloat(kArgumentAddress, AFloat() + BFloat());
}
void SubtractFloat() {
  SetGuestFloat(kArgumentAddress, AFloat() - BFloat());
}
void MultiplyFloat() {
  SetGuestFloat(kArgumentAddress, AFloat() * BFloat());
}
void DivideFloat() {
  SetGuestFloat(kArgumentAddress, AFloat() / BFloat());
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
  SetGuestByte(kArgumentAddress, uint8_t(RandomWord()));
}

void RandomWord16() {
  const uint32_t r1 = RandomWord();
  const uint32_t r2 = RandomWord();
  SetGuestWord(kArgumentAddress, uint16_t(r2 | ((r1 & 1) << 15)));
}

void RandomDword() {
  SetA32(RandomBits32());
}

void RandomUnitFloat() {
  SetGuestFloat(kArgumentAddress, float(double(RandomBits32()) / 4294967295.0));
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

const ServiceRow kArithmeticServices[] = {
    // Signed and unsigned addition, subtraction and multiplication give the same bits.
    {9, 1, Add32, "add 32"},
    {9, 2, Add64, "add 64"},
    {9, 3, Add32, "add signed 32"},
    {9, 4, Add64, "add signed 64"},
    {9, 5, AddFloat, "add float"},
    {9, 6, Subtract32, "subtract 32"},
    {9, 7, Subtract64, "subtract 64"},
    {9, 8, Subtract32, "subtract signed 32"},
    {9, 9, Subtract64, "subtract signed 64"},
    {9, 10, SubtractFloat, "subtract float"},
    {9, 11, Multiply32, "multiply 32"},
    {9, 12, Multiply64, "multiply 64"},
    {9, 13, Multiply32, "multiply signed 32"},
    {9, 14, Multiply64, "multiply signed 64"},
    {9, 15, MultiplyFloat, "multiply float"},
    {9, 16, DivideUnsigned32, "divide unsigned 32"},
    {9, 17, DivideUnsigned64, "divide unsigned 64"},
    {9, 18, DivideSigned32, "divide signed 32"},
    {9, 19, DivideSigned64, "divide signed 64"},
    {9, 20, DivideFloat, "divide float"},
    {9, 21, RemainderUnsigned32, "remainder unsigned 32"},
    {9, 22, RemainderUnsigned64, "remainder unsigned 64"},
    {9, 23, FloatToUnsigned, "float to unsigned"},
    {9, 24, RandomByte, "random byte"},
    {9, 25, RandomWord16, "random word"},
    {9, 26, RandomDword, "random dword"},
    {9, 27, RandomUnitFloat, "random unit float"},
    {9, 28, RandomBetween, "random between"},
};

}  // namespace

std::span<const ServiceRow> ArithmeticServiceRows() {
  return kArithmeticServices;
}

}  // namespace velmora
