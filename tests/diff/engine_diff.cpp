// Differential test of the fast engine and the JIT against the reference core on random programs
// (docs/processor.md): the whole data space, flags, pc, fault, quit and instruction count must
// agree at every BREAK and WDR and at the end.
//
//   velmora_engine_diff [--seed N] [--trials N] [--steps N] [--trial N] [--engine fast|jit]
//
// The test plays the host: its BREAK and WDR change registers, memory and flags and sometimes
// quit, so an engine must write its state back before each call and take it up again after. On
// a difference it finds the first instruction after which the two disagree and prints it.
#include <algorithm>
#include <cinttypes>
#include <vector>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/hostcall.h"
#include "diff_support.h"

using namespace velmora;
using namespace velmora::diff;

namespace {

struct Checkpoint {
  char kind;  // 'B' or 'W'
  uint32_t pc;
  uint8_t sreg;
  uint64_t data_hash;
  bool operator==(const Checkpoint&) const = default;
};

std::vector<Checkpoint>* Recording = nullptr;

uint64_t HashData() {
  uint64_t h = 0xCBF29CE484222325ull;
  for (uint32_t i = 0; i < kDataSpaceSize; i += 8) {
    uint64_t v;
    std::memcpy(&v, &Machine.data[i], 8);
    h = (h ^ v) * 0x100000001B3ull;
  }
  return h;
}

// What the host call leaves behind, derived from the state the call saw.
uint64_t Record(char kind) {
  const Checkpoint c = {kind, Machine.pc, ComposeSreg(), HashData()};
  if (Recording) Recording->push_back(c);
  return (c.data_hash ^ (uint64_t(c.pc) << 8) ^ c.sreg) * 0x9E3779B97F4A7C15ull;
}

}  // namespace

namespace velmora {

void ServiceCall() {
  const uint64_t h = Record('B');
  // A service writes results anywhere a guest pointer names: registers, I/O bytes, RAM.
  Machine.data[h % 32] = uint8_t(h >> 8);
  Machine.data[0x20 + (h >> 16) % 0x40] = uint8_t(h >> 24);
  Machine.data[0x60 + (h >> 32) % 0x100] = uint8_t(h >> 40);
  if ((h >> 48) % 8 == 0) Machine.flags.bit[(h >> 52) % 8] ^= 1;
  if ((h >> 56) % 32 == 0) Machine.quit = 1;  // a pumping service met the quit message
  Machine.data[kGroupAddress] = 0;
  Machine.pc += 1;
}

void WatchdogStep() {
  const uint64_t h = Record('W');
  if (h % 24 == 0) {
    Machine.quit = 1;  // the quit message: pc stays on the WDR
    return;
  }
  Machine.data[kEventPendingAddress] = Machine.flags.bit[kFlagI] && (h >> 8) % 2 ? 1 : 0;
  Machine.pc += 1;
}

}  // namespace velmora

