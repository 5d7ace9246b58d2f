// The canvas: 65,536 layers of 32-bit colour references (0x00BBGGRR), one of them current and
// shown, a clip rectangle that every drawing operation obeys, pen, brushes and colours.
//
// For code that draws (text, images, the rasteriser): draw only through PutPixel, FillInclusive
// and the rows of DrawBounds below; they keep every write inside the clip and the surface. Change
// the clip only through SetClip/ResetClip (never write ClipRect directly) so that DrawBounds
// follows. To work on another layer, bracket the work with BeginLayerDraw/EndLayerDraw.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

constexpr int32_t kLayerCount = 65536;
constexpr int32_t kMaxLayerSide = 10009;
constexpr uint32_t kNoPixel = 0xFFFFFFFF;  // what reading a pixel outside the clip gives
constexpr int32_t kSpareSide = 200;        // the spare bitmap is kSpareSide × kSpareSide
// All layers together may hold at most this many bytes of pixels: a guest cannot make the host
// allocate without bound (two full 10009 × 10009 layers fit, a third does not).
constexpr uint64_t kDefaultLayerMemoryBudget = uint64_t(1) << 30;
constexpr uint32_t kDefaultScreenWidth = 240;
constexpr uint32_t kDefaultScreenHeight = 120;
static_assert(2 * 4 * uint64_t(kMaxLayerSide) * kMaxLayerSide +
                  4 * kDefaultScreenWidth * kDefaultScreenHeight <
              kDefaultLayerMemoryBudget);
static_assert(3 * 4 * uint64_t(kMaxLayerSide) * kMaxLayerSide > kDefaultLayerMemoryBudget);

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

struct Point {
  int32_t x, y;
};

// The pen lines and outlines are drawn with; re-made from PenColour and PenWidth by ReplacePen.
struct Pen {
  uint32_t colour;
  int32_t width;
};

// A brush paints the inside of shapes; a hollow one leaves it untouched.
struct Brush {
  uint32_t colour;
  bool hollow;
};
constexpr Brush HollowBrush = {0, true};

extern Layer LayerTable[kLayerCount];
extern uint32_t CurrentLayer;
extern Size ScreenSize;
extern Rect ClipRect;
extern uint32_t PenColour;
extern int32_t PenWidth;
extern uint32_t FillColour;
extern uint32_t BackgroundColour;
extern uint32_t TextColour;
extern Pen DrawPen;
extern Brush FillBrush;
extern Brush BackgroundBrush;
// The surface's current position (line services) and arc direction (false: clockwise).
extern Point CurrentPosition;
extern bool ArcCounterClockwise;
// Bytes of pixels held by all layers together, never above LayerMemoryBudget (a host setting,
// kDefaultLayerMemoryBudget unless changed).
extern uint64_t LayerMemoryInUse;
extern uint64_t LayerMemoryBudget;

// The surface all drawing goes to: the current layer's pixels, or the 200 × 200 spare bitmap
// while the current layer is absent after a failed re-creation. Empty (no pixels) before
// CreateCanvas and after DestroyCanvas, when drawing does nothing.
struct DrawSurface {
  uint32_t* pixels;
  int32_t width, height;
};
extern DrawSurface ScreenSurface;

// ClipRect cut to ScreenSurface: the pixels drawing may touch, inclusive. Empty (right < left)
// when there is no surface.
extern Rect DrawBounds;

// Creation and release with the window (headless: at start and at the end of the run).
// CreateCanvas also resets every colour, the pen, the clip, the current position and the arc
// direction to their start values, so it can begin a fresh canvas after DestroyCanvas.
void CreateCanvas();
void DestroyCanvas();

void SetClip(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void ResetClip();
// HostError 0 on success, 2 on any failure (including a size the host cannot afford, and any
// request after DestroyCanvas).
void CreateLayer(uint32_t layer, int32_t width, int32_t height, uint8_t reserved);
// HostError 0; 2 for the current layer (refused); 1 when the platform refused the release.
// Deleting an absent layer is a success.
void DeleteLayer(uint32_t layer);
// HostError 0, or 1 when the layer is absent.
void SelectLayer(uint32_t layer);
// A temporary switch to another layer and back to the guest's layer and clip; nests only once.
void BeginLayerDraw(uint32_t layer);
void EndLayerDraw();
// Re-makes DrawPen from PenWidth (0 stored as 1, above 20000 as 20000) and PenColour.
void ReplacePen();
bool LayerExists(uint32_t layer);

// Raster access under the clip: writes outside the clip or the surface are dropped, reads there
// give kNoPixel.
inline bool InsideDrawBounds(int32_t x, int32_t y) {
  return x >= DrawBounds.left && x <= DrawBounds.right && y >= DrawBounds.top &&
         y <= DrawBounds.bottom;
}
inline void PutPixel(int32_t x, int32_t y, uint32_t colour) {
  if (InsideDrawBounds(x, y))
    ScreenSurface.pixels[std::size_t(y) * ScreenSurface.width + x] = colour;
}
inline uint32_t GetPixel(int32_t x, int32_t y) {
  if (!InsideDrawBounds(x, y)) return kNoPixel;
  return ScreenSurface.pixels[std::size_t(y) * ScreenSurface.width + x];
}
// Fills the inclusive rectangle (corners in either order), clipped.
void FillInclusive(Rect rect, uint32_t colour);

}  // namespace velmora
