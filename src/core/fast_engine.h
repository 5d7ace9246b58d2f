// Inside the fast engine: the decode cache that the interpreter (fast_engine.cpp) runs and the
// decoder (fast_decode.cpp) fills.
//
// Every word of program memory has one entry: the address of its handler in the interpreter,
// operands taken out of the word, and `count`, the number of instructions from this one to the
// end of its block. A block is a straight run of instructions up to and including the first
// terminator: an instruction that may change pc other than to the next instruction, calls the
// host, or is run by the reference core. The interpreter charges a block's instructions to the
// budget when it enters the block, so the instructions inside run without a check of their own.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace velmora {

// Handlers. A suffix names the flags the variant computes: _N none, _C carry only, _CZ carry and
// zero, _A every flag the instruction sets. The decoder picks the smallest variant that computes
// every flag something reads before the next instruction that sets it.
#define VELMORA_FAST_OPS(X)                                                                      \
  X(DECODE) X(STEP) X(NOP) X(MOV) X(MOVW) X(LDI)                                                 \
  X(ADD_N) X(ADD_C) X(ADD_CZ) X(ADD_A) X(ADC_N) X(ADC_C) X(ADC_CZ) X(ADC_A)                      \
  X(SUB_N) X(SUB_C) X(SUB_CZ) X(SUB_A) X(SBC_N) X(SBC_C) X(SBC_CZ) X(SBC_A)                      \
  X(CP_C) X(CP_CZ) X(CP_A) X(CPC_C) X(CPC_CZ) X(CPC_A)                                           \
  X(SUBI_N) X(SUBI_C) X(SUBI_CZ) X(SUBI_A) X(SBCI_N) X(SBCI_C) X(SBCI_CZ) X(SBCI_A)              \
  X(CPI_C) X(CPI_CZ) X(CPI_A)                                                                    \
  X(AND_N) X(AND_A) X(OR_N) X(OR_A) X(EOR_N) X(EOR_A) X(ANDI_N) X(ANDI_A) X(ORI_N) X(ORI_A)      \
  X(COM_N) X(COM_A) X(NEG_N) X(NEG_A) X(SWAP) X(INC_N) X(INC_A) X(DEC_N) X(DEC_A)                \
  X(ASR_N) X(ASR_C) X(ASR_A) X(LSR_N) X(LSR_C) X(LSR_A) X(ROR_N) X(ROR_C) X(ROR_A)               \
  X(ADIW_N) X(ADIW_A) X(SBIW_N) X(SBIW_A)                                                        \
  X(MUL_N) X(MUL_A) X(MULS_N) X(MULS_A) X(MULSU_N) X(MULSU_A)                                    \
  X(FMUL_N) X(FMUL_A) X(FMULS_N) X(FMULS_A) X(FMULSU_N) X(FMULSU_A)                              \
  X(LD) X(LD_INC) X(LD_DEC) X(ST) X(ST_INC) X(ST_DEC) X(LDD) X(STD)                              \
  X(LDS) X(LDS_SREG) X(STS) X(STS_SREG) X(IN) X(IN_SREG) X(OUT) X(OUT_SREG)                      \
  X(PUSH) X(POP) X(SBI) X(CBI) X(LPM) X(LPM_INC) X(ELPM) X(ELPM_INC)                             \
  X(BSET) X(BCLR) X(BST) X(BLD)                                                                  \
  X(RJMP) X(RCALL) X(JMP) X(CALL) X(IJMP) X(ICALL) X(EIJMP) X(EICALL) X(RET) X(RETI) X(BRBS) X(BRBC)                \
  X(CPSE) X(SBRC) X(SBRS) X(SBIC) X(SBIS) X(BREAK) X(WDR)

enum FastOp : uint16_t {
#define VELMORA_FAST_OP_ENUM(name) kOp##name,
  VELMORA_FAST_OPS(VELMORA_FAST_OP_ENUM)
#undef VELMORA_FAST_OP_ENUM
  kFastOpCount
};

struct FastEntry {
  const void* handler;  // label in the interpreter
  int32_t x;            // byte distance to a static target's entry, a data address, or q
  uint16_t count;       // instructions from this one to the end of its block; 0 while undecoded
  uint8_t a;            // first operand: Rd, a pointer's low register, a flag or bit mask
  uint8_t b;            // second operand: Rr, an immediate, a pointer register, a bit mask
};
static_assert(sizeof(FastEntry) == 16);

// Program memory is decoded in chunks of 1024 words. No block crosses into another chunk (the
// last instruction of a chunk is always a terminator), so a chunk is prepared on first entry and
// forgotten as a whole.
constexpr uint32_t kChunkShift = 10;
constexpr uint32_t kChunkWords = 1u << kChunkShift;
constexpr uint32_t kChunkCount = kProgramWords / kChunkWords;
static_assert(kProgramWords % kChunkWords == 0);

extern FastEntry FastCache[kProgramWords];
extern uint8_t FastChunkReady[kChunkCount];
// The interpreter's handler addresses by FastOp, published on its first call.
extern const void* const* FastHandlers;

// Every entry of the chunk undecoded.
void PrepareChunk(uint32_t chunk);
// Decodes the block that starts at `pc` (a word of a prepared chunk) and every instruction up
// to its end that is not decoded yet.
void DecodeBlock(uint32_t pc);

}  // namespace velmora
