// The headless backend. The "window" is a few fields on a virtual desktop; its message queue
// holds scripted input that has come due, and the quit and paint requests are flags that the pump
// looks at after the queue, as a desktop message queue does. Scripted input happens (cursor, key
// state) when it comes due and reaches the window when a pump takes its message.
#include "platform/headless/headless.h"

#include <algorithm>
#include <cstdarg>
#include <deque>
#include <vector>

#include "platform/civil_date.h"
#include "platform/key_state.h"
#include "platform/platform.h"
#include "platform/system_clock.h"
#include "platform/system_launch.h"

namespace velmora {

namespace {

constexpr int32_t kCreatedSide = 100;
constexpr int32_t kDefaultScreenWidth = 1920;
constexpr int32_t kDefaultScreenHeight = 1080;
constexpr uint8_t kLeftButtonKey = 0x01;

HeadlessWindowInfo CreatedWindow() {
  HeadlessWindowInfo window = {};
  window.exists = window.visible = window.minimized = window.active = true;
  window.width = window.height = kCreatedSide;
  window.screen_width = kDefaultScreenWidth;
  window.screen_height = kDefaultScreenHeight;
  return window;
}

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
  HeadlessWindowInfo window = CreatedWindow();
  KeyTables keys = {};
  std::deque<MessageAnswer> answers;
  FILE* log = nullptr;
};

HeadlessState State;

void AdvanceVirtualClock(uint32_t milliseconds) {
  State.virtual_microseconds += uint64_t(milliseconds) * 1000;
  State.clock_read_since_wait = false;
}

// ---------------------------------------------------------------------------------------------
// The host log

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  if (State.log == nullptr) return;
  fprintf(State.log, "%llu ", static_cast<unsigned long long>(HeadlessElapsed()));
  va_list arguments;
  va_start(arguments, format);
  vfprintf(State.log, format, arguments);
  va_end(arguments);
  fputc('\n', State.log);
}

// A text between double quotes: quotes and backslashes escaped, control bytes as \xNN, the rest
// (UTF-8) as it is, so that every record stays on one line.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// ---------------------------------------------------------------------------------------------
// Scripted input

void ClientOrigin(int32_t* x, int32_t* y) {
  *x = State.window.x + kFrameLeft;
  *y = State.window.y + kFrameTop;
}

bool IsMouseAction(ScriptedAction action) {
  return action == ScriptedAction::kMouseMove || action == ScriptedAction::kMouseDown ||
         action == ScriptedAction::kMouseUp || action == ScriptedAction::kDoubleClick ||
         action == ScriptedAction::kClick;
}

// What happens at the moment the user acts: the cursor moves, buttons and keys change their
// asynchronous state.
void Happen(const ScriptedInput& input) {
  if (IsMouseAction(input.action)) {
    int32_t x, y;
    ClientOrigin(&x, &y);
    State.window.cursor_x = x + input.x;
    State.window.cursor_y = y + input.y;
  }
  switch (input.action) {
    case ScriptedAction::kMouseDown:
    case ScriptedAction::kDoubleClick:
      KeyHappened(&State.keys, kLeftButtonKey, true);
      break;
    case ScriptedAction::kMouseUp:
      KeyHappened(&State.keys, kLeftButtonKey, false);
      break;
    case ScriptedAction::kClick:
      KeyHappened(&State.keys, kLeftButtonKey, true);
      KeyHappened(&State.keys, kLeftButtonKey, false);
      break;
    case ScriptedAction::kKeyDown:
      KeyHappened(&State.keys, uint8_t(input.x), true);
      break;
    case ScriptedAction::kKeyUp:
      KeyHappened(&State.keys, uint8_t(input.x), false);
      break;
    default:
      break;
  }
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
    Happen(input);
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
  switch (input.action) {
    case ScriptedAction::kMouseMove:
      WindowMouseMove(input.x, input.y);
      break;
    case ScriptedAction::kMouseDown:
      KeyMessageTaken(&State.keys, kLeftButtonKey, true);
      WindowLeftButtonDown(input.x, input.y);
      break;
    case ScriptedAction::kMouseUp:
      KeyMessageTaken(&State.keys, kLeftButtonKey, false);
      WindowLeftButtonUp(input.x, input.y);
      break;
    case ScriptedAction::kDoubleClick:
      KeyMessageTaken(&State.keys, kLeftButtonKey, true);
      WindowLeftDoubleClick(input.x, input.y);
      break;
    case ScriptedAction::kClick:
      break;  // split into down and up when it came due
    case ScriptedAction::kClose:
      WindowCloseRequest();
      break;
    case ScriptedAction::kKeyDown:
    case ScriptedAction::kKeyUp:
      // Keys go to the active window; another window's keys leave this one's state alone.
      if (State.window.active)
        KeyMessageTaken(&State.keys, uint8_t(input.x), input.action == ScriptedAction::kKeyDown);
      break;
    case ScriptedAction::kActivate:
      State.window.active = true;
      break;
    case ScriptedAction::kDeactivate:
      State.window.active = false;
      break;
  }
}

