// Every instruction encoding declared once, as a bit pattern with its handler and mnemonic. The
// trace and the disassembler read it; a test walks all 65,536 words against the dispatch tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/handlers.h"

namespace velmora {

struct InstructionEncoding {
  const char* pattern;  // 16 bits, high bit first; '0' and '1' fixed, letters are operand bits
  InstructionHandler handler;
  const char* mnemonic;
  // Operand syntax, comma-separated: Rd/Rr a register from the d/r bits (R16 up when they are
  // fewer than five), Rd2/Rr2 a register pair of MOVW, Rp a pair of ADIW/SBIW, K an immediate,
  // A an I/O address, b a bit, s a flag index, P+q the Y or Z displacement of LDD/STD, k16 the
  // second word, k22 a JMP/CALL target, .k a relative target; anything else is literal.
  const char* operands;
  uint16_t mask;   // fixed bits
  uint16_t value;  // their values
};

std::span<const InstructionEncoding> InstructionEncodings();

// The first encoding that matches `word`, or nullptr.
const InstructionEncoding* FindEncoding(uint16_t word);

// True for the encodings that take a second word (LDS, STS, JMP, CALL).
bool IsTwoWordInstruction(uint16_t word);

// "ADD r16,r17", "ST Y+,r3", "LDS r0,0x1234"-like text of the instruction at `word` (with
// `next` the following word).
std::string DisassembleInstruction(uint16_t word, uint16_t next);

}  // namespace velmora
