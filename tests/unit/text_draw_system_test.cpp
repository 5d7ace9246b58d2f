// System-font text, which no golden picture can hold (the face fontconfig finds differs from
// machine to machine): line breaks, the clip, coverage blended over the layer, the ampersand
// underline, and glyphs of text that starts far off the layer. Built-in fonts are checked by the
// guest programs in tests/guest/text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/machine.h"
#include "graphics/canvas.h"
#include "graphics/text.h"
#include "host/host_services.h"

namespace velmora {
namespace {

constexpr int32_t kCell = 20;

class TextDrawSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMachine();
    InstallAllServices();
    CreateCanvas();
    ASSERT_EQ(CreateSlotFont(1, "DejaVu Sans", kCell, false, false, false, false), 0);
    SystemFontMode = 1;
    FontSlot = 1;
  }
  void TearDown() override {
    ReleaseFontSlots();
    DestroyCanvas();
  }

  // The whole layer after `draw` on a layer filled with `colour`, whatever the clip.
  template <typename Draw>
  static std::vector<uint32_t> Drawn(Draw draw, uint32_t colour = 0) {
    const size_t size = size_t(ScreenSurface.width) * ScreenSurface.height;
    std::fill(ScreenSurface.pixels, ScreenSurface.pixels + size, colour);
    draw();
    return std::vector<uint32_t>(ScreenSurface.pixels, ScreenSurface.pixels + size);
  }

  struct Ink {
    int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // inclusive
    int count = 0;
  };
  // Where the pixels differ from black.
  static Ink InkOf(const std::vector<uint32_t>& pixels) {
    Ink ink;
    for (int32_t y = 0; y < ScreenSurface.height; ++y) {
      for (int32_t x = 0; x < ScreenSurface.width; ++x) {
        if (pixels[size_t(y) * ScreenSurface.width + x] == 0) continue;
        ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x),
               std::max(ink.bottom, y), ink.count + 1};
      }
    }
    return ink;
  }
};

TEST_F(TextDrawSystem, LineBreaksGiveTheYBelowTheText) {
  const struct {
    const char* text;
    int32_t lines;
  } cases[] = {{"Hg", 1},    {"Hg\nHg", 2}, {"Hg\r\nHg", 2}, {"Hg\rHg", 2},     {"Hg\n", 1},
               {"\n\nx", 3}, {"", 0},       {"a\n\n", 2},    {"\r\r\n\n\r", 4}, {"&\r\n&&\r", 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(DrawTextAt(5, 3, c.text), 3 + c.lines * kCell) << c.text;
    EXPECT_EQ(MeasureText(c.text).height, c.lines * kCell) << c.text;
    // Below the layer the lines are only counted.
    EXPECT_EQ(DrawTextAt(5, 30000, c.text), 30000 + c.lines * kCell) << c.text;
  }
  // The second line is the first, one line height lower.
  const auto first = Drawn([] { DrawTextAt(10, 10, "Hx"); });
  const auto second = Drawn([] { DrawTextAt(10, 10, "\nHx"); });
  ASSERT_GT(InkOf(first).count, 0);
  const size_t shift = size_t(kCell) * ScreenSurface.width;
  EXPECT_TRUE(std::equal(first.begin(), first.end() - shift, second.begin() + shift));
  EXPECT_EQ(InkOf(second).count, InkOf(first).count);
}

TEST_F(TextDrawSystem, MeasureCoversTheInkAndTheClipCutsIt) {
  for (const char* text : {"Hello,\nWorld!", "W", "iiii", "a&bc", "g\r\nQ_"}) {
    const Size size = MeasureText(text);
    const Ink ink = InkOf(Drawn([&] { DrawTextAt(7, 4, text); }));
    ASSERT_GT(ink.count, 0) << text;
    EXPECT_TRUE(ink.left >= 7 && ink.right < 7 + size.width && ink.top >= 4 &&
                ink.bottom < 4 + size.height && ink.right > 7 + size.width - kCell)
        << text;
  }
  SetClip(10, 10, 100, 50);
  const Ink cut =
      InkOf(Drawn([] { DrawTextAt(20, 15, "WWWWWWWWWWWWWWWWWWWW\nWWWWW\nWWWWW\nWWWWW"); }));
  EXPECT_TRUE(cut.left >= 20 && cut.top >= 15 && cut.right < 100 && cut.bottom < 50);
  EXPECT_TRUE(cut.right > 90 && cut.bottom > 40);
  const Ink before = InkOf(Drawn([] { DrawTextAt(-40, -10, "WWWWW\nWWWWW"); }));
  EXPECT_TRUE(before.left >= 10 && before.top >= 10);
}

TEST_F(TextDrawSystem, CoverageBlendsTheTextColourOverTheLayer) {
  TextColour = 0x000000FF;  // red on blue
  int full = 0, partial = 0;
  const auto drawn = Drawn([] { DrawTextAt(4, 4, "Ag&&@"); }, 0x00FF0000);
  for (uint32_t pixel : drawn) {
    if (pixel == 0x00FF0000) continue;
    EXPECT_EQ(pixel >> 8 & 0xFF, 0u);
    EXPECT_NEAR(int((pixel & 0xFF) + (pixel >> 16 & 0xFF)), 255, 1) << "a mix of the two";
    ++(pixel == 0x000000FF ? full : partial);
  }
  EXPECT_GT(full, 0);
  EXPECT_GT(partial, 0);
}

TEST_F(TextDrawSystem, AmpersandUnderlinesTheNextCharacter) {
  const auto plain = Drawn([] { DrawTextAt(10, 10, "ab"); });
  const auto marked = Drawn([] { DrawTextAt(10, 10, "&ab"); });
  EXPECT_EQ(MeasureText("&ab").width, MeasureText("ab").width);
  const int32_t a_right = 10 + MeasureText("a").width;
  int added = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    if (plain[i] == marked[i]) continue;
    ++added;
    const int32_t x = int32_t(i % ScreenSurface.width), y = int32_t(i / ScreenSurface.width);
    EXPECT_TRUE(x >= 10 && x < a_right && y > 10 + kCell / 2) << "only under the a";
  }
  EXPECT_GE(added, MeasureText("a").width);
  // "&&" draws one ampersand; a lone '&' at the end draws nothing.
  EXPECT_EQ(MeasureText("&&&&").width, 2 * MeasureText("&&").width);
  EXPECT_GT(MeasureText("&&").width, 0);
  EXPECT_EQ(MeasureText("ab&").width, MeasureText("ab").width);
}

TEST_F(TextDrawSystem, GlyphsFarFromTheOriginLandWhereTheyBelong) {
  const std::string spaces(300, ' '), breaks(50, '\n');
  const int32_t far_left = 10 - MeasureText(spaces).width;
  const int32_t far_up = 10 - MeasureText(breaks + "x").height + kCell;
  const auto near = Drawn([] { DrawTextAt(10, 10, "Hi&j"); });
  ASSERT_GT(InkOf(near).count, 0);
  EXPECT_EQ(Drawn([&] { DrawTextAt(far_left, 10, spaces + "Hi&j"); }), near);
  EXPECT_EQ(Drawn([&] { DrawTextAt(10, far_up, breaks + "Hi&j"); }), near);
  // A line running far past the right edge ends there; the next line still shows.
  const auto wide = [](size_t n) { return "Hi" + std::string(n, 'W') + "\nHi&j"; };
  EXPECT_EQ(Drawn([&] { DrawTextAt(10, 10, wide(5000)); }),
            Drawn([&] { DrawTextAt(10, 10, wide(200)); }));
}

}  // namespace
}  // namespace velmora