namespace {

struct Trial {
  uint32_t base = 0, size = 0;  // program window, in words
  std::vector<uint8_t> data;    // the machine's data space at the start
  uint8_t sreg = 0;
  uint32_t pc = 0;
};

// Data addresses where something happens: SREG, SP, RAMPZ, EIND, the service bytes, the
// registers, the top of the data space and the LDD limit.
constexpr uint16_t kInteresting[] = {0x5F, 0x5E,   0x5D,   0x5C,   0x5B,  0x60, 0x00,
                                     0x01, 0x1A,   0x1B,   0x1E,   0x1F,  0x46, 0x48,
                                     0x20, 0xFFFF, 0xFFFE, 0xFFC1, 0xFFF0};

uint16_t SomeAddress() {
  return Random(2) ? kInteresting[Random(std::size(kInteresting))] : uint16_t(Rng());
}

uint32_t SomeTarget(const Trial& t) {
  switch (Random(5)) {
    case 0:
      return Random(kProgramWords);
    case 1:
      return Random(0x400000);  // mostly outside program memory
    default:
      return t.base + Random(t.size);
  }
}

// How often each instruction is drawn: undefined words and the rarest forms less, so that a
// program runs a while before it stops on a fault.
uint32_t Weight(const InstructionEncoding& e) {
  const InstructionHandler h = e.handler;
  if (h == ExecUNDEFINED_LOAD || h == ExecUNDEFINED_STORE || h == ExecUNDEFINED_ONE_OPERAND)
    return 1;
  if (h == ExecEIJMP || h == ExecEICALL || h == ExecUNASSIGNED || h == ExecSPM) return 1;
  if (h == ExecRET || h == ExecRETI || h == ExecIJMP || h == ExecICALL) return 4;
  if (h == ExecBREAK || h == ExecWDR) return 6;
  return 10;
}

void Put(std::vector<uint16_t>& out, uint16_t word) {
  out.push_back(word);
}

// A run of instructions as compilers write them, so that the fast engine's superinstructions and
// the JIT's blocks (and the flags they leave) are exercised: multi-byte arithmetic, compares and
// their branch, shifts, logic, load and store runs, stack runs.
void EmitIdiom(std::vector<uint16_t>& out) {
  const auto rr = [](uint16_t op, uint32_t d, uint32_t r) {
    return uint16_t(op | ((r & 0x10) << 5) | (d << 4) | (r & 15));
  };
  const auto ri = [](uint16_t op, uint32_t d, uint32_t k) {
    return uint16_t(op | ((k & 0xF0) << 4) | ((d & 15) << 4) | (k & 15));
  };
  const auto one = [](uint16_t op, uint32_t d) { return uint16_t(op | (d << 4)); };
  const auto branch = [] {
    return uint16_t((Random(2) ? 0xF000 : 0xF400) | (((int(Random(13)) - 6) & 0x7F) << 3) |
                    Random(8));
  };
  const uint32_t d = Random(31), r = Random(31), h = 16 + Random(15), n = 2 + Random(3);
  static const uint16_t kTwo[][2] = {{0x0C00, 0x1C00}, {0x1800, 0x0800}, {0x1400, 0x0400},
                                     {0x2400, 0x2400}, {0x2000, 0x2800}, {0x2C00, 0x2C00}};
  static const uint16_t kImm[][2] = {{0x5000, 0x4000}, {0x3000, 0x4000}, {0x7000, 0x7000},
                                     {0x6000, 0x6000}, {0xE000, 0xE000}, {0xE000, 0x5000}};
  static const uint16_t kOne[][2] = {{0x9406, 0x9407}, {0x9407, 0x9407}, {0x9405, 0x9407},
                                     {0x9400, 0x9400}, {0x9400, 0x9401}, {0x940A, 0x940A}};
  switch (Random(9)) {
    case 0: {  // multi-byte arithmetic, logic or moves on two registers at a time
      const uint16_t* ops = kTwo[Random(std::size(kTwo))];
      for (uint32_t i = 0; i < n; ++i) Put(out, rr(ops[i ? 1 : 0], (d + i) & 31, (r + i) & 31));
      break;
    }
    case 1: {  // the same with immediates, R16 and up
      const uint16_t* ops = kImm[Random(std::size(kImm))];
      for (uint32_t i = 0; i < n; ++i) Put(out, ri(ops[i ? 1 : 0], (h + i) & 31, Random(256)));
      break;
    }
    case 2: {  // shifts, complements, counts
      const uint16_t* ops = kOne[Random(std::size(kOne))];
      for (uint32_t i = 0; i < n; ++i) Put(out, one(ops[i ? 1 : 0], (d + n - i) & 31));
      break;
    }
    case 3:  // compare (or count) and branch
      switch (Random(4)) {
        case 0:
          Put(out, rr(0x1400, d, r));
          Put(out, rr(0x0400, (d + 1) & 31, (r + 1) & 31));
          break;
        case 1:
          Put(out, ri(0x3000, h, Random(256)));
          Put(out, rr(0x0400, (h + 1) & 31, r));
          break;
        case 2:
          Put(out, ri(0x5000, h, Random(256)));
          Put(out, ri(0x4000, (h + 1) & 31, Random(256)));
          break;
        default:
          Put(out, one(Random(2) ? 0x940A : 0x9403, d));
          break;
      }
      Put(out, branch());
      break;
    case 4: {  // loads or stores with displacement, and through a pointer with update
      static const uint16_t kRuns[] = {0x8008, 0x8208, 0x900D, 0x920D, 0x9001, 0x9201, 0x9009};
      const uint16_t op = kRuns[Random(std::size(kRuns))];
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t q = Random(64);
        const uint16_t w = (op & 0xD000) == 0x8000
                               ? uint16_t(op | ((q & 0x20) << 8) | ((q & 0x18) << 7) | (q & 7))
                               : op;
        Put(out, one(w, (d + i) & 31));
      }
      break;
    }
    case 5:  // stack runs, a return after pops
      for (uint32_t i = 0; i < n; ++i) Put(out, one(Random(2) ? 0x920F : 0x900F, (d + i) & 31));
      if (Random(2)) Put(out, 0x9508);
      break;
    case 6:  // word arithmetic, multiplies and pair moves
      Put(out, uint16_t((Random(2) ? 0x9600 : 0x9700) | (Random(4) << 4) | Random(12)));
      Put(out, uint16_t(0x0100 | (Random(16) << 4) | Random(16)));
      Put(out, rr(0x9C00, d, r));
      Put(out, uint16_t(0x0100 | (Random(16) << 4)));
      if (Random(2)) Put(out, branch());
      break;
    case 7: {  // pointer arithmetic, then a load through Z that often reads SREG
      const uint32_t k = Random(256);
      Put(out, ri(0xE000, 30, (0x5F + k) & 0xFF));
      Put(out, ri(0xE000, 31, Random(4) ? 0 : Random(256)));
      Put(out, ri(0x5000, 30, k));
      Put(out, ri(0x4000, 31, Random(2)));
      Put(out, one(Random(2) ? 0x8000 : 0x9001, 24));
      break;
    }
    default:  // a count-down loop
      Put(out, ri(0xE000, h, 1 + Random(4)));
      Put(out, rr(0x0C00, d, r));
      Put(out, one(0x940A, h));
      Put(out, uint16_t(0xF401 | ((-3 & 0x7F) << 3)));  // BRNE back to the ADD
      break;
  }
}

