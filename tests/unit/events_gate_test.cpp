// The service gate's contract as the guest sees it: pc and the group byte after every kind of
// call, and calls that must change nothing else.
#include <cstring>
#include <vector>

#include "events_fixture.h"

namespace velmora {
namespace {

using EventsGate = EventsTest;

// Groups without services, function 0 and the functions beyond each table, and groups above 13:
// pc moves past the BREAK, the group byte is cleared only for groups 0-13, and no other data byte
// changes.
TEST_F(EventsGate, CallsWithoutAServiceChangeNothingElse) {
  struct Case {
    uint8_t group;
    int first_idle;  // functions from here to 255 do nothing; function 0 always does nothing
  };
  const Case cases[] = {{0, 0},  {1, 0},   {4, 0},  {6, 0},  {8, 0},   {10, 0}, {3, 80},
                        {5, 39}, {7, 109}, {9, 29}, {14, 0}, {100, 0}, {255, 0}};
  for (uint32_t a = 0x20; a < 0x200; ++a) Machine.data[a] = uint8_t(a * 7 + 3);
  std::vector<uint8_t> before(Machine.data, Machine.data + kDataSpaceSize);
  for (const Case& c : cases) {
    std::vector<int> functions = {0};
    for (int f = c.first_idle > 0 ? c.first_idle : 1; f < 256; ++f) functions.push_back(f);
    for (int function : functions) {
      Machine.pc = 0x1000;
      Service(c.group, uint8_t(function));
      EXPECT_EQ(Machine.pc, 0x1001u);
      EXPECT_EQ(Machine.data[kGroupAddress], c.group < kServiceGroups ? 0 : c.group);
      EXPECT_EQ(Machine.data[kFunctionAddress], function);
      before[kGroupAddress] = Machine.data[kGroupAddress];
      before[kFunctionAddress] = Machine.data[kFunctionAddress];
      ASSERT_EQ(std::memcmp(before.data(), Machine.data, kDataSpaceSize), 0)
          << int(c.group) << "." << function;
    }
  }
}

TEST_F(EventsGate, EventAndTimeServicesLeaveTheStatusByte) {
  // Every service here writes no status; 7.95 is the one that does.
  const uint8_t calls[][2] = {{2, 0},  {11, 0}, {12, 0}, {13, 0}, {7, 1},  {7, 2},  {7, 3},
                              {7, 4},  {7, 5},  {7, 6},  {7, 7},  {7, 11}, {7, 12}, {7, 13},
                              {7, 14}, {7, 15}, {7, 16}, {7, 17}, {7, 19}, {7, 20}, {7, 67}};
  for (const auto& call : calls) {
    SetGuestWord(0x60, 0x300);
    Machine.data[kStatusAddress] = 0x5C;
    Service(call[0], call[1]);
    EXPECT_EQ(Machine.data[kStatusAddress], 0x5C) << int(call[0]) << "." << int(call[1]);
  }
}

}  // namespace
}  // namespace velmora
