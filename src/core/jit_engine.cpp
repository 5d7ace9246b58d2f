// The JIT engine: translates blocks of guest code to x86-64 with Xbyak and runs them.
//
// A block is a straight run of guest instructions from its entry pc up to and including its
// first terminator (a jump, call, return, branch or skip), or up to the instruction before one
// the JIT leaves to the reference core. It is translated once, when first entered, into code that
// works on the machine in place:
//
//   rbx  Machine.data: guest registers, I/O and RAM stay there, every write goes there at once,
//        so a store through a pointer into the register file is simply a store
//   r8-r11, rdi  write-through copies of guest registers within a block (see Cached)
//   rbp  Machine.program (LPM, ELPM)
//   r12  the instruction budget; a block charges its length on entry (sub, js)
//   r13  the status flags packed in SREG's layout
//   r14  the pc -> code table (indirect jumps, returns, targets not translated yet)
//   r15  the context: budget, flags and exit reason for the C++ loop, and the flag tables
//
// Flags: like the fast engine's decoder, a backward pass over the block finds the flags that
// something reads before the next instruction that surely sets them; an instruction computes
// only those, from the host's own flags (x86 ADD, ADC, SUB, SBB, CMP, NEG, INC, DEC, AND, OR,
// XOR set C, Z, N, V and H exactly as AVR does; LAHF and SETO take them into one table look-up).
// Whatever can observe the flags counts as reading all of them: the end of a block, a load
// through a pointer (it may read SREG), STD and ELPM (they may fault), a read of SREG. A carry
// that only the next instruction reads stays in the host's carry flag.
//
// Exits: every way out of translated code goes through one stub that stores pc, reason, budget
// and flags in the context and returns to RunJitInstructions, which then
//   - continues at a pc not translated yet (or outside program memory, where the reference's
//     fetch faults),
//   - runs one instruction on the reference (StepInstruction): the instructions the JIT does not
//     translate (BREAK, WDR, XCH, LAS, LAC, LAT, RETI, undefined words, jumps outside program
//     memory), and an access that would read or write SREG through a pointer or fault,
//     detected before any side effect (the block gives back the budget of the instructions it
//     did not run),
//   - or, when a block is longer than the budget left, lets the reference run exactly the
//     instructions left.
// So the machine state is the reference's at every host call, fault and budget end.
//
// Code memory is never writable and executable at once: the pages a block is written to are made
// read-write for the translation and read-execute after it. The cache has a fixed size and is
// flushed whole when full; program memory never changes while a program runs, so nothing else
// ever invalidates a block.
#include "core/jit_engine.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/fields.h"
#include "core/handlers.h"
#include "core/jit_engine.h"
#include "core/machine.h"

#if VELMORA_JIT
#define XBYAK_NO_EXCEPTION
#include <xbyak/xbyak.h>

#include <new>

#include "platform/platform.h"
#endif

namespace velmora {

#if !VELMORA_JIT

void ForgetTranslatedProgram() {}

bool JitAvailable() {
  return false;
}

uint64_t RunJitInstructions(uint64_t limit) {
  static bool noted = false;
  if (!noted) {
    std::fprintf(stderr, "velmora: no JIT in this build; running the fast engine\n");
    noted = true;
  }
  return RunFastInstructions(limit);
}

#else

namespace {

using namespace Xbyak::util;

constexpr uint8_t kC = 0x01, kZ = 0x02, kT = 0x40, kAll = 0xFF;

// The entry stub's stack slot for the host's flags after an instruction whose flags only an
// escape may need: LAHF's byte and OF, for the escape to compose them.
constexpr int kRawAh = 0, kRawO = 1;

// What translated code and the C++ loop share; r15 points here.
struct JitContext {
  int64_t budget;
  uint32_t sreg;
  uint32_t pc;
  uint32_t reason;
  uint32_t unused;
  const void* code;  // the block to enter
  uint8_t* data;
  const uint8_t* program;
  const void** lookup;
  // C Z N V S H by the host's flags after LAHF, with OF put in bit 3 (always 0 in LAHF's byte).
  uint8_t arith[256];
  // S V N Z C of ASR, LSR, ROR by the result and 256 x bit 0 of the operand.
  uint8_t shift[512];
};

enum ExitReason : uint32_t { kExitPc = 0, kExitStep = 1, kExitOver = 2 };

JitContext Context;
// The code of each pc's block, or the stub that leaves for RunJitInstructions to translate it.
const void* Lookup[kProgramWords];
// The pcs whose Lookup entry is set, to undo them when the cache is flushed.
uint32_t Translated[kProgramWords];
uint32_t TranslatedCount = 0;

constexpr size_t kCacheBytes = size_t(16) << 20;
constexpr size_t kStubBytes = 65536;      // the entry and exit stubs: pages of their own
constexpr size_t kMaxBlockBytes = 16384;  // no block's code is longer (64 instructions)
constexpr size_t kWindowBytes = 131072;   // written by one translation at most
constexpr uint32_t kBlocksPerWindow = 32;
constexpr uint32_t kMaxBlockInstructions = 64;

// The cache as the generator writes it (Cache) and as the processor runs it, ExecuteOffset
// bytes away: 0 when the two are one mapping whose pages are switched between writable and
// executable. Xbyak works in the writable view (its jumps are relative, the same in both views);
// what the processor follows by address (Enter, Context.code, Lookup) is in the executable one.
uint8_t* Cache = nullptr;
uintptr_t ExecuteOffset = 0;
// With one mapping, pages of the cache from kStubBytes up to SealedEnd hold code and are
// read-execute; the pages beyond hold nothing yet and stay read-write (never executable).
size_t SealedEnd = kStubBytes;
Xbyak::CodeGenerator* Gen = nullptr;
void (*Enter)() = nullptr;
const void* ExitStub = nullptr;          // eax pc, ecx reason (writable view)
const void* UntranslatedStub = nullptr;  // eax pc: leave with kExitPc (executable view)
enum class JitState : uint8_t { kUnready, kReady, kUnavailable } State = JitState::kUnready;

void MakeTables() {
  for (uint32_t ah = 0; ah < 256; ++ah) {
    const uint32_t c = ah & 1, v = (ah >> 3) & 1, h = (ah >> 4) & 1, z = (ah >> 6) & 1, n = ah >> 7;
    Context.arith[ah] = uint8_t(c | (z << 1) | (n << 2) | (v << 3) | ((n ^ v) << 4) | (h << 5));
  }
  for (uint32_t r = 0; r < 256; ++r) {
    const uint32_t n = r >> 7, z = r == 0 ? 1 : 0;
    for (uint32_t c = 0; c < 2; ++c) {
      Context.shift[r | (c << 8)] = uint8_t(c | (z << 1) | (n << 2) | ((n ^ c) << 3) | (c << 4));
    }
  }
}

const void* Executable(const void* written) {
  return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(written) + ExecuteOffset);
}
const void* Writable(const void* code) {
  return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(code) - ExecuteOffset);
}

// Two views never change protection.
bool Unprotect(const uint8_t* at, size_t bytes) {
  return ExecuteOffset != 0 || PlatformProtectCodeMemory(const_cast<uint8_t*>(at), bytes, false);
}
bool Protect(const uint8_t* at, size_t bytes) {
  return ExecuteOffset != 0 || PlatformProtectCodeMemory(const_cast<uint8_t*>(at), bytes, true);
}

