// BMP image files: the 24-bit writer and the reader of the accepted headers. Files go through the
// file layer; pixels are drawn on and read from the current layer under the clip.
#pragma once

#include <cstdint>

namespace velmora {

// Result codes of the image operations, as the status byte reports them. There is no code 4.
enum ImageResult : uint8_t {
  kImageOk = 0,
  kImageCannotOpen = 1,  // file cannot be opened or created; function 66: layer absent
  kImageNotBmp = 2,      // first two bytes are not "BM"; function 77: layer cannot be created
  kImageBadHeaderSize = 3,
  kImageBadCompression = 5,
  kImageBadDepth = 6,
  kImageWriteFailed = 8,  // a write after a successful open failed (the file layer's write code)
};

constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpWrittenHeaderSize = 54;
constexpr uint32_t kBmpLargestHeaderSize = kBmpFileHeaderSize + 124;
constexpr uint32_t kPixelBufferSize = 10000000;

struct ImageHeader {
  uint8_t result;  // ImageResult
  int32_t width;   // as stored
  int32_t
      height;  // number of rows: the stored height's magnitude (top-down files store it negative)
  bool top_down;       // rows stored from the top row down
  uint32_t info_size;  // the info header's size field; pixel rows start at 14 + info_size
};

// Reads a header from the first `length` bytes of a file. Fields that lie wholly or partly beyond
// `length` were not in the file and count as 0. The checks run in the order 2, 6, 3, 5.
ImageHeader ParseImageHeader(const uint8_t* bytes, uint32_t length);

// Bytes of one stored row: three per pixel, padded with zeros to a multiple of 4; 0 for widths of
// 0 or less.
uint64_t ImageRowSize(int64_t width);

// The 54-byte header this system writes for a width × height image.
void FormatImageHeader(uint8_t* header, int32_t width, int32_t height);

ImageHeader ReadImageHeader(const char* name);
// Draws the image with its top-left pixel at (x, y) of the current layer, under the clip. Pixels
// the file has no data for are left as they were.
uint8_t LoadImagePixels(const char* name, int32_t x, int32_t y);
// Writes the current layer's pixels from (left, top) to (right, bottom), right and bottom
// exclusive, and cuts the file after them. Pixels outside the clip or the layer are written white.
uint8_t SaveImage(const char* name, int32_t left, int32_t top, int32_t right, int32_t bottom);

}  // namespace velmora