// One instruction (or a short set-up run) at the end of `out`.
void Emit(const Trial& t, std::vector<uint16_t>& out) {
  static std::vector<const InstructionEncoding*> pool;
  if (pool.empty()) {
    for (const InstructionEncoding& e : InstructionEncodings())
      for (uint32_t i = 0; i < Weight(e); ++i) pool.push_back(&e);
  }
  const uint32_t roll = Random(100);
  if (roll >= 80) {
    EmitIdiom(out);
    return;
  }
  if (roll < 12) {
    // A pointer, SP, RAMPZ or EIND aimed somewhere interesting: LDI, or LDI and OUT.
    const uint16_t value = SomeAddress();
    const int pair = 26 + 2 * int(Random(3));
    if (Random(4) == 0) {
      static const uint8_t kIo[] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F};
      const uint8_t io = kIo[Random(5)];
      const uint8_t v = io <= 0x3C ? uint8_t(Random(6) == 0 ? 0xFF : Random(5)) : uint8_t(value);
      Put(out, uint16_t(0xE000 | ((v & 0xF0) << 4) | (v & 0x0F)));    // LDI r16,v
      Put(out, uint16_t(0xB800 | ((io & 0x30) << 5) | (io & 0x0F)));  // OUT io,r16
      return;
    }
    for (int half = 0; half < 2; ++half) {
      const uint8_t v = uint8_t(value >> (8 * half));
      Put(out, uint16_t(0xE000 | ((v & 0xF0) << 4) | ((pair + half - 16) << 4) | (v & 0x0F)));
    }
    return;
  }
  const InstructionEncoding& e = *pool[Random(uint32_t(pool.size()))];
  uint16_t word = uint16_t((uint16_t(Rng()) & ~e.mask) | e.value);
  const InstructionHandler h = e.handler;
  if ((h == ExecRJMP || h == ExecRCALL) && Random(4) != 0) {
    word = uint16_t((word & 0xF000) | ((int(Random(41)) - 20) & 0xFFF));
  }
  if (h == ExecJMP || h == ExecCALL) {
    const uint32_t target = SomeTarget(t);
    Put(out, uint16_t((word & 0xFE0E) | ((target >> 13) & 0x1F0) | ((target >> 16) & 1)));
    Put(out, uint16_t(target));
    return;
  }
  Put(out, word);
  if (h == ExecLDS || h == ExecSTS) Put(out, SomeAddress());
  const bool skip =
      h == ExecCPSE || h == ExecSBRC || h == ExecSBRS || h == ExecSBIC || h == ExecSBIS;
  if (skip && Random(3) == 0) {
    // Over a two-word instruction.
    Put(out, uint16_t((Random(2) ? 0x9000 : 0x940C) | (Random(2) << 9) | (Random(16) << 4)));
    Put(out, uint16_t(Random(2) ? SomeAddress() : uint16_t(SomeTarget(t))));
  }
}

