// The desktop program: the window, the boot report in it, the guest's run, and the end. Whatever
// ends the run (the guest, the close button, a fault, Ctrl-C or a hang-up of the terminal, the
// display going away), files are flushed and closed, serial ports closed, and the program exits
// with status 0.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/gdb_stub.h"
#include "host/run.h"
#include "io/slots.h"
#include "platform/platform.h"

namespace velmora {

namespace {

bool DesktopEnded = false;

extern "C" void InterruptDesktop(int signal_number) {
  RunInterrupted = signal_number;
  PlatformInterrupt();
}

// A platform library that ends the process itself (Xlib does when the display goes away) still
// leaves the guest's files and ports closed, and the exit status is 0 as for every other end.
extern "C" void EndDesktopOnExit() {
  if (DesktopEnded) return;
  CloseAllFileSlots();
  CloseAllSerialSlots();
  std::_Exit(0);
}

}  // namespace

int DesktopMain(const char* command_line) {
  PlatformCatchEndSignals(InterruptDesktop);
  if (!PlatformCreateWindow()) {
    fprintf(stderr, "velmora: cannot open a window (is there a display?)\n");
    return 1;
  }
  // VELMORA_ENGINE picks the engine; an unknown name keeps the default.
  if (const char* engine = std::getenv(kEngineVariable)) EngineFromName(engine, &RunEngineKind);
  // VELMORA_GDB=PORT: the guest runs as avr-gdb says, as with velmora-run --gdb.
  uint16_t debugger_port = 0;
  DebuggerProgramName = "velmora";
  const bool debugger =
      DebuggerPortFromEnvironment(&debugger_port) && ListenForDebugger(debugger_port);
  std::string path;
  const bool found = FindProgramPath(command_line, &path);
  const BootOutcome boot = StartHost(found ? path.c_str() : nullptr, StartSeed());
  std::atexit(EndDesktopOnExit);
  if (boot == BootOutcome::kReady) {
    if (debugger) {
      RunUnderDebugger(0, 0);
    } else {
      RunHost(0, 0, nullptr, true);
    }
  } else {
    if (boot == BootOutcome::kNoSandbox) {
      fprintf(stderr,
              "velmora: the sandbox (VELMORA_SANDBOX) cannot be used; the program did not run\n");
    }
    // The boot report stays on the screen until the user closes the window.
    while (RunInterrupted == 0 && IdlePump()) {
    }
  }
  EndHost();
  DesktopEnded = true;
  return 0;
}

}  // namespace velmora
