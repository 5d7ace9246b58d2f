// Layers, clip and memory: creation and its refusals, the spare surface of a failed re-creation,
// the memory budget, selection, the temporary layer switch, release. The guest program
// tests/guest/graphics/services.c checks the status codes and the screen-size rules.
#include <algorithm>
#include <random>

#include "canvas_fixture.h"

namespace velmora {
namespace {

struct CreateCase {
  int32_t width, height;
  uint8_t reserved;
  uint8_t status;
  bool released;  // an existing layer of that number is gone afterwards
};

TEST_F(CanvasTest, LayersCreationRefusals) {
  const CreateCase cases[] = {
      {10009, 1, 0, 0, false}, {1, 10009, 0, 0, false}, {10010, 1, 0, 2, false},
      {1, 10010, 0, 2, false}, {32767, 5, 0, 2, false}, {5, 5, 1, 2, false},
      {0, 5, 0, 2, true},      {5, -1, 0, 2, true},     {-32768, -32768, 0, 2, true},
  };
  for (const CreateCase& c : cases) {
    Call(73, {7, 12, 8, 0});
    ASSERT_EQ(Status(), 0);
    SetGuestWord(0x60, 7);
    SetGuestWord(0x62, uint16_t(c.width));
    SetGuestWord(0x64, uint16_t(c.height));
    Machine.data[0x66] = c.reserved;
    Call(73);
    EXPECT_EQ(Status(), c.status) << c.width << "x" << c.height << " reserved " << int(c.reserved);
    Call(78, {7});
    const uint16_t width = Result16();
    if (c.status == 0) {
      EXPECT_EQ(width, c.width);
    } else if (c.released) {
      EXPECT_EQ(width, 0) << c.width << "x" << c.height;
    } else {
      EXPECT_EQ(width, 12) << c.width << "x" << c.height << ": refused before the release";
    }
  }
}

TEST_F(CanvasTest, LayersRecreatingTheCurrentLayerResizesTheScreen) {
  Call(73, {2, 64, 48, 0});
  Call(5, {2});
  Call(16, {5, 5, 10, 10});
  Call(73, {2, 80, 30, 0});
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(ScreenSize.width, 80);
  EXPECT_EQ(ScreenSize.height, 30);
  EXPECT_EQ(ClipRect.right, 79);
  EXPECT_EQ(ClipRect.bottom, 29);
  EXPECT_EQ(ClipRect.left, 0);
  EXPECT_EQ(GetPixel(79, 29), 0u) << "a new layer starts black";
}

TEST_F(CanvasTest, LayersFailedRecreationDrawsOnTheSpareSurface) {
  UseSmallLayer(30, 20);
  Call(16, {0, 0, 300, 300});  // clamped to the layer: 29 x 19
  Call(73, {1, 0, 20, 0});
  EXPECT_EQ(Status(), 2);
  Call(75, {1});
  EXPECT_EQ(GuestByte(0x60), 0);
  Call(76);
  EXPECT_EQ(Result16(), 1) << "the absent layer stays current";
  EXPECT_EQ(ScreenSurface.width, kSpareSide);
  EXPECT_EQ(ScreenSize.width, 240) << "the screen size is kept";
  Call(44, {0, 0, 500, 500});
  EXPECT_EQ(GetPixel(29, 19), kTestFill) << "drawing lands on the spare surface";
  EXPECT_EQ(GetPixel(30, 19), kNoPixel) << "under the clip it had";
  Call(17);  // the clip may now cover the whole spare surface
  Call(44, {0, 0, 500, 500});
  EXPECT_EQ(GetPixel(199, 199), kTestFill);
  EXPECT_EQ(GetPixel(200, 199), kNoPixel);
  Call(5, {0});
  EXPECT_EQ(GetPixel(0, 0), 0u) << "layer 0 was never drawn on";
  EXPECT_EQ(ScreenSurface.width, 240);
}

TEST_F(CanvasTest, LayersSwitchBackToALostCurrentLayerKeepsItsNumber) {
  UseSmallLayer(30, 20);
  Call(73, {1, 0, 20, 0});  // layer 1 is current and now absent: drawing goes to the spare surface
  BeginLayerDraw(0);
  EXPECT_EQ(CurrentLayer, 0u);
  EndLayerDraw();
  EXPECT_EQ(CurrentLayer, 1u)
      << "a save or load on another layer must not leave that layer current";
  EXPECT_EQ(ScreenSurface.width, kSpareSide);
  Call(44, {0, 0, 5, 5});
  Call(5, {0});
  EXPECT_EQ(GetPixel(0, 0), 0u) << "layer 0 was only borrowed";
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
  Call(75, {2});
  EXPECT_EQ(GuestByte(0x60), 0);
  EXPECT_EQ(GetPixel(99, 99), 0x00FFFFFFu) << "the current layer is untouched";
  Call(73, {3, 120, 120, 0});
  EXPECT_EQ(Status(), 2);
  Call(73, {1, 120, 120, 0});
  EXPECT_EQ(Status(), 0) << "re-creating releases the old bitmap first";
  Call(5, {0});
  Call(74, {1});
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(LayerMemoryInUse, base);
  // The default budget holds two of the largest layers: the third one is refused before any
  // allocation is tried.
  LayerMemoryBudget = kDefaultLayerMemoryBudget;
  EXPECT_LT(2 * uint64_t(kMaxLayerSide) * kMaxLayerSide * 4 + base, kDefaultLayerMemoryBudget);
  EXPECT_GT(3 * uint64_t(kMaxLayerSide) * kMaxLayerSide * 4, kDefaultLayerMemoryBudget);
}

TEST_F(CanvasTest, LayersSelectionKeepsOrResetsTheClip) {
  Call(73, {3, 50, 40, 0});
  Call(5, {3});
  Call(16, {10, 10, 20, 20});
  Call(5, {3});
  EXPECT_EQ(ClipRect.left, 10) << "selecting the current layer keeps the clip";
  Call(5, {9});
  EXPECT_EQ(HostError, 1u);
  EXPECT_EQ(CurrentLayer, 3u);
  Call(5, {0});
  EXPECT_EQ(ClipRect.right, 239) << "another layer gets a whole-layer clip";
  EXPECT_EQ(ScreenSize.width, 240);
}

TEST_F(CanvasTest, LayersTemporarySwitchRestoresLayerAndClip) {
  Call(73, {4, 30, 30, 0});
  Call(16, {100, 50, 200, 60});
  BeginLayerDraw(4);
  EXPECT_EQ(CurrentLayer, 4u);
  EXPECT_EQ(ClipRect.right, 29);
  BeginLayerDraw(0);  // one switch at a time
  EXPECT_EQ(CurrentLayer, 4u);
  PutPixel(5, 5, kTestMark);
  EndLayerDraw();
  EXPECT_EQ(CurrentLayer, 0u);
  EXPECT_EQ(ClipRect.left, 100);
  EXPECT_EQ(ClipRect.bottom, 60);
  EndLayerDraw();
  EXPECT_EQ(CurrentLayer, 0u);
  EXPECT_EQ(LayerTable[4].pixels[5 * 30 + 5], kTestMark);
}

// Every group 3 function with random arguments, also after the canvas is released: nothing
// crashes, nothing is drawn outside the clip.
TEST_F(CanvasTest, LayersRandomServiceCallsStayInsideTheClip) {
  std::mt19937 random(77);
  auto scramble = [&] {
    for (uint32_t a = 0x60; a < 0x80; ++a) Machine.data[a] = uint8_t(random());
  };
  const uint8_t layer_changers[] = {1,  5,  16, 17, 36, 37, 38, 39, 40, 41,
                                    66, 67, 68, 69, 70, 71, 73, 74, 77};
  auto changes_layers = [&](uint8_t f) {
    return std::find(std::begin(layer_changers), std::end(layer_changers), f) !=
           std::end(layer_changers);
  };
  UseSmallLayer(64, 48);
  FillInclusive({0, 0, 63, 47}, kTestMark);
  SetClip(10, 8, 40, 30);
  for (int round = 0; round < 3000; ++round) {
    const uint8_t function = uint8_t(random() % kGraphicsFunctions);
    if (changes_layers(function)) continue;
    scramble();
    // Keep pens mostly thin so that the loop stays quick; wide ones still come up.
    if ((function == 6 || function == 42) && random() % 8 != 0) SetGuestWord(0x60, random() % 12);
    Call(function);
  }
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      if (x < 10 || x > 40 || y < 8 || y > 30) {
        ASSERT_EQ(LayerTable[1].pixels[y * 64 + x], kTestMark) << x << "," << y;
      }
  DestroyCanvas();
  EXPECT_EQ(LayerMemoryInUse, 0u);
  for (int round = 0; round < 2000; ++round) {
    scramble();
    const uint8_t function = uint8_t(random() % kGraphicsFunctions);
    if (function < 36 || function > 41) Call(function);  // text has tests of its own
  }
  Call(15, {0, 0});
  EXPECT_EQ(Result32(), kNoPixel);
  // No layer can be made once the window is gone: the last picture stays what it was.
  Call(73, {0, 20, 20, 0});
  EXPECT_EQ(Status(), 2);
  EXPECT_EQ(LayerMemoryInUse, 0u);
  Call(44, {0, 0, 5, 5});
  Call(15, {0, 0});
  EXPECT_EQ(Result32(), kNoPixel);
}

}  // namespace
}  // namespace velmora