// Fills `t` (reused from trial to trial: the machine's page faults cost more than the runs).
void MakeTrial(Trial& t) {
  t.size = 16 + Random(2048);
  switch (Random(4)) {
    case 0:  // against the end of program memory
      t.base = kProgramWords - t.size;
      break;
    case 1:  // across a 1024-word border
      t.base = std::min((1 + Random(kProgramWords / 1024 - 1)) * 1024 - Random(t.size),
                        kProgramWords - t.size);
      break;
    default:
      t.base = Random(kProgramWords - t.size);
      break;
  }
  std::memset(Machine.program, 0, sizeof Machine.program);
  static std::vector<uint16_t> words;
  words.clear();
  while (words.size() < t.size) Emit(t, words);
  for (uint32_t i = 0; i < t.size; ++i) {
    Machine.program[2 * (t.base + i)] = uint8_t(words[i]);
    Machine.program[2 * (t.base + i) + 1] = uint8_t(words[i] >> 8);
  }
  ForgetDecodedProgram();

  t.data.resize(kDataSpaceSize);
  for (uint32_t i = 0; i < kGuestDataSize; i += 8) {
    const uint64_t v = Rng();
    std::memcpy(&t.data[i], &v, 8);
  }
  std::memset(&t.data[kGuestDataSize], 0, kDataSpaceSize - kGuestDataSize);
  for (uint16_t pair : {26, 28, 30}) {
    if (Random(3) == 0) {
      const uint16_t v = SomeAddress();
      t.data[pair] = uint8_t(v);
      t.data[pair + 1] = uint8_t(v >> 8);
    }
  }
  t.data[kRampzAddress] = uint8_t(Random(6) == 0 ? 0xFF : Random(5));
  t.data[kEindAddress] = uint8_t(Random(6) == 0 ? 0xFF : Random(3));
  static const uint16_t kStacks[] = {0xFFFF, 0xFFFE, 0xFFFD, 0xFFFC, 0x0000, 0x0001, 0x0002,
                                     0x0060, 0x0061, 0x0062, 0x005F, 0x005C, 0x0020};
  const uint16_t sp =
      Random(2) ? kStacks[Random(std::size(kStacks))] : uint16_t(0x100 + Random(0xFE00));
  t.data[kSpAddress] = uint8_t(sp);
  t.data[kSpAddress + 1] = uint8_t(sp >> 8);
  // Return addresses into the program above SP, so that returns mostly land in it.
  for (uint32_t i = 0; i < 8; ++i) {
    const uint32_t at = sp + 1 + 3 * i;
    const uint32_t target = Random(8) == 0 ? Random(0x400000) : t.base + Random(t.size);
    for (uint32_t b = 0; b < 3; ++b) {
      if (at + b < kGuestDataSize && at + b != kSpAddress && at + b != kSpAddress + 1) {
        t.data[at + b] = uint8_t(target >> (8 * b));
      }
    }
  }
  t.sreg = uint8_t(Rng());
  t.pc = t.base + Random(t.size);
}

