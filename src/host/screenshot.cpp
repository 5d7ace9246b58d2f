#include "host/screenshot.h"

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

// PNG's checksums: CRC-32 over each chunk, Adler-32 over the zlib stream.
uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t count) {
  static uint32_t table[256];
  if (table[1] == 0) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  crc = ~crc;
  for (size_t i = 0; i < count; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(uint8_t(value >> shift));
}

void PutChunk(std::vector<uint8_t>* out, const char* kind, const std::vector<uint8_t>& body) {
  PutBigEndian(out, uint32_t(body.size()));
  const size_t start = out->size();
  out->insert(out->end(), kind, kind + 4);
  out->insert(out->end(), body.begin(), body.end());
  PutBigEndian(out, Crc32(0, out->data() + start, out->size() - start));
}

// Writes width × height colour references (0x00BBGGRR, row by row) as an 8-bit RGB PNG. The
// image data is a zlib stream of stored (uncompressed) deflate blocks: no compression library,
// the same file on every platform.
bool WritePng(const char* path, const uint32_t* pixels, int32_t width, int32_t height) {
  std::vector<uint8_t> raw;
  raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
  for (int32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = pixels[size_t(y) * width + x];
      raw.push_back(uint8_t(colour));
      raw.push_back(uint8_t(colour >> 8));
      raw.push_back(uint8_t(colour >> 16));
    }
  }
  std::vector<uint8_t> stream = {0x78, 0x01};
  constexpr size_t kStoredBlock = 65535;
  size_t at = 0;
  do {
    const size_t length = std::min(kStoredBlock, raw.size() - at);
    stream.push_back(at + length == raw.size() ? 1 : 0);  // last block?
    stream.push_back(uint8_t(length));
    stream.push_back(uint8_t(length >> 8));
    stream.push_back(uint8_t(~length));
    stream.push_back(uint8_t(~length >> 8));
    stream.insert(stream.end(), raw.begin() + ptrdiff_t(at), raw.begin() + ptrdiff_t(at + length));
    at += length;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (const uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(&stream, b << 16 | a);

  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(&header, uint32_t(width));
  PutBigEndian(&header, uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  PutChunk(&file, "IHDR", header);
  PutChunk(&file, "IDAT", stream);
  PutChunk(&file, "IEND", {});
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
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
