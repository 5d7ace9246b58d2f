// Group 3 drawing services: pixels, lines, rectangles, ellipses, arcs, curves, inversion and the
// random pixel, noise and colour services. None of them writes the status byte.
#include <algorithm>

#include "graphics/canvas.h"
#include "graphics/graphics_services.h"
#include "graphics/raster.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/random.h"

namespace velmora {

namespace {

constexpr uint32_t kArg = kArgumentAddress;
constexpr uint32_t kColourMask = 0x00FFFFFF;

int32_t Arg(uint32_t offset) {
  return GuestInt16(kArg + offset);
}
Point ArgPoint(uint32_t offset) {
  return {Arg(offset), Arg(offset + 2)};
}
Rect ArgCorners() {
  return {Arg(0), Arg(2), Arg(4), Arg(6)};
}
// x, y, width, height: the corners (x, y) and (x + width, y + height).
Rect ArgSized() {
  return {Arg(0), Arg(2), Arg(0) + Arg(4), Arg(2) + Arg(6)};
}

// The colour keeps its low 24 bits: a stored pixel never reads as the "no pixel" answer.
void ServicePutColourPixel() {
  PutPixel(Arg(0), Arg(2), GuestDword(kArg + 4) & kColourMask);
}
void ServiceGetPixel() {
  SetGuestDword(kArg, GetPixel(Arg(0), Arg(2)));
}
void ServicePutPenPixel() {
  PutPixel(Arg(0), Arg(2), PenColour);
}
void ServiceErasePixel() {
  PutPixel(Arg(0), Arg(2), BackgroundColour);
}
void ServiceTogglePixel() {
  const int32_t x = Arg(0), y = Arg(2);
  PutPixel(x, y, GetPixel(x, y) == BackgroundColour ? PenColour : BackgroundColour);
}
void ServiceRandomPixel() {
  if (RandomWord() & 1) PutPixel(Arg(0), Arg(2), PenColour);
}

void ServiceDot() {
  CurrentPosition = ArgPoint(0);
  DrawDot(CurrentPosition);
}

void ServiceFilledRectangle() {
  DrawRectangle(ArgCorners(), FillBrush);
}
void ServiceFillBackground() {
  FillInclusive(ArgCorners(), BackgroundBrush.colour);
}
void ServiceFillBrush() {
  FillInclusive(ArgCorners(), FillBrush.colour);
}
void ServiceInvert() {
  InvertInclusive(ArgCorners());
}

// One random value per pixel of the inclusive rectangle, row by row from the top, each row from
// the left; a value with its lowest bit set paints the pixel.
void NoiseRows(int64_t xs, int64_t xe, int64_t ys, int64_t ye) {
  for (int64_t y = ys; y <= ye; ++y)
    for (int64_t x = xs; x <= xe; ++x)
      if (RandomWord() & 1) PutPixel(int32_t(x), int32_t(y), PenColour);
}

// Up to a limit the whole rectangle draws its random values, the clipped pixels included;
// beyond it only the pixels that can change do.
void ServiceNoise() {
  const Rect r = ArgCorners();
  const int64_t xs = std::min(r.left, r.right), xe = std::max(r.left, r.right);
  const int64_t ys = std::min(r.top, r.bottom), ye = std::max(r.top, r.bottom);
  if ((xe - xs + 1) * (ye - ys + 1) <= kNoiseFullDrawLimit) {
    NoiseRows(xs, xe, ys, ye);
    return;
  }
  NoiseRows(std::max<int64_t>(xs, DrawBounds.left), std::min<int64_t>(xe, DrawBounds.right),
            std::max<int64_t>(ys, DrawBounds.top), std::min<int64_t>(ye, DrawBounds.bottom));
}

// A line that leaves the current position at its end.
void LineTo(Point from, Point to) {
  DrawLine(from, to);
  CurrentPosition = to;
}
void ServiceHorizontalLine() {
  LineTo(ArgPoint(0), {Arg(0) + Arg(4), Arg(2)});
}
void ServiceVerticalLine() {
  LineTo(ArgPoint(0), {Arg(0), Arg(2) + Arg(4)});
}
void ServiceLine() {
  LineTo(ArgPoint(0), ArgPoint(4));
}
void ServiceMoveTo() {
  CurrentPosition = ArgPoint(0);
}
void ServiceLineTo() {
  LineTo(CurrentPosition, ArgPoint(0));
}

void ServiceRectangleSized() {
  DrawRectangle(ArgSized(), HollowBrush);
}
void ServiceRectangleOutline() {
  DrawRectangle(ArgCorners(), HollowBrush);
}
void ServiceFilledRectangleSized() {
  DrawRectangle(ArgSized(), FillBrush);
}

Rect CircleCorners() {
  const int32_t x = Arg(0), y = Arg(2), r = Arg(4);
  return {x - r, y - r, x + r, y + r};
}
void ServiceCircle() {
  DrawEllipse(CircleCorners(), HollowBrush);
}
void ServiceFilledCircle() {
  DrawEllipse(CircleCorners(), FillBrush);
}
void ServiceEllipse() {
  DrawEllipse(ArgCorners(), HollowBrush);
}
void ServiceFilledEllipse() {
  DrawEllipse(ArgCorners(), FillBrush);
}

void ServiceRoundRectSized() {
  DrawRoundRect(ArgSized(), 2 * Arg(8), 2 * Arg(8), HollowBrush);
}
void ServiceFilledRoundRectSized() {
  DrawRoundRect(ArgSized(), 2 * Arg(8), 2 * Arg(8), FillBrush);
}
void ServiceRoundRect() {
  DrawRoundRect(ArgCorners(), 2 * Arg(8), 2 * Arg(8), HollowBrush);
}
void ServiceFilledRoundRect() {
  DrawRoundRect(ArgCorners(), 2 * Arg(8), 2 * Arg(8), FillBrush);
}

void Arc(ArcKind kind, const Brush& brush, Point* start, Point* end) {
  DrawArc(ArgCorners(), ArgPoint(8), ArgPoint(12), kind, brush, start, end);
}
void ServiceArc() {
  Arc(ArcKind::kArc, HollowBrush, nullptr, nullptr);
}
void ServiceChord() {
  Arc(ArcKind::kChord, FillBrush, nullptr, nullptr);
}
void ServicePie() {
  Arc(ArcKind::kPie, FillBrush, nullptr, nullptr);
}

// Function 60: a line from the current position to the arc's start, then the arc; the current
// position ends at the arc's end.
void ServiceArcTo() {
  Point start, end;
  DrawArc(ArgCorners(), ArgPoint(8), ArgPoint(12), ArcKind::kArc, HollowBrush, &start, &end);
  DrawLine(CurrentPosition, start);
  CurrentPosition = end;
}

void ServiceAngleArc() {
  DrawAngleArc(ArgPoint(0), uint32_t(Arg(4)), GuestFloat(kArg + 6), GuestFloat(kArg + 10));
}

void ServiceArcDirection() {
  ArcCounterClockwise = GuestByte(kArg) != 0;
}

void ServiceBezier() {
  const Point points[4] = {ArgPoint(0), ArgPoint(4), ArgPoint(8), ArgPoint(12)};
  DrawBezier(points);
}

void ServiceRandomColour() {
  const uint32_t r1 = RandomWord(), r2 = RandomWord(), r3 = RandomWord();
  uint32_t value = r3 + r2 * 65536;
  if (r1 & 1) value |= 0x8000;
  SetGuestDword(kArg, value & kColourMask);
}

const ServiceRow kDrawingServices[] = {
    {3, 14, ServicePutColourPixel, "put colour pixel"},
    {3, 15, ServiceGetPixel, "get pixel"},
    {3, 19, ServicePutPenPixel, "put pen pixel"},
    {3, 20, ServiceErasePixel, "erase pixel"},
    {3, 21, ServiceTogglePixel, "toggle pixel"},
    {3, 22, ServiceRandomPixel, "random pixel"},
    {3, 23, ServiceDot, "dot"},
    {3, 24, ServiceFilledRectangle, "filled rectangle"},
    {3, 25, ServiceFillBackground, "fill background"},
    {3, 26, ServiceNoise, "noise"},
    {3, 27, ServiceHorizontalLine, "horizontal line"},
    {3, 28, ServiceVerticalLine, "vertical line"},
    {3, 29, ServiceLine, "line"},
    {3, 30, ServiceRectangleSized, "rectangle sized"},
    {3, 31, ServiceRectangleOutline, "rectangle outline"},
    {3, 32, ServiceCircle, "circle"},
    {3, 33, ServiceFilledCircle, "filled circle"},
    {3, 34, ServiceEllipse, "ellipse"},
    {3, 35, ServiceRoundRectSized, "round rect sized"},
    {3, 43, ServiceInvert, "invert"},
    {3, 44, ServiceFillBrush, "fill brush"},
    {3, 51, ServiceFilledRectangleSized, "filled rectangle sized"},
    {3, 52, ServiceFilledEllipse, "filled ellipse"},
    {3, 53, ServiceFilledRoundRectSized, "filled round rect sized"},
    {3, 54, ServiceRoundRect, "round rect"},
    {3, 55, ServiceFilledRoundRect, "filled round rect"},
    {3, 57, ServiceMoveTo, "move to"},
    {3, 58, ServiceLineTo, "line to"},
    {3, 59, ServiceArc, "arc"},
    {3, 60, ServiceArcTo, "arc to"},
    {3, 61, ServiceAngleArc, "angle arc"},
    {3, 62, ServiceArcDirection, "arc direction"},
    {3, 63, ServiceBezier, "bezier"},
    {3, 64, ServiceChord, "chord"},
    {3, 65, ServicePie, "pie"},
    {3, 72, ServiceRandomColour, "random colour"},
};

}  // namespace

std::span<const ServiceRow> DrawingServiceRows() {
  return kDrawingServices;
}

}  // namespace velmora
