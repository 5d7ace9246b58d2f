// System fonts through GDI: the font mapper finds the nearest TrueType face for a name, weight,
// slant and pitch (synthesizing bold and italic where the face lacks them), and GetGlyphOutlineW
// renders each glyph to 65 levels of coverage, which become the 0-255 of the glyph interface.
// Layout and drawing are portable (src/graphics/text.cpp), so text looks as it does elsewhere,
// in the faces Windows has.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/glyph_cache.h"
#include "platform/platform.h"

namespace velmora {
namespace {

constexpr int32_t kDefaultCellHeight = 16;
// Keeps one glyph's coverage within 16 megabytes whatever height a guest asks for.
constexpr int32_t kLargestCellHeight = 4096;

struct FontRecord {
  HFONT font;
  PlatformFontMetrics metrics;
  GlyphCache cache;
  uint8_t* outline;  // GetGlyphOutlineW's buffer for the last glyph
  DWORD outline_size;
  uint8_t* coverage;  // the last uncached glyph's coverage
  size_t coverage_size;
};

// The glyphs are rendered in a memory drawing context of the screen's kind, made once.
HDC GlyphDc = nullptr;

HDC SelectFont(const FontRecord* record) {
  if (!GlyphDc) GlyphDc = CreateCompatibleDC(nullptr);
  if (GlyphDc) SelectObject(GlyphDc, record->font);
  return GlyphDc;
}

const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// Makes `buffer` hold at least `size` bytes.
bool Reserve(uint8_t** buffer, size_t* capacity, size_t size) {
  if (*capacity >= size) return true;
  auto* grown = new (std::nothrow) uint8_t[size];
  if (!grown) return false;
  delete[] * buffer;
  *buffer = grown;
  *capacity = size;
  return true;
}

// Underline and strike-out from the outline metrics, placed as the other backends place them.
void ReadMetrics(HDC dc, int32_t height, PlatformFontMetrics* m) {
  TEXTMETRICA text = {};
  GetTextMetricsA(dc, &text);
  m->line_height = height;
  m->ascent = std::clamp(int32_t(text.tmAscent), 1, height);
  const int32_t descent = height - m->ascent;
  OUTLINETEXTMETRICA outline = {};
  outline.otmSize = sizeof outline;
  const bool has_outline = GetOutlineTextMetricsA(dc, sizeof outline, &outline) != 0;
  m->stroke = has_outline ? std::max(1, int32_t(outline.otmsUnderscoreSize)) : 1;
  const int32_t underline = has_outline ? -outline.otmsUnderscorePosition : descent / 2;
  m->underline_offset = std::max(1, underline - m->stroke / 2);
  m->underline_offset = std::max(0, std::min(m->underline_offset, descent - m->stroke));
  const int32_t strike = has_outline && outline.otmsStrikeoutPosition > 0
                             ? int32_t(outline.otmsStrikeoutPosition)
                             : m->ascent * 3 / 10;
  m->strikeout_offset = std::max(m->stroke, strike + m->stroke / 2);
}

}  // namespace

PlatformFont PlatformCreateFont(const char* face_name, int32_t height, bool bold, bool italic,
                                bool fixed_pitch) {
  if (height <= 0) height = kDefaultCellHeight;
  height = std::min(height, kLargestCellHeight);
  // A positive height is the cell height (ascent plus descent). Only TrueType faces: they render
  // to coverage at any size, where the raster fonts ("System" among them) would not.
  const DWORD pitch = fixed_pitch ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_DONTCARE;
  const HFONT font = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS,
                                 ANTIALIASED_QUALITY, pitch, face_name ? face_name : "");
  if (!font) return kNoFont;
  auto* record = new (std::nothrow) FontRecord{font, {}, {}, nullptr, 0, nullptr, 0};
  const HDC dc = record ? SelectFont(record) : nullptr;
  if (!dc) {
    delete record;
    DeleteObject(font);
    return kNoFont;
  }
  ReadMetrics(dc, height, &record->metrics);
  StartGlyphCache(&record->cache, height);
  return reinterpret_cast<PlatformFont>(record);
}

