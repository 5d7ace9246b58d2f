// The canvas: 65,536 layers of 32-bit colour references (0x00BBGGRR), one of them current and
// shown, a clip rectangle that every drawing operation obeys, pen, brushes and colours.
#pragma once

#include <cstdint>

namespace velmora {

constexpr int32_t kLayerCount = 65536;
constexpr int32_t kMaxLayerSide = 10009;
constexpr uint32_t kNoPixel = 0xFFFFFFFF;  // what reading a pixel outside the clip gives

struct Layer {
  int16_t width;  // 0 or less: absent
  int16_t height;
  uint32_t* pixels;  // width × height, row by row from the top; owned by the entry
};

struct Size {
  int32_t width, height;
};

// Inclusive pixel coordinates.
struct Rect {
  int32_t left, top, right, bottom;
};

extern Layer LayerTable[kLayerCount];
extern uint32_t CurrentLayer;
extern Size ScreenSize;
extern Rect ClipRect;
extern uint32_t PenColour;
extern int32_t PenWidth;
extern uint32_t FillColour;
extern uint32_t BackgroundColour;
extern uint32_t TextColour;

// The surface all drawing goes to: the current layer's pixels, or the 200 × 200 spare bitmap
// while the current layer is absent after a failed re-creation.
struct DrawSurface {
  uint32_t* pixels;
  int32_t width, height;
};
extern DrawSurface ScreenSurface;

// Creation and release with the window (headless: at start and at the end of the run).
void CreateCanvas();
void DestroyCanvas();

void SetClip(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void ResetClip();
// HostError 0 on success, 2 on any failure.
void CreateLayer(uint32_t layer, int32_t width, int32_t height, uint8_t reserved);
// HostError 0, or 1 when the layer is absent.
void SelectLayer(uint32_t layer);
void BeginLayerDraw(uint32_t layer);
void EndLayerDraw();

// Raster access under the clip: writes outside the clip or the surface are dropped, reads there
// give kNoPixel.
void PutPixel(int32_t x, int32_t y, uint32_t colour);
uint32_t GetPixel(int32_t x, int32_t y);
// Fills the inclusive rectangle, clipped.
void FillInclusive(Rect rect, uint32_t colour);

}  // namespace velmora
