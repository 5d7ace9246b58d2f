// The guest's 8-bit text is Windows-1252: Latin-1 with typographic signs in 0x80-0x9F.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// The Unicode code point of a character code (0x81, 0x8D, 0x8F, 0x90 and 0x9D, unassigned, stand
// for the control code points of the same number).
uint32_t Windows1252CodePoint(uint8_t code);

// The text as UTF-8, for the platform's titles, message boxes and command lines.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace velmora