void FixedDateTime(PlatformDateTime* time) {
  const int64_t now = State.date_start + int64_t(HeadlessElapsed());
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

const char* AnswerName(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::kOk:
      return "ok";
    case MessageAnswer::kCancel:
      return "cancel";
    case MessageAnswer::kYes:
      return "yes";
    case MessageAnswer::kNo:
      return "no";
    case MessageAnswer::kNone:
      break;
  }
  return "none";
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
  State.real_start = SystemMonotonicMilliseconds();
  State.virtual_microseconds = 0;
  State.clock_read_since_wait = false;
}

void HeadlessSetClockStart(uint32_t tick) {
  State.clock_start = tick;
}

uint64_t HeadlessElapsed() {
  if (State.clock_mode == HeadlessClockMode::kReal) {
    return SystemMonotonicMilliseconds() - State.real_start;
  }
  return State.virtual_microseconds / 1000;
}

void HeadlessSetScreenSize(int32_t width, int32_t height) {
  State.window.screen_width = width;
  State.window.screen_height = height;
}

// Sorted when the pump next looks, so that long scripts in any order load in n log n.
void HeadlessSchedule(const ScriptedInput& input) {
  State.schedule.push_back(input);
  State.schedule_sorted = false;
}

void HeadlessQueueAnswer(MessageAnswer answer) {
  State.answers.push_back(answer);
}

void HeadlessHoldKey(uint8_t key) {
  KeyHappened(&State.keys, key, true);
  KeyMessageTaken(&State.keys, key, true);
  // Held since before the run: no press to report to the first query.
  std::fill(std::begin(State.keys.async_pressed), std::end(State.keys.async_pressed), false);
}

void HeadlessToggleKey(uint8_t key) {
  State.keys.message_state[key] ^= 1;
}

void HeadlessSetHostLog(FILE* log) {
  State.log = log;
}

void HeadlessSetDateTime(const PlatformDateTime& start) {
  State.fixed_date = true;
  State.date_start = DaysFromCivil(start.year, start.month, start.day) * 86400000 +
                     int64_t(start.hour) * 3600000 + int64_t(start.minute) * 60000 +
                     int64_t(start.second) * 1000 + start.millisecond - int64_t(HeadlessElapsed());
}

HeadlessWindowInfo HeadlessWindow() {
  HeadlessWindowInfo info = State.window;
  const int32_t client_width = info.width - kFrameLeft - kFrameRight;
  const int32_t client_height = info.height - kFrameTop - kFrameBottom;
  info.client_width = client_width > 0 ? client_width : 0;
  info.client_height = client_height > 0 ? client_height : 0;
  info.quit_posted = State.quit_posted;
  info.scheduled = uint32_t(State.schedule.size() - State.next_scheduled);
  return info;
}

// ---------------------------------------------------------------------------------------------
// Time

uint32_t PlatformTickCount() {
  if (State.clock_mode == HeadlessClockMode::kReal) return SystemTickCount();
  // A guest that waits for the clock without pumping reads it again and again: from the second
  // read after a pump or sleep on, each read costs a microsecond, so such a loop still ends.
  if (State.clock_read_since_wait) ++State.virtual_microseconds;
  State.clock_read_since_wait = true;
  return uint32_t(State.clock_start + HeadlessElapsed());
}

