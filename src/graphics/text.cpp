#include "graphics/text.h"

#include <algorithm>
#include <cstring>

#include "text/windows1252.h"

namespace velmora {

uint8_t SystemFontMode = 0;
uint8_t FontSlot = 0;
uint32_t BuiltinFont = 0;
int32_t CharSpacing = 1;
FontSlotEntry FontSlots[kFontSlotCount];

namespace {

// ---------------------------------------------------------------------------------------------
// Built-in fonts

// Coordinates add up in 32 bits and wrap, whatever a guest string makes of them.
int32_t WrappingAdd(int32_t a, int32_t b) {
  return int32_t(uint32_t(a) + uint32_t(b));
}

// The height of `lines` lines: up to 65535 lines of a platform font of any size, so the product
// is taken in 64 bits and wraps like the coordinates it is added to.
int32_t LinesHeight(int32_t lines, int32_t line_height) {
  return int32_t(uint32_t(uint64_t(int64_t(lines) * line_height)));
}

struct BuiltinGlyph {
  int32_t width, height;
  const uint8_t* bits;
};

// Finds a glyph by direct offset; a record that would reach past the table's end draws nothing.
BuiltinGlyph FindBuiltinGlyph(const GlyphTable& table, uint8_t code) {
  const uint8_t* t = table.bytes;
  if (table.size < 5) return {};
  if (t[0] == kFixedGlyphTableTag) {
    const uint32_t width = t[1], height = t[2], per_glyph = uint32_t(t[3] << 8 | t[4]);
    const uint32_t start = uint16_t(5 + code * per_glyph);
    if ((width * height + 7) / 8 > per_glyph || start + per_glyph > table.size) return {};
    return {int32_t(width), int32_t(height), t + start};
  }
  if (t[0] != kProportionalGlyphTableTag || table.size < kProportionalRecordsStart) return {};
  const uint32_t height = t[1];
  const uint32_t record = uint32_t(t[2 + 2 * code] << 8 | t[3 + 2 * code]);
  if (record >= table.size) return {};
  const uint32_t width = t[record];
  if (record + 1 + (width * height + 7) / 8 > table.size) return {};
  return {int32_t(width), int32_t(height), t + record + 1};
}

const GlyphTable& CurrentBuiltinTable() {
  return BuiltinFontTables[BuiltinFont < kBuiltinFontCount ? BuiltinFont : 0];
}

int32_t BuiltinFontHeight(const GlyphTable& table) {
  return table.size > 2 ? (table.bytes[0] == kFixedGlyphTableTag ? table.bytes[2] : table.bytes[1])
                        : 0;
}

// ---------------------------------------------------------------------------------------------
// System fonts

constexpr int32_t kSystemFontHeight = 16;  // the boot report's line spacing
constexpr int32_t kFallbackFontHeight = 14;
constexpr size_t kFaceNameLimit = 31;  // longer face names are cut, as the platform's are

PlatformFont SharedSystemFont = kNoFont;
bool SlotsReady = false;

const FontSlotEntry& CurrentSlot() {
  if (!SlotsReady) CreateFontSlots();
  return FontSlots[FontSlot];
}

// Character codes are Windows-1252 text.
uint32_t CodePoint(uint8_t code) {
  return Windows1252CodePoint(code);
}

// One character of laid-out text: `code` drawn with its pen at `pen_x` on line `line`.
struct LaidOutChar {
  int32_t line;
  int64_t pen_x;  // a line of 65535 wide glyphs may pass 32 bits
  int32_t advance;
  uint8_t code;
  bool prefix_underline;  // it followed a single '&'
};

// The number of lines in `text`: lines end at LF, CR LF or CR, and a break at the very end
// starts no new line.
int32_t CountLines(std::string_view text) {
  if (text.empty()) return 0;
  const auto lf = std::count(text.begin(), text.end(), '\n');
  const auto cr = std::count(text.begin(), text.end(), '\r');
  int64_t cr_lf = 0;
  for (size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2))
    ++cr_lf;
  const bool ends_in_break = text.back() == '\n' || text.back() == '\r';
  return int32_t(lf + cr - cr_lf + (ends_in_break ? 0 : 1));
}

// Lays `text` out top-left aligned: lines end at LF, CR LF or CR; '&' is not drawn but marks the
// next character for underlining, "&&" is one '&'. Calls `visit` for every character of the
// lines from `first` up to (not including) `end` until it answers false, which skips the rest of
// that line (pens only move right); lines outside the range are only counted. Returns the number
// of lines, and the widest of the lines laid out. Only advances are needed, so no glyph is
// rendered here.
template <typename Visit>
void LayOut(PlatformFont font, std::string_view text, int64_t first, int64_t end, int32_t* lines,
            int32_t* widest, Visit visit) {
  *lines = 0;
  *widest = 0;
  size_t i = 0;
  const auto to_break = [&] { i = std::min(text.find_first_of("\r\n", i), text.size()); };
  while (i < text.size()) {
    if (*lines >= end) {
      *lines += CountLines(text.substr(i));
      return;
    }
    int64_t pen = 0;
    if (*lines < first) to_break();
    while (i < text.size() && text[i] != '\n' && text[i] != '\r') {
      uint8_t code = uint8_t(text[i++]);
      bool underline = false;
      if (code == '&') {
        if (i >= text.size() || text[i] == '\n' || text[i] == '\r') continue;
        if (text[i] != '&') underline = true;
        code = uint8_t(text[i++]);
      }
      const int32_t advance = PlatformGlyphAdvance(font, CodePoint(code));
      if (!visit(LaidOutChar{*lines, pen, advance, code, underline})) {
        to_break();
        break;
      }
      pen += advance;
    }
    *widest = int32_t(std::min<int64_t>(std::max<int64_t>(*widest, pen), INT32_MAX));
    ++*lines;
    if (i < text.size()) {  // the line break: CR LF, LF or CR
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
    }
  }
}

// Mixes `colour` into the pixel by `coverage` (255: the colour itself).
void BlendPixel(int64_t x, int64_t y, uint32_t colour, uint32_t coverage) {
  if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
  const uint32_t under = GetPixel(int32_t(x), int32_t(y));
  if (under == kNoPixel) return;
  if (coverage >= 255) {
    PutPixel(int32_t(x), int32_t(y), colour);
    return;
  }
  uint32_t mixed = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t t = (colour >> shift) & 0xFF, d = (under >> shift) & 0xFF;
    mixed |= ((t * coverage + d * (255 - coverage) + 127) / 255) << shift;
  }
  PutPixel(int32_t(x), int32_t(y), mixed);
}

