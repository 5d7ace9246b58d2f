#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/hostcall.h"
#include "core/machine.h"
#include "services/gate.h"
#include "services/guest.h"

namespace velmora {
namespace {

constexpr uint16_t kS = 0x300;  // first string argument
constexpr uint16_t kT = 0x400;  // second string argument
constexpr uint8_t kUntouchedStatus = 0xA5;

class StringsServices : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitServiceTables(); }
  void SetUp() override {
    ClearMachine();
    // Guard bytes above 0xFFFF that a bounded service must neither read as text nor write.
    std::memset(Machine.data + kGuestDataSize, 'G', kDataSpaceSize - kGuestDataSize);
  }

  static void Put(uint32_t address, std::string_view text) {
    std::memcpy(Machine.data + address, text.data(), text.size());
    Machine.data[address + text.size()] = 0;
  }
  static std::string At(uint32_t address) { return std::string(GuestString(address)); }
  static void Args(std::vector<uint8_t> bytes) {
    std::memcpy(Machine.data + kArgumentAddress, bytes.data(), bytes.size());
  }
  static void Call(uint8_t function) {
    Machine.data[kStatusAddress] = kUntouchedStatus;
    Machine.data[kGroupAddress] = 5;
    Machine.data[kFunctionAddress] = function;
    ServiceCall();
    EXPECT_EQ(Machine.data[kStatusAddress], kUntouchedStatus) << "function " << int(function);
  }
  static bool GuardIntact() {
    for (uint32_t a = kGuestDataSize; a < kDataSpaceSize; ++a) {
      if (Machine.data[a] != 'G') return false;
    }
    return true;
  }
};

