// Events, timers, the clock and the window procedure behind the headless pump, for what the
// event-loop guest (tests/guest/events) does not reach: the ring's limit, late and switched-off
// timers, the tick and date records, close requests in every setting, the gate's contract for
// calls without a service, and the parsers of --date and scripted input.
#include "host/events.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/hostcall.h"
#include "core/machine.h"
#include "host/host_services.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"

namespace velmora {
namespace {

class Events : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMachine();
    InstallAllServices();
    HeadlessReset();
    ClearEventState();
    ResetTimers();
    Machine.flags.bit[kFlagI] = 1;
  }
  void TearDown() override { HeadlessReset(); }

  static void Service(uint8_t group, uint8_t function = 0) {
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = group;
    ServiceCall();
  }
  // Executes a WDR instruction at pc.
  static void Wdr() {
    Machine.program[2 * Machine.pc] = 0xA8;
    Machine.program[2 * Machine.pc + 1] = 0x95;
    StepInstruction();
  }
  static void SetHandler(uint16_t type, uint16_t handler = 0x200) {
    SetGuestWord(0x60, type);
    SetGuestWord(0x62, handler);
    Service(7, 14);
  }
  static uint8_t SetTimer(uint8_t timer, uint32_t interval) {
    Machine.data[0x60] = timer;
    SetGuestDword(0x61, interval);
    Service(7, 95);
    return Machine.data[kStatusAddress];
  }
  static uint16_t Count() {
    Service(7, 20);
    return GuestWord(0x60);
  }
  // Fetches one event; returns its type, or -1 when nothing was delivered.
  static int Fetch() {
    SetGuestWord(0x42, 0xFFFF);
    Service(11);
    return GuestWord(0x42) == 0xFFFF ? -1 : GuestWord(0x42);
  }
  static void Schedule(ScriptedAction action, int16_t x, int16_t y) {
    HeadlessSchedule({action, x, y, 0});
  }
};

TEST_F(Events, RingHoldsAtMost1022AndDropsTheRest) {
  for (int round = 0; round < 3; ++round) {  // the ring wraps between rounds
    for (int i = 0; i < 1030; ++i) QueueEvent(kEventMouseMove, int16_t(i), int16_t(-i));
    EXPECT_EQ(Count(), kMaxPendingEvents);
    for (int i = 0; i < kMaxPendingEvents; ++i) {
      ASSERT_EQ(Fetch(), kEventMouseMove);
      ASSERT_EQ(GuestInt16(0x30), i);
      ASSERT_EQ(GuestInt16(0x32), -i);
    }
    EXPECT_EQ(Fetch(), -1) << "the dropped events left no trace";
  }
  // With nothing waiting, a fetch leaves the event area alone and clears the pending byte.
  std::memset(Machine.data + 0x20, 0x77, 0x26);
  Machine.data[kEventPendingAddress] = 1;
  Service(11);
  for (int a = 0x20; a < 0x46; ++a) EXPECT_EQ(Machine.data[a], 0x77) << a;
  EXPECT_EQ(Machine.data[kEventPendingAddress], 0);
}

TEST_F(Events, EventsKeepTheirSlotsPositionAndTheHandlerOfTheirTime) {
  SetHandler(kEventButtonDown, 0x100);
  QueueEvent(kEventButtonDown, 41, 42);
  SetHandler(kEventButtonDown, 0x200);
  EXPECT_EQ(Fetch(), kEventButtonDown);
  EXPECT_EQ(GuestWord(0x44), 0x100);
  Service(7, 19);  // cleared: the next event lands in slot 1 again, a timer keeps its position
  QueueEvent(kEventTimer0 + 2, 99, 99);
  EXPECT_EQ(Fetch(), kEventTimer0 + 2);
  EXPECT_EQ(GuestInt16(0x30), 41);
  EXPECT_EQ(GuestInt16(0x32), 42);
}

