// Instruction handlers. Each receives the instruction word in place in program memory (the word
// at pc, with the following word behind it), changes the machine and advances pc itself.
#pragma once

#include <cstdint>

namespace velmora {

using InstructionHandler = void (*)(const uint8_t* word);

void ExecNOP(const uint8_t* word);
void ExecMOVW(const uint8_t* word);
void ExecMULS(const uint8_t* word);
void ExecMULSU(const uint8_t* word);
void ExecFMUL(const uint8_t* word);
void ExecFMULS(const uint8_t* word);
void ExecFMULSU(const uint8_t* word);
void ExecCPC(const uint8_t* word);
void ExecSBC(const uint8_t* word);
void ExecADD(const uint8_t* word);
void ExecCPSE(const uint8_t* word);
void ExecCP(const uint8_t* word);
void ExecSUB(const uint8_t* word);
void ExecADC(const uint8_t* word);
void ExecAND(const uint8_t* word);
void ExecEOR(const uint8_t* word);
void ExecOR(const uint8_t* word);
void ExecMOV(const uint8_t* word);
void ExecCPI(const uint8_t* word);
void ExecSBCI(const uint8_t* word);
void ExecSUBI(const uint8_t* word);
void ExecORI(const uint8_t* word);
void ExecANDI(const uint8_t* word);
void ExecLDD(const uint8_t* word);
void ExecSTD(const uint8_t* word);
void ExecADIW(const uint8_t* word);
void ExecSBIW(const uint8_t* word);
void ExecCBI(const uint8_t* word);
void ExecSBIC(const uint8_t* word);
void ExecSBI(const uint8_t* word);
void ExecSBIS(const uint8_t* word);
void ExecMUL(const uint8_t* word);
void ExecIN(const uint8_t* word);
void ExecOUT(const uint8_t* word);
void ExecRJMP(const uint8_t* word);
void ExecRCALL(const uint8_t* word);
void ExecLDI(const uint8_t* word);
void ExecBRBS(const uint8_t* word);
void ExecBRBC(const uint8_t* word);
void ExecBLD(const uint8_t* word);
void ExecBST(const uint8_t* word);
void ExecSBRC(const uint8_t* word);
void ExecSBRS(const uint8_t* word);
void ExecCOM(const uint8_t* word);
void ExecNEG(const uint8_t* word);
void ExecSWAP(const uint8_t* word);
void ExecINC(const uint8_t* word);
void ExecASR(const uint8_t* word);
void ExecLSR(const uint8_t* word);
void ExecROR(const uint8_t* word);
void ExecDEC(const uint8_t* word);
void ExecJMP(const uint8_t* word);
void ExecCALL(const uint8_t* word);
void ExecBSET(const uint8_t* word);
void ExecBCLR(const uint8_t* word);
void ExecIJMP(const uint8_t* word);
void ExecEIJMP(const uint8_t* word);
void ExecICALL(const uint8_t* word);
void ExecEICALL(const uint8_t* word);
void ExecRET(const uint8_t* word);
void ExecRETI(const uint8_t* word);
void ExecSLEEP(const uint8_t* word);
void ExecBREAK(const uint8_t* word);
void ExecWDR(const uint8_t* word);
void ExecLPM_R0(const uint8_t* word);
void ExecELPM_R0(const uint8_t* word);
void ExecSPM(const uint8_t* word);
void ExecUNASSIGNED(const uint8_t* word);
void ExecLDS(const uint8_t* word);
void ExecLD_ZINC(const uint8_t* word);
void ExecLD_ZDEC(const uint8_t* word);
void ExecLPM(const uint8_t* word);
void ExecLPM_INC(const uint8_t* word);
void ExecELPM(const uint8_t* word);
void ExecELPM_INC(const uint8_t* word);
void ExecLD_Y(const uint8_t* word);
void ExecLD_YINC(const uint8_t* word);
void ExecLD_YDEC(const uint8_t* word);
void ExecLD_X(const uint8_t* word);
void ExecLD_XINC(const uint8_t* word);
void ExecLD_XDEC(const uint8_t* word);
void ExecPOP(const uint8_t* word);
void ExecSTS(const uint8_t* word);
void ExecST_ZINC(const uint8_t* word);
void ExecST_ZDEC(const uint8_t* word);
void ExecXCH(const uint8_t* word);
void ExecLAS(const uint8_t* word);
void ExecLAC(const uint8_t* word);
void ExecLAT(const uint8_t* word);
void ExecST_Y(const uint8_t* word);
void ExecST_YINC(const uint8_t* word);
void ExecST_YDEC(const uint8_t* word);
void ExecST_X(const uint8_t* word);
void ExecST_XINC(const uint8_t* word);
void ExecST_XDEC(const uint8_t* word);
void ExecPUSH(const uint8_t* word);
void ExecUNDEFINED_ONE_OPERAND(const uint8_t* word);
void ExecUNDEFINED_LOAD(const uint8_t* word);
void ExecUNDEFINED_STORE(const uint8_t* word);

}  // namespace velmora
