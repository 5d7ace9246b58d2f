// What the guest programs in tests/guest/graphics cannot reach: the memory budget of all layers,
// a layer switch for image work while the current layer is lost, and random calls of every
// canvas service before and after the canvas is released.
#include <algorithm>
#include <random>

#include "canvas_fixture.h"

namespace velmora {
namespace {

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
  // The default budget holds two of the largest layers: a third is refused before allocating.
  EXPECT_LT(2 * uint64_t(kMaxLayerSide) * kMaxLayerSide * 4 + base, kDefaultLayerMemoryBudget);
  EXPECT_GT(3 * uint64_t(kMaxLayerSide) * kMaxLayerSide * 4, kDefaultLayerMemoryBudget);
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
}

// Nothing crashes, nothing is drawn outside the clip, nothing is made after the release.
TEST_F(CanvasTest, LayersRandomServiceCallsStayInsideTheClip) {
  std::mt19937 random(77);
  auto scramble = [&] {
    for (uint32_t a = 0x60; a < 0x80; ++a) Machine.data[a] = uint8_t(random());
  };
  const uint8_t layer_changers[] = {1,  5,  16, 17, 36, 37, 38, 39, 40, 41,
                                    66, 67, 68, 69, 70, 71, 73, 74, 77};
  UseSmallLayer(64, 48);
  FillInclusive({0, 0, 63, 47}, kTestMark);
  SetClip(10, 8, 40, 30);
  for (int round = 0; round < 3000; ++round) {
    const uint8_t function = uint8_t(random() % kGraphicsFunctions);
    if (std::count(std::begin(layer_changers), std::end(layer_changers), function)) continue;
    scramble();
    // Mostly thin pens, so that the loop stays quick; wide ones still come up.
    if ((function == 6 || function == 42) && random() % 8 != 0) SetGuestWord(0x60, random() % 12);
    Call(function);
  }
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      ASSERT_TRUE((x >= 10 && x <= 40 && y >= 8 && y <= 30) ||
                  LayerTable[1].pixels[y * 64 + x] == kTestMark)
          << x << "," << y;
  DestroyCanvas();
  EXPECT_EQ(LayerMemoryInUse, 0u);
  for (int round = 0; round < 2000; ++round) {
    scramble();
    const uint8_t function = uint8_t(random() % kGraphicsFunctions);
    if (function < 36 || function > 41) Call(function);  // text has tests of its own
  }
  Call(73, {0, 20, 20, 0});
  EXPECT_EQ(Status(), 2);
  EXPECT_EQ(LayerMemoryInUse, 0u);
  Call(15, {0, 0});
  EXPECT_EQ(GuestDword(0x60), kNoPixel);
}

}  // namespace
}  // namespace velmora
