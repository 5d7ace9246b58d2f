#include "graphics/bmp.h"

#include <climits>
#include <cstring>
#include <new>

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
// whole run. Should the host refuse the large one, a small one does the same work in more pieces.
uint8_t* PixelBuffer = nullptr;
uint32_t PixelBufferBytes = 0;
uint8_t FallbackPixelBuffer[65536];

void ObtainPixelBuffer() {
  if (PixelBuffer != nullptr) return;
  PixelBuffer = new (std::nothrow) uint8_t[kPixelBufferSize];
  PixelBufferBytes = kPixelBufferSize;
  if (PixelBuffer == nullptr) {
    PixelBuffer = FallbackPixelBuffer;
    PixelBufferBytes = sizeof FallbackPixelBuffer;
  }
}

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

// Walks the pixel data as it arrives in pieces of any size, keeping the bytes of a pixel that
// a piece boundary splits.
struct PixelStream {
  int64_t width;       // pixels a row
  int64_t rows;        // rows in the file
  uint64_t row_bytes;  // stored row, padding included
  int64_t x, y;        // where the image's top-left pixel goes
  bool top_down;
  int64_t row;          // file row of the next byte
  uint64_t row_offset;  // position of the next byte in its row
  uint8_t partial[3];
  int partial_count;
};

int64_t StreamLine(const PixelStream& stream) {
  return stream.top_down ? stream.y + stream.row : stream.y + stream.rows - 1 - stream.row;
}

void DrawStreamPixel(const PixelStream& stream, const uint8_t* bgr) {
  const int64_t column = stream.x + int64_t(stream.row_offset / 3);
  const int64_t line = StreamLine(stream);
  if (column < DrawBounds.left || column > DrawBounds.right || line < DrawBounds.top ||
      line > DrawBounds.bottom) {
    return;
  }
  PutPixel(int32_t(column), int32_t(line),
           uint32_t(bgr[2]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[0]) << 16);
}

void DrawPixelPiece(PixelStream& stream, const uint8_t* piece, uint64_t length) {
  const uint64_t pixel_bytes = uint64_t(stream.width) * 3;
  uint64_t at = 0;
  while (at < length) {
    if (stream.row_offset >= pixel_bytes) {
      // Padding at the end of the row.
      uint64_t skip = stream.row_bytes - stream.row_offset;
      if (skip > length - at) skip = length - at;
      at += skip;
      stream.row_offset += skip;
    } else if (stream.partial_count == 0 && length - at >= 3) {
      uint64_t whole = (pixel_bytes - stream.row_offset) / 3;
      if (whole > (length - at) / 3) whole = (length - at) / 3;
      const int64_t line = StreamLine(stream);
      if (line < DrawBounds.top || line > DrawBounds.bottom) {
        at += 3 * whole;  // a row outside the clip: nothing of it is drawn
        stream.row_offset += 3 * whole;
      } else {
        for (uint64_t i = 0; i < whole; ++i) {
          DrawStreamPixel(stream, piece + at);
          at += 3;
          stream.row_offset += 3;
        }
      }
    } else {
      stream.partial[stream.partial_count++] = piece[at++];
      if (stream.partial_count == 3) {
        stream.row_offset -= 2;  // the pixel starts where its first byte was
        DrawStreamPixel(stream, stream.partial);
        stream.row_offset += 3;
        stream.partial_count = 0;
      } else {
        stream.row_offset += 1;
      }
    }
    if (stream.row_offset == stream.row_bytes) {
      stream.row_offset = 0;
      ++stream.row;
    }
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
  PixelStream stream = {};
  stream.width = header.width;
  stream.rows = header.height;
  stream.row_bytes = ImageRowSize(header.width);
  stream.x = x;
  stream.y = y;
  stream.top_down = header.top_down;
  // What the header promises, cut to what the file holds; pixels without data stay as they were.
  uint64_t remaining = stream.row_bytes * uint64_t(stream.rows);
  if (remaining > data_bytes) remaining = data_bytes;
  ObtainPixelBuffer();
  while (remaining > 0) {
    const uint32_t piece = remaining < PixelBufferBytes ? uint32_t(remaining) : PixelBufferBytes;
    FileReadBlock(file, piece, PixelBuffer);
    if (HostError != 0 || EndOfFileFlag) break;  // the file changed under us: keep what we drew
    DrawPixelPiece(stream, PixelBuffer, piece);
    remaining -= piece;
  }
  FileClose(file);
  return kImageOk;
}

uint8_t SaveImage(const char* name, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const FileHandle file = FileOpen(name, kOpenWriteAlways);
  if (file == kInvalidHandle) return kImageCannotOpen;
  // An inverted rectangle is an empty image, not a header with a negative size.
  const int64_t wide = int64_t(right) - left;
  const int64_t high = int64_t(bottom) - top;
  const int32_t width = wide > 0 ? int32_t(wide < kMaxLayerSide + 1 ? wide : kMaxLayerSide + 1) : 0;
  const int32_t height =
      high > 0 ? int32_t(high < kMaxLayerSide + 1 ? high : kMaxLayerSide + 1) : 0;
  bool failed = false;
  uint8_t header[kBmpWrittenHeaderSize];
  FormatImageHeader(header, width, height);
  FileWriteBlock(file, kBmpWrittenHeaderSize, header);
  failed |= HostError != 0;

  ObtainPixelBuffer();
  const uint32_t row_bytes = uint32_t(ImageRowSize(width));
  uint32_t gathered = 0;
  for (int32_t line = top + height - 1; line >= top && row_bytes > 0; --line) {
    if (gathered + row_bytes > PixelBufferBytes) {
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
  if (gathered > 0) {
    FileWriteBlock(file, gathered, PixelBuffer);
    failed |= HostError != 0;
  }
  // Writing over a longer file must not leave its old tail behind the new image.
  PlatformTruncateFile(file);
  FileClose(file);
  return failed ? kImageWriteFailed : kImageOk;
}

}  // namespace velmora
