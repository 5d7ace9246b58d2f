// The window procedure behind the headless pump: mouse and close messages, destruction and the
// quit message, painting, and the scripted input that drives them.
#include <cstdio>
#include <string>

#include "events_fixture.h"

namespace velmora {
namespace {

using EventsWindow = EventsTest;

TEST_F(EventsWindow, MouseMessagesNeedDeliveryAndEnable) {
  struct Case {
    bool delivery, enabled;
    uint16_t queued;
  };
  const Case cases[] = {{false, false, 0}, {false, true, 0}, {true, false, 0}, {true, true, 4}};
  for (const Case& c : cases) {
    SetUp();
    if (c.delivery) Service(12);
    if (c.enabled) {
      for (uint16_t type = kEventButtonDown; type <= kEventMouseMove; ++type)
        SetHandler(type, 0x80);
    }
    Schedule(ScriptedAction::kMouseMove, 1, 2, 0);
    Schedule(ScriptedAction::kMouseDown, 3, 4, 0);
    Schedule(ScriptedAction::kMouseUp, 5, 6, 0);
    Schedule(ScriptedAction::kDoubleClick, 7, 8, 0);
    for (int i = 0; i < 4; ++i) Wdr();
    EXPECT_EQ(Count(), c.queued) << c.delivery << c.enabled;
    if (c.queued == 0) continue;
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
}

TEST_F(EventsWindow, ScriptedInputWaitsForItsTime) {
  Service(12);
  SetHandler(kEventButtonDown, 0x80);
  Schedule(ScriptedAction::kMouseDown, 1, 1, 30);
  Schedule(ScriptedAction::kMouseDown, 2, 2, 10);
  Schedule(ScriptedAction::kMouseDown, 3, 3, 10);  // same time: kept in the order given
  std::vector<std::pair<uint32_t, int16_t>> seen;
  while (HeadlessElapsed() < 40) {
    Wdr();
    if (Fetch() >= 0) seen.push_back({HeadlessElapsed(), GuestInt16(0x30)});
  }
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, int16_t>>{{10, 2}, {11, 3}, {30, 1}}));
  // The cursor is where the last scripted action left it, in screen coordinates.
  int32_t x, y;
  PlatformCursorPosition(&x, &y);
  PlatformRect outer;
  PlatformWindowRect(&outer);
  EXPECT_EQ(x, outer.left + kFrameLeft + 1);
  EXPECT_EQ(y, outer.top + kFrameTop + 1);
}

TEST_F(EventsWindow, CloseRequest) {
  struct Case {
    bool delivery, enabled, keep_open;
    uint16_t queued;
    bool window_after;
  };
  const Case cases[] = {
      {false, false, false, 0, false}, {true, true, false, 1, false}, {true, false, true, 0, true},
      {true, true, true, 1, true},     {false, true, true, 0, true},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.delivery) Service(12);
    if (c.enabled) SetHandler(kEventClose, 0x80);
    Machine.data[0x60] = c.keep_open ? 0 : 1;
    Service(7, 67);
    Schedule(ScriptedAction::kClose, 0, 0, 0);
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

// 7.66 destroys the window at once; input no longer reaches it, and the next pump (here a
// yield) takes the quit message.
TEST_F(EventsWindow, DestroyServiceEndsTheRunAtTheNextPump) {
  Service(12);
  SetHandler(kEventButtonDown, 0x80);
  Service(7, 66);
  EXPECT_FALSE(PlatformWindowExists());
  EXPECT_TRUE(HeadlessWindow().quit_posted);
  Service(7, 66);  // nothing left to destroy
  Schedule(ScriptedAction::kMouseDown, 1, 1, 0);
  EXPECT_EQ(Machine.quit, 0);
  Service(2);
  EXPECT_EQ(Machine.quit, 1);
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(HeadlessWindow().scheduled, 0u);
}

TEST_F(EventsWindow, RepaintsCoalesceAndComeAfterInput) {
  PlatformRequestRepaint();
  PlatformRequestRepaint();
  Schedule(ScriptedAction::kMouseMove, 1, 1, 0);
  EXPECT_EQ(PlatformPumpMessage(), PumpResult::kDispatched);  // the move
  EXPECT_EQ(HeadlessWindow().paints, 0u);
  EXPECT_EQ(PlatformPumpMessage(), PumpResult::kDispatched);  // the paint
  EXPECT_EQ(PlatformPumpMessage(), PumpResult::kNone);
  const HeadlessWindowInfo info = HeadlessWindow();
  EXPECT_EQ(info.repaint_requests, 2u);
  EXPECT_EQ(info.paints, 1u);
  EXPECT_EQ(info.dispatched, 2u);
}

TEST_F(EventsWindow, YieldSleepsThenPumpsOnce) {
  Service(12);
  SetHandler(kEventButtonDown, 0x80);
  Schedule(ScriptedAction::kMouseDown, 0, 0, 0);
  Schedule(ScriptedAction::kMouseDown, 0, 0, 0);
  Machine.data[kEventPendingAddress] = 0x55;
  Service(2, 0x33);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(HeadlessElapsed(), 2u);  // one millisecond asleep, one for the pump
  EXPECT_EQ(Machine.data[kEventPendingAddress], 0x55);
  EXPECT_EQ(Machine.data[kGroupAddress], 0);
}

TEST(EventsScript, ParsesEachAction) {
  struct Case {
    const char* line;
    bool ok;
    ScriptedAction action;
    int16_t x, y;
    uint32_t at;
  };
  const Case cases[] = {
      {"click 10,20@5", true, ScriptedAction::kClick, 10, 20, 5},
      {"down -3, 4 @ 100", true, ScriptedAction::kMouseDown, -3, 4, 100},
      {"down\t5,\t6\t@7", true, ScriptedAction::kMouseDown, 5, 6, 7},
      {"up 0,0", true, ScriptedAction::kMouseUp, 0, 0, 0},
      {"move 32767,-32768@4294967295", true, ScriptedAction::kMouseMove, 32767, -32768,
       4294967295u},
      {"double 1,2@3", true, ScriptedAction::kDoubleClick, 1, 2, 3},
      {"close@250", true, ScriptedAction::kClose, 0, 0, 250},
      {"close", true, ScriptedAction::kClose, 0, 0, 0},
      {"close 1,2@3", false, {}, 0, 0, 0},
      {"click 10@5", false, {}, 0, 0, 0},
      {"click 10,20@", false, {}, 0, 0, 0},
      {"click 10,20@-1", false, {}, 0, 0, 0},
      {"click 40000,1", false, {}, 0, 0, 0},
      {"click 1,2@4294967296", false, {}, 0, 0, 0},
      {"clicks 1,2", false, {}, 0, 0, 0},
      {"keydown 0x41@5", true, ScriptedAction::kKeyDown, 0x41, 0, 5},
      {"keyup Enter", true, ScriptedAction::kKeyUp, 0x0D, 0, 0},
      {"keydown f24 @ 9", true, ScriptedAction::kKeyDown, 0x87, 0, 9},
      {"keydown 256@1", false, {}, 0, 0, 0},
      {"keydown f25@1", false, {}, 0, 0, 0},
      {"keydownx@1", false, {}, 0, 0, 0},
      {"deactivate@7", true, ScriptedAction::kDeactivate, 0, 0, 7},
      {"activate 1,2@7", false, {}, 0, 0, 0},
      {"press 1,2", false, {}, 0, 0, 0},
      {"", false, {}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ScriptedInput input = {ScriptedAction::kMouseMove, 99, 99, 99};
    ASSERT_EQ(ParseScriptedInput(c.line, &input), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(input.action, c.action) << c.line;
    EXPECT_EQ(input.x, c.x) << c.line;
    EXPECT_EQ(input.y, c.y) << c.line;
    EXPECT_EQ(input.at, c.at) << c.line;
  }
}

TEST(EventsScript, FilesLoadWholeOrNotAtAll) {
  HeadlessReset();
  const std::string good = std::string(VELMORA_TEST_BINARY_DIR) + "/events_good.script";
  const std::string bad = std::string(VELMORA_TEST_BINARY_DIR) + "/events_bad.script";
  FILE* file = std::fopen(good.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("# clicks\n\nclick 1,2@10\r\n  close@20\n", file);
  std::fclose(file);
  file = std::fopen(bad.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("click 1,2@10\nclick one,two\n", file);
  std::fclose(file);

  std::string error;
  EXPECT_FALSE(HeadlessLoadScript(bad.c_str(), &error));
  EXPECT_NE(error.find(":2:"), std::string::npos) << error;
  EXPECT_EQ(HeadlessWindow().scheduled, 0u);
  EXPECT_TRUE(HeadlessLoadScript(good.c_str(), &error)) << error;
  EXPECT_EQ(HeadlessWindow().scheduled, 2u);
  EXPECT_FALSE(HeadlessLoadScript("/nonexistent/velmora.script", &error));
  EXPECT_FALSE(HeadlessLoadScript(VELMORA_TEST_BINARY_DIR, &error));
  HeadlessReset();
  std::remove(good.c_str());
  std::remove(bad.c_str());
}

}  // namespace
}  // namespace velmora
