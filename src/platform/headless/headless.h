// The headless backend: no window on screen, a virtual clock, and scripted input delivered
// through the same message pump a window would use. velmora-run and the tests drive it.
#pragma once

#include <cstdint>
#include <cstdio>
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
// the action happens (the cursor moves, the key goes down) at the first pump at or after that
// time, and its message reaches the window at that pump or, behind earlier messages, a later one.
enum class ScriptedAction {
  kMouseMove,
  kMouseDown,
  kMouseUp,
  kDoubleClick,
  kClick,
  kClose,
  kKeyDown,     // x holds the key
  kKeyUp,       // x holds the key
  kActivate,    // another window gave the keyboard back
  kDeactivate,  // another window became active
};

struct ScriptedInput {
  ScriptedAction action;
  int16_t x, y;  // client-area pixels; the key for key actions; unused otherwise
  uint32_t at;
};

// How long `key` and `type` hold each key down, and the pause between typed characters.
constexpr uint32_t kKeyHoldMilliseconds = 20;

// Back to a fresh backend: a window created minimized (100 x 100 at the screen's origin),
// shown and active, on a 1920 x 1080 screen; nothing queued or scheduled, no keys down, counters
// 0, virtual clock at its start, no host log.
void HeadlessReset();

void HeadlessSetClockMode(HeadlessClockMode mode);
// Restarts the clock: PlatformTickCount answers `tick` now (virtual mode only).
void HeadlessSetClockStart(uint32_t tick);
// Milliseconds since the start of the run.
uint64_t HeadlessElapsed();

// The primary screen of the virtual desktop.
void HeadlessSetScreenSize(int32_t width, int32_t height);
// The window's frame: outer size minus client size. Fixed, like a window that cannot be resized.
constexpr int32_t kFrameLeft = 5, kFrameRight = 5, kFrameTop = 28, kFrameBottom = 5;

// Adds an action to the schedule; actions due at the same time keep the order they were added.
void HeadlessSchedule(const ScriptedInput& input);
// Parses one timed action: "click X,Y@MS", "down X,Y@MS", "up X,Y@MS", "move X,Y@MS",
// "double X,Y@MS", "close@MS", "keydown KEY@MS", "keyup KEY@MS", "activate@MS" or
// "deactivate@MS" ("@MS" may be left out for time 0; spaces and tabs around the parts are
// allowed). Returns false for anything else.
bool ParseScriptedInput(std::string_view line, ScriptedInput* input);
// A key by its code (decimal or 0x hex, 0-255: "65" and "0x41" are A), by a single letter, or by
// name: enter,
// esc, space, tab, backspace, shift, ctrl, alt, lshift, rshift, lctrl, rctrl, lalt, ralt, left,
// right, up, down, home, end, pageup, pagedown, insert, delete, pause, capslock, numlock,
// scrolllock, f1-f24 (any case).
bool ParseKeyName(std::string_view text, uint8_t* key);
// A message box answer waiting for the next box (in the order queued).
void HeadlessQueueAnswer(MessageAnswer answer);
// Before the run: the key is down (and in the message state), or its toggle bit is set.
void HeadlessHoldKey(uint8_t key);
void HeadlessToggleKey(uint8_t key);

// One line of a script: a timed action above, or "key KEY@MS" (down, then up
// kKeyHoldMilliseconds later), "type TEXT@MS" (each character a key press on a US keyboard,
// Shift held where the character needs it, one every 2 * kKeyHoldMilliseconds), "answer
// ok|cancel|yes|no|none" (the answer to the next message box; without one a box is answered
// with its first button), "held KEY" (down before the run starts) or "toggled KEY" (toggled on
// before the run starts, as a lock). Returns false and leaves everything as it was when the
// line is none of these.
bool HeadlessScriptLine(std::string_view line);
// Schedules every line of a script file; blank lines and lines starting with '#' are skipped.
// On failure nothing is scheduled and `error` names the file and line.
bool HeadlessLoadScript(const char* path, std::string* error);

// Where the record of what the guest did to its host goes (title, window state and place,
// message boxes with their texts and answers, beeps, launches, injected keys, cursor display):
// one line each, "MS what", MS the run's milliseconds. nullptr: no record.
void HeadlessSetHostLog(FILE* log);

// What a test or the runner may want to know about the window and the desktop.
struct HeadlessWindowInfo {
  bool exists;
  bool visible, minimized, active, topmost, at_bottom;
  int32_t x, y, width, height;  // outer rectangle
  int32_t client_width, client_height;
  int32_t screen_width, screen_height;
  std::string title;
  uint32_t flashes;
  uint32_t repaint_requests;   // PlatformRequestRepaint calls
  uint32_t paints;             // paint messages dispatched
  uint32_t presents;           // pictures shown
  uint32_t dispatched;         // messages of any kind dispatched
  int32_t cursor_x, cursor_y;  // screen position: the window's client origin plus the last
                               // scripted mouse position
  int32_t cursor_count;        // the cursor's display counter
  bool quit_posted;
  uint32_t scheduled;  // scripted actions not yet due
  uint64_t pumps;      // PlatformPumpMessage calls
};
HeadlessWindowInfo HeadlessWindow();

}  // namespace velmora
