// The HEX loader on real files, for the record forms and failures a compiler never writes (the
// runner's boot test and the guests load real avr-objcopy output, up to code beyond 128 KiB), and
// finding the program beside the executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/machine.h"
#include "host/hex_loader.h"
#include "host/run.h"
#include "io/file_layer.h"
#include "io/program_path.h"
#include "platform/platform.h"
#include "unit_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// One Intel HEX record with its checksum, upper case, no line end.
std::string Record(uint8_t type, uint16_t offset, std::vector<uint8_t> payload) {
  std::vector<uint8_t> body = {uint8_t(payload.size()), uint8_t(offset >> 8), uint8_t(offset),
                               type};
  body.insert(body.end(), payload.begin(), payload.end());
  uint8_t sum = 0;
  std::string text = ":";
  char digits[3];
  for (uint8_t b : body) {
    snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
    sum = uint8_t(sum + b);
  }
  snprintf(digits, sizeof digits, "%02X", uint8_t(-sum));
  return text + digits;
}

const std::string kEnd = ":00000001FF\n";

std::string Data(uint16_t offset, std::vector<uint8_t> payload) {
  return Record(0x00, offset, payload) + "\n";
}

// The files of these tests, in a directory of their own that goes away with the process.
fs::path TestDirectory() {
  static const ScratchDir directory;
  return directory.path;
}

std::string WriteFile(const fs::path& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return path.string();
}

uint8_t LoadText(const std::string& text) {
  // Program memory holds something else before, so that the 0xFF fill is seen.
  memset(Machine.program, 0x5A, kProgramBytes);
  return LoadHexProgram(WriteFile(TestDirectory() / "program.hex", text).c_str());
}

struct LoaderCase {
  const char* name;
  std::string text;
  uint8_t code = kHexLoaded;
  uint32_t size = 0;                                     // ProgramSize afterwards
  std::vector<std::pair<uint32_t, uint8_t>> bytes = {};  // program memory afterwards
};

TEST(LoaderHex, ResultCodesSizesAndPlacement) {
  const std::string e4 = Record(4, 0, {0x00, 0x04}) + "\n";  // base 0x40000
  // clang-format off
  const LoaderCase cases[] = {
      {.name = "CR LF, spaces anywhere", .text = ": 02 0000 00 0C 94 5E \r\n :00000001FF \r\n",
       .size = 2, .bytes = {{0, 0x0C}, {1, 0x94}, {2, 0xFF}}},
      {.name = "lower case digits", .text = ":02000000abcd86\n" + kEnd, .size = 2,
       .bytes = {{0, 0xAB}, {1, 0xCD}}},
      {.name = "end record only", .text = kEnd, .size = 1,
       .bytes = {{0, 0xFF}, {kProgramBytes - 1, 0xFF}}},
      {.name = "gap", .text = Data(0, {7}) + Data(0x1000, {8}) + kEnd, .size = 0x1001,
       .bytes = {{0, 7}, {1, 0xFF}, {0xFFF, 0xFF}, {0x1000, 8}}},
      {.name = "end record checksum not examined, nothing after it read",
       .text = Data(0, {0x0C, 0x94}) + ":00000001AB\nnot a record\n:0200000401FFFA\n", .size = 2},
      {.name = "last byte of program memory", .text = e4 + Data(0x0FFF, {0xEE}) + kEnd,
       .size = 0x41000, .bytes = {{0x40FFF, 0xEE}}},
      {.name = "non-digit in data", .text = ":020000000C0GF2\n" + kEnd, .code = kHexBadDigit},
      {.name = "empty line", .text = Data(0, {0x0C}) + "\r\n" + kEnd, .code = kHexBadLine,
       .bytes = {{0, 0x0C}}},
      {.name = "no colon", .text = "020000000C945E\n" + kEnd, .code = kHexBadLine},
      {.name = "data cut short", .text = ":040000000C945E\n" + kEnd, .code = kHexBadLine},
      {.name = "no line feed after the end record", .text = Data(0, {0x0C}) + ":00000001FF",
       .code = kHexTruncated},
      {.name = "bytes before the limit stay", .text = e4 + Data(0x0FFE, {1, 2, 3}) + kEnd,
       .code = kHexTooBig, .bytes = {{0x40FFE, 1}, {0x40FFF, 2}}},
      // The target address counts on past 32 bits instead of wrapping to the bottom of memory.
      {.name = "highest base and offset",
       .text = Record(4, 0, {0xFF, 0xFF}) + "\n" + Data(0xFFFF, {1, 2}) + kEnd,
       .code = kHexTooBig, .bytes = {{0, 0xFF}, {1, 0xFF}}},
  };
  // clang-format on
  for (const LoaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramSize = 12345;
    EXPECT_EQ(LoadText(c.text), c.code);
    EXPECT_EQ(ProgramSize, c.size);
    for (auto [address, value] : c.bytes)
      EXPECT_EQ(Machine.program[address], value) << "at 0x" << std::hex << address;
  }
}