void PlatformReleaseFont(PlatformFont font) {
  if (font == kNoFont) return;
  auto* record = reinterpret_cast<FontRecord*>(font);
  ReleaseGlyphCache(&record->cache);
  // A font still selected into the drawing context cannot be deleted.
  if (GlyphDc) SelectObject(GlyphDc, GetStockObject(SYSTEM_FONT));
  DeleteObject(record->font);
  delete[] record->outline;
  delete[] record->coverage;
  delete record;
}

PlatformFontMetrics PlatformGetFontMetrics(PlatformFont font) {
  if (font == kNoFont) return {};
  return reinterpret_cast<FontRecord*>(font)->metrics;
}

namespace {

// Renders into the record's own buffers. An unknown code point gives the face's missing-glyph
// shape, as GDI draws it.
bool RenderWithGdi(FontRecord* record, uint32_t code_point, PlatformGlyph* glyph) {
  *glyph = {};
  const HDC dc = SelectFont(record);
  if (!dc) return false;
  GLYPHMETRICS metrics;
  const DWORD size =
      GetGlyphOutlineW(dc, UINT(code_point), GGO_GRAY8_BITMAP, &metrics, 0, nullptr, &kIdentity);
  if (size == GDI_ERROR) return false;
  glyph->advance = metrics.gmCellIncX;
  // Blanks have no bitmap.
  if (size == 0 || metrics.gmBlackBoxX == 0 || metrics.gmBlackBoxY == 0) return true;
  size_t capacity = record->outline_size;
  if (!Reserve(&record->outline, &capacity, size)) return false;
  record->outline_size = DWORD(capacity);
  if (GetGlyphOutlineW(dc, UINT(code_point), GGO_GRAY8_BITMAP, &metrics, size, record->outline,
                       &kIdentity) == GDI_ERROR) {
    return false;
  }
  const int32_t width = int32_t(metrics.gmBlackBoxX);
  const int32_t height = int32_t(metrics.gmBlackBoxY);
  const size_t pitch = (size_t(width) + 3) & ~size_t(3);  // rows are DWORD-aligned
  if (pitch * size_t(height) > size) return false;
  if (!Reserve(&record->coverage, &record->coverage_size, size_t(width) * size_t(height))) {
    return false;
  }
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* levels = record->outline + size_t(row) * pitch;
    uint8_t* out = record->coverage + size_t(row) * size_t(width);
    for (int32_t x = 0; x < width; ++x) out[x] = uint8_t(std::min(64, int(levels[x])) * 255 / 64);
  }
  glyph->left = metrics.gmptGlyphOrigin.x;
  glyph->top = metrics.gmptGlyphOrigin.y;
  glyph->width = width;
  glyph->height = height;
  glyph->pitch = width;
  glyph->coverage = record->coverage;
  return true;
}

}  // namespace

bool PlatformRenderGlyph(PlatformFont font, uint32_t code_point, PlatformGlyph* glyph) {
  *glyph = {};
  if (font == kNoFont) return false;
  auto* record = reinterpret_cast<FontRecord*>(font);
  if (FindCachedGlyph(&record->cache, code_point, glyph)) return true;
  if (!RenderWithGdi(record, code_point, glyph)) return false;
  KeepGlyph(&record->cache, code_point, glyph);
  return true;
}

int32_t PlatformGlyphAdvance(PlatformFont font, uint32_t code_point) {
  if (font == kNoFont) return 0;
  auto* record = reinterpret_cast<FontRecord*>(font);
  CachedAdvance& entry = record->cache.advances[code_point % kGlyphCacheSize];
  if (!entry.valid || entry.code_point != code_point) {
    GLYPHMETRICS metrics;
    const HDC dc = SelectFont(record);
    const bool measured = dc && GetGlyphOutlineW(dc, UINT(code_point), GGO_METRICS, &metrics, 0,
                                                 nullptr, &kIdentity) != GDI_ERROR;
    entry = {true, code_point, measured ? std::max(0, int32_t(metrics.gmCellIncX)) : 0};
  }
  return entry.advance;
}

}  // namespace velmora
