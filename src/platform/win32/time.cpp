// Wall-clock date and time and the millisecond tick count, from KERNEL32.
#include <windows.h>

#include "platform/platform.h"
#include "platform/system_clock.h"

namespace velmora {

namespace {

// SYSTEMTIME already has the record's fields, the weekday counted from Sunday.
void FillDateTime(const SYSTEMTIME& parts, PlatformDateTime* time) {
  time->year = parts.wYear;
  time->month = uint8_t(parts.wMonth);
  time->day = uint8_t(parts.wDay);
  time->weekday = uint8_t(parts.wDayOfWeek);
  time->hour = uint8_t(parts.wHour);
  time->minute = uint8_t(parts.wMinute);
  time->second = uint8_t(parts.wSecond);
  time->millisecond = parts.wMilliseconds;
}

}  // namespace

void SystemLocalTime(PlatformDateTime* time) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FillDateTime(now, time);
}

void SystemUtcTime(PlatformDateTime* time) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  FillDateTime(now, time);
}

uint64_t SystemMonotonicMilliseconds() {
  return GetTickCount64();
}

uint32_t SystemTickCount() {
  return GetTickCount();
}

void SystemSleep(uint32_t milliseconds) {
  Sleep(milliseconds);
}

}  // namespace velmora
