// The BMP reader on arbitrary bytes, through the guest's image services: the input is a file
// that 69 sizes, 68 draws into a small current layer under a clip, and 77 loads as a layer of its
// own under a small layer-memory budget; a layer that loaded is saved (66) and loaded again.
//
// After every input: the status is one of the image codes; pixels are decoded as the format
// says (checked against a decoding of the bytes written here, row order and clip included);
// nothing outside the clip or beyond the file's data changes; the guest's layer and clip come
// back; layer memory stays within the budget; no file is left open; a saved layer loads back
// pixel for pixel.
//
// The file header's four reserved bytes (6 to 9), which the reader passes over, choose where 68
// draws and the clip it draws under.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/hostcall.h"
#include "core/machine.h"
#include "fuzz_support.h"
#include "graphics/bmp.h"
#include "graphics/canvas.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora::fuzz {
namespace {

constexpr int32_t kLayerWidth = 64, kLayerHeight = 48;
constexpr uint32_t kImageLayer = 5, kCopyLayer = 6;
// Small enough that a large header meets it (an image of 128 × 128 fits beside the current
// layer, one of 100 × 200 does not) and that no input fills and checks more than a few thousand
// pixels.
constexpr uint64_t kBudget = 64u << 10;
constexpr uint16_t kNameAddress = 0x200, kOutNameAddress = 0x280;
constexpr uint16_t kWidthAddress = 0x300, kHeightAddress = 0x302;

std::string InputPath, OutputPath;

// One graphics service through the gate, as BREAK calls it.
void Call(uint8_t function, std::initializer_list<uint16_t> words) {
  uint32_t at = kArgumentAddress;
  for (uint16_t word : words) {
    SetGuestWord(at, word);
    at += 2;
  }
  Machine.data[kFunctionAddress] = function;
  Machine.data[kGroupAddress] = 3;
  ServiceCall();
}

uint8_t Status() {
  return Machine.data[kStatusAddress];
}

// What the current layer holds before 68 draws: a pattern no image pixel is likely to match.
uint32_t PatternPixels[kLayerWidth * kLayerHeight];

FUZZ_NO_COVERAGE void MakePattern() {
  for (int32_t py = 0; py < kLayerHeight; ++py) {
    for (int32_t px = 0; px < kLayerWidth; ++px) {
      PatternPixels[py * kLayerWidth + px] =
          (uint32_t(px) * 0x9E3779B1u ^ uint32_t(py) * 0x85EBCA77u) & 0x00FFFFFF;
    }
  }
}

// Every pixel of the current surface: where the image covers it inside `clip`, what the format
// says lies there (row 0 of the image the top row; as before where the file holds no whole
// pixel); everywhere else the pixel of `before`, or 0 when that is null.
FUZZ_NO_COVERAGE void CheckDrawn(const uint8_t* data, size_t size, const ImageHeader& header,
                                 int32_t x, int32_t y, const Rect& clip, const uint32_t* before) {
  const int32_t width = ScreenSurface.width, height = ScreenSurface.height;
  const int64_t left = std::max<int64_t>({0, x, clip.left});
  const int64_t right = std::min<int64_t>({width - 1, int64_t(x) + header.width - 1, clip.right});
  const int64_t top = std::max<int64_t>({0, y, clip.top});
  const int64_t bottom =
      std::min<int64_t>({height - 1, int64_t(y) + header.height - 1, clip.bottom});
  const uint64_t row_bytes = ImageRowSize(header.width);
  for (int32_t py = 0; py < height; ++py) {
    const uint32_t* got = ScreenSurface.pixels + size_t(py) * width;
    const bool image_row = py >= top && py <= bottom;
    const int64_t row = int64_t(py) - y;
    const int64_t stored_row = header.top_down ? row : header.height - 1 - row;
    const uint64_t row_start = kBmpFileHeaderSize + uint64_t(header.info_size) +
                               uint64_t(stored_row) * row_bytes - uint64_t(int64_t(x)) * 3;
    for (int32_t px = 0; px < width; ++px) {
      uint32_t want = before != nullptr ? before[size_t(py) * width + px] : 0;
      if (image_row && px >= left && px <= right) {
        const uint64_t offset = row_start + uint64_t(px) * 3;
        if (offset + 3 <= size) {
          want = uint32_t(data[offset + 2]) | uint32_t(data[offset + 1]) << 8 |
                 uint32_t(data[offset]) << 16;
        }
      }
      FUZZ_CHECK(got[px] == want, "pixel differs from the file's decoding");
    }
  }
}

}  // namespace
}  // namespace velmora::fuzz

