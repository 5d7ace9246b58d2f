// Group 5: the guest's string library. Every service edits zero-terminated strings in the data
// space in place, named by 16-bit addresses in the argument area; none writes the status byte.
// A string without a terminator before 0xFFFF ends there, and a write that would run past 0xFFFF
// is cut so that its terminator lies at or below it.
#include "text/string_services.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/gate.h"
#include "services/guest.h"
#include "text/primitives.h"

namespace velmora {

namespace {

constexpr uint16_t kNotFound = 0xFFFF;
constexpr uint8_t kMaxFieldWidth = 64;

// The string at `address` with all the room up to 0xFFFF (never less than one byte).
TextBuffer GuestText(uint16_t address) {
  const uint32_t room = GuestRoom(address);
  return {reinterpret_cast<char*>(GuestBuffer(address, room)), room};
}

// The string named by the word at `offset` in the argument area.
TextBuffer ArgText(uint32_t offset) {
  return GuestText(GuestWord(kArgumentAddress + offset));
}
uint8_t ArgByte(uint32_t offset) {
  return GuestByte(kArgumentAddress + offset);
}
uint16_t ArgWord(uint32_t offset) {
  return GuestWord(kArgumentAddress + offset);
}
uint32_t ArgDword(uint32_t offset) {
  return GuestDword(kArgumentAddress + offset);
}
uint64_t ArgQword(uint32_t offset) {
  return GuestQword(kArgumentAddress + offset);
}
char ArgChar(uint32_t offset) {
  return char(ArgByte(offset));
}
uint8_t ArgWidth() {
  return std::min(ArgByte(2), kMaxFieldWidth);
}

void SetResult(uint32_t value) {
  SetGuestWord(kArgumentAddress, uint16_t(value));
}

std::string_view View(TextBuffer text) {
  return {text.bytes, TextLength(text)};
}

void StringLength() {
  SetResult(TextLength(ArgText(0)));
}

// The source is measured before anything is written, so an overlapping copy or an append of a
// string to itself sees the source as it was.
void StringCopy() {
  SetResult(WriteText(ArgText(0), View(ArgText(2))));
}
void StringAppend() {
  SetResult(AppendText(ArgText(0), View(ArgText(2))));
}

void FindCharacter() {
  // The view ends before the terminator, so a zero is never found.
  const size_t at = View(ArgText(0)).find(ArgChar(2));
  SetResult(at == std::string_view::npos ? kNotFound : at);
}

void FindString() {
  const size_t at = View(ArgText(0)).find(View(ArgText(2)));
  SetResult(at == std::string_view::npos ? kNotFound : at);
}

void ReplaceCharacter() {
  const TextBuffer s = ArgText(0);
  const char old_char = ArgChar(2), new_char = ArgChar(3);
  const uint32_t length = TextLength(s);
  uint32_t count = 0;
  if (old_char != 0) {
    for (uint32_t i = 0; i < length; ++i) {
      if (s.bytes[i] == old_char) {
        s.bytes[i] = new_char;
        ++count;
      }
    }
  }
  SetResult(count);
}

// A span reaching past the end is deleted up to the end; a start at or past the end deletes
// nothing.
void DeleteBytes() {
  const TextBuffer s = ArgText(0);
  const uint32_t start = ArgWord(2), count = ArgWord(4);
  const uint32_t length = TextLength(s);
  if (count == 0 || start >= length) return SetResult(length);
  const uint32_t resume = std::min(start + count, length);
  std::memmove(s.bytes + start, s.bytes + resume, length - resume);
  s.bytes[start + (length - resume)] = 0;
  SetResult(start + (length - resume));
}

// Reports the new length: the old length plus one, or the old length when nothing was inserted
// (a position beyond the end, or no room for the byte and a terminator before 0xFFFF).
void InsertCharacter() {
  const TextBuffer s = ArgText(0);
  const uint32_t at = ArgWord(2);
  const char c = ArgChar(4);
  const uint32_t length = TextLength(s);
  if (at > length || length + 2 > s.room) return SetResult(length);
  std::memmove(s.bytes + at + 1, s.bytes + at, length - at);
  s.bytes[at] = c;
  s.bytes[length + 1] = 0;
  SetResult(length + 1);
}

void RemoveCharacter() {
  const TextBuffer s = ArgText(0);
  const char c = ArgChar(2);
  const uint32_t length = TextLength(s);
  if (c == 0) return SetResult(length);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (s.bytes[i] != c) s.bytes[kept++] = s.bytes[i];
  }
  if (kept < length) s.bytes[kept] = 0;
  SetResult(kept);
}

void ReverseString() {
  const TextBuffer s = ArgText(0);
  std::reverse(s.bytes, s.bytes + TextLength(s));
}

void AppendUnsigned16() {
  SetResult(AppendDecimal(ArgText(0), ArgWidth(), ArgWord(3)));
}
void AppendUnsigned32() {
  SetResult(AppendDecimal(ArgText(0), ArgWidth(), ArgDword(3)));
}
void AppendUnsigned64() {
  SetResult(AppendDecimal64(ArgText(0), ArgWidth(), ArgQword(3)));
}

// A negative value appends "-" and then its magnitude in the given width, so the width does not
// count the sign. Magnitudes are taken in unsigned arithmetic: the most negative values work.
void AppendSigned(int64_t value, bool wide) {
  const TextBuffer s = ArgText(0);
  if (value < 0) AppendText(s, "-");
  const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  SetResult(wide ? AppendDecimal64(s, ArgWidth(), magnitude)
                 : AppendDecimal(s, ArgWidth(), uint32_t(magnitude)));
}

void AppendSigned16() {
  AppendSigned(int16_t(ArgWord(3)), false);
}
void AppendSigned32() {
  AppendSigned(int32_t(ArgDword(3)), false);
}
void AppendSigned64() {
  AppendSigned(int64_t(ArgQword(3)), true);
}

void FormatFloat() {
  const int digits = std::min<int>(ArgByte(2), 20);
  SetResult(FormatReal(ArgText(0), digits, double(GuestFloat(kArgumentAddress + 3))));
}

void FormatDouble() {
  const int digits = std::min<int>(ArgByte(2), 64);
  SetResult(FormatReal(ArgText(0), digits, GuestDouble(kArgumentAddress + 3)));
}

void CutKeepAfterLast() {
  KeepAfterLast(ArgText(0), ArgChar(2));
}
void CutKeepAfterFirst() {
  KeepAfterFirst(ArgText(0), ArgChar(2));
}
void CutKeepBeforeLast() {
  KeepBeforeLast(ArgText(0), ArgChar(2));
}
void CutAtFirstCharacter() {
  CutAtFirst(ArgText(0), ArgChar(2));
}

void KeepBetween() {
  const TextBuffer s = ArgText(0);
  KeepAfterFirst(s, ArgChar(2));
  CutAtFirst(s, ArgChar(3));
}

void CutRemoveSpan() {
  RemoveSpan(ArgText(0), ArgChar(2), ArgChar(3));
}
void PathFileName() {
  KeepAfterLast(ArgText(0), '\\');
}
void PathStemOnly() {
  PathStem(ArgText(0));
}
void PathExtension() {
  KeepAfterLast(ArgText(0), '.');
}
void PathDirectory() {
  KeepBeforeLast(ArgText(0), '\\');
}

// Only the ASCII letters change case; bytes above 0x7F stay as they are, whatever the host's
// code page would make of them.
void MapLetters(char from, char to) {
  const TextBuffer s = ArgText(0);
  char* const end = s.bytes + TextLength(s);
  for (char* p = s.bytes; p != end; ++p) {
    if (*p >= from && *p < from + 26) *p = char(*p - from + to);
  }
}
void MapLowerCase() {
  MapLetters('A', 'a');
}
void MapUpperCase() {
  MapLetters('a', 'A');
}

void HexByte() {
  SetResult(AppendHexByte(ArgText(0), ArgByte(2)));
}
void HexWord() {
  SetResult(AppendHexWord(ArgText(0), ArgWord(2)));
}
void HexDword() {
  SetResult(AppendHexDword(ArgText(0), ArgDword(2)));
}
void HexQword() {
  SetResult(AppendHexQword(ArgText(0), ArgQword(2)));
}

// Decimal integer as the runtime's atoi reads it: leading white space, an optional sign, digits
// up to the first other byte. A value beyond the 32-bit range gives the nearest limit.
int32_t ParseInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : INT32_MAX;
  int64_t magnitude = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (s[i] - '0'), limit);
  }
  return int32_t(negative ? -magnitude : magnitude);
}

