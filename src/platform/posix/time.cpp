// Wall-clock date and time, and the monotonic millisecond clock.
#include <time.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/system_clock.h"

namespace velmora {

namespace {

void FillDateTime(const struct tm& parts, long nanoseconds, PlatformDateTime* time) {
  time->year = uint16_t(parts.tm_year + 1900);
  time->month = uint8_t(parts.tm_mon + 1);
  time->day = uint8_t(parts.tm_mday);
  time->weekday = uint8_t(parts.tm_wday);
  time->hour = uint8_t(parts.tm_hour);
  time->minute = uint8_t(parts.tm_min);
  // A leap second shows as 59, as the platforms without leap seconds would report it.
  time->second = uint8_t(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  time->millisecond = uint16_t(nanoseconds / 1000000);
}

}  // namespace

void SystemLocalTime(PlatformDateTime* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm parts = {};
  localtime_r(&now.tv_sec, &parts);
  FillDateTime(parts, now.tv_nsec, time);
}

void SystemUtcTime(PlatformDateTime* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm parts = {};
  gmtime_r(&now.tv_sec, &parts);
  FillDateTime(parts, now.tv_nsec, time);
}

uint64_t SystemMonotonicMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
}

uint32_t SystemTickCount() {
  return uint32_t(SystemMonotonicMilliseconds());
}

void SystemSleep(uint32_t milliseconds) {
  struct timespec left = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace velmora
