// The machine's engines: the reference core (dispatch.h), which defines every instruction and
// runs the trace, and the fast engine, a predecoded threaded interpreter whose every observable
// result is the reference's. Both run the one machine in `Machine`.
#pragma once

#include <cstdint>

namespace velmora {

enum class EngineKind : uint8_t { kReference, kFast };

// Runs until the machine stops (fault or quit) or `limit` instructions have run; returns the
// number executed. Same contract and same count as RunInstructions, the reference's loop.
uint64_t RunFastInstructions(uint64_t limit);

// The run function of `engine`.
uint64_t RunEngine(EngineKind engine, uint64_t limit);

// The fast engine decodes program memory once and keeps what it decoded. Whoever writes program
// memory after a run has started (the loader, tests) calls this before the next run.
void ForgetDecodedProgram();

}  // namespace velmora
