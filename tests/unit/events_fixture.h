// A fresh machine, event state and headless backend for the event tests, and the guest's ways
// in: service calls through the gate and real WDR instructions.
#pragma once

#include <gtest/gtest.h>

#include "core/dispatch.h"
#include "core/hostcall.h"
#include "core/machine.h"
#include "host/events.h"
#include "host/host_services.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"

namespace velmora {

class EventsTest : public ::testing::Test {
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

  static uint8_t SetHandler(uint16_t type, uint16_t handler) {
    SetGuestWord(0x60, type);
    SetGuestWord(0x62, handler);
    Service(7, 14);
    return Machine.data[0x60];
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
    const uint16_t type = GuestWord(0x42);
    return type == 0xFFFF ? -1 : type;
  }

  static void Schedule(ScriptedAction action, int16_t x, int16_t y, uint32_t at) {
    HeadlessSchedule({action, x, y, at});
  }
};

}  // namespace velmora
