// The fast engine's decoder: turns the words of a block into decode-cache entries. The reference
// tables say which instruction a word is (ResolveHandler), the reference's operand fields take it
// apart; this file adds what the interpreter needs on top: the block structure, static targets,
// and which flags each instruction must compute.
//
// Flags: an instruction computes only the flags that something reads before the next instruction
// that surely sets them. Everything that can observe the flags counts as reading all eight: the
// end of a block (where the budget may run out and the reference take over), any access to the
// data space through a pointer (it may read SREG at 0x5F, or fault), a host call and a hand-over
// to the reference. A store through a pointer may write SREG but is not counted as setting any
// flag, so the flags before it are computed as if it were not there.
#include <cstring>

#include "core/dispatch.h"
#include "core/fast_engine.h"
#include "core/fields.h"
#include "core/handlers.h"

namespace velmora {

namespace {

constexpr uint8_t kC = 0x01, kZ = 0x02, kT = 0x40, kAll = 0xFF;
constexpr uint8_t kArithFlags = 0x3F;  // H S V N Z C
constexpr uint8_t kLogicFlags = 0x1E;  // S V N Z
constexpr uint8_t kShiftFlags = 0x1F;  // S V N Z C

// The variants of an instruction that sets flags, and what it reads and writes.
struct FlagForm {
  FastOp none, carry, carry_zero, all;
  uint8_t result_reads;  // flags the result depends on (ADC's carry)
  uint8_t flag_reads;    // flags the flags depend on, whenever any flag is computed
  uint8_t writes;
  bool keeps_zero;  // Z is cleared or kept, never set: reads Z whenever Z is computed
};

constexpr FlagForm kAddForm = {kOpADD_N, kOpADD_C, kOpADD_CZ, kOpADD_A, 0, 0, kArithFlags, false};
constexpr FlagForm kAdcForm = {kOpADC_N, kOpADC_C, kOpADC_CZ, kOpADC_A, kC, 0, kArithFlags, false};
constexpr FlagForm kSubForm = {kOpSUB_N, kOpSUB_C, kOpSUB_CZ, kOpSUB_A, 0, 0, kArithFlags, false};
constexpr FlagForm kSbcForm = {kOpSBC_N, kOpSBC_C, kOpSBC_CZ, kOpSBC_A, kC, 0, kArithFlags, true};
constexpr FlagForm kSubiForm = {kOpSUBI_N, kOpSUBI_C, kOpSUBI_CZ,  kOpSUBI_A,
                                0,         0,         kArithFlags, false};
constexpr FlagForm kSbciForm = {kOpSBCI_N, kOpSBCI_C, kOpSBCI_CZ,  kOpSBCI_A,
                                kC,        0,         kArithFlags, true};
constexpr FlagForm kCpForm = {kOpNOP, kOpCP_C, kOpCP_CZ, kOpCP_A, 0, 0, kArithFlags, false};
constexpr FlagForm kCpcForm = {kOpNOP, kOpCPC_C, kOpCPC_CZ, kOpCPC_A, 0, kC, kArithFlags, true};
constexpr FlagForm kCpiForm = {kOpNOP, kOpCPI_C, kOpCPI_CZ, kOpCPI_A, 0, 0, kArithFlags, false};
constexpr FlagForm kAndForm = {kOpAND_N, kOpAND_A, kOpAND_A, kOpAND_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kOrForm = {kOpOR_N, kOpOR_A, kOpOR_A, kOpOR_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kEorForm = {kOpEOR_N, kOpEOR_A, kOpEOR_A, kOpEOR_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kAndiForm = {kOpANDI_N, kOpANDI_A, kOpANDI_A,   kOpANDI_A,
                                0,         0,         kLogicFlags, false};
constexpr FlagForm kOriForm = {kOpORI_N, kOpORI_A, kOpORI_A, kOpORI_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kComForm = {kOpCOM_N, kOpCOM_A, kOpCOM_A, kOpCOM_A, 0, 0, kShiftFlags, false};
constexpr FlagForm kNegForm = {kOpNEG_N, kOpNEG_A, kOpNEG_A, kOpNEG_A, 0, 0, kArithFlags, false};
constexpr FlagForm kIncForm = {kOpINC_N, kOpINC_A, kOpINC_A, kOpINC_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kDecForm = {kOpDEC_N, kOpDEC_A, kOpDEC_A, kOpDEC_A, 0, 0, kLogicFlags, false};
constexpr FlagForm kAsrForm = {kOpASR_N, kOpASR_C, kOpASR_A, kOpASR_A, 0, 0, kShiftFlags, false};
constexpr FlagForm kLsrForm = {kOpLSR_N, kOpLSR_C, kOpLSR_A, kOpLSR_A, 0, 0, kShiftFlags, false};
constexpr FlagForm kRorForm = {kOpROR_N, kOpROR_C, kOpROR_A, kOpROR_A, kC, 0, kShiftFlags, false};
constexpr FlagForm kAdiwForm = {kOpADIW_N, kOpADIW_A, kOpADIW_A,   kOpADIW_A,
                                0,         0,         kShiftFlags, false};
constexpr FlagForm kSbiwForm = {kOpSBIW_N, kOpSBIW_A, kOpSBIW_A,   kOpSBIW_A,
                                0,         0,         kShiftFlags, false};
constexpr uint8_t kMulFlags = kC | kZ;
constexpr FlagForm kMulForm = {kOpMUL_N, kOpMUL_A, kOpMUL_A, kOpMUL_A, 0, 0, kMulFlags, false};
constexpr FlagForm kMulsForm = {kOpMULS_N, kOpMULS_A, kOpMULS_A, kOpMULS_A, 0, 0, kMulFlags, false};
constexpr FlagForm kMulsuForm = {kOpMULSU_N, kOpMULSU_A, kOpMULSU_A, kOpMULSU_A,
                                 0,          0,          kMulFlags,  false};
constexpr FlagForm kFmulForm = {kOpFMUL_N, kOpFMUL_A, kOpFMUL_A, kOpFMUL_A, 0, 0, kMulFlags, false};
constexpr FlagForm kFmulsForm = {kOpFMULS_N, kOpFMULS_A, kOpFMULS_A, kOpFMULS_A,
                                 0,          0,          kMulFlags,  false};
constexpr FlagForm kFmulsuForm = {kOpFMULSU_N, kOpFMULSU_A, kOpFMULSU_A, kOpFMULSU_A,
                                  0,           0,           kMulFlags,   false};

// One instruction as the block pass needs it.
struct Decoded {
  const FlagForm* form = nullptr;  // set: the op is chosen from the form's variants
  FastOp op = kOpSTEP;
  uint8_t a = 0, b = 0;
  int32_t x = 0;
  uint8_t length = 1;
  bool terminator = false;
  bool has_target = false;  // x becomes the distance to `target`
  uint32_t target = 0;
  uint8_t reads = 0, writes = 0;
};

// For each decoded word, for blocks decoded later that run into it: the flags it needs computed
// on entry, its handler as chosen for the flags, and that handler or the superinstruction that
// replaced it.
uint8_t LiveIn[kProgramWords];
uint8_t BaseOp[kProgramWords];
uint8_t FinalOp[kProgramWords];
static_assert(kFastOpCount <= 256);

struct Fusion {
  FastOp first, second, fused;
};
// Pairs run the second body themselves: they follow the second's own handler. Joins go on into
// the second entry's final handler.
constexpr Fusion kPairs[] = {
#define VELMORA_FAST_FUSION(first, second) {kOp##first, kOp##second, kOp##first##_then_##second},
    VELMORA_FAST_PAIRS(VELMORA_FAST_FUSION)};
constexpr Fusion kJoins[] = {VELMORA_FAST_JOINS(VELMORA_FAST_FUSION)};
#undef VELMORA_FAST_FUSION

FastOp Fuse(FastOp first, FastOp next_base, FastOp next_final) {
  for (const Fusion& f : kJoins)
    if (f.first == first && f.second == next_final) return f.fused;
  for (const Fusion& f : kPairs)
    if (f.first == first && f.second == next_base) return f.fused;
  return first;
}

bool IsTwoWordInstruction(uint16_t word) {
  const unsigned hi = word >> 8, low4 = word & 0x0F;
  return ((hi == 0x94 || hi == 0x95) && low4 >= 0x0C) || (hi >= 0x90 && hi <= 0x93 && low4 == 0);
}

uint16_t WordAt(uint32_t pc) {
  return uint16_t(Machine.program[2 * pc] | (Machine.program[2 * pc + 1] << 8));
}

void MakeReady(uint32_t pc) {
  if (!FastChunkReady[pc >> kChunkShift]) PrepareChunk(pc >> kChunkShift);
}

Decoded Single(FastOp op, uint8_t a = 0, uint8_t b = 0, int32_t x = 0) {
  Decoded d;
  d.op = op;
  d.a = a;
  d.b = b;
  d.x = x;
  return d;
}

Decoded Flagged(const FlagForm& form, int a, int b = 0) {
  Decoded d = Single(form.all, uint8_t(a), uint8_t(b));
  d.form = &form;
  d.writes = form.writes;
  return d;
}

Decoded Step() {
  Decoded d = Single(kOpSTEP);
  d.terminator = true;
  d.reads = kAll;
  return d;
}

// A terminator with no static target (returns, indirect jumps, host calls).
Decoded Leave(FastOp op) {
  Decoded d = Single(op);
  d.terminator = true;
  d.reads = kAll;
  return d;
}

// A terminator whose successors are `target` and, when `falls_through`, pc + 1. A successor
// outside program memory is left to the reference, which stops there the way it defines.
Decoded Transfer(FastOp op, uint32_t pc, uint32_t target, bool falls_through, uint8_t length = 1) {
  if (target >= kProgramWords || (falls_through && pc + 1 >= kProgramWords)) return Step();
  MakeReady(target);
  if (falls_through) MakeReady(pc + 1);
  Decoded d = Leave(op);
  d.has_target = true;
  d.target = target;
  d.length = length;
  return d;
}

// A skip: on its condition it passes over the next instruction, one or two words.
Decoded Skip(FastOp op, uint32_t pc, uint8_t a, uint8_t b) {
  if (pc + 1 >= kProgramWords) return Step();
  Decoded d = Transfer(op, pc, pc + (IsTwoWordInstruction(WordAt(pc + 1)) ? 3 : 2), true);
  d.a = a;
  d.b = b;
  return d;
}

Decoded ThroughPointer(FastOp op, int reg, int pointer, bool load) {
  Decoded d = Single(op, uint8_t(reg), uint8_t(pointer));
  if (load) d.reads = kAll;
  return d;
}

// A fixed data address: SREG has handlers of its own; the others are plain memory.
Decoded AtAddress(FastOp plain, FastOp sreg, int reg, uint32_t address, bool load, uint8_t length) {
  Decoded d = Single(address == kSregAddress ? sreg : plain, uint8_t(reg), 0, int32_t(address));
  if (address == kSregAddress) (load ? d.reads : d.writes) = kAll;
  d.length = length;
  return d;
}

uint32_t FieldK22(const uint8_t* w) {
  const uint32_t w1 = w[0] | (w[1] << 8);
  return ((w1 & 0x1F0) << 13) | ((w1 & 1) << 16) | SecondWord(w);
}

Decoded DecodeWord(uint32_t pc) {
  const uint8_t* w = &Machine.program[2 * pc];
  const InstructionHandler h = ResolveHandler(WordAt(pc));
  const int d5 = FieldD5(w), r5 = FieldR5(w), d4 = FieldD4(w);
  const uint8_t k8 = FieldK8(w);

  if (h == ExecADD) return Flagged(kAddForm, d5, r5);
  if (h == ExecADC) return Flagged(kAdcForm, d5, r5);
  if (h == ExecSUB) return Flagged(kSubForm, d5, r5);
  if (h == ExecSBC) return Flagged(kSbcForm, d5, r5);
  if (h == ExecCP) return Flagged(kCpForm, d5, r5);
  if (h == ExecCPC) return Flagged(kCpcForm, d5, r5);
  if (h == ExecAND) return Flagged(kAndForm, d5, r5);
  if (h == ExecOR) return Flagged(kOrForm, d5, r5);
  if (h == ExecEOR) return Flagged(kEorForm, d5, r5);
  if (h == ExecSUBI) return Flagged(kSubiForm, d4, k8);
  if (h == ExecSBCI) return Flagged(kSbciForm, d4, k8);
  if (h == ExecCPI) return Flagged(kCpiForm, d4, k8);
  if (h == ExecANDI) return Flagged(kAndiForm, d4, k8);
  if (h == ExecORI) return Flagged(kOriForm, d4, k8);
  if (h == ExecCOM) return Flagged(kComForm, d5);
  if (h == ExecNEG) return Flagged(kNegForm, d5);
  if (h == ExecINC) return Flagged(kIncForm, d5);
  if (h == ExecDEC) return Flagged(kDecForm, d5);
  if (h == ExecASR) return Flagged(kAsrForm, d5);
  if (h == ExecLSR) return Flagged(kLsrForm, d5);
  if (h == ExecROR) return Flagged(kRorForm, d5);
  if (h == ExecADIW) return Flagged(kAdiwForm, FieldPair(w), FieldK6(w));
  if (h == ExecSBIW) return Flagged(kSbiwForm, FieldPair(w), FieldK6(w));
  if (h == ExecMUL) return Flagged(kMulForm, d5, r5);
  if (h == ExecMULS) return Flagged(kMulsForm, d4, FieldR4(w));
  if (h == ExecMULSU) return Flagged(kMulsuForm, FieldD3(w), FieldR3(w));
  if (h == ExecFMUL) return Flagged(kFmulForm, FieldD3(w), FieldR3(w));
  if (h == ExecFMULS) return Flagged(kFmulsForm, FieldD3(w), FieldR3(w));
  if (h == ExecFMULSU) return Flagged(kFmulsuForm, FieldD3(w), FieldR3(w));
  if (h == ExecSWAP) return Single(kOpSWAP, uint8_t(d5));
  if (h == ExecMOV) return Single(kOpMOV, uint8_t(d5), uint8_t(r5));
  if (h == ExecMOVW) return Single(kOpMOVW, uint8_t(2 * (w[0] >> 4)), uint8_t(2 * (w[0] & 0x0F)));
  if (h == ExecLDI) return Single(kOpLDI, uint8_t(d4), k8);
  if (h == ExecNOP || h == ExecSLEEP || h == ExecSPM || h == ExecUNASSIGNED) return Single(kOpNOP);

  if (h == ExecLD_X) return ThroughPointer(kOpLD, d5, 26, true);
  if (h == ExecLD_XINC) return ThroughPointer(kOpLD_INC, d5, 26, true);
  if (h == ExecLD_XDEC) return ThroughPointer(kOpLD_DEC, d5, 26, true);
  if (h == ExecLD_Y) return ThroughPointer(kOpLD, d5, 28, true);
  if (h == ExecLD_YINC) return ThroughPointer(kOpLD_INC, d5, 28, true);
  if (h == ExecLD_YDEC) return ThroughPointer(kOpLD_DEC, d5, 28, true);
  if (h == ExecLD_ZINC) return ThroughPointer(kOpLD_INC, d5, 30, true);
  if (h == ExecLD_ZDEC) return ThroughPointer(kOpLD_DEC, d5, 30, true);
  if (h == ExecST_X) return ThroughPointer(kOpST, d5, 26, false);
  if (h == ExecST_XINC) return ThroughPointer(kOpST_INC, d5, 26, false);
  if (h == ExecST_XDEC) return ThroughPointer(kOpST_DEC, d5, 26, false);
  if (h == ExecST_Y) return ThroughPointer(kOpST, d5, 28, false);
  if (h == ExecST_YINC) return ThroughPointer(kOpST_INC, d5, 28, false);
  if (h == ExecST_YDEC) return ThroughPointer(kOpST_DEC, d5, 28, false);
  if (h == ExecST_ZINC) return ThroughPointer(kOpST_INC, d5, 30, false);
  if (h == ExecST_ZDEC) return ThroughPointer(kOpST_DEC, d5, 30, false);
  if (h == ExecLDD || h == ExecSTD) {
    // Both may fault beyond 0xFFFF, so both count as reading every flag.
    Decoded d = ThroughPointer(h == ExecLDD ? kOpLDD : kOpSTD, d5, (w[0] & 8) ? 28 : 30, true);
    d.x = FieldQ(w);
    return d;
  }
  if (h == ExecPUSH) return ThroughPointer(kOpPUSH, d5, 0, false);
  if (h == ExecPOP) return ThroughPointer(kOpPOP, d5, 0, true);
  if (h == ExecLDS || h == ExecSTS) {
    if (pc + 1 >= kProgramWords) return Step();
    const bool load = h == ExecLDS;
    return AtAddress(load ? kOpLDS : kOpSTS, load ? kOpLDS_SREG : kOpSTS_SREG, d5, SecondWord(w),
                     load, 2);
  }
  if (h == ExecIN) return AtAddress(kOpIN, kOpIN_SREG, d5, uint32_t(FieldA6(w)) + 0x20, true, 1);
  if (h == ExecOUT)
    return AtAddress(kOpOUT, kOpOUT_SREG, d5, uint32_t(FieldA6(w)) + 0x20, false, 1);
  if (h == ExecSBI || h == ExecCBI) {
    return Single(h == ExecSBI ? kOpSBI : kOpCBI, 0, uint8_t(1 << FieldB(w)), 0x20 + FieldA5(w));
  }
  if (h == ExecLPM_R0) return Single(kOpLPM, 0);
  if (h == ExecLPM) return Single(kOpLPM, uint8_t(d5));
  if (h == ExecLPM_INC) return Single(kOpLPM_INC, uint8_t(d5));
  if (h == ExecELPM_R0 || h == ExecELPM || h == ExecELPM_INC) {
    Decoded d =
        Single(h == ExecELPM_INC ? kOpELPM_INC : kOpELPM, uint8_t(h == ExecELPM_R0 ? 0 : d5));
    d.reads = kAll;  // may fault
    return d;
  }

  if (h == ExecBSET || h == ExecBCLR) {
    Decoded d = Single(h == ExecBSET ? kOpBSET : kOpBCLR, uint8_t(1 << ((w[0] >> 4) & 7)));
    d.writes = d.a;
    return d;
  }
  if (h == ExecBST) {
    Decoded d = Single(kOpBST, uint8_t(d5), uint8_t(1 << FieldB(w)));
    d.writes = kT;
    return d;
  }
  if (h == ExecBLD) {
    Decoded d = Single(kOpBLD, uint8_t(d5), uint8_t(1 << FieldB(w)));
    d.reads = kT;
    return d;
  }

  if (h == ExecRJMP) return Transfer(kOpRJMP, pc, pc + 1 + uint32_t(FieldK12(w)), false);
  if (h == ExecRCALL) return Transfer(kOpRCALL, pc, pc + 1 + uint32_t(FieldK12(w)), false);
  if (h == ExecJMP || h == ExecCALL) {
    if (pc + 1 >= kProgramWords) return Step();
    return Transfer(h == ExecJMP ? kOpJMP : kOpCALL, pc, FieldK22(w), false, 2);
  }
  if (h == ExecBRBS || h == ExecBRBC) {
    Decoded d =
        Transfer(h == ExecBRBS ? kOpBRBS : kOpBRBC, pc, pc + 1 + uint32_t(FieldK7(w)), true);
    d.a = uint8_t(1 << FieldB(w));
    return d;
  }
  if (h == ExecCPSE) return Skip(kOpCPSE, pc, uint8_t(d5), uint8_t(r5));
  if (h == ExecSBRC) return Skip(kOpSBRC, pc, uint8_t(d5), uint8_t(1 << FieldB(w)));
  if (h == ExecSBRS) return Skip(kOpSBRS, pc, uint8_t(d5), uint8_t(1 << FieldB(w)));
  if (h == ExecSBIC) return Skip(kOpSBIC, pc, uint8_t(FieldA5(w)), uint8_t(1 << FieldB(w)));
  if (h == ExecSBIS) return Skip(kOpSBIS, pc, uint8_t(FieldA5(w)), uint8_t(1 << FieldB(w)));
  if (h == ExecIJMP) return Leave(kOpIJMP);
  if (h == ExecICALL) return Leave(kOpICALL);
  if (h == ExecEIJMP) return Leave(kOpEIJMP);
  if (h == ExecEICALL) return Leave(kOpEICALL);
  if (h == ExecRET) return Leave(kOpRET);
  if (h == ExecRETI) return Leave(kOpRETI);
  if (h == ExecBREAK) return Leave(kOpBREAK);
  if (h == ExecWDR) return Leave(kOpWDR);
  // XCH, LAS, LAC, LAT and the undefined words: rare, so the reference runs them.
  return Step();
}

// The cheapest variant that computes every flag in `live`; sets the flags it reads.
FastOp ChooseVariant(const FlagForm& form, uint8_t live, uint8_t* reads) {
  const uint8_t need = form.writes & live;
  *reads = form.result_reads;
  if (need == 0) return form.none;
  *reads |= form.flag_reads;
  if (form.keeps_zero && (need & kZ)) *reads |= kZ;
  if ((need & ~kC) == 0) return form.carry;
  if ((need & ~(kC | kZ)) == 0) return form.carry_zero;
  return form.all;
}

}  // namespace

FastOp DecodedOp(uint32_t pc) {
  return FastOp(BaseOp[pc]);
}

void DecodeBlock(uint32_t pc) {
  static Decoded block[kChunkWords];
  static uint32_t where[kChunkWords];
  const void* const undecoded = FastHandlers[kOpDECODE];
  uint32_t n = 0;
  uint8_t live = kAll;  // flags read after the last instruction decoded here
  uint16_t count = 0;   // instructions after it up to the end of the block
  FastOp next_base = kOpSTEP, next_final = kOpSTEP;  // the handlers of the instruction after it
  for (uint32_t at = pc;;) {
    if (FastCache[at].handler != undecoded) {
      // The rest of the block was decoded earlier (a block that starts further on).
      live = LiveIn[at];
      count = FastCache[at].count;
      next_base = FastOp(BaseOp[at]);
      next_final = FastOp(FinalOp[at]);
      break;
    }
    Decoded d = DecodeWord(at);
    // A block never runs into the next chunk: the instruction before the border is handed to
    // the reference, which makes it a terminator.
    if (!d.terminator && ((at + d.length) >> kChunkShift) != (at >> kChunkShift)) d = Step();
    block[n] = d;
    where[n] = at;
    ++n;
    if (d.terminator) break;
    at += d.length;
  }
  while (n-- > 0) {
    const Decoded& d = block[n];
    const uint32_t at = where[n];
    if (d.terminator) {
      live = kAll;
      count = 0;
    }
    FastOp op = d.op;
    uint8_t reads = d.reads;
    if (d.form != nullptr) op = ChooseVariant(*d.form, live, &reads);
    const FastOp final = d.terminator ? op : Fuse(op, next_base, next_final);
    BaseOp[at] = uint8_t(op);
    FinalOp[at] = uint8_t(final);
    next_base = op;
    next_final = final;
    FastEntry& entry = FastCache[at];
    entry.handler = FastHandlers[final];
    entry.x = d.has_target ? int32_t(d.target - at) * int32_t(sizeof(FastEntry)) : d.x;
    entry.count = uint16_t(count + 1);
    entry.a = d.a;
    entry.b = d.b;
    live = uint8_t((live & ~d.writes) | reads);
    LiveIn[at] = live;
    count = entry.count;
  }
}

}  // namespace velmora
