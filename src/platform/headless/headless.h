// The headless backend: no window on screen, a virtual clock, and scripted input delivered
// through the same message pump a window would use. velmora-run and the tests drive it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace velmora {

// Virtual: 1 ms per pump, the duration of every sleep, and a microsecond for every clock read
// after the first since the last pump or sleep; runs are exactly repeatable.
// Real: the platform's monotonic clock and real sleeps.
enum class HeadlessClockMode { kVirtual, kReal };

// The tick count the virtual clock starts from: as if the host had been up for 1000 seconds, so
// that timers whose last firing is still 0 fire at once, as they do on a long-running host.
constexpr uint32_t kDefaultVirtualClockStart = 1000000;

// Fixes the wall clock: local time and UTC both read `start` at the start of the run and move
// with the backend's clock (a fixed clock has no time zone). The weekday is worked out.
void HeadlessSetDateTime(const PlatformDateTime& start);
// Parses "YYYY-MM-DDTHH:MM:SS" with an optional ".mmm" (a space may stand for the T), years
// 1970 to 9999. Returns false for anything else, including impossible dates.
bool ParseDateTime(std::string_view text, PlatformDateTime* time);

// One user action. `at` counts milliseconds from the start of the run on the backend's clock;
// the action reaches the window procedure at the first pump at or after that time.
enum class ScriptedAction { kMouseMove, kMouseDown, kMouseUp, kDoubleClick, kClick, kClose };

struct ScriptedInput {
  ScriptedAction action;
  int16_t x, y;  // client-area pixels; unused by kClose
  uint32_t at;
};

// Back to a fresh backend: window present (240 x 120), nothing queued or scheduled, counters
// 0, virtual clock at its start.
void HeadlessReset();

void HeadlessSetClockMode(HeadlessClockMode mode);
// Restarts the clock: PlatformTickCount answers `tick` now (virtual mode only).
void HeadlessSetClockStart(uint32_t tick);
// Milliseconds since the start of the run.
uint64_t HeadlessElapsed();

// Adds an action to the schedule; actions due at the same time keep the order they were added.
void HeadlessSchedule(const ScriptedInput& input);
// Parses one script line: "click X,Y@MS", "down X,Y@MS", "up X,Y@MS", "move X,Y@MS",
// "double X,Y@MS" or "close@MS" ("@MS" may be left out for time 0; spaces and tabs around the
// parts are allowed). Returns false for anything else.
bool ParseScriptedInput(std::string_view line, ScriptedInput* input);
// Schedules every line of a script file; blank lines and lines starting with '#' are skipped.
// On failure nothing is scheduled and `error` names the file and line.
bool HeadlessLoadScript(const char* path, std::string* error);

// What a test or the runner may want to know about the window.
struct HeadlessWindowInfo {
  bool exists;
  int32_t width, height;       // the last size given by PlatformFitWindow
  uint32_t repaint_requests;   // PlatformRequestRepaint calls
  uint32_t paints;             // paint messages dispatched
  uint32_t dispatched;         // messages of any kind dispatched
  int32_t cursor_x, cursor_y;  // the last scripted mouse position
  bool quit_posted;
  uint32_t scheduled;  // scripted actions not yet delivered or dropped
  uint64_t pumps;      // PlatformPumpMessage calls
};
HeadlessWindowInfo HeadlessWindow();

}  // namespace velmora
