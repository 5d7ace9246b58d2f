// The Intel HEX loader on arbitrary bytes. After every input: the result is one of the loader's
// codes, program memory is only written below 0x41000, a failure leaves ProgramSize 0 and the
// recorded path as it was, a success leaves nothing above the program's size, the file is
// closed again, and a small program loads back from its own HEX text to the same bytes.
#include <cstring>
#include <string>

#include "core/machine.h"
#include "fuzz_support.h"
#include "host/hex_loader.h"

namespace velmora::fuzz {
namespace {

std::string InputPath, RoundTripPath;
uint8_t Erased[kProgramBytes];

// Program memory [0, size) as data records of 16 bytes (the round trip stays below 64 KiB), then
// the end record.
std::string HexText(uint32_t size) {
  std::string text;
  char line[64];
  for (uint32_t at = 0; at < size; at += 16) {
    const uint32_t count = size - at < 16 ? size - at : 16;
    uint8_t sum = uint8_t(count + (at >> 8) + at);
    snprintf(line, sizeof line, ":%02X%04X00", count, at & 0xFFFF);
    text += line;
    for (uint32_t i = 0; i < count; ++i) {
      snprintf(line, sizeof line, "%02X", Machine.program[at + i]);
      text += line;
      sum = uint8_t(sum + Machine.program[at + i]);
    }
    snprintf(line, sizeof line, "%02X\r\n", uint8_t(-sum));
    text += line;
  }
  return text + ":00000001FF\n";
}

}  // namespace
}  // namespace velmora::fuzz

using namespace velmora;
using namespace velmora::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InputPath = ScratchRoot() + "/input.hex";
  RoundTripPath = ScratchRoot() + "/again.hex";
  WriteWholeFile(InputPath, nullptr, 0);
  memset(Erased, 0xFF, sizeof Erased);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteWholeFile(InputPath, data, size);
  const std::string path_before(LoadedProgramPath, LoadedProgramPathLength);
  uint8_t padding[4];
  memcpy(padding, Machine.program + kProgramBytes, sizeof padding);
  const int free_descriptor = LowestFreeDescriptor();

  const uint8_t code = LoadHexProgram(InputPath.c_str());

  // Every code but kHexCannotOpen (the file is always there).
  FUZZ_CHECK(OneOf(code, {kHexLoaded, kHexBadDigit, kHexBadChecksum, kHexBadRecordType, kHexBadLine,
                          kHexTruncated, kHexTooBig}),
             "unknown loader code");
  FUZZ_CHECK(memcmp(padding, Machine.program + kProgramBytes, sizeof padding) == 0,
             "write beyond program memory");
  FUZZ_CHECK(LowestFreeDescriptor() == free_descriptor, "the loader left a file open");
  if (code != kHexLoaded) {
    FUZZ_CHECK(ProgramSize == 0, "a failed load reports a size");
    FUZZ_CHECK(std::string(LoadedProgramPath, LoadedProgramPathLength) == path_before,
               "a failed load changed the recorded path");
    return 0;
  }
  FUZZ_CHECK(ProgramSize >= 1 && ProgramSize <= kProgramBytes, "size outside program memory");
  FUZZ_CHECK(memcmp(Machine.program + ProgramSize, Erased, kProgramBytes - ProgramSize) == 0,
             "bytes written above the program's size");
  FUZZ_CHECK(InputPath == std::string(LoadedProgramPath, LoadedProgramPathLength),
             "the loaded path is not recorded");

  // Round trip: the loaded bytes written as plain records load back to the same memory.
  if (ProgramSize <= 0x2000) {
    static uint8_t loaded[0x2000];
    const uint32_t size_loaded = ProgramSize;
    memcpy(loaded, Machine.program, size_loaded);
    const std::string text = HexText(size_loaded);
    WriteWholeFile(RoundTripPath, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    FUZZ_CHECK(LoadHexProgram(RoundTripPath.c_str()) == kHexLoaded, "own HEX text refused");
    FUZZ_CHECK(ProgramSize == size_loaded, "own HEX text gives another size");
    FUZZ_CHECK(memcmp(loaded, Machine.program, size_loaded) == 0, "own HEX text gives other bytes");
  }
  return 0;
}
