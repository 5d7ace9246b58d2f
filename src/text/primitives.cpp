#include "text/primitives.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The position of the first or last `c` in the string, or -1; a zero never matches.
int64_t FindFirst(TextBuffer text, uint32_t length, char c) {
  if (c == 0) return -1;
  const void* hit = std::memchr(text.bytes, c, length);
  return hit ? static_cast<const char*>(hit) - text.bytes : -1;
}

int64_t FindLast(TextBuffer text, uint32_t length, char c) {
  if (c == 0) return -1;
  for (uint32_t i = length; i-- > 0;) {
    if (text.bytes[i] == c) return i;
  }
  return -1;
}

// Shortens the string to bytes [start, end) of itself.
void KeepRange(TextBuffer text, uint32_t start, uint32_t end) {
  std::memmove(text.bytes, text.bytes + start, end - start);
  text.bytes[end - start] = 0;
}

uint32_t AppendHex(TextBuffer text, uint64_t value, int digits) {
  char out[16];
  for (int i = 0; i < digits; ++i) out[i] = kHexDigits[(value >> (4 * (digits - 1 - i))) & 0xF];
  return AppendText(text, {out, size_t(digits)});
}

// Decimal digits of `value`, least significant first, with zeros above the highest.
struct DecimalDigits {
  uint8_t digit[256];
};

DecimalDigits SplitDecimal(uint64_t value) {
  DecimalDigits d{};
  for (int i = 0; value != 0; ++i) {
    d.digit[i] = uint8_t(value % 10);
    value /= 10;
  }
  return d;
}

// `places` is the free form's count of places: 10 for 32-bit values, 19 for 64-bit ones; a
// value too large for them shows "#" in the first place.
uint32_t AppendDecimalDigits(TextBuffer text, uint8_t width, uint64_t value, int places) {
  const DecimalDigits d = SplitDecimal(value);
  char out[256];
  size_t n = 0;
  if (width == 0) {
    int top = places - 1;
    if (d.digit[places] != 0) {
      out[n++] = '#';
      --top;
    } else {
      while (top > 0 && d.digit[top] == 0) --top;
    }
    for (int i = top; i >= 0; --i) out[n++] = char('0' + d.digit[i]);
  } else {
    out[n++] = d.digit[width] != 0 ? '#' : char('0' + d.digit[width - 1]);
    for (int i = width - 2; i >= 0; --i) out[n++] = char('0' + d.digit[i]);
  }
  return AppendText(text, {out, n});
}

// Turns the exponent of a general-format conversion into its short form: "e+05" and "e+005"
// become "E5", "e-007" becomes "E-7"; then drops a final point.
size_t TidyRealText(char* s, size_t length) {
  size_t out = 0;
  for (size_t i = 0; i < length;) {
    if (s[i] != 'e') {
      s[out++] = s[i++];
      continue;
    }
    s[out++] = 'E';
    ++i;
    if (i < length && s[i] == '+') {
      ++i;
    } else if (i < length && s[i] == '-') {
      s[out++] = s[i++];
    }
    for (int zeros = 0; zeros < 2 && i < length && s[i] == '0'; ++zeros) ++i;
  }
  if (out > 0 && s[out - 1] == '.') --out;
  s[out] = 0;
  return out;
}

// Host strings are edited in a buffer with room for `growth` more bytes and a terminator.
template <typename Edit>
uint32_t EditHostString(std::string& text, size_t growth, Edit edit) {
  const size_t length = std::strlen(text.c_str());
  text.resize(length + growth + 1, '\0');
  const uint32_t result = edit(TextBuffer{text.data(), uint32_t(text.size())});
  text.resize(std::strlen(text.c_str()));
  return result;
}

}  // namespace

uint32_t TextLength(TextBuffer text) {
  const void* end = std::memchr(text.bytes, 0, text.room);
  return end ? uint32_t(static_cast<const char*>(end) - text.bytes) : text.room;
}

uint32_t AppendText(TextBuffer text, std::string_view piece) {
  const uint32_t length = TextLength(text);
  if (length >= text.room) return length;
  const uint32_t free = text.room - 1 - length;
  const uint32_t take = piece.size() < free ? uint32_t(piece.size()) : free;
  std::memmove(text.bytes + length, piece.data(), take);
  text.bytes[length + take] = 0;
  return length + take;
}

uint32_t WriteText(TextBuffer text, std::string_view piece) {
  if (text.room == 0) return 0;
  const uint32_t take = piece.size() < text.room ? uint32_t(piece.size()) : text.room - 1;
  std::memmove(text.bytes, piece.data(), take);
  text.bytes[take] = 0;
  return take;
}

