// Differential test of the processor against simavr: random instruction streams run in both
// machines from the same registers, flags, stack pointer and RAM, compared after every step.
//
//   velmora_simavr_diff [--seed N] [--streams N] [--steps N] [--program FILE.hex]
//
// With --program, a compiled guest program (built for simavr's memory map: stack at 0x21FF, no
// address above 0x21FF) also runs in both machines in lockstep from reset until it reaches the
// undefined word 0x9404, compared after every instruction.
//
// Known differences (docs/processor.md: from the hardware, from simavr) are kept out of the
// streams (Emit) or evened out between the machines (Guard, StepBoth).
#include <simavr/sim_avr.h>
#include <simavr/sim_core.h>

#include <vector>

#include "core/dispatch.h"
#include "diff_support.h"
#include "host/hex_loader.h"

using namespace velmora;
using namespace velmora::diff;

namespace {

constexpr uint32_t kRamStart = 0x200, kRamEnd = 0x2200;  // simavr's ATmega2560 RAM
constexpr uint32_t kPointerLow = 0x240, kPointerHigh = 0x21A0;
constexpr uint32_t kStackLow = 0x240, kStackHigh = 0x21F0;
constexpr uint32_t kStreamWords = 40;
// Plain I/O registers on both machines: GPIOR0-2, RAMPZ, EIND, SPL, SPH, SREG.
constexpr int kPlainIo[] = {0x1E, 0x2A, 0x2B, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F};
constexpr int kGpior0 = 0x1E;

avr_t* Sim;

struct Stream {
  uint32_t base;  // word address
  std::vector<uint16_t> words;
};

bool InStream(const Stream& s, uint32_t pc) {
  return pc >= s.base && pc < s.base + s.words.size();
}

// One random instruction (one or two words) of the families both machines share.
void Emit(Stream& s) {
  const int d = int(Random(32)), r = int(Random(32)), dh = 16 + int(Random(16));
  const unsigned k8 = Random(256);
  auto rr = [&](uint16_t op) { return uint16_t(op | ((r & 0x10) << 5) | (d << 4) | (r & 15)); };
  auto rk = [&](uint16_t op) {
    return uint16_t(op | ((k8 & 0xF0) << 4) | ((dh - 16) << 4) | (k8 & 15));
  };
  auto one = [&](uint16_t op) { return uint16_t(op | (d << 4)); };
  auto rel = [&](int lo, int hi) { return lo + int(Random(unsigned(hi - lo + 1))); };
  auto target = [&] { return s.base + Random(kStreamWords); };
  std::vector<uint16_t>& w = s.words;
  static const uint16_t kTwoReg[] = {0x0C00, 0x1C00, 0x1800, 0x0800, 0x1400, 0x0400,
                                     0x2000, 0x2800, 0x2400, 0x2C00, 0x1000, 0x9C00};
  static const uint16_t kImm[] = {0x3000, 0x4000, 0x5000, 0x6000, 0x7000, 0xE000};
  static const uint16_t kOne[] = {0x9400, 0x9401, 0x9402, 0x9403, 0x9405, 0x9406, 0x9407, 0x940A};
  static const uint16_t kIndirect[] = {0x1, 0x2, 0x9, 0xA, 0xC, 0xD, 0xE, 0x9};
  static const uint16_t kDirect[] = {0x005F, 0x003E, 0x0000, 0x0010, 0x001F};
  const unsigned kind = Random(22);
  if (kind < 4) {
    w.push_back(rr(kTwoReg[Random(12)]));
  } else if (kind < 7) {
    w.push_back(rk(kImm[Random(6)]));
  } else if (kind < 9) {
    w.push_back(one(kOne[Random(8)]));
  } else if (kind == 9) {  // ADIW, SBIW, MOVW and the 0x02/0x03 multiplies
    const unsigned k = Random(64), pair = Random(4), form = Random(4);
    if (form < 2)
      w.push_back(uint16_t((form ? 0x9700 : 0x9600) | (k & 0x30) << 2 | pair << 4 | (k & 15)));
    if (form == 2) w.push_back(uint16_t(0x0100 | Random(256)));
    if (form == 3) w.push_back(uint16_t((Random(2) ? 0x0200 : 0x0300) | Random(256)));
  } else if (kind == 10) {  // status bits
    static const uint16_t kBit[] = {0x9408, 0x9488, 0xF800, 0xFA00};
    const unsigned b = Random(8);
    const uint16_t op = kBit[Random(4)];
    w.push_back(op >= 0xF800 ? uint16_t(op | (d << 4) | b) : uint16_t(op | (b << 4)));
  } else if (kind == 11) {  // branches and relative jumps, mostly forward
    const unsigned form = Random(4);
    int k = rel(-6, 8);
    if (form < 2) {
      w.push_back(uint16_t((form ? 0xF400 : 0xF000) | ((k & 0x7F) << 3) | Random(8)));
    } else {
      if (k == -1) k = 2;
      w.push_back(uint16_t((form == 2 ? 0xC000 : 0xD000) | (k & 0xFFF)));
    }
  } else if (kind == 12) {  // skips
    static const uint16_t kSkip[] = {0xFC00, 0xFE00, 0x9900, 0x9B00};
    const unsigned form = Random(5), b = Random(8);
    if (form == 4) w.push_back(rr(0x1000));
    if (form < 2) w.push_back(uint16_t(kSkip[form] | (d << 4) | b));
    if (form == 2 || form == 3) w.push_back(uint16_t(kSkip[form] | (kGpior0 << 3) | b));
  } else if (kind < 15) {
    // A store through a pointer that updates it, from one of the pointer's own registers,
    // stores the updated byte in Velmora and the old one in simavr.
    const uint16_t form = kIndirect[Random(8)];
    const bool store = Random(2);
    const int pointer = form < 4 ? 30 : form < 0xC ? 28 : 26;
    const int reg = store && (d == pointer || d == pointer + 1) ? d & 15 : d;
    w.push_back(uint16_t((store ? 0x9200 : 0x9000) | (reg << 4) | form));
  } else if (kind == 15) {  // LDD/STD
    const unsigned q = Random(64);
    w.push_back(uint16_t(0x8000 | ((q & 0x20) << 8) | ((q & 0x18) << 7) | (Random(2) << 9) |
                         (d << 4) | (Random(2) << 3) | (q & 7)));
  } else if (kind == 16) {  // LDS/STS
    const uint16_t k =
        Random(4) ? uint16_t(kRamStart + Random(kRamEnd - kRamStart)) : kDirect[Random(5)];
    w.push_back(uint16_t((Random(2) ? 0x9000 : 0x9200) | (d << 4)));
    w.push_back(k);
  } else if (kind == 17) {  // stack, I/O
    const int a = kPlainIo[Random(8)], io = ((a & 0x30) << 5) | (d << 4) | (a & 15);
    static const uint16_t kStack[] = {0x920F, 0x900F};
    const unsigned form = Random(5);
    if (form < 2) w.push_back(uint16_t(kStack[form] | (d << 4)));
    if (form == 2 || form == 3) w.push_back(uint16_t((form == 2 ? 0xB000 : 0xB800) | io));
    if (form == 4)
      w.push_back(uint16_t((Random(2) ? 0x9800 : 0x9A00) | (kGpior0 << 3) | Random(8)));
  } else if (kind == 18) {  // program memory reads
    static const uint16_t kForms[] = {0x9004, 0x9005, 0x9006, 0x9007};
    if (Random(4) == 0) {
      w.push_back(Random(2) ? 0x95C8 : 0x95D8);
    } else {
      // LPM and ELPM Z+ into R30 or R31: Velmora increments the loaded Z, simavr keeps the
      // loaded byte.
      const uint16_t form = kForms[Random(4)];
      w.push_back(uint16_t(form | (((form & 1) && d >= 30 ? d - 8 : d) << 4)));
    }
  } else if (kind == 19) {  // absolute jumps and calls inside the stream
    const uint32_t t = target();
    w.push_back(uint16_t((Random(2) ? 0x940C : 0x940E) | ((t >> 13) & 0x1F0) | ((t >> 16) & 1)));
    w.push_back(uint16_t(t));
  } else if (kind == 20) {
    static const uint16_t kFixed[] = {0x9409, 0x9419, 0x9509, 0x9519, 0x9508, 0x9518, 0x0000};
    w.push_back(kFixed[Random(7)]);
  } else {
    w.push_back(uint16_t(0x0000));
  }
}

// --- The two machines' state -------------------------------------------------------------

uint16_t WordAt(uint32_t pc) {
  return uint16_t(Machine.program[2 * pc] | (Machine.program[2 * pc + 1] << 8));
}

uint16_t SimWord(uint32_t address) {
  return uint16_t(Sim->data[address] | (Sim->data[address + 1] << 8));
}

void SetBoth(uint32_t address, uint8_t value) {
  Machine.data[address] = value;
  Sim->data[address] = value;
}

void SetBothWord(uint32_t address, uint16_t value) {
  SetBoth(address, uint8_t(value));
  SetBoth(address + 1, uint8_t(value >> 8));
}

uint8_t SimSreg() {
  uint8_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint8_t((Sim->sreg[i] ? 1 : 0) << i);
  return v;
}

void SetBothSreg(uint8_t v) {
  SplitSreg(v);
  for (int i = 0; i < 8; ++i) Sim->sreg[i] = (v >> i) & 1;
}

void LoadStream(const Stream& s, bool clear) {
  for (size_t i = 0; i < s.words.size(); ++i) {
    const uint32_t byte = 2 * (s.base + uint32_t(i));
    const uint16_t w = clear ? 0 : s.words[i];
    Machine.program[byte] = Sim->flash[byte] = uint8_t(w);
    Machine.program[byte + 1] = Sim->flash[byte + 1] = uint8_t(w >> 8);
  }
}

void Prepare(const Stream& s) {
  for (uint32_t a = 0; a < 32; ++a) SetBoth(a, uint8_t(Random(256)));
  for (uint32_t a = kRamStart; a < kRamEnd; ++a) SetBoth(a, uint8_t(Random(256)));
  for (int io : {0x1E, 0x2A, 0x2B}) SetBoth(0x20 + uint32_t(io), uint8_t(Random(256)));
  SetBoth(kRampzAddress, uint8_t(Random(4)));
  SetBoth(kEindAddress, uint8_t(Random(2)));
  SetBothWord(kSpAddress, uint16_t(0x2000 + Random(0x100)));
  SetBothSreg(uint8_t(Random(256)));
  Machine.pc = s.base;
  Machine.fault = kFaultNone;
  Sim->pc = 2 * s.base;
}

bool IsOne(InstructionHandler h, std::initializer_list<InstructionHandler> list) {
  for (InstructionHandler x : list)
    if (h == x) return true;
  return false;
}

// The pointer register (26, 28 or 30) a data access of handler `h` uses, or 0.
int PointerOf(InstructionHandler h, uint16_t word) {
  if (IsOne(h, {ExecLD_X, ExecLD_XINC, ExecLD_XDEC, ExecST_X, ExecST_XINC, ExecST_XDEC})) return 26;
  if (IsOne(h, {ExecLD_Y, ExecLD_YINC, ExecLD_YDEC, ExecST_Y, ExecST_YINC, ExecST_YDEC})) return 28;
  if (IsOne(h, {ExecLD_ZINC, ExecLD_ZDEC, ExecST_ZINC, ExecST_ZDEC})) return 30;
  if (IsOne(h, {ExecLDD, ExecSTD})) return (word & 8) ? 28 : 30;
  return 0;
}

bool IsCall(InstructionHandler h) {
  return IsOne(h, {ExecRCALL, ExecCALL, ExecICALL, ExecEICALL});
}
bool IsReturn(InstructionHandler h) {
  return IsOne(h, {ExecRET, ExecRETI});
}

// Keeps the instruction at pc inside what both machines define alike; false ends the stream.
bool Guard(const Stream& s, uint16_t word, InstructionHandler h) {
  if (IsOne(h, {ExecCPSE, ExecSBRC, ExecSBRS, ExecSBIC, ExecSBIS})) {
    const uint32_t next = Machine.pc + 1;
    const uint16_t w = WordAt(next);
    if ((w >> 9) == (0x9600 >> 9) && (w & 0x0F) >= 0x0C) return false;
  }
  if (const int p = PointerOf(h, word)) {
    const uint32_t v = DataWord(uint32_t(p));
    if (Random(8) == 0 && !IsOne(h, {ExecLDD, ExecSTD})) {
      // Now and then a register or SREG through the data space, never the pointer registers
      // themselves (their update order is where the two machines differ).
      static const uint16_t kTargets[] = {0x00, 0x05, 0x10, 0x17, 0x18, 0x19, 0x5F};
      const uint16_t t = kTargets[Random(7)];
      const bool decrement = (word & 3) == 2;
      SetBothWord(uint32_t(p), uint16_t(t + (decrement ? 1 : 0)));
    } else if (v < kPointerLow || v > kPointerHigh) {
      SetBothWord(uint32_t(p), uint16_t(kPointerLow + v % (kPointerHigh - kPointerLow)));
    }
  }
  if (IsCall(h) || IsReturn(h) || IsOne(h, {ExecPUSH, ExecPOP})) {
    const uint32_t sp = StackPointer();
    if (sp < kStackLow || sp > kStackHigh) SetBothWord(kSpAddress, uint16_t(0x2100 + Random(0x80)));
  }
  if (IsOne(h, {ExecELPM, ExecELPM_INC, ExecELPM_R0})) {
    SetBoth(kRampzAddress, Machine.data[kRampzAddress] & 3);
    if (Random(4) == 0) SetBothWord(30, 0xFFFF);  // the Z+ form then carries into RAMPZ
  }
  if (IsOne(h, {ExecEIJMP, ExecEICALL})) {
    const uint32_t t = s.base + DataWord(30) % s.words.size();
    SetBoth(kEindAddress, uint8_t(t >> 16));
    SetBothWord(30, uint16_t(t));
  }
  if (IsOne(h, {ExecIJMP, ExecICALL}) && s.base + s.words.size() <= 0x10000)
    SetBothWord(30, uint16_t(s.base + DataWord(30) % s.words.size()));
  if (IsReturn(h)) {
    // The same target in both layouts: Velmora low byte first, simavr high byte first.
    const uint32_t sp = StackPointer();
    uint32_t t =
        Machine.data[sp + 1] | (Machine.data[sp + 2] << 8) | ((Machine.data[sp + 3] & 0x3F) << 16);
    if (!InStream(s, t)) t = s.base + Random(uint32_t(s.words.size()));
    Machine.data[sp + 1] = Sim->data[sp + 3] = uint8_t(t);
    Machine.data[sp + 2] = Sim->data[sp + 2] = uint8_t(t >> 8);
    Machine.data[sp + 3] = Sim->data[sp + 1] = uint8_t(t >> 16);
  }
  return true;
}

std::string Describe(const Stream& s) {
  std::string text;
  for (uint32_t i = 0; i < s.words.size(); ++i) text += "  " + Disassemble(s.base + i) + "\n";
  return text;
}

// "what: velmora X, simavr Y" (what from a format and a number), or "" when they agree.
std::string Differ(const char* what, unsigned number, unsigned ours, unsigned theirs) {
  if (ours == theirs) return "";
  char name[24], text[96];
  std::snprintf(name, sizeof name, what, number);
  std::snprintf(text, sizeof text, "%s: velmora 0x%02X, simavr 0x%02X", name, ours, theirs);
  return text;
}

// Compares everything both machines define alike; returns the first difference or "".
std::string Compare(bool withRam = true) {
  std::string d;
  for (uint32_t r = 0; r < 32 && d.empty(); ++r)
    d = Differ("r%u", r, Machine.data[r], Sim->data[r]);
  if (d.empty()) d = Differ("SREG", 0, ComposeSreg(), SimSreg());
  if (d.empty()) d = Differ("SP", 0, StackPointer(), SimWord(kSpAddress));
  if (d.empty()) d = Differ("pc", 0, Machine.pc, Sim->pc / 2);
  if (d.empty()) d = Differ("velmora's fault", 0, Machine.fault, kFaultNone);
  for (uint32_t io : {0x1E, 0x2A, 0x2B, 0x3B, 0x3C})
    if (d.empty()) d = Differ("I/O 0x%02X", io, Machine.data[0x20 + io], Sim->data[0x20 + io]);
  if (!withRam || !d.empty() ||
      std::memcmp(Machine.data + kRamStart, Sim->data + kRamStart, kRamEnd - kRamStart) == 0)
    return d;
  for (uint32_t a = kRamStart; a < kRamEnd && d.empty(); ++a)
    d = Differ("data 0x%04X", a, Machine.data[a], Sim->data[a]);
  return d;
}

// One instruction in both machines. Returns the first difference, or "". Return addresses are
// kept in both layouts: before a return simavr's copy is set from ours (the stream's Guard has
// placed a target already), after a call simavr's three bytes must be ours reversed.
std::string StepBoth(InstructionHandler h, bool withRam) {
  const uint32_t sp = StackPointer();
  if (IsReturn(h) && sp + 3 < kRamEnd) {
    Sim->data[sp + 1] = Machine.data[sp + 3] & 0x3F;
    Sim->data[sp + 2] = Machine.data[sp + 2];
    Sim->data[sp + 3] = Machine.data[sp + 1];
  }
  StepInstruction();
  Sim->pc = avr_run_one(Sim);
  if (IsCall(h) || IsReturn(h)) {
    const uint32_t at = IsCall(h) ? StackPointer() : sp;
    for (uint32_t i = 1; i <= 3 && at + i < kRamEnd; ++i) {
      if (IsCall(h) && Machine.data[at + i] != Sim->data[at + 4 - i])
        return "return address bytes are not the reverse of simavr's";
    }
    for (uint32_t i = 1; i <= 3 && at + i < kRamEnd; ++i) Sim->data[at + i] = Machine.data[at + i];
  }
  return Compare(withRam);
}

// Runs a whole program in both machines from reset until it reaches the word 0x9404, comparing
// after every instruction (RAM every 1024 instructions and at the end).
bool RunProgram(const char* path, uint64_t& executed) {
  avr_reset(Sim);
  if (LoadHexProgram(path) != kHexLoaded) {
    std::fprintf(stderr, "velmora_simavr_diff: cannot load %s\n", path);
    return false;
  }
  std::memcpy(Sim->flash, Machine.program, Sim->flashend + 1);
  ResetMachine();
  // The same start in both: simavr's reset values for registers, I/O and RAM.
  std::memcpy(Machine.data, Sim->data, kRamEnd);
  SetBothSreg(0);
  Sim->pc = 0;
  for (uint64_t step = 0; step < 20000000; ++step, ++executed) {
    const uint32_t pc = Machine.pc;
    const bool end = WordAt(pc) == 0x9404;
    const std::string problem =
        end ? Compare() : StepBoth(ResolveHandler(WordAt(pc)), step % 1024 == 0);
    if (!problem.empty())
      std::fprintf(stderr, "velmora_simavr_diff: %s, instruction %llu at %s: %s\n", path,
                   (unsigned long long)step, Disassemble(pc).c_str(), problem.c_str());
    if (!problem.empty() || end) return problem.empty();
  }
  std::fprintf(stderr, "velmora_simavr_diff: %s does not stop\n", path);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = std::random_device{}(), streams = 1500, steps = 120;
  const char* program = nullptr;
  if (!ParseOptions(argc, argv,
                    {{"--seed", &seed},
                     {"--streams", &streams},
                     {"--steps", &steps},
                     {"--program", nullptr, &program}},
                    "[--seed N] [--streams N] [--steps N] [--program FILE.hex]"))
    return 64;
  Rng.seed(seed);
  Sim = avr_make_mcu_by_name("atmega2560");
  if (!Sim || avr_init(Sim) != 0) {
    std::fprintf(stderr, "simavr has no atmega2560\n");
    return 1;
  }
  Sim->log = 0;
  std::memset(Sim->flash, 0, Sim->flashend + 1);
  ClearMachine();
  ResetMachine();

  // Bases on both sides of the 64 K-word boundary and near the end of simavr's flash.
  static const uint32_t kBases[] = {0x100, 0x8000, 0xFFF0, 0x10000, 0x1FF00};
  uint64_t executed = 0;
  for (uint64_t n = 0; n < streams; ++n) {
    Stream s;
    s.base = kBases[Random(5)] + Random(0x80);
    while (s.words.size() < kStreamWords) Emit(s);
    s.words.resize(kStreamWords);  // a two-word instruction may have run over
    LoadStream(s, false);
    Prepare(s);
    for (uint64_t step = 0; step < steps && InStream(s, Machine.pc); ++step) {
      const uint32_t pc = Machine.pc;
      const InstructionHandler h = ResolveHandler(WordAt(pc));
      if (!Guard(s, WordAt(pc), h)) break;
      ++executed;
      const std::string problem = StepBoth(h, true);
      if (problem.empty()) continue;
      std::fprintf(stderr, "velmora_simavr_diff: seed %llu, stream %llu, step %llu at %s: %s\n%s",
                   (unsigned long long)seed, (unsigned long long)n, (unsigned long long)step,
                   Disassemble(pc).c_str(), problem.c_str(), Describe(s).c_str());
      return 1;
    }
    LoadStream(s, true);
  }
  const uint64_t inStreams = executed;
  if (program && !RunProgram(program, executed)) return 1;
  std::printf(
      "velmora_simavr_diff: seed %llu, %llu streams (%llu instructions), %s (%llu "
      "instructions) agree\n",
      (unsigned long long)seed, (unsigned long long)streams, (unsigned long long)inStreams,
      program ? program : "no program", (unsigned long long)(executed - inStreams));
  return 0;
}
