// Text primitives: numbers appended to a string in hex or decimal, reals written as text, and
// strings and paths cut at a character. Each works in place on one zero-terminated byte string
// held in a buffer of known room, in guest memory or on the host. Nothing is read or written
// outside that room: a string without a terminator in its room ends where the room ends, and a
// write is cut so that its terminator still fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

struct TextBuffer {
  char* bytes;
  uint32_t room;  // bytes usable from `bytes` on, the terminator included
};

template <size_t N>
TextBuffer HostText(char (&array)[N]) {
  return {array, uint32_t(N)};
}

// Length of the string: up to its terminator, or the whole room when it has none.
uint32_t TextLength(TextBuffer text);
// Appends `piece` (which may lie inside the buffer itself) and returns the new length.
uint32_t AppendText(TextBuffer text, std::string_view piece);
// Replaces the string by `piece` and returns the new length.
uint32_t WriteText(TextBuffer text, std::string_view piece);

// Hexadecimal, upper case, always the full count of digits; each returns the new length.
uint32_t AppendHexByte(TextBuffer text, uint8_t value);
uint32_t AppendHexWord(TextBuffer text, uint16_t value);
uint32_t AppendHexDword(TextBuffer text, uint32_t value);
uint32_t AppendHexQword(TextBuffer text, uint64_t value);

// Decimal. Width 0 is the free form: the digits without leading zeros, "#" in the first place
// of a 64-bit value of 10^19 or more. Width n appends exactly n characters: the lowest n digits
// with leading zeros, the first one "#" when the digit above the field is not zero. Wide fields
// are computed exactly (a 32-bit value in width 12 is simply zero-padded).
uint32_t AppendDecimal(TextBuffer text, uint8_t width, uint32_t value);
uint32_t AppendDecimal64(TextBuffer text, uint8_t width, uint64_t value);

// Writes `value` with `digits` significant digits from the start of the buffer, replacing the
// string, and returns the length: fixed notation when the value rounded to `digits` has a decimal
// exponent of -1 to digits - 1, else exponential ("1.23E6", "1.E5", with one digit "2E-7"),
// trailing zeros of the fraction dropped, no final point;
// infinities and NaN give "Err". Digit counts below 1 count as 1 and above kMaxRealDigits as
// kMaxRealDigits, so the text never exceeds 29 characters.
constexpr int kMaxRealDigits = 22;
uint32_t FormatReal(TextBuffer text, int digits, double value);

// Cutting; a zero character never matches and the string only ever gets shorter.
void KeepAfterLast(TextBuffer text, char c);   // what follows the last c
void KeepBeforeLast(TextBuffer text, char c);  // what precedes the last c
void KeepAfterFirst(TextBuffer text, char c);  // what follows the first c
void CutAtFirst(TextBuffer text, char c);      // what precedes the first c
// Removes the first `open` and everything after it up to and including the next `close`; with
// no `open`, removes everything up to and including the first `close`.
void RemoveSpan(TextBuffer text, char open, char close);
// The last backslash-separated component without its last extension: C:\a\b.tar.gz -> b.tar.
void PathStem(TextBuffer text);

// The host's own uses on host strings (the text ends at its first zero byte, if any): port
// names, the executable's directory and name, default file names.
uint32_t AppendDecimal(std::string& text, uint8_t width, uint32_t value);
void KeepAfterLast(std::string& text, char c);
void KeepBeforeLast(std::string& text, char c);
void PathStem(std::string& text);

}  // namespace velmora