// The entry stub (no arguments, so the same on every x86-64 calling convention; it saves every
// register either convention asks a callee to keep), the exit stub and the untranslated stub.
void EmitStubs(Xbyak::CodeGenerator& g) {
  Enter = reinterpret_cast<void (*)()>(const_cast<void*>(Executable(g.getCurr())));
  for (const Xbyak::Reg64& r : {rbx, rbp, rsi, rdi, r12, r13, r14, r15}) g.push(r);
  g.sub(rsp, 8);  // the raw flags snapshot
  g.mov(r15, reinterpret_cast<uintptr_t>(&Context));
  g.mov(rbx, qword[r15 + offsetof(JitContext, data)]);
  g.mov(rbp, qword[r15 + offsetof(JitContext, program)]);
  g.mov(r14, qword[r15 + offsetof(JitContext, lookup)]);
  g.mov(r12, qword[r15 + offsetof(JitContext, budget)]);
  g.mov(r13d, dword[r15 + offsetof(JitContext, sreg)]);
  g.jmp(qword[r15 + offsetof(JitContext, code)]);

  g.align(16);
  ExitStub = g.getCurr();
  g.mov(dword[r15 + offsetof(JitContext, pc)], eax);
  g.mov(dword[r15 + offsetof(JitContext, reason)], ecx);
  g.mov(qword[r15 + offsetof(JitContext, budget)], r12);
  g.mov(dword[r15 + offsetof(JitContext, sreg)], r13d);
  g.add(rsp, 8);
  for (const Xbyak::Reg64& r : {r15, r14, r13, r12, rdi, rsi, rbp, rbx}) g.pop(r);
  g.ret();

  g.align(16);
  UntranslatedStub = Executable(g.getCurr());
  g.mov(ecx, kExitPc);
  g.jmp(ExitStub);
}

bool Start() {
  if (State != JitState::kUnready) return State == JitState::kReady;
  State = JitState::kUnavailable;
  CodeMemory memory;
  if (!PlatformMapCodeMemory(kCacheBytes, &memory)) return false;
  Cache = memory.write;
  ExecuteOffset = reinterpret_cast<uintptr_t>(memory.execute) - reinterpret_cast<uintptr_t>(Cache);
  Gen = new (std::nothrow) Xbyak::CodeGenerator(kCacheBytes, Cache);
  if (Gen == nullptr) return false;
  Xbyak::ClearError();
  EmitStubs(*Gen);
  if (Xbyak::GetError() != 0 || Gen->getSize() > kStubBytes) return false;
  if (!Protect(Cache, kStubBytes)) return false;
  MakeTables();
  Context.data = Machine.data;
  Context.program = Machine.program;
  Context.lookup = Lookup;
  for (const void*& entry : Lookup) entry = UntranslatedStub;
  Gen->setSize(kStubBytes);
  State = JitState::kReady;
  return true;
}

void Flush() {
  for (uint32_t i = 0; i < TranslatedCount; ++i) Lookup[Translated[i]] = UntranslatedStub;
  TranslatedCount = 0;
  Gen->reset();
  Gen->setSize(kStubBytes);
  if (SealedEnd > kStubBytes) Unprotect(Cache + kStubBytes, SealedEnd - kStubBytes);
  SealedEnd = kStubBytes;
}

// --- Decoding --------------------------------------------------------------------------------

// clang-format off
enum class Op : uint8_t {
  kStep,  // run by the reference
  kAdd, kAdc, kSub, kSbc, kCp, kCpc, kAnd, kOr, kEor,
  kSubi, kSbci, kCpi, kAndi, kOri,
  kCom, kNeg, kInc, kDec, kAsr, kLsr, kRor, kSwap,
  kAdiw, kSbiw, kMul, kMuls, kMulsu, kFmul, kFmuls, kFmulsu,
  kNop, kMov, kMovw, kLdi,
  kLd, kSt, kLdd, kStd, kLoadAt, kStoreAt, kSbi, kCbi, kPush, kPop, kLpm, kElpm,
  kBset, kBclr, kBst, kBld, kLoadSreg, kStoreSreg,
  // Terminators.
  kJump, kCall, kRet, kIjmp, kIcall, kEijmp, kEicall, kBrbs, kBrbc, kCpse, kSkipClear, kSkipSet,
};
// clang-format on

struct Insn {
  Op op = Op::kStep;
  uint8_t a = 0, b = 0;  // registers, pointer, immediate, mask
  int8_t change = 0;     // pointer update of LD, ST, LPM, ELPM: -1, 0, +1
  uint8_t length = 1;
  int32_t x = 0;        // data address, displacement
  uint32_t target = 0;  // jump, call, branch or skip target
};

// How an instruction uses the flags.
struct FlagUse {
  uint8_t writes = 0;        // flags it sets
  uint8_t result_reads = 0;  // flags its result depends on (ADC's carry)
  uint8_t flag_reads = 0;    // flags its flags depend on, whenever any is computed
  bool keeps_zero = false;   // Z is cleared or kept: reads Z whenever Z is computed
  bool has_carry_form = false;
  bool observes_all = false;     // reads SREG: every flag must be exact before it
  bool exact_to_escape = false;  // may escape: every flag must be exact if it does
};

constexpr uint8_t kArithFlags = 0x3F, kLogicFlags = 0x1E, kShiftFlags = 0x1F;

// clang-format off
FlagUse FlagsOf(const Insn& i) {
  FlagUse u;
  switch (i.op) {
    case Op::kAdd: case Op::kSub: case Op::kSubi: case Op::kNeg:
    case Op::kCp: case Op::kCpi:
      u.writes = kArithFlags;
      u.has_carry_form = true;
      break;
    case Op::kAdc:
      u.writes = kArithFlags;
      u.result_reads = kC;
      u.has_carry_form = true;
      break;
    case Op::kSbc: case Op::kSbci:
      u.writes = kArithFlags;
      u.result_reads = kC;
      u.keeps_zero = true;
      u.has_carry_form = true;
      break;
    case Op::kCpc:
      u.writes = kArithFlags;
      u.flag_reads = kC;
      u.keeps_zero = true;
      u.has_carry_form = true;
      break;
    case Op::kAnd: case Op::kOr: case Op::kEor: case Op::kAndi: case Op::kOri:
    case Op::kInc: case Op::kDec:
      u.writes = kLogicFlags;
      break;
    case Op::kCom: case Op::kAsr: case Op::kLsr: case Op::kAdiw: case Op::kSbiw:
      u.writes = kShiftFlags;
      u.has_carry_form = true;
      break;
    case Op::kRor:
      u.writes = kShiftFlags;
      u.result_reads = kC;
      u.has_carry_form = true;
      break;
    case Op::kMul: case Op::kMuls: case Op::kMulsu: case Op::kFmul: case Op::kFmuls:
    case Op::kFmulsu:
      u.writes = kC | kZ;
      break;
    case Op::kBset: case Op::kBclr:
      u.writes = i.a;
      break;
    case Op::kBst:
      u.writes = kT;
      break;
    case Op::kBld:
      u.result_reads = kT;
      break;
    case Op::kLd: case Op::kLdd: case Op::kStd: case Op::kPop: case Op::kElpm:
      u.exact_to_escape = true;
      break;
    case Op::kLoadSreg:
      u.observes_all = true;
      break;
    case Op::kStoreSreg:
      u.writes = kAll;
      break;
    default:
      break;
  }
  return u;
}
// clang-format on

// The instructions whose flags HostFlags takes from the host's after the operation.
bool RawCapable(const Insn& i) {
  switch (i.op) {
    case Op::kAdd:
    case Op::kAdc:
    case Op::kSub:
    case Op::kSbc:
    case Op::kSubi:
    case Op::kSbci:
    case Op::kAnd:
    case Op::kOr:
    case Op::kAndi:
    case Op::kOri:
    case Op::kNeg:
    case Op::kInc:
    case Op::kDec:
    case Op::kAdiw:
    case Op::kSbiw:
      return true;
    case Op::kEor:
      return i.a != i.b;  // CLR sets its flags without the host's
    default:
      return false;
  }
}

bool IsTerminator(Op op) {
  return op >= Op::kJump;
}

bool IsTwoWordInstruction(uint16_t word) {
  const unsigned hi = word >> 8, low4 = word & 0x0F;
  return ((hi == 0x94 || hi == 0x95) && low4 >= 0x0C) || (hi >= 0x90 && hi <= 0x93 && low4 == 0);
}

uint16_t WordAt(uint32_t pc) {
  return uint16_t(Machine.program[2 * pc] | (Machine.program[2 * pc + 1] << 8));
}

uint32_t FieldK22(const uint8_t* w) {
  const uint32_t w1 = w[0] | (w[1] << 8);
  return ((w1 & 0x1F0) << 13) | ((w1 & 1) << 16) | SecondWord(w);
}

Insn Make(Op op, int a = 0, int b = 0, int32_t x = 0) {
  Insn i;
  i.op = op;
  i.a = uint8_t(a);
  i.b = uint8_t(b);
  i.x = x;
  return i;
}

