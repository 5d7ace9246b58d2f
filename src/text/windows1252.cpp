#include "text/windows1252.h"

namespace velmora {

namespace {

constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

uint32_t Windows1252CodePoint(uint8_t code) {
  return code >= 0x80 && code < 0xA0 ? kWindows1252High[code - 0x80] : code;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const uint32_t point = Windows1252CodePoint(uint8_t(c));
    if (point < 0x80) {
      out += char(point);
    } else if (point < 0x800) {
      out += char(0xC0 | point >> 6);
      out += char(0x80 | (point & 0x3F));
    } else {
      out += char(0xE0 | point >> 12);
      out += char(0x80 | (point >> 6 & 0x3F));
      out += char(0x80 | (point & 0x3F));
    }
  }
  return out;
}

}  // namespace velmora
