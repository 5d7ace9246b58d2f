#include "graphics/bmp.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "graphics/canvas.h"
#include "io/file_layer.h"
#include "platform/platform.h"
#include "services/status.h"

namespace velmora {

namespace {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kAcceptedHeaderSizes[] = {12, 40, 52, 56, 108, 124};

// Pixel data is read, and rows are gathered for writing, through one buffer that lives for the
// whole run.
uint8_t PixelBuffer[kPixelBufferSize];

// A save writes its rows in pieces of about this size (a row is at most 30 028 bytes): a write
// that fails (a full disk, the sandbox's quota) then ends the save after one piece more, not
// after gathering ten megabytes of pixels that can never land.
constexpr uint32_t kSavePieceSize = 1u << 16;

// A little-endian field at `offset`; 0 when the file ended before its last byte.
uint32_t HeaderField(const uint8_t* bytes, uint32_t length, uint32_t offset, uint32_t width) {
  if (offset + width > length) return 0;
  uint32_t value = 0;
  for (uint32_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

void PutLittleEndian(uint8_t* at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) at[i] = uint8_t(value >> (8 * i));
}

bool AcceptedHeaderSize(uint32_t size) {
  for (uint32_t accepted : kAcceptedHeaderSizes) {
    if (size == accepted) return true;
  }
  return false;
}

// Opens the file and reads its header; on success the file is left open and positioned at the
// first pixel row, with the number of bytes behind that position in `data_bytes`.
ImageHeader OpenImage(const char* name, FileHandle* file, uint64_t* data_bytes) {
  ImageHeader header = {kImageCannotOpen, 0, 0, false, 0};
  *file = FileOpen(name, kOpenRead);
  if (*file == kInvalidHandle) return header;
  // The size bounds every read, so devices that never end and files that end early alike give
  // the codes their missing fields produce.
  const uint32_t file_size = FileSize(*file);
  uint8_t bytes[kBmpLargestHeaderSize] = {};
  const uint32_t length = file_size < kBmpLargestHeaderSize ? file_size : kBmpLargestHeaderSize;
  FileReadBlock(*file, length, bytes);
  header = ParseImageHeader(bytes, HostError == 0 ? length : 0);
  if (header.result == kImageOk) {
    const uint32_t data_start = kBmpFileHeaderSize + header.info_size;
    FileSeek(*file, int32_t(data_start));
    *data_bytes = file_size > data_start ? file_size - data_start : 0;
  }
  if (header.result != kImageOk || HostError != 0) {
    FileClose(*file);
    *file = kInvalidHandle;
  }
  return header;
}

// Draws the whole pixels among `length` bytes of pixel data that start `start` bytes into it;
// pieces begin at a row or at a pixel, and a pixel the data ends within is not drawn.
void DrawPixelPiece(const ImageHeader& header, int32_t x, int32_t y, uint64_t start,
                    const uint8_t* piece, uint64_t length) {
  const uint64_t row_bytes = ImageRowSize(header.width);
  const int64_t pixels_per_row = header.width;
  for (uint64_t at = 0; at < length;) {
    const uint64_t row = (start + at) / row_bytes, offset = (start + at) % row_bytes;
    const uint64_t in_row = std::min(row_bytes - offset, length - at);
    // A header may claim close to 2^31 rows: the sum is taken in 64 bits.
    const int64_t line =
        header.top_down ? int64_t(y) + int64_t(row) : int64_t(y) + header.height - 1 - int64_t(row);
    if (line >= DrawBounds.top && line <= DrawBounds.bottom) {
      // Columns of the image, relative to this piece's first pixel, that land inside the clip.
      const int64_t first_pixel = int64_t(offset / 3);
      const int64_t end_pixel = std::min<int64_t>(int64_t((offset + in_row) / 3), pixels_per_row);
      const int64_t from = std::max<int64_t>(first_pixel, int64_t(DrawBounds.left) - x);
      const int64_t to = std::min<int64_t>(end_pixel, int64_t(DrawBounds.right) + 1 - x);
      for (int64_t c = from; c < to; ++c) {
        const uint8_t* bgr = piece + at + uint64_t(c - first_pixel) * 3;
        PutPixel(int32_t(x + c), int32_t(line),
                 uint32_t(bgr[2]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[0]) << 16);
      }
    }
    at += in_row;
  }
}

}  // namespace

uint64_t ImageRowSize(int64_t width) {
  if (width <= 0) return 0;
  return (uint64_t(width) * 3 + 3) & ~uint64_t(3);
}

ImageHeader ParseImageHeader(const uint8_t* bytes, uint32_t length) {
  ImageHeader header = {kImageOk, 0, 0, false, 0};
  auto field = [&](uint32_t offset, uint32_t width) {
    return HeaderField(bytes, length, offset, width);
  };
  if (field(0, 2) != kBmpSignature) {
    header.result = kImageNotBmp;
    return header;
  }
  const uint32_t size = field(kBmpFileHeaderSize, 4);
  header.info_size = size;
  const uint32_t at = kBmpFileHeaderSize + 4;
  int64_t height = 0;
  uint32_t bits_per_pixel = 0;
  uint32_t compression = 0;  // a header without the field counts as uncompressed
  if (size == kCoreHeaderSize) {
    header.width = int32_t(field(at, 2));
    height = field(at + 2, 2);
    bits_per_pixel = field(at + 6, 2);
  } else if (size > kCoreHeaderSize) {
    header.width = int32_t(field(at, 4));
    height = int32_t(field(at + 4, 4));
    bits_per_pixel = field(at + 10, 2);
    if (size >= 40) compression = field(at + 12, 4);
  }
  if (height < 0) {
    header.top_down = true;
    height = -height;
    if (height > INT32_MAX) height = INT32_MAX;
  }
  header.height = int32_t(height);
  if (bits_per_pixel != 24) {
    header.result = kImageBadDepth;
  } else if (!AcceptedHeaderSize(size)) {
    header.result = kImageBadHeaderSize;
  } else if (compression != 0 && compression != 3) {
    header.result = kImageBadCompression;
  }
  return header;
}

void FormatImageHeader(uint8_t* header, int32_t width, int32_t height) {
  std::memset(header, 0, kBmpWrittenHeaderSize);
  const uint64_t pixel_bytes = ImageRowSize(width) * uint64_t(height > 0 ? height : 0);
  PutLittleEndian(header, kBmpSignature, 2);
  PutLittleEndian(header + 2, uint32_t(pixel_bytes + kBmpWrittenHeaderSize), 4);
  PutLittleEndian(header + 10, kBmpWrittenHeaderSize, 4);
  PutLittleEndian(header + 14, 40, 4);
  PutLittleEndian(header + 18, uint32_t(width), 4);
  PutLittleEndian(header + 22, uint32_t(height), 4);
  PutLittleEndian(header + 26, 1, 2);
  PutLittleEndian(header + 28, 24, 2);
}

ImageHeader ReadImageHeader(const char* name) {
  FileHandle file;
  uint64_t data_bytes = 0;
  const ImageHeader header = OpenImage(name, &file, &data_bytes);
  if (file != kInvalidHandle) FileClose(file);
  return header;
}

uint8_t LoadImagePixels(const char* name, int32_t x, int32_t y) {
  FileHandle file;
  uint64_t data_bytes = 0;
  const ImageHeader header = OpenImage(name, &file, &data_bytes);
  if (file == kInvalidHandle) return header.result;
  const uint64_t row_bytes = ImageRowSize(header.width);
  // What the header promises, cut to what the file holds; pixels without data stay as they were.
  const uint64_t total = std::min(row_bytes * uint64_t(header.height), data_bytes);
  // Pieces of whole rows, or of whole pixels of one row when a row is larger than the buffer,
  // so that no pixel is split between two pieces.
  const bool rows_fit = row_bytes <= kPixelBufferSize;
  const uint64_t piece_limit = rows_fit && row_bytes > 0 ? kPixelBufferSize / row_bytes * row_bytes
                                                         : kPixelBufferSize / 3 * 3;
  for (uint64_t done = 0; done < total;) {
    uint64_t piece = std::min(piece_limit, total - done);
    if (!rows_fit) piece = std::min(piece, row_bytes - done % row_bytes);
    FileReadBlock(file, uint32_t(piece), PixelBuffer);
    if (HostError != 0 || EndOfFileFlag) break;  // the file changed under us: keep what we drew
    DrawPixelPiece(header, x, y, done, PixelBuffer, piece);
    done += piece;
  }
  FileClose(file);
  return kImageOk;
}

uint8_t SaveImage(const char* name, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const FileHandle file = FileOpen(name, kOpenWriteAlways);
  if (file == kInvalidHandle) return kImageCannotOpen;
  // A side whose end lies before its start is 0 (an empty image), not a negative header field.
  const auto side = [](int32_t start, int32_t end) {
    return int32_t(std::clamp<int64_t>(int64_t(end) - start, 0, kMaxLayerSide));
  };
  const int32_t width = side(left, right), height = side(top, bottom);
  bool failed = false;
  uint8_t header[kBmpWrittenHeaderSize];
  FormatImageHeader(header, width, height);
  FileWriteBlock(file, kBmpWrittenHeaderSize, header);
  failed |= HostError != 0;

  const uint32_t row_bytes = uint32_t(ImageRowSize(width));
  uint32_t gathered = 0;
  // A write that failed (a full disk, the sandbox's quota) ends the save: nothing later would land.
  for (int32_t line = top + height - 1; line >= top && row_bytes > 0 && !failed; --line) {
    if (gathered > 0 && gathered + row_bytes > kSavePieceSize) {
      FileWriteBlock(file, gathered, PixelBuffer);
      failed |= HostError != 0;
      gathered = 0;
    }
    uint8_t* out = PixelBuffer + gathered;
    for (int32_t column = left; column < left + width; ++column) {
      const uint32_t colour = GetPixel(column, line);
      *out++ = uint8_t(colour >> 16);
      *out++ = uint8_t(colour >> 8);
      *out++ = uint8_t(colour);
    }
    std::memset(out, 0, PixelBuffer + gathered + row_bytes - out);
    gathered += row_bytes;
  }
  if (gathered > 0 && !failed) {
    FileWriteBlock(file, gathered, PixelBuffer);
    failed |= HostError != 0;
  }
  // Writing over a longer file must not leave its old tail behind the new image.
  PlatformTruncateFile(file);
  FileClose(file);
  return failed ? kImageWriteFailed : kImageOk;
}

}  // namespace velmora
