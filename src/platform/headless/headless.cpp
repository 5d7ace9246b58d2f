// The headless backend. The "window" is a few fields; its message queue holds scripted input
// that has come due, and the quit and paint requests are flags that the pump looks at after the
// queue, as a desktop message queue does.
#include "platform/headless/headless.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <deque>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_clock.h"

namespace velmora {

namespace {

constexpr int32_t kDefaultWidth = 240;
constexpr int32_t kDefaultHeight = 120;

struct HeadlessState {
  HeadlessClockMode clock_mode = HeadlessClockMode::kVirtual;
  uint32_t clock_start = kDefaultVirtualClockStart;
  uint64_t virtual_microseconds = 0;
  bool clock_read_since_wait = false;
  uint64_t real_start = 0;
  std::vector<ScriptedInput> schedule;  // from next_scheduled on: pending, in the order given
  size_t next_scheduled = 0;
  bool schedule_sorted = true;      // the pending part is in time order
  std::deque<ScriptedInput> queue;  // due messages, one per pump
  bool fixed_date = false;
  int64_t date_start = 0;  // milliseconds since 1970-01-01 00:00 of the fixed wall clock
  bool quit_posted = false;
  bool paint_pending = false;
  HeadlessWindowInfo window = {true, kDefaultWidth, kDefaultHeight, 0, 0, 0, 0, 0, false, 0, 0};
};

HeadlessState State;

void AdvanceVirtualClock(uint32_t milliseconds) {
  State.virtual_microseconds += uint64_t(milliseconds) * 1000;
  State.clock_read_since_wait = false;
}

// Moves every scheduled action whose time has come into the queue. A click becomes the two
// messages a real click produces.
void QueueDueInput() {
  if (!State.schedule_sorted) {
    // Stable, so that actions due at the same time keep the order they were given in.
    std::stable_sort(State.schedule.begin() + State.next_scheduled, State.schedule.end(),
                     [](const ScriptedInput& a, const ScriptedInput& b) { return a.at < b.at; });
    State.schedule_sorted = true;
  }
  const uint64_t now = HeadlessElapsed();
  while (State.next_scheduled < State.schedule.size() &&
         State.schedule[State.next_scheduled].at <= now) {
    ScriptedInput input = State.schedule[State.next_scheduled++];
    // A window that no longer exists receives nothing.
    if (!State.window.exists) continue;
    if (input.action == ScriptedAction::kClick) {
      input.action = ScriptedAction::kMouseDown;
      State.queue.push_back(input);
      input.action = ScriptedAction::kMouseUp;
    }
    State.queue.push_back(input);
  }
}

void Dispatch(const ScriptedInput& input) {
  ++State.window.dispatched;
  if (input.action != ScriptedAction::kClose) {
    State.window.cursor_x = input.x;
    State.window.cursor_y = input.y;
  }
  switch (input.action) {
    case ScriptedAction::kMouseMove:
      WindowMouseMove(input.x, input.y);
      break;
    case ScriptedAction::kMouseDown:
      WindowLeftButtonDown(input.x, input.y);
      break;
    case ScriptedAction::kMouseUp:
      WindowLeftButtonUp(input.x, input.y);
      break;
    case ScriptedAction::kDoubleClick:
      WindowLeftDoubleClick(input.x, input.y);
      break;
    case ScriptedAction::kClick:
      break;  // split into down and up when it came due
    case ScriptedAction::kClose:
      WindowCloseRequest();
      break;
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool ParseInt(std::string_view text, int64_t low, int64_t high, int64_t* value) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end && *value >= low && *value <= high;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  *month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  *year = year_of_era + era * 400 + (*month <= 2);
}

void FixedDateTime(PlatformDateTime* time) {
  const int64_t now = State.date_start + HeadlessElapsed();
  const int64_t days = now / 86400000;
  int64_t milliseconds = now % 86400000;
  int64_t year, month, day;
  CivilFromDays(days, &year, &month, &day);
  time->year = uint16_t(year);
  time->month = uint8_t(month);
  time->day = uint8_t(day);
  time->weekday = uint8_t((days + 4) % 7);  // 1970-01-01 was a Thursday
  time->hour = uint8_t(milliseconds / 3600000);
  milliseconds %= 3600000;
  time->minute = uint8_t(milliseconds / 60000);
  milliseconds %= 60000;
  time->second = uint8_t(milliseconds / 1000);
  time->millisecond = uint16_t(milliseconds % 1000);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Control

void HeadlessReset() {
  const HeadlessClockMode mode = State.clock_mode;
  State = HeadlessState();
  HeadlessSetClockMode(mode);
}

void HeadlessSetClockMode(HeadlessClockMode mode) {
  State.clock_mode = mode;
  State.real_start = PosixMonotonicMilliseconds();
  State.virtual_microseconds = 0;
  State.clock_read_since_wait = false;
}

void HeadlessSetClockStart(uint32_t tick) {
  State.clock_start = tick;
}

uint64_t HeadlessElapsed() {
  if (State.clock_mode == HeadlessClockMode::kReal) {
    return PosixMonotonicMilliseconds() - State.real_start;
  }
  return State.virtual_microseconds / 1000;
}

// Sorted when the pump next looks, so that long scripts in any order load in n log n.
void HeadlessSchedule(const ScriptedInput& input) {
  State.schedule.push_back(input);
  State.schedule_sorted = false;
}

bool ParseScriptedInput(std::string_view line, ScriptedInput* input) {
  struct Verb {
    std::string_view name;
    ScriptedAction action;
  };
  static constexpr Verb kVerbs[] = {
      {"click", ScriptedAction::kClick},        {"down", ScriptedAction::kMouseDown},
      {"up", ScriptedAction::kMouseUp},         {"move", ScriptedAction::kMouseMove},
      {"double", ScriptedAction::kDoubleClick}, {"close", ScriptedAction::kClose},
  };
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  const Verb* verb = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (line.substr(0, candidate.name.size()) == candidate.name) {
      verb = &candidate;
      break;
    }
  }
  if (verb == nullptr) return false;
  line.remove_prefix(verb->name.size());
  if (!line.empty() && !IsBlank(line.front()) && line.front() != '@') return false;

  ScriptedInput parsed = {verb->action, 0, 0, 0};
  std::string_view position = line;
  const size_t at = line.find('@');
  if (at != std::string_view::npos) {
    int64_t time;
    if (!ParseInt(line.substr(at + 1), 0, UINT32_MAX, &time)) return false;
    parsed.at = uint32_t(time);
    position = line.substr(0, at);
  }
  if (verb->action == ScriptedAction::kClose) {
    if (position.find_first_not_of(" \t") != std::string_view::npos) return false;
  } else {
    const size_t comma = position.find(',');
    int64_t x, y;
    if (comma == std::string_view::npos ||
        !ParseInt(position.substr(0, comma), -32768, 32767, &x) ||
        !ParseInt(position.substr(comma + 1), -32768, 32767, &y)) {
      return false;
    }
    parsed.x = int16_t(x);
    parsed.y = int16_t(y);
  }
  *input = parsed;
  return true;
}

bool HeadlessLoadScript(const char* path, std::string* error) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    *error = std::string("cannot open input script ") + path;
    return false;
  }
  std::vector<ScriptedInput> inputs;
  std::string line;
  int line_number = 0;
  bool ok = true;
  for (int c = 0; ok && c != EOF;) {
    line.clear();
    while ((c = std::fgetc(file)) != EOF && c != '\n') line += char(c);
    ++line_number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    ScriptedInput input;
    if (ParseScriptedInput(std::string_view(line).substr(first), &input)) {
      inputs.push_back(input);
    } else {
      *error = std::string(path) + ":" + std::to_string(line_number) + ": cannot read \"" +
               line.substr(first) + "\"";
      ok = false;
    }
  }
  // A directory opens, but reading it fails: that is no empty script.
  if (ok && std::ferror(file)) {
    *error = std::string("cannot read input script ") + path;
    ok = false;
  }
  std::fclose(file);
  if (!ok) return false;
  for (const ScriptedInput& input : inputs) HeadlessSchedule(input);
  return true;
}

void HeadlessSetDateTime(const PlatformDateTime& start) {
  State.fixed_date = true;
  State.date_start = DaysFromCivil(start.year, start.month, start.day) * 86400000 +
                     int64_t(start.hour) * 3600000 + int64_t(start.minute) * 60000 +
                     int64_t(start.second) * 1000 + start.millisecond - int64_t(HeadlessElapsed());
}

bool ParseDateTime(std::string_view text, PlatformDateTime* time) {
  // Fields: digits, the separator that must follow, and the allowed range.
  struct Field {
    int digits;
    const char* separators;
    int64_t low, high;
  };
  static constexpr Field kFields[] = {
      {4, "-", 1970, 9999}, {2, "-", 1, 12}, {2, "T ", 1, 31}, {2, ":", 0, 23},
      {2, ":", 0, 59},      {2, ".", 0, 59}, {3, "", 0, 999},
  };
  int64_t value[7] = {0, 0, 0, 0, 0, 0, 0};
  size_t at = 0;
  for (int i = 0; i < 7; ++i) {
    const Field& field = kFields[i];
    if (text.size() - at < size_t(field.digits)) return false;
    const std::string_view digits = text.substr(at, field.digits);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos ||
        !ParseInt(digits, field.low, field.high, &value[i])) {
      return false;
    }
    at += field.digits;
    if (at == text.size()) {
      if (i < 5) return false;
      break;  // milliseconds may be left out
    }
    if (field.separators[0] == 0 ||
        std::string_view(field.separators).find(text[at]) == std::string_view::npos) {
      return false;
    }
    ++at;
  }
  // The day must exist in its month.
  int64_t year, month, day;
  CivilFromDays(DaysFromCivil(value[0], value[1], value[2]), &year, &month, &day);
  if (day != value[2]) return false;
  *time = {uint16_t(value[0]), uint8_t(value[1]), uint8_t(value[2]), 0,
           uint8_t(value[3]),  uint8_t(value[4]), uint8_t(value[5]), uint16_t(value[6])};
  time->weekday = uint8_t((DaysFromCivil(value[0], value[1], value[2]) + 4) % 7);
  return true;
}

