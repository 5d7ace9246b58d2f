// The rasteriser: every shape of the drawing services, drawn into ScreenSurface under DrawBounds
// with DrawPen and a brush.
//
// Pixel conventions: a 1-pixel pen (and any width below 2) draws lines that step like Bresenham's
// and leave out their end point; wider pens are round-capped, round-joined strokes of that width
// centred on the shape's outline. Shapes given by corners (in either order) cover left..right-1
// and top..bottom-1. Work is bounded by the clip, never by the size of the shape.
#pragma once

#include <cstdint>

#include "graphics/canvas.h"

namespace velmora {

// Line from `from` to `to` with DrawPen. Does not move CurrentPosition.
void DrawLine(Point from, Point to);
// A line of length 0: nothing with a 1-pixel pen, a round dot with a wider one.
void DrawDot(Point at);

void DrawRectangle(Rect corners, const Brush& brush);
void DrawEllipse(Rect corners, const Brush& brush);
// Corner ellipses of corner_width × corner_height (cut to the rectangle).
void DrawRoundRect(Rect corners, int32_t corner_width, int32_t corner_height, const Brush& brush);

enum class ArcKind { kArc, kChord, kPie };
// The part of the ellipse in `corners` from its intersection with the radial through
// `start_radial` to that with the radial through `end_radial`, in the direction of
// ArcCounterClockwise; equal radials give the whole ellipse. A chord closes it with the straight
// line between its ends, a pie with the two radii; both are filled with `brush`. The arc's end
// points (on the outline) go to *arc_start and *arc_end when those are given.
void DrawArc(Rect corners, Point start_radial, Point end_radial, ArcKind kind, const Brush& brush,
             Point* arc_start, Point* arc_end);

// Line from CurrentPosition to the start of the circular arc around `centre`, then the arc from
// `start_degrees` over `sweep_degrees` (counter-clockwise on the screen when positive);
// CurrentPosition becomes the arc's end.
void DrawAngleArc(Point centre, uint32_t radius, float start_degrees, float sweep_degrees);

// One cubic Bézier curve from points[0] to points[3] with control points points[1], points[2].
void DrawBezier(const Point points[4]);

// Inverts the colour bits of every pixel of the inclusive rectangle (corners in either order).
void InvertInclusive(Rect rect);

}  // namespace velmora
