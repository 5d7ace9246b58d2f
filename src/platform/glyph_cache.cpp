#include "platform/glyph_cache.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace velmora {
namespace {

constexpr size_t kGlyphCacheBudget = size_t(16) << 20;
size_t GlyphCacheBytes = 0;

size_t CoverageBytes(const PlatformGlyph& glyph) {
  return size_t(glyph.width) * size_t(glyph.height);
}

}  // namespace

void StartGlyphCache(GlyphCache* cache, int32_t cell_height) {
  *cache = {};
  if (cell_height <= kLargestCachedHeight) {
    cache->glyphs = new (std::nothrow) CachedGlyph[kGlyphCacheSize]();
  }
}

void ReleaseGlyphCache(GlyphCache* cache) {
  if (!cache->glyphs) return;
  for (int i = 0; i < kGlyphCacheSize; ++i) {
    PlatformGlyph& glyph = cache->glyphs[i].glyph;
    if (glyph.coverage) GlyphCacheBytes -= CoverageBytes(glyph);
    delete[] glyph.coverage;
  }
  delete[] cache->glyphs;
  cache->glyphs = nullptr;
}

bool FindCachedGlyph(const GlyphCache* cache, uint32_t code_point, PlatformGlyph* glyph) {
  if (!cache->glyphs) return false;
  const CachedGlyph& entry = cache->glyphs[code_point % kGlyphCacheSize];
  if (!entry.valid || entry.code_point != code_point) return false;
  *glyph = entry.glyph;
  return true;
}

void KeepGlyph(GlyphCache* cache, uint32_t code_point, PlatformGlyph* glyph) {
  if (!cache->glyphs) return;
  CachedGlyph& entry = cache->glyphs[code_point % kGlyphCacheSize];
  const size_t bytes = CoverageBytes(*glyph);
  const size_t replaced = entry.glyph.coverage ? CoverageBytes(entry.glyph) : 0;
  if (GlyphCacheBytes - replaced + bytes > kGlyphCacheBudget) return;
  auto* coverage = bytes ? new (std::nothrow) uint8_t[bytes] : nullptr;
  if (bytes && !coverage) return;
  GlyphCacheBytes += bytes - replaced;
  for (int32_t row = 0; row < glyph->height; ++row) {
    std::memcpy(coverage + size_t(row) * glyph->width,
                glyph->coverage + ptrdiff_t(row) * glyph->pitch, size_t(glyph->width));
  }
  delete[] entry.glyph.coverage;
  entry = {true, code_point, *glyph};
  entry.glyph.pitch = glyph->width;
  entry.glyph.coverage = coverage;
  *glyph = entry.glyph;
}

}  // namespace velmora