Insn Pointer(Op op, int reg, int pointer, int change) {
  Insn i = Make(op, reg, pointer);
  i.change = int8_t(change);
  return i;
}

// A skip passes over the next instruction, one or two words; the word it tests must lie in
// program memory (the reference faults otherwise).
Insn Skip(Op op, uint32_t pc, int a, int mask) {
  if (pc + 1 >= kProgramWords) return Insn{};
  Insn i = Make(op, a, mask);
  i.target = pc + (IsTwoWordInstruction(WordAt(pc + 1)) ? 3 : 2);
  return i;
}

Insn DecodeAt(uint32_t pc) {
  const uint8_t* w = &Machine.program[2 * pc];
  const InstructionHandler h = ResolveHandler(WordAt(pc));
  const int d5 = FieldD5(w), r5 = FieldR5(w), d4 = FieldD4(w), k8 = FieldK8(w);

  if (h == ExecADD) return Make(Op::kAdd, d5, r5);
  if (h == ExecADC) return Make(Op::kAdc, d5, r5);
  if (h == ExecSUB) return Make(Op::kSub, d5, r5);
  if (h == ExecSBC) return Make(Op::kSbc, d5, r5);
  if (h == ExecCP) return Make(Op::kCp, d5, r5);
  if (h == ExecCPC) return Make(Op::kCpc, d5, r5);
  if (h == ExecAND) return Make(Op::kAnd, d5, r5);
  if (h == ExecOR) return Make(Op::kOr, d5, r5);
  if (h == ExecEOR) return Make(Op::kEor, d5, r5);
  if (h == ExecSUBI) return Make(Op::kSubi, d4, k8);
  if (h == ExecSBCI) return Make(Op::kSbci, d4, k8);
  if (h == ExecCPI) return Make(Op::kCpi, d4, k8);
  if (h == ExecANDI) return Make(Op::kAndi, d4, k8);
  if (h == ExecORI) return Make(Op::kOri, d4, k8);
  if (h == ExecCOM) return Make(Op::kCom, d5);
  if (h == ExecNEG) return Make(Op::kNeg, d5);
  if (h == ExecINC) return Make(Op::kInc, d5);
  if (h == ExecDEC) return Make(Op::kDec, d5);
  if (h == ExecASR) return Make(Op::kAsr, d5);
  if (h == ExecLSR) return Make(Op::kLsr, d5);
  if (h == ExecROR) return Make(Op::kRor, d5);
  if (h == ExecSWAP) return Make(Op::kSwap, d5);
  if (h == ExecADIW) return Make(Op::kAdiw, FieldPair(w), FieldK6(w));
  if (h == ExecSBIW) return Make(Op::kSbiw, FieldPair(w), FieldK6(w));
  if (h == ExecMUL) return Make(Op::kMul, d5, r5);
  if (h == ExecMULS) return Make(Op::kMuls, d4, FieldR4(w));
  if (h == ExecMULSU) return Make(Op::kMulsu, FieldD3(w), FieldR3(w));
  if (h == ExecFMUL) return Make(Op::kFmul, FieldD3(w), FieldR3(w));
  if (h == ExecFMULS) return Make(Op::kFmuls, FieldD3(w), FieldR3(w));
  if (h == ExecFMULSU) return Make(Op::kFmulsu, FieldD3(w), FieldR3(w));
  if (h == ExecNOP || h == ExecSLEEP || h == ExecSPM || h == ExecUNASSIGNED) return Make(Op::kNop);
  if (h == ExecMOV) return Make(Op::kMov, d5, r5);
  if (h == ExecMOVW) return Make(Op::kMovw, 2 * (w[0] >> 4), 2 * (w[0] & 0x0F));
  if (h == ExecLDI) return Make(Op::kLdi, d4, k8);

  if (h == ExecLD_X) return Pointer(Op::kLd, d5, 26, 0);
  if (h == ExecLD_XINC) return Pointer(Op::kLd, d5, 26, 1);
  if (h == ExecLD_XDEC) return Pointer(Op::kLd, d5, 26, -1);
  if (h == ExecLD_Y) return Pointer(Op::kLd, d5, 28, 0);
  if (h == ExecLD_YINC) return Pointer(Op::kLd, d5, 28, 1);
  if (h == ExecLD_YDEC) return Pointer(Op::kLd, d5, 28, -1);
  if (h == ExecLD_ZINC) return Pointer(Op::kLd, d5, 30, 1);
  if (h == ExecLD_ZDEC) return Pointer(Op::kLd, d5, 30, -1);
  if (h == ExecST_X) return Pointer(Op::kSt, d5, 26, 0);
  if (h == ExecST_XINC) return Pointer(Op::kSt, d5, 26, 1);
  if (h == ExecST_XDEC) return Pointer(Op::kSt, d5, 26, -1);
  if (h == ExecST_Y) return Pointer(Op::kSt, d5, 28, 0);
  if (h == ExecST_YINC) return Pointer(Op::kSt, d5, 28, 1);
  if (h == ExecST_YDEC) return Pointer(Op::kSt, d5, 28, -1);
  if (h == ExecST_ZINC) return Pointer(Op::kSt, d5, 30, 1);
  if (h == ExecST_ZDEC) return Pointer(Op::kSt, d5, 30, -1);
  if (h == ExecLDD || h == ExecSTD) {
    return Make(h == ExecLDD ? Op::kLdd : Op::kStd, d5, (w[0] & 8) ? 28 : 30, FieldQ(w));
  }
  if (h == ExecPUSH) return Make(Op::kPush, d5);
  if (h == ExecPOP) return Make(Op::kPop, d5);
  // Fixed addresses: SREG is the packed flags, everything else plain memory.
  if (h == ExecLDS || h == ExecSTS || h == ExecIN || h == ExecOUT) {
    const bool load = h == ExecLDS || h == ExecIN;
    const bool direct = h == ExecLDS || h == ExecSTS;
    if (direct && pc + 1 >= kProgramWords) return Insn{};
    const int32_t address = direct ? SecondWord(w) : FieldA6(w) + 0x20;
    Insn i = address == kSregAddress ? Make(load ? Op::kLoadSreg : Op::kStoreSreg, d5)
                                     : Make(load ? Op::kLoadAt : Op::kStoreAt, d5, 0, address);
    i.length = direct ? 2 : 1;
    return i;
  }
  if (h == ExecSBI || h == ExecCBI) {
    return Make(h == ExecSBI ? Op::kSbi : Op::kCbi, 0, 1 << FieldB(w), 0x20 + FieldA5(w));
  }
  if (h == ExecLPM_R0) return Pointer(Op::kLpm, 0, 30, 0);
  if (h == ExecLPM) return Pointer(Op::kLpm, d5, 30, 0);
  if (h == ExecLPM_INC) return Pointer(Op::kLpm, d5, 30, 1);
  if (h == ExecELPM_R0) return Pointer(Op::kElpm, 0, 30, 0);
  if (h == ExecELPM) return Pointer(Op::kElpm, d5, 30, 0);
  if (h == ExecELPM_INC) return Pointer(Op::kElpm, d5, 30, 1);
  if (h == ExecBSET) return Make(Op::kBset, 1 << ((w[0] >> 4) & 7));
  if (h == ExecBCLR) return Make(Op::kBclr, 1 << ((w[0] >> 4) & 7));
  if (h == ExecBST) return Make(Op::kBst, d5, 1 << FieldB(w));
  if (h == ExecBLD) return Make(Op::kBld, d5, 1 << FieldB(w));

  // Jumps and calls outside program memory fault on the reference.
  if (h == ExecRJMP || h == ExecRCALL) {
    const uint32_t target = pc + 1 + uint32_t(FieldK12(w));
    if (target >= kProgramWords) return Insn{};
    Insn i = Make(h == ExecRJMP ? Op::kJump : Op::kCall);
    i.target = target;
    return i;
  }
  if (h == ExecJMP || h == ExecCALL) {
    if (pc + 1 >= kProgramWords || FieldK22(w) >= kProgramWords) return Insn{};
    Insn i = Make(h == ExecJMP ? Op::kJump : Op::kCall);
    i.target = FieldK22(w);
    i.length = 2;
    return i;
  }
  if (h == ExecRET) return Make(Op::kRet);
  if (h == ExecIJMP) return Make(Op::kIjmp);
  if (h == ExecICALL) return Make(Op::kIcall);
  if (h == ExecEIJMP) return Make(Op::kEijmp);
  if (h == ExecEICALL) return Make(Op::kEicall);
  if (h == ExecBRBS || h == ExecBRBC) {
    // A target outside program memory is left to the fetch there, which faults.
    Insn i = Make(h == ExecBRBS ? Op::kBrbs : Op::kBrbc, 1 << FieldB(w));
    i.target = pc + 1 + uint32_t(FieldK7(w));
    return i;
  }
  if (h == ExecCPSE) return Skip(Op::kCpse, pc, d5, r5);
  if (h == ExecSBRC) return Skip(Op::kSkipClear, pc, d5, 1 << FieldB(w));
  if (h == ExecSBRS) return Skip(Op::kSkipSet, pc, d5, 1 << FieldB(w));
  if (h == ExecSBIC) return Skip(Op::kSkipClear, pc, 0x20 + FieldA5(w), 1 << FieldB(w));
  if (h == ExecSBIS) return Skip(Op::kSkipSet, pc, 0x20 + FieldA5(w), 1 << FieldB(w));
  // BREAK, WDR, RETI, XCH, LAS, LAC, LAT and the undefined words.
  return Insn{};
}

