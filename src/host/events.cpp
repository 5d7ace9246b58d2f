#include "host/events.h"

#include <cstring>

#include "core/machine.h"
#include "platform/platform.h"
#include "services/guest.h"

namespace velmora {

EventRingState EventRing;
uint16_t HandlerVector[kEventTypes];
uint8_t EventEnable[kEventTypes];
uint8_t EventDeliveryOn;
TimerEntry TimerTable[kTimerCount];

namespace {

constexpr uint16_t kEventAreaAddress = 0x20;
constexpr uint16_t kEventAreaSize = 38;

uint16_t NextRingIndex(uint16_t index) {
  return uint16_t((index + 1) % kEventRingSlots);
}

bool IsMouseEvent(uint16_t type) {
  return type >= kEventButtonDown && type <= kEventMouseMove;
}

}  // namespace

void ResetTimers() {
  for (TimerEntry& timer : TimerTable) timer = {0xFFFFFFFFu, 0};
}

void ClearEventState() {
  std::memset(&EventRing, 0, sizeof EventRing);
  std::memset(HandlerVector, 0, sizeof HandlerVector);
  std::memset(EventEnable, 0, sizeof EventEnable);
  EventDeliveryOn = 0;
  KeepOpenOnClose = 0;
}

void QueueEvent(uint16_t type, int16_t x, int16_t y) {
  if (type >= kEventTypes || EventRing.count >= kMaxPendingEvents) return;
  ++EventRing.count;
  EventRing.write_index = NextRingIndex(EventRing.write_index);
  EventRecord& record = EventRing.slot[EventRing.write_index];
  record.type = type;
  record.handler = HandlerVector[type];
  if (IsMouseEvent(type)) {
    record.x = x;
    record.y = y;
  }
}

void PollTimers() {
  if (!EventDeliveryOn) return;
  const uint32_t now = PlatformTickCount();
  for (int k = 0; k < kTimerCount; ++k) {
    TimerEntry& timer = TimerTable[k];
    if (EventEnable[kEventTimer0 + k] && now - timer.last_fired >= timer.interval) {
      timer.last_fired = now;
      QueueEvent(uint16_t(kEventTimer0 + k));
    }
  }
}

void FetchEvent() {
  if (EventRing.count > 0) {
    --EventRing.count;
    EventRing.read_index = NextRingIndex(EventRing.read_index);
    const EventRecord& record = EventRing.slot[EventRing.read_index];
    std::memset(Machine.data + kEventAreaAddress, 0, kEventAreaSize);
    SetGuestWord(0x30, uint16_t(record.x));
    SetGuestWord(0x32, uint16_t(record.y));
    SetGuestWord(0x42, record.type);
    SetGuestWord(0x44, record.handler);
  }
  SetEventPendingByte();
}

void SetEventPendingByte() {
  Machine.data[kEventPendingAddress] = Machine.flags.bit[kFlagI] && EventRing.count > 0 ? 1 : 0;
}

}  // namespace velmora
