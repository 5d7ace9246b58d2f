// The 15-bit pseudo-random source shared by the arithmetic and drawing services, seeded once
// per run at start-up.
#pragma once

#include <cstdint>

namespace velmora {

void SeedRandom(uint32_t seed);
// One draw: 0 to 32767.
uint32_t RandomWord();

}  // namespace velmora
