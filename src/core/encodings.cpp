#include "core/encodings.h"

#include <cstdio>

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
                                  const char* mnemonic) {
  return {pattern, handler, mnemonic, PatternMask(pattern), PatternValue(pattern)};
}

// clang-format off
const InstructionEncoding kEncodings[] = {
    Row("0000 0000 xxxx xxxx", ExecNOP, "NOP"),
    Row("0000 0001 dddd rrrr", ExecMOVW, "MOVW"),
    Row("0000 0010 dddd rrrr", ExecMULS, "MULS"),
    Row("0000 0011 0ddd 0rrr", ExecMULSU, "MULSU"),
    Row("0000 0011 0ddd 1rrr", ExecFMUL, "FMUL"),
    Row("0000 0011 1ddd 0rrr", ExecFMULS, "FMULS"),
    Row("0000 0011 1ddd 1rrr", ExecFMULSU, "FMULSU"),
    Row("0000 01rd dddd rrrr", ExecCPC, "CPC"),
    Row("0000 10rd dddd rrrr", ExecSBC, "SBC"),
    Row("0000 11rd dddd rrrr", ExecADD, "ADD"),
    Row("0001 00rd dddd rrrr", ExecCPSE, "CPSE"),
    Row("0001 01rd dddd rrrr", ExecCP, "CP"),
    Row("0001 10rd dddd rrrr", ExecSUB, "SUB"),
    Row("0001 11rd dddd rrrr", ExecADC, "ADC"),
    Row("0010 00rd dddd rrrr", ExecAND, "AND"),
    Row("0010 01rd dddd rrrr", ExecEOR, "EOR"),
    Row("0010 10rd dddd rrrr", ExecOR, "OR"),
    Row("0010 11rd dddd rrrr", ExecMOV, "MOV"),
    Row("0011 KKKK dddd KKKK", ExecCPI, "CPI"),
    Row("0100 KKKK dddd KKKK", ExecSBCI, "SBCI"),
    Row("0101 KKKK dddd KKKK", ExecSUBI, "SUBI"),
    Row("0110 KKKK dddd KKKK", ExecORI, "ORI"),
    Row("0111 KKKK dddd KKKK", ExecANDI, "ANDI"),
    Row("10q0 qq0d dddd bqqq", ExecLDD, "LDD"),
    Row("10q0 qq1r rrrr bqqq", ExecSTD, "STD"),
    Row("1001 000d dddd 0000", ExecLDS, "LDS"),
    Row("1001 000d dddd 0001", ExecLD_ZINC, "LD Z+"),
    Row("1001 000d dddd 0010", ExecLD_ZDEC, "LD -Z"),
    Row("1001 000d dddd 0011", ExecUNDEFINED_LOAD, "(undefined)"),
    Row("1001 000d dddd 0100", ExecLPM, "LPM Z"),
    Row("1001 000d dddd 0101", ExecLPM_INC, "LPM Z+"),
    Row("1001 000d dddd 0110", ExecELPM, "ELPM Z"),
    Row("1001 000d dddd 0111", ExecELPM_INC, "ELPM Z+"),
    Row("1001 000d dddd 1000", ExecLD_Y, "LD Y"),
    Row("1001 000d dddd 1001", ExecLD_YINC, "LD Y+"),
    Row("1001 000d dddd 1010", ExecLD_YDEC, "LD -Y"),
    Row("1001 000d dddd 1011", ExecUNDEFINED_LOAD, "(undefined)"),
    Row("1001 000d dddd 1100", ExecLD_X, "LD X"),
    Row("1001 000d dddd 1101", ExecLD_XINC, "LD X+"),
    Row("1001 000d dddd 1110", ExecLD_XDEC, "LD -X"),
    Row("1001 000d dddd 1111", ExecPOP, "POP"),
    Row("1001 001r rrrr 0000", ExecSTS, "STS"),
    Row("1001 001r rrrr 0001", ExecST_ZINC, "ST Z+"),
    Row("1001 001r rrrr 0010", ExecST_ZDEC, "ST -Z"),
    Row("1001 001r rrrr 0011", ExecUNDEFINED_STORE, "(undefined)"),
    Row("1001 001d dddd 0100", ExecXCH, "XCH"),
    Row("1001 001d dddd 0101", ExecLAS, "LAS"),
    Row("1001 001d dddd 0110", ExecLAC, "LAC"),
    Row("1001 001d dddd 0111", ExecLAT, "LAT"),
    Row("1001 001r rrrr 1000", ExecST_Y, "ST Y"),
    Row("1001 001r rrrr 1001", ExecST_YINC, "ST Y+"),
    Row("1001 001r rrrr 1010", ExecST_YDEC, "ST -Y"),
    Row("1001 001r rrrr 1011", ExecUNDEFINED_STORE, "(undefined)"),
    Row("1001 001r rrrr 1100", ExecST_X, "ST X"),
    Row("1001 001r rrrr 1101", ExecST_XINC, "ST X+"),
    Row("1001 001r rrrr 1110", ExecST_XDEC, "ST -X"),
    Row("1001 001r rrrr 1111", ExecPUSH, "PUSH"),
    Row("1001 010d dddd 0000", ExecCOM, "COM"),
    Row("1001 010d dddd 0001", ExecNEG, "NEG"),
    Row("1001 010d dddd 0010", ExecSWAP, "SWAP"),
    Row("1001 010d dddd 0011", ExecINC, "INC"),
    Row("1001 010x xxxx 0100", ExecUNDEFINED_ONE_OPERAND, "(undefined)"),
    Row("1001 010d dddd 0101", ExecASR, "ASR"),
    Row("1001 010d dddd 0110", ExecLSR, "LSR"),
    Row("1001 010d dddd 0111", ExecROR, "ROR"),
    Row("1001 0100 0sss 1000", ExecBSET, "BSET"),
    Row("1001 0100 1sss 1000", ExecBCLR, "BCLR"),
    Row("1001 0101 0000 1000", ExecRET, "RET"),
    Row("1001 0101 0001 1000", ExecRETI, "RETI"),
    Row("1001 0101 001x 1000", ExecUNASSIGNED, "(no-op)"),
    Row("1001 0101 01xx 1000", ExecUNASSIGNED, "(no-op)"),
    Row("1001 0101 1000 1000", ExecSLEEP, "SLEEP"),
    Row("1001 0101 1001 1000", ExecBREAK, "BREAK"),
    Row("1001 0101 1010 1000", ExecWDR, "WDR"),
    Row("1001 0101 1011 1000", ExecUNASSIGNED, "(no-op)"),
    Row("1001 0101 1100 1000", ExecLPM_R0, "LPM"),
    Row("1001 0101 1101 1000", ExecELPM_R0, "ELPM"),
    Row("1001 0101 111x 1000", ExecSPM, "SPM"),
    Row("1001 0100 0000 1001", ExecIJMP, "IJMP"),
    Row("1001 0100 0001 1001", ExecEIJMP, "EIJMP"),
    Row("1001 0100 001x 1001", ExecEIJMP, "EIJMP"),
    Row("1001 0100 01xx 1001", ExecEIJMP, "EIJMP"),
    Row("1001 0100 1xxx 1001", ExecEIJMP, "EIJMP"),
    Row("1001 0101 0000 1001", ExecICALL, "ICALL"),
    Row("1001 0101 0001 1001", ExecEICALL, "EICALL"),
    Row("1001 0101 001x 1001", ExecEICALL, "EICALL"),
    Row("1001 0101 01xx 1001", ExecEICALL, "EICALL"),
    Row("1001 0101 1xxx 1001", ExecEICALL, "EICALL"),
    Row("1001 010d dddd 1010", ExecDEC, "DEC"),
    Row("1001 010x xxxx 1011", ExecUNDEFINED_ONE_OPERAND, "(undefined)"),
    Row("1001 010k kkkk 110k", ExecJMP, "JMP"),
    Row("1001 010k kkkk 111k", ExecCALL, "CALL"),
    Row("1001 0110 KKdd KKKK", ExecADIW, "ADIW"),
    Row("1001 0111 KKdd KKKK", ExecSBIW, "SBIW"),
    Row("1001 1000 AAAA Abbb", ExecCBI, "CBI"),
    Row("1001 1001 AAAA Abbb", ExecSBIC, "SBIC"),
    Row("1001 1010 AAAA Abbb", ExecSBI, "SBI"),
    Row("1001 1011 AAAA Abbb", ExecSBIS, "SBIS"),
    Row("1001 11rd dddd rrrr", ExecMUL, "MUL"),
    Row("1011 0AAd dddd AAAA", ExecIN, "IN"),
    Row("1011 1AAr rrrr AAAA", ExecOUT, "OUT"),
    Row("1100 kkkk kkkk kkkk", ExecRJMP, "RJMP"),
    Row("1101 kkkk kkkk kkkk", ExecRCALL, "RCALL"),
    Row("1110 KKKK dddd KKKK", ExecLDI, "LDI"),
    Row("1111 00kk kkkk ksss", ExecBRBS, "BRBS"),
    Row("1111 01kk kkkk ksss", ExecBRBC, "BRBC"),
    Row("1111 100d dddd xbbb", ExecBLD, "BLD"),
    Row("1111 101d dddd xbbb", ExecBST, "BST"),
    Row("1111 110r rrrr xbbb", ExecSBRC, "SBRC"),
    Row("1111 111r rrrr xbbb", ExecSBRS, "SBRS"),
};
// clang-format on