uint32_t AppendHexByte(TextBuffer text, uint8_t value) {
  return AppendHex(text, value, 2);
}
uint32_t AppendHexWord(TextBuffer text, uint16_t value) {
  return AppendHex(text, value, 4);
}
uint32_t AppendHexDword(TextBuffer text, uint32_t value) {
  return AppendHex(text, value, 8);
}
uint32_t AppendHexQword(TextBuffer text, uint64_t value) {
  return AppendHex(text, value, 16);
}

uint32_t AppendDecimal(TextBuffer text, uint8_t width, uint32_t value) {
  return AppendDecimalDigits(text, width, value, 10);
}

uint32_t AppendDecimal64(TextBuffer text, uint8_t width, uint64_t value) {
  return AppendDecimalDigits(text, width, value, 19);
}

uint32_t FormatReal(TextBuffer text, int digits, double value) {
  if (!std::isfinite(value)) return WriteText(text, "Err");
  if (digits < 1) digits = 1;
  if (digits > kMaxRealDigits) digits = kMaxRealDigits;

  // The decimal exponent of the value rounded to `digits` significant digits picks the notation:
  // fixed for exponents -1 to digits - 1, so 9.96 with 2 digits is 10 but 99.9 is 1.E2.
  char work[64];
  int length = std::snprintf(work, sizeof work, "%.*e", digits - 1, value);
  const int exponent = std::atoi(std::strchr(work, 'e') + 1);
  if (exponent >= -1 && exponent <= digits - 1) {
    // Fixed notation always shows the point, so that whole numbers end in one.
    length = std::snprintf(work, sizeof work, "%#.*f", digits - 1 - exponent, value);
  }

  // Trailing zeros of the fraction go, the point stays: 2.0000 -> 2., 1.50e+06 -> 1.5e+06.
  if (char* point = std::strchr(work, '.')) {
    char* exponent_part = std::strchr(point, 'e');
    char* end = exponent_part ? exponent_part : work + length;
    char* last = end - 1;
    while (*last == '0') --last;
    const size_t tail = size_t(work + length - end);
    std::memmove(last + 1, end, tail + 1);
    length = int(last + 1 - work + tail);
  }
  length = int(TidyRealText(work, size_t(length)));
  return WriteText(text, {work, size_t(length)});
}

void KeepAfterLast(TextBuffer text, char c) {
  const uint32_t length = TextLength(text);
  const int64_t at = FindLast(text, length, c);
  if (at >= 0) KeepRange(text, uint32_t(at + 1), length);
}

void KeepBeforeLast(TextBuffer text, char c) {
  const int64_t at = FindLast(text, TextLength(text), c);
  if (at >= 0) text.bytes[at] = 0;
}

void KeepAfterFirst(TextBuffer text, char c) {
  const uint32_t length = TextLength(text);
  const int64_t at = FindFirst(text, length, c);
  if (at >= 0) KeepRange(text, uint32_t(at + 1), length);
}

void CutAtFirst(TextBuffer text, char c) {
  const int64_t at = FindFirst(text, TextLength(text), c);
  if (at >= 0) text.bytes[at] = 0;
}

void RemoveSpan(TextBuffer text, char open, char close) {
  const uint32_t length = TextLength(text);
  const int64_t start = FindFirst(text, length, open);
  if (start >= 0) {
    const uint32_t after = uint32_t(start + 1);
    const int64_t end =
        FindFirst(TextBuffer{text.bytes + after, text.room - after}, length - after, close);
    if (end < 0) {
      text.bytes[start] = 0;
      return;
    }
    const uint32_t resume = after + uint32_t(end) + 1;
    std::memmove(text.bytes + start, text.bytes + resume, length - resume);
    text.bytes[start + (length - resume)] = 0;
    return;
  }
  const int64_t end = FindFirst(text, length, close);
  if (end >= 0) KeepRange(text, uint32_t(end + 1), length);
}

void PathStem(TextBuffer text) {
  KeepAfterLast(text, '\\');
  KeepBeforeLast(text, '.');
}

uint32_t AppendDecimal(std::string& text, uint8_t width, uint32_t value) {
  return EditHostString(text, 256, [&](TextBuffer b) { return AppendDecimal(b, width, value); });
}
void KeepAfterLast(std::string& text, char c) {
  EditHostString(text, 0, [&](TextBuffer b) {
    KeepAfterLast(b, c);
    return 0u;
  });
}
void KeepBeforeLast(std::string& text, char c) {
  EditHostString(text, 0, [&](TextBuffer b) {
    KeepBeforeLast(b, c);
    return 0u;
  });
}
void PathStem(std::string& text) {
  EditHostString(text, 0, [&](TextBuffer b) {
    PathStem(b);
    return 0u;
  });
}

}  // namespace velmora