// --- Emitting ----------------------------------------------------------------------------------

enum class Need : uint8_t { kNone, kCarry, kAll };

struct Block {
  uint32_t pc;
  uint32_t count;
  Insn insn[kMaxBlockInstructions];
  uint32_t at[kMaxBlockInstructions];
  Need need[kMaxBlockInstructions];
  // The carry passed from an instruction to the next one in the host's carry flag, without
  // going through r13: multi-byte arithmetic and shifts.
  bool carry_to_next[kMaxBlockInstructions];
  // Flags an instruction leaves in the raw snapshot (kRawAh) instead of r13: only a
  // later escape may need them. An escape composes `compose` of them into r13 before it leaves
  // (with Z kept from r13 as SBC's rule, `compose_keeps_zero`).
  bool raw[kMaxBlockInstructions];
  uint8_t compose[kMaxBlockInstructions];
  bool compose_keeps_zero[kMaxBlockInstructions];
  uint32_t next;  // the pc after the last instruction
};

Block Current;

Xbyak::Address R(int address) {
  return byte[rbx + address];
}

// The flags in `mask` from the host's flags after an 8- or 16-bit operation (eax and ecx are
// free; LAHF writes ah). With `keep_zero`, Z stays set only if it was.
void FlagsFromHost(Xbyak::CodeGenerator& g, uint8_t mask, bool keep_zero) {
  g.seto(cl);
  g.lahf();
  g.movzx(eax, ah);
  g.movzx(ecx, cl);
  g.lea(eax, ptr[rax + rcx * 8]);
  g.movzx(eax, byte[r15 + rax + offsetof(JitContext, arith)]);
  if (keep_zero) {
    g.mov(ecx, r13d);
    g.or_(ecx, ~uint32_t(kZ));
    g.and_(eax, ecx);
  }
  if (mask != kArithFlags) g.and_(eax, mask);
  g.and_(r13d, ~uint32_t(mask));
  g.or_(r13d, eax);
}

// A register pair (or SP) as a 16-bit value in eax, ecx or edx, read a byte at a time: the bytes
// were mostly written one by one, and a 16-bit load of two separate byte stores waits for them to
// leave the store buffer.
void LoadPair(Xbyak::CodeGenerator& g, const Xbyak::Reg32& to, const Xbyak::Address& low,
              const Xbyak::Address& high) {
  g.movzx(to, low);
  if (to == eax) g.mov(ah, high);
  if (to == ecx) g.mov(ch, high);
  if (to == edx) g.mov(dh, high);
}
void LoadPair(Xbyak::CodeGenerator& g, const Xbyak::Reg32& to, int address) {
  LoadPair(g, to, byte[rbx + address], byte[rbx + address + 1]);
}

// The same for a store: two byte stores, so that later byte loads of either half are forwarded
// from the store buffer (a byte load of the upper half of a 16-bit store is not).
void StorePair(Xbyak::CodeGenerator& g, const Xbyak::Reg32& from, int address) {
  if (from == eax) {
    g.mov(byte[rbx + address], al);
    g.mov(byte[rbx + address + 1], ah);
  }
  if (from == ecx) {
    g.mov(byte[rbx + address], cl);
    g.mov(byte[rbx + address + 1], ch);
  }
  if (from == edx) {
    g.mov(byte[rbx + address], dl);
    g.mov(byte[rbx + address + 1], dh);
  }
}

// C from the host's carry.
void CarryFromHost(Xbyak::CodeGenerator& g) {
  g.setc(al);
  g.and_(r13b, uint8_t(~kC));
  g.or_(r13b, al);
}

// Set by EmitInsn for the instruction it emits: its carry comes from the previous instruction in
// the host's carry flag, its own carry goes to the next one there.
bool CarryInHost = false, CarryOutHost = false;
// Set by EmitInsn: the instruction leaves its flags in the raw snapshot as well.
bool RawSnapshot = false;

void HostFlags(Xbyak::CodeGenerator& g, Need need, uint8_t mask, bool keep_zero = false) {
  if (RawSnapshot) {  // SETO, LAHF and MOV leave the host's flags (a carry in flight)
    g.seto(byte[rsp + kRawO]);
    g.lahf();
    g.mov(byte[rsp + kRawAh], ah);  // AH cannot go with a REX prefix: no r8-r15 base
  }
  if (need == Need::kCarry && !CarryOutHost) CarryFromHost(g);
  if (need == Need::kAll) FlagsFromHost(g, mask, keep_zero);
}

void CarryIn(Xbyak::CodeGenerator& g) {
  if (!CarryInHost) g.bt(r13d, 0);
}

// Instructions that take the carry in: from the host's carry flag when the instruction before
// leaves it there.
bool TakesCarry(const Insn& i, Need need) {
  return i.op == Op::kAdc || i.op == Op::kSbc || i.op == Op::kSbci || i.op == Op::kRor ||
         (i.op == Op::kCpc && need != Need::kNone);
}

// A place further on in the block that jumps lead to before it is emitted: the escape of an
// instruction (which the reference must run in some cases: SREG, registers and I/O by
// displacement, addresses that fault), the cold path of the budget, a branch's taken side.
// Binding it patches the rel32 of every jump to it. (Xbyak's labels do the same through hash
// tables, whose allocations cost more than the rest of a block's translation.)
struct Forward {
  uint32_t sites[2];
  uint8_t count = 0;
};

enum Condition : uint8_t { kJb = 0x2, kJae = 0x3, kJe = 0x4, kJne = 0x5, kJs = 0x8 };

void JumpIf(Xbyak::CodeGenerator& g, Condition condition, Forward& to) {
  g.db(0x0F);
  g.db(0x80 | condition);
  if (to.count == std::size(to.sites)) {
    Xbyak::local::SetError(Xbyak::ERR_LABEL_IS_TOO_FAR);  // the block is not used
    return;
  }
  to.sites[to.count++] = uint32_t(g.getSize());
  g.dd(0);
}

void Bind(Xbyak::CodeGenerator& g, const Forward& place) {
  for (uint8_t n = 0; n < place.count; ++n) {
    const int32_t distance = int32_t(g.getSize() - (place.sites[n] + 4));
    memcpy(const_cast<uint8_t*>(g.getCode()) + place.sites[n], &distance, 4);
  }
}

// Leaves for the block at `target`: straight into its code when it is translated (or is this
// block), through the table otherwise.
void Link(Xbyak::CodeGenerator& g, uint32_t target, const uint8_t* start) {
  if (target >= kProgramWords) {
    g.mov(eax, target);
    g.jmp(Writable(UntranslatedStub), Xbyak::CodeGenerator::T_NEAR);
  } else if (target == Current.pc) {
    g.jmp(start, Xbyak::CodeGenerator::T_NEAR);
  } else if (Lookup[target] != UntranslatedStub) {
    g.jmp(Writable(Lookup[target]), Xbyak::CodeGenerator::T_NEAR);
  } else {
    g.mov(eax, target);
    g.jmp(qword[r14 + target * 8]);
  }
}

