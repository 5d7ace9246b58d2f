// System services of group 7: date and time (on the guest's own clock), the tick counter,
// destroying the window and the close behaviour.
#include "host/system_services.h"

#include "host/events.h"
#include "host/host_services.h"
#include "platform/civil_date.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

int64_t GuestClockOffset = 0;

namespace {

using ReadClock = void (*)(PlatformDateTime*);

constexpr int64_t kMillisecondsPerDay = 86400000;

int64_t ToMilliseconds(const PlatformDateTime& time) {
  return DaysFromCivil(time.year, time.month, time.day) * kMillisecondsPerDay +
         ((int64_t(time.hour) * 60 + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

PlatformDateTime FromMilliseconds(int64_t milliseconds) {
  int64_t days = milliseconds / kMillisecondsPerDay;
  int64_t within = milliseconds % kMillisecondsPerDay;
  if (within < 0) {
    within += kMillisecondsPerDay;
    --days;
  }
  int64_t year, month, day;
  CivilFromDays(days, &year, &month, &day);
  PlatformDateTime time;
  time.year = uint16_t(year);
  time.month = uint8_t(month);
  time.day = uint8_t(day);
  time.weekday = uint8_t(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  time.hour = uint8_t(within / 3600000);
  time.minute = uint8_t(within / 60000 % 60);
  time.second = uint8_t(within / 1000 % 60);
  time.millisecond = uint16_t(within % 1000);
  return time;
}

// The host's clock moved by the guest's offset.
void GuestLocalTime(PlatformDateTime* time) {
  PlatformLocalTime(time);
  if (GuestClockOffset != 0) *time = FromMilliseconds(ToMilliseconds(*time) + GuestClockOffset);
}
void GuestUtcTime(PlatformDateTime* time) {
  PlatformUtcTime(time);
  if (GuestClockOffset != 0) *time = FromMilliseconds(ToMilliseconds(*time) + GuestClockOffset);
}

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
  WriteTimeRecord(GuestLocalTime);
}
void LocalTimeOfDay() {
  WriteTimeOfDay(GuestLocalTime);
}
void LocalDate() {
  WriteDate(GuestLocalTime);
}
void UtcDateTime() {
  WriteTimeRecord(GuestUtcTime);
}
void UtcTimeOfDay() {
  WriteTimeOfDay(GuestUtcTime);
}
void UtcDate() {
  WriteDate(GuestUtcTime);
}

// 7.31: sets the guest's clock from the time record at the pointer (its day of the week is not
// read). The host computer's clock stays as it is: the guest's runs ahead or behind it by the
// offset. A record that names no moment (month 13, 31 April, hour 24, ...) changes nothing, as
// the platform refuses it.
void SetLocalDateTime() {
  const uint32_t at = Pointer();
  const uint16_t year = GuestWord(at);
  const uint8_t month = GuestByte(at + 2);
  const uint8_t day = GuestByte(at + 3);
  const uint8_t hour = GuestByte(at + 5);
  const uint8_t minute = GuestByte(at + 6);
  const uint8_t second = GuestByte(at + 7);
  const uint16_t millisecond = GuestWord(at + 8);
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || hour > 23 ||
      minute > 59 || second > 59 || millisecond > 999) {
    return;
  }
  const PlatformDateTime wanted = {year, month, day, 0, hour, minute, second, millisecond};
  if (FromMilliseconds(ToMilliseconds(wanted)).day != day) return;  // no such day in the month
  PlatformDateTime host;
  PlatformLocalTime(&host);
  GuestClockOffset = ToMilliseconds(wanted) - ToMilliseconds(host);
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
    {7, 31, SetLocalDateTime, "set local date time"},
    {7, 66, DestroyWindow, "destroy window"},
    {7, 67, SetCloseBehaviour, "set close behaviour"},
};

}  // namespace

std::span<const ServiceRow> SystemServiceRows() {
  return kSystemServices;
}

}  // namespace velmora