void Start(const Trial& t) {
  std::memcpy(Machine.data, t.data.data(), kDataSpaceSize);
  SplitSreg(t.sreg);
  Machine.pc = t.pc;
  Machine.fault = kFaultNone;
  Machine.quit = 0;
}

struct Outcome {
  std::vector<Checkpoint> checkpoints;
  std::vector<uint8_t> data;
  uint8_t flags[8];
  uint32_t pc;
  uint8_t fault, quit;
  uint64_t executed;
};

// Runs `steps` instructions (fewer if the machine stops), in slices of random size when given a
// slicer, else in one.
void Run(const Trial& t, EngineKind engine, uint64_t steps, std::mt19937_64* slicer, Outcome& o) {
  o.checkpoints.clear();
  Start(t);
  Recording = &o.checkpoints;
  o.executed = 0;
  while (o.executed < steps && (Machine.fault | Machine.quit) == 0) {
    uint64_t slice = steps - o.executed;
    if (slicer != nullptr && (*slicer)() % 2)
      slice = std::min<uint64_t>(slice, 1 + (*slicer)() % 40);
    const uint64_t ran = RunEngine(engine, slice);
    if (ran > slice) {
      std::printf("engine ran %" PRIu64 " instructions of a slice of %" PRIu64 "\n", ran, slice);
      o.executed = ~0ull;
      break;
    }
    o.executed += ran;
    if (ran < slice && (Machine.fault | Machine.quit) == 0) {
      std::printf("engine stopped after %" PRIu64 " of %" PRIu64 " without a reason\n", ran, slice);
      o.executed = ~0ull;
      break;
    }
  }
  Recording = nullptr;
  o.data.assign(Machine.data, Machine.data + kDataSpaceSize);
  std::memcpy(o.flags, Machine.flags.bit, 8);
  o.pc = Machine.pc;
  o.fault = Machine.fault;
  o.quit = Machine.quit;
}

Outcome Run(const Trial& t, EngineKind engine, uint64_t steps, std::mt19937_64* slicer) {
  Outcome o;
  Run(t, engine, steps, slicer, o);
  return o;
}

// The first difference between two outcomes, or "".
std::string Difference(const Outcome& a, const Outcome& b) {
  char text[200] = "";
  const auto say = [&text](auto... values) { std::snprintf(text, sizeof text, values...); };
  uint32_t i = 0;
  if (a.executed != b.executed) {
    say("instructions %" PRIu64 " / %" PRIu64, a.executed, b.executed);
  } else if (a.pc != b.pc) {
    say("pc 0x%06X / 0x%06X", a.pc, b.pc);
  } else if (a.fault != b.fault || a.quit != b.quit) {
    say("fault %u quit %u / fault %u quit %u", a.fault, a.quit, b.fault, b.quit);
  } else if (std::memcmp(a.flags, b.flags, 8) != 0) {
    while (a.flags[i] == b.flags[i]) ++i;
    say("flag %u: %u / %u", i, a.flags[i], b.flags[i]);
  } else if (a.data != b.data) {
    while (a.data[i] == b.data[i]) ++i;
    say("data 0x%05X: 0x%02X / 0x%02X", i, a.data[i], b.data[i]);
  } else if (a.checkpoints.size() != b.checkpoints.size()) {
    say("%zu / %zu host calls", a.checkpoints.size(), b.checkpoints.size());
  } else if (a.checkpoints != b.checkpoints) {
    while (a.checkpoints[i] == b.checkpoints[i]) ++i;
    const Checkpoint &x = a.checkpoints[i], &y = b.checkpoints[i];
    say("host call %u: %c at 0x%06X sreg 0x%02X data %016" PRIX64
        " / %c at 0x%06X sreg 0x%02X "
        "data %016" PRIX64,
        i, x.kind, x.pc, x.sreg, x.data_hash, y.kind, y.pc, y.sreg, y.data_hash);
  }
  return text;
}

