// The Intel HEX loader: fills program memory from a HEX text file, once per run at boot.
#pragma once

#include <cstdint>
#include <string>

#include "io/program_path.h"

namespace velmora {

// Result codes of LoadHexProgram; 2 and 6 to 9 are never returned.
enum HexLoadResult : uint8_t {
  kHexLoaded = 0,
  kHexBadDigit = 1,  // a field holds a character that is no hexadecimal digit
  kHexBadChecksum = 3,
  kHexBadRecordType = 4,  // a type other than 00, 01, 02 and 04
  kHexBadLine = 5,        // no colon, an empty line, a line too long or a record cut short
  kHexCannotOpen = 10,
  kHexTruncated = 11,  // the file ended, or a read failed, before the end record
  kHexTooBig = 12,     // a data byte at 0x41000 or beyond
};

// Room for one line counting its CR and LF and a terminator: lines of up to 298 bytes.
constexpr uint32_t kHexLineRoom = 299;

// Highest address written + 1 after a successful load; 0 after a failure once the file opened.
extern uint32_t ProgramSize;
// The line the last load ended on, counting from 1: the end record, or the line that failed
// (0 when the file did not open).
extern uint32_t HexLineNumber;

// After a load that failed with kHexTooBig: the address of the byte that did not fit.
extern uint64_t HexRefusedAddress;

// Sets program memory to 0xFF, then reads the file at `path` into it. Leaves HostError as the
// file layer left it.
uint8_t LoadHexProgram(const char* path);

}  // namespace velmora