void PlatformSleep(uint32_t milliseconds) {
  if (State.clock_mode == HeadlessClockMode::kReal) {
    SystemSleep(milliseconds);
  } else {
    AdvanceVirtualClock(milliseconds);
  }
}

void PlatformLocalTime(PlatformDateTime* time) {
  if (State.fixed_date) {
    FixedDateTime(time);
  } else {
    SystemLocalTime(time);
  }
}

void PlatformUtcTime(PlatformDateTime* time) {
  if (State.fixed_date) {
    FixedDateTime(time);
  } else {
    SystemUtcTime(time);
  }
}

// ---------------------------------------------------------------------------------------------
// Window and message pump

bool PlatformCreateWindow() {
  if (!State.window.exists) {
    const HeadlessWindowInfo old = State.window;
    State.window = CreatedWindow();
    State.window.screen_width = old.screen_width;
    State.window.screen_height = old.screen_height;
  }
  return true;
}

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
  Log("destroy");
  WindowDestroy();
  State.window.exists = State.window.visible = State.window.active = false;
  State.paint_pending = false;
  State.queue.clear();
}

bool PlatformWindowExists() {
  return State.window.exists;
}

bool PlatformCloseWaiting() {
  QueueDueInput();
  return std::any_of(State.queue.begin(), State.queue.end(), [](const ScriptedInput& input) {
    return input.action == ScriptedAction::kClose;
  });
}

void PlatformInterrupt() {}

void PlatformPresent(const uint32_t*, int32_t, int32_t, int32_t) {
  if (State.window.exists) ++State.window.presents;
}

void PlatformShowWindow() {
  if (!State.window.exists) return;
  State.window.visible = State.window.active = true;
  Log("show");
}

void PlatformHideWindow() {
  if (!State.window.exists) return;
  State.window.visible = State.window.active = false;
  Log("hide");
}

void PlatformMinimizeWindow() {
  if (!State.window.exists) return;
  State.window.minimized = true;
  State.window.active = false;
  Log("minimize");
}

void PlatformRestoreWindow() {
  if (!State.window.exists) return;
  State.window.minimized = false;
  State.window.visible = State.window.active = true;
  Log("restore");
}

bool PlatformIsMinimized() {
  return State.window.exists && State.window.minimized;
}

bool PlatformIsActive() {
  return State.window.exists && State.window.active;
}

void PlatformSetTitle(const char* title) {
  if (!State.window.exists) return;
  State.window.title = title;
  Log("title %s", Quoted(title).c_str());
}

void PlatformFlashWindow() {
  if (!State.window.exists) return;
  ++State.window.flashes;
  Log("flash");
}

// A minimized window keeps reporting its normal place and size.
void PlatformWindowRect(PlatformRect* outer) {
  if (!State.window.exists) {
    *outer = {0, 0, 0, 0};
    return;
  }
  const HeadlessWindowInfo& w = State.window;
  *outer = {w.x, w.y, w.x + w.width, w.y + w.height};
}

void PlatformClientSize(int32_t* width, int32_t* height) {
  const HeadlessWindowInfo info = HeadlessWindow();
  *width = info.exists ? info.client_width : 0;
  *height = info.exists ? info.client_height : 0;
}

void PlatformMoveWindow(int32_t x, int32_t y) {
  if (!State.window.exists) return;
  State.window.x = x;
  State.window.y = y;
  Log("move %d,%d", x, y);
}

void PlatformPlaceWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!State.window.exists) return;
  State.window.x = x;
  State.window.y = y;
  State.window.width = width;
  State.window.height = height;
  State.window.at_bottom = false;
  Log("place %d,%d %dx%d", x, y, width, height);
}

