// The file layer's own codes for operations on a handle the platform refuses; everything else
// is exercised through the guest's file services.
#include <gtest/gtest.h>

#include "io/file_layer.h"
#include "services/status.h"

namespace velmora {
namespace {

TEST(FilesLayer, EveryOperationOnABadHandleLeavesItsCode) {
  uint8_t buffer[4] = {};
  struct Case {
    const char* operation;
    void (*run)(uint8_t* buffer);
    uint32_t error;
  };
  const Case cases[] = {
      {"close", [](uint8_t*) { FileClose(kInvalidHandle); }, 2},
      {"flush", [](uint8_t*) { FileFlush(kInvalidHandle); }, 10},
      {"read byte", [](uint8_t*) { FileReadByte(kInvalidHandle); }, 7},
      {"read block", [](uint8_t* b) { FileReadBlock(kInvalidHandle, 4, b); }, 7},
      {"read line", [](uint8_t* b) { FileReadLine(kInvalidHandle, 4, b); }, 7},
      {"write word", [](uint8_t*) { FileWriteWord(kInvalidHandle, 1); }, 8},
      {"write block", [](uint8_t* b) { FileWriteBlock(kInvalidHandle, 4, b); }, 8},
      {"seek", [](uint8_t*) { FileSeek(kInvalidHandle, 0); }, 5},
      {"seek end", [](uint8_t*) { FileSeekEnd(kInvalidHandle); }, 5},
      {"size", [](uint8_t*) { FileSize(kInvalidHandle); }, 12},
  };
  for (const Case& c : cases) {
    HostError = 0xDEAD;
    EndOfFileFlag = 1;
    c.run(buffer);
    EXPECT_EQ(HostError, c.error) << c.operation;
  }
  // A failed read is no end of file.
  EXPECT_EQ(FileReadDword(kInvalidHandle), 0u);
  EXPECT_EQ(EndOfFileFlag, 0);
  // A failed open with a valid mode shows only through the handle.
  EXPECT_EQ(FileOpen("/nonexistent/velmora/file", 3), kInvalidHandle);
  EXPECT_EQ(HostError, 0u);
}

// The host process's own memory and its map are no files for the guest.
TEST(FilesLayer, HostProcessFilesAreRefused) {
  for (const char* name : {"/proc/self/mem", "\\proc\\self\\mem", "/proc/self/maps"}) {
    for (uint8_t mode : {kOpenRead, kOpenReadWrite}) {
      EXPECT_EQ(FileOpen(name, mode), kInvalidHandle) << name << " mode " << int(mode);
    }
  }
}

}  // namespace
}  // namespace velmora
