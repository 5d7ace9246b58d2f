// The canvas and the rasteriser for what the guest test cards cannot cover: properties over random
// shapes (clipped drawing is the unclipped drawing cut to the clip, pie and chord outlines close
// their fill in), pens, radii and angles at their extremes, the memory budget of all layers, and a
// layer switch for image work while the current layer is lost.
// Random calls of every service are the gate fuzz target's (tests/fuzz).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/hostcall.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "graphics/raster.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {
namespace {

constexpr uint32_t kTestPen = 0x00C0FFEE, kTestFill = 0x00123456, kTestMark = 0x00ABCDEF;

class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(Machine.data, 0, sizeof Machine.data);
    InstallAllServices();
    CreateCanvas();
  }
  void TearDown() override {
    DestroyCanvas();
    LayerMemoryBudget = kDefaultLayerMemoryBudget;
  }

  // 16-bit arguments from 0x60.
  static void Args(const std::vector<int32_t>& words) {
    for (size_t i = 0; i < words.size(); ++i)
      SetGuestWord(uint32_t(kArgumentAddress + 2 * i), uint16_t(words[i]));
  }
  // Group 3 function `function` with 16-bit arguments from 0x60.
  static void Call(uint8_t function, const std::vector<int32_t>& words = {}) {
    Args(words);
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = 3;
    ServiceCall();
  }
  static uint8_t Status() { return Machine.data[kStatusAddress]; }

  // A small layer, current, black, pen kTestPen, fill kTestFill.
  static void UseSmallLayer(int32_t width, int32_t height) {
    Call(73, {1, width, height, 0});
    Call(5, {1});
    SetGuestDword(kArgumentAddress, kTestPen);
    Call(8);
    SetGuestDword(kArgumentAddress, kTestFill);
    Call(45);
  }

  // The top-left width × height pixels of the drawing surface, whatever the clip: '.' black,
  // '#' the pen, 'o' the fill, 'm' the mark, '?' anything else.
  static std::string Picture(int32_t width, int32_t height) {
    std::string out;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = ScreenSurface.pixels[y * ScreenSurface.width + x];
        out += p == 0           ? '.'
               : p == kTestPen  ? '#'
               : p == kTestFill ? 'o'
               : p == kTestMark ? 'm'
                                : '?';
      }
      out += '\n';
    }
    return out;
  }
};

TEST_F(CanvasTest, RasterClippedDrawingIsTheUnclippedDrawingCut) {
  constexpr int32_t kW = 48, kH = 40;
  UseSmallLayer(kW, kH);
  std::mt19937 random(1234);
  const uint8_t shapes[] = {24, 29, 30, 31, 32, 33, 34, 35, 51, 52, 53, 54,
                            55, 59, 60, 61, 63, 64, 65, 23, 27, 28, 58};
  for (int round = 0; round < 400; ++round) {
    const uint8_t function = shapes[random() % std::size(shapes)];
    std::vector<int32_t> words;
    for (int i = 0; i < 8; ++i) words.push_back(int32_t(random() % ((i % 2 ? kH : kW) + 40)) - 20);
    if (function == 32 || function == 33 || function == 35 || (function >= 53 && function <= 55)) {
      words[2] = int32_t(random() % 30) - 4;  // radius, or a rounded rectangle's corner
      words[4] = int32_t(random() % 12);
    }
    const int32_t pen = random() % 4 == 0 ? int32_t(random() % 9) + 2 : 1;
    const int32_t direction = random() % 2;
    const float start = float(int32_t(random() % 720) - 360),
                sweep = float(int32_t(random() % 900) - 450);
    const Rect clip = {int32_t(random() % kW), int32_t(random() % kH), int32_t(random() % kW),
                       int32_t(random() % kH)};
    auto draw = [&](uint32_t background, const Rect& clip) {
      ResetClip();
      FillInclusive({0, 0, kW - 1, kH - 1}, background);
      SetClip(clip.left, clip.top, clip.right, clip.bottom);
      Call(6, {pen});
      Call(62, {direction});
      Call(57, {10, 10});
      Args(words);
      if (function == 61) {  // the angle arc: radius at 0x64, two floats
        SetGuestWord(0x64, uint16_t(words[2] & 31));
        SetGuestFloat(0x66, start);
        SetGuestFloat(0x6A, sweep);
      }
      Call(function);
    };
    draw(0, {0, 0, kW - 1, kH - 1});
    const std::vector<uint32_t> full(ScreenSurface.pixels, ScreenSurface.pixels + kW * kH);
    draw(kTestMark, clip);
    const Rect kept = ClipRect;
    ResetClip();
    for (int32_t y = 0; y < kH; ++y) {
      for (int32_t x = 0; x < kW; ++x) {
        const bool inside = x >= kept.left && x <= kept.right && y >= kept.top && y <= kept.bottom;
        const uint32_t drawn = full[y * kW + x];
        ASSERT_EQ(GetPixel(x, y), inside && drawn != 0 ? drawn : kTestMark)
            << "round " << round << " function " << int(function) << " pen " << pen << " at " << x
            << "," << y;
      }
    }
  }
}