// Leaves for the pc in eax, known only at run time.
void LinkIndirect(Xbyak::CodeGenerator& g) {
  g.cmp(eax, kProgramWords);
  g.jae(Writable(UntranslatedStub));
  g.jmp(qword[r14 + rax * 8]);
}

// The return address pushed as the reference does (low byte at SP-2, SP lowered by three, all
// modulo 0x10000).
void PushReturn(Xbyak::CodeGenerator& g, uint32_t address) {
  LoadPair(g, eax, kSpAddress);
  g.lea(ecx, ptr[rax - 2]);
  g.movzx(ecx, cx);
  g.mov(byte[rbx + rcx], uint8_t(address));
  g.lea(ecx, ptr[rax - 1]);
  g.movzx(ecx, cx);
  g.mov(byte[rbx + rcx], uint8_t(address >> 8));
  g.mov(byte[rbx + rax], uint8_t((address >> 16) & 0x3F));
  g.sub(eax, 3);
  StorePair(g, eax, kSpAddress);
}

// Guest registers used within a block are kept in host registers as well. The instructions that
// only compute on registers (Computes) write the host copy alone and mark it dirty; every other
// instruction, and the block's end, first stores the dirty copies, so that the data array is the
// machine's state wherever anything else can look at it (an escape, an exit, a load through a
// pointer, an I/O access by address). Anything that may write a guest register in memory only (a
// store through a pointer, a load, a pair update) forgets the copies it may change.
constexpr int kCacheRegisters = 6;
const Xbyak::Reg8* const kCache8[kCacheRegisters] = {&r8b, &r9b, &r10b, &r11b, &dil, &sil};
const Xbyak::Reg32* const kCache32[kCacheRegisters] = {&r8d, &r9d, &r10d, &r11d, &edi, &esi};
int8_t CachedIn[32];                 // host register of each guest register, or -1
int8_t CacheHolds[kCacheRegisters];  // guest register of each host register, or -1
bool CacheDirty[kCacheRegisters];    // the copy is newer than the data array
int CacheNext = 0;

// Stores the dirty copies.
void StoreDirty(Xbyak::CodeGenerator& g) {
  for (int h = 0; h < kCacheRegisters; ++h) {
    if (!CacheDirty[h]) continue;
    g.mov(R(CacheHolds[h]), *kCache8[h]);  // MOV leaves the host's flags (a carry in flight)
    CacheDirty[h] = false;
  }
}

// At a block's start, and where nothing is dirty.
void ForgetAll() {
  std::memset(CachedIn, -1, sizeof CachedIn);
  std::memset(CacheHolds, -1, sizeof CacheHolds);
  std::memset(CacheDirty, 0, sizeof CacheDirty);
}

void Release(int h) {
  CachedIn[CacheHolds[h]] = -1;
  CacheHolds[h] = -1;
  CacheDirty[h] = false;
}

// A copy about to go stale: a dirty one is stored first.
void Forget(Xbyak::CodeGenerator& g, int guest) {
  if (guest < 0 || guest >= 32 || CachedIn[guest] < 0) return;
  const int h = CachedIn[guest];
  if (CacheDirty[h]) g.mov(R(guest), *kCache8[h]);
  Release(h);
}

void MarkDirty(int guest) {
  CacheDirty[CachedIn[guest]] = true;
}

// Calls `use` with a source operand: the host copy when there is one, else the data array.
template <typename Use>
void WithSource(int guest, const Use& use) {
  if (CachedIn[guest] >= 0) {
    use(*kCache8[CachedIn[guest]]);
  } else {
    use(R(guest));
  }
}

// A host register for a guest register the caller fills now (never taking the copy of `keep`):
// its old copy is dropped unstored, another guest register's is stored first if dirty.
int Take(Xbyak::CodeGenerator& g, int guest, int keep) {
  if (CachedIn[guest] >= 0) Release(CachedIn[guest]);
  int h = CacheNext;
  if (keep >= 0 && CachedIn[keep] == h) h = (h + 1) % kCacheRegisters;
  CacheNext = (h + 1) % kCacheRegisters;
  if (CacheHolds[h] >= 0) Forget(g, CacheHolds[h]);
  CacheHolds[h] = int8_t(guest);
  CachedIn[guest] = int8_t(h);
  return h;
}

// The host copy of a guest register, loaded now if there is none.
const Xbyak::Reg8& Cached(Xbyak::CodeGenerator& g, int guest, int keep = -1) {
  if (CachedIn[guest] >= 0) return *kCache8[CachedIn[guest]];
  const int h = Take(g, guest, keep);
  g.movzx(*kCache32[h], R(guest));
  return *kCache8[h];
}

// Writes a guest register from `value` (a byte register or memory): a dirty host copy.
template <typename Value>
void Define(Xbyak::CodeGenerator& g, int guest, const Value& value, int keep = -1) {
  const int h = Take(g, guest, keep);
  g.movzx(*kCache32[h], value);
  CacheDirty[h] = true;
}

// The instructions that use guest registers only through Cached, WithSource, Define and Take, and
// cannot escape: their results may stay in host registers.
// clang-format off
bool Computes(Op op) {
  switch (op) {
    case Op::kAdd: case Op::kAdc: case Op::kSub: case Op::kSbc: case Op::kCp: case Op::kCpc:
    case Op::kSubi: case Op::kSbci: case Op::kCpi: case Op::kAnd: case Op::kOr: case Op::kEor:
    case Op::kAndi: case Op::kOri: case Op::kCom: case Op::kNeg: case Op::kInc: case Op::kDec:
    case Op::kAsr: case Op::kLsr: case Op::kRor: case Op::kMov: case Op::kMovw: case Op::kLdi:
    case Op::kNop:
      return true;
    default:
      return false;
  }
}
// clang-format on

// Forgets the copies of the guest registers that `i` may write other than through Cached.
// clang-format off
void ForgetWrites(Xbyak::CodeGenerator& g, const Insn& i) {
  const auto Forget = [&g](int guest) { velmora::Forget(g, guest); };
  switch (i.op) {
    case Op::kSt: case Op::kStd: case Op::kPush: case Op::kCall: case Op::kIcall:
    case Op::kEicall:
      ForgetAll();  // a store through a pointer or SP may hit any register
      break;
    case Op::kLd:
      Forget(i.a);
      Forget(i.b);
      Forget(i.b + 1);
      break;
    case Op::kLpm: case Op::kElpm:
      Forget(i.a);
      Forget(30);
      Forget(31);
      break;
    case Op::kMul: case Op::kMuls: case Op::kMulsu: case Op::kFmul: case Op::kFmuls:
    case Op::kFmulsu:
      Forget(0);
      Forget(1);
      break;
    case Op::kMovw: case Op::kAdiw: case Op::kSbiw:
      Forget(i.a);
      Forget(i.a + 1);
      break;
    case Op::kStoreAt: case Op::kSbi: case Op::kCbi:
      Forget(i.x);
      break;
    case Op::kLdd: case Op::kPop: case Op::kLoadAt: case Op::kSwap: case Op::kBld:
    case Op::kLoadSreg:
      Forget(i.a);
      break;
    default:
      break;
  }
}
// clang-format on

