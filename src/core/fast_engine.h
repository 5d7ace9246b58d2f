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
// every flag something reads before the next instruction that surely sets them.
//
// Plain handlers run one one-word instruction of a block and go on to the next entry.
// clang-format off
#define VELMORA_FAST_PLAIN_OPS(X)                                                                \
  X(NOP) X(MOV) X(MOVW) X(LDI)                                                                   \
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
  X(IN) X(IN_SREG) X(OUT) X(OUT_SREG) X(PUSH) X(POP) X(SBI) X(CBI)                               \
  X(LPM) X(LPM_INC) X(ELPM) X(ELPM_INC) X(BSET) X(BCLR) X(BST) X(BLD)

// The other handlers: the undecoded entry, the hand-over to the reference, the two-word
// transfers, and the terminators.
#define VELMORA_FAST_OTHER_OPS(X)                                                                \
  X(DECODE) X(STEP) X(LDS) X(LDS_SREG) X(STS) X(STS_SREG)                                        \
  X(RJMP) X(RCALL) X(JMP) X(CALL) X(IJMP) X(ICALL) X(EIJMP) X(EICALL) X(RET) X(RETI)             \
  X(BRBS) X(BRBC) X(CPSE) X(SBRC) X(SBRS) X(SBIC) X(SBIS) X(BREAK) X(WDR)

// Superinstructions, chosen from the handler pairs that run most often back to back in compiled
// programs (bench/cpu/pair_profile.cpp): 16-bit arithmetic and compares, multi-byte shifts and
// logic, load and store runs, a compare or count followed by its branch.
//
// Pairs of plain handlers: both bodies, then on to the entry after the second.
#define VELMORA_FAST_PAIRS(X)                                                                    \
  X(EOR_N, EOR_N) X(ANDI_N, ANDI_N) X(COM_N, COM_N) X(ANDI_N, EOR_N) X(EOR_N, SUBI_CZ)           \
  X(LSR_C, ROR_N) X(LSR_C, ROR_C) X(ROR_C, ROR_C) X(ROR_C, ROR_N) X(ROR_N, LSR_C)                \
  X(ROR_C, DEC_A) X(MOVW, LSR_C) X(MOVW, MOVW) X(MOVW, MUL_N) X(MUL_N, MOVW) X(MUL_N, ADD_C)     \
  X(MOVW, ADD_C) X(ADD_C, ADC_N) X(ADD_C, ADC_C) X(ADD_C, ADC_A) X(ADC_C, ADC_N)                 \
  X(ADC_C, ADC_C) X(ADC_C, ADC_A) X(ADC_C, EOR_N) X(ADC_A, DEC_A) X(CP_CZ, CPC_CZ)               \
  X(CPC_CZ, CPC_CZ) X(SUBI_CZ, SBCI_A) X(SUBI_C, SBCI_N) X(SUBI_C, SBCI_C) X(SUBI_CZ, SBCI_CZ)   \
  X(SBCI_C, SBCI_C) X(SBCI_C, SBCI_N) X(SBCI_CZ, SBCI_A) X(SBCI_N, ANDI_N) X(NEG_A, SBCI_C)      \
  X(COM_N, NEG_A) X(LDD, LDD) X(STD, STD) X(LD_INC, LD_INC) X(ST_INC, ST_INC) X(PUSH, PUSH)      \
  X(POP, POP) X(MOV, LDI) X(LDI, LDI) X(MOV, MOV) X(LDI, SUBI_CZ)

// A plain handler's body, then straight into the handler of the next entry (a terminator, or a
// superinstruction that ends in one): a compare or count and its branch in one dispatch.
#define VELMORA_FAST_JOINS(X)                                                                    \
  X(DEC_A, BRBC) X(DEC_A, BRBS) X(SUBI_A, BRBC) X(SUBI_A, BRBS) X(SBCI_A, BRBC) X(SBCI_A, BRBS)  \
  X(CPC_A, BRBC) X(CPC_A, BRBS) X(CPI_A, BRBC) X(CPI_A, BRBS) X(CP_A, BRBC) X(CP_A, BRBS)        \
  X(SBIW_A, BRBC) X(SBIW_A, BRBS) X(AND_A, BRBC) X(AND_A, BRBS) X(OR_A, BRBC) X(OR_A, BRBS)      \
  X(CP_CZ, CPC_A_then_BRBC) X(CP_CZ, CPC_A_then_BRBS) X(CPI_CZ, CPC_A_then_BRBC)                 \
  X(CPI_CZ, CPC_A_then_BRBS) X(SUBI_CZ, SBCI_A_then_BRBC) X(SUBI_CZ, SBCI_A_then_BRBS)           \
  X(POP, RET) X(POP, POP_then_RET)
// clang-format on

enum FastOp : uint16_t {
#define VELMORA_FAST_OP_ENUM(name) kOp##name,
#define VELMORA_FAST_PAIR_ENUM(first, second) kOp##first##_then_##second,
  VELMORA_FAST_PLAIN_OPS(VELMORA_FAST_OP_ENUM) VELMORA_FAST_OTHER_OPS(VELMORA_FAST_OP_ENUM)
      VELMORA_FAST_PAIRS(VELMORA_FAST_PAIR_ENUM) VELMORA_FAST_JOINS(VELMORA_FAST_PAIR_ENUM)
#undef VELMORA_FAST_OP_ENUM
#undef VELMORA_FAST_PAIR_ENUM
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
// The handler chosen for the decoded word at `pc` before any superinstruction replaced it (for
// profiles).
FastOp DecodedOp(uint32_t pc);
// Decodes the block that starts at `pc` (a word of a prepared chunk) and every instruction up
// to its end that is not decoded yet.
void DecodeBlock(uint32_t pc);

}  // namespace velmora
