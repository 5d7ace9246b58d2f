// WDR, yield and the event services: fetch (group 11), delivery on and off (groups 12, 13),
// handler vectors, enables, ring clearing and count, and the interval timers (group 7).
#include "core/hostcall.h"
#include "core/machine.h"
#include "host/events.h"
#include "host/host_services.h"
#include "host/run.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

namespace {

// One message from the pump. The quit message ends the run: the run loop stops on Machine.quit.
bool PumpOneMessage() {
  ++GuestPumps;
  if (PlatformPumpMessage() != PumpResult::kQuit) return true;
  Machine.quit = 1;
  return false;
}

uint16_t ArgumentType() {
  return GuestWord(kArgumentAddress);
}

// 7.14: the handler vector of a type, which enables it. Result at 0x60: 0, 1 bad type,
// 2 handler 0 (the enable stays as it was).
void SetEventHandler() {
  const uint16_t type = ArgumentType();
  const uint16_t handler = GuestWord(kArgumentAddress + 2);
  uint8_t result = 0;
  if (type >= kEventTypes) {
    result = 1;
  } else if (handler == 0) {
    result = 2;
  } else {
    HandlerVector[type] = handler;
    EventEnable[type] = 1;
  }
  SetGuestByte(kArgumentAddress, result);
}

// 7.15: enables a type that has a handler. Result 0, or 1 for a bad type or no handler.
void EnableEvent() {
  const uint16_t type = ArgumentType();
  const bool ok = type < kEventTypes && HandlerVector[type] != 0;
  if (ok) EventEnable[type] = 1;
  SetGuestByte(kArgumentAddress, ok ? 0 : 1);
}

// 7.16: disables a type. Result 0, or 1 for a bad type.
void DisableEvent() {
  const uint16_t type = ArgumentType();
  const bool ok = type < kEventTypes;
  if (ok) EventEnable[type] = 0;
  SetGuestByte(kArgumentAddress, ok ? 0 : 1);
}

// 7.17: 1 when the type is enabled; a type of 13 or more is never enabled.
void QueryEvent() {
  const uint16_t type = ArgumentType();
  SetGuestByte(kArgumentAddress, type < kEventTypes && EventEnable[type] ? 1 : 0);
}

// 7.19: discards every pending event.
void ClearEvents() {
  EventRing.count = 0;
  EventRing.read_index = 0;
  EventRing.write_index = 0;
}

// 7.20: the number of pending events.
void CountEvents() {
  SetGuestWord(kArgumentAddress, EventRing.count);
}

// 7.95: a timer's interval; the last firing and the enable stay. Status 0, or 1 for a bad timer.
void SetTimer() {
  const uint8_t timer = GuestByte(kArgumentAddress);
  if (timer >= kTimerCount) {
    SetStatus(1);
    return;
  }
  TimerTable[timer].interval = GuestDword(kArgumentAddress + 1);
  SetStatus(0);
}

// Group 2: sleep a millisecond, then handle at most one message.
void ServiceYield() {
  PlatformSleep(1);
  PumpOneMessage();
}

void ServiceFetchEvent() {
  FetchEvent();
}
void ServiceEventsOn() {
  EventDeliveryOn = 1;
}
void ServiceEventsOff() {
  EventDeliveryOn = 0;
}

const ServiceRow kEventServices[] = {
    {2, kAnyFunction, ServiceYield, "yield"},
    {7, 14, SetEventHandler, "set event handler"},
    {7, 15, EnableEvent, "enable event"},
    {7, 16, DisableEvent, "disable event"},
    {7, 17, QueryEvent, "query event"},
    {7, 19, ClearEvents, "clear events"},
    {7, 20, CountEvents, "count events"},
    {7, 95, SetTimer, "set timer"},
    {11, kAnyFunction, ServiceFetchEvent, "fetch event"},
    {12, kAnyFunction, ServiceEventsOn, "events on"},
    {13, kAnyFunction, ServiceEventsOff, "events off"},
};

}  // namespace

std::span<const ServiceRow> EventServiceRows() {
  return kEventServices;
}

// WDR: one message, the timers, the event-pending byte. When the pump meets the quit message
// the run ends at once, with pc still on this WDR.
void WatchdogStep() {
  if (!PumpOneMessage()) return;
  PollTimers();
  SetEventPendingByte();
  Machine.pc += 1;
}

}  // namespace velmora
