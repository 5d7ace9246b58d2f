// Group 3 functions 66-71 and 77: BMP files saved from and loaded into layers, block copies
// between layers, flood fill.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "graphics/bmp.h"
#include "graphics/canvas.h"
#include "graphics/graphics_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

namespace {

constexpr int32_t kBlockLimit = 10010;  // no block may reach beyond this in any direction
constexpr uint32_t kFloodColour = 0x00003232;

// A guest name as a host string: cut at its terminator, or at the end of the data space.
std::string GuestName(uint32_t address) {
  return std::string(GuestString(address));
}

int32_t ClampSide(int16_t value) {
  return std::clamp<int32_t>(value, 0, kMaxLayerSide);
}

// 66: the whole layer, whatever the guest's clip; the guest's layer and clip come back after.
void ServiceSaveLayer() {
  const std::string name = GuestName(GuestWord(kArgumentAddress));
  const uint16_t layer = GuestWord(kArgumentAddress + 2);
  HostError = 0;
  if (!LayerExists(layer)) {
    HostError = kImageCannotOpen;
    SetStatus(kImageCannotOpen);
    return;
  }
  BeginLayerDraw(layer);
  const int32_t width = LayerTable[layer].width, height = LayerTable[layer].height;
  SetClip(0, 0, width - 1, height - 1);
  const uint8_t result = SaveImage(name.c_str(), 0, 0, width, height);
  EndLayerDraw();
  SetStatus(result);
}

// 67: a region of the current layer under the clip; the top comes before the left.
void ServiceSaveRegion() {
  const std::string name = GuestName(GuestWord(kArgumentAddress));
  const int32_t top = ClampSide(GuestInt16(kArgumentAddress + 2));
  const int32_t left = ClampSide(GuestInt16(kArgumentAddress + 4));
  const int32_t right = ClampSide(GuestInt16(kArgumentAddress + 6));
  const int32_t bottom = ClampSide(GuestInt16(kArgumentAddress + 8));
  SetStatus(SaveImage(name.c_str(), left, top, right, bottom));
}

// 68: drawn at (x, y) of the current layer under the clip; parts beyond the layer are cut off.
void ServiceLoadImage() {
  const std::string name = GuestName(GuestWord(kArgumentAddress));
  const int32_t x = GuestInt16(kArgumentAddress + 2);
  const int32_t y = GuestInt16(kArgumentAddress + 4);
  SetStatus(LoadImagePixels(name.c_str(), x, y));
}

// 69: the height goes first, so that the width wins when both addresses are the same.
void ServiceImageSize() {
  const std::string name = GuestName(GuestWord(kArgumentAddress));
  const uint16_t width_address = GuestWord(kArgumentAddress + 2);
  const uint16_t height_address = GuestWord(kArgumentAddress + 4);
  const ImageHeader header = ReadImageHeader(name.c_str());
  const bool ok = header.result == kImageOk;
  SetStatus(header.result);
  SetGuestWord(height_address, ok ? uint16_t(header.height) : 0);
  SetGuestWord(width_address, ok ? uint16_t(header.width) : 0);
}

// 77: a layer of the image's own size; the guest's layer and clip come back after.
void ServiceLoadImageLayer() {
  const std::string name = GuestName(GuestWord(kArgumentAddress));
  const uint16_t layer = GuestWord(kArgumentAddress + 2);
  const ImageHeader header = ReadImageHeader(name.c_str());
  if (header.result != kImageOk) {
    SetStatus(header.result);
    return;
  }
  CreateLayer(layer, header.width, header.height, 0);
  if (HostError != 0) {
    ReportHostError();
    return;
  }
  BeginLayerDraw(layer);
  const uint8_t result = LoadImagePixels(name.c_str(), 0, 0);
  EndLayerDraw();
  SetStatus(result);
}

// 70: a plain copy from another layer into the current one under the clip. A negative width or
// height copies nothing; destination pixels whose source lies outside the source layer keep
// their colour.
void ServiceCopyBlock() {
  const uint16_t source_layer = GuestWord(kArgumentAddress);
  const int32_t source_x = ClampSide(GuestInt16(kArgumentAddress + 2));
  const int32_t source_y = ClampSide(GuestInt16(kArgumentAddress + 4));
  const int32_t target_x = ClampSide(GuestInt16(kArgumentAddress + 6));
  const int32_t target_y = ClampSide(GuestInt16(kArgumentAddress + 8));
  const int32_t width = GuestInt16(kArgumentAddress + 10);
  const int32_t height = GuestInt16(kArgumentAddress + 12);
  if (source_x + width > kBlockLimit || source_y + height > kBlockLimit ||
      target_x + width > kBlockLimit || target_y + height > kBlockLimit) {
    return;
  }
  if (source_layer == CurrentLayer || !LayerExists(source_layer)) return;
  const Layer& source = LayerTable[source_layer];
  // Block offsets (0..width-1, 0..height-1) that have both a source pixel and a drawable target.
  const int32_t first_column = std::max({0, -source_x, DrawBounds.left - target_x});
  const int32_t end_column =
      std::min({width, source.width - source_x, DrawBounds.right + 1 - target_x});
  const int32_t first_row = std::max({0, -source_y, DrawBounds.top - target_y});
  const int32_t end_row =
      std::min({height, source.height - source_y, DrawBounds.bottom + 1 - target_y});
  if (first_column >= end_column || first_row >= end_row) return;
  const size_t count = size_t(end_column - first_column);
  for (int32_t row = first_row; row < end_row; ++row) {
    const uint32_t* from =
        source.pixels + size_t(source_y + row) * source.width + size_t(source_x + first_column);
    uint32_t* to = ScreenSurface.pixels + size_t(target_y + row) * ScreenSurface.width +
                   size_t(target_x + first_column);
    std::memcpy(to, from, count * sizeof(uint32_t));
  }
}

// Flood fill over the pixels inside the clip: a scanline fill with a queue of seeds and a mark
// per pixel, so it ends whatever the fill colour and its memory is bounded by the clip's area.
// Taking the oldest seed first keeps the queue to the fill's advancing front; taking the newest
// lets stale seeds pile up to hundreds of megabytes on a large patterned layer. The clip's edge
// acts as a border.
struct FloodFill {
  Rect area;
  int32_t area_width;
  uint8_t* marks;  // one bit per pixel of the area: already filled
  bool fill_border_mode;
  struct Seed {
    uint16_t x, y;  // a surface is at most 10009 pixels a side
  };
  Seed* seeds;  // a ring of seed_capacity (a power of two) entries
  size_t seed_first, seed_count, seed_capacity;
};

inline bool Marked(const FloodFill& fill, int32_t x, int32_t y) {
  const size_t bit = size_t(y - fill.area.top) * fill.area_width + size_t(x - fill.area.left);
  return (fill.marks[bit >> 3] >> (bit & 7)) & 1;
}

void Mark(FloodFill& fill, int32_t x, int32_t y) {
  const size_t bit = size_t(y - fill.area.top) * fill.area_width + size_t(x - fill.area.left);
  fill.marks[bit >> 3] |= uint8_t(1 << (bit & 7));
}

// Mode 0 fills everything up to the border colour; mode 1 fills pixels of that colour. Only
// called inside the area, which lies inside the surface.
inline bool Fillable(const FloodFill& fill, int32_t x, int32_t y) {
  if (Marked(fill, x, y)) return false;
  const bool border =
      ScreenSurface.pixels[size_t(y) * ScreenSurface.width + size_t(x)] == kFloodColour;
  return fill.fill_border_mode != border;
}

bool PushSeed(FloodFill& fill, int32_t x, int32_t y) {
  if (fill.seed_count == fill.seed_capacity) {
    const size_t capacity = fill.seed_capacity * 2;
    FloodFill::Seed* grown = new (std::nothrow) FloodFill::Seed[capacity];
    if (grown == nullptr) return false;
    for (size_t i = 0; i < fill.seed_count; ++i) {
      grown[i] = fill.seeds[(fill.seed_first + i) & (fill.seed_capacity - 1)];
    }
    delete[] fill.seeds;
    fill.seeds = grown;
    fill.seed_first = 0;
    fill.seed_capacity = capacity;
  }
  fill.seeds[(fill.seed_first + fill.seed_count++) & (fill.seed_capacity - 1)] = {uint16_t(x),
                                                                                  uint16_t(y)};
  return true;
}

// Seeds one per run of fillable pixels in row y between left and right.
bool SeedRow(FloodFill& fill, int32_t left, int32_t right, int32_t y) {
  if (y < fill.area.top || y > fill.area.bottom) return true;
  bool in_run = false;
  for (int32_t x = left; x <= right; ++x) {
    const bool fillable = Fillable(fill, x, y);
    if (fillable && !in_run && !PushSeed(fill, x, y)) return false;
    in_run = fillable;
  }
  return true;
}

void RunFloodFill(FloodFill& fill) {
  while (fill.seed_count > 0) {
    const FloodFill::Seed seed = fill.seeds[fill.seed_first];
    fill.seed_first = (fill.seed_first + 1) & (fill.seed_capacity - 1);
    --fill.seed_count;
    if (!Fillable(fill, seed.x, seed.y)) continue;
    int32_t left = seed.x, right = seed.x;
    while (left > fill.area.left && Fillable(fill, left - 1, seed.y)) --left;
    while (right < fill.area.right && Fillable(fill, right + 1, seed.y)) ++right;
    for (int32_t x = left; x <= right; ++x) {
      PutPixel(x, seed.y, FillBrush.colour);
      Mark(fill, x, seed.y);
    }
    // Out of memory for seeds: the fill stops where it got to.
    if (!SeedRow(fill, left, right, seed.y - 1) || !SeedRow(fill, left, right, seed.y + 1)) {
      return;
    }
  }
}

// 71: mode 0 fills outward to the border colour, mode 1 (and above) fills the area of that
// colour; both paint with the fill colour.
void ServiceFloodFill() {
  const int32_t x = GuestInt16(kArgumentAddress);
  const int32_t y = GuestInt16(kArgumentAddress + 2);
  const bool fill_border_mode = GuestByte(kArgumentAddress + 4) == 0;
  if (!InsideDrawBounds(x, y)) return;
  // Filling the area of the fill colour with itself changes nothing.
  if (!fill_border_mode && FillBrush.colour == kFloodColour) return;
  FloodFill fill = {};
  fill.area = DrawBounds;
  fill.area_width = DrawBounds.right - DrawBounds.left + 1;
  fill.fill_border_mode = fill_border_mode;
  const size_t pixels = size_t(fill.area_width) * size_t(DrawBounds.bottom - DrawBounds.top + 1);
  fill.marks = new (std::nothrow) uint8_t[(pixels + 7) / 8]();
  fill.seed_capacity = 256;
  fill.seeds = new (std::nothrow) FloodFill::Seed[fill.seed_capacity];
  if (fill.marks != nullptr && fill.seeds != nullptr && PushSeed(fill, x, y)) RunFloodFill(fill);
  delete[] fill.seeds;
  delete[] fill.marks;
}

const ServiceRow kImageServices[] = {
    {3, 66, ServiceSaveLayer, "save layer"},
    {3, 67, ServiceSaveRegion, "save region"},
    {3, 68, ServiceLoadImage, "load image"},
    {3, 69, ServiceImageSize, "image size"},
    {3, 70, ServiceCopyBlock, "copy block"},
    {3, 71, ServiceFloodFill, "flood fill"},
    {3, 77, ServiceLoadImageLayer, "load image layer"},
};

}  // namespace

std::span<const ServiceRow> ImageServiceRows() {
  return kImageServices;
}

}  // namespace velmora