// The rectangle system-font text is cut to: from its origin to the clip's right and bottom
// (exclusive, as the platform's rectangles are).
struct CutRect {
  int64_t left, top, right, bottom;
};

// An underline or strikeout of `rows` rows from (x, y), `width` long, cut to `cut` first: at a
// huge font most of it lies outside.
void FillRows(const CutRect& cut, int64_t x, int64_t y, int32_t width, int32_t rows) {
  const int64_t left = std::max(x, cut.left), right = std::min(x + width, cut.right);
  const int64_t top = std::max(y, cut.top), bottom = std::min(y + rows, cut.bottom);
  for (int64_t j = top; j < bottom; ++j)
    for (int64_t i = left; i < right; ++i) BlendPixel(i, j, TextColour, 255);
}

// A glyph's coverage blended in the text colour with its top-left at (left, top), cut to `cut`.
void BlendGlyph(const CutRect& cut, const PlatformGlyph& g, int64_t left, int64_t top) {
  const int64_t first_row = std::max<int64_t>(0, cut.top - top);
  const int64_t last_row = std::min<int64_t>(g.height, cut.bottom - top);
  const int64_t first_col = std::max<int64_t>(0, cut.left - left);
  const int64_t last_col = std::min<int64_t>(g.width, cut.right - left);
  for (int64_t row = first_row; row < last_row; ++row) {
    const uint8_t* coverage = g.coverage + row * g.pitch;
    for (int64_t col = first_col; col < last_col; ++col) {
      if (coverage[col] != 0) BlendPixel(left + col, top + row, TextColour, coverage[col]);
    }
  }
}

