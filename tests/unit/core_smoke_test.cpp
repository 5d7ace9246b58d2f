#include <gtest/gtest.h>

#include "core/dispatch.h"
#include "core/machine.h"

namespace velmora {
namespace {

void Load(std::initializer_list<uint16_t> words) {
  ClearMachine();
  uint32_t a = 0;
  for (uint16_t w : words) {
    Machine.program[a++] = uint8_t(w);
    Machine.program[a++] = uint8_t(w >> 8);
  }
  ResetMachine();
}

TEST(CoreSmoke, LdiAddRuns) {
  Load({0xE01F /* ldi r17,15 */, 0xE021 /* ldi r18,1 */, 0x0F12 /* add r17,r18 */, 0x9404});
  RunInstructions(100);
  EXPECT_EQ(Machine.data[17], 16);
  EXPECT_EQ(Machine.fault, kFaultUndefinedOneOperand);
  EXPECT_EQ(Machine.pc, 3u);
}

}  // namespace
}  // namespace velmora