std::vector<uint8_t> Le(uint64_t value, int bytes) {
  std::vector<uint8_t> out;
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
  return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> FloatBytes(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return Le(bits, 4);
}

std::vector<uint8_t> DoubleBytes(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  return Le(bits, 8);
}

const std::vector<uint8_t> kTArg = Le(kT, 2);
constexpr int kNoResult = -1;

struct ServiceCase {
  uint8_t function;
  std::string s;              // string at kS, named by W(0x60)
  std::vector<uint8_t> args;  // the argument bytes from 0x62
  std::string t;              // string at kT, for arguments that name it
  std::string after;          // the string at kS afterwards
  int result;                 // W(0x60) afterwards, or kNoResult when it still names s
};

// Edge cases of each service; the guest program in tests/guest/strings runs the common ones.
TEST_F(StringsServices, TableOfOperations) {
  const ServiceCase cases[] = {
      // copy (2 and 4), append
      {4, "xxxxxxxx", kTArg, "abc", "abc", 3},
      {2, "xxxx", kTArg, "", "", 0},
      {3, "ab", kTArg, "", "ab", 2},
      {3, "", kTArg, "cd", "cd", 2},
      // find
      {5, "hello", {'h'}, "", "hello", 0},
      {5, "", {'a'}, "", "", 0xFFFF},
      {6, "", kTArg, "", "", 0},
      {6, "hello", kTArg, "hello", "hello", 0},
      {6, "abc", kTArg, "abd", "abc", 0xFFFF},
      {6, "aaab", kTArg, "aab", "aaab", 1},
      {6, "hello", kTArg, "lo!", "hello", 0xFFFF},
      // replace, delete, insert, remove, reverse
      {7, "banana", {'a', 'a'}, "", "banana", 3},
      {7, "banana", {0, 'x'}, "", "banana", 0},
      {7, "banana", {'a', 0}, "", "b", 3},
      {8, "abcdefg", Le(2, 2) + Le(0, 2), "", "abcdefg", 7},
      {8, "abcdefg", Le(4, 2) + Le(3, 2), "", "abcd", 4},
      {8, "abcdefg", Le(7, 2) + Le(1, 2), "", "abcdefg", 7},
      {8, "abcdefg", Le(9, 2) + Le(0xFFFF, 2), "", "abcdefg", 7},
      {9, "abc", Le(0, 2) + Le('x', 1), "", "xabc", 4},
      {9, "", Le(0, 2) + Le('x', 1), "", "x", 1},
      {10, "banana", {0}, "", "banana", 6},
      {10, "aaa", {'a'}, "", "", 0},
      {11, "", {}, "", "", kNoResult},
      // decimals: width byte at 0x62, value from 0x63
      {12, "", Le(0, 1) + Le(65535, 2), "", "65535", 5},
      {12, "", Le(200, 1) + Le(7, 2), "", std::string(63, '0') + "7", 64},
      {14, "", Le(0, 1) + Le(10000000000000000000ull, 8), "", "#000000000000000000", 19},
      {14, "", Le(0, 1) + Le(9999999999999999999ull, 8), "", "9999999999999999999", 19},
      {17, "", Le(0, 1) + Le(2147483647, 4), "", "2147483647", 10},
      {18, "", Le(2, 1) + Le(uint64_t(-123), 8), "", "-#3", 3},
      {19, "", Le(0, 1) + Le(32767, 2), "", "32767", 5},
      {19, "", Le(2, 1) + Le(uint16_t(-5), 2), "", "-05", 3},
      // reals: digits at 0x62, value from 0x63
      {15, "", Le(30, 1) + FloatBytes(0.1f), "", "0.10000000149011611938", 22},
      {15, "", Le(5, 1) + FloatBytes(-std::numeric_limits<float>::infinity()), "", "Err", 3},
      {16, "", Le(64, 1) + DoubleBytes(-0.5), "", "-0.5", 4},
      {16, "", Le(64, 1) + DoubleBytes(-1e22), "", "-1.E22", 6},
      {16, "", Le(0, 1) + DoubleBytes(0.25), "", "0.2", 3},
      // cutting
      {21, "abc", {'.'}, "", "abc", kNoResult},
      {23, "abc", {0}, "", "abc", kNoResult},
      {24, "abc;def", {'=', ';'}, "", "abc", kNoResult},
      {24, "k=v", {'=', ';'}, "", "v", kNoResult},
      {28, "noext", {}, "", "noext", kNoResult},
      // case: ASCII letters only
      {30, "Hello, World! \xC0\xE9Z[@", {}, "", "hello, world! \xC0\xE9z[@", kNoResult},
      {31, "Hello, World! \xC0\xE9z{`", {}, "", "HELLO, WORLD! \xC0\xE9Z{`", kNoResult},
  };
  for (const ServiceCase& c : cases) {
    SetUp();
    Put(kS, c.s);
    Put(kT, c.t);
    Args(Le(kS, 2) + c.args);
    Call(c.function);
    SCOPED_TRACE("function " + std::to_string(c.function) + " on \"" + c.s + "\"");
    EXPECT_EQ(At(kS), c.after);
    EXPECT_EQ(GuestWord(kArgumentAddress), c.result == kNoResult ? kS : c.result);
    EXPECT_EQ(At(kT), c.t);
  }
}

TEST_F(StringsServices, Parsing) {
  struct Case {
    const char* text;
    int32_t integer;
    float real;
  } cases[] = {
      {"12abc", 12, 12.0f},
      {"  -123xyz", -123, -123.0f},
      {"\t\n\v\f\r+42", 42, 42.0f},
      {"abc", 0, 0.0f},
      {"", 0, 0.0f},
      {"- 5", 0, 0.0f},
      {"-1", -1, -1.0f},
      {"2147483647", 2147483647, 2147483647.0f},
      {"2147483648", 2147483647, 2147483648.0f},
      {"-2147483648", -2147483647 - 1, -2147483648.0f},
      {"-2147483649", -2147483647 - 1, -2147483649.0f},
      {"99999999999999999999999", 2147483647, 1e23f},
      {"3.25", 3, 3.25f},
      {" -1e3x", -1, -1000.0f},
      {"1e40", 1, std::numeric_limits<float>::infinity()},
      {"0x1p4", 0, 16.0f},
      {"0.1", 0, 0.1f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (uint8_t function : {36, 37, 38}) {
      SetUp();
      Put(kS, c.text);
      Args(Le(kS, 2) + Le(0xCCCCCCCCCCCCull, 6));
      Call(function);
      if (function == 36) {
        EXPECT_EQ(GuestInt32(kArgumentAddress), c.integer);
        EXPECT_EQ(GuestWord(kArgumentAddress + 4), 0xCCCC);
      } else if (function == 37) {
        EXPECT_EQ(int64_t(GuestQword(kArgumentAddress)), int64_t(c.integer));
      } else {
        EXPECT_EQ(GuestFloat(kArgumentAddress), c.real);
      }
      EXPECT_EQ(At(kS), c.text);
    }
  }
}

// A string that runs into the end of the data space ends at 0xFFFF, and writes are cut so that
// the terminator lands at 0xFFFF at the latest.
TEST_F(StringsServices, TopOfTheDataSpace) {
  struct Case {
    uint16_t address;
    const char* start;  // placed at `address`, unterminated when it reaches 0xFFFF
    uint8_t function;
    std::vector<uint8_t> args;  // from 0x62
    const char* after;
    int result;
  } cases[] = {
      {0xFFF0, "ABCDEFGHIJKLMNOP", 10, {'P'}, "ABCDEFGHIJKLMNO", 15},
      {0xFFF0, "ABCDEFGHIJKLMNOP", 11, {}, "PONMLKJIHGFEDCBA", kNoResult},
      {0xFFF0, "ABCDEFGHIJKLMNOP", 8, Le(2, 2) + Le(3, 2), "ABFGHIJKLMNOP", 13},
      {0xFFF0, "ABCDEFGHIJKLMNOP", 17, Le(0, 1) + Le(uint32_t(-7), 4), "ABCDEFGHIJKLMNOP", 16},
      {0xFFFC, "ab", 9, Le(0, 2) + Le('x', 1), "xab", 3},
      {0xFFFC, "xab", 9, Le(0, 2) + Le('y', 1), "xab", 3},
      {0xFFF8, "n=", 14, Le(64, 1) + Le(7, 8), "n=00000", 7},
      {0xFFFD, "", 17, Le(0, 1) + Le(uint32_t(-7), 4), "-7", 2},
      {0xFFFC, "", 16, Le(9, 1) + DoubleBytes(3.14159265), "3.1", 3},
      {0xFFFF, "", 3, kTArg, "", 0},
  };
  for (const Case& c : cases) {
    SetUp();
    const size_t length = std::strlen(c.start);
    std::memcpy(Machine.data + c.address, c.start, length);
    if (c.address + length < kGuestDataSize) Machine.data[c.address + length] = 0;
    Put(kT, "xyz");
    Args(Le(c.address, 2) + c.args);
    Call(c.function);
    SCOPED_TRACE("function " + std::to_string(c.function) + " at " + std::to_string(c.address));
    EXPECT_EQ(At(c.address), c.after);
    EXPECT_EQ(GuestWord(kArgumentAddress), c.result == kNoResult ? c.address : c.result);
    EXPECT_TRUE(GuardIntact());
  }
}

// Copy and append read their whole source before they write; the guest test covers a copy into
// its own tail and a string appended to itself.
TEST_F(StringsServices, OverlappingSourceAndDestination) {
  struct Case {
    uint8_t function;
    int source_offset;  // the destination is kS
    const char* after;
    int result;
  } cases[] = {{2, 2, "cdef", 4}, {3, 3, "abcdefdef", 9}, {3, 6, "abcdef", 6}};
  for (const Case& c : cases) {
    SetUp();
    Put(kS, "abcdef");
    Args(Le(kS, 2) + Le(kS + c.source_offset, 2));
    Call(c.function);
    EXPECT_EQ(At(kS), c.after) << int(c.function) << " " << c.source_offset;
    EXPECT_EQ(GuestWord(kArgumentAddress), c.result);
  }
}

// Random calls of every service on random text near the top of the data space: nothing may
// reach the guard bytes (and the sanitizers watch the host side).
TEST_F(StringsServices, RandomCallsStayInsideTheDataSpace) {
  uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  const char alphabet[] = {'a', '.', '\\', '(', ')', '=', ';', '-', '5', ' ', 'E', '\0'};
  for (int round = 0; round < 20000; ++round) {
    const uint32_t base = 0xFF80 + next() % 0x80;
    for (uint32_t a = 0xFF80; a < kGuestDataSize; ++a) {
      Machine.data[a] = uint8_t(alphabet[next() % (round % 3 == 0 ? 11 : 12)]);
    }
    std::vector<uint8_t> args = Le(base, 2) + Le(0xFF80 + next() % 0x80, 2);
    for (int i = 0; i < 8; ++i) args.push_back(uint8_t(next()));
    args[2 + next() % 10] = alphabet[next() % 12];
    Args(args);
    Machine.data[kStatusAddress] = kUntouchedStatus;
    Machine.data[kGroupAddress] = 5;
    Machine.data[kFunctionAddress] = uint8_t(1 + next() % 38);
    ServiceCall();
    ASSERT_TRUE(GuardIntact()) << "function " << int(Machine.data[kFunctionAddress]);
    ASSERT_EQ(Machine.data[kStatusAddress], kUntouchedStatus);
  }
}

}  // namespace
}  // namespace velmora
