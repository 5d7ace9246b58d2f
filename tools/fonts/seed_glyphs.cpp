// Seeds the glyph pictures of the built-in fonts (tools/fonts/fontN.txt) from freely licensed
// Debian fonts: the misc-fixed 5x7 and 6x9 bitmap fonts (xfonts-base) for fonts 0 to 3, DejaVu Sans
// and DejaVu Sans Bold (fonts-dejavu-core) hinted to whole pixels for fonts 4 to 7. The pictures
// are the source of the tables from then on; they are corrected by hand, so run this only to start
// over:
//   g++ -std=c++20 -O2 seed_glyphs.cpp $(pkg-config --cflags --libs freetype2) -o seed_glyphs
//   ./seed_glyphs .        (writes font0.txt ... font7.txt into the given folder)
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Recipe {
  const char* file;
  const char* description;
  bool fixed;         // font 0: 5 × 7 cells
  int height;         // rows of the cell
  int descent;        // rows below the baseline
  double pixel_size;  // em size in pixels (vertical)
  double widen;       // horizontal scale
  bool trim;          // width from the ink (font 1), else from the advance
  int max_width;
  int digit_width, space_width, a_width;  // named widths (0: as rendered)
  bool nbsp_zero;                         // code 160 has width 0
  bool embolden;                          // each row ORed with itself shifted right by one pixel
};

constexpr const char* kMisc = "/usr/share/fonts/X11/misc/5x7-ISO8859-1.pcf.gz";
constexpr const char* kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kMisc9 = "/usr/share/fonts/X11/misc/6x9-ISO8859-1.pcf.gz";
constexpr const char* kBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

const Recipe kRecipes[8] = {
    {kMisc, "5 x 7 cells (misc-fixed 5x7)", true, 7, 1, 7, 1, false, 5, 0, 0, 0, false, false},
    {kMisc, "small (misc-fixed 5x7, trimmed)", false, 7, 1, 7, 1, true, 5, 5, 2, 5, false, false},
    {kMisc9, "(misc-fixed 6x9, trimmed)", false, 9, 2, 9, 1, true, 8, 5, 3, 0, false, false},
    {kMisc9, "bold (misc-fixed 6x9, emboldened, trimmed)", false, 9, 2, 9, 1, true, 8, 6, 3, 0,
     true, true},
    {kSans, "DejaVu Sans 10 px", false, 12, 3, 10, 1, false, 11, 0, 0, 0, false, false},
    {kSans, "DejaVu Sans 12 px", false, 14, 3, 12, 1, false, 13, 0, 0, 0, false, false},
    {kBold, "DejaVu Sans Bold 12 px", false, 14, 3, 12, 1, false, 14, 0, 0, 0, true, false},
    {kBold, "heavy (DejaVu Sans Bold 13 px, widened)", false, 16, 3, 13, 1.3, false, 18, 10, 8, 13,
     true, false},
};

// Codes of 161-255 without a glyph of their own: they share the box.
bool SharesBox(int code) {
  if (code < 32 || (code >= 127 && code < 160)) return true;
  return code == 164 || code == 166 || code == 168 || code == 175 || code == 180 || code == 184;
}

using Picture = std::vector<std::string>;  // rows of '#' and '.'

Picture Blank(int width, int height) {
  return Picture(height, std::string(width, '.'));
}

// Moves the ink horizontally so that it is centred in `width` columns.
Picture Recentre(const Picture& in, int width) {
  int left = 1 << 20, right = -1;
  for (const auto& row : in)
    for (int x = 0; x < int(row.size()); ++x)
      if (row[x] == '#') left = std::min(left, x), right = std::max(right, x);
  if (right < 0) return Blank(width, int(in.size()));
  const int ink = right - left + 1;
  width = std::max(width, ink);
  Picture out = Blank(width, int(in.size()));
  const int start = std::max(0, (width - ink) / 2);
  for (size_t y = 0; y < in.size(); ++y)
    for (int x = left; x <= right; ++x)
      if (in[y][x] == '#' && start + x - left < width) out[y][start + x - left] = '#';
  return out;
}

