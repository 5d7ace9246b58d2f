#include "graphics/canvas.h"

namespace velmora {

Layer LayerTable[kLayerCount];
uint32_t CurrentLayer = 0;
Size ScreenSize = {240, 120};
Rect ClipRect = {0, 0, 239, 119};
uint32_t PenColour = 0x00FFFFFF;
int32_t PenWidth = 1;
uint32_t FillColour = 0x00FFFFFF;
uint32_t BackgroundColour = 0;
uint32_t TextColour = 0x00FFFFFF;
DrawSurface ScreenSurface = {nullptr, 0, 0};

void CreateCanvas() {}
void DestroyCanvas() {}
void SetClip(int32_t, int32_t, int32_t, int32_t) {}
void ResetClip() {}
void CreateLayer(uint32_t, int32_t, int32_t, uint8_t) {}
void SelectLayer(uint32_t) {}
void BeginLayerDraw(uint32_t) {}
void EndLayerDraw() {}
void PutPixel(int32_t, int32_t, uint32_t) {}
uint32_t GetPixel(int32_t, int32_t) { return kNoPixel; }
void FillInclusive(Rect, uint32_t) {}

}  // namespace velmora
