// All 65,536 first words: each matches exactly one declared encoding, the dispatch tables reach
// that encoding's handler, and executing the word does what its kind of handler must (advance pc
// by its length, stop with the right fault code, leave pc on an undefined word).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/dispatch.h"
#include "core/encodings.h"
#include "core/machine.h"

namespace velmora {
namespace {

constexpr uint32_t kAt = 0x1000;  // far enough from both ends for every relative target

bool IsOneOf(InstructionHandler h, std::initializer_list<InstructionHandler> list) {
  for (InstructionHandler x : list)
    if (h == x) return true;
  return false;
}

// A machine state in which every word can run: pointers and SP in the middle of RAM, RAMPZ and
// EIND 0, the word at kAt followed by a NOP.
void Prepare(uint16_t word) {
  for (int r = 0; r < 32; ++r) Machine.data[r] = uint8_t(r * 7 + 3);
  SetDataWord(26, 0x4000);
  SetDataWord(28, 0x5000);
  SetDataWord(30, 0x6000);
  for (uint32_t a = 0x20; a < 0x60; ++a) Machine.data[a] = uint8_t(a);
  Machine.data[kRampzAddress] = 0;
  Machine.data[kEindAddress] = 0;
  SetStackPointer(0x8000);
  for (uint32_t base : {0x4000u, 0x5000u, 0x6000u, 0x8000u})
    for (uint32_t a = base - 4; a < base + 64; ++a) Machine.data[a] = uint8_t(a * 13);
  SplitSreg(0x35);
  Machine.pc = kAt;
  Machine.fault = kFaultNone;
  Machine.program[2 * kAt] = uint8_t(word);
  Machine.program[2 * kAt + 1] = uint8_t(word >> 8);
}

struct Snapshot {
  uint8_t low[0x60];
  uint32_t pc;
  uint8_t sreg, fault;
  bool operator==(const Snapshot& o) const {
    return std::memcmp(low, o.low, sizeof low) == 0 && pc == o.pc && sreg == o.sreg &&
           fault == o.fault;
  }
};

Snapshot Take() {
  Snapshot s;
  std::memcpy(s.low, Machine.data, sizeof s.low);
  s.pc = Machine.pc;
  s.sreg = ComposeSreg();
  s.fault = Machine.fault;
  return s;
}

TEST(CoreDecoder, EveryWordMatchesOneRowAndReachesItsHandler) {
  const auto rows = InstructionEncodings();
  int reported = 0;
  for (uint32_t word = 0; word < 0x10000 && reported < 10; ++word) {
    const InstructionEncoding* match = nullptr;
    int matches = 0;
    for (const InstructionEncoding& e : rows) {
      if ((word & e.mask) != e.value) continue;
      ++matches;
      match = &e;
    }
    if (matches != 1) {
      ADD_FAILURE() << "word 0x" << std::hex << word << " matches " << std::dec << matches
                    << " rows";
      ++reported;
      continue;
    }
    if (ResolveHandler(uint16_t(word)) != match->handler) {
      ADD_FAILURE() << "word 0x" << std::hex << word << " does not reach " << match->mnemonic;
      ++reported;
    }
    const std::string text = DisassembleInstruction(uint16_t(word), 0x1234);
    if (text.rfind(match->mnemonic, 0) != 0) {
      ADD_FAILURE() << "word 0x" << std::hex << word << " disassembles as " << text;
      ++reported;
    }
  }
}

TEST(CoreDecoder, EveryWordExecutesAsItsHandlerSays) {
  ClearMachine();
  ResetMachine();
  int reported = 0;
  for (uint32_t word = 0; word < 0x10000 && reported < 10; ++word) {
    const InstructionHandler h = ResolveHandler(uint16_t(word));
    if (h == ExecBREAK || h == ExecWDR) continue;  // they hand over to the host
    Prepare(uint16_t(word));
    StepInstruction();
    const Snapshot stepped = Take();
    Prepare(uint16_t(word));
    h(&Machine.program[2 * kAt]);
    const Snapshot direct = Take();

    std::string problem;
    if (!(stepped == direct)) problem = "the tables and ResolveHandler disagree";
    const InstructionEncoding* e = FindEncoding(uint16_t(word));
    uint8_t fault = kFaultNone;
    if (h == ExecUNDEFINED_ONE_OPERAND) fault = kFaultUndefinedOneOperand;
    if (h == ExecUNDEFINED_LOAD) fault = kFaultUndefinedLoad;
    if (h == ExecUNDEFINED_STORE) fault = kFaultUndefinedStore;
    const uint32_t target = ((word & 0x1F0) << 13) | ((word & 1) << 16);  // second word is 0
    if (h == ExecJMP && target >= kProgramWords) fault = kFaultJmp;
    if (h == ExecCALL && target >= kProgramWords) fault = kFaultCall;
    if (stepped.fault != fault) problem = "fault " + std::to_string(stepped.fault);

    const bool controlFlow =
        IsOneOf(h, {ExecRJMP, ExecRCALL, ExecJMP, ExecCALL, ExecIJMP, ExecEIJMP, ExecICALL,
                    ExecEICALL, ExecRET, ExecRETI, ExecBRBS, ExecBRBC, ExecCPSE, ExecSBRC, ExecSBRS,
                    ExecSBIC, ExecSBIS});
    if (fault >= kFaultUndefinedOneOperand && fault <= kFaultUndefinedStore) {
      if (stepped.pc != kAt) problem = "pc moved on an undefined word";
    } else if (!controlFlow) {
      const uint32_t length = IsOneOf(h, {ExecLDS, ExecSTS}) ? 2 : 1;
      if (stepped.pc != kAt + length) problem = "pc " + std::to_string(stepped.pc);
    }
    if (!problem.empty()) {
      ADD_FAILURE() << "word 0x" << std::hex << word << " (" << e->mnemonic << "): " << problem;
      ++reported;
    }
  }
}

}  // namespace
}  // namespace velmora
