#include "host/screenshot.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "graphics/canvas.h"

namespace velmora {

namespace {

std::vector<uint32_t> KeptPicture;
int32_t KeptWidth = 0, KeptHeight = 0;

// The ScreenSize part of the surface, black where the surface is smaller.
void CapturePicture() {
  if (ScreenSurface.pixels == nullptr) return;  // already released: keep what was kept
  KeptWidth = std::max(ScreenSize.width, 0);
  KeptHeight = std::max(ScreenSize.height, 0);
  KeptPicture.assign(size_t(KeptWidth) * size_t(KeptHeight), 0);
  const int32_t width = std::min(KeptWidth, ScreenSurface.width);
  const int32_t height = std::min(KeptHeight, ScreenSurface.height);
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* row = ScreenSurface.pixels + size_t(y) * ScreenSurface.width;
    std::copy(row, row + width, KeptPicture.begin() + size_t(y) * KeptWidth);
  }
}

// Writes width × height colour references (0x00BBGGRR, row by row) as an RGB PNG.
bool WritePng(const char* path, const uint32_t* pixels, int32_t width, int32_t height) {
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = pixels[size_t(y) * width + x];
      uint8_t* out = &rgb[(size_t(y) * width + x) * 3];
      out[0] = uint8_t(colour);
      out[1] = uint8_t(colour >> 8);
      out[2] = uint8_t(colour >> 16);
    }
  }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGB;
  const bool written = png_image_write_to_file(&image, path, 0, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return written;
}

}  // namespace

void ArmScreenshot() {
  CanvasReleaseHook = CapturePicture;
}

bool SaveScreenshot(const char* path) {
  CapturePicture();
  if (KeptWidth <= 0 || KeptHeight <= 0) {
    fprintf(stderr, "velmora-run: no screenshot: nothing is shown\n");
    return false;
  }
  if (!WritePng(path, KeptPicture.data(), KeptWidth, KeptHeight)) {
    fprintf(stderr, "velmora-run: cannot write the screenshot to %s\n", path);
    return false;
  }
  return true;
}

}  // namespace velmora
