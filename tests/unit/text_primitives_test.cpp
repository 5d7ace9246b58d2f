#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text/primitives.h"

namespace velmora {
namespace {

// Decimal fields described independently: the value's digits padded to width + 1 places, the
// lowest `width` of them kept, the first shown as "#" when the place above is not zero.
std::string ModelDecimal(uint64_t value, int width, bool wide) {
  const std::string digits = std::to_string(value);
  if (width == 0) {
    const size_t places = wide ? 19 : 10;
    if (digits.size() <= places) return digits;
    std::string marked = "#";
    marked += digits.substr(digits.size() - (places - 1));
    return marked;
  }
  const std::string padded =
      std::string(width + 1 > int(digits.size()) ? width + 1 - digits.size() : 0, '0') + digits;
  std::string field = padded.substr(padded.size() - width);
  if (padded[padded.size() - width - 1] != '0') field[0] = '#';
  return field;
}

// Every width a byte can give, for values across the range, against the model.
TEST(StringsDecimal, EveryWidthMatchesModel) {
  // clang-format off
  const uint64_t values[] = {0, 1, 9, 10, 99, 100, 65535, 99999999, 100000000, 999999999,
                             1000000000, 2147483648, 4294967295, 10000000000,
                             999999999999999999ull, 1000000000000000000ull,
                             9999999999999999999ull, 10000000000000000000ull, ~0ull};
  // clang-format on
  for (uint64_t value : values) {
    for (int width = 0; width <= 255; ++width) {
      char buffer[260] = "";
      const uint32_t length = AppendDecimal64(HostText(buffer), uint8_t(width), value);
      ASSERT_EQ(buffer, ModelDecimal(value, width, true)) << value << " width " << width;
      ASSERT_EQ(length, std::strlen(buffer));
      if (value <= UINT32_MAX) {
        char narrow[260] = "";
        AppendDecimal(HostText(narrow), uint8_t(width), uint32_t(value));
        ASSERT_EQ(narrow, ModelDecimal(value, width, false)) << value << " w " << width;
      }
    }
  }
}

// A string that fills its room without a terminator ends where the room ends.
TEST(StringsCut, UnterminatedStrings) {
  char path[8] = {'a', '\\', 'b', '.', 'c', 'd', 'e', 'f'};
  PathStem(HostText(path));
  EXPECT_STREQ(path, "b");
  char span[6] = {'x', '(', 'y', 'z', 'w', 'v'};
  RemoveSpan(HostText(span), '(', ')');
  EXPECT_STREQ(span, "x");
}

TEST(StringsReal, Examples) {
  const struct Case {
    double value;
    int digits;
    const char* text;
  } cases[] = {
      // clang-format off
      {2.0, 5, "2"}, {2e-7, 1, "2E-7"}, {3e100, 1, "3E100"}, {4e10, 1, "4E10"}, {12.0, 5, "12"},
      {100.0, 5, "100"}, {0.0, 5, "0"}, {-0.0, 5, "-0"}, {-0.125, 6, "-0.125"},
      {0.0123, 5, "1.23E-2"}, {0.123, 5, "0.123"}, {123.456, 5, "123.46"}, {99999.0, 5, "99999"},
      {123456.0, 5, "1.2346E5"}, {100000.0, 5, "1.E5"},  // a whole mantissa keeps its point
      // The exponent after rounding to the digit count picks the notation.
      {9.99, 2, "10"}, {9.5, 1, "1E1"}, {99999.5, 5, "1.E5"}, {0.0996, 2, "0.1"},
      {-1234567890.123, 12, "-1234567890.12"}, {-123456789012.3, 12, "-123456789012"},
      {-1234567890123.0, 12, "-1.23456789012E12"}, {1e21, 22, "1000000000000000000000"},
      {1e-300, 3, "1.E-300"}, {DBL_MAX, 17, "1.7976931348623157E308"},
      {-DBL_TRUE_MIN, 64, "-4.940656458412465441766E-324"},  // 22 digits at most
      {0.1, 20, "0.10000000000000000555"}, {0.1, 0, "0.1"},
      {2.5, 1, "2"}, {3.5, 1, "4"},  // ties to even on the exact binary value
      // clang-format on
  };
  for (const Case& c : cases) {
    char buffer[40];
    std::memset(buffer, 'z', sizeof buffer);
    const uint32_t length = FormatReal(HostText(buffer), c.digits, c.value);
    EXPECT_STREQ(buffer, c.text) << c.value << " digits " << c.digits;
    EXPECT_EQ(length, std::strlen(c.text));
  }
}

// With 17 digits every double reads back as itself, and no text exceeds 29 characters.
TEST(StringsReal, SeventeenDigitsRoundTrip) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    double value;
    std::memcpy(&value, &state, sizeof value);
    if (!std::isfinite(value)) continue;
    char buffer[30];
    ASSERT_LE(FormatReal(HostText(buffer), 17, value), 29u);
    ASSERT_EQ(std::strtod(buffer, nullptr), value) << buffer;
    for (int digits : {1, 7, 22, 64}) {
      ASSERT_LE(FormatReal(HostText(buffer), digits, value), 29u);
    }
  }
}

}  // namespace
}  // namespace velmora
