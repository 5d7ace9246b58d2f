// A linear congruential generator of the C-library kind: bits 16-30 of a 32-bit state make each
// 15-bit draw (the low bits of such a state repeat too soon to be used). Runs are repeatable for
// a given seed, which the tests and velmora-run --seed rely on.
#include "services/random.h"

namespace velmora {

namespace {
uint32_t state = 1;
}

void SeedRandom(uint32_t seed) {
  state = seed;
}

uint32_t RandomWord() {
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

}  // namespace velmora