void ParseInteger32() {
  SetGuestDword(kArgumentAddress, uint32_t(ParseInteger(View(ArgText(0)))));
}

void ParseInteger64() {
  SetGuestQword(kArgumentAddress, uint64_t(int64_t(ParseInteger(View(ArgText(0))))));
}

// strtof on a terminated copy, so the parse can never run past the data space. The process never
// changes its C locale, so the point is always the decimal separator.
void ParseReal() {
  const std::string copy(View(ArgText(0)));
  SetGuestFloat(kArgumentAddress, std::strtof(copy.c_str(), nullptr));
}

const ServiceRow kStringServices[] = {
    {5, 1, StringLength, "string length"},
    {5, 2, StringCopy, "string copy"},
    {5, 3, StringAppend, "string append"},
    {5, 4, StringCopy, "string copy"},
    {5, 5, FindCharacter, "find character"},
    {5, 6, FindString, "find string"},
    {5, 7, ReplaceCharacter, "replace character"},
    {5, 8, DeleteBytes, "delete bytes"},
    {5, 9, InsertCharacter, "insert character"},
    {5, 10, RemoveCharacter, "remove character"},
    {5, 11, ReverseString, "reverse string"},
    {5, 12, AppendUnsigned16, "append unsigned 16"},
    {5, 13, AppendUnsigned32, "append unsigned 32"},
    {5, 14, AppendUnsigned64, "append unsigned 64"},
    {5, 15, FormatFloat, "format float"},
    {5, 16, FormatDouble, "format double"},
    {5, 17, AppendSigned32, "append signed 32"},
    {5, 18, AppendSigned64, "append signed 64"},
    {5, 19, AppendSigned16, "append signed 16"},
    {5, 20, CutKeepAfterLast, "cut keep after last"},
    {5, 21, CutKeepAfterFirst, "cut keep after first"},
    {5, 22, CutKeepBeforeLast, "cut keep before last"},
    {5, 23, CutAtFirstCharacter, "cut at first character"},
    {5, 24, KeepBetween, "keep between"},
    {5, 25, CutRemoveSpan, "cut remove span"},
    {5, 26, PathFileName, "path file name"},
    {5, 27, PathStemOnly, "path stem only"},
    {5, 28, PathExtension, "path extension"},
    {5, 29, PathDirectory, "path directory"},
    {5, 30, MapLowerCase, "map lower case"},
    {5, 31, MapUpperCase, "map upper case"},
    {5, 32, HexByte, "hex byte"},
    {5, 33, HexWord, "hex word"},
    {5, 34, HexDword, "hex dword"},
    {5, 35, HexQword, "hex qword"},
    {5, 36, ParseInteger32, "parse integer 32"},
    {5, 37, ParseInteger64, "parse integer 64"},
    {5, 38, ParseReal, "parse real"},
};

}  // namespace

std::span<const ServiceRow> StringServiceRows() {
  return kStringServices;
}

}  // namespace velmora
