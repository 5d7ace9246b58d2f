#include "graphics/canvas.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "graphics/text.h"
#include "services/status.h"

namespace velmora {

Layer LayerTable[kLayerCount];
uint32_t CurrentLayer = 0;
Size ScreenSize = {kDefaultScreenWidth, kDefaultScreenHeight};
Rect ClipRect = {0, 0, kDefaultScreenWidth - 1, kDefaultScreenHeight - 1};
uint32_t PenColour = 0x00FFFFFF;
int32_t PenWidth = 1;
uint32_t FillColour = 0x00FFFFFF;
uint32_t BackgroundColour = 0;
uint32_t TextColour = 0x00FFFFFF;
Pen DrawPen = {0x00FFFFFF, 1};
Brush FillBrush = {0x00FFFFFF, false};
Brush BackgroundBrush = {0, false};
Point CurrentPosition = {0, 0};
bool ArcCounterClockwise = false;
uint64_t LayerMemoryInUse = 0;
uint64_t LayerMemoryBudget = kDefaultLayerMemoryBudget;
DrawSurface ScreenSurface = {nullptr, 0, 0};
Rect DrawBounds = {0, 0, -1, -1};

namespace {

// Drawn on while the current layer's bitmap is being replaced, and after a re-creation that failed.
uint32_t SpareBitmap[kSpareSide * kSpareSide];

// The record of a temporary switch: the guest's layer (−1: none) and its clip.
struct LayerSwitchRecord {
  int32_t layer;
  Rect clip;
};
LayerSwitchRecord LayerSwitch = {-1, {0, 0, 0, 0}};

void UpdateDrawBounds() {
  if (ScreenSurface.pixels == nullptr) {
    DrawBounds = {0, 0, -1, -1};
    return;
  }
  DrawBounds.left = std::max(ClipRect.left, 0);
  DrawBounds.top = std::max(ClipRect.top, 0);
  DrawBounds.right = std::min(ClipRect.right, ScreenSurface.width - 1);
  DrawBounds.bottom = std::min(ClipRect.bottom, ScreenSurface.height - 1);
}

void SelectSurface(uint32_t* pixels, int32_t width, int32_t height) {
  ScreenSurface = {pixels, width, height};
  UpdateDrawBounds();
}

// Black each time it is taken, as a new layer starts: what was drawn on it in an earlier spell
// (or by an earlier canvas) never shows.
void SelectSpare() {
  std::fill(std::begin(SpareBitmap), std::end(SpareBitmap), 0u);
  SelectSurface(SpareBitmap, kSpareSide, kSpareSide);
}

uint64_t LayerBytes(int32_t width, int32_t height) {
  return uint64_t(width) * uint64_t(height) * sizeof(uint32_t);
}

void ReleaseLayer(Layer& layer) {
  if (layer.width > 0 && layer.height > 0)
    LayerMemoryInUse -= LayerBytes(layer.width, layer.height);
  delete[] layer.pixels;
  layer = {0, 0, nullptr};
}

// Every layer that exists holds memory, so the walk through the table ends with the last one.
void ReleaseAllLayers() {
  for (Layer& layer : LayerTable) {
    if (LayerMemoryInUse == 0) break;
    if (layer.pixels != nullptr || layer.width != 0) ReleaseLayer(layer);
  }
  LayerMemoryInUse = 0;
}

}  // namespace

bool LayerExists(uint32_t layer) {
  return layer < uint32_t(kLayerCount) && LayerTable[layer].width > 0;
}

void SetClip(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int32_t width = ScreenSurface.width, height = ScreenSurface.height;
  if (width <= 0 || height <= 0) {
    ClipRect = {0, 0, -1, -1};
    UpdateDrawBounds();
    return;
  }
  x1 = std::clamp(x1, 0, width - 1);
  x2 = std::clamp(x2, 0, width - 1);
  y1 = std::clamp(y1, 0, height - 1);
  y2 = std::clamp(y2, 0, height - 1);
  ClipRect = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  UpdateDrawBounds();
}

void ResetClip() {
  SetClip(0, 0, ScreenSurface.width - 1, ScreenSurface.height - 1);
}

void CreateLayer(uint32_t layer, int32_t width, int32_t height, uint8_t reserved) {
  HostError = 0;
  if (layer >= uint32_t(kLayerCount) || width > kMaxLayerSide || height > kMaxLayerSide ||
      reserved != 0) {
    HostError = 2;
    return;
  }
  // After the canvas is released (the window is gone) no layer can be made: drawing on a new
  // one would outlive the picture the window last showed.
  if (ScreenSurface.pixels == nullptr) {
    HostError = 2;
    return;
  }
  const bool current = layer == CurrentLayer;
  if (current) SelectSpare();
  Layer& entry = LayerTable[layer];
  ReleaseLayer(entry);
  if (width <= 0 || height <= 0 ||
      LayerMemoryInUse + LayerBytes(width, height) > LayerMemoryBudget) {
    HostError = 2;
    return;
  }
  // New layers start black, so nothing of earlier host memory can show.
  uint32_t* pixels = new (std::nothrow) uint32_t[size_t(width) * size_t(height)]();
  if (pixels == nullptr) {
    HostError = 2;
    return;
  }
  entry = {int16_t(width), int16_t(height), pixels};
  LayerMemoryInUse += LayerBytes(width, height);
  if (current) {
    SelectSurface(pixels, width, height);
    ScreenSize = {width, height};
    ResetClip();
  }
}

void DeleteLayer(uint32_t layer) {
  HostError = 0;
  if (layer == CurrentLayer) {
    HostError = 2;
    return;
  }
  if (LayerExists(layer)) ReleaseLayer(LayerTable[layer]);
}

void SelectLayer(uint32_t layer) {
  HostError = 0;
  if (layer == CurrentLayer) return;
  if (!LayerExists(layer)) {
    HostError = 1;
    return;
  }
  CurrentLayer = layer;
  const Layer& entry = LayerTable[layer];
  SelectSurface(entry.pixels, entry.width, entry.height);
  ResetClip();
}

void BeginLayerDraw(uint32_t layer) {
  if (LayerSwitch.layer >= 0) return;
  LayerSwitch = {int32_t(CurrentLayer), ClipRect};
  SelectLayer(layer);
}

void EndLayerDraw() {
  if (LayerSwitch.layer < 0) return;
  const uint32_t recorded = uint32_t(LayerSwitch.layer);
  if (LayerExists(recorded)) {
    SelectLayer(recorded);
  } else if (recorded != CurrentLayer) {
    // The guest's current layer was lost to a failed re-creation: go back to drawing on the
    // spare surface under that layer's number rather than leave the borrowed layer current.
    CurrentLayer = recorded;
    SelectSpare();
    HostError = 0;
  }
  SetClip(LayerSwitch.clip.left, LayerSwitch.clip.top, LayerSwitch.clip.right,
          LayerSwitch.clip.bottom);
  LayerSwitch.layer = -1;
}

void ReplacePen() {
  if (PenWidth == 0) PenWidth = 1;
  if (PenWidth > 20000) PenWidth = 20000;
  DrawPen = {PenColour, PenWidth};
}

void FillInclusive(Rect rect, uint32_t colour) {
  const int32_t left = std::max(std::min(rect.left, rect.right), DrawBounds.left);
  const int32_t right = std::min(std::max(rect.left, rect.right), DrawBounds.right);
  const int32_t top = std::max(std::min(rect.top, rect.bottom), DrawBounds.top);
  const int32_t bottom = std::min(std::max(rect.top, rect.bottom), DrawBounds.bottom);
  if (left > right || top > bottom) return;
  for (int32_t y = top; y <= bottom; ++y) {
    uint32_t* row = ScreenSurface.pixels + size_t(y) * ScreenSurface.width;
    std::fill(row + left, row + right + 1, colour);
  }
}

void CreateCanvas() {
  ReleaseAllLayers();
  LayerSwitch = {-1, {0, 0, 0, 0}};
  PenColour = 0x00FFFFFF;
  PenWidth = 1;
  FillColour = 0x00FFFFFF;
  BackgroundColour = 0;
  TextColour = 0x00FFFFFF;
  CurrentLayer = 0;
  SelectSpare();
  CreateLayer(0, kDefaultScreenWidth, kDefaultScreenHeight, 0);
  ScreenSize = {kDefaultScreenWidth, kDefaultScreenHeight};
  FillBrush = {FillColour, false};
  BackgroundBrush = {BackgroundColour, false};
  ReplacePen();
  FillInclusive({0, 0, kDefaultScreenWidth - 1, kDefaultScreenHeight - 1}, BackgroundColour);
  CurrentPosition = {0, 0};
  ArcCounterClockwise = false;
  // The font slots are filled by the first system-font text (CreateFontSlots), so that a run
  // that never writes system-font text never starts the font machinery.
}

void DestroyCanvas() {
  ReleaseAllLayers();
  LayerSwitch = {-1, {0, 0, 0, 0}};
  SelectSurface(nullptr, 0, 0);
  // The fonts come last; the first system-font text after a new CreateCanvas makes them again.
  ReleaseFontSlots();
}

}  // namespace velmora