HeadlessWindowInfo HeadlessWindow() {
  HeadlessWindowInfo info = State.window;
  info.quit_posted = State.quit_posted;
  info.scheduled = uint32_t(State.schedule.size() - State.next_scheduled);
  return info;
}

// ---------------------------------------------------------------------------------------------
// Time

uint32_t PlatformTickCount() {
  if (State.clock_mode == HeadlessClockMode::kReal) return PosixTickCount();
  // A guest that waits for the clock without pumping reads it again and again: from the second
  // read after a pump or sleep on, each read costs a microsecond, so such a loop still ends.
  if (State.clock_read_since_wait) ++State.virtual_microseconds;
  State.clock_read_since_wait = true;
  return uint32_t(State.clock_start + HeadlessElapsed());
}

void PlatformSleep(uint32_t milliseconds) {
  if (State.clock_mode == HeadlessClockMode::kReal) {
    PosixSleep(milliseconds);
  } else {
    AdvanceVirtualClock(milliseconds);
  }
}

void PlatformLocalTime(PlatformDateTime* time) {
  if (State.fixed_date) {
    FixedDateTime(time);
  } else {
    PosixLocalTime(time);
  }
}

void PlatformUtcTime(PlatformDateTime* time) {
  if (State.fixed_date) {
    FixedDateTime(time);
  } else {
    PosixUtcTime(time);
  }
}

