// The built-in glyph tables keep to their layouts: what guest programs measure and draw with.
#include <gtest/gtest.h>

#include <set>

#include "graphics/fonts.h"

namespace velmora {
namespace {

uint32_t BigEndian16(const uint8_t* p) {
  return uint32_t(p[0] << 8 | p[1]);
}

struct ProportionalFont {
  int font, height, min_width, max_width;
  bool nbsp_empty;  // code 160 has width 0
};

const ProportionalFont kProportionalFonts[] = {
    {1, 7, 1, 5, false},   {2, 9, 1, 8, false},  {3, 9, 0, 8, true},   {4, 12, 1, 11, false},
    {5, 14, 1, 13, false}, {6, 14, 0, 14, true}, {7, 16, 0, 18, true},
};

uint32_t WidthOf(const GlyphTable& table, int code) {
  return table.bytes[BigEndian16(table.bytes + 2 + 2 * code)];
}

TEST(FontsTables, FixedFontIsFiveBySevenCells) {
  const GlyphTable& t = BuiltinFontTables[0];
  ASSERT_EQ(t.bytes[0], kFixedGlyphTableTag);
  EXPECT_EQ(t.bytes[1], 5);
  EXPECT_EQ(t.bytes[2], 7);
  EXPECT_EQ(BigEndian16(t.bytes + 3), 5u);
  EXPECT_EQ(t.size, 5u + 256 * 5);
}

TEST(FontsTables, ProportionalFontsKeepTheirLayout) {
  for (const ProportionalFont& f : kProportionalFonts) {
    SCOPED_TRACE(f.font);
    const GlyphTable& t = BuiltinFontTables[f.font];
    ASSERT_EQ(t.bytes[0], kProportionalGlyphTableTag);
    EXPECT_EQ(t.bytes[1], f.height);
    // Records follow one another from offset 514 to the end: walk them all.
    std::set<uint32_t> records;
    for (uint32_t at = kProportionalRecordsStart; at < t.size;) {
      records.insert(at);
      at += 1 + (t.bytes[at] * f.height + 7) / 8;
      ASSERT_LE(at, t.size);
    }
    EXPECT_EQ(records.size(), 186u);
    const uint32_t box = kProportionalRecordsStart;
    std::set<uint32_t> used;
    for (int code = 0; code < 256; ++code) {
      const uint32_t offset = BigEndian16(t.bytes + 2 + 2 * code);
      ASSERT_TRUE(records.count(offset)) << "code " << code;
      used.insert(offset);
      const uint32_t width = t.bytes[offset];
      if (code == 160 && f.nbsp_empty) {
        EXPECT_EQ(width, 0u);
      } else {
        EXPECT_GE(int(width), std::max(f.min_width, 1)) << "code " << code;
        EXPECT_LE(int(width), f.max_width) << "code " << code;
      }
      // Control codes share the box; every printable ASCII character has a glyph of its own.
      const bool control = code < 32 || (code >= 127 && code < 160);
      const bool ascii = code >= 32 && code < 127;
      if (control) {
        EXPECT_EQ(offset, box) << "code " << code;
      }
      if (ascii) {
        EXPECT_NE(offset, box) << "code " << code;
      }
    }
    EXPECT_EQ(used.size(), records.size()) << "every record is some code's glyph";
    // The box is filled: every bit of its bitmap is set.
    const uint32_t box_bits = t.bytes[box] * f.height;
    for (uint32_t bit = 0; bit < box_bits; ++bit) {
      ASSERT_TRUE(t.bytes[box + 1 + bit / 8] >> (bit % 8) & 1) << "box bit " << bit;
    }
  }
}

TEST(FontsTables, DigitsShareOneWidth) {
  // Columns of numbers line up.
  for (const ProportionalFont& f : kProportionalFonts) {
    for (uint8_t digit = '1'; digit <= '9'; ++digit) {
      EXPECT_EQ(WidthOf(BuiltinFontTables[f.font], digit), WidthOf(BuiltinFontTables[f.font], '0'))
          << "font " << f.font << " digit " << digit;
    }
  }
}

TEST(FontsTables, GlyphsGrowFromFontToFont) {
  // Letters widen from one proportional font to the next.
  for (int font = 2; font < kBuiltinFontCount; ++font) {
    for (uint8_t letter : {'A', 'M', 'm'}) {
      EXPECT_GE(WidthOf(BuiltinFontTables[font], letter),
                WidthOf(BuiltinFontTables[font - 1], letter))
          << "font " << font << " letter " << letter;
    }
  }
}

TEST(FontsTables, PrintableGlyphsHaveInk) {
  for (int font = 1; font < kBuiltinFontCount; ++font) {
    const GlyphTable& t = BuiltinFontTables[font];
    for (int code = 33; code < 256; ++code) {
      if (code >= 127 && code <= 160) continue;
      const uint32_t offset = BigEndian16(t.bytes + 2 + 2 * code);
      const uint32_t bytes = (t.bytes[offset] * t.bytes[1] + 7) / 8;
      bool ink = false;
      for (uint32_t i = 0; i < bytes; ++i) ink = ink || t.bytes[offset + 1 + i] != 0;
      EXPECT_TRUE(ink) << "font " << font << " code " << code;
    }
  }
}

}  // namespace
}  // namespace velmora
