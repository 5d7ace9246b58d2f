// A fresh canvas for the canvas and raster tests, with the guest's way in through the service
// gate and small pictures of the current layer to compare cell by cell.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
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

constexpr uint32_t kTestPen = 0x00C0FFEE & 0x00FFFFFF;
constexpr uint32_t kTestFill = 0x00123456;
constexpr uint32_t kTestMark = 0x00ABCDEF;

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

  // Group 3 function `function` with 16-bit arguments from 0x60.
  static void Call(uint8_t function, std::initializer_list<int32_t> words = {}) {
    uint32_t address = kArgumentAddress;
    for (int32_t word : words) {
      SetGuestWord(address, uint16_t(word));
      address += 2;
    }
    Machine.data[kFunctionAddress] = function;
    Machine.data[kGroupAddress] = 3;
    ServiceCall();
  }
  static void CallColour(uint8_t function, uint32_t colour) {
    SetGuestDword(kArgumentAddress, colour);
    Call(function);
  }
  static uint32_t Result32() { return GuestDword(kArgumentAddress); }
  static uint16_t Result16() { return GuestWord(kArgumentAddress); }
  static uint8_t Status() { return Machine.data[kStatusAddress]; }

  // A small layer, current, cleared to black, pen kTestPen, fill kTestFill.
  static void UseSmallLayer(int32_t width, int32_t height) {
    Call(73, {1, width, height, 0});
    Call(5, {1});
    FillInclusive({0, 0, width - 1, height - 1}, 0);
    CallColour(8, kTestPen);
    CallColour(45, kTestFill);
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
