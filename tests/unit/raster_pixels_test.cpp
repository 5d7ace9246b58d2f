// The drawing services' pixels, cell by cell on small layers: end points, extents, corner
// pixels, arc direction, wide pens; and the clip: clipped drawing is exactly the unclipped
// drawing cut to the clip, whatever the shape.
#include <limits>
#include <random>

#include "canvas_fixture.h"
#include "graphics/raster.h"
#include "services/random.h"

namespace velmora {
namespace {

struct Step {
  uint8_t function;
  std::vector<int32_t> words;
};

struct PictureCase {
  const char* name;
  int32_t width, height;
  bool marked;  // the layer starts filled with kTestMark instead of black
  std::vector<Step> steps;
  std::vector<const char*> rows;
};

class RasterPictureTest : public CanvasTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(RasterPictureTest, Draws) {
  const PictureCase& c = GetParam();
  UseSmallLayer(c.width, c.height);
  if (c.marked) FillInclusive({0, 0, c.width - 1, c.height - 1}, kTestMark);
  for (const Step& step : c.steps) {
    uint32_t address = kArgumentAddress;
    for (int32_t word : step.words) {
      SetGuestWord(address, uint16_t(word));
      address += 2;
    }
    Call(step.function);
  }
  std::string want;
  for (const char* row : c.rows) want += std::string(row) + '\n';
  EXPECT_EQ(Picture(c.width, c.height), want) << c.name;
}

// clang-format off
const PictureCase kPictureCases[] = {
    {"shallow line: a tie goes to the smaller y", 5, 3, false,
     {{29, {0, 0, 4, 2}}},
     {"##...", "..##.", "....."}},
    {"the same line drawn backwards: the same pixels but its end", 5, 3, false,
     {{29, {4, 2, 0, 0}}},
     {".#...", "..##.", "....#"}},
    {"steep line", 2, 5, false,
     {{29, {0, 0, 1, 4}}},
     {"#.", "#.", "#.", ".#", ".."}},
    {"diagonal", 4, 4, false,
     {{29, {0, 0, 3, 3}}},
     {"#...", ".#..", "..#.", "...."}},
    {"horizontal and vertical lines of negative length", 5, 5, false,
     {{27, {4, 0, -4}}, {28, {0, 4, -3}}},
     {".####", ".....", "#....", "#....", "#...."}},
    {"a line of length 0 and a 1-pixel dot paint nothing", 3, 3, false,
     {{29, {1, 1, 1, 1}}, {23, {1, 1}}},
     {"...", "...", "..."}},
    {"inclusive fill with reversed corners", 4, 4, false,
     {{44, {2, 2, 1, 0}}},
     {".oo.", ".oo.", ".oo.", "...."}},
    {"filled rectangle of one pixel is all outline", 4, 4, false,
     {{24, {1, 1, 2, 2}}},
     {"....", ".#..", "....", "...."}},
    {"rectangle outline leaves the inside alone", 12, 5, true,
     {{30, {0, 0, 10, 4}}},
     {"##########mm", "#mmmmmmmm#mm", "#mmmmmmmm#mm", "##########mm", "mmmmmmmmmmmm"}},
    {"filled rectangle by size", 6, 5, false,
     {{51, {1, 1, 4, 3}}},
     {"......", ".####.", ".#oo#.", ".####.", "......"}},
    {"zero-width rectangle paints nothing", 4, 4, false,
     {{24, {1, 0, 1, 3}}},
     {"....", "....", "....", "...."}},
    {"circle of radius 3 covers x - 3 .. x + 2", 7, 7, false,
     {{32, {3, 3, 3}}},
     {".####..", "#....#.", "#....#.", "#....#.", "#....#.", ".####..", "......."}},
    {"filled odd circle", 7, 7, false,
     {{52, {0, 0, 7, 7}}},
     {"..###..", ".#ooo#.", "#ooooo#", "#ooooo#", "#ooooo#", ".#ooo#.", "..###.."}},
    {"4 x 4 ellipse", 4, 4, false,
     {{52, {0, 0, 4, 4}}},
     {".##.", "#oo#", "#oo#", ".##."}},
    {"rounded rectangle with 4 x 4 corners", 8, 6, false,
     {{55, {0, 0, 8, 6, 2}}},
     {".######.", "#oooooo#", "#oooooo#", "#oooooo#", "#oooooo#", ".######."}},
    {"counter-clockwise arc from the right to the top", 7, 7, false,
     {{62, {1}}, {59, {0, 0, 7, 7, 7, 3, 3, 0}}},
     {"...##..", ".....#.", "......#", "......#", ".......", ".......", "......."}},
    {"clockwise arc between the same radials", 7, 7, false,
     {{62, {0}}, {59, {0, 0, 7, 7, 7, 3, 3, 0}}},
     {"..##...", ".#.....", "#......", "#.....#", "#.....#", ".#...#.", "..###.."}},
    {"arc-to: a line to the arc's start, the current position at its end", 7, 7, false,
     {{57, {0, 6}}, {60, {0, 0, 7, 7, 7, 3, 3, 0}}, {58, {3, 2}}},
     {"..##...", ".#.#...", "#......", "#....##", "#..##.#", ".##..#.", "#.###.."}},
    // Start 0.0f, sweep 90.0f (0x42B40000) as 16-bit words.
    {"angle arc: counter-clockwise for a positive sweep", 7, 7, false,
     {{57, {0, 3}}, {61, {3, 3, 3, 0, 0, 0, 0x42B4}}, {58, {3, 2}}},
     {"...##..", "...#.#.", "......#", "#######", ".......", ".......", "......."}},
    {"pie of the bottom half", 7, 7, false,
     {{65, {0, 0, 7, 7, 7, 3, -1, 3}}},
     {".......", ".......", ".......", "#######", "#ooooo#", ".#ooo#.", "..###.."}},
    {"wide line: width 3", 9, 5, false,
     {{6, {3}}, {29, {2, 2, 6, 2}}},
     {".........", ".#######.", ".#######.", ".#######.", "........."}},
    {"wide line: width 2 covers two rows", 9, 4, false,
     {{6, {2}}, {29, {2, 2, 6, 2}}},
     {".........", ".######..", ".######..", "........."}},
    {"wide dot", 5, 5, false,
     {{6, {3}}, {23, {2, 2}}},
     {".....", ".###.", ".###.", ".###.", "....."}},
    {"straight Bézier curve leaves out its end", 8, 1, false,
     {{63, {0, 0, 2, 0, 4, 0, 6, 0}}},
     {"######.."}},
    {"inversion twice over an overlap", 4, 3, false,
     {{43, {0, 0, 2, 1}}, {43, {1, 1, 3, 2}}},
     {"???.", "?..?", ".???"}},
    {"everything obeys the clip", 5, 5, false,
     {{16, {1, 1, 3, 3}}, {44, {0, 0, 4, 4}}, {29, {0, 2, 5, 2}}},
     {".....", ".ooo.", ".###.", ".ooo.", "....."}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(RasterPictures, RasterPictureTest, ::testing::ValuesIn(kPictureCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(CanvasTest, RasterNoiseInEitherCornerOrderPaintsTheSamePixels) {
  UseSmallLayer(8, 8);
  SeedRandom(99);
  Call(26, {1, 2, 6, 5});
  const std::string forward = Picture(8, 8);
  FillInclusive({0, 0, 7, 7}, 0);
  SeedRandom(99);
  Call(26, {6, 5, 1, 2});
  EXPECT_EQ(Picture(8, 8), forward);
  EXPECT_NE(forward.find('#'), std::string::npos);
  // Only the inclusive rectangle 1..6 x 2..5.
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      if (x < 1 || x > 6 || y < 2 || y > 5) {
        EXPECT_EQ(forward[y * 9 + x], '.') << x << "," << y;
      }
}

TEST_F(CanvasTest, RasterRandomPixelFollowsTheLowBitOfOneDraw) {
  UseSmallLayer(4, 1);
  SeedRandom(5);
  std::string want;
  for (int32_t x = 0; x < 4; ++x) want += RandomWord() & 1 ? '#' : '.';
  SeedRandom(5);
  for (int32_t x = 0; x < 4; ++x) Call(22, {x, 0});
  EXPECT_EQ(Picture(4, 1), want + "\n");
}

TEST_F(CanvasTest, RasterHugeCoordinatesAreClippedNotWrapped) {
  UseSmallLayer(16, 8);
  Call(29, {-32768, 3, 32767, 3});
  EXPECT_EQ(Picture(16, 8).substr(3 * 17, 17), "################\n");
  FillInclusive({0, 0, 15, 7}, 0);
  // A huge circle whose top passes through row 2 of the layer.
  Call(32, {8, 2 + 32000, 32000});
  const std::string picture = Picture(16, 8);
  EXPECT_EQ(picture.substr(2 * 17, 17), "################\n");
  EXPECT_EQ(picture.substr(1 * 17, 17), "................\n");
  // The widest pen over the largest shapes, and a negative radius (a huge unsigned one) for the
  // angle arc: bounded work, pixels only where they belong.
  Call(6, {20000});
  Call(34, {-32768, -32768, 32767, 32767});
  Call(65, {-32768, -32768, 32767, 32767, 0, 0, 32767, 0});
  Call(63, {-32768, -32768, 32767, -32768, -32768, 32767, 32767, 32767});
  Call(6, {1});
  SetGuestWord(0x60, 4);
  SetGuestWord(0x62, 4);
  SetGuestWord(0x64, uint16_t(-1));
  SetGuestFloat(0x66, 10.0f);
  SetGuestFloat(0x6A, 1e30f);
  Call(61);
  SetGuestFloat(0x6A, std::numeric_limits<float>::quiet_NaN());
  Call(61);
}

// A 1-pixel segment lights the same pixels whichever way it is drawn, apart from the end point
// each direction leaves out.
TEST_F(CanvasTest, RasterLinesLightTheSamePixelsInEitherDirection) {
  constexpr int32_t kW = 40, kH = 30;
  UseSmallLayer(kW, kH);
  std::mt19937 random(42);
  for (int round = 0; round < 500; ++round) {
    const int32_t x1 = int32_t(random() % (kW + 20)) - 10, y1 = int32_t(random() % (kH + 20)) - 10;
    const int32_t x2 = int32_t(random() % (kW + 20)) - 10, y2 = int32_t(random() % (kH + 20)) - 10;
    FillInclusive({0, 0, kW - 1, kH - 1}, 0);
    Call(29, {x1, y1, x2, y2});
    PutPixel(x1, y1, kTestPen);
    PutPixel(x2, y2, kTestPen);
    const std::string forward = Picture(kW, kH);
    FillInclusive({0, 0, kW - 1, kH - 1}, 0);
    Call(29, {x2, y2, x1, y1});
    PutPixel(x1, y1, kTestPen);
    PutPixel(x2, y2, kTestPen);
    ASSERT_EQ(Picture(kW, kH), forward) << x1 << "," << y1 << " - " << x2 << "," << y2;
  }
}

// Filled pies and chords with a 1-pixel pen: the outline closes the fill in. No fill pixel touches
// the outside, neither through a gap in the outline nor beyond its straight lines.
TEST_F(CanvasTest, RasterPieAndChordOutlinesCloseTheFillIn) {
  constexpr int32_t kW = 48, kH = 40;
  UseSmallLayer(kW, kH);
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const int32_t left = int32_t(random() % 10) + 1, top = int32_t(random() % 10) + 1;
    const int32_t right = left + int32_t(random() % 26) + 8,
                  bottom = top + int32_t(random() % 20) + 8;
    const int32_t radials[4] = {int32_t(random() % 80) - 16, int32_t(random() % 70) - 16,
                                int32_t(random() % 80) - 16, int32_t(random() % 70) - 16};
    const uint8_t function = random() % 2 ? 64 : 65;
    FillInclusive({0, 0, kW - 1, kH - 1}, 0);
    Call(62, {int32_t(random() % 2)});
    Call(function, {left, top, right, bottom, radials[0], radials[1], radials[2], radials[3]});
    // Mark the outside: every black pixel reachable from the border.
    std::vector<bool> outside(kW * kH, false);
    std::vector<std::pair<int32_t, int32_t>> stack = {{0, 0}};
    while (!stack.empty()) {
      const auto [x, y] = stack.back();
      stack.pop_back();
      if (x < 0 || y < 0 || x >= kW || y >= kH || outside[y * kW + x] || GetPixel(x, y) != 0)
        continue;
      outside[y * kW + x] = true;
      stack.insert(stack.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    for (int32_t y = 1; y < kH - 1; ++y)
      for (int32_t x = 1; x < kW - 1; ++x)
        if (GetPixel(x, y) == kTestFill) {
          ASSERT_FALSE(outside[y * kW + x - 1] || outside[y * kW + x + 1] ||
                       outside[(y - 1) * kW + x] || outside[(y + 1) * kW + x])
              << "function " << int(function) << " round " << round << " box " << left << "," << top
              << "," << right << "," << bottom << " radials " << radials[0] << "," << radials[1]
              << "," << radials[2] << "," << radials[3] << " at " << x << "," << y << "\n"
              << Picture(kW, kH);
        }
  }
}

// Random shapes and pens: the drawing under a random clip equals the drawing without a clip,
// cut to the clip. Catches clipping that shifts a line's steps or a curve's rows.
TEST_F(CanvasTest, RasterClippedDrawingIsTheUnclippedDrawingCut) {
  constexpr int32_t kW = 48, kH = 40;
  UseSmallLayer(kW, kH);
  std::mt19937 random(1234);
  const uint8_t shapes[] = {24, 29, 30, 31, 32, 33, 34, 35, 51, 52, 53, 54,
                            55, 59, 60, 61, 63, 64, 65, 23, 27, 28, 58};
  auto coordinate = [&](int32_t span) { return int32_t(random() % (span + 40)) - 20; };
  for (int round = 0; round < 400; ++round) {
    const uint8_t function = shapes[random() % std::size(shapes)];
    std::vector<int32_t> words;
    for (int i = 0; i < 8; ++i) words.push_back(coordinate(i % 2 ? kH : kW));
    if (function == 32 || function == 33 || function == 35 || function == 53 || function == 54 ||
        function == 55) {
      words[2] = int32_t(random() % 30) - 4;
      if (words.size() > 4) words[4] = int32_t(random() % 12);
    }
    const int32_t pen = random() % 4 == 0 ? int32_t(random() % 9) + 2 : 1;
    const uint8_t direction = random() % 2;
    auto draw = [&] {
      Call(6, {pen});
      Call(62, {direction});
      Call(57, {10, 10});
      uint32_t address = kArgumentAddress;
      for (int32_t word : words) {
        SetGuestWord(address, uint16_t(word));
        address += 2;
      }
      if (function == 61) {
        SetGuestWord(0x64, uint16_t(words[2] & 31));
        SetGuestFloat(0x66, float(int32_t(random() % 720) - 360));
        SetGuestFloat(0x6A, float(int32_t(random() % 900) - 450));
      }
      Call(function);
    };
    FillInclusive({0, 0, kW - 1, kH - 1}, 0);
    ResetClip();
    const std::mt19937 before = random;
    draw();
    std::vector<uint32_t> full;
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) full.push_back(GetPixel(x, y));
    random = before;
    const Rect clip = {int32_t(random() % kW), int32_t(random() % kH), int32_t(random() % kW),
                       int32_t(random() % kH)};
    random = before;
    FillInclusive({0, 0, kW - 1, kH - 1}, kTestMark);
    SetClip(clip.left, clip.top, clip.right, clip.bottom);
    const Rect kept = ClipRect;
    draw();
    ResetClip();
    for (int32_t y = 0; y < kH; ++y) {
      for (int32_t x = 0; x < kW; ++x) {
        const bool inside = x >= kept.left && x <= kept.right && y >= kept.top && y <= kept.bottom;
        const uint32_t want =
            inside ? (full[y * kW + x] == 0 ? kTestMark : full[y * kW + x]) : kTestMark;
        ASSERT_EQ(GetPixel(x, y), want) << "round " << round << " function " << int(function)
                                        << " pen " << pen << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace velmora
