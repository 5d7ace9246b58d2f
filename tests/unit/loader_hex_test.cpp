#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/machine.h"
#include "host/hex_loader.h"
#include "io/file_layer.h"

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
struct ScratchDirectory {
  fs::path path;
  ScratchDirectory() {
    path = fs::temp_directory_path() / ("velmora-loader-" + std::to_string(std::random_device{}()));
    fs::create_directories(path);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

fs::path TestDirectory() {
  static const ScratchDirectory directory;
  return directory.path;
}

std::string WriteFile(const std::string& name, const std::string& text) {
  const fs::path path = TestDirectory() / name;
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return path.string();
}

uint8_t LoadText(const std::string& text) {
  // Program memory holds something else before, so that the 0xFF fill is seen.
  memset(Machine.program, 0x5A, kProgramBytes);
  return LoadHexProgram(WriteFile("program.hex", text).c_str());
}

struct Placed {
  uint32_t address;
  uint8_t value;
};

struct LoaderCase {
  const char* name;
  std::string text;
  uint8_t code;
  uint32_t size;  // ProgramSize afterwards
  std::vector<Placed> bytes;
};

std::vector<LoaderCase> LoaderCases() {
  const std::string two_records =
      Data(0x0000, {0x0C, 0x94, 0x5C, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                    0xAA, 0xBB, 0xCC}) +
      Data(0x0010, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  return {
      {"sixteen-byte records",
       two_records + kEnd,
       kHexLoaded,
       0x20,
       {{0x00, 0x0C}, {0x0F, 0xCC}, {0x10, 1}, {0x1F, 16}, {0x20, 0xFF}}},
      {"CR LF line ends",
       ":020000000C945E\r\n:00000001FF\r\n",
       kHexLoaded,
       2,
       {{0, 0x0C}, {1, 0x94}}},
      {"spaces anywhere",
       ": 02 0000 00 0C 94 5E \n :00000001FF \n",
       kHexLoaded,
       2,
       {{0, 0x0C}, {1, 0x94}}},
      {"lower case digits", ":02000000abcd86\n" + kEnd, kHexLoaded, 2, {{0, 0xAB}, {1, 0xCD}}},
      {"end record only", kEnd, kHexLoaded, 1, {{0, 0xFF}, {kProgramBytes - 1, 0xFF}}},
      {"write only address 0", Data(0, {0x0C}) + kEnd, kHexLoaded, 1, {{0, 0x0C}}},
      {"count 0 data record", Record(0, 0x1234, {}) + "\n" + kEnd, kHexLoaded, 1, {}},
      {"gap counts in the size",
       Data(0x0000, std::vector<uint8_t>(16, 7)) + Data(0x1000, std::vector<uint8_t>(16, 8)) + kEnd,
       kHexLoaded,
       0x1010,
       {{0x0F, 7}, {0x10, 0xFF}, {0x0FFF, 0xFF}, {0x1000, 8}}},
      {"end record checksum not examined, nothing after it read",
       Data(0, {0x0C, 0x94}) + ":00000001AB\nnot a record\n:0200000401FFFA\n",
       kHexLoaded,
       2,
       {{0, 0x0C}}},
      {"end record without a checksum", Data(0, {0x0C, 0x94}) + ":00000001\n", kHexLoaded, 2, {}},
      {"characters after the checksum ignored",
       Record(0, 0, {0x0C, 0x94}) + "ZZ\n" + kEnd,
       kHexLoaded,
       2,
       {{1, 0x94}}},
      {"last byte of program memory",
       Record(4, 0, {0x00, 0x04}) + "\n" + Data(0x0FFF, {0xEE}) + kEnd,
       kHexLoaded,
       0x41000,
       {{0x40FFF, 0xEE}}},
      {"extended linear address",
       Record(4, 0, {0x00, 0x03}) + "\n" + Data(0x0FF0, {1, 2}) + kEnd,
       kHexLoaded,
       0x30FF2,
       {{0x30FF0, 1}, {0x30FF1, 2}, {0x0FF0, 0xFF}}},
      {"extended segment address",
       Record(2, 0, {0x12, 0x34}) + "\n" + Data(0, {9}) + kEnd,
       kHexLoaded,
       0x12341,
       {{0x12340, 9}}},
      {"the last base record wins",
       Record(4, 0, {0x00, 0x01}) + "\n" + Record(2, 0, {0x10, 0x00}) + "\n" + Data(5, {3}) + kEnd,
       kHexLoaded,
       0x10006,
       {{0x10005, 3}}},
      {"base record count not compared with 2",
       ":040000040001F70000\n" + Data(0, {4}) + kEnd,
       kHexLoaded,
       0x10001,
       {{0x10000, 4}}},

      {"end record with a non-digit",
       Data(0, {0x0C, 0x94}) + ":00000G01FF\n",
       kHexBadDigit,
       0,
       {{0, 0x0C}}},
      {"non-digit in a base record", ":02000004000GFA\n" + kEnd, kHexBadDigit, 0, {}},
      // "0G" reads as 0x00, so the checksum of the record with 00 in its place matches.
      {"non-digit in a data byte", ":020000000C0GF2\n" + kEnd, kHexBadDigit, 0, {}},
      {"non-digit in a data record's address", ":0200G0000C945E\n" + kEnd, kHexBadDigit, 0, {}},
      {"checksum before digits", ":02000004000G00\n" + kEnd, kHexBadChecksum, 0, {}},
      {"wrong checksum", ":020000000C945F\n" + kEnd, kHexBadChecksum, 0, {{0, 0x0C}}},
      {"type 03", Record(3, 0, {0, 0, 0, 0}) + "\n" + kEnd, kHexBadRecordType, 0, {}},
      {"empty line", Data(0, {0x0C, 0x94}) + "\r\n" + kEnd, kHexBadLine, 0, {{0, 0x0C}}},
      {"no colon", "020000000C945E\n" + kEnd, kHexBadLine, 0, {}},
      {"header cut short", ":0200000\n" + kEnd, kHexBadLine, 0, {}},
      {"data record shorter than its count", ":040000000C945E\n" + kEnd, kHexBadLine, 0, {}},
      {"base record cut short", ":020000040001\n" + kEnd, kHexBadLine, 0, {}},
      {"no line feed after the end record",
       Data(0, {0x0C, 0x94}) + ":00000001FF",
       kHexTruncated,
       0,
       {{0, 0x0C}}},
      {"empty file", "", kHexTruncated, 0, {}},
      {"first byte beyond program memory",
       Record(4, 0, {0x00, 0x04}) + "\n" + Data(0x1000, {1}) + kEnd,
       kHexTooBig,
       0,
       {{0x40FFF, 0xFF}}},
      {"bytes before the limit stay",
       Record(4, 0, {0x00, 0x04}) + "\n" + Data(0x0FFE, {1, 2, 3}) + kEnd,
       kHexTooBig,
       0,
       {{0x40FFE, 1}, {0x40FFF, 2}}},
      // The target address counts on past 32 bits instead of wrapping to the bottom of memory.
      {"highest base and offset",
       Record(4, 0, {0xFF, 0xFF}) + "\n" + Data(0xFFFF, {1, 2}) + kEnd,
       kHexTooBig,
       0,
       {{0, 0xFF}, {1, 0xFF}}},
  };
}

TEST(LoaderHex, ResultCodesSizesAndPlacement) {
  for (const LoaderCase& c : LoaderCases()) {
    SCOPED_TRACE(c.name);
    ProgramSize = 12345;
    EXPECT_EQ(LoadText(c.text), c.code);
    EXPECT_EQ(ProgramSize, c.size);
    for (const Placed& p : c.bytes) {
      EXPECT_EQ(Machine.program[p.address], p.value) << "at 0x" << std::hex << p.address;
    }
  }
}

TEST(LoaderHex, MemoryOutsideTheRecordsIsErased) {
  ASSERT_EQ(LoadText(Data(0x100, {1, 2}) + kEnd), kHexLoaded);
  int others = 0;
  for (uint32_t a = 0; a < kProgramBytes; ++a) {
    if (a != 0x100 && a != 0x101 && Machine.program[a] != 0xFF) ++others;
  }
  EXPECT_EQ(others, 0);
}

// All of program memory from a file of many read blocks, with lines of varying length so that
// records straddle the blocks' edges anywhere.
TEST(LoaderHex, WholeProgramMemory) {
  const auto pattern = [](uint32_t a) { return uint8_t(a * 7 + (a >> 8) * 13 + (a >> 16)); };
  std::string text;
  for (uint32_t segment = 0; segment <= (kProgramBytes - 1) >> 16; ++segment) {
    text += Record(4, 0, {0, uint8_t(segment)}) + "\n";
    for (uint32_t offset = 0; offset < 0x10000 && (segment << 16 | offset) < kProgramBytes;) {
      const uint32_t count = 1 + offset % 23;
      std::vector<uint8_t> payload;
      for (uint32_t i = 0; i < count && offset + i < 0x10000; ++i) {
        const uint32_t address = segment << 16 | (offset + i);
        if (address < kProgramBytes) payload.push_back(pattern(address));
      }
      text += Record(0, uint16_t(offset), payload) + std::string(offset % 5, ' ') + "\r\n";
      offset += uint32_t(payload.size());
    }
  }
  ASSERT_EQ(LoadText(text + kEnd), kHexLoaded);
  EXPECT_EQ(ProgramSize, kProgramBytes);
  uint32_t wrong = 0;
  for (uint32_t a = 0; a < kProgramBytes; ++a) wrong += Machine.program[a] != pattern(a);
  EXPECT_EQ(wrong, 0u);
  // Without the end record's line feed the same file is incomplete.
  const std::string complete = text + kEnd;
  EXPECT_EQ(LoadText(complete.substr(0, complete.size() - 1)), kHexTruncated);
}

// Pads a valid record with spaces so that the whole line, CR and LF included, is `length` bytes.
std::string RecordLineOfLength(size_t length) {
  const std::string record = Record(0, 0, {0x0C, 0x94});
  return record + std::string(length - record.size() - 2, ' ') + "\r\n";
}

TEST(LoaderHex, LineLengthLimit) {
  // 298 bytes with CR and LF fit the line buffer; one more is refused rather than overrun.
  EXPECT_EQ(LoadText(RecordLineOfLength(298) + kEnd), kHexLoaded);
  EXPECT_EQ(LoadText(RecordLineOfLength(299) + kEnd), kHexBadLine);
  EXPECT_EQ(LoadText(":" + std::string(100000, '0')), kHexBadLine);
  // The longest record that fits: 142 data bytes.
  std::vector<uint8_t> payload(142);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i + 1);
  EXPECT_EQ(LoadText(Record(0, 0, payload) + "\r\n" + kEnd), kHexLoaded);
  EXPECT_EQ(ProgramSize, 142u);
  EXPECT_EQ(Machine.program[141], 142);
}

TEST(LoaderHex, MissingFileKeepsTheSize) {
  ASSERT_EQ(LoadText(Data(0, {0x0C, 0x94, 0, 0}) + kEnd), kHexLoaded);
  Machine.program[0] = 0;
  EXPECT_EQ(LoadHexProgram((TestDirectory() / "absent.hex").c_str()), kHexCannotOpen);
  EXPECT_EQ(ProgramSize, 4u);
  EXPECT_EQ(Machine.program[0], 0xFF);
}

// Several runs may start the same program at once; a guest writing the file meanwhile may not.
TEST(LoaderHex, ProgramLoadsWhileAnotherRunReadsIt) {
  const fs::path path = TestDirectory() / "shared.hex";
  FILE* f = fopen(path.c_str(), "wb");
  const std::string text = Data(0, {0x0C, 0x94}) + kEnd;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  const FileHandle other_run = FileOpenSharedRead(path.c_str());
  ASSERT_NE(other_run, kInvalidHandle);
  EXPECT_EQ(LoadHexProgram(path.c_str()), kHexLoaded);
  EXPECT_EQ(FileOpen(path.c_str(), kOpenWrite), kInvalidHandle) << "writers stay out";
  FileClose(other_run);
}

// A path of exactly `length` characters inside the test directory, made of nested directories
// (one name may not exceed 255 bytes).
std::string PathOfLength(size_t length, const std::string& text) {
  fs::path directory = TestDirectory() / "long";
  std::string path = directory.string();
  while (path.size() + 1 + 100 + 1 + 10 < length) {
    directory /= std::string(100, 'd');
    path = directory.string();
  }
  fs::create_directories(directory);
  const size_t name_length = length - path.size() - 1;
  const fs::path file = directory / std::string(name_length, 'p');
  EXPECT_EQ(file.string().size(), length);
  FILE* f = fopen(file.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return file.string();
}

TEST(LoaderHex, ProgramPathRecordedBelow300Characters) {
  const std::string program = Data(0, {0x0C, 0x94}) + kEnd;
  const std::string path299 = PathOfLength(299, program);
  ASSERT_EQ(LoadHexProgram(path299.c_str()), kHexLoaded);
  EXPECT_EQ(std::string(LoadedProgramPath), path299);
  EXPECT_EQ(LoadedProgramPathLength, 299u);

  // Loaded, but the record stays as it was.
  const std::string path300 = PathOfLength(300, program);
  ASSERT_EQ(LoadHexProgram(path300.c_str()), kHexLoaded);
  EXPECT_EQ(std::string(LoadedProgramPath), path299);
  EXPECT_EQ(LoadedProgramPathLength, 299u);

  // A failed load records nothing.
  ASSERT_EQ(LoadHexProgram(WriteFile("bad.hex", "x\n").c_str()), kHexBadLine);
  EXPECT_EQ(LoadedProgramPathLength, 299u);
}

}  // namespace
}  // namespace velmora