// Filled pies and chords with a 1-pixel pen: no fill pixel touches the outside, neither through a
// gap in the outline nor beyond its straight lines.
TEST_F(CanvasTest, RasterPieAndChordOutlinesCloseTheFillIn) {
  constexpr int32_t kW = 48, kH = 40;
  UseSmallLayer(kW, kH);
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    const int32_t left = int32_t(random() % 10) + 1, top = int32_t(random() % 10) + 1;
    const int32_t right = left + int32_t(random() % 26) + 8;
    const int32_t bottom = top + int32_t(random() % 20) + 8;
    std::vector<int32_t> words = {left, top, right, bottom};
    for (int i = 0; i < 4; ++i) words.push_back(int32_t(random() % (i % 2 ? 70 : 80)) - 16);
    const uint8_t function = random() % 2 ? 64 : 65;
    FillInclusive({0, 0, kW - 1, kH - 1}, 0);
    Call(62, {int32_t(random() % 2)});
    Args(words);
    Call(function);
    // The outside: every black pixel reachable from the border.
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
        ASSERT_FALSE(GetPixel(x, y) == kTestFill &&
                     (outside[y * kW + x - 1] || outside[y * kW + x + 1] ||
                      outside[(y - 1) * kW + x] || outside[(y + 1) * kW + x]))
            << "function " << int(function) << " round " << round << " at " << x << "," << y << "\n"
            << Picture(kW, kH);
  }
}

TEST_F(CanvasTest, RasterExtremeArgumentsStayBounded) {
  UseSmallLayer(16, 8);
  // The widest pen over the largest shapes, a negative radius (a huge unsigned one) and absurd
  // angles for the angle arc: bounded work, nothing outside the layer.
  Call(6, {20000});
  Call(34, {-32768, -32768, 32767, 32767});
  Call(65, {-32768, -32768, 32767, 32767, 0, 0, 32767, 0});
  Call(63, {-32768, -32768, 32767, -32768, -32768, 32767, 32767, 32767});
  Call(6, {1});
  for (float sweep : {1e30f, std::numeric_limits<float>::quiet_NaN()}) {
    Args({4, 4, -1});
    SetGuestFloat(0x66, 10.0f);
    SetGuestFloat(0x6A, sweep);
    Call(61);
  }
}

TEST_F(CanvasTest, LayersMemoryBudgetRefusesWithoutHarm) {
  const uint64_t base = LayerMemoryInUse;
  EXPECT_EQ(base, 240u * 120u * 4u);
  LayerMemoryBudget = base + 64 * 1024;
  Call(73, {1, 100, 100, 0});
  EXPECT_EQ(Status(), 0);
  Call(5, {1});
  Call(44, {0, 0, 99, 99});
  Call(73, {2, 100, 100, 0});
  EXPECT_EQ(Status(), 2) << "beyond the budget";
  EXPECT_EQ(GetPixel(99, 99), 0x00FFFFFFu) << "the current layer is untouched";
  Call(73, {1, 120, 120, 0});
  EXPECT_EQ(Status(), 0) << "re-creating releases the old pixels first";
  Call(5, {0});
  Call(74, {1});
  EXPECT_EQ(LayerMemoryInUse, base);
}

TEST_F(CanvasTest, LayersSwitchBackToALostCurrentLayerKeepsItsNumber) {
  UseSmallLayer(30, 20);
  Call(73, {1, 0, 20, 0});  // layer 1 is current and now absent: drawing goes to the spare surface
  BeginLayerDraw(0);
  EXPECT_EQ(CurrentLayer, 0u);
  EndLayerDraw();
  EXPECT_EQ(CurrentLayer, 1u) << "a save or load on another layer leaves it current";
  EXPECT_EQ(ScreenSurface.width, kSpareSide);
  Call(44, {0, 0, 5, 5});
  Call(5, {0});
  EXPECT_EQ(GetPixel(0, 0), 0u) << "layer 0 was only borrowed";
  Call(73, {0, 0, 20, 0});
  EXPECT_EQ(GetPixel(0, 0), 0u) << "the spare surface starts black again";
}

}  // namespace
}  // namespace velmora