// Translates the instruction at Current.at[n]; escapes to `escape` before any side effect when
// the reference must run it.
void EmitInsn(Xbyak::CodeGenerator& g, uint32_t n, Forward& escape, const uint8_t* start) {
  const Insn& i = Current.insn[n];
  const Need need = Current.need[n];
  const int a = i.a, b = i.b;
  const uint32_t pc = Current.at[n];
  CarryInHost = n > 0 && Current.carry_to_next[n - 1];
  CarryOutHost = Current.carry_to_next[n];
  RawSnapshot = Current.raw[n];
  if (!Computes(i.op)) StoreDirty(g);
  ForgetWrites(g, i);
  if (need == Need::kAll || (need == Need::kCarry && !CarryOutHost)) {
    // LAHF and SETcc write parts of eax and ecx: without a full write first, each flag
    // computation would wait for the last one's table look-up. MOV leaves the host's flags.
    g.mov(eax, 0);
    g.mov(ecx, 0);
  }
  switch (i.op) {
    case Op::kAdd:
    case Op::kAdc:
    case Op::kSub:
    case Op::kSbc: {
      // Operate on the host copy, store: chains of read-modify-write instructions on memory,
      // or of stores and reloads, run slower.
      const Xbyak::Reg8& d = Cached(g, a, b);
      if (i.op == Op::kAdc || i.op == Op::kSbc) CarryIn(g);
      WithSource(b, [&](const auto& r) {
        if (i.op == Op::kAdd) g.add(d, r);
        if (i.op == Op::kAdc) g.adc(d, r);
        if (i.op == Op::kSub) g.sub(d, r);
        if (i.op == Op::kSbc) g.sbb(d, r);
      });
      MarkDirty(a);
    }
      HostFlags(g, need, kArithFlags, i.op == Op::kSbc);
      break;
    case Op::kCp:
    case Op::kCpc:
      if (need == Need::kNone) break;
      {
        const Xbyak::Reg8& d = Cached(g, a, b);
        if (i.op == Op::kCpc) {
          g.mov(edx, d.cvt32());
          CarryIn(g);
        }
        WithSource(b, [&](const auto& r) {
          if (i.op == Op::kCpc) {
            g.sbb(dl, r);
          } else {
            g.cmp(d, r);
          }
        });
      }
      HostFlags(g, need, kArithFlags, i.op == Op::kCpc);
      break;
    case Op::kSubi:
    case Op::kSbci:
    case Op::kAndi:
    case Op::kOri:
    case Op::kNeg:
    case Op::kInc:
    case Op::kDec: {
      // One register, in place: the host's operation sets the flags as AVR's does.
      const Xbyak::Reg8& d = Cached(g, a);
      if (i.op == Op::kSbci) CarryIn(g);
      if (i.op == Op::kSubi) g.sub(d, b);
      if (i.op == Op::kSbci) g.sbb(d, b);
      if (i.op == Op::kAndi) g.and_(d, b);
      if (i.op == Op::kOri) g.or_(d, b);
      if (i.op == Op::kNeg) g.neg(d);
      if (i.op == Op::kInc) g.inc(d);
      if (i.op == Op::kDec) g.dec(d);
      MarkDirty(a);
      const bool arith = i.op == Op::kSubi || i.op == Op::kSbci || i.op == Op::kNeg;
      HostFlags(g, need, arith ? kArithFlags : kLogicFlags, i.op == Op::kSbci);
      break;
    }
    case Op::kCpi:
      if (need == Need::kNone) break;
      g.cmp(Cached(g, a), b);
      HostFlags(g, need, kArithFlags);
      break;
    case Op::kAnd:
    case Op::kOr:
    case Op::kEor:
      if (i.op == Op::kEor && a == b) {
        // CLR: no need to read the register; the flags are known (Z, not N, V, S).
        const int h = Take(g, a, -1);
        g.mov(*kCache32[h], 0);
        CacheDirty[h] = true;
        if (need != Need::kNone) {
          g.and_(r13d, ~uint32_t(kLogicFlags));
          g.or_(r13d, kZ);
        }
        break;
      }
      {
        const Xbyak::Reg8& d = Cached(g, a, b);
        WithSource(b, [&](const auto& r) {
          if (i.op == Op::kAnd) g.and_(d, r);
          if (i.op == Op::kOr) g.or_(d, r);
          if (i.op == Op::kEor) g.xor_(d, r);
        });
        MarkDirty(a);
      }
      HostFlags(g, need, kLogicFlags);
      break;
    case Op::kCom: {
      const Xbyak::Reg8& d = Cached(g, a);
      g.xor_(d, 0xFF);
      MarkDirty(a);
    }
      if (need == Need::kAll) FlagsFromHost(g, kLogicFlags, false);
      if (need != Need::kNone) g.or_(r13d, kC);
      break;
    case Op::kSwap:
      g.rol(R(a), 4);
      break;
    case Op::kAsr:
    case Op::kLsr:
    case Op::kRor:
      // The host's shifts leave the bit shifted out in its carry, the result in place.
      {
        const Xbyak::Reg8& d = Cached(g, a);
        if (i.op == Op::kAsr) g.sar(d, 1);
        if (i.op == Op::kLsr) g.shr(d, 1);
        if (i.op == Op::kRor) {
          CarryIn(g);
          g.rcr(d, 1);
        }
        MarkDirty(a);
        g.movzx(edx, d);
      }
      if (need == Need::kCarry && !CarryOutHost) CarryFromHost(g);
      if (need == Need::kAll) {
        g.setc(cl);
        g.movzx(ecx, cl);
        g.shl(ecx, 8);
        g.movzx(eax, dl);
        g.or_(eax, ecx);
        g.movzx(eax, byte[r15 + rax + offsetof(JitContext, shift)]);
        g.and_(r13d, ~uint32_t(kShiftFlags));
        g.or_(r13d, eax);
      }
      break;
    case Op::kAdiw:
      LoadPair(g, edx, a);
      g.add(dx, b);
      StorePair(g, edx, a);
      HostFlags(g, need, kShiftFlags);
      break;
    case Op::kSbiw:
      LoadPair(g, edx, a);
      g.sub(dx, b);
      StorePair(g, edx, a);
      HostFlags(g, need, kShiftFlags);
      break;
    case Op::kMul:
    case Op::kMuls:
    case Op::kMulsu:
    case Op::kFmul:
    case Op::kFmuls:
    case Op::kFmulsu: {
      const bool signed_a =
          i.op == Op::kMuls || i.op == Op::kMulsu || i.op == Op::kFmuls || i.op == Op::kFmulsu;
      const bool signed_b = i.op == Op::kMuls || i.op == Op::kFmuls;
      const bool fractional = i.op == Op::kFmul || i.op == Op::kFmuls || i.op == Op::kFmulsu;
      if (signed_a) {
        g.movsx(eax, R(a));
      } else {
        g.movzx(eax, R(a));
      }
      if (signed_b) {
        g.movsx(ecx, R(b));
      } else {
        g.movzx(ecx, R(b));
      }
      g.imul(eax, ecx);
      if (fractional) {
        g.lea(edx, ptr[rax + rax]);
      } else {
        g.mov(edx, eax);
      }
      StorePair(g, edx, 0);
      if (need != Need::kNone) {
        // C is bit 15 of the product, Z tests the stored value.
        g.shr(eax, 15);
        g.and_(eax, 1);
        g.test(dx, dx);
        g.setz(cl);
        g.movzx(ecx, cl);
        g.lea(eax, ptr[rax + rcx * 2]);
        g.and_(r13d, ~uint32_t(kC | kZ));
        g.or_(r13d, eax);
      }
      break;
    }
    case Op::kNop:
      break;
    case Op::kMov:
      WithSource(b, [&](const auto& r) { Define(g, a, r, b); });
      break;
    case Op::kMovw:
      for (int k = 0; k < 2; ++k) {
        WithSource(b + k, [&](const auto& r) { Define(g, a + k, r, b + k); });
      }
      break;
    case Op::kLdi: {
      const int h = Take(g, a, -1);
      g.mov(*kCache32[h], b);
      CacheDirty[h] = true;
      break;
    }
    case Op::kLd:
    case Op::kSt:
      // Pre-decrement moves the pointer before the access, post-increment after the read; a
      // load writes its register last, a store reads its register after the update.
      LoadPair(g, eax, b);
      if (i.change < 0) {
        g.sub(eax, 1);
        g.movzx(eax, ax);
      }
      g.cmp(eax, kSregAddress);
      JumpIf(g, kJe, escape);
      if (i.change < 0) StorePair(g, eax, b);
      if (i.op == Op::kLd) {
        g.mov(dl, byte[rbx + rax]);
        if (i.change > 0) {
          g.lea(ecx, ptr[rax + 1]);
          StorePair(g, ecx, b);
        }
        Define(g, a, dl);
      } else {
        if (i.change > 0) {
          g.lea(ecx, ptr[rax + 1]);
          StorePair(g, ecx, b);
        }
        g.mov(dl, R(a));
        g.mov(byte[rbx + rax], dl);
      }
      break;
    case Op::kLdd:
    case Op::kStd:
      // Below 0x60 (registers, I/O, SREG) or beyond 0xFFFF (a fault): the reference.
      LoadPair(g, eax, b);
      g.lea(ecx, ptr[rax + i.x - kArgumentAddress]);
      g.cmp(ecx, kGuestDataSize - kArgumentAddress);
      JumpIf(g, kJae, escape);
      if (i.op == Op::kLdd) {
        Define(g, a, byte[rbx + rax + i.x]);
      } else {
        g.mov(dl, R(a));
        g.mov(byte[rbx + rax + i.x], dl);
      }
      break;
    case Op::kLoadAt:
      g.mov(dl, R(i.x));
      g.mov(R(a), dl);
      break;
    case Op::kStoreAt:
      g.mov(dl, R(a));
      g.mov(R(i.x), dl);
      break;
    case Op::kSbi:
      g.or_(R(i.x), b);
      break;
    case Op::kCbi:
      g.and_(R(i.x), uint8_t(~b));
      break;
    case Op::kPush:
      LoadPair(g, eax, kSpAddress);
      g.cmp(eax, kSregAddress);
      JumpIf(g, kJe, escape);
      g.lea(ecx, ptr[rax - 1]);
      StorePair(g, ecx, kSpAddress);
      g.mov(dl, R(a));
      g.mov(byte[rbx + rax], dl);
      break;
    case Op::kPop:
      LoadPair(g, eax, kSpAddress);
      g.add(eax, 1);
      g.movzx(eax, ax);
      g.cmp(eax, kSregAddress);
      JumpIf(g, kJe, escape);
      StorePair(g, eax, kSpAddress);
      Define(g, a, byte[rbx + rax]);
      break;
    case Op::kLpm:
      LoadPair(g, eax, 30);
      g.mov(dl, byte[rbp + rax]);
      g.mov(R(a), dl);
      if (i.change > 0) {
        // Z read again after Rd is written
        LoadPair(g, eax, 30);
        g.add(eax, 1);
        StorePair(g, eax, 30);
      }
      break;
    case Op::kElpm:
      g.movzx(eax, byte[rbx + kRampzAddress]);
      g.shl(eax, 16);
      LoadPair(g, ecx, 30);
      g.or_(eax, ecx);
      g.cmp(eax, kProgramBytes);
      JumpIf(g, kJae, escape);
      g.mov(dl, byte[rbp + rax]);
      g.mov(R(a), dl);
      if (i.change > 0) {
        // Z and RAMPZ from the address before the load, over a loaded R30, R31 or RAMPZ.
        g.add(eax, 1);
        StorePair(g, eax, 30);
        g.shr(eax, 16);
        g.mov(byte[rbx + kRampzAddress], al);
      }
      break;
    case Op::kLoadSreg:
      g.mov(R(a), r13b);
      break;
    case Op::kStoreSreg:
      g.movzx(r13d, R(a));
      break;
    case Op::kBset:
      g.or_(r13d, a);
      break;
    case Op::kBclr:
      g.and_(r13d, ~uint32_t(a));
      break;
    case Op::kBst:
      g.test(R(a), b);
      g.setnz(al);
      g.movzx(eax, al);
      g.shl(eax, 6);
      g.and_(r13d, ~uint32_t(kT));
      g.or_(r13d, eax);
      break;
    case Op::kBld:
      g.mov(eax, r13d);
      g.shr(eax, 6);
      g.and_(eax, 1);
      g.neg(eax);
      g.and_(eax, b);
      g.mov(dl, R(a));
      g.and_(dl, uint8_t(~b));
      g.or_(dl, al);
      g.mov(R(a), dl);
      break;

    case Op::kJump:
      Link(g, i.target, start);
      break;
    case Op::kCall:
      PushReturn(g, pc + i.length);
      Link(g, i.target, start);
      break;
    case Op::kRet:
      LoadPair(g, ecx, kSpAddress);
      g.movzx(eax, byte[rbx + rcx + 3]);
      g.and_(eax, 0x3F);
      g.shl(eax, 16);
      LoadPair(g, edx, byte[rbx + rcx + 1], byte[rbx + rcx + 2]);
      g.or_(eax, edx);
      g.add(ecx, 3);
      StorePair(g, ecx, kSpAddress);
      LinkIndirect(g);
      break;
    case Op::kIjmp:
      LoadPair(g, eax, 30);
      LinkIndirect(g);
      break;
    case Op::kIcall:
      PushReturn(g, pc + 1);
      LoadPair(g, eax, 30);  // after the push, which may have written Z
      LinkIndirect(g);
      break;
    case Op::kEijmp:
    case Op::kEicall:
      // A target beyond program memory faults on the reference (after EICALL's push). The
      // push must not change Z or EIND, which give the target: SP 0x62 or above.
      if (i.op == Op::kEicall) {
        LoadPair(g, eax, kSpAddress);
        g.cmp(eax, 0x62);
        JumpIf(g, kJb, escape);
      }
      g.movzx(eax, byte[rbx + kEindAddress]);
      g.shl(eax, 16);
      LoadPair(g, ecx, 30);
      g.or_(eax, ecx);
      g.cmp(eax, kProgramWords);
      JumpIf(g, kJae, escape);
      if (i.op == Op::kEicall) {
        g.mov(edx, eax);
        PushReturn(g, pc + 1);
        g.mov(eax, edx);
      }
      g.jmp(qword[r14 + rax * 8]);
      break;
    case Op::kBrbs:
    case Op::kBrbc:
    case Op::kCpse:
    case Op::kSkipClear:
    case Op::kSkipSet: {
      Forward taken;
      if (i.op == Op::kBrbs || i.op == Op::kBrbc) {
        g.test(r13d, a);
        if (i.op == Op::kBrbs) {
          JumpIf(g, kJne, taken);
        } else {
          JumpIf(g, kJe, taken);
        }
      } else if (i.op == Op::kCpse) {
        g.mov(dl, R(a));
        g.cmp(dl, R(b));
        JumpIf(g, kJe, taken);
      } else {
        g.test(R(a), b);
        if (i.op == Op::kSkipSet) {
          JumpIf(g, kJne, taken);
        } else {
          JumpIf(g, kJe, taken);
        }
      }
      Link(g, pc + 1, start);
      Bind(g, taken);
      Link(g, i.target, start);
      break;
    }
    case Op::kStep:
      break;
  }
}

