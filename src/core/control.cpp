// Control flow and system instructions: jumps, calls, returns, branches, skips, status bits,
// and the hand-overs of BREAK and WDR to the host.
#include "core/encodings.h"
#include "core/fields.h"
#include "core/handlers.h"
#include "core/hostcall.h"

namespace velmora {

namespace {

uint8_t* const R = Machine.data;

inline uint16_t Z() {
  return uint16_t(R[30] | (R[31] << 8));
}

// A jump or call target outside program memory stops the machine with pc 0.
inline void JumpChecked(uint32_t target, uint8_t fault) {
  if (target >= kProgramWords) {
    Machine.pc = 0;
    if (Machine.fault == kFaultNone) Machine.fault = fault;
    return;
  }
  Machine.pc = target;
}

inline uint32_t FieldK22(const uint8_t* w) {
  const uint32_t w1 = w[0] | (w[1] << 8);
  return ((w1 & 0x1F0) << 13) | ((w1 & 1) << 16) | SecondWord(w);
}

// Skips the next instruction, one or two words; the word tested must lie in program memory.
inline void SkipIf(bool condition) {
  if (!condition) {
    Machine.pc += 1;
    return;
  }
  const uint32_t next = Machine.pc + 1;
  if (next >= kProgramWords) {
    Machine.fault = kFaultOperandOutside;
    return;
  }
  const uint16_t word = uint16_t(Machine.program[2 * next] | (Machine.program[2 * next + 1] << 8));
  Machine.pc += IsTwoWordInstruction(word) ? 3 : 2;
}

inline bool SecondWordInside() {
  if (Machine.pc + 1 < kProgramWords) return true;
  Machine.fault = kFaultOperandOutside;
  return false;
}

}  // namespace

// NOP: no operation. 0000 0000 xxxx xxxx
void ExecNOP(const uint8_t*) {
  Machine.pc += 1;
}

// RJMP: relative jump. 1100 kkkk kkkk kkkk
void ExecRJMP(const uint8_t* w) {
  JumpChecked(Machine.pc + 1 + uint32_t(FieldK12(w)), kFaultRjmp);
}

// RCALL: relative call. 1101 kkkk kkkk kkkk
void ExecRCALL(const uint8_t* w) {
  PushReturnAddress(Machine.pc + 1);
  JumpChecked(Machine.pc + 1 + uint32_t(FieldK12(w)), kFaultRcall);
}

// JMP: absolute jump. 1001 010k kkkk 110k kkkk kkkk kkkk kkkk
void ExecJMP(const uint8_t* w) {
  if (SecondWordInside()) JumpChecked(FieldK22(w), kFaultJmp);
}

// CALL: absolute call. 1001 010k kkkk 111k kkkk kkkk kkkk kkkk
void ExecCALL(const uint8_t* w) {
  if (!SecondWordInside()) return;
  PushReturnAddress(Machine.pc + 2);
  JumpChecked(FieldK22(w), kFaultCall);
}

// IJMP: indirect jump to Z. 1001 0100 0000 1001
void ExecIJMP(const uint8_t*) {
  Machine.pc = Z();
}

// EIJMP: extended indirect jump to EIND:Z. 1001 0100 xxxx 1001, xxxx not 0
void ExecEIJMP(const uint8_t*) {
  JumpChecked((uint32_t(R[kEindAddress]) << 16) | Z(), kFaultEijmp);
}

// ICALL: indirect call to Z. 1001 0101 0000 1001
void ExecICALL(const uint8_t*) {
  PushReturnAddress(Machine.pc + 1);
  Machine.pc = Z();
}

// EICALL: extended indirect call to EIND:Z. 1001 0101 xxxx 1001, xxxx not 0
void ExecEICALL(const uint8_t*) {
  PushReturnAddress(Machine.pc + 1);
  JumpChecked((uint32_t(R[kEindAddress]) << 16) | Z(), kFaultEicall);
}

// RET: return. 1001 0101 0000 1000
void ExecRET(const uint8_t*) {
  Machine.pc = PopReturnAddress();
}

// RETI: return and set I. 1001 0101 0001 1000
void ExecRETI(const uint8_t*) {
  Flags()[kFlagI] = 1;
  Machine.pc = PopReturnAddress();
}

// BRBS: branch if status flag set. 1111 00kk kkkk ksss
void ExecBRBS(const uint8_t* w) {
  Machine.pc += 1 + (Flags()[FieldB(w)] ? uint32_t(FieldK7(w)) : 0);
}

// BRBC: branch if status flag cleared. 1111 01kk kkkk ksss
void ExecBRBC(const uint8_t* w) {
  Machine.pc += 1 + (Flags()[FieldB(w)] ? 0 : uint32_t(FieldK7(w)));
}

// CPSE: compare, skip if equal. 0001 00rd dddd rrrr
void ExecCPSE(const uint8_t* w) {
  SkipIf(R[FieldD5(w)] == R[FieldR5(w)]);
}

// SBRC: skip if bit in register cleared. 1111 110r rrrr xbbb
void ExecSBRC(const uint8_t* w) {
  SkipIf(!((R[FieldD5(w)] >> FieldB(w)) & 1));
}

// SBRS: skip if bit in register set. 1111 111r rrrr xbbb
void ExecSBRS(const uint8_t* w) {
  SkipIf((R[FieldD5(w)] >> FieldB(w)) & 1);
}

// SBIC: skip if bit in I/O register cleared. 1001 1001 AAAA Abbb
void ExecSBIC(const uint8_t* w) {
  SkipIf(!((R[0x20 + FieldA5(w)] >> FieldB(w)) & 1));
}

// SBIS: skip if bit in I/O register set. 1001 1011 AAAA Abbb
void ExecSBIS(const uint8_t* w) {
  SkipIf((R[0x20 + FieldA5(w)] >> FieldB(w)) & 1);
}

// BSET: set flag s. 1001 0100 0sss 1000
void ExecBSET(const uint8_t* w) {
  Flags()[(w[0] >> 4) & 7] = 1;
  Machine.pc += 1;
}

// BCLR: clear flag s. 1001 0100 1sss 1000
void ExecBCLR(const uint8_t* w) {
  Flags()[(w[0] >> 4) & 7] = 0;
  Machine.pc += 1;
}

// BST: store register bit in T. 1111 101d dddd xbbb
void ExecBST(const uint8_t* w) {
  Flags()[kFlagT] = (R[FieldD5(w)] >> FieldB(w)) & 1;
  Machine.pc += 1;
}

// BLD: load T into register bit. 1111 100d dddd xbbb
void ExecBLD(const uint8_t* w) {
  const int d = FieldD5(w);
  const uint8_t mask = uint8_t(1 << FieldB(w));
  R[d] = Flags()[kFlagT] ? uint8_t(R[d] | mask) : uint8_t(R[d] & ~mask);
  Machine.pc += 1;
}

// SLEEP: nothing to wait for. 1001 0101 1000 1000
void ExecSLEEP(const uint8_t*) {
  Machine.pc += 1;
}

// SPM: program memory is never written. 1001 0101 111x 1000
void ExecSPM(const uint8_t*) {
  Machine.pc += 1;
}

// Unassigned words of the 0x95x8 group run as no-ops. 1001 0101 0010..0111 1000, 1011 1000
void ExecUNASSIGNED(const uint8_t*) {
  Machine.pc += 1;
}

// BREAK: service call. 1001 0101 1001 1000
void ExecBREAK(const uint8_t*) {
  ServiceCall();
}

// WDR: host step. 1001 0101 1010 1000
void ExecWDR(const uint8_t*) {
  WatchdogStep();
}

// Undefined encodings of the three crowded groups stop the machine with pc on the word.
void ExecUNDEFINED_ONE_OPERAND(const uint8_t*) {
  Machine.fault = kFaultUndefinedOneOperand;
}
void ExecUNDEFINED_LOAD(const uint8_t*) {
  Machine.fault = kFaultUndefinedLoad;
}
void ExecUNDEFINED_STORE(const uint8_t*) {
  Machine.fault = kFaultUndefinedStore;
}

}  // namespace velmora
