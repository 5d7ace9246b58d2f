// The eight built-in bitmap fonts: constant glyph tables, read in place.
//
// A fixed table: tag 4, glyph width, glyph height, big-endian bytes per glyph B, then 256 glyphs
// of B bytes. A proportional table: tag 2, glyph height, 256 big-endian record offsets, then the
// records (a width byte and the bitmap); codes without a glyph of their own share the first
// record, a filled box. Bitmaps run column by column from the left, each column from the top,
// least significant bit first, without padding between columns.
#pragma once

#include <cstdint>

namespace velmora {

constexpr int kBuiltinFontCount = 8;
constexpr uint8_t kFixedGlyphTableTag = 4;
constexpr uint8_t kProportionalGlyphTableTag = 2;
constexpr uint32_t kProportionalRecordsStart = 2 + 256 * 2;

struct GlyphTable {
  const uint8_t* bytes;
  uint32_t size;
};

// Generated from the pictures in tools/fonts by tools/fonts/make_font_tables.py.
extern const GlyphTable BuiltinFontTables[kBuiltinFontCount];

}  // namespace velmora
