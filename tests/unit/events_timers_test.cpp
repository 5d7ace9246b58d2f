// The interval timers on the headless virtual clock (one millisecond per pump), and the clock
// and tick services.
#include <vector>

#include "events_fixture.h"

namespace velmora {
namespace {

class EventsTimers : public EventsTest {
 protected:
  void SetUp() override {
    EventsTest::SetUp();
    Service(12);  // delivery on
  }

  // Runs WDRs until `elapsed` milliseconds of the run have passed; returns the elapsed times
  // at which an event of `type` was queued.
  static std::vector<uint32_t> FiringsUntil(uint32_t elapsed, uint16_t type) {
    std::vector<uint32_t> firings;
    while (HeadlessElapsed() < elapsed) {
      Wdr();
      while (Count() > 0) {
        if (Fetch() == type) firings.push_back(HeadlessElapsed());
      }
    }
    return firings;
  }
};

// When a timer fires, on the virtual clock (each WDR is one millisecond): at the first poll
// after it is set up, then at the first poll at least an interval after its last firing, at most
// once per poll however late.
TEST_F(EventsTimers, Firings) {
  struct Case {
    uint8_t timer;
    uint32_t interval;
    uint32_t late;  // milliseconds slept after the first WDR
    uint32_t until;
    std::vector<uint32_t> want;
  };
  const Case cases[] = {
      {3, 100, 0, 350, {1, 101, 201, 301}},
      {0, 10, 25, 60, {1, 27, 37, 47, 57}},  // the period counts from the late poll
      {1, 5, 1000, 1010, {1, 1002, 1007}},   // one firing for the late poll, not two hundred
      {7, 0, 0, 5, {1, 2, 3, 4, 5}},         // every poll
      {2, 0xFFFFFFFF, 0, 50, {}},            // as at boot: practically never
  };
  for (const Case& c : cases) {
    SetUp();
    const uint16_t type = uint16_t(kEventTimer0 + c.timer);
    SetHandler(type, 0x200);
    EXPECT_EQ(SetTimer(c.timer, c.interval), 0);
    std::vector<uint32_t> firings = FiringsUntil(1, type);
    PlatformSleep(c.late);
    for (uint32_t at : FiringsUntil(c.until, type)) firings.push_back(at);
    EXPECT_EQ(firings, c.want) << "interval " << c.interval;
  }
}

TEST_F(EventsTimers, TimersFireInIndexOrder) {
  for (uint8_t k : {6, 2, 4}) {
    SetHandler(kEventTimer0 + k, 0x200);
    SetTimer(k, 50);
  }
  Wdr();
  for (int type : {kEventTimer0 + 2, kEventTimer0 + 4, kEventTimer0 + 6}) EXPECT_EQ(Fetch(), type);
}

TEST_F(EventsTimers, NothingWithoutDeliveryOrEnable) {
  SetTimer(2, 0);
  Wdr();  // enable missing
  EXPECT_EQ(Count(), 0);
  SetHandler(kEventTimer0 + 2, 0x200);
  Service(13);
  Wdr();  // delivery off: the poll does nothing, not even advance the timer
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(TimerTable[2].last_fired, 0u);
}

TEST_F(EventsTimers, AdvancesEvenWhenTheRingIsFull) {
  for (int i = 0; i < kMaxPendingEvents; ++i) QueueEvent(kEventClose);
  SetHandler(kEventTimer0, 0x200);
  SetTimer(0, 10);
  Wdr();
  EXPECT_EQ(Count(), kMaxPendingEvents);
  EXPECT_EQ(TimerTable[0].last_fired, PlatformTickCount());
}

TEST_F(EventsTimers, SetTimerStatusAndBounds) {
  TimerTable[4].last_fired = 77;
  EXPECT_EQ(SetTimer(4, 0x12345678), 0);
  EXPECT_EQ(TimerTable[4].interval, 0x12345678u);
  EXPECT_EQ(TimerTable[4].last_fired, 77u);
  EXPECT_EQ(EventEnable[kEventTimer0 + 4], 0);
  EXPECT_EQ(SetTimer(8, 5), 1);
  EXPECT_EQ(SetTimer(255, 5), 1);
  for (const TimerEntry& timer : TimerTable) {
    if (&timer != &TimerTable[4]) {
      EXPECT_EQ(timer.interval, 0xFFFFFFFFu);
    }
  }
}

// 7.11 to 7.13 on the virtual clock, which stands still between pumps.
TEST_F(EventsTimers, TickServices) {
  Service(7, 11);
  EXPECT_EQ(GuestDword(0x60), kDefaultVirtualClockStart);
  struct Step {
    uint32_t delay;
    uint32_t sleep_before_compare;
    uint8_t want;
  };
  const Step steps[] = {{0, 0, 1},      {0, 1, 2},       {1000, 0, 0},
                        {1000, 999, 0}, {1000, 1000, 1}, {1000, 1001, 2}};
  for (const Step& s : steps) {
    SetGuestWord(0x60, 0x300);
    SetGuestDword(0x62, s.delay);
    Service(7, 12);
    EXPECT_EQ(GuestDword(0x300), PlatformTickCount() + s.delay);
    PlatformSleep(s.sleep_before_compare);
    SetGuestWord(0x60, 0x300);
    Service(7, 13);
    EXPECT_EQ(Machine.data[0x60], s.want) << s.delay << " " << s.sleep_before_compare;
  }
}

TEST_F(EventsTimers, DateAndTimeRecords) {
  PlatformDateTime start;
  ASSERT_TRUE(ParseDateTime("2024-03-05T14:07:09.250", &start));
  HeadlessSetDateTime(start);
  struct Case {
    uint8_t function;
    std::vector<uint8_t> want;
  };
  const Case cases[] = {
      {1, {0xE8, 0x07, 0x03, 0x05, 0x02, 0x0E, 0x07, 0x09, 0xFA, 0x00}},
      {2, {0x0E, 0x07, 0x09}},
      {3, {0xE8, 0x07, 0x03, 0x05, 0x02}},
      {4, {1, 0, 0, 0, 0, 0, 0, 0}},
      {5, {0xE8, 0x07, 0x03, 0x05, 0x02, 0x0E, 0x07, 0x09, 0xFA, 0x00}},
      {6, {0x0E, 0x07, 0x09}},
      {7, {0xE8, 0x07, 0x03, 0x05, 0x02}},
  };
  for (const Case& c : cases) {
    for (uint32_t a = 0x400; a < 0x410; ++a) Machine.data[a] = 0xCC;
    SetGuestWord(0x60, 0x400);
    Service(7, c.function);
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(Machine.data[0x400 + i], c.want[i]) << "7." << int(c.function) << " byte " << i;
    }
    EXPECT_EQ(Machine.data[0x400 + c.want.size()], 0xCC) << "7." << int(c.function);
  }
  // The fixed clock moves with the virtual one: 750 ms later it is the next second, and a day
  // later a Wednesday.
  PlatformSleep(750 + 86400000);
  SetGuestWord(0x60, 0x400);
  Service(7, 1);
  const uint8_t later[] = {0xE8, 0x07, 0x03, 0x06, 0x03, 0x0E, 0x07, 0x0A, 0x00, 0x00};
  for (size_t i = 0; i < sizeof later; ++i) EXPECT_EQ(Machine.data[0x400 + i], later[i]) << i;
}

TEST_F(EventsTimers, TimeRecordAtTheTopStaysInTheGuardBytes) {
  SetGuestWord(0x60, 0xFFFE);
  Service(7, 1);
  Service(7, 4);
  EXPECT_EQ(Machine.fault, 0);
  // The 64-bit 1, its last six bytes in the guard.
  EXPECT_EQ(Machine.data[0xFFFE], 1);
  for (uint32_t a = 0xFFFF; a < 0xFFFE + 8; ++a) EXPECT_EQ(Machine.data[a], 0) << a;
}

TEST(EventsDateParse, AcceptsOnlyRealDates) {
  struct Case {
    const char* text;
    bool ok;
    uint8_t weekday;
  };
  const Case cases[] = {
      {"2024-03-05T14:07:09.250", true, 2}, {"2024-02-29 00:00:00", true, 4},
      {"1970-01-01T00:00:00", true, 4},     {"2000-01-01T23:59:59.999", true, 6},
      {"2023-02-29T00:00:00", false, 0},    {"2024-13-01T00:00:00", false, 0},
      {"2024-03-05T24:00:00", false, 0},    {"2024-03-05T14:07", false, 0},
      {"2024-03-05T14:07:09.", false, 0},   {"2024-03-05T14:07:09.2500", false, 0},
      {"1969-12-31T23:59:59", false, 0},    {"", false, 0},
      {"2024-03-05X14:07:09", false, 0},    {"2024-3-5T14:07:09", false, 0},
  };
  for (const Case& c : cases) {
    PlatformDateTime time;
    EXPECT_EQ(ParseDateTime(c.text, &time), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(time.weekday, c.weekday) << c.text;
    }
  }
}

}  // namespace
}  // namespace velmora