void PlatformSetWindowOrder(WindowOrder order) {
  if (!State.window.exists) return;
  HeadlessWindowInfo& w = State.window;
  switch (order) {
    case WindowOrder::kBottom:
      // The bottom is below every topmost window, so the window gives up being topmost.
      w.at_bottom = true;
      w.topmost = false;
      Log("order bottom");
      break;
    case WindowOrder::kTop:
      w.at_bottom = false;
      Log("order top");
      break;
    case WindowOrder::kNotTopmost:
      w.topmost = false;
      Log("order not-topmost");
      break;
    case WindowOrder::kTopmost:
      w.topmost = true;
      w.at_bottom = false;
      Log("order topmost");
      break;
  }
}

void PlatformScreenSize(int32_t* width, int32_t* height) {
  *width = State.window.screen_width;
  *height = State.window.screen_height;
}

// ---------------------------------------------------------------------------------------------
// Keyboard and mouse cursor

bool PlatformKeyboardState(uint8_t state[256]) {
  std::copy(std::begin(State.keys.message_state), std::end(State.keys.message_state), state);
  return true;
}

PlatformKeyState PlatformAsyncKeyState(uint8_t key) {
  QueueDueInput();
  return AsyncKeyQuery(&State.keys, key);
}

bool PlatformInjectKey(uint8_t key, bool up) {
  Log("inject %s 0x%02X", up ? "up" : "down", key);
  KeyHappened(&State.keys, key, !up);
  if (State.window.exists) {
    State.queue.push_back({up ? ScriptedAction::kKeyUp : ScriptedAction::kKeyDown, int16_t(key), 0,
                           uint32_t(HeadlessElapsed())});
  }
  return true;
}

void PlatformCursorPosition(int32_t* x, int32_t* y) {
  QueueDueInput();
  *x = State.window.cursor_x;
  *y = State.window.cursor_y;
}

int32_t PlatformShowCursor(bool show) {
  State.window.cursor_count = StepCursorCount(State.window.cursor_count, show);
  Log("cursor %s %d", show ? "show" : "hide", State.window.cursor_count);
  return State.window.cursor_count;
}

// ---------------------------------------------------------------------------------------------
// Message boxes, sound and programs

MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons) {
  struct ButtonSet {
    const char* name;
    MessageAnswer first;
    uint8_t offered;  // bit per answer
  };
  const auto bit = [](MessageAnswer answer) { return uint8_t(1u << int(answer)); };
  const ButtonSet sets[] = {
      {"ok", MessageAnswer::kOk, bit(MessageAnswer::kOk)},
      {"ok-cancel", MessageAnswer::kOk,
       uint8_t(bit(MessageAnswer::kOk) | bit(MessageAnswer::kCancel))},
      {"yes-no", MessageAnswer::kYes, uint8_t(bit(MessageAnswer::kYes) | bit(MessageAnswer::kNo))},
      {"yes-no-cancel", MessageAnswer::kYes,
       uint8_t(bit(MessageAnswer::kYes) | bit(MessageAnswer::kNo) | bit(MessageAnswer::kCancel))},
  };
  const ButtonSet& set = sets[int(buttons)];
  MessageAnswer answer = MessageAnswer::kNone;
  if (State.window.exists) {
    answer = set.first;
    if (!State.answers.empty()) {
      answer = State.answers.front();
      State.answers.pop_front();
    }
    // A button the box does not have cannot be pressed: as closing the box without an answer.
    if ((set.offered & bit(answer)) == 0) answer = MessageAnswer::kNone;
  }
  Log("messagebox %s %s %s -> %s", set.name, Quoted(caption).c_str(), Quoted(text).c_str(),
      State.window.exists ? AnswerName(answer) : "none (no window)");
  return answer;
}

void PlatformBeep(uint32_t frequency, uint32_t duration) {
  Log("beep %u %u", frequency, duration);
  PlatformSleep(duration);
}

LaunchResult PlatformLaunch(const char* command_line, bool show) {
  const LaunchResult result = SystemLaunch(command_line, show);
  static constexpr const char* kNames[] = {"started",    "not-found",     "path-not-found",
                                           "bad-format", "access-denied", "no-resources"};
  Log("launch%s %s -> %s", show ? "" : " hidden", Quoted(command_line).c_str(),
      kNames[int(result)]);
  return result;
}

}  // namespace velmora
