// Events and timers: the ring the window procedure and the timer poll fill, and the guest fetches.
#pragma once

#include <cstdint>

namespace velmora {

constexpr int kEventTypes = 13;
constexpr int kEventRingSlots = 1024;
// Two slots always stay free, so at most this many events wait.
constexpr int kMaxPendingEvents = 1022;
constexpr int kTimerCount = 8;

enum EventType : uint16_t {
  kEventClose = 0,
  kEventButtonDown = 1,
  kEventButtonUp = 2,
  kEventDoubleClick = 3,
  kEventMouseMove = 4,
  kEventTimer0 = 5,  // timer k expired: 5 + k
};

// One ring slot. The guest receives it at 0x20-0x45: x at 0x30, y at 0x32, type at 0x42,
// handler at 0x44, zeros elsewhere.
struct EventRecord {
  int16_t x, y;  // written by mouse events only
  uint16_t type;
  uint16_t handler;  // the type's handler vector when the event was queued
};

// Write and read index are advanced before the slot is used, so the first event lies in slot 1.
struct EventRingState {
  EventRecord slot[kEventRingSlots];
  uint16_t write_index, read_index;
  uint16_t count;
};

struct TimerEntry {
  uint32_t interval;    // milliseconds
  uint32_t last_fired;  // tick count of the last firing
};

extern EventRingState EventRing;
extern uint16_t HandlerVector[kEventTypes];
extern uint8_t EventEnable[kEventTypes];
extern uint8_t EventDeliveryOn;
extern TimerEntry TimerTable[kTimerCount];

// Window procedure state: while non-zero, a close request leaves the window open.
extern uint8_t KeepOpenOnClose;

// All eight timers to interval 0xFFFFFFFF and last firing 0, as at boot.
void ResetTimers();
// Empties the ring and clears vectors, enables, the master switch and KeepOpenOnClose: the
// state of a fresh process (the host itself never does this; tests do).
void ClearEventState();

// Queues an event of `type` (below kEventTypes) with the type's current handler; mouse events
// (types 1-4) also record x and y. Dropped when kMaxPendingEvents wait.
void QueueEvent(uint16_t type, int16_t x = 0, int16_t y = 0);
// Queues a timer event for every enabled timer whose interval has elapsed, at most one each.
void PollTimers();
// Removes the oldest event into data 0x20-0x45 (nothing copied when none waits) and sets the
// event-pending byte.
void FetchEvent();
// Data 0x46: 1 when the I flag is set and events wait, else 0.
void SetEventPendingByte();

}  // namespace velmora