// When a timer fires on the virtual clock (each WDR is one millisecond): at the first poll after
// it is set up, then at the first poll at least an interval after its last firing, at most once
// per poll however late.
TEST_F(Events, TimerFirings) {
  const struct {
    uint8_t timer;
    uint32_t interval, late, until;  // late: milliseconds slept after the first WDR
    std::vector<uint32_t> want;
  } cases[] = {
      {3, 100, 0, 350, {1, 101, 201, 301}},
      {0, 10, 25, 60, {1, 27, 37, 47, 57}},  // the period counts from the late poll
      {1, 5, 1000, 1010, {1, 1002, 1007}},   // one firing for the late poll, not two hundred
      {7, 0, 0, 5, {1, 2, 3, 4, 5}},         // every poll
      {2, 0xFFFFFFFF, 0, 50, {}},            // as at boot: practically never
  };
  for (const auto& c : cases) {
    SetUp();
    Service(12);
    SetHandler(uint16_t(kEventTimer0 + c.timer));
    EXPECT_EQ(SetTimer(c.timer, c.interval), 0);
    std::vector<uint32_t> firings;
    while (HeadlessElapsed() < c.until) {
      Wdr();
      while (Count() > 0)
        if (Fetch() == kEventTimer0 + c.timer) firings.push_back(uint32_t(HeadlessElapsed()));
      if (HeadlessElapsed() == 1) PlatformSleep(c.late);
    }
    EXPECT_EQ(firings, c.want) << "interval " << c.interval;
  }
  EXPECT_EQ(SetTimer(8, 5), 1);
}

TEST_F(Events, TimersWaitForDeliveryAndEnableAndRunOnAFullRing) {
  SetTimer(2, 0);
  Wdr();
  EXPECT_EQ(Count(), 0) << "not enabled";
  SetHandler(kEventTimer0 + 2);
  Wdr();
  EXPECT_EQ(Count(), 0) << "delivery off: the poll does nothing";
  EXPECT_EQ(TimerTable[2].last_fired, 0u);
  Service(12);
  for (int i = 0; i < kMaxPendingEvents; ++i) QueueEvent(kEventClose);
  Wdr();
  EXPECT_EQ(Count(), kMaxPendingEvents);
  EXPECT_EQ(TimerTable[2].last_fired, PlatformTickCount()) << "it fired into a full ring";
}

// 7.11 to 7.13 on the virtual clock, which stands still between pumps.
TEST_F(Events, TickServices) {
  Service(7, 11);
  EXPECT_EQ(GuestDword(0x60), kDefaultVirtualClockStart);
  const struct {
    uint32_t delay, sleep;
    uint8_t want;
  } steps[] = {{0, 0, 1},      {0, 1, 2},       {1000, 0, 0},
               {1000, 999, 0}, {1000, 1000, 1}, {1000, 1001, 2}};
  for (const auto& s : steps) {
    SetGuestWord(0x60, 0x300);
    SetGuestDword(0x62, s.delay);
    Service(7, 12);
    EXPECT_EQ(GuestDword(0x300), PlatformTickCount() + s.delay);
    PlatformSleep(s.sleep);
    SetGuestWord(0x60, 0x300);
    Service(7, 13);
    EXPECT_EQ(Machine.data[0x60], s.want) << s.delay << " " << s.sleep;
  }
}

TEST_F(Events, DateAndTimeRecords) {
  PlatformDateTime start;
  ASSERT_TRUE(ParseDateTime("2024-03-05T14:07:09.250", &start));
  HeadlessSetDateTime(start);
  const std::vector<uint8_t> date = {0xE8, 0x07, 3, 5, 2}, time = {14, 7, 9};
  std::vector<uint8_t> both = date;
  both.insert(both.end(), time.begin(), time.end());
  both.insert(both.end(), {0xFA, 0});
  const std::vector<uint8_t> records[] = {{},   both, time, date, {1, 0, 0, 0, 0, 0, 0, 0},
                                          both, time, date};
  for (uint8_t function = 1; function <= 7; ++function) {
    std::memset(Machine.data + 0x400, 0xCC, 16);
    SetGuestWord(0x60, 0x400);
    Service(7, function);
    std::vector<uint8_t> want = records[function];
    want.push_back(0xCC);
    EXPECT_EQ(std::vector<uint8_t>(Machine.data + 0x400, Machine.data + 0x400 + want.size()), want)
        << "7." << int(function);
  }
  // The fixed clock moves with the virtual one: 750 ms and a day later, a Wednesday.
  PlatformSleep(750 + 86400000);
  Service(7, 1);
  const uint8_t later[] = {0xE8, 0x07, 3, 6, 3, 14, 7, 10, 0, 0};
  EXPECT_EQ(std::memcmp(Machine.data + 0x400, later, sizeof later), 0);
  // A record at the top of the data space puts its last bytes into the guard bytes.
  SetGuestWord(0x60, 0xFFFE);
  Service(7, 4);
  EXPECT_EQ(Machine.data[0xFFFE], 1);
  EXPECT_EQ(Machine.data[0xFFFF], 0);
  EXPECT_EQ(Machine.fault, 0);
}

