// System services of group 7: date and time, the tick counter, destroying the window and the
// close behaviour.
#include "host/events.h"
#include "host/host_services.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

namespace {

using ReadClock = void (*)(PlatformDateTime*);

uint16_t Pointer() {
  return GuestWord(kArgumentAddress);
}

// Year, month, day of the month, day of the week, hour, minute, second, milliseconds: ten
// bytes. Day of the month comes before day of the week.
void WriteTimeRecord(ReadClock read) {
  PlatformDateTime now;
  read(&now);
  const uint32_t at = Pointer();
  SetGuestWord(at, now.year);
  SetGuestByte(at + 2, now.month);
  SetGuestByte(at + 3, now.day);
  SetGuestByte(at + 4, now.weekday);
  SetGuestByte(at + 5, now.hour);
  SetGuestByte(at + 6, now.minute);
  SetGuestByte(at + 7, now.second);
  SetGuestWord(at + 8, now.millisecond);
}

// Hour, minute, second.
void WriteTimeOfDay(ReadClock read) {
  PlatformDateTime now;
  read(&now);
  const uint32_t at = Pointer();
  SetGuestByte(at, now.hour);
  SetGuestByte(at + 1, now.minute);
  SetGuestByte(at + 2, now.second);
}

// Year, month, day of the month, day of the week.
void WriteDate(ReadClock read) {
  PlatformDateTime now;
  read(&now);
  const uint32_t at = Pointer();
  SetGuestWord(at, now.year);
  SetGuestByte(at + 2, now.month);
  SetGuestByte(at + 3, now.day);
  SetGuestByte(at + 4, now.weekday);
}

void LocalDateTime() {
  WriteTimeRecord(PlatformLocalTime);
}
void LocalTimeOfDay() {
  WriteTimeOfDay(PlatformLocalTime);
}
void LocalDate() {
  WriteDate(PlatformLocalTime);
}
void UtcDateTime() {
  WriteTimeRecord(PlatformUtcTime);
}
void UtcTimeOfDay() {
  WriteTimeOfDay(PlatformUtcTime);
}
void UtcDate() {
  WriteDate(PlatformUtcTime);
}

// 7.4: the 64-bit value 1 at the pointer.
void WriteOne() {
  SetGuestQword(Pointer(), 1);
}

// 7.11: the millisecond tick count.
void TickCount() {
  SetGuestDword(kArgumentAddress, PlatformTickCount());
}

// 7.12: a deadline, tick count + delay, at the pointer.
void SetDeadline() {
  SetGuestDword(Pointer(), PlatformTickCount() + GuestDword(kArgumentAddress + 2));
}

// 7.13: compares the tick count with the value at the pointer: 0 below, 1 equal, 2 above.
void CompareDeadline() {
  const uint32_t now = PlatformTickCount();
  const uint32_t deadline = GuestDword(Pointer());
  SetGuestByte(kArgumentAddress, now < deadline ? 0 : now == deadline ? 1 : 2);
}

// 7.66: destroys the window; the run ends at the next pump.
void DestroyWindow() {
  PlatformDestroyWindow();
}

// 7.67: 0 keeps the window open on a close request, anything else lets a close request destroy it.
void SetCloseBehaviour() {
  KeepOpenOnClose = GuestByte(kArgumentAddress) == 0 ? 1 : 0;
}

const ServiceRow kSystemServices[] = {
    {7, 1, LocalDateTime, "local date time"},
    {7, 2, LocalTimeOfDay, "local time of day"},
    {7, 3, LocalDate, "local date"},
    {7, 4, WriteOne, "write one"},
    {7, 5, UtcDateTime, "UTC date time"},
    {7, 6, UtcTimeOfDay, "UTC time of day"},
    {7, 7, UtcDate, "UTC date"},
    {7, 11, TickCount, "tick count"},
    {7, 12, SetDeadline, "set deadline"},
    {7, 13, CompareDeadline, "compare deadline"},
    {7, 66, DestroyWindow, "destroy window"},
    {7, 67, SetCloseBehaviour, "set close behaviour"},
};

}  // namespace

std::span<const ServiceRow> SystemServiceRows() {
  return kSystemServices;
}

}  // namespace velmora
