// A fresh canvas for the canvas and raster tests, with the guest's way in through the service
// gate and small pictures of the drawing surface.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/hostcall.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

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

}  // namespace velmora
