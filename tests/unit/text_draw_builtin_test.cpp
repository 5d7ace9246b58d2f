// Built-in font text: glyph placement, spacing, the screen-edge rule, measuring and the services.
#include "text_draw_fixture.h"

namespace velmora {
namespace {

using TextDrawBuiltin = TextDrawTest;

TEST_F(TextDrawBuiltin, SpacingPlacesNeighbouringGlyphs) {
  struct Case {
    int32_t spacing, b_column, end, measured_width;
  };
  const Case cases[] = {{1, 16, 22, 11}, {0, 15, 20, 10}, {-2, 13, 16, 8}, {4, 19, 28, 14}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spacing);
    CharSpacing = c.spacing;
    // The text must look like A and B drawn on their own at their columns.
    const auto expected = Drawn([&] {
      DrawGlyph(10, 20, BuiltinFontTables[0], 'A');
      DrawGlyph(c.b_column, 20, BuiltinFontTables[0], 'B');
    });
    int32_t end = 0;
    const auto drawn = Drawn([&] { end = DrawTextAt(10, 20, "AB"); });
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(drawn, expected);
    const Ink ink = InkOf(drawn);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, c.b_column + 4);
    EXPECT_GE(ink.top, 20);
    EXPECT_LE(ink.bottom, 26);
    const Size size = MeasureText("AB");
    EXPECT_EQ(size.width, c.measured_width);
    EXPECT_EQ(size.height, 7);
  }
}

TEST_F(TextDrawBuiltin, TextIsTextColourWithoutBackground) {
  TextColour = 0x00123456;
  const auto drawn = Drawn([] { DrawTextAt(3, 3, "#"); }, 0x00ABCDEF);
  const Ink ink = InkOf(drawn, 0x00ABCDEF);
  EXPECT_GT(ink.count, 0);
  for (uint32_t pixel : drawn) EXPECT_TRUE(pixel == 0x00123456 || pixel == 0x00ABCDEF);
  EXPECT_LT(ink.count, 35) << "clear bits leave the background";
}

TEST_F(TextDrawBuiltin, GlyphsPastTheShownEdgeAreSkipped) {
  // A layer wider and taller than the shown part: text stops at ScreenSize, not at the layer.
  CreateLayer(1, 300, 200, 0);
  SelectLayer(1);
  ASSERT_EQ(ScreenSize.width, 240);
  struct Case {
    int32_t x, y, end;
    bool ink_expected;
  };
  const Case cases[] = {
      {241, 10, 241 + 3, false},  // starts beyond the right edge: spacing only
      {240, 10, 240 + 6 + 1 + 1, true},
      {10, 121, 10 + 3, false},  // below the bottom edge
      {10, 120, 10 + 18, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x * 1000 + c.y);
    int32_t end = 0;
    const auto drawn = Drawn([&] { end = DrawTextAt(c.x, c.y, "MMM"); });
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(InkOf(drawn).count > 0, c.ink_expected);
  }
  // Starting at 235 the first glyph is drawn whole, the second (at 241) is skipped.
  const auto drawn = Drawn([] { EXPECT_EQ(DrawTextAt(235, 5, "MM"), 235 + 5 + 1 + 1); });
  const Ink ink = InkOf(drawn);
  EXPECT_GE(ink.left, 235);
  EXPECT_LE(ink.right, 239);
}

TEST_F(TextDrawBuiltin, MeasuringIgnoresTheScreenEdgeAndCountsEveryFont) {
  EXPECT_EQ(MeasureText("").width, 0);
  EXPECT_EQ(MeasureText("").height, 0);
  const int32_t heights[] = {7, 7, 9, 9, 12, 14, 14, 16};
  for (uint32_t font = 0; font < 8; ++font) {
    BuiltinFont = font;
    EXPECT_EQ(MeasureText("x").height, heights[font]) << font;
    // Measure and the x that drawing returns agree (drawing adds one more spacing).
    const int32_t end = DrawTextAt(0, 0, "Hello, World");
    EXPECT_EQ(MeasureText("Hello, World").width + CharSpacing, end) << font;
  }
}

TEST_F(TextDrawBuiltin, EmptyGlyphAdvancesBySpacingOnly) {
  // Code 160 is 0 wide in fonts 3, 6 and 7: it draws nothing and adds only the spacing.
  for (uint32_t font : {3u, 6u, 7u}) {
    BuiltinFont = font;
    const int32_t a = MeasureText("A").width, b = MeasureText("B").width;
    EXPECT_EQ(MeasureText("\xA0").width, 0) << font;
    EXPECT_EQ(DrawTextAt(0, 0,
                         "A\xA0"
                         "B"),
              a + 1 + 1 + b + 1)
        << font;
    EXPECT_EQ(DrawGlyph(0, 0, BuiltinFontTables[font], 0xA0), 0);
  }
}

TEST_F(TextDrawBuiltin, DrawMeasureAndCentreServices) {
  const char text[] = "AAA";
  std::memcpy(Machine.data + 0x300, text, sizeof text);
  SetGuestWord(0x60, 0);
  SetGuestWord(0x62, 3);  // 3 × 5 + 2 × 3 = 21 pixels wide
  Service(36);
  SetGuestWord(0x60, 0x400);
  SetGuestWord(0x62, 0x402);
  SetGuestWord(0x64, 0x300);
  Service(39);
  EXPECT_EQ(GuestWord(0x400), 21);
  // Centred between 100 and 0: drawn from x = 40.
  const auto expected = Drawn([] { DrawTextAt(40, 30, "AAA"); });
  const auto centred = Drawn([] {
    SetGuestWord(0x60, 100);
    SetGuestWord(0x62, 0);
    SetGuestWord(0x64, 30);
    SetGuestWord(0x66, 0x300);
    Service(41);
  });
  EXPECT_EQ(centred, expected);
  // Function 40 returns the x after the text, negative coordinates included.
  SetGuestWord(0x60, uint16_t(-30));
  SetGuestWord(0x62, 5);
  SetGuestWord(0x64, 0x300);
  Service(40);
  EXPECT_EQ(int16_t(GuestWord(0x60)), -30 + 24);
}

TEST_F(TextDrawBuiltin, StringsEndAtTheTopOfDataMemory) {
  // An unterminated string at the very end of guest memory draws its bytes and stops there.
  std::memset(Machine.data + 0xFFFC, 'M', 4);
  std::memset(Machine.data + 0x10000, 'M', 0x100);  // guard bytes are never read as text
  SetGuestWord(0x60, 0);
  SetGuestWord(0x62, 0);
  SetGuestWord(0x64, 0xFFFC);
  Service(40);
  EXPECT_EQ(GuestWord(0x60), 4 * 6);
}

}  // namespace
}  // namespace velmora
