// A fresh canvas (240 × 120, black) and text state for the text drawing tests, with the guest's
// way in through the service gate.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/hostcall.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "graphics/text.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"

namespace velmora {

class TextDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMachine();
    InstallAllServices();
    CreateCanvas();
    SystemFontMode = 0;
    FontSlot = 0;
    BuiltinFont = 0;
    CharSpacing = 1;
  }
  void TearDown() override {
    ReleaseFontSlots();
    DestroyCanvas();
  }

  static void Service(uint8_t function) {
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = 3;
    ServiceCall();
  }

  // The whole current layer, row by row.
  static std::vector<uint32_t> Snapshot() {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < ScreenSurface.height; ++y)
      for (int32_t x = 0; x < ScreenSurface.width; ++x) pixels.push_back(GetPixel(x, y));
    return pixels;
  }

  // Clears the layer to `colour` (with a full clip) and returns the pixels after `draw`.
  template <typename Draw>
  static std::vector<uint32_t> Drawn(Draw draw, uint32_t colour = 0) {
    FillInclusive({0, 0, ScreenSurface.width - 1, ScreenSurface.height - 1}, colour);
    draw();
    return Snapshot();
  }

  struct Ink {
    int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // inclusive
    int count = 0;
  };
  // Where the pixels differ from `background`.
  static Ink InkOf(const std::vector<uint32_t>& pixels, uint32_t background = 0) {
    Ink ink;
    for (int32_t y = 0; y < ScreenSurface.height; ++y) {
      for (int32_t x = 0; x < ScreenSurface.width; ++x) {
        const uint32_t pixel = pixels[size_t(y) * ScreenSurface.width + x];
        if (pixel == background || pixel == kNoPixel) continue;  // kNoPixel: outside the clip
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
    }
    return ink;
  }
};

}  // namespace velmora
