// What the font backends keep per font, so that text drawn again and again is rendered once:
// rendered glyphs for fonts up to kLargestCachedHeight (larger ones render on every use rather
// than hold megabytes), and advances for every font, so text of any length lays out without
// rendering. All fonts together keep at most 16 megabytes of coverage, however many slots a guest
// fills. Each table has kGlyphCacheSize entries chosen by the code point's low byte.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

constexpr int32_t kLargestCachedHeight = 128;
constexpr int kGlyphCacheSize = 256;

struct CachedGlyph {
  bool valid;
  uint32_t code_point;
  PlatformGlyph glyph;  // its coverage, packed row after row, is owned by the entry
};

struct CachedAdvance {
  bool valid;
  uint32_t code_point;
  int32_t advance;
};

struct GlyphCache {
  CachedGlyph* glyphs;  // nullptr for a font taller than kLargestCachedHeight
  CachedAdvance advances[kGlyphCacheSize];
};

// Makes room for glyphs when the font is short enough (without that memory they render on every
// use).
void StartGlyphCache(GlyphCache* cache, int32_t cell_height);
void ReleaseGlyphCache(GlyphCache* cache);
// The kept glyph for the code point into *glyph, if there is one.
bool FindCachedGlyph(const GlyphCache* cache, uint32_t code_point, PlatformGlyph* glyph);
// Keeps a copy of a glyph just rendered, within the budget, and points *glyph at the copy; a glyph
// not kept stays as the backend rendered it.
void KeepGlyph(GlyphCache* cache, uint32_t code_point, PlatformGlyph* glyph);

}  // namespace velmora