TEST_F(Events, MouseMessagesNeedDeliveryAndEnable) {
  for (int setting = 0; setting < 4; ++setting) {
    SetUp();
    if (setting & 1) Service(12);
    if (setting & 2)
      for (uint16_t type = kEventButtonDown; type <= kEventMouseMove; ++type) SetHandler(type);
    Schedule(ScriptedAction::kMouseMove, 1, 2);
    Schedule(ScriptedAction::kMouseDown, 3, 4);
    Schedule(ScriptedAction::kMouseUp, 5, 6);
    Schedule(ScriptedAction::kDoubleClick, 7, 8);
    for (int i = 0; i < 4; ++i) Wdr();
    ASSERT_EQ(Count(), setting == 3 ? 4 : 0) << setting;
  }
  const int want[][3] = {{kEventMouseMove, 1, 2},
                         {kEventButtonDown, 3, 4},
                         {kEventButtonUp, 5, 6},
                         {kEventDoubleClick, 7, 8}};
  for (const auto& w : want) {
    EXPECT_EQ(Fetch(), w[0]);
    EXPECT_EQ(GuestInt16(0x30), w[1]);
    EXPECT_EQ(GuestInt16(0x32), w[2]);
  }
}

TEST_F(Events, CloseRequest) {
  const struct {
    bool delivery, enabled, keep_open;
    uint16_t queued;
    bool window_after;
  } cases[] = {
      {false, false, false, 0, false}, {true, true, false, 1, false}, {true, false, true, 0, true},
      {true, true, true, 1, true},     {false, true, true, 0, true},
  };
  for (const auto& c : cases) {
    SetUp();
    if (c.delivery) Service(12);
    if (c.enabled) SetHandler(kEventClose);
    Machine.data[0x60] = c.keep_open ? 0 : 1;
    Service(7, 67);
    Schedule(ScriptedAction::kClose, 0, 0);
    Machine.pc = 0x20;
    Wdr();
    EXPECT_EQ(Machine.pc, 0x21u);
    EXPECT_EQ(Count(), c.queued);
    EXPECT_EQ(PlatformWindowExists(), c.window_after);
    // The close event can still be fetched; the next pump takes the quit message, which stops
    // the run with pc on that WDR.
    EXPECT_EQ(Fetch(), c.queued ? kEventClose : -1);
    Machine.pc = 0x30;
    Wdr();
    EXPECT_EQ(Machine.quit, c.window_after ? 0 : 1);
    EXPECT_EQ(Machine.pc, c.window_after ? 0x31u : 0x30u);
  }
}

TEST_F(Events, YieldSleepsThenPumpsOnce) {
  Service(12);
  SetHandler(kEventButtonDown);
  Schedule(ScriptedAction::kMouseDown, 0, 0);
  Schedule(ScriptedAction::kMouseDown, 0, 0);
  Machine.data[kEventPendingAddress] = 0x55;
  Service(2, 0x33);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(HeadlessElapsed(), 2u);  // one millisecond asleep, one for the pump
  EXPECT_EQ(Machine.data[kEventPendingAddress], 0x55);
  EXPECT_EQ(Machine.data[kGroupAddress], 0);
}

// Groups without services, function 0 and the functions beyond each table, and groups above 13:
// pc moves past the BREAK, the group byte is cleared only for groups 0-13, nothing else changes.
TEST_F(Events, GateCallsWithoutAServiceChangeNothingElse) {
  const struct {
    uint8_t group;
    int first_idle;  // functions from here to 255 do nothing; function 0 always does nothing
  } cases[] = {{0, 1},  {1, 1},   {4, 1},  {6, 1},  {8, 1},   {10, 1}, {3, 80},
               {5, 39}, {7, 109}, {9, 29}, {14, 1}, {100, 1}, {255, 1}};
  for (uint32_t a = 0x20; a < 0x200; ++a) Machine.data[a] = uint8_t(a * 7 + 3);
  std::vector<uint8_t> before(Machine.data, Machine.data + kDataSpaceSize);
  for (const auto& c : cases) {
    for (int function = 0; function < 256; function = function ? function + 1 : c.first_idle) {
      Machine.pc = 0x1000;
      Service(c.group, uint8_t(function));
      EXPECT_EQ(Machine.pc, 0x1001u);
      before[kGroupAddress] = c.group < kServiceGroups ? 0 : c.group;
      before[kFunctionAddress] = uint8_t(function);
      ASSERT_EQ(std::memcmp(before.data(), Machine.data, kDataSpaceSize), 0)
          << int(c.group) << "." << function;
    }
  }
}

