#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/hostcall.h"
#include "core/machine.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"

namespace velmora {
namespace {

constexpr uint16_t kS = 0x300;  // first string argument
constexpr uint16_t kT = 0x400;  // second string argument
constexpr uint8_t kUntouchedStatus = 0xA5;

class StringsServices : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallAllServices(); }
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

std::vector<uint8_t> DoubleBytes(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  return Le(bits, 8);
}

const std::vector<uint8_t> kTArg = Le(kT, 2);
constexpr int kNoResult = -1;

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
