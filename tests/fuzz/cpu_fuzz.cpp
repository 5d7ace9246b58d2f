// The processor with the gate live: an input is program memory from address 0, run for a bounded
// number of instructions on a host started as for a run (host_fixture.h), so that instructions
// and services mix. The same input runs on every engine the machine has, each on a fresh host,
// and their final states must agree to the last byte.
//
// After every run: no fault but the defined ones, pc within program memory unless the machine
// stopped, every flag 0 or 1, program memory as loaded; after every input, the host checks of
// EndFuzzInput (nothing beside the sandbox touched, no descriptor leaked, layer memory within
// its budget).
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/dispatch.h"
#include "core/engine.h"
#include "host_fixture.h"

namespace velmora::fuzz {
namespace {

constexpr uint64_t kInstructionLimit = 10000;

// Every engine that runs guest programs. A new engine is one more row: the target then checks
// it against the others on every input.
struct Engine {
  const char* name;
  uint64_t (*run)(uint64_t limit);
};
constexpr Engine kEngines[] = {
    {"reference", RunInstructions},
    {"fast", [](uint64_t limit) { return RunEngine(EngineKind::kFast, limit); }},
    {"jit", [](uint64_t limit) { return RunEngine(EngineKind::kJit, limit); }},
};

struct FinalState {
  uint8_t data[kDataSpaceSize];
  uint32_t pc;
  StatusFlags flags;
  uint8_t fault, quit;
  uint64_t instructions;
};

// The defined codes run from kFaultNone to kFaultEicall, 15 left out.
bool KnownFault(uint8_t fault) {
  return fault <= kFaultEicall && fault != 15;
}

// Program memory as the input leaves it: the input from address 0, erased (0xFF) above it, the
// padding behind it as the host leaves it.
uint8_t Loaded[kProgramBytes + 4];
size_t LoadedSize = 0;

void Load(const uint8_t* data, size_t size) {
  memset(Loaded + size, 0xFF, (LoadedSize > size ? LoadedSize : size) - size);
  memcpy(Loaded, data, size);
  LoadedSize = size;
}

void Run(const Engine& engine, const uint8_t* data, size_t size, FinalState* state) {
  ResetFuzzHost();
  // The boot left its program (the first bytes) and erased the rest, as Loaded is.
  memset(Machine.program, 0xFF, 4);
  memcpy(Machine.program, data, size);
  ForgetDecodedProgram();

  state->instructions = engine.run(kInstructionLimit);

  FUZZ_CHECK(KnownFault(Machine.fault), engine.name);
  FUZZ_CHECK(Machine.fault != 0 || Machine.quit != 0 || state->instructions == kInstructionLimit,
             "the run stopped early without a reason");
  FUZZ_CHECK(Machine.fault != 0 || Machine.pc < kProgramWords, "pc outside program memory");
  for (uint8_t flag : Machine.flags.bit) FUZZ_CHECK(flag <= 1, "a flag that is not 0 or 1");
  FUZZ_CHECK(memcmp(Loaded, Machine.program, sizeof Loaded) == 0, "program memory was written");
  memcpy(state->data, Machine.data, kDataSpaceSize);
  state->pc = Machine.pc;
  state->flags = Machine.flags;
  state->fault = Machine.fault;
  state->quit = Machine.quit;
  EndFuzzInput();
}

// What differs between two final states, for the finding's report.
void Describe(const char* name_a, const FinalState& a, const char* name_b, const FinalState& b) {
  fprintf(stderr, "%s: %llu instructions, pc 0x%06X, fault %u, quit %u\n", name_a,
          (unsigned long long)a.instructions, a.pc, a.fault, a.quit);
  fprintf(stderr, "%s: %llu instructions, pc 0x%06X, fault %u, quit %u\n", name_b,
          (unsigned long long)b.instructions, b.pc, b.fault, b.quit);
  for (int i = 0; i < 8; ++i) {
    if (a.flags.bit[i] != b.flags.bit[i])
      fprintf(stderr, "flag %d: %u, %u\n", i, a.flags.bit[i], b.flags.bit[i]);
  }
  int shown = 0;
  for (uint32_t i = 0; i < kDataSpaceSize && shown < 16; ++i) {
    if (a.data[i] == b.data[i]) continue;
    fprintf(stderr, "data 0x%04X: 0x%02X, 0x%02X\n", i, a.data[i], b.data[i]);
    ++shown;
  }
}

}  // namespace
}  // namespace velmora::fuzz

using namespace velmora;
using namespace velmora::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzHost();
  WarmUpFuzzHost();
  memcpy(Loaded, Machine.program, sizeof Loaded);
  memset(Loaded, 0xFF, 4);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kProgramBytes) size = kProgramBytes;
  static auto first = std::make_unique<FinalState>();
  static auto other = std::make_unique<FinalState>();
  Load(data, size);
  Run(kEngines[0], data, size, first.get());
  for (size_t e = 1; e < std::size(kEngines); ++e) {
    Run(kEngines[e], data, size, other.get());
    const bool same = other->instructions == first->instructions && other->pc == first->pc &&
                      other->fault == first->fault && other->quit == first->quit &&
                      memcmp(&other->flags, &first->flags, sizeof first->flags) == 0 &&
                      memcmp(other->data, first->data, kDataSpaceSize) == 0;
    if (!same) Describe(kEngines[0].name, *first, kEngines[e].name, *other);
    FUZZ_CHECK(same, "the engines end in different states");
  }
  return 0;
}