// Gathers the bits of one operand letter, high bit first.
unsigned Extract(const char* pattern, uint16_t word, char letter) {
  unsigned value = 0;
  int bit = 15;
  for (const char* p = pattern; *p; ++p) {
    if (*p == ' ') continue;
    if (*p == letter) value = (value << 1) | ((word >> bit) & 1);
    --bit;
  }
  return value;
}

bool Has(const char* pattern, char letter) {
  for (const char* p = pattern; *p; ++p)
    if (*p == letter) return true;
  return false;
}

}  // namespace

std::span<const InstructionEncoding> InstructionEncodings() { return kEncodings; }

const InstructionEncoding* FindEncoding(uint16_t word) {
  for (const InstructionEncoding& e : kEncodings)
    if ((word & e.mask) == e.value) return &e;
  return nullptr;
}

std::string DisassembleInstruction(uint16_t word, uint16_t next) {
  const InstructionEncoding* e = FindEncoding(word);
  if (!e) return "(unknown)";
  const char* p = e->pattern;
  const InstructionHandler h = e->handler;
  std::string operands;
  auto add = [&](const char* format, long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    if (!operands.empty()) operands += ",";
    operands += buffer;
  };
  if (h == ExecMOVW) {
    add("r%ld", 2 * Extract(p, word, 'd'));
    add("r%ld", 2 * Extract(p, word, 'r'));
  } else if (h == ExecADIW || h == ExecSBIW) {
    add("r%ld", 24 + 2 * Extract(p, word, 'd'));
    add("%ld", Extract(p, word, 'K'));
  } else {
    // Immediate forms, MULS and the 0x03 multiplies name registers from r16 up.
    const bool high = (word >> 14) == 1 || (word >> 12) == 0x3 || (word >> 12) == 0xE ||
                      (word >> 8) == 0x02 || (word >> 8) == 0x03;
    const long base = high ? 16 : 0;
    if (Has(p, 'd')) add("r%ld", base + Extract(p, word, 'd'));
    if (Has(p, 'r')) add("r%ld", base + Extract(p, word, 'r'));
    if (Has(p, 'K')) add("0x%02lX", Extract(p, word, 'K'));
    if (Has(p, 'A')) add("0x%02lX", Extract(p, word, 'A'));
    if (Has(p, 'q')) {
      add(Extract(p, word, 'b') ? "Y+%ld" : "Z+%ld", Extract(p, word, 'q'));
    } else if (Has(p, 'b')) {
      add("%ld", Extract(p, word, 'b'));
    }
    if (Has(p, 's')) add("%ld", Extract(p, word, 's'));
    if (h == ExecLDS || h == ExecSTS) {
      add("0x%04lX", next);
    } else if (h == ExecJMP || h == ExecCALL) {
      add("0x%lX", (long(Extract(p, word, 'k')) << 16) | next);
    } else if (Has(p, 'k')) {
      const int bits = (h == ExecRJMP || h == ExecRCALL) ? 12 : 7;
      const long k = Extract(p, word, 'k');
      add(".%+ld", k >= (1L << (bits - 1)) ? k - (1L << bits) : k);
    }
  }
  return operands.empty() ? std::string(e->mnemonic) : std::string(e->mnemonic) + " " + operands;
}

}  // namespace velmora