// ---------------------------------------------------------------------------------------------
// Window and message pump

PumpResult PlatformPumpMessage() {
  ++State.window.pumps;
  // Each pump is a millisecond of virtual time.
  if (State.clock_mode == HeadlessClockMode::kVirtual) AdvanceVirtualClock(1);
  QueueDueInput();
  if (!State.queue.empty()) {
    const ScriptedInput input = State.queue.front();
    State.queue.pop_front();
    Dispatch(input);
    return PumpResult::kDispatched;
  }
  if (State.quit_posted) {
    State.quit_posted = false;
    return PumpResult::kQuit;
  }
  if (State.paint_pending && State.window.exists) {
    State.paint_pending = false;
    ++State.window.paints;
    ++State.window.dispatched;
    WindowPaint();
    return PumpResult::kDispatched;
  }
  return PumpResult::kNone;
}

void PlatformPostQuit() {
  State.quit_posted = true;
}

void PlatformRequestRepaint() {
  if (!State.window.exists) return;
  ++State.window.repaint_requests;
  State.paint_pending = true;
}

void PlatformDestroyWindow() {
  if (!State.window.exists) return;
  WindowDestroy();
  State.window.exists = false;
  State.paint_pending = false;
  State.queue.clear();
}

bool PlatformWindowExists() {
  return State.window.exists;
}

void PlatformFitWindow(int32_t width, int32_t height) {
  if (!State.window.exists) return;
  State.window.width = width;
  State.window.height = height;
}

// The headless client area sits at the screen's origin, so client and screen positions agree.
void PlatformCursorPosition(int32_t* x, int32_t* y) {
  *x = State.window.cursor_x;
  *y = State.window.cursor_y;
}

}  // namespace velmora