// The block at Current.pc: decoded, flags chosen, emitted at the cache's write position (the
// address returned is in the writable view).
const void* EmitBlock() {
  Xbyak::CodeGenerator& g = *Gen;
  const uint8_t* const start = g.getCurr();
  const uint32_t count = Current.count;

  Forward over;
  Forward escapes[kMaxBlockInstructions];
  if (count == 0) {
    // The first instruction is the reference's: leave to run it (the loop charges it).
    g.mov(eax, Current.pc);
    g.mov(ecx, kExitStep);
    g.jmp(ExitStub, Xbyak::CodeGenerator::T_NEAR);
    return start;
  }
  g.sub(r12, count);
  JumpIf(g, kJs, over);
  ForgetAll();
  for (uint32_t n = 0; n < count; ++n) EmitInsn(g, n, escapes[n], start);
  if (!IsTerminator(Current.insn[count - 1].op)) {
    StoreDirty(g);
    Link(g, Current.next, start);
  }

  // Cold paths: the budget cannot pay for the block; an instruction escapes to the reference
  // (the instructions from it on give their budget back).
  Bind(g, over);
  g.add(r12, count);
  g.mov(eax, Current.pc);
  g.mov(ecx, kExitOver);
  g.jmp(ExitStub, Xbyak::CodeGenerator::T_NEAR);
  for (uint32_t n = 0; n < count; ++n) {
    if (escapes[n].count == 0) continue;
    Bind(g, escapes[n]);
    if (const uint8_t mask = Current.compose[n]) {
      g.movzx(eax, byte[rsp + kRawAh]);
      g.movzx(ecx, byte[rsp + kRawO]);
      g.lea(eax, ptr[rax + rcx * 8]);
      g.movzx(eax, byte[r15 + rax + offsetof(JitContext, arith)]);
      if (Current.compose_keeps_zero[n]) {
        g.mov(ecx, r13d);
        g.or_(ecx, ~uint32_t(kZ));
        g.and_(eax, ecx);
      }
      g.and_(eax, mask);
      g.and_(r13d, ~uint32_t(mask));
      g.or_(r13d, eax);
    }
    g.add(r12, count - n);
    g.mov(eax, Current.at[n]);
    g.mov(ecx, kExitStep);
    g.jmp(ExitStub, Xbyak::CodeGenerator::T_NEAR);
  }
  return start;
}

