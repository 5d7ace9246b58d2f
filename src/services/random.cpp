#include "services/random.h"

namespace velmora {

namespace {
uint32_t state = 1;
}

void SeedRandom(uint32_t seed) { state = seed; }

uint32_t RandomWord() {
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

}  // namespace velmora
