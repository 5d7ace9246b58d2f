// Group 3 services that manage the canvas: layers, clip, pen, brushes, colours.
#include <algorithm>

#include "graphics/canvas.h"
#include "graphics/graphics_services.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

namespace {

constexpr uint32_t kColourMask = 0x00FFFFFF;

// A colour given as three bytes red, green, blue at consecutive addresses.
uint32_t GuestRgb(uint32_t address) {
  return uint32_t(GuestByte(address)) | uint32_t(GuestByte(address + 1)) << 8 |
         uint32_t(GuestByte(address + 2)) << 16;
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
  SelectLayer(GuestWord(kArgumentAddress));
}

void SetPenWidth(int16_t width) {
  PenWidth = width;
  ReplacePen();
}
void ServiceSetPenWidth() {
  SetPenWidth(GuestInt16(kArgumentAddress));
}
void ServiceGetPenWidth() {
  SetGuestWord(kArgumentAddress, uint16_t(PenWidth));
}

void SetPenColour(uint32_t colour) {
  PenColour = colour & kColourMask;
  ReplacePen();
}
void ServiceSetPenColour() {
  SetPenColour(GuestDword(kArgumentAddress));
}
void ServiceSetPenRgb() {
  SetPenColour(GuestRgb(kArgumentAddress));
}
void ServiceGetPenColour() {
  SetGuestDword(kArgumentAddress, PenColour);
}

void ServiceSetPen() {
  PenColour = GuestDword(kArgumentAddress + 2) & kColourMask;
  SetPenWidth(GuestInt16(kArgumentAddress));
}

void SetBackgroundColour(uint32_t colour) {
  BackgroundColour = colour & kColourMask;
  BackgroundBrush = {BackgroundColour, false};
}
void ServiceSetBackgroundColour() {
  SetBackgroundColour(GuestDword(kArgumentAddress));
}
void ServiceSetBackgroundRgb() {
  SetBackgroundColour(GuestRgb(kArgumentAddress));
}
void ServiceGetBackgroundColour() {
  SetGuestDword(kArgumentAddress, BackgroundColour);
}

void ServiceSetClip() {
  SetClip(GuestInt16(kArgumentAddress), GuestInt16(kArgumentAddress + 2),
          GuestInt16(kArgumentAddress + 4), GuestInt16(kArgumentAddress + 6));
}
void ServiceResetClip() {
  ResetClip();
}
void ServiceInsideClip() {
  const int32_t x = GuestInt16(kArgumentAddress), y = GuestInt16(kArgumentAddress + 2);
  const bool inside =
      x >= ClipRect.left && x <= ClipRect.right && y >= ClipRect.top && y <= ClipRect.bottom;
  SetGuestByte(kArgumentAddress, inside ? 1 : 0);
}

void SetFillColour(uint32_t colour) {
  FillColour = colour & kColourMask;
  FillBrush = {FillColour, false};
}
void ServiceSetFillColour() {
  SetFillColour(GuestDword(kArgumentAddress));
}
void ServiceSetFillRgb() {
  SetFillColour(GuestRgb(kArgumentAddress));
}
void ServiceGetFillColour() {
  SetGuestDword(kArgumentAddress, FillColour);
}

void ServiceSetTextColour() {
  TextColour = GuestDword(kArgumentAddress) & kColourMask;
}
void ServiceSetTextRgb() {
  TextColour = GuestRgb(kArgumentAddress);
}
void ServiceGetTextColour() {
  SetGuestDword(kArgumentAddress, TextColour);
}

// Function 56: weight 0 is all the first colour, 255 all the second.
void ServiceBlend() {
  const uint8_t weight = GuestByte(kArgumentAddress);
  const uint32_t first = GuestDword(kArgumentAddress + 1),
                 second = GuestDword(kArgumentAddress + 5);
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
  SetGuestDword(kArgumentAddress, result);
}

void ServiceCreateLayer() {
  CreateLayer(GuestWord(kArgumentAddress), GuestInt16(kArgumentAddress + 2),
              GuestInt16(kArgumentAddress + 4), GuestByte(kArgumentAddress + 6));
  ReportHostError();
}
void ServiceDeleteLayer() {
  DeleteLayer(GuestWord(kArgumentAddress));
  ReportHostError();
}
void ServiceLayerExists() {
  SetGuestByte(kArgumentAddress, LayerExists(GuestWord(kArgumentAddress)) ? 1 : 0);
  ReportHostError();
}
void ServiceGetCurrentLayer() {
  SetGuestWord(kArgumentAddress, uint16_t(CurrentLayer));
}
void ServiceLayerWidth() {
  SetGuestWord(kArgumentAddress, uint16_t(LayerTable[GuestWord(kArgumentAddress)].width));
}
void ServiceLayerHeight() {
  SetGuestWord(kArgumentAddress, uint16_t(LayerTable[GuestWord(kArgumentAddress)].height));
}

const ServiceRow kCanvasServices[] = {
    {3, 3, ServiceClearToFill, "clear to fill"},
    {3, 4, ServiceClearToBackground, "clear to background"},
    {3, 5, ServiceSelectLayer, "select layer"},
    {3, 6, ServiceSetPenWidth, "set pen width"},
    {3, 7, ServiceGetPenWidth, "get pen width"},
    {3, 8, ServiceSetPenColour, "set pen colour"},
    {3, 9, ServiceSetPenRgb, "set pen RGB"},
    {3, 10, ServiceGetPenColour, "get pen colour"},
    {3, 11, ServiceSetBackgroundColour, "set background colour"},
    {3, 12, ServiceSetBackgroundRgb, "set background RGB"},
    {3, 13, ServiceGetBackgroundColour, "get background colour"},
    {3, 16, ServiceSetClip, "set clip"},
    {3, 17, ServiceResetClip, "reset clip"},
    {3, 18, ServiceInsideClip, "inside clip"},
    {3, 42, ServiceSetPen, "set pen"},
    {3, 45, ServiceSetFillColour, "set fill colour"},
    {3, 46, ServiceGetFillColour, "get fill colour"},
    {3, 47, ServiceSetFillRgb, "set fill RGB"},
    {3, 48, ServiceSetTextColour, "set text colour"},
    {3, 49, ServiceSetTextRgb, "set text RGB"},
    {3, 50, ServiceGetTextColour, "get text colour"},
    {3, 56, ServiceBlend, "blend"},
    {3, 73, ServiceCreateLayer, "create layer"},
    {3, 74, ServiceDeleteLayer, "delete layer"},
    {3, 75, ServiceLayerExists, "layer exists"},
    {3, 76, ServiceGetCurrentLayer, "get current layer"},
    {3, 78, ServiceLayerWidth, "layer width"},
    {3, 79, ServiceLayerHeight, "layer height"},
};

}  // namespace

std::span<const ServiceRow> CanvasServiceRows() {
  return kCanvasServices;
}

}  // namespace velmora
