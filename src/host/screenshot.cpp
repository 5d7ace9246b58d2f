#include "host/screenshot.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "graphics/bmp.h"
#include "graphics/canvas.h"
#include "host/run.h"
#include "host/window.h"

namespace velmora {

namespace {

std::vector<uint32_t> KeptPicture;
int32_t KeptWidth = 0, KeptHeight = 0;

// The ScreenSize part of the surface, black where the surface is smaller.
void CapturePicture() {
  if (ScreenSurface.pixels == nullptr) return;  // already released: keep what was kept
  ShowBootReport();
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

// Writes the same picture as a 24-bit BMP file, in the form the guest's image services write.
bool WriteBmp(const char* path, const uint32_t* pixels, int32_t width, int32_t height) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  uint8_t header[kBmpWrittenHeaderSize];
  FormatImageHeader(header, width, height);
  bool written = fwrite(header, 1, sizeof header, file) == sizeof header;
  std::vector<uint8_t> row(ImageRowSize(width), 0);
  // Rows from the bottom up, each pixel blue, green, red.
  for (int32_t y = height - 1; y >= 0 && written; --y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = pixels[size_t(y) * width + x];
      row[3 * size_t(x)] = uint8_t(colour >> 16);
      row[3 * size_t(x) + 1] = uint8_t(colour >> 8);
      row[3 * size_t(x) + 2] = uint8_t(colour);
    }
    written = fwrite(row.data(), 1, row.size(), file) == row.size();
  }
  return (fclose(file) == 0) && written;
}

}  // namespace

bool ScreenshotFormatOf(const std::string& path, ScreenshotFormat* format) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = char(tolower(static_cast<unsigned char>(c)));
  if (extension == ".png") {
    *format = ScreenshotFormat::kPng;
  } else if (extension == ".bmp") {
    *format = ScreenshotFormat::kBmp;
  } else {
    return false;
  }
  return true;
}

bool ScreenshotWritable(const std::string& path, std::string* reason) {
  std::error_code error;
  const bool existed = std::filesystem::exists(path, error);
  FILE* file = fopen(path.c_str(), "ab");
  if (file == nullptr) {
    *reason = strerror(errno);
    return false;
  }
  fclose(file);
  if (!existed) std::remove(path.c_str());
  return true;
}

void ArmScreenshot() {
  BeforeCanvasRelease = CapturePicture;
}

bool SaveScreenshot(const std::string& path) {
  CapturePicture();
  if (KeptWidth <= 0 || KeptHeight <= 0) {
    fprintf(stderr, "velmora-run: no screenshot: nothing is shown\n");
    return false;
  }
  ScreenshotFormat format = ScreenshotFormat::kPng;
  ScreenshotFormatOf(path, &format);
  const bool written = format == ScreenshotFormat::kBmp
                           ? WriteBmp(path.c_str(), KeptPicture.data(), KeptWidth, KeptHeight)
                           : WritePng(path.c_str(), KeptPicture.data(), KeptWidth, KeptHeight);
  if (!written) {
    fprintf(stderr, "velmora-run: cannot write the screenshot to %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace velmora