// The engines compared with the reference.
struct EngineRow {
  EngineKind kind;
  const char* name;
};
constexpr EngineRow kEngines[] = {{EngineKind::kFast, "fast"}, {EngineKind::kJit, "jit"}};

// Finds the shortest run after which the engines disagree (each run in one slice) and shows the
// instruction that made the difference.
void Explain(const Trial& t, uint64_t steps, EngineKind engine) {
  uint64_t low = 0, high = steps;  // agree after `low`, maybe disagree after `high`
  while (low + 1 < high) {
    const uint64_t mid = (low + high) / 2;
    if (Difference(Run(t, EngineKind::kReference, mid, nullptr), Run(t, engine, mid, nullptr))
            .empty()) {
      low = mid;
    } else {
      high = mid;
    }
  }
  const Outcome before = Run(t, EngineKind::kReference, low, nullptr);
  std::printf("  after %" PRIu64 " instructions both agree; the next one is\n    %s\n", low,
              Disassemble(before.pc).c_str());
  std::printf("  and then: %s\n", Difference(Run(t, EngineKind::kReference, high, nullptr),
                                             Run(t, engine, high, nullptr))
                                      .c_str());
  std::printf("  program (window 0x%06X+%u):\n", t.base, t.size);
  const uint32_t from = before.pc >= 8 ? before.pc - 8 : 0;
  for (uint32_t pc = from; pc < from + 16 && pc < kProgramWords; ++pc) {
    std::printf("   %s%s\n", pc == before.pc ? ">" : " ", Disassemble(pc).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1, trials = 2000, steps = 4000, only = ~0ull;
  const char* engine_name = "";  // empty: every engine
  if (!ParseOptions(argc, argv,
                    {{"--seed", &seed},
                     {"--trials", &trials},
                     {"--steps", &steps},
                     {"--trial", &only},
                     {"--engine", nullptr, &engine_name}},
                    "[--seed N] [--trials N] [--steps N] [--trial N] [--engine fast|jit]"))
    return 64;
  ClearMachine();
  uint64_t instructions = 0, host_calls = 0, failures = 0, engines = 0;
  uint64_t faults[32] = {};
  Trial t;
  Outcome reference, other;
  for (uint32_t trial = 0; trial < trials && failures < 3; ++trial) {
    if (only != ~0ull && trial != only) continue;
    Rng.seed(seed * 1000003 + trial);
    MakeTrial(t);
    const uint64_t slices = Rng();  // each engine its own slicing, the same in every selection
    std::mt19937_64 slicer(slices);
    Run(t, EngineKind::kReference, steps, &slicer, reference);
    instructions += reference.executed;
    host_calls += reference.checkpoints.size();
    ++faults[reference.fault % 32];
    engines = 0;
    for (const EngineRow& row : kEngines) {
      if (*engine_name && std::strcmp(engine_name, row.name) != 0) continue;
      ++engines;
      slicer.seed(slices + uint64_t(row.kind));
      Run(t, row.kind, steps, &slicer, other);
      const std::string difference = Difference(reference, other);
      if (!difference.empty()) {
        std::printf("trial %u (seed %" PRIu64 "): reference / %s differ: %s\n", trial, seed,
                    row.name, difference.c_str());
        Explain(t, reference.executed, row.kind);
        ++failures;
      }
    }
  }
  std::printf("%" PRIu64 " trials, %" PRIu64
              " instructions on the reference and on each of %" PRIu64 " engines, %" PRIu64
              " host calls; ends by fault:",
              trials, instructions, engines, host_calls);
  for (int f = 0; f < 32; ++f)
    if (faults[f]) std::printf(" %d:%" PRIu64, f, faults[f]);
  std::printf("\n");
  return failures ? 1 : 0;
}
