// The host's run lifecycle, shared by velmora-run and the desktop program: start-up with the boot
// report, the run loop, and the end of a run, which always goes through the window's destruction
// so that files and serial ports a guest left open are closed and nothing it wrote is lost.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/engine.h"

namespace velmora {

enum class BootOutcome {
  kReady,           // loaded, first instruction fine, host tables and machine reset
  kLoadFailed,      // BootLoadCode holds the loader's code (1 when no program was found)
  kBadInstruction,  // the program's first byte lies outside 0x0C..0xFC
  kNoSandbox,       // RequestedSandbox names a directory that cannot be used: nothing runs
};

// The loader's result of the last boot, 1 when there was no program to load.
extern uint8_t BootLoadCode;
// When set, every boot report line is also written to stderr (velmora-run sets it).
extern bool EchoBootReport;

// The start-up of one run: service tables, canvas and window size, random seed, then the boot
// report on the screen while the program at `program_path` (nullptr: none found) is loaded; the
// working directory becomes the program's directory, and the guest's files are confined to
// RequestedSandbox (io/sandbox.h), or when that is empty to the environment's VELMORA_SANDBOX,
// when either names a directory. On kReady the file slots, timers and machine are reset and the
// guest can run.
BootOutcome StartHost(const char* program_path, uint32_t seed);

// Draws the boot report that StartHost wrote to stderr (when asked) but left for later: drawing it
// needs the platform's system font, whose set-up is most of the start-up. It is drawn, once, at
// the first moment something may look at the screen: before the first service call, the first
// paint, or a screenshot; a guest that only computes never pays for it.
void ShowBootReport();

// The seed the desktop program uses: local time's seconds and milliseconds, the cursor position
// (y times 256) and the tick count, summed.
uint32_t StartSeed();

// The desktop program's way to find its program when given no path: "<stem>.hex" in the working
// directory, else the first line of "<stem>.path" there, where stem is the executable's name
// without directory and extension. With a command line: the text between the first double quote
// and the next one, or the whole line without quotes. Returns false when nothing was found or the
// .path file cannot be read; an empty first line is the (empty) path.
bool FindProgramPath(const char* command_line, std::string* path);

// The engine RunHost runs the guest on: the JIT unless a program sets it otherwise
// (velmora-run's --engine, the desktop program's VELMORA_ENGINE). A trace always runs on the
// reference.
extern EngineKind RunEngineKind;
// The environment variable that names the engine: "jit", "fast" or "reference".
constexpr const char* kEngineVariable = "VELMORA_ENGINE";
// "jit", "fast" or "reference"; false for any other name.
bool EngineFromName(std::string_view name, EngineKind* engine);
const char* EngineName(EngineKind engine);

// How a run ended. kKilled: the debugger killed the run, or its connection was lost while it held
// the guest. kUnresponsive: the user asked to close the window of a guest that had not pumped
// messages for kUnresponsiveMilliseconds.
enum class RunEnd { kQuit, kFault, kLimit, kTimeout, kInterrupted, kKilled, kUnresponsive };

// Counts the guest's message pumps (WDR and yield): the run loop tells a guest that has stopped
// pumping by it.
extern uint64_t GuestPumps;
constexpr uint32_t kUnresponsiveMilliseconds = 2000;

// Set (to the signal's number) by a signal handler to stop the run loop at its next look at the
// clock: the run then ends as kInterrupted, with the usual clean-up.
extern volatile std::sig_atomic_t RunInterrupted;

struct RunReport {
  RunEnd end;
  uint64_t instructions;
  double seconds;  // wall time of the run loop
};

// When set, called between chunks of instructions (every few milliseconds of a running guest)
// with the seconds the run has taken so far.
extern void (*RunWatch)(double seconds);

// Runs the guest until a fault, the quit message, `max_instructions` (0: no limit) or
// `timeout_seconds` of wall time (0: none). With `trace` set, writes one line per instruction
// (pc, instruction word, disassembly) to it. With `watch_unresponsive` set, the loop looks at the
// platform's queue every few milliseconds, without handing anything to the guest, and ends the
// run when a close request waits for a guest that has not pumped for two seconds.
RunReport RunHost(uint64_t max_instructions, double timeout_seconds, FILE* trace,
                  bool watch_unresponsive = false);

// The service trace: with a file set, every service call writes one line to it after the call:
// pc of the BREAK (six hex digits, words), group.function, the service's name ("-" where the
// tables hold none) and the status byte as it stands after the call.
void TraceServicesTo(FILE* file);
// That line, without its line feed, for the call just made (the debugger stub prints it too).
std::string ServiceTraceLine(uint8_t group, uint8_t function);

// What a fault code means, in a few words ("undefined instruction").
const char* FaultMeaning(uint8_t fault);

// Ends the run the way the window's destruction does: open file and serial slots closed, canvas
// released. Safe to call whatever ended the run, and more than once.
void EndHost();

// About ten milliseconds of idling with messages handled; false once the quit message arrived.
bool IdlePump();

}  // namespace velmora