using namespace velmora;
using namespace velmora::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InputPath = ScratchRoot() + "/image.bmp";
  OutputPath = ScratchRoot() + "/saved.bmp";
  MakePattern();
  InstallAllServices();
  CreateCanvas();
  LayerMemoryBudget = kBudget;
  CreateLayer(0, kLayerWidth, kLayerHeight, 0);
  FUZZ_CHECK(HostError == 0, "cannot make the current layer");
  ResetMachine();
  WriteGuestString(kNameAddress, InputPath);
  WriteGuestString(kOutNameAddress, OutputPath);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteWholeFile(InputPath, data, size);
  const int free_descriptor = LowestFreeDescriptor();
  const uint64_t memory_before = LayerMemoryInUse;
  const ImageHeader header =
      ParseImageHeader(data, uint32_t(std::min<size_t>(size, kBmpLargestHeaderSize)));

  // 69: the header's verdict and size.
  Call(69, {kNameAddress, kWidthAddress, kHeightAddress});
  FUZZ_CHECK(OneOf(Status(), {kImageOk, kImageNotBmp, kImageBadHeaderSize, kImageBadCompression,
                              kImageBadDepth}),
             "69: unknown status");
  FUZZ_CHECK(Status() == header.result, "69: another verdict than the header's");
  const bool ok = header.result == kImageOk;
  FUZZ_CHECK(GuestWord(kWidthAddress) == (ok ? uint16_t(header.width) : 0), "69: width");
  FUZZ_CHECK(GuestWord(kHeightAddress) == (ok ? uint16_t(header.height) : 0), "69: height");

  // 68 into the current layer at a place and under a clip the reserved bytes choose.
  const auto byte = [&](size_t i) { return i < size ? data[i] : uint8_t(0); };
  const int32_t x = int8_t(byte(6)) % 48, y = int8_t(byte(7)) % 40;
  const Rect clip = {byte(8) % kLayerWidth, byte(9) % kLayerHeight, kLayerWidth - 1 - byte(9) % 16,
                     kLayerHeight - 1 - byte(8) % 16};
  memcpy(ScreenSurface.pixels, PatternPixels, sizeof PatternPixels);
  SetClip(clip.left, clip.top, clip.right, clip.bottom);
  const Rect guest_clip = ClipRect;
  Call(68, {kNameAddress, uint16_t(x), uint16_t(y)});
  FUZZ_CHECK(Status() == header.result, "68: another verdict than the header's");
  CheckDrawn(data, size, ok ? header : ImageHeader{}, x, y, guest_clip, PatternPixels);

  // 77 into a layer of its own; the guest's layer and clip stay.
  Call(77, {kNameAddress, kImageLayer});
  FUZZ_CHECK(CurrentLayer == 0, "77: the current layer changed");
  FUZZ_CHECK(memcmp(&ClipRect, &guest_clip, sizeof ClipRect) == 0, "77: the clip changed");
  const bool fits = ok && header.width > 0 && header.height > 0 && header.width <= kMaxLayerSide &&
                    header.height <= kMaxLayerSide &&
                    uint64_t(header.width) * uint64_t(header.height) * 4 <= kBudget - memory_before;
  FUZZ_CHECK(Status() == (ok && !fits ? kImageNotBmp : header.result), "77: status");
  FUZZ_CHECK(LayerExists(kImageLayer) == (ok && fits), "77: layer made or not made wrongly");
  FUZZ_CHECK(LayerMemoryInUse <= LayerMemoryBudget, "layer memory beyond the budget");

  if (LayerExists(kImageLayer)) {
    FUZZ_CHECK(LayerTable[kImageLayer].width == header.width &&
                   LayerTable[kImageLayer].height == header.height,
               "77: layer size differs from the header");
    const Layer& layer = LayerTable[kImageLayer];
    BeginLayerDraw(kImageLayer);
    CheckDrawn(data, size, header, 0, 0, {0, 0, layer.width - 1, layer.height - 1}, nullptr);
    EndLayerDraw();

    // Saved and loaded again: the same pixels (small images only, to keep inputs fast).
    if (uint64_t(layer.width) * layer.height <= 4096) {
      Call(66, {kOutNameAddress, kImageLayer});
      FUZZ_CHECK(Status() == kImageOk, "66: save failed");
      Call(77, {kOutNameAddress, kCopyLayer});
      FUZZ_CHECK(Status() == kImageOk, "77: own file refused");
      const Layer& copy = LayerTable[kCopyLayer];
      FUZZ_CHECK(copy.width == layer.width && copy.height == layer.height &&
                     memcmp(copy.pixels, layer.pixels,
                            size_t(layer.width) * layer.height * sizeof(uint32_t)) == 0,
                 "a saved layer loads back different");
    }
    DeleteLayer(kImageLayer);
    DeleteLayer(kCopyLayer);
  }
  FUZZ_CHECK(LayerMemoryInUse == memory_before, "layer memory not given back");
  FUZZ_CHECK(LowestFreeDescriptor() == free_descriptor, "an image service left a file open");
  return 0;
}
