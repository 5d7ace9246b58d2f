// System fonts on POSIX: fontconfig finds the nearest installed scalable face for a name, weight
// and slant; FreeType sizes it to a cell height and renders glyphs to 8-bit coverage. A face
// without the asked-for weight or slant gets a synthetic one.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
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
  FT_Face face;
  PlatformFontMetrics metrics;
  bool embolden, oblique;
  GlyphCache cache;
};

FT_Library Library = nullptr;
bool LibraryTried = false;
bool FontconfigReady = false;

FT_Library FreeType() {
  if (!LibraryTried) {
    LibraryTried = true;
    if (FT_Init_FreeType(&Library) != 0) Library = nullptr;
    FontconfigReady = FcInit() == FcTrue;
  }
  return Library;
}

// Opens the first scalable face of fontconfig's ranking for the request; tells whether it has
// the weight and slant asked for.
FT_Face OpenNearestFace(const char* name, bool bold, bool italic, bool fixed_pitch,
                        bool* has_weight, bool* has_slant) {
  if (!FontconfigReady) return nullptr;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  if (name && *name) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
  if (fixed_pitch) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
    FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcFontSet* fonts = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  FT_Face face = nullptr;
  for (int i = 0; fonts && i < fonts->nfont && !face; ++i) {
    FcPattern* font = fonts->fonts[i];
    FcChar8* file = nullptr;
    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcBool scalable = FcFalse;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) continue;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(font, FC_SLANT, 0, &slant);
    FT_Face candidate;
    if (FT_New_Face(Library, reinterpret_cast<const char*>(file), index, &candidate) != 0) continue;
    if (!FT_IS_SCALABLE(candidate)) {
      FT_Done_Face(candidate);
      continue;
    }
    face = candidate;
    *has_weight = bold == (weight >= FC_WEIGHT_DEMIBOLD);
    *has_slant = italic == (slant != FC_SLANT_ROMAN);
  }
  if (fonts) FcFontSetDestroy(fonts);
  FcPatternDestroy(pattern);
  return face;
}

int32_t Round(double value) {
  return int32_t(std::lround(value));
}

// Sizes the face so that its cell (the Windows ascent plus descent where the face has them) is
// `height` pixels, and works out the metrics at that size.
bool SizeFace(FontRecord* record, int32_t height) {
  FT_Face face = record->face;
  double ascent_units = face->ascender, descent_units = -face->descender;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent_units = os2->usWinAscent;
    descent_units = os2->usWinDescent;
  }
  const double cell_units = ascent_units + descent_units;
  if (cell_units <= 0 || face->units_per_EM == 0) return false;
  const double scale = height / cell_units;  // pixels per font unit
  const double em_pixels = scale * face->units_per_EM;
  if (FT_Set_Char_Size(face, 0, FT_F26Dot6(std::max(1.0, em_pixels * 64)), 72, 72) != 0) {
    return false;
  }
  PlatformFontMetrics& m = record->metrics;
  m.line_height = height;
  m.ascent = std::clamp(Round(ascent_units * scale), 1, height);
  m.stroke = std::max(1, Round(face->underline_thickness * scale));
  const int32_t descent = height - m.ascent;
  m.underline_offset = std::max(1, Round(-face->underline_position * scale) - m.stroke / 2);
  m.underline_offset = std::max(0, std::min(m.underline_offset, descent - m.stroke));
  const double strike_units = os2 && os2->version != 0xFFFF && os2->yStrikeoutPosition > 0
                                  ? os2->yStrikeoutPosition
                                  : ascent_units * 0.3;
  m.strikeout_offset = std::max(m.stroke, Round(strike_units * scale) + m.stroke / 2);
  return true;
}

}  // namespace

PlatformFont PlatformCreateFont(const char* face_name, int32_t height, bool bold, bool italic,
                                bool fixed_pitch) {
  if (!FreeType()) return kNoFont;
  if (height <= 0) height = kDefaultCellHeight;
  height = std::min(height, kLargestCellHeight);
  bool has_weight = true, has_slant = true;
  FT_Face face = OpenNearestFace(face_name, bold, italic, fixed_pitch, &has_weight, &has_slant);
  if (!face) return kNoFont;
  auto* record =
      new (std::nothrow) FontRecord{face, {}, bold && !has_weight, italic && !has_slant, {}};
  if (record) StartGlyphCache(&record->cache, height);
  if (!record || !SizeFace(record, height)) {
    if (record) ReleaseGlyphCache(&record->cache);
    delete record;
    FT_Done_Face(face);
    return kNoFont;
  }
  return reinterpret_cast<PlatformFont>(record);
}

void PlatformReleaseFont(PlatformFont font) {
  if (font == kNoFont) return;
  auto* record = reinterpret_cast<FontRecord*>(font);
  ReleaseGlyphCache(&record->cache);
  FT_Done_Face(record->face);
  delete record;
}

PlatformFontMetrics PlatformGetFontMetrics(PlatformFont font) {
  if (font == kNoFont) return {};
  return reinterpret_cast<FontRecord*>(font)->metrics;
}

namespace {

// Loads the outline of a code point's glyph, styled, into the face's glyph slot. An unknown code
// point gives the face's missing-glyph shape, as the platform would.
FT_GlyphSlot LoadStyledGlyph(FontRecord* record, uint32_t code_point) {
  FT_Face face = record->face;
  const FT_UInt index = FT_Get_Char_Index(face, code_point);
  if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0) return nullptr;
  FT_GlyphSlot slot = face->glyph;
  if (record->embolden) FT_GlyphSlot_Embolden(slot);
  if (record->oblique) FT_GlyphSlot_Oblique(slot);
  return slot;
}

int32_t WholePixels(FT_Pos advance) {
  return int32_t((advance + 32) >> 6);
}

bool RenderWithFreeType(FontRecord* record, uint32_t code_point, PlatformGlyph* glyph) {
  *glyph = {};
  FT_GlyphSlot slot = LoadStyledGlyph(record, code_point);
  if (!slot || FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph->advance = WholePixels(slot->advance.x);
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.rows == 0 || bitmap.width == 0) {
    return true;
  }
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  glyph->width = int32_t(bitmap.width);
  glyph->height = int32_t(bitmap.rows);
  glyph->pitch = bitmap.pitch;
  // Rows stored upwards (negative pitch) start at the end of the buffer.
  glyph->coverage = bitmap.pitch >= 0
                        ? bitmap.buffer
                        : bitmap.buffer + size_t(bitmap.rows - 1) * size_t(-bitmap.pitch);
  return true;
}

}  // namespace

bool PlatformRenderGlyph(PlatformFont font, uint32_t code_point, PlatformGlyph* glyph) {
  *glyph = {};
  if (font == kNoFont) return false;
  auto* record = reinterpret_cast<FontRecord*>(font);
  if (FindCachedGlyph(&record->cache, code_point, glyph)) return true;
  if (!RenderWithFreeType(record, code_point, glyph)) return false;
  KeepGlyph(&record->cache, code_point, glyph);
  return true;
}

int32_t PlatformGlyphAdvance(PlatformFont font, uint32_t code_point) {
  if (font == kNoFont) return 0;
  auto* record = reinterpret_cast<FontRecord*>(font);
  CachedAdvance& entry = record->cache.advances[code_point % kGlyphCacheSize];
  if (!entry.valid || entry.code_point != code_point) {
    const FT_GlyphSlot slot = LoadStyledGlyph(record, code_point);
    entry = {true, code_point, slot ? std::max(0, WholePixels(slot->advance.x)) : 0};
  }
  return entry.advance;
}

}  // namespace velmora
