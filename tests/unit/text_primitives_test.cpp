#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "text/primitives.h"

namespace velmora {
namespace {

// Runs `edit` on a copy of `start` in a buffer of the given room and returns the text.
template <typename Edit>
std::string Edited(const std::string& start, Edit edit, uint32_t room = 128) {
  std::string buffer(room, '\x7F');
  std::memcpy(buffer.data(), start.c_str(), std::min<size_t>(start.size() + 1, room));
  edit(TextBuffer{buffer.data(), room});
  return std::string(buffer.c_str());
}

// Decimal fields described independently: the value's digits padded to width + 1 places, the
// lowest `width` of them kept, the first shown as "#" when the place above is not zero.
std::string ModelDecimal(uint64_t value, int width, bool wide) {
  const std::string digits = std::to_string(value);
  if (width == 0) {
    const size_t places = wide ? 19 : 10;
    if (digits.size() <= places) return digits;
    return "#" + digits.substr(digits.size() - (places - 1));
  }
  const std::string padded =
      std::string(width + 1 > int(digits.size()) ? width + 1 - digits.size() : 0, '0') + digits;
  std::string field = padded.substr(padded.size() - width);
  if (padded[padded.size() - width - 1] != '0') field[0] = '#';
  return field;
}

TEST(StringsHex, FullDigitsUpperCase) {
  struct Case {
    int digits;
    uint64_t value;
    const char* text;
  } cases[] = {
      {2, 0x3C, "x=3C"},
      {2, 0x0A, "x=0A"},
      {2, 0xFF, "x=FF"},
      {4, 0x00FF, "x=00FF"},
      {4, 0xBEEF, "x=BEEF"},
      {8, 0x1234ABCD, "x=1234ABCD"},
      {8, 0, "x=00000000"},
      {16, 0x0123456789ABCDEF, "x=0123456789ABCDEF"},
      {16, ~0ull, "x=FFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) {
    char buffer[32] = "x=";
    const TextBuffer text = HostText(buffer);
    const uint32_t length = c.digits == 2   ? AppendHexByte(text, uint8_t(c.value))
                            : c.digits == 4 ? AppendHexWord(text, uint16_t(c.value))
                            : c.digits == 8 ? AppendHexDword(text, uint32_t(c.value))
                                            : AppendHexQword(text, c.value);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(length, std::strlen(c.text));
  }
}

TEST(StringsDecimal, Examples) {
  struct Case {
    uint8_t width;
    uint64_t value;
    bool wide;
    const char* text;
  } cases[] = {
      {0, 0, false, "0"},
      {0, 4294967295u, false, "4294967295"},
      {2, 5, false, "05"},
      {2, 99, false, "99"},
      {2, 100, false, "#0"},
      {2, 105, false, "#5"},
      {2, 1005, false, "05"},
      {3, 7, false, "007"},
      {2, 1234, false, "#4"},
      {3, 1234, false, "#34"},
      {2, 10034, false, "34"},
      {1, 9, false, "9"},
      {1, 10, false, "#"},
      {1, 100, false, "0"},
      {4, 42, false, "0042"},
      {9, 4294967295u, false, "#94967295"},
      {10, 4294967295u, false, "4294967295"},
      {12, 4294967295u, false, "004294967295"},
      {0, 9999999999999999999ull, true, "9999999999999999999"},
      {0, 10000000000000000000ull, true, "#000000000000000000"},
      {0, ~0ull, true, "#446744073709551615"},
      {0, 0, true, "0"},
      {19, ~0ull, true, "#446744073709551615"},
      {20, ~0ull, true, "18446744073709551615"},
      {21, ~0ull, true, "018446744073709551615"},
  };
  for (const Case& c : cases) {
    char buffer[128] = "";
    const uint32_t length = c.wide ? AppendDecimal64(HostText(buffer), c.width, c.value)
                                   : AppendDecimal(HostText(buffer), c.width, uint32_t(c.value));
    EXPECT_STREQ(buffer, c.text) << int(c.width) << " " << c.value;
    EXPECT_EQ(length, std::strlen(c.text));
  }
}

// Every width from 0 to 64 for values across the range, against the model.
TEST(StringsDecimal, EveryWidthMatchesModel) {
  const uint64_t values[] = {0,
                             1,
                             9,
                             10,
                             99,
                             100,
                             12345,
                             65535,
                             99999999,
                             100000000,
                             999999999,
                             1000000000,
                             2147483648,
                             4294967295,
                             10000000000,
                             123456789012345678ull,
                             999999999999999999ull,
                             1000000000000000000ull,
                             9223372036854775808ull,
                             9999999999999999999ull,
                             10000000000000000000ull,
                             ~0ull};
  for (uint64_t value : values) {
    for (int width = 0; width <= 64; ++width) {
      char buffer[80] = "ab";
      const uint32_t length = AppendDecimal64(HostText(buffer), uint8_t(width), value);
      const std::string want = "ab" + ModelDecimal(value, width, true);
      EXPECT_EQ(buffer, want) << value << " width " << width;
      EXPECT_EQ(length, want.size());
      if (value <= UINT32_MAX) {
        char narrow[80] = "ab";
        AppendDecimal(HostText(narrow), uint8_t(width), uint32_t(value));
        EXPECT_EQ(narrow, "ab" + ModelDecimal(value, width, false)) << value << " w " << width;
      }
    }
  }
}

TEST(StringsDecimal, WidestFieldFitsItsRoom) {
  char buffer[300] = "";
  EXPECT_EQ(AppendDecimal(HostText(buffer), 255, 7), 255u);
  EXPECT_EQ(std::string(buffer), std::string(254, '0') + "7");
}

// Appends are cut so that the terminator stays inside the room; a string that fills its room
// without a terminator takes nothing more.
TEST(StringsBounds, AppendsStopAtTheRoom) {
  EXPECT_EQ(Edited(
                "ab", [](TextBuffer t) { AppendHexDword(t, 0x12345678); }, 6),
            "ab123");
  EXPECT_EQ(Edited(
                "ab", [](TextBuffer t) { AppendDecimal(t, 40, 1); }, 4),
            "ab0");
  EXPECT_EQ(Edited(
                "", [](TextBuffer t) { AppendText(t, "xyz"); }, 1),
            "");
  char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(TextLength(HostText(full)), 4u);
  EXPECT_EQ(AppendHexByte(HostText(full), 0x55), 4u);
  EXPECT_EQ(std::string(full, 4), "abcd");
  char empty_room[1] = {'q'};
  EXPECT_EQ(AppendText(TextBuffer{empty_room, 0}, "z"), 0u);
  EXPECT_EQ(WriteText(TextBuffer{empty_room, 0}, "z"), 0u);
  EXPECT_EQ(empty_room[0], 'q');
}

TEST(StringsBounds, CuttersWorkOnUnterminatedStrings) {
  char path[8] = {'a', '\\', 'b', '.', 'c', 'd', 'e', 'f'};
  PathStem(HostText(path));
  EXPECT_STREQ(path, "b");
  char span[6] = {'x', '(', 'y', 'z', 'w', 'v'};
  RemoveSpan(HostText(span), '(', ')');
  EXPECT_STREQ(span, "x");
}

TEST(StringsCut, Examples) {
  struct Case {
    const char* start;
    int op;  // 0 KeepAfterLast, 1 KeepBeforeLast, 2 KeepAfterFirst, 3 CutAtFirst, 4 RemoveSpan,
             // 5 PathStem
    char a, b;
    const char* result;
  } cases[] = {
      {"C:\\work\\demo.hex", 0, '\\', 0, "demo.hex"},
      {"dir\\", 0, '\\', 0, ""},
      {"", 0, '\\', 0, ""},
      {"a.b.c", 0, '.', 0, "c"},
      {"abc", 0, 'x', 0, "abc"},
      {"abc", 0, 0, 0, "abc"},
      {"C:\\work\\demo.hex", 1, '\\', 0, "C:\\work"},
      {"\\file", 1, '\\', 0, ""},
      {"a.b.c", 1, '.', 0, "a.b"},
      {"name.txt", 1, '\\', 0, "name.txt"},
      {"a.b.c", 2, '.', 0, "b.c"},
      {"abc", 2, 'c', 0, ""},
      {"a.b.c", 3, '.', 0, "a"},
      {".x", 3, '.', 0, ""},
      {"abc(def)ghi", 4, '(', ')', "abcghi"},
      {"abc(def", 4, '(', ')', "abc"},
      {"def)ghi", 4, '(', ')', "ghi"},
      {"plain", 4, '(', ')', "plain"},
      {"a)b(c)d)e", 4, '(', ')', "a)bd)e"},
      {"a|b|c|d", 4, '|', '|', "ac|d"},
      {"ab|", 4, '|', '|', "ab"},
      {"x(y)", 4, 0, ')', ""},
      {"C:\\work\\demo.tar.gz", 5, 0, 0, "demo.tar"},
      {"demo", 5, 0, 0, "demo"},
      {".profile", 5, 0, 0, ""},
      {"C:\\a.b\\noext", 5, 0, 0, "noext"},
      {"C:\\dir\\", 5, 0, 0, ""},
  };
  for (const Case& c : cases) {
    const std::string got = Edited(c.start, [&](TextBuffer t) {
      switch (c.op) {
        case 0:
          return KeepAfterLast(t, c.a);
        case 1:
          return KeepBeforeLast(t, c.a);
        case 2:
          return KeepAfterFirst(t, c.a);
        case 3:
          return CutAtFirst(t, c.a);
        case 4:
          return RemoveSpan(t, c.a, c.b);
        default:
          return PathStem(t);
      }
    });
    EXPECT_EQ(got, c.result) << c.start << " op " << c.op;
  }
}

TEST(StringsHostStrings, EditInPlace) {
  std::string path = "C:\\work\\demo.hex";
  KeepBeforeLast(path, '\\');
  EXPECT_EQ(path, "C:\\work");
  std::string name = "C:\\work\\demo.hex";
  PathStem(name);
  EXPECT_EQ(name, "demo");
  std::string port = "\\\\.\\COM";
  EXPECT_EQ(AppendDecimal(port, 0, 12), 9u);
  EXPECT_EQ(port, "\\\\.\\COM12");
  std::string hex = "0x";
  AppendHexQword(hex, 0xFEDCBA9876543210ull);
  EXPECT_EQ(hex, "0xFEDCBA9876543210");
  std::string real = "old text";
  EXPECT_EQ(FormatReal(real, 3, 1234567.0), 6u);
  EXPECT_EQ(real, "1.23E6");
}

// --- FormatReal ---

struct RealCase {
  double value;
  int digits;
  const char* text;
};

TEST(StringsReal, Examples) {
  const double inf = std::numeric_limits<double>::infinity();
  const RealCase cases[] = {
      {2.0, 5, "2"},
      {1234567.0, 3, "1.23E6"},
      {1.0, 2, "1"},
      {1.5e5, 2, "1.5E5"},
      {2e-7, 1, "2E-7"},
      {3e100, 1, "3E100"},
      {4e10, 1, "4E10"},
      {12.0, 5, "12"},
      {inf, 5, "Err"},
      {-inf, 5, "Err"},
      {std::nan(""), 5, "Err"},
      {0.0, 5, "0"},
      {-0.0, 5, "-0"},
      {0.5, 5, "0.5"},
      {-0.125, 6, "-0.125"},
      {0.0123, 5, "1.23E-2"},
      {0.123, 5, "0.123"},
      {123.456, 5, "123.46"},
      {99999.0, 5, "99999"},
      {123456.0, 5, "1.2346E5"},
      {100000.0, 5, "1.E5"},  // the point before the exponent stays
      {1e6, 1, "1E6"},
      // The exponent after rounding to the digit count picks the notation.
      {9.99, 2, "10"},
      {99.9, 2, "1.E2"},
      {9.5, 1, "1E1"},
      {99999.5, 5, "1.E5"},
      {0.0996, 2, "0.1"},
      {0.999, 2, "1"},
      {-1234567890.123, 12, "-1234567890.12"},
      {-123456789012.3, 12, "-123456789012"},
      {-1234567890123.0, 12, "-1.23456789012E12"},
      {-0.0123456789012, 12, "-1.23456789012E-2"},
      {1e-300, 3, "1.E-300"},
      {DBL_MAX, 17, "1.7976931348623157E308"},
      {DBL_TRUE_MIN, 3, "4.94E-324"},
      {0.1, 20, "0.10000000000000000555"},
      {0.1, 0, "0.1"},
      {2.5, 1, "2"},  // ties to even on the exact binary value
      {3.5, 1, "4"},
  };
  for (const RealCase& c : cases) {
    char buffer[40];
    std::memset(buffer, 'z', sizeof buffer);
    const uint32_t length = FormatReal(HostText(buffer), c.digits, c.value);
    EXPECT_STREQ(buffer, c.text) << c.value << " digits " << c.digits;
    EXPECT_EQ(length, std::strlen(c.text));
  }
}

// The conversion described another way: the digits of the %e form, placed by hand.
std::string ModelReal(double value, int digits) {
  digits = std::clamp(digits, 1, kMaxRealDigits);
  char e[64];
  std::snprintf(e, sizeof e, "%.*e", digits - 1, value);
  std::string sign = value < 0 || std::signbit(value) ? "-" : "";
  std::string mantissa;
  for (const char* p = e; *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') mantissa += *p;
  }
  const int rounded = std::atoi(std::strchr(e, 'e') + 1);
  const auto strip = [](std::string s) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    return s;
  };
  if (rounded < -1 || rounded > digits - 1) {
    std::string text = sign + mantissa.substr(0, 1);
    if (digits > 1) text += "." + strip(mantissa.substr(1));
    return text + "E" + std::to_string(rounded);
  }
  std::string whole, fraction;
  if (rounded < 0) {
    whole = "0";
    fraction = std::string(-rounded - 1, '0') + mantissa;
  } else {
    mantissa +=
        std::string(rounded + 1 > int(mantissa.size()) ? rounded + 1 - mantissa.size() : 0, '0');
    whole = mantissa.substr(0, rounded + 1);
    fraction = mantissa.substr(rounded + 1);
  }
  fraction = strip(fraction);
  return sign + whole + (fraction.empty() ? "" : "." + fraction);
}

TEST(StringsReal, MagnitudesAndDigitCountsMatchModel) {
  const double mantissas[] = {1.0,
                              1.5,
                              2.0,
                              3.14159265358979,
                              9.5,
                              9.99999,
                              9.999999999999999,
                              1.23456789012345678,
                              0.999999999,
                              7.0000001};
  for (double m : mantissas) {
    for (int exponent = -12; exponent <= 24; ++exponent) {
      for (double sign : {1.0, -1.0}) {
        const double value = sign * m * std::pow(10.0, exponent);
        for (int digits = 0; digits <= 64; ++digits) {
          char buffer[32];
          const uint32_t length = FormatReal(HostText(buffer), digits, value);
          ASSERT_EQ(std::string(buffer), ModelReal(value, digits)) << value << " digits " << digits;
          ASSERT_LE(length, 29u);
        }
      }
    }
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
    const uint32_t length = FormatReal(HostText(buffer), 17, value);
    ASSERT_LE(length, 29u);
    ASSERT_EQ(std::strtod(buffer, nullptr), value) << buffer;
    for (int digits : {1, 7, 22, 64}) {
      ASSERT_LE(FormatReal(HostText(buffer), digits, value), 29u);
    }
  }
}

TEST(StringsReal, TextIsCutToASmallBuffer) {
  char buffer[4];
  EXPECT_EQ(FormatReal(HostText(buffer), 10, 3.14159), 3u);
  EXPECT_STREQ(buffer, "3.1");
}

}  // namespace
}  // namespace velmora
