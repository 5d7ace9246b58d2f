// Group 3 services that manage the canvas: screen size, layers, clip, pen, brushes, colours.
#include <algorithm>

#include "graphics/canvas.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

namespace {

constexpr uint32_t kArg = kArgumentAddress;
constexpr uint32_t kColourMask = 0x00FFFFFF;

// A colour given as three bytes red, green, blue at consecutive addresses.
uint32_t GuestRgb(uint32_t address) {
  return uint32_t(GuestByte(address)) | uint32_t(GuestByte(address + 1)) << 8 |
         uint32_t(GuestByte(address + 2)) << 16;
}

// Function 1: the shown part is at least 20 × 20 and never larger than the current layer.
void ServiceSetScreenSize() {
  const Layer& layer = LayerTable[CurrentLayer];
  ScreenSize.width = std::min<int32_t>(std::max<int32_t>(GuestInt16(kArg), 20), layer.width);
  ScreenSize.height = std::min<int32_t>(std::max<int32_t>(GuestInt16(kArg + 2), 20), layer.height);
  PlatformFitWindow(ScreenSize.width, ScreenSize.height);
  ResetClip();
}

void ServiceRepaint() {
  PlatformRequestRepaint();
}

// The shown part, right and bottom exclusive.
void FillScreen(uint32_t colour) {
  if (ScreenSize.width <= 0 || ScreenSize.height <= 0) return;
  FillInclusive({0, 0, ScreenSize.width - 1, ScreenSize.height - 1}, colour);
}
void ServiceClearToFill() {
  FillScreen(FillBrush.colour);
}
void ServiceClearToBackground() {
  FillScreen(BackgroundBrush.colour);
}

void ServiceSelectLayer() {
  SelectLayer(GuestWord(kArg));
}

void SetPenWidth(int16_t width) {
  PenWidth = width;
  ReplacePen();
}
void ServiceSetPenWidth() {
  SetPenWidth(GuestInt16(kArg));
}
void ServiceGetPenWidth() {
  SetGuestWord(kArg, uint16_t(PenWidth));
}

void SetPenColour(uint32_t colour) {
  PenColour = colour & kColourMask;
  ReplacePen();
}
void ServiceSetPenColour() {
  SetPenColour(GuestDword(kArg));
}
void ServiceSetPenRgb() {
  SetPenColour(GuestRgb(kArg));
}
void ServiceGetPenColour() {
  SetGuestDword(kArg, PenColour);
}

void ServiceSetPen() {
  PenColour = GuestDword(kArg + 2) & kColourMask;
  SetPenWidth(GuestInt16(kArg));
}

void SetBackgroundColour(uint32_t colour) {
  BackgroundColour = colour & kColourMask;
  BackgroundBrush = {BackgroundColour, false};
}
void ServiceSetBackgroundColour() {
  SetBackgroundColour(GuestDword(kArg));
}
void ServiceSetBackgroundRgb() {
  SetBackgroundColour(GuestRgb(kArg));
}
void ServiceGetBackgroundColour() {
  SetGuestDword(kArg, BackgroundColour);
}

void ServiceSetClip() {
  SetClip(GuestInt16(kArg), GuestInt16(kArg + 2), GuestInt16(kArg + 4), GuestInt16(kArg + 6));
}
void ServiceResetClip() {
  ResetClip();
}
void ServiceInsideClip() {
  const int32_t x = GuestInt16(kArg), y = GuestInt16(kArg + 2);
  const bool inside =
      x >= ClipRect.left && x <= ClipRect.right && y >= ClipRect.top && y <= ClipRect.bottom;
  SetGuestByte(kArg, inside ? 1 : 0);
}

void SetFillColour(uint32_t colour) {
  FillColour = colour & kColourMask;
  FillBrush = {FillColour, false};
}
void ServiceSetFillColour() {
  SetFillColour(GuestDword(kArg));
}
void ServiceSetFillRgb() {
  SetFillColour(GuestRgb(kArg));
}
void ServiceGetFillColour() {
  SetGuestDword(kArg, FillColour);
}

void ServiceSetTextColour() {
  TextColour = GuestDword(kArg) & kColourMask;
}
void ServiceSetTextRgb() {
  TextColour = GuestRgb(kArg);
}
void ServiceGetTextColour() {
  SetGuestDword(kArg, TextColour);
}

// Function 56: weight 0 is all the first colour, 255 all the second.
void ServiceBlend() {
  const uint8_t weight = GuestByte(kArg);
  const uint32_t first = GuestDword(kArg + 1), second = GuestDword(kArg + 5);
  uint32_t result;
  if (weight == 0) {
    result = first;
  } else if (weight == 255) {
    result = second;
  } else {
    result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int32_t p = int32_t(first >> shift & 0xFF), q = int32_t(second >> shift & 0xFF);
      const int32_t channel = q + (p - q) * (255 - weight) / 255;
      result |= uint32_t(channel) << shift;
    }
  }
  SetGuestDword(kArg, result);
}

void ServiceCreateLayer() {
  CreateLayer(GuestWord(kArg), GuestInt16(kArg + 2), GuestInt16(kArg + 4), GuestByte(kArg + 6));
  ReportHostError();
}
void ServiceDeleteLayer() {
  DeleteLayer(GuestWord(kArg));
  ReportHostError();
}
void ServiceLayerExists() {
  SetGuestByte(kArg, LayerExists(GuestWord(kArg)) ? 1 : 0);
  ReportHostError();
}
void ServiceGetCurrentLayer() {
  SetGuestWord(kArg, uint16_t(CurrentLayer));
}
void ServiceLayerWidth() {
  SetGuestWord(kArg, uint16_t(LayerTable[GuestWord(kArg)].width));
}
void ServiceLayerHeight() {
  SetGuestWord(kArg, uint16_t(LayerTable[GuestWord(kArg)].height));
}

}  // namespace

void FillCanvasServices(ServiceProc* group3) {
  group3[1] = ServiceSetScreenSize;
  group3[2] = ServiceRepaint;
  group3[3] = ServiceClearToFill;
  group3[4] = ServiceClearToBackground;
  group3[5] = ServiceSelectLayer;
  group3[6] = ServiceSetPenWidth;
  group3[7] = ServiceGetPenWidth;
  group3[8] = ServiceSetPenColour;
  group3[9] = ServiceSetPenRgb;
  group3[10] = ServiceGetPenColour;
  group3[11] = ServiceSetBackgroundColour;
  group3[12] = ServiceSetBackgroundRgb;
  group3[13] = ServiceGetBackgroundColour;
  group3[16] = ServiceSetClip;
  group3[17] = ServiceResetClip;
  group3[18] = ServiceInsideClip;
  group3[42] = ServiceSetPen;
  group3[45] = ServiceSetFillColour;
  group3[46] = ServiceGetFillColour;
  group3[47] = ServiceSetFillRgb;
  group3[48] = ServiceSetTextColour;
  group3[49] = ServiceSetTextRgb;
  group3[50] = ServiceGetTextColour;
  group3[56] = ServiceBlend;
  group3[73] = ServiceCreateLayer;
  group3[74] = ServiceDeleteLayer;
  group3[75] = ServiceLayerExists;
  group3[76] = ServiceGetCurrentLayer;
  group3[78] = ServiceLayerWidth;
  group3[79] = ServiceLayerHeight;
}

}  // namespace velmora
