// Two-level dispatch: a table of 256 handlers by the high byte of the instruction word, and
// tables of 16 by the low four bits for the crowded high bytes 0x90-0x95.
#pragma once

#include <cstdint>

#include "core/handlers.h"
#include "core/machine.h"

namespace velmora {

extern const InstructionHandler OpcodeTable[256];
extern const InstructionHandler LoadTable[16];        // high bytes 0x90, 0x91
extern const InstructionHandler StoreTable[16];       // high bytes 0x92, 0x93
extern const InstructionHandler OneOperandTable[16];  // high bytes 0x94, 0x95

// Executes the instruction at pc. A pc outside program memory stops the machine instead.
inline void StepInstruction();

// Steps until the machine stops (fault or quit) or `limit` instructions have run; returns the
// number of instructions executed.
uint64_t RunInstructions(uint64_t limit);

// The handler that finally executes `word`, following every level of the tables.
InstructionHandler ResolveHandler(uint16_t word);

inline void StepInstruction() {
  const uint32_t pc = Machine.pc;
  if (pc >= kProgramWords) {
    Machine.fault = kFaultPcOutside;
    return;
  }
  const uint8_t* word = &Machine.program[2 * pc];
  OpcodeTable[word[1]](word);
}

}  // namespace velmora
