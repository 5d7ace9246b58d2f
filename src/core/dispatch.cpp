#include "core/dispatch.h"

#include "core/machine.h"

namespace velmora {

namespace {

// 0x95x8 by bits 4-7: returns, system instructions, program-memory reads.
const InstructionHandler ReturnAndSystemTable[16] = {
    ExecRET,        ExecRETI,       ExecUNASSIGNED, ExecUNASSIGNED, ExecUNASSIGNED, ExecUNASSIGNED,
    ExecUNASSIGNED, ExecUNASSIGNED, ExecSLEEP,      ExecBREAK,      ExecWDR,        ExecUNASSIGNED,
    ExecLPM_R0,     ExecELPM_R0,    ExecSPM,        ExecSPM,
};

// High byte 0x03 by bits 7 and 3 of the low byte.
const InstructionHandler MultiplyTable[4] = {ExecMULSU, ExecFMUL, ExecFMULS, ExecFMULSU};

inline int MultiplyIndex(const uint8_t* w) {
  return ((w[0] >> 6) & 2) | ((w[0] >> 3) & 1);
}

InstructionHandler StatusOrSystem(const uint8_t* w) {
  if (w[1] == 0x94) return (w[0] & 0x80) ? ExecBCLR : ExecBSET;
  return ReturnAndSystemTable[w[0] >> 4];
}

InstructionHandler IndirectJumpOrCall(const uint8_t* w) {
  const bool extended = (w[0] >> 4) != 0;
  if (w[1] == 0x94) return extended ? ExecEIJMP : ExecIJMP;
  return extended ? ExecEICALL : ExecICALL;
}

void DispatchMultiply(const uint8_t* w) {
  MultiplyTable[MultiplyIndex(w)](w);
}
void DispatchLoad(const uint8_t* w) {
  LoadTable[w[0] & 0x0F](w);
}
void DispatchStore(const uint8_t* w) {
  StoreTable[w[0] & 0x0F](w);
}
void DispatchOneOperand(const uint8_t* w) {
  OneOperandTable[w[0] & 0x0F](w);
}
void ExecStatusOrSystem(const uint8_t* w) {
  StatusOrSystem(w)(w);
}
void ExecIndirectJumpOrCall(const uint8_t* w) {
  IndirectJumpOrCall(w)(w);
}

}  // namespace

// clang-format off
const InstructionHandler OpcodeTable[256] = {
    /* 0x0_ */ ExecNOP, ExecMOVW, ExecMULS, DispatchMultiply, ExecCPC, ExecCPC, ExecCPC, ExecCPC, ExecSBC, ExecSBC, ExecSBC, ExecSBC, ExecADD, ExecADD, ExecADD, ExecADD,
    /* 0x1_ */ ExecCPSE, ExecCPSE, ExecCPSE, ExecCPSE, ExecCP, ExecCP, ExecCP, ExecCP, ExecSUB, ExecSUB, ExecSUB, ExecSUB, ExecADC, ExecADC, ExecADC, ExecADC,
    /* 0x2_ */ ExecAND, ExecAND, ExecAND, ExecAND, ExecEOR, ExecEOR, ExecEOR, ExecEOR, ExecOR, ExecOR, ExecOR, ExecOR, ExecMOV, ExecMOV, ExecMOV, ExecMOV,
    /* 0x3_ */ ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI, ExecCPI,
    /* 0x4_ */ ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI, ExecSBCI,
    /* 0x5_ */ ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI, ExecSUBI,
    /* 0x6_ */ ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI, ExecORI,
    /* 0x7_ */ ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI, ExecANDI,
    /* 0x8_ */ ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD,
    /* 0x9_ */ DispatchLoad, DispatchLoad, DispatchStore, DispatchStore, DispatchOneOperand, DispatchOneOperand, ExecADIW, ExecSBIW, ExecCBI, ExecSBIC, ExecSBI, ExecSBIS, ExecMUL, ExecMUL, ExecMUL, ExecMUL,
    /* 0xA_ */ ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD, ExecLDD, ExecLDD, ExecSTD, ExecSTD,
    /* 0xB_ */ ExecIN, ExecIN, ExecIN, ExecIN, ExecIN, ExecIN, ExecIN, ExecIN, ExecOUT, ExecOUT, ExecOUT, ExecOUT, ExecOUT, ExecOUT, ExecOUT, ExecOUT,
    /* 0xC_ */ ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP, ExecRJMP,
    /* 0xD_ */ ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL, ExecRCALL,
    /* 0xE_ */ ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI, ExecLDI,
    /* 0xF_ */ ExecBRBS, ExecBRBS, ExecBRBS, ExecBRBS, ExecBRBC, ExecBRBC, ExecBRBC, ExecBRBC, ExecBLD, ExecBLD, ExecBST, ExecBST, ExecSBRC, ExecSBRC, ExecSBRS, ExecSBRS,
};

const InstructionHandler LoadTable[16] = {
    ExecLDS,  ExecLD_ZINC, ExecLD_ZDEC, ExecUNDEFINED_LOAD, ExecLPM,  ExecLPM_INC, ExecELPM,    ExecELPM_INC,
    ExecLD_Y, ExecLD_YINC, ExecLD_YDEC, ExecUNDEFINED_LOAD, ExecLD_X, ExecLD_XINC, ExecLD_XDEC, ExecPOP,
};

const InstructionHandler StoreTable[16] = {
    ExecSTS,  ExecST_ZINC, ExecST_ZDEC, ExecUNDEFINED_STORE, ExecXCH,  ExecLAS,     ExecLAC,     ExecLAT,
    ExecST_Y, ExecST_YINC, ExecST_YDEC, ExecUNDEFINED_STORE, ExecST_X, ExecST_XINC, ExecST_XDEC, ExecPUSH,
};

const InstructionHandler OneOperandTable[16] = {
    ExecCOM, ExecNEG, ExecSWAP, ExecINC, ExecUNDEFINED_ONE_OPERAND, ExecASR, ExecLSR, ExecROR,
    ExecStatusOrSystem, ExecIndirectJumpOrCall, ExecDEC, ExecUNDEFINED_ONE_OPERAND,
    ExecJMP, ExecJMP, ExecCALL, ExecCALL,
};
// clang-format on

uint64_t RunInstructions(uint64_t limit) {
  uint64_t executed = 0;
  while (executed < limit && (Machine.fault | Machine.quit) == 0) {
    StepInstruction();
    ++executed;
  }
  return executed;
}

InstructionHandler ResolveHandler(uint16_t word) {
  const uint8_t w[2] = {uint8_t(word), uint8_t(word >> 8)};
  const InstructionHandler first = OpcodeTable[w[1]];
  if (first == DispatchMultiply) return MultiplyTable[MultiplyIndex(w)];
  if (first == DispatchLoad) return LoadTable[w[0] & 0x0F];
  if (first == DispatchStore) return StoreTable[w[0] & 0x0F];
  if (first != DispatchOneOperand) return first;
  const InstructionHandler second = OneOperandTable[w[0] & 0x0F];
  if (second == ExecStatusOrSystem) return StatusOrSystem(w);
  if (second == ExecIndirectJumpOrCall) return IndirectJumpOrCall(w);
  return second;
}

}  // namespace velmora
