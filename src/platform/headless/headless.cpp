// The headless backend. The "window" is a few fields; its message queue holds scripted input
// that has come due, and the quit and paint requests are flags that the pump looks at after the
// queue, as a desktop message queue does.
#include "platform/headless/headless.h"

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
  uint32_t virtual_elapsed = 0;
  uint32_t real_start = 0;
  uint32_t pump_quantum = 1;
  std::vector<ScriptedInput> schedule;  // sorted by time, stable
  size_t next_scheduled = 0;
  std::deque<ScriptedInput> queue;  // due messages, one per pump
  bool quit_posted = false;
  bool paint_pending = false;
  HeadlessWindowInfo window = {true, kDefaultWidth, kDefaultHeight, 0, 0, 0, 0, 0, false, 0};
};

HeadlessState State;

void AdvanceVirtualClock(uint32_t milliseconds) {
  State.virtual_elapsed += milliseconds;
}

// Moves every scheduled action whose time has come into the queue. A click becomes the two
// messages a real click produces.
void QueueDueInput() {
  const uint32_t now = HeadlessElapsed();
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

bool ParseInt(std::string_view text, int64_t low, int64_t high, int64_t* value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end && *value >= low && *value <= high;
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
  State.real_start = PosixTickCount();
  State.virtual_elapsed = 0;
}

void HeadlessSetClockStart(uint32_t tick) {
  State.clock_start = tick;
}

void HeadlessSetPumpQuantum(uint32_t milliseconds) {
  State.pump_quantum = milliseconds;
}

uint32_t HeadlessElapsed() {
  if (State.clock_mode == HeadlessClockMode::kReal) return PosixTickCount() - State.real_start;
  return State.virtual_elapsed;
}

void HeadlessSchedule(const ScriptedInput& input) {
  auto position = State.schedule.end();
  while (position != State.schedule.begin() + State.next_scheduled &&
         (position - 1)->at > input.at) {
    --position;
  }
  State.schedule.insert(position, input);
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
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  const Verb* verb = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (line.substr(0, candidate.name.size()) == candidate.name) {
      verb = &candidate;
      break;
    }
  }
  if (verb == nullptr) return false;
  line.remove_prefix(verb->name.size());
  if (!line.empty() && line.front() != ' ' && line.front() != '@') return false;

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
    if (position.find_first_not_of(' ') != std::string_view::npos) return false;
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
  std::fclose(file);
  if (!ok) return false;
  for (const ScriptedInput& input : inputs) HeadlessSchedule(input);
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
  return State.clock_start + State.virtual_elapsed;
}

void PlatformSleep(uint32_t milliseconds) {
  if (State.clock_mode == HeadlessClockMode::kReal) {
    PosixSleep(milliseconds);
  } else {
    AdvanceVirtualClock(milliseconds);
  }
}

// ---------------------------------------------------------------------------------------------
// Window and message pump

PumpResult PlatformPumpMessage() {
  if (State.clock_mode == HeadlessClockMode::kVirtual) AdvanceVirtualClock(State.pump_quantum);
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
