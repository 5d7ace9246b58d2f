#include "host/hex_loader.h"

#include <cstring>

#include "core/engine.h"
#include "core/machine.h"
#include "io/file_layer.h"
#include "services/status.h"

namespace velmora {

uint32_t ProgramSize = 0;
uint32_t HexLineNumber = 0;
uint64_t HexRefusedAddress = 0;

namespace {

constexpr uint8_t kNoDigit = 255;

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  return kNoDigit;
}

// The file is read a block at a time: one system call per block instead of one per byte.
constexpr uint32_t kReadBlockSize = 1 << 16;
uint8_t ReadBlock[kReadBlockSize];

// The open file with its read-ahead block, one record's text with CR, LF and spaces removed, and
// the decoding state of the whole file.
struct HexReader {
  FileHandle file;
  uint32_t unread;  // bytes of the file's size at opening not yet read into the block
  uint32_t block_length;
  uint32_t block_at;
  char line[kHexLineRoom];
  uint32_t length;
  bool digit_error;
};

// The next byte of the file; false at its end or when a read failed. Up to the size the file had
// when it was opened it comes from whole blocks; past that (a file without a size, such as a pipe,
// or one that grew) byte by byte, so that every file reads as it would one byte at a time.
bool NextByte(HexReader& reader, uint8_t* byte) {
  if (reader.block_at == reader.block_length) {
    if (reader.unread == 0) {
      *byte = FileReadByte(reader.file);
      return EndOfFileFlag == 0 && HostError == 0;
    }
    const uint32_t size = reader.unread < kReadBlockSize ? reader.unread : kReadBlockSize;
    FileReadBlock(reader.file, size, ReadBlock);
    // A short block: the file shrank while being read.
    if (EndOfFileFlag != 0 || HostError != 0) return false;
    reader.unread -= size;
    reader.block_length = size;
    reader.block_at = 0;
  }
  *byte = ReadBlock[reader.block_at++];
  return true;
}

// A pair of characters as one byte, most significant digit first; a non-digit reads as 0 and
// marks the file bad. Every validated field goes through here, data bytes included, so that a
// stray character can never load as a silent zero.
uint8_t HexByteAt(HexReader& reader, uint32_t position) {
  uint8_t value = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    uint8_t digit = HexDigitValue(reader.line[position + i]);
    if (digit == kNoDigit) {
      reader.digit_error = true;
      digit = 0;
    }
    value = uint8_t(value << 4 | digit);
  }
  return value;
}

// Reads one line up to and including its line feed, leaving out CR, LF and spaces. Returns 0 or
// the code that ends the load.
uint8_t ReadHexLine(HexReader& reader) {
  reader.length = 0;
  for (uint32_t taken = 0;; ++taken) {
    // The longest line is 298 bytes with its CR and LF; a longer one is refused rather than cut.
    if (taken == kHexLineRoom - 1) return kHexBadLine;
    uint8_t byte = 0;
    if (!NextByte(reader, &byte)) return kHexTruncated;
    if (byte == 0x0A) return 0;
    if (byte != 0x0D && byte != ' ') reader.line[reader.length++] = char(byte);
  }
}

// Decodes the records from the open file until the end record or a failure.
uint8_t ReadHexRecords(HexReader& reader) {
  uint64_t base = 0;
  uint64_t highest = 0;
  for (;;) {
    ++HexLineNumber;
    if (const uint8_t failure = ReadHexLine(reader)) return failure;
    if (reader.length == 0 || reader.line[0] != ':') return kHexBadLine;
    // Colon, count, address and type.
    if (reader.length < 9) return kHexBadLine;
    const uint8_t count = HexByteAt(reader, 1);
    const uint8_t address_high = HexByteAt(reader, 3);
    const uint8_t address_low = HexByteAt(reader, 5);
    const uint8_t type = HexByteAt(reader, 7);
    const uint32_t offset = uint32_t(address_high) << 8 | address_low;
    uint8_t sum = uint8_t(count + address_high + address_low + type);
    uint32_t checksum_at;
    switch (type) {
      case 0x00: {
        checksum_at = 9 + 2 * uint32_t(count);
        if (reader.length < checksum_at + 2) return kHexBadLine;
        for (uint32_t i = 0; i < count; ++i) {
          const uint8_t value = HexByteAt(reader, 9 + 2 * i);
          sum = uint8_t(sum + value);
          const uint64_t target = base + offset + i;
          if (target >= kProgramBytes) {
            HexRefusedAddress = target;
            return kHexTooBig;
          }
          Machine.program[target] = value;
          if (target > highest) highest = target;
        }
        break;
      }
      case 0x01:
        // The end record's checksum is not examined, and nothing after it is read.
        if (reader.digit_error) return kHexBadDigit;
        ProgramSize = uint32_t(highest + 1);
        return kHexLoaded;
      case 0x02:
      case 0x04: {
        checksum_at = 13;
        if (reader.length < checksum_at + 2) return kHexBadLine;
        const uint8_t high = HexByteAt(reader, 9);
        const uint8_t low = HexByteAt(reader, 11);
        sum = uint8_t(sum + high + low);
        const uint64_t value = uint32_t(high) << 8 | low;
        base = type == 0x02 ? value << 4 : value << 16;
        break;
      }
      default:
        return kHexBadRecordType;
    }
    sum = uint8_t(sum + HexByteAt(reader, checksum_at));
    if (sum != 0) return kHexBadChecksum;
    if (reader.digit_error) return kHexBadDigit;
  }
}

}  // namespace

uint8_t LoadHexProgram(const char* path) {
  memset(Machine.program, 0xFF, kProgramBytes);
  ForgetDecodedProgram();
  HostError = 0;
  HexLineNumber = 0;
  HexRefusedAddress = 0;
  HexReader reader;
  reader.file = FileOpenSharedRead(path);
  if (reader.file == kInvalidHandle) return kHexCannotOpen;
  ProgramSize = 0;
  reader.unread = FileSize(reader.file);  // 0 when it has none: then byte by byte
  reader.block_length = 0;
  reader.block_at = 0;
  reader.length = 0;
  reader.digit_error = false;
  const uint8_t result = ReadHexRecords(reader);
  FileClose(reader.file);
  if (result == kHexLoaded) RecordProgramPath(path);
  return result;
}

}  // namespace velmora
