#include "core/encodings.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace velmora {

namespace {

constexpr uint16_t PatternMask(const char* p) {
  uint16_t mask = 0;
  for (; *p; ++p) {
    if (*p == ' ') continue;
    mask = uint16_t((mask << 1) | (*p == '0' || *p == '1'));
  }
  return mask;
}

constexpr uint16_t PatternValue(const char* p) {
  uint16_t value = 0;
  for (; *p; ++p) {
    if (*p == ' ') continue;
    value = uint16_t((value << 1) | (*p == '1'));
  }
  return value;
}

constexpr InstructionEncoding Row(const char* pattern, InstructionHandler handler,
                                  const char* mnemonic, const char* operands) {
  return {pattern, handler, mnemonic, operands, PatternMask(pattern), PatternValue(pattern)};
}

// clang-format off
constexpr InstructionEncoding kEncodings[] = {
    Row("0000 0000 xxxx xxxx", ExecNOP, "NOP", ""),
    Row("0000 0001 dddd rrrr", ExecMOVW, "MOVW", "Rd2,Rr2"),
    Row("0000 0010 dddd rrrr", ExecMULS, "MULS", "Rd,Rr"),
    Row("0000 0011 0ddd 0rrr", ExecMULSU, "MULSU", "Rd,Rr"),
    Row("0000 0011 0ddd 1rrr", ExecFMUL, "FMUL", "Rd,Rr"),
    Row("0000 0011 1ddd 0rrr", ExecFMULS, "FMULS", "Rd,Rr"),
    Row("0000 0011 1ddd 1rrr", ExecFMULSU, "FMULSU", "Rd,Rr"),
    Row("0000 01rd dddd rrrr", ExecCPC, "CPC", "Rd,Rr"),
    Row("0000 10rd dddd rrrr", ExecSBC, "SBC", "Rd,Rr"),
    Row("0000 11rd dddd rrrr", ExecADD, "ADD", "Rd,Rr"),
    Row("0001 00rd dddd rrrr", ExecCPSE, "CPSE", "Rd,Rr"),
    Row("0001 01rd dddd rrrr", ExecCP, "CP", "Rd,Rr"),
    Row("0001 10rd dddd rrrr", ExecSUB, "SUB", "Rd,Rr"),
    Row("0001 11rd dddd rrrr", ExecADC, "ADC", "Rd,Rr"),
    Row("0010 00rd dddd rrrr", ExecAND, "AND", "Rd,Rr"),
    Row("0010 01rd dddd rrrr", ExecEOR, "EOR", "Rd,Rr"),
    Row("0010 10rd dddd rrrr", ExecOR, "OR", "Rd,Rr"),
    Row("0010 11rd dddd rrrr", ExecMOV, "MOV", "Rd,Rr"),
    Row("0011 KKKK dddd KKKK", ExecCPI, "CPI", "Rd,K"),
    Row("0100 KKKK dddd KKKK", ExecSBCI, "SBCI", "Rd,K"),
    Row("0101 KKKK dddd KKKK", ExecSUBI, "SUBI", "Rd,K"),
    Row("0110 KKKK dddd KKKK", ExecORI, "ORI", "Rd,K"),
    Row("0111 KKKK dddd KKKK", ExecANDI, "ANDI", "Rd,K"),
    Row("10q0 qq0d dddd bqqq", ExecLDD, "LDD", "Rd,P+q"),
    Row("10q0 qq1r rrrr bqqq", ExecSTD, "STD", "P+q,Rr"),
    Row("1001 000d dddd 0000", ExecLDS, "LDS", "Rd,k16"),
    Row("1001 000d dddd 0001", ExecLD_ZINC, "LD", "Rd,Z+"),
    Row("1001 000d dddd 0010", ExecLD_ZDEC, "LD", "Rd,-Z"),
    Row("1001 000d dddd 0011", ExecUNDEFINED_LOAD, "(undefined)", ""),
    Row("1001 000d dddd 0100", ExecLPM, "LPM", "Rd,Z"),
    Row("1001 000d dddd 0101", ExecLPM_INC, "LPM", "Rd,Z+"),
    Row("1001 000d dddd 0110", ExecELPM, "ELPM", "Rd,Z"),
    Row("1001 000d dddd 0111", ExecELPM_INC, "ELPM", "Rd,Z+"),
    Row("1001 000d dddd 1000", ExecLD_Y, "LD", "Rd,Y"),
    Row("1001 000d dddd 1001", ExecLD_YINC, "LD", "Rd,Y+"),
    Row("1001 000d dddd 1010", ExecLD_YDEC, "LD", "Rd,-Y"),
    Row("1001 000d dddd 1011", ExecUNDEFINED_LOAD, "(undefined)", ""),
    Row("1001 000d dddd 1100", ExecLD_X, "LD", "Rd,X"),
    Row("1001 000d dddd 1101", ExecLD_XINC, "LD", "Rd,X+"),
    Row("1001 000d dddd 1110", ExecLD_XDEC, "LD", "Rd,-X"),
    Row("1001 000d dddd 1111", ExecPOP, "POP", "Rd"),
    Row("1001 001r rrrr 0000", ExecSTS, "STS", "k16,Rr"),
    Row("1001 001r rrrr 0001", ExecST_ZINC, "ST", "Z+,Rr"),
    Row("1001 001r rrrr 0010", ExecST_ZDEC, "ST", "-Z,Rr"),
    Row("1001 001r rrrr 0011", ExecUNDEFINED_STORE, "(undefined)", ""),
    Row("1001 001d dddd 0100", ExecXCH, "XCH", "Z,Rd"),
    Row("1001 001d dddd 0101", ExecLAS, "LAS", "Z,Rd"),
    Row("1001 001d dddd 0110", ExecLAC, "LAC", "Z,Rd"),
    Row("1001 001d dddd 0111", ExecLAT, "LAT", "Z,Rd"),
    Row("1001 001r rrrr 1000", ExecST_Y, "ST", "Y,Rr"),
    Row("1001 001r rrrr 1001", ExecST_YINC, "ST", "Y+,Rr"),
    Row("1001 001r rrrr 1010", ExecST_YDEC, "ST", "-Y,Rr"),
    Row("1001 001r rrrr 1011", ExecUNDEFINED_STORE, "(undefined)", ""),
    Row("1001 001r rrrr 1100", ExecST_X, "ST", "X,Rr"),
    Row("1001 001r rrrr 1101", ExecST_XINC, "ST", "X+,Rr"),
    Row("1001 001r rrrr 1110", ExecST_XDEC, "ST", "-X,Rr"),
    Row("1001 001r rrrr 1111", ExecPUSH, "PUSH", "Rr"),
    Row("1001 010d dddd 0000", ExecCOM, "COM", "Rd"),
    Row("1001 010d dddd 0001", ExecNEG, "NEG", "Rd"),
    Row("1001 010d dddd 0010", ExecSWAP, "SWAP", "Rd"),
    Row("1001 010d dddd 0011", ExecINC, "INC", "Rd"),
    Row("1001 010x xxxx 0100", ExecUNDEFINED_ONE_OPERAND, "(undefined)", ""),
    Row("1001 010d dddd 0101", ExecASR, "ASR", "Rd"),
    Row("1001 010d dddd 0110", ExecLSR, "LSR", "Rd"),
    Row("1001 010d dddd 0111", ExecROR, "ROR", "Rd"),
    Row("1001 0100 0sss 1000", ExecBSET, "BSET", "s"),
    Row("1001 0100 1sss 1000", ExecBCLR, "BCLR", "s"),
    Row("1001 0101 0000 1000", ExecRET, "RET", ""),
    Row("1001 0101 0001 1000", ExecRETI, "RETI", ""),
    Row("1001 0101 001x 1000", ExecUNASSIGNED, "(no-op)", ""),
    Row("1001 0101 01xx 1000", ExecUNASSIGNED, "(no-op)", ""),
    Row("1001 0101 1000 1000", ExecSLEEP, "SLEEP", ""),
    Row("1001 0101 1001 1000", ExecBREAK, "BREAK", ""),
    Row("1001 0101 1010 1000", ExecWDR, "WDR", ""),
    Row("1001 0101 1011 1000", ExecUNASSIGNED, "(no-op)", ""),
    Row("1001 0101 1100 1000", ExecLPM_R0, "LPM", ""),
    Row("1001 0101 1101 1000", ExecELPM_R0, "ELPM", ""),
    Row("1001 0101 111x 1000", ExecSPM, "SPM", ""),
    Row("1001 0100 0000 1001", ExecIJMP, "IJMP", ""),
    Row("1001 0100 0001 1001", ExecEIJMP, "EIJMP", ""),
    Row("1001 0100 001x 1001", ExecEIJMP, "EIJMP", ""),
    Row("1001 0100 01xx 1001", ExecEIJMP, "EIJMP", ""),
    Row("1001 0100 1xxx 1001", ExecEIJMP, "EIJMP", ""),
    Row("1001 0101 0000 1001", ExecICALL, "ICALL", ""),
    Row("1001 0101 0001 1001", ExecEICALL, "EICALL", ""),
    Row("1001 0101 001x 1001", ExecEICALL, "EICALL", ""),
    Row("1001 0101 01xx 1001", ExecEICALL, "EICALL", ""),
    Row("1001 0101 1xxx 1001", ExecEICALL, "EICALL", ""),
    Row("1001 010d dddd 1010", ExecDEC, "DEC", "Rd"),
    Row("1001 010x xxxx 1011", ExecUNDEFINED_ONE_OPERAND, "(undefined)", ""),
    Row("1001 010k kkkk 110k", ExecJMP, "JMP", "k22"),
    Row("1001 010k kkkk 111k", ExecCALL, "CALL", "k22"),
    Row("1001 0110 KKdd KKKK", ExecADIW, "ADIW", "Rp,K"),
    Row("1001 0111 KKdd KKKK", ExecSBIW, "SBIW", "Rp,K"),
    Row("1001 1000 AAAA Abbb", ExecCBI, "CBI", "A,b"),
    Row("1001 1001 AAAA Abbb", ExecSBIC, "SBIC", "A,b"),
    Row("1001 1010 AAAA Abbb", ExecSBI, "SBI", "A,b"),
    Row("1001 1011 AAAA Abbb", ExecSBIS, "SBIS", "A,b"),
    Row("1001 11rd dddd rrrr", ExecMUL, "MUL", "Rd,Rr"),
    Row("1011 0AAd dddd AAAA", ExecIN, "IN", "Rd,A"),
    Row("1011 1AAr rrrr AAAA", ExecOUT, "OUT", "A,Rr"),
    Row("1100 kkkk kkkk kkkk", ExecRJMP, "RJMP", ".k"),
    Row("1101 kkkk kkkk kkkk", ExecRCALL, "RCALL", ".k"),
    Row("1110 KKKK dddd KKKK", ExecLDI, "LDI", "Rd,K"),
    Row("1111 00kk kkkk ksss", ExecBRBS, "BRBS", "s,.k"),
    Row("1111 01kk kkkk ksss", ExecBRBC, "BRBC", "s,.k"),
    Row("1111 100d dddd xbbb", ExecBLD, "BLD", "Rd,b"),
    Row("1111 101d dddd xbbb", ExecBST, "BST", "Rd,b"),
    Row("1111 110r rrrr xbbb", ExecSBRC, "SBRC", "Rr,b"),
    Row("1111 111r rrrr xbbb", ExecSBRS, "SBRS", "Rr,b"),
};
// clang-format on

// Gathers the bits of one operand letter, high bit first; `count` receives their number.
unsigned Extract(const char* pattern, uint16_t word, char letter, int* count = nullptr) {
  unsigned value = 0;
  int bit = 15, bits = 0;
  for (const char* p = pattern; *p; ++p) {
    if (*p == ' ') continue;
    if (*p == letter) {
      value = (value << 1) | ((word >> bit) & 1);
      ++bits;
    }
    --bit;
  }
  if (count) *count = bits;
  return value;
}

// One operand of the syntax column, as text.
std::string Operand(const std::string& token, const char* pattern, uint16_t word, uint16_t next) {
  char text[32];
  int bits = 0;
  if (token == "Rd" || token == "Rr") {
    const unsigned n = Extract(pattern, word, token[1], &bits);
    std::snprintf(text, sizeof text, "r%u", bits == 5 ? n : 16 + n);
  } else if (token == "Rd2" || token == "Rr2") {
    std::snprintf(text, sizeof text, "r%u", 2 * Extract(pattern, word, token[1]));
  } else if (token == "Rp") {
    std::snprintf(text, sizeof text, "r%u", 24 + 2 * Extract(pattern, word, 'd'));
  } else if (token == "K" || token == "A") {
    std::snprintf(text, sizeof text, "0x%02X", Extract(pattern, word, token[0]));
  } else if (token == "b" || token == "s") {
    std::snprintf(text, sizeof text, "%u", Extract(pattern, word, token[0]));
  } else if (token == "P+q") {
    std::snprintf(text, sizeof text, "%c+%u", Extract(pattern, word, 'b') ? 'Y' : 'Z',
                  Extract(pattern, word, 'q'));
  } else if (token == "k16") {
    std::snprintf(text, sizeof text, "0x%04X", next);
  } else if (token == "k22") {
    std::snprintf(text, sizeof text, "0x%X", (Extract(pattern, word, 'k') << 16) | next);
  } else if (token == ".k") {
    const int k = int(Extract(pattern, word, 'k', &bits));
    std::snprintf(text, sizeof text, ".%+d", k >= (1 << (bits - 1)) ? k - (1 << bits) : k);
  } else {
    return token;
  }
  return text;
}

constexpr bool TakesSecondWord(const InstructionEncoding& e) {
  const std::string_view operands = e.operands;
  return operands.find("k16") != operands.npos || operands.find("k22") != operands.npos;
}

// One bit per instruction word: set where the encoding takes a second word.
constexpr std::array<uint8_t, 8192> kTwoWordBits = [] {
  std::array<uint8_t, 8192> bits{};
  for (const InstructionEncoding& e : kEncodings) {
    if (!TakesSecondWord(e)) continue;
    for (uint32_t word = 0; word < 0x10000; ++word)
      if ((word & e.mask) == e.value) bits[word >> 3] |= uint8_t(1 << (word & 7));
  }
  return bits;
}();

}  // namespace

bool IsTwoWordInstruction(uint16_t word) {
  return (kTwoWordBits[word >> 3] >> (word & 7)) & 1;
}

std::span<const InstructionEncoding> InstructionEncodings() {
  return kEncodings;
}

const InstructionEncoding* FindEncoding(uint16_t word) {
  for (const InstructionEncoding& e : kEncodings)
    if ((word & e.mask) == e.value) return &e;
  return nullptr;
}

std::string DisassembleInstruction(uint16_t word, uint16_t next) {
  const InstructionEncoding* e = FindEncoding(word);
  if (!e) return "(unknown)";
  std::string text = e->mnemonic;
  const std::string syntax = e->operands;
  size_t start = 0;
  while (start < syntax.size()) {
    size_t comma = syntax.find(',', start);
    if (comma == std::string::npos) comma = syntax.size();
    text += start == 0 ? " " : ",";
    text += Operand(syntax.substr(start, comma - start), e->pattern, word, next);
    start = comma + 1;
  }
  return text;
}

}  // namespace velmora
