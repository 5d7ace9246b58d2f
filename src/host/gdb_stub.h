// The debugger stub: serves avr-gdb over the GDB remote serial protocol on 127.0.0.1, for
// velmora-run (--gdb PORT) and the desktop program (VELMORA_GDB=PORT).
//
// Breakpoints and watchpoints are kept in the stub and checked between instructions; nothing is
// ever written into program memory, because the guest's own BREAK is a service call. The guest
// runs on the reference engine, one StepInstruction at a time; the handlers know nothing of the
// debugger.
#pragma once

#include <cstdint>

#include "host/run.h"

namespace velmora {

// Put in front of the stub's messages on stderr ("velmora-run").
extern const char* DebuggerProgramName;

// Listens on 127.0.0.1:port (0: a free port) and tells on stderr where avr-gdb finds the stub.
// False, with a message, when the port cannot be had.
bool ListenForDebugger(uint16_t port);

// Waits for avr-gdb on the listener and serves it until the guest ends, the debugger kills the
// run or its connection is lost. The guest moves only when the debugger lets it. After a detach
// the guest runs on as RunHost runs it and the report covers the whole run. The instruction limit
// and the timeout count from the call, time spent waiting for the debugger included.
RunReport RunUnderDebugger(uint64_t max_instructions, double timeout_seconds);

// The port in VELMORA_GDB for the desktop program; false when the variable is unset, and when it
// holds no port (1 to 65535, or 0 for a free one), which is told on stderr.
bool DebuggerPortFromEnvironment(uint16_t* port);

}  // namespace velmora