// 298 bytes with CR and LF fit the line buffer; one more is refused rather than overrun.
TEST(LoaderHex, LineLengthLimit) {
  const std::string record = Record(0, 0, {0x0C, 0x94});
  EXPECT_EQ(LoadText(record + std::string(298 - record.size() - 2, ' ') + "\r\n" + kEnd),
            kHexLoaded);
  EXPECT_EQ(LoadText(record + std::string(299 - record.size() - 2, ' ') + "\r\n" + kEnd),
            kHexBadLine);
  EXPECT_EQ(LoadText(":" + std::string(100000, '0')), kHexBadLine);
}

// Several runs may start the same program at once; a guest writing the file meanwhile may not.
TEST(LoaderHex, ProgramLoadsWhileAnotherRunReadsIt) {
  const std::string path = WriteFile(TestDirectory() / "shared.hex", Data(0, {0x0C, 0x94}) + kEnd);
  const FileHandle other_run = FileOpenSharedRead(path.c_str());
  ASSERT_NE(other_run, kInvalidHandle);
  EXPECT_EQ(LoadHexProgram(path.c_str()), kHexLoaded);
  EXPECT_EQ(FileOpen(path.c_str(), kOpenWrite), kInvalidHandle) << "writers stay out";
  FileClose(other_run);
}

TEST(LoaderHex, ProgramPathRecordedBelow300Characters) {
  // Paths of exactly 299 and 300 characters, made of nested directories.
  fs::path directory = TestDirectory() / "long";
  while (directory.string().size() + 112 < 299) directory /= std::string(100, 'd');
  fs::create_directories(directory);
  std::string paths[2];
  for (size_t length : {299, 300}) {
    const fs::path file = directory / std::string(length - directory.string().size() - 1, 'p');
    paths[length - 299] = WriteFile(file, Data(0, {0x0C, 0x94}) + kEnd);
    ASSERT_EQ(paths[length - 299].size(), length);
    ASSERT_EQ(LoadHexProgram(file.c_str()), kHexLoaded);
  }
  EXPECT_EQ(std::string(LoadedProgramPath), paths[0]) << "loaded, but the record stays as it was";
}

// Without a command line: NAME.hex beside the executable, else the first line of NAME.path.
TEST(LoaderBoot, ProgramNamedAfterTheExecutable) {
  const fs::path start = fs::current_path(), scratch = TestDirectory() / "boot";
  fs::create_directories(scratch);
  fs::current_path(scratch);
  std::string executable;
  ASSERT_TRUE(PlatformGetExecutablePath(&executable));
  std::replace(executable.begin(), executable.end(), '\\', '/');
  const std::string stem = fs::path(executable).stem().string();
  std::string path;
  EXPECT_FALSE(FindProgramPath("", &path));
  EXPECT_FALSE(FindProgramPath(nullptr, &path));
  WriteFile(stem + ".path", "");  // names the empty path, which then fails to open (code 10)
  EXPECT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, "");
  WriteFile(stem + ".path", "elsewhere\\chosen.hex\r\nsecond line\r\n");
  EXPECT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, "elsewhere\\chosen.hex");
  WriteFile(stem + ".hex", kEnd);
  EXPECT_TRUE(FindProgramPath("", &path));
  EXPECT_EQ(path, stem + ".hex") << "the .hex file wins";
  fs::current_path(start);
}

}  // namespace
}  // namespace velmora