Picture Render(FT_Face face, const Recipe& r, int code) {
  const FT_UInt index = FT_Get_Char_Index(face, code);
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME))
    return Blank(1, r.height);
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  // The glyph's rows relative to the cell; rows above the cell are squeezed out by dropping blank
  // rows inside the glyph (the gap under an accent) before any inked row is lost.
  std::vector<std::string> rows;
  for (unsigned y = 0; y < bm.rows; ++y) {
    std::string row;
    for (unsigned x = 0; x < bm.width; ++x) {
      const unsigned char byte = bm.buffer[y * bm.pitch + x / 8];
      row += (byte & (0x80 >> (x % 8))) ? '#' : '.';
    }
    rows.push_back(row);
  }
  const int baseline = r.height - r.descent;
  int top = baseline - slot->bitmap_top;
  for (size_t y = 1; top < 0 && y + 1 < rows.size();) {
    if (rows[y].find('#') == std::string::npos) {
      rows.erase(rows.begin() + y);
      ++top;
    } else {
      ++y;
    }
  }
  int left = slot->bitmap_left;
  int advance = int(slot->advance.x + 32) >> 6;
  int width;
  if (r.fixed) {
    width = 5;
  } else if (r.trim) {
    width = std::max(1, int(bm.width));
    left = 0;
  } else {
    left = std::max(0, left);
    width = std::max(advance - 1, left + int(bm.width));
    if (bm.width == 0) width = std::max(1, advance - 1);
  }
  width = std::min(width, r.max_width);
  Picture out = Blank(width, r.height);
  for (int y = 0; y < int(rows.size()); ++y) {
    const int cy = top + y;
    if (cy < 0 || cy >= r.height) continue;
    for (int x = 0; x < int(rows[y].size()); ++x) {
      const int cx = left + x;
      if (cx >= 0 && cx < width && rows[y][x] == '#') out[cy][cx] = '#';
    }
  }
  if (r.embolden) {
    for (auto& row : out) {
      row += '.';
      for (int x = int(row.size()) - 1; x > 0; --x)
        if (row[x - 1] == '#') row[x] = '#';
    }
  }
  if (r.trim) {  // drop blank columns left and right of the ink
    int first = width, last = -1;
    for (int x = 0; x < width; ++x)
      for (const auto& row : out)
        if (row[x] == '#') first = std::min(first, x), last = std::max(last, x);
    if (last >= 0) {
      for (auto& row : out) row = row.substr(first, last - first + 1);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  FT_Library library;
  if (FT_Init_FreeType(&library)) return 1;
  for (int font = 0; font < 8; ++font) {
    const Recipe& r = kRecipes[font];
    FT_Face face;
    if (FT_New_Face(library, r.file, 0, &face)) {
      std::fprintf(stderr, "cannot open %s\n", r.file);
      return 1;
    }
    if (FT_IS_SCALABLE(face)) {
      FT_Set_Char_Size(face, FT_F26Dot6(r.pixel_size * r.widen * 64), FT_F26Dot6(r.pixel_size * 64),
                       72, 72);
    } else {
      FT_Select_Size(face, 0);
    }
    const std::string path = folder + "/font" + std::to_string(font) + ".txt";
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return 1;
    std::fprintf(out, "# Built-in font %d: %s. Seeded by seed_glyphs.cpp, edited by hand.\n", font,
                 r.description);
    std::fprintf(out, "# A glyph: '= code' then one row per pixel row, '#' set, '.' clear.\n");
    std::fprintf(out, "%s %d\n", r.fixed ? "fixed" : "proportional", r.height);
    std::fprintf(out, "= box\n");
    for (const auto& row : Blank(r.fixed ? 5 : std::min(r.max_width, r.height * 5 / 8), r.height)) {
      std::fprintf(out, "%s\n", std::string(row.size(), '#').c_str());
    }
    for (int code = 32; code < 256; ++code) {
      if (SharesBox(code)) continue;
      Picture p;
      if (code == 160 && r.nbsp_zero) {
        p = Picture(r.height, "");
      } else if (code == 32 || code == 160) {
        const int w = r.space_width ? r.space_width : int(Render(face, r, 32)[0].size());
        p = Blank(w, r.height);
      } else {
        p = Render(face, r, code);
        if (r.digit_width && code >= '0' && code <= '9') p = Recentre(p, r.digit_width);
        if (r.a_width && code == 'A') p = Recentre(p, r.a_width);
      }
      std::fprintf(out, "= %d\n", code);
      for (const auto& row : p) std::fprintf(out, "%s\n", row.c_str());
    }
    std::fclose(out);
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return 0;
}
