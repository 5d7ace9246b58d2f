// System-font text: layout, line breaks, ampersands, clipping, colour and measuring. The face that
// fontconfig finds may differ from machine to machine, so these check structure, not pixels.
#include "text_draw_fixture.h"

namespace velmora {
namespace {

constexpr int32_t kCell = 20;

class TextDrawSystem : public TextDrawTest {
 protected:
  void SetUp() override {
    TextDrawTest::SetUp();
    ASSERT_EQ(CreateSlotFont(1, "DejaVu Sans", kCell, false, false, false, false), 0);
    SystemFontMode = 1;
    FontSlot = 1;
  }
};

TEST_F(TextDrawSystem, ReturnsYBelowTheDrawnLines) {
  struct Case {
    const char* text;
    int32_t lines;
  };
  const Case cases[] = {{"Hg", 1},   {"Hg\nHg", 2}, {"Hg\r\nHg", 2}, {"Hg\rHg", 2},
                        {"Hg\n", 1}, {"\n\nx", 3},  {"", 0},         {"a\n\n", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DrawTextAt(5, 3, c.text), 3 + c.lines * kCell);
    EXPECT_EQ(MeasureText(c.text).height, c.lines * kCell);
  }
}

TEST_F(TextDrawSystem, SecondLineIsOneLineHeightBelow) {
  const auto first = Drawn([] { DrawTextAt(10, 10, "Hx"); });
  const auto second = Drawn([] { DrawTextAt(10, 10, "\nHx"); });
  const Ink a = InkOf(first), b = InkOf(second);
  ASSERT_GT(a.count, 0);
  EXPECT_EQ(b.count, a.count);
  EXPECT_EQ(b.top, a.top + kCell);
  EXPECT_EQ(b.left, a.left);
  for (int32_t y = 0; y + kCell < ScreenSurface.height; ++y)
    for (int32_t x = 0; x < ScreenSurface.width; ++x)
      ASSERT_EQ(first[size_t(y) * ScreenSurface.width + x],
                second[size_t(y + kCell) * ScreenSurface.width + x]);
}

TEST_F(TextDrawSystem, MeasureCoversTheDrawnInk) {
  const char* texts[] = {"Hello,\nWorld!", "W", "iiii", "a&bc", "g\r\nQ_"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const Size size = MeasureText(text);
    const Ink ink = InkOf(Drawn([&] { DrawTextAt(7, 4, text); }));
    ASSERT_GT(ink.count, 0);
    EXPECT_GE(ink.left, 7);
    EXPECT_LT(ink.right, 7 + size.width);
    EXPECT_GE(ink.top, 4);
    EXPECT_LT(ink.bottom, 4 + size.height);
    EXPECT_GT(ink.right, 7 + size.width - kCell) << "the widest line reaches the right end";
  }
}

TEST_F(TextDrawSystem, TextIsCutAtTheClipRightAndBottom) {
  SetClip(10, 10, 100, 50);
  const auto drawn = Drawn([] { DrawTextAt(20, 15, "WWWWWWWWWWWWWWWWWWWW\nWWWWW\nWWWWW\nWWWWW"); });
  const Ink ink = InkOf(drawn);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, 20);
  EXPECT_GE(ink.top, 15);
  EXPECT_LT(ink.right, 100);  // the platform rectangle ends before the clip's right column
  EXPECT_LT(ink.bottom, 50);
  EXPECT_GT(ink.right, 90);
  EXPECT_GT(ink.bottom, 40);
  // Text left of and above the clip is not drawn either.
  const Ink outside = InkOf(Drawn([] { DrawTextAt(-40, -10, "WWWWW\nWWWWW"); }));
  EXPECT_GE(outside.left, 10);
  EXPECT_GE(outside.top, 10);
}

TEST_F(TextDrawSystem, CoverageBlendsTextColourOverTheLayer) {
  TextColour = 0x000000FF;  // red
  const auto on_blue = Drawn([] { DrawTextAt(4, 4, "Ag&&@"); }, 0x00FF0000);
  int full = 0, partial = 0;
  for (uint32_t pixel : on_blue) {
    if (pixel == 0x00FF0000) continue;
    const uint32_t red = pixel & 0xFF, green = pixel >> 8 & 0xFF, blue = pixel >> 16 & 0xFF;
    EXPECT_EQ(green, 0u);
    EXPECT_NEAR(int(red + blue), 255, 1) << "a mix of the two colours";
    if (pixel == 0x000000FF)
      ++full;
    else
      ++partial;
  }
  EXPECT_GT(full, 0);
  EXPECT_GT(partial, 0);
}

TEST_F(TextDrawSystem, AmpersandUnderlinesTheNextCharacter) {
  const auto plain = Drawn([] { DrawTextAt(10, 10, "ab"); });
  const auto marked = Drawn([] { DrawTextAt(10, 10, "&ab"); });
  EXPECT_EQ(MeasureText("&ab").width, MeasureText("ab").width);
  const int32_t a_right = 10 + MeasureText("a").width;
  const int32_t baseline_below = 10 + kCell / 2;
  int added = 0;
  for (int32_t y = 0; y < ScreenSurface.height; ++y) {
    for (int32_t x = 0; x < ScreenSurface.width; ++x) {
      const size_t i = size_t(y) * ScreenSurface.width + x;
      if (plain[i] == marked[i]) continue;
      ++added;
      EXPECT_GE(x, 10);
      EXPECT_LT(x, a_right) << "only under the a";
      EXPECT_GT(y, baseline_below);
    }
  }
  EXPECT_GE(added, MeasureText("a").width);
  // "&&" draws one ampersand; a lone '&' at the end draws nothing.
  EXPECT_EQ(MeasureText("&&&&").width, 2 * MeasureText("&&").width);
  EXPECT_GT(MeasureText("&&").width, 0);
  EXPECT_EQ(MeasureText("ab&").width, MeasureText("ab").width);
}

TEST_F(TextDrawSystem, SlotStylesAndDefaults) {
  // Underline and strike-out add ink across the text; bold adds weight.
  const int plain = InkOf(Drawn([] { DrawTextAt(10, 10, "mm"); })).count;
  ASSERT_EQ(CreateSlotFont(2, "DejaVu Sans", kCell, false, false, true, false), 0);
  FontSlot = 2;
  EXPECT_GT(InkOf(Drawn([] { DrawTextAt(10, 10, "mm"); })).count, plain);
  ASSERT_EQ(CreateSlotFont(2, "DejaVu Sans", kCell, false, false, false, true), 0);
  EXPECT_GT(InkOf(Drawn([] { DrawTextAt(10, 10, "mm"); })).count, plain);
  ASSERT_EQ(CreateSlotFont(2, "DejaVu Sans", kCell, true, false, false, false), 0);
  EXPECT_GT(InkOf(Drawn([] { DrawTextAt(10, 10, "mm"); })).count, plain);
  // An unknown face still gives a font, at the default cell height when 0 is asked for.
  ASSERT_EQ(CreateSlotFont(2, "No Such Face Anywhere", 0, false, true, false, false), 0);
  EXPECT_EQ(MeasureText("x").height, 16);
  EXPECT_GT(InkOf(Drawn([] { DrawTextAt(10, 10, "x"); })).count, 0);
  // Slot 0 holds the fixed-pitch system font, 16 pixels a line.
  FontSlot = 0;
  EXPECT_EQ(MeasureText("iii").width, MeasureText("WWW").width);
  EXPECT_EQ(MeasureText("A").height, 16);
}

TEST_F(TextDrawSystem, FontServicesThroughTheGate) {
  // Creating a font does not select its slot; function 38 does, and leaves the status alone.
  const char face[] = "NoSuchFace";
  std::memcpy(Machine.data + 0x300, face, sizeof face);
  const uint8_t create[] = {9, 24, 0, 1, 0, 0, 0, 0x00, 0x03};  // slot 9, height 24, bold
  std::memcpy(Machine.data + 0x60, create, sizeof create);
  Machine.data[kStatusAddress] = 7;
  Service(37);
  EXPECT_EQ(Machine.data[kStatusAddress], 0);
  EXPECT_EQ(FontSlot, 1);
  SystemFontMode = 0;
  Machine.data[0x60] = 9;
  Service(38);
  EXPECT_EQ(SystemFontMode, 1);
  EXPECT_EQ(FontSlot, 9);
  EXPECT_EQ(Machine.data[kStatusAddress], 0);
  EXPECT_EQ(MeasureText("x").height, 24);
  // A face name without a terminator before the end of memory is cut there.
  std::memset(Machine.data + 0xFFF0, 'x', 16);
  const uint8_t create_at_end[] = {200, 0, 0, 0, 0, 0, 0, 0xF0, 0xFF};
  std::memcpy(Machine.data + 0x60, create_at_end, sizeof create_at_end);
  Service(37);
  EXPECT_EQ(Machine.data[kStatusAddress], 0);
}

TEST_F(TextDrawSystem, GlyphsFarFromTheOriginLandWhereTheyBelong) {
  // Text starting far left of or above the layer: the glyphs that reach it are drawn exactly as
  // if the text started at their place.
  const std::string spaces(300, ' '), breaks(50, '\n');
  const int32_t far_left = 10 - MeasureText(spaces).width;
  const int32_t far_up = 10 - MeasureText(breaks + "x").height + kCell;
  const auto near = Drawn([] { DrawTextAt(10, 10, "Hi&j"); });
  ASSERT_GT(InkOf(near).count, 0);
  EXPECT_EQ(Drawn([&] { DrawTextAt(far_left, 10, spaces + "Hi&j"); }), near);
  EXPECT_EQ(Drawn([&] { DrawTextAt(10, far_up, breaks + "Hi&j"); }), near);
}

TEST_F(TextDrawSystem, SlotsLiveAcrossCanvasRebuilds) {
  // Replacing fonts over and over releases the ones dropped; releasing all and drawing again
  // brings the shared system font back.
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(CreateSlotFont(uint8_t(i % 3), "DejaVu Serif", uint16_t(10 + i), i & 1, i & 2, false,
                             false),
              0);
  }
  ReleaseFontSlots();
  FontSlot = 7;
  EXPECT_EQ(DrawTextAt(0, 0, "x"), 16);
}

}  // namespace
}  // namespace velmora
