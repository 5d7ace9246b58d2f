// The desktop program: the window, the boot report in it, the guest's run, and the end. Whatever
// ends the run (the guest, the close button, a fault, Ctrl-C in the terminal), files are flushed
// and closed, serial ports closed, and the program exits with status 0.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/gdb_stub.h"
#include "host/run.h"
#include "platform/platform.h"

namespace velmora {

namespace {

extern "C" void InterruptDesktop(int signal_number) {
  RunInterrupted = signal_number;
  PlatformInterrupt();
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
  if (boot == BootOutcome::kReady) {
    if (debugger) {
      RunUnderDebugger(0, 0);
    } else {
      RunHost(0, 0, nullptr, true);
    }
  } else {
    // The boot report stays on the screen until the user closes the window.
    while (RunInterrupted == 0 && IdlePump()) {
    }
  }
  EndHost();
  return 0;
}

}  // namespace velmora
