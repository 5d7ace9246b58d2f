// The BMP reader and writer on real files, for what the image guests (tests/guest/images) cannot
// provoke: a full disk, rows longer than the pixel buffer, and the screen size after loading into
// the current layer. Files cut short or promising more than they hold are the BMP fuzz target's
// (tests/fuzz), which checks every pixel a file draws and that nothing else changes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/bmp.h"
#include "graphics/canvas.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"
#include "unit_support.h"

namespace velmora {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kUntouched = 0x00ABCDEF;

void Put(Bytes& out, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The file header and a 40-byte info header of an uncompressed 24-bit picture.
Bytes Header(int32_t width, int32_t height) {
  Bytes out = {'B', 'M'};
  for (uint32_t value : {0u, 0u, 54u, 40u, uint32_t(width), uint32_t(height)}) Put(out, value, 4);
  Put(out, 1, 2);
  Put(out, 24, 2);
  out.resize(54);
  return out;
}

class ImagesBmp : public ::testing::Test {
 protected:
  void SetUp() override { CreateCanvas(); }
  void TearDown() override { DestroyCanvas(); }
  std::string Path(const std::string& name) const { return scratch_.path + "/" + name; }
  static std::string DataPath(const std::string& name) {
    return std::string(VELMORA_TEST_DATA_DIR) + "/images/" + name;
  }
  void Store(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // Makes `layer` current with every pixel kUntouched.
  static void FreshLayer(uint32_t layer, int32_t width, int32_t height) {
    CreateLayer(layer, width, height, 0);
    ASSERT_EQ(HostError, 0u);
    SelectLayer(layer);
    FillInclusive({0, 0, width - 1, height - 1}, kUntouched);
  }

  ScratchDir scratch_;
};

// A write failure after the file was created is reported, not hidden behind success.
TEST_F(ImagesBmp, SaveReportsAFullDisk) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  FreshLayer(1, 3, 2);
  EXPECT_EQ(SaveImage("/dev/full", 0, 0, 3, 2), kImageWriteFailed);
}

// A row larger than the pixel buffer arrives in several pieces; the pixels on both sides of a
// piece boundary land in their places.
TEST_F(ImagesBmp, PixelSplitByThePieceBoundaryIsDrawnWhole) {
  const int32_t width = 3400000;
  Bytes bytes = Header(width, 1);
  const size_t start = bytes.size();
  bytes.resize(start + ImageRowSize(width));
  for (size_t i = 0; i < size_t(width) * 3; ++i) bytes[start + i] = uint8_t(i * 7 + i / 251);
  Store("wide.bmp", bytes);
  const int32_t first = int32_t(kPixelBufferSize / 3) - 3;  // the boundary is after the third
  FreshLayer(1, 8, 1);
  ASSERT_EQ(LoadImagePixels(Path("wide.bmp").c_str(), -first, 0), kImageOk);
  for (int x = 0; x < 8; ++x) {
    const uint8_t* bgr = &bytes[start + size_t(first + x) * 3];
    EXPECT_EQ(GetPixel(x, 0), uint32_t(bgr[2] | bgr[1] << 8 | bgr[0] << 16)) << x;
  }
}

// Function 77 gives the screen the image's size only when it loads into the current layer.
TEST_F(ImagesBmp, LoadAsLayerSizesTheScreenOnlyForTheCurrentLayer) {
  InstallAllServices();
  const std::string name = DataPath("info40.bmp");
  std::memcpy(Machine.data + 0x300, name.c_str(), name.size() + 1);
  auto load_as_layer = [](uint16_t layer) {
    SetGuestWord(kArgumentAddress, 0x300);
    SetGuestWord(kArgumentAddress + 2, layer);
    CallService(3, 77);
    return Machine.data[kStatusAddress];
  };
  EXPECT_EQ(load_as_layer(5), 0);
  EXPECT_EQ(ScreenSize.width, 240);

  EXPECT_EQ(load_as_layer(0), 0);
  EXPECT_EQ(CurrentLayer, 0u);
  EXPECT_EQ(ScreenSize.width, 5);
  EXPECT_EQ(ScreenSize.height, 3);
}

}  // namespace
}  // namespace velmora
