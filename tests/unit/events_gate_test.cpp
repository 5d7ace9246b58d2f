// The service gate's contract as the guest sees it: pc and the group byte after every kind of
// call, and calls that must change nothing else.
#include <cstring>
#include <memory>

#include "events_fixture.h"

namespace velmora {
namespace {

using EventsGate = EventsTest;

// Counts the data bytes a call changed, other than the group and function bytes it was made with.
class DataSnapshot {
 public:
  DataSnapshot() : copy_(new uint8_t[kDataSpaceSize]) {
    std::memcpy(copy_.get(), Machine.data, kDataSpaceSize);
  }
  int ChangedBytesBesidesTheCall() const {
    int changed = 0;
    for (uint32_t a = 0; a < kDataSpaceSize; ++a) {
      if (a == kGroupAddress || a == kFunctionAddress) continue;
      if (copy_[a] != Machine.data[a]) ++changed;
    }
    return changed;
  }

 private:
  std::unique_ptr<uint8_t[]> copy_;
};

void FillArguments() {
  for (uint32_t a = 0x20; a < 0x200; ++a) Machine.data[a] = uint8_t(a * 7 + 3);
}

TEST_F(EventsGate, GroupsWithoutServicesOnlyClearTheGroupByte) {
  for (uint8_t group : {0, 1, 4, 6, 8, 10}) {
    for (int function = 0; function < 256; function += 17) {
      FillArguments();
      Machine.pc = 0x40;
      DataSnapshot before;
      Service(group, uint8_t(function));
      EXPECT_EQ(Machine.pc, 0x41u) << int(group);
      EXPECT_EQ(Machine.data[kGroupAddress], 0) << int(group);
      EXPECT_EQ(before.ChangedBytesBesidesTheCall(), 0) << int(group) << "." << function;
    }
  }
}

TEST_F(EventsGate, GroupsAboveThirteenLeaveEverything) {
  for (int group = 14; group < 256; ++group) {
    FillArguments();
    Machine.pc = 0x1000;
    DataSnapshot before;
    Service(uint8_t(group), 1);
    EXPECT_EQ(Machine.pc, 0x1001u);
    EXPECT_EQ(Machine.data[kGroupAddress], group);
    EXPECT_EQ(before.ChangedBytesBesidesTheCall(), 0) << group;
  }
}

TEST_F(EventsGate, FunctionsOutsideTheTablesDoNothing) {
  struct Range {
    uint8_t group;
    int first;  // first function beyond the table
  };
  for (const Range& r : {Range{3, 80}, Range{5, 39}, Range{7, 109}, Range{9, 29}}) {
    for (int function = r.first; function < 256; ++function) {
      FillArguments();
      DataSnapshot before;
      const uint32_t pc = Machine.pc;
      Service(r.group, uint8_t(function));
      EXPECT_EQ(Machine.pc, pc + 1);
      EXPECT_EQ(Machine.data[kGroupAddress], 0);
      EXPECT_EQ(Machine.data[kFunctionAddress], function);
      EXPECT_EQ(before.ChangedBytesBesidesTheCall(), 0) << int(r.group) << "." << function;
    }
  }
  // Function 0 of each table as well.
  for (uint8_t group : {3, 5, 7, 9}) {
    FillArguments();
    DataSnapshot before;
    Service(group, 0);
    EXPECT_EQ(before.ChangedBytesBesidesTheCall(), 0) << int(group);
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
    EXPECT_EQ(Machine.data[kGroupAddress], 0);
  }
  for (int function = 1; function < 29; ++function) {
    Machine.data[kStatusAddress] = 0x5C;
    Service(9, uint8_t(function));
    EXPECT_EQ(Machine.data[kStatusAddress], 0x5C) << "9." << function;
  }
}

}  // namespace
}  // namespace velmora