void DecodeBlock(uint32_t pc) {
  Current.pc = pc;
  Current.count = 0;
  uint32_t at = pc;
  while (at < kProgramWords && Current.count < kMaxBlockInstructions) {
    const Insn i = DecodeAt(at);
    if (i.op == Op::kStep) break;
    Current.insn[Current.count] = i;
    Current.at[Current.count] = at;
    ++Current.count;
    at += i.length;
    if (IsTerminator(i.op)) break;
  }
  Current.next = at;
  // Backwards: the flags each instruction must compute. Flags that only a later escape may need
  // (`want` of the escapes waiting) are left by their writer in the raw snapshot when it can; one
  // snapshot serves the escapes up to the next writer that takes it, so whatever those escapes
  // still want beyond a snapshot's writer is computed as usual.
  uint8_t live = kAll;
  uint8_t want[kMaxBlockInstructions];
  uint32_t waiting[kMaxBlockInstructions];
  uint32_t waiting_count = 0;
  for (uint32_t n = Current.count; n-- > 0;) {
    const Insn& insn = Current.insn[n];
    const FlagUse u = FlagsOf(insn);
    uint8_t wanted = 0;
    for (uint32_t w = 0; w < waiting_count; ++w) wanted |= want[waiting[w]];
    uint8_t need = u.writes & live;
    const uint8_t pending = u.writes & wanted;
    const bool raw = pending != 0 && RawCapable(insn) &&
                     !(need != 0 && !(need == kC && u.has_carry_form));  // not kAll anyway
    if (!raw) need |= pending;
    Need variant = Need::kNone;
    uint8_t reads = u.result_reads;
    if (need != 0) {
      reads |= u.flag_reads;
      if (u.keeps_zero && (need & kZ)) reads |= kZ;
      variant = (need == kC && u.has_carry_form) ? Need::kCarry : Need::kAll;
    }
    Current.need[n] = variant;
    Current.raw[n] = raw;
    Current.compose[n] = 0;
    Current.compose_keeps_zero[n] = false;
    if (raw) {
      // The escapes compose from this snapshot; Z kept by SBC's rule reads r13's Z from before.
      if (u.keeps_zero) reads |= kZ;
      for (uint32_t w = 0; w < waiting_count; ++w) {
        const uint32_t e = waiting[w];
        Current.compose[e] = uint8_t(want[e] & u.writes);
        Current.compose_keeps_zero[e] = u.keeps_zero;
        live |= uint8_t(want[e] & ~u.writes);
      }
      waiting_count = 0;
    } else {
      for (uint32_t w = 0; w < waiting_count; ++w) want[waiting[w]] &= uint8_t(~u.writes);
    }
    // COM sets C to 1, the host's XOR clears it: COM's carry always goes through r13.
    Current.carry_to_next[n] = variant == Need::kCarry && Current.insn[n].op != Op::kCom &&
                               n + 1 < Current.count &&
                               TakesCarry(Current.insn[n + 1], Current.need[n + 1]);
    live = uint8_t((live & ~u.writes) | reads);
    if (u.observes_all) {
      live = kAll;
      waiting_count = 0;
    }
    if (u.exact_to_escape) {
      want[n] = uint8_t(~live);
      if (want[n] != 0) waiting[waiting_count++] = n;
    }
  }
}

// The code for the block at pc, translated now, with the blocks its static successors start
// (up to a few, while they fit in the pages made writable for it): fewer switches of the pages
// between writable and executable.
const void* Translate(uint32_t pc) {
  if (Gen->getSize() + kWindowBytes > kCacheBytes) Flush();
  const uint8_t* const write_at = Gen->getCurr();
  // Only the page the last translation ended in is code and must be made writable again.
  const size_t page = PlatformCodePageSize();
  const size_t first_page = Gen->getSize() / page * page;
  if (first_page < SealedEnd && !Unprotect(Cache + first_page, SealedEnd - first_page)) {
    return nullptr;
  }
  uint32_t pending[2 * kBlocksPerWindow + 2];
  uint32_t pending_count = 0, done = 0;
  pending[pending_count++] = pc;
  bool ok = true;
  while (pending_count > 0 && done < kBlocksPerWindow &&
         (Gen->getCurr() - write_at) + kMaxBlockBytes <= kWindowBytes) {
    const uint32_t at = pending[--pending_count];
    if (Lookup[at] != UntranslatedStub) continue;
    DecodeBlock(at);
    const uint8_t* const block_at = Gen->getCurr();
    Xbyak::ClearError();
    const void* code = EmitBlock();
    if (Xbyak::GetError() != 0 || Gen->getCurr() - block_at > ptrdiff_t(kMaxBlockBytes)) {
      ok = false;
      break;
    }
    Lookup[at] = Executable(code);
    Translated[TranslatedCount++] = at;
    ++done;
    if (Current.count == 0) continue;
    const Insn& last = Current.insn[Current.count - 1];
    const bool falls_through = !IsTerminator(last.op) || last.op >= Op::kBrbs;
    uint32_t next[2] = {kProgramWords, kProgramWords};
    if (falls_through || last.op == Op::kCall) {
      next[0] = IsTerminator(last.op) ? Current.at[Current.count - 1] + last.length : Current.next;
    }
    if (last.op == Op::kJump || last.op == Op::kCall || last.op >= Op::kBrbs) next[1] = last.target;
    for (const uint32_t n : next) {
      if (n < kProgramWords && Lookup[n] == UntranslatedStub) pending[pending_count++] = n;
    }
  }
  const size_t end = (Gen->getSize() + page - 1) / page * page;
  const bool sealed = Protect(Cache + first_page, end - first_page);
  if (sealed) SealedEnd = end;
  if (!sealed || !ok) return nullptr;
  return Lookup[pc];
}

void StoreFlags(uint32_t sreg) {
  SplitSreg(uint8_t(sreg));
}

}  // namespace

void ForgetTranslatedProgram() {
  if (State == JitState::kReady) Flush();
}

bool JitAvailable() {
  return Start();
}

uint64_t RunJitInstructions(uint64_t limit) {
  if (limit == 0 || (Machine.fault | Machine.quit) != 0) return 0;
  if (!Start()) {
    static bool noted = false;
    if (!noted) {
      std::fprintf(stderr,
                   "velmora: executable memory is not available; the JIT engine runs "
                   "the fast engine instead\n");
      noted = true;
    }
    return RunFastInstructions(limit);
  }
  const int64_t granted = limit > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(limit);
  Context.budget = granted;
  Context.sreg = ComposeSreg();
  uint32_t pc = Machine.pc;
  for (;;) {
    if (pc >= kProgramWords) {
      // The reference's fetch there is a step that faults.
      if (Context.budget > 0) {
        Context.budget -= 1;
        Machine.fault = kFaultPcOutside;
      }
      break;
    }
    const void* code = Lookup[pc];
    if (code == UntranslatedStub) {
      code = Translate(pc);
      if (code == nullptr) {
        // The cache could not be written: what is left runs on the reference.
        Flush();
        Machine.pc = pc;
        StoreFlags(Context.sreg);
        Context.budget -= int64_t(RunInstructions(uint64_t(Context.budget)));
        return uint64_t(granted - Context.budget);
      }
    }
    Context.code = code;
    Enter();
    pc = Context.pc;
    if (Context.reason == kExitPc) continue;
    Machine.pc = pc;
    StoreFlags(Context.sreg);
    if (Context.reason == kExitOver) {
      Context.budget -= int64_t(RunInstructions(uint64_t(Context.budget)));
      return uint64_t(granted - Context.budget);
    }
    // kExitStep: the reference runs the instruction at pc.
    if (Context.budget <= 0) return uint64_t(granted);
    Context.budget -= 1;
    StepInstruction();
    Context.sreg = ComposeSreg();
    pc = Machine.pc;
    if ((Machine.fault | Machine.quit) != 0) break;
  }
  Machine.pc = pc;
  StoreFlags(Context.sreg);
  return uint64_t(granted - Context.budget);
}

#endif

}  // namespace velmora
