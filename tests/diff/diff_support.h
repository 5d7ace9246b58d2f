// What the two differential tests share: the random source, options as "--name value" pairs,
// and an instruction of program memory shown with its address.
#ifndef VELMORA_TESTS_DIFF_SUPPORT_H
#define VELMORA_TESTS_DIFF_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "core/encodings.h"
#include "core/machine.h"

namespace velmora::diff {

inline std::mt19937_64 Rng;
inline uint32_t Random(uint32_t n) {
  return uint32_t(Rng() % n);
}

struct Option {
  const char* name;
  uint64_t* number;  // or
  const char** text = nullptr;
};

// Reads "--name value" pairs into the options; false (after a usage line) on an unknown name.
inline bool ParseOptions(int argc, char** argv, std::initializer_list<Option> options,
                         const char* usage) {
  for (int i = 1; i < argc; i += 2) {
    const Option* found = nullptr;
    for (const Option& o : options)
      if (i + 1 < argc && std::strcmp(argv[i], o.name) == 0) found = &o;
    if (found == nullptr) {
      std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
      return false;
    }
    if (found->number) *found->number = std::strtoull(argv[i + 1], nullptr, 0);
    if (found->text) *found->text = argv[i + 1];
  }
  return true;
}

// "PPPPPP: WWWW  mnemonic" for the instruction at word `pc` of program memory.
inline std::string Disassemble(uint32_t pc) {
  if (pc >= kProgramWords) return "(outside program memory)";
  const uint8_t* w = &Machine.program[2 * pc];
  const uint16_t word = uint16_t(w[0] | (w[1] << 8));
  const uint16_t next = pc + 1 < kProgramWords ? uint16_t(w[2] | (w[3] << 8)) : 0;
  char text[96];
  std::snprintf(text, sizeof text, "%06X: %04X  %s", pc, word,
                DisassembleInstruction(word, next).c_str());
  return text;
}

}  // namespace velmora::diff

#endif
