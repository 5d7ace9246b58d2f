// The machine's engines: the reference core (dispatch.h), which defines every instruction and
// runs the trace; the fast engine, a predecoded threaded interpreter; and the JIT, which
// translates blocks of guest code to x86-64. Every observable result of the fast engine and the
// JIT is the reference's. All run the one machine in `Machine`.
#pragma once

#include <cstdint>

namespace velmora {

enum class EngineKind : uint8_t { kReference, kFast, kJit };

// Runs until the machine stops (fault or quit) or `limit` instructions have run; returns the
// number executed. Same contract and same count as RunInstructions, the reference's loop.
uint64_t RunFastInstructions(uint64_t limit);
// The JIT's run function. On a host where it cannot map executable memory (or is not built for
// one) it says so once on stderr and runs the fast engine instead.
uint64_t RunJitInstructions(uint64_t limit);
// Whether the JIT runs here (it maps its code memory on the first call), or falls back.
bool JitAvailable();

// The run function of `engine`.
uint64_t RunEngine(EngineKind engine, uint64_t limit);

// The fast engine and the JIT decode program memory once and keep what they decoded (and
// translated). Whoever writes program memory after a run has started (the loader, tests) calls
// this before the next run.
void ForgetDecodedProgram();

}  // namespace velmora
