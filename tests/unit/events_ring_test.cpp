// The event ring, the fetch, the event-pending byte and the vector and enable services.
#include <cstring>

#include "events_fixture.h"

namespace velmora {
namespace {

using EventsRing = EventsTest;

TEST_F(EventsRing, FetchDeliversTheWholeRecord) {
  std::memset(Machine.data + 0x20, 0x77, 0x26);
  SetHandler(kEventButtonDown, 0x1234);
  QueueEvent(kEventButtonDown, -5, 300);
  Service(11);
  uint8_t want[0x26] = {};
  want[0x10] = 0xFB, want[0x11] = 0xFF;  // x = -5
  want[0x12] = 0x2C, want[0x13] = 0x01;  // y = 300
  want[0x22] = kEventButtonDown;
  want[0x24] = 0x34, want[0x25] = 0x12;
  EXPECT_EQ(std::memcmp(Machine.data + 0x20, want, sizeof want), 0);
}

TEST_F(EventsRing, FetchesInQueuedOrderThenNothing) {
  for (uint16_t type : {8, 0, 3, 12}) QueueEvent(type);
  EXPECT_EQ(Count(), 4);
  for (int type : {8, 0, 3, 12}) EXPECT_EQ(Fetch(), type);
  // Nothing pending: the event area keeps its bytes and the pending byte reads 0.
  std::memset(Machine.data + 0x20, 0x77, 0x26);
  Machine.data[kEventPendingAddress] = 1;
  Service(11);
  for (int a = 0x20; a < 0x46; ++a) EXPECT_EQ(Machine.data[a], 0x77) << a;
  EXPECT_EQ(Machine.data[kEventPendingAddress], 0);
  EXPECT_EQ(Count(), 0);
}

TEST_F(EventsRing, SlotsAreReusedAcrossTheWrap) {
  // One at a time, 3000 events pass through the 1024 slots in order.
  for (int i = 0; i < 3000; ++i) {
    QueueEvent(kEventMouseMove, int16_t(i), int16_t(-i));
    ASSERT_EQ(Fetch(), kEventMouseMove);
    ASSERT_EQ(GuestInt16(0x30), int16_t(i));
    ASSERT_EQ(GuestInt16(0x32), int16_t(-i));
  }
  EXPECT_EQ(EventRing.read_index, 3000 % kEventRingSlots);
  EXPECT_EQ(EventRing.write_index, EventRing.read_index);
}

TEST_F(EventsRing, AtMost1022Pending) {
  for (int i = 0; i < 1030; ++i) QueueEvent(kEventTimer0, 0, 0);
  EXPECT_EQ(Count(), 1022);
  // The dropped events left no trace: 1022 fetches, then nothing.
  for (int i = 0; i < 1022; ++i) ASSERT_EQ(Fetch(), kEventTimer0);
  EXPECT_EQ(Fetch(), -1);
  // Room again after fetching: the ring wrapped and accepts new events.
  QueueEvent(kEventClose);
  EXPECT_EQ(Fetch(), kEventClose);
}

TEST_F(EventsRing, NonMouseEventsKeepTheSlotsPosition) {
  QueueEvent(kEventButtonUp, 41, 42);
  Fetch();
  Service(7, 19);  // clear: the next event lands in slot 1 again
  QueueEvent(kEventTimer0 + 2, 99, 99);
  EXPECT_EQ(Fetch(), kEventTimer0 + 2);
  EXPECT_EQ(GuestInt16(0x30), 41);
  EXPECT_EQ(GuestInt16(0x32), 42);
}

TEST_F(EventsRing, HandlerIsTakenWhenQueued) {
  SetHandler(kEventButtonDown, 0x0100);
  QueueEvent(kEventButtonDown, 1, 1);
  SetHandler(kEventButtonDown, 0x0200);
  QueueEvent(kEventButtonDown, 1, 1);
  Fetch();
  EXPECT_EQ(GuestWord(0x44), 0x0100);
  Fetch();
  EXPECT_EQ(GuestWord(0x44), 0x0200);
}

TEST_F(EventsRing, PendingByteFollowsTheIFlag) {
  struct Case {
    uint8_t i_flag;
    int queued;
    uint8_t after_wdr, after_fetch;
  };
  const Case cases[] = {
      {1, 0, 0, 0}, {1, 1, 1, 0}, {1, 2, 1, 1}, {0, 0, 0, 0}, {0, 1, 0, 0}, {0, 2, 0, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    Machine.flags.bit[kFlagI] = c.i_flag;
    Machine.data[kEventPendingAddress] = 0x55;
    for (int i = 0; i < c.queued; ++i) QueueEvent(kEventClose);
    Wdr();
    EXPECT_EQ(Machine.data[kEventPendingAddress], c.after_wdr) << int(c.i_flag) << c.queued;
    Service(11);
    EXPECT_EQ(Machine.data[kEventPendingAddress], c.after_fetch) << int(c.i_flag) << c.queued;
    // The fetch delivers whatever the I flag says.
    EXPECT_EQ(Count(), c.queued > 0 ? c.queued - 1 : 0);
  }
}

// 7.14 to 7.17: results replace only byte 0x60.
TEST_F(EventsRing, VectorAndEnableServices) {
  struct Step {
    uint8_t function;
    uint16_t type, handler;
    uint8_t result;
    uint8_t enabled_after;  // EventEnable of the type afterwards (types below 13)
  };
  const Step steps[] = {
      {14, 13, 0x100, 1, 0},  {14, 0xFFFF, 0x100, 1, 0}, {14, 3, 0, 2, 0},
      {15, 3, 0, 1, 0},       {17, 3, 0, 0, 0},          {14, 3, 0x345, 0, 1},
      {17, 3, 0, 1, 1},       {14, 3, 0, 2, 1},          {16, 3, 0, 0, 0},
      {17, 3, 0, 0, 0},       {15, 3, 0, 0, 1},          {16, 13, 0, 1, 0},
      {15, 13, 0, 1, 0},      {17, 13, 0, 0, 0},         {17, 0xFFFF, 0, 0, 0},
      {14, 12, 0xFFFF, 0, 1},
  };
  for (const Step& s : steps) {
    SetGuestWord(0x60, s.type);
    SetGuestWord(0x62, s.handler);
    Machine.data[kStatusAddress] = 0xA5;
    Service(7, s.function);
    EXPECT_EQ(Machine.data[0x60], s.result) << "7." << int(s.function) << " type " << s.type;
    EXPECT_EQ(Machine.data[0x61], uint8_t(s.type >> 8));
    EXPECT_EQ(Machine.data[kStatusAddress], 0xA5);
    if (s.type < kEventTypes) {
      EXPECT_EQ(EventEnable[s.type], s.enabled_after);
    }
  }
  EXPECT_EQ(HandlerVector[3], 0x345);
}

TEST_F(EventsRing, GroupsElevenToThirteenIgnoreTheFunctionByte) {
  Service(12, 0xFF);
  EXPECT_EQ(EventDeliveryOn, 1);
  Service(13, 0x42);
  EXPECT_EQ(EventDeliveryOn, 0);
  QueueEvent(kEventClose);
  SetGuestWord(0x42, 0xFFFF);
  Service(11, 0x99);
  EXPECT_EQ(GuestWord(0x42), kEventClose);
}

}  // namespace
}  // namespace velmora