TEST_F(Events, EventAndTimeServicesLeaveTheStatusByte) {
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

TEST(EventsParsers, DatesAndScriptLines) {
  const struct {
    const char* text;
    int weekday;  // -1: refused
  } dates[] = {
      {"2024-03-05T14:07:09.250", 2},   {"2024-02-29 00:00:00", 4},  {"1970-01-01T00:00:00", 4},
      {"2000-01-01T23:59:59.999", 6},   {"2023-02-29T00:00:00", -1}, {"2024-13-01T00:00:00", -1},
      {"2024-03-05T24:00:00", -1},      {"2024-03-05T14:07", -1},    {"2024-03-05T14:07:09.", -1},
      {"2024-03-05T14:07:09.2500", -1}, {"1969-12-31T23:59:59", -1}, {"", -1},
      {"2024-03-05X14:07:09", -1},      {"2024-3-5T14:07:09", -1},
  };
  for (const auto& d : dates) {
    PlatformDateTime time;
    const bool ok = ParseDateTime(d.text, &time);
    EXPECT_EQ(ok ? time.weekday : -1, d.weekday) << d.text;
  }
  const std::pair<const char*, ScriptedInput> lines[] = {
      {"click 10,20@5", {ScriptedAction::kClick, 10, 20, 5}},
      {"down -3, 4 @ 100", {ScriptedAction::kMouseDown, -3, 4, 100}},
      {"down\t5,\t6\t@7", {ScriptedAction::kMouseDown, 5, 6, 7}},
      {"up 0,0", {ScriptedAction::kMouseUp, 0, 0, 0}},
      {"move 32767,-32768@4294967295", {ScriptedAction::kMouseMove, 32767, -32768, 4294967295u}},
      {"double 1,2@3", {ScriptedAction::kDoubleClick, 1, 2, 3}},
      {"close@250", {ScriptedAction::kClose, 0, 0, 250}},
      {"close", {ScriptedAction::kClose, 0, 0, 0}},
  };
  for (const auto& [line, want] : lines) {
    ScriptedInput input = {ScriptedAction::kMouseMove, 99, 99, 99};
    ASSERT_TRUE(ParseScriptedInput(line, &input)) << line;
    EXPECT_TRUE(input.action == want.action && input.x == want.x && input.y == want.y &&
                input.at == want.at)
        << line;
  }
  for (const char* line : {"close 1,2@3", "click 10@5", "click 10,20@", "click 10,20@-1",
                           "click 40000,1", "click 1,2@4294967296", "clicks 1,2", ""}) {
    ScriptedInput input;
    EXPECT_FALSE(ParseScriptedInput(line, &input)) << line;
  }
}

TEST(EventsParsers, ScriptFilesLoadWholeOrNotAtAll) {
  HeadlessReset();
  const std::string good = std::string(VELMORA_TEST_BINARY_DIR) + "/events_good.script";
  const std::string bad = std::string(VELMORA_TEST_BINARY_DIR) + "/events_bad.script";
  for (const auto& [path, text] : {std::pair{good, "# clicks\n\nclick 1,2@10\r\n  close@20\n"},
                                   std::pair{bad, "click 1,2@10\nclick one,two\n"}}) {
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
  }
  std::string error;
  EXPECT_FALSE(HeadlessLoadScript(bad.c_str(), &error));
  EXPECT_NE(error.find(":2:"), std::string::npos) << error;
  EXPECT_EQ(HeadlessWindow().scheduled, 0u);
  EXPECT_TRUE(HeadlessLoadScript(good.c_str(), &error)) << error;
  EXPECT_EQ(HeadlessWindow().scheduled, 2u);
  EXPECT_FALSE(HeadlessLoadScript(VELMORA_TEST_BINARY_DIR, &error));
  HeadlessReset();
  std::remove(good.c_str());
  std::remove(bad.c_str());
}

}  // namespace
}  // namespace velmora