int32_t DrawSystemText(int32_t x, int32_t y, std::string_view text) {
  const FontSlotEntry& slot = CurrentSlot();
  if (slot.font == kNoFont) return y;
  const PlatformFontMetrics metrics = PlatformGetFontMetrics(slot.font);
  const CutRect cut = {x, y, ClipRect.right, ClipRect.bottom};
  int32_t lines, widest;
  // Ink stays within a line height of the glyph's cell (bearings, accents, synthetic slant), so
  // glyphs farther from the cut rectangle are not rendered: long or huge text costs only what
  // can show.
  const int64_t reach = 2 * int64_t(metrics.line_height);
  // Lines wholly above or below the cut are only counted, and a line ends where it passes the
  // cut's right: a long text costs its visible part and a scan for line breaks.
  int64_t first = 0, end = INT64_MAX;
  if (metrics.line_height > 0) {
    const int64_t height = metrics.line_height;
    first = std::max<int64_t>(0, (cut.top - reach - int64_t(y)) / height - 1);
    end = std::max<int64_t>(0, (cut.bottom + reach - int64_t(y)) / height + 1);
  }
  LayOut(slot.font, text, first, end, &lines, &widest, [&](const LaidOutChar& c) {
    const int64_t pen_x = int64_t(x) + c.pen_x;
    const int64_t line_top = int64_t(y) + int64_t(c.line) * metrics.line_height;
    if (pen_x - reach >= cut.right) return false;  // and so is the rest of the line
    if (pen_x + c.advance + reach <= cut.left ||
        line_top + metrics.line_height + reach <= cut.top) {
      return true;
    }
    const int64_t baseline = line_top + metrics.ascent;
    PlatformGlyph g;
    PlatformRenderGlyph(slot.font, CodePoint(c.code), &g);
    BlendGlyph(cut, g, pen_x + g.left, baseline - g.top);
    if (slot.underline || c.prefix_underline) {
      FillRows(cut, pen_x, baseline + metrics.underline_offset, c.advance, metrics.stroke);
    }
    if (slot.strikeout) {
      FillRows(cut, pen_x, baseline - metrics.strikeout_offset, c.advance, metrics.stroke);
    }
    return true;
  });
  return WrappingAdd(y, LinesHeight(lines, metrics.line_height));
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void CreateFontSlots() {
  if (SlotsReady) return;
  SharedSystemFont = PlatformCreateFont("", kSystemFontHeight, false, false, true);
  for (FontSlotEntry& slot : FontSlots) slot = {SharedSystemFont, false, false};
  SlotsReady = true;
}

PlatformFont SlotSystemFont() {
  return SlotsReady ? SharedSystemFont : kNoFont;
}

void ReleaseFontSlots() {
  for (FontSlotEntry& slot : FontSlots) {
    if (slot.font != SharedSystemFont) PlatformReleaseFont(slot.font);
    slot = {kNoFont, false, false};
  }
  PlatformReleaseFont(SharedSystemFont);
  SharedSystemFont = kNoFont;
  SlotsReady = false;
}

uint8_t CreateSlotFont(uint8_t slot, const char* face, uint16_t height, bool bold, bool italic,
                       bool underline, bool strikeout) {
  if (!SlotsReady) CreateFontSlots();
  char name[kFaceNameLimit + 1] = {};
  std::strncpy(name, face, kFaceNameLimit);
  FontSlotEntry created = {PlatformCreateFont(name, height, bold, italic, false), underline,
                           strikeout};
  uint8_t status = 0;
  if (created.font == kNoFont) {
    status = 1;
    created = {PlatformCreateFont("System", kFallbackFontHeight, false, false, false), false,
               false};
    // With no font to be had at all the slot keeps text going with the shared font.
    if (created.font == kNoFont) created.font = SharedSystemFont;
  }
  FontSlotEntry& entry = FontSlots[slot];
  if (entry.font != SharedSystemFont) PlatformReleaseFont(entry.font);
  entry = created;
  return status;
}

int32_t DrawGlyph(int32_t x, int32_t y, const GlyphTable& table, uint8_t code) {
  if (x > ScreenSize.width || y > ScreenSize.height) return 0;
  const BuiltinGlyph glyph = FindBuiltinGlyph(table, code);
  if (glyph.width == 0 || glyph.height == 0) return 0;
  uint32_t bit = 0;
  for (int32_t i = 0; i < glyph.width; ++i) {
    for (int32_t j = 0; j < glyph.height; ++j, ++bit) {
      if (glyph.bits[bit >> 3] >> (bit & 7) & 1) PutPixel(x + i, y + j, TextColour);
    }
  }
  return glyph.width;
}

int32_t DrawTextAt(int32_t x, int32_t y, std::string_view text) {
  if (SystemFontMode) return DrawSystemText(x, y, text);
  const GlyphTable& table = CurrentBuiltinTable();
  for (char c : text)
    x = WrappingAdd(WrappingAdd(x, DrawGlyph(x, y, table, uint8_t(c))), CharSpacing);
  return x;
}

Size MeasureText(std::string_view text) {
  if (SystemFontMode) {
    const FontSlotEntry& slot = CurrentSlot();
    if (slot.font == kNoFont) return {0, 0};
    int32_t lines, widest;
    LayOut(slot.font, text, 0, INT64_MAX, &lines, &widest, [](const LaidOutChar&) { return true; });
    return {widest, LinesHeight(lines, PlatformGetFontMetrics(slot.font).line_height)};
  }
  if (text.empty()) return {0, 0};
  const GlyphTable& table = CurrentBuiltinTable();
  int32_t width = 0;
  for (char c : text) {
    width = WrappingAdd(width, WrappingAdd(FindBuiltinGlyph(table, uint8_t(c)).width, CharSpacing));
  }
  return {WrappingAdd(width, -CharSpacing), BuiltinFontHeight(table)};
}

}  // namespace velmora
