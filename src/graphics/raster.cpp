#include "graphics/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Far beyond every layer; lines are cut to a square of this half-side before they are stepped, so
// that the stepping arithmetic stays exact in 64 bits.
constexpr double kFar = double(1 << 24);
// Curves are cut into at most this many segments; enough for a smooth circle of radius 32767.
constexpr int kMaxCurveSegments = 2048;

struct Vec {
  double x, y;
};

// Scratch kept between calls: once warmed up, drawing does not allocate.
std::vector<Vec> PathPoints;
std::vector<std::pair<int64_t, int64_t>> RowSpans;
struct StrokeSegment {
  Vec a, b;
  double top, bottom;  // rows the segment's stroke can reach
};
std::vector<StrokeSegment> StrokeSegments;

bool CosmeticPen() {
  return DrawPen.width < 2;
}

int64_t RoundCoordinate(double value) {
  if (!(value == value)) return 0;
  return int64_t(std::floor(std::clamp(value, -4 * kFar, 4 * kFar) + 0.5));
}

int32_t ClampToInt32(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Paints the pixels x0..x1 of row y, clipped.
void FillSpan(int64_t y, int64_t x0, int64_t x1, uint32_t colour) {
  if (y < DrawBounds.top || y > DrawBounds.bottom) return;
  x0 = std::max<int64_t>(x0, DrawBounds.left);
  x1 = std::min<int64_t>(x1, DrawBounds.right);
  if (x0 > x1) return;
  uint32_t* row = ScreenSurface.pixels + size_t(y) * ScreenSurface.width;
  std::fill(row + x0, row + x1 + 1, colour);
}

// Cuts the segment to the square |x|, |y| <= kFar (Liang-Barsky); false when nothing is left.
bool CutToFar(double& x0, double& y0, double& x1, double& y1) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 + kFar, kFar - x0, y0 + kFar, kFar - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
  }
  if (t0 > t1) return false;
  const double ox = x0, oy = y0;
  x0 = ox + t0 * dx;
  y0 = oy + t0 * dy;
  x1 = ox + t1 * dx;
  y1 = oy + t1 * dy;
  return true;
}

// The 1-pixel line: one pixel per step along the major axis, the minor coordinate rounded to the
// nearest (a tie goes to the smaller coordinate, so that a segment lights the same pixels
// whichever way it is drawn), the end point left out. Only the steps inside the
// clip are walked.
void CosmeticLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour) {
  if (std::max({std::abs(x0), std::abs(y0), std::abs(x1), std::abs(y1)}) > int64_t(kFar)) {
    double fx0 = double(x0), fy0 = double(y0), fx1 = double(x1), fy1 = double(y1);
    if (!CutToFar(fx0, fy0, fx1, fy1)) return;
    x0 = RoundCoordinate(fx0);
    y0 = RoundCoordinate(fy0);
    x1 = RoundCoordinate(fx1);
    y1 = RoundCoordinate(fy1);
  }
  if (DrawBounds.left > DrawBounds.right) return;
  const bool x_major = std::abs(x1 - x0) >= std::abs(y1 - y0);
  // Walk in (major, minor) coordinates; the clip is swapped to match.
  const int64_t m0 = x_major ? x0 : y0, n0 = x_major ? y0 : x0;
  const int64_t dm = x_major ? x1 - x0 : y1 - y0, dn = x_major ? y1 - y0 : x1 - x0;
  const int64_t m_low = x_major ? DrawBounds.left : DrawBounds.top;
  const int64_t m_high = x_major ? DrawBounds.right : DrawBounds.bottom;
  const int64_t n_low = x_major ? DrawBounds.top : DrawBounds.left;
  const int64_t n_high = x_major ? DrawBounds.bottom : DrawBounds.right;
  const int64_t adm = std::abs(dm), adn = std::abs(dn);
  if (adm == 0) return;
  const int64_t sm = dm < 0 ? -1 : 1, sn = dn < 0 ? -1 : 1;
  int64_t first = sm > 0 ? m_low - m0 : m0 - m_high;
  int64_t last = sm > 0 ? m_high - m0 : m0 - m_low;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, adm - 1);
  if (first > last) return;
  const int64_t denominator = 2 * adm;
  // offset = round(i · adn / adm), a tie rounding the minor coordinate down.
  const int64_t numerator = 2 * first * adn + (sn > 0 ? adm - 1 : adm);
  int64_t offset = numerator / denominator, remainder = numerator % denominator;
  const size_t stride = size_t(ScreenSurface.width);
  for (int64_t i = first; i <= last; ++i) {
    const int64_t n = n0 + sn * offset;
    if (n >= n_low && n <= n_high) {
      const int64_t m = m0 + sm * i;
      const size_t x = size_t(x_major ? m : n), y = size_t(x_major ? n : m);
      ScreenSurface.pixels[y * stride + x] = colour;
    } else if ((sn > 0) == (n > n_high)) {
      break;  // past the clip for good
    }
    remainder += 2 * adn;
    if (remainder >= denominator) {
      remainder -= denominator;
      ++offset;
    }
  }
}

// Solves lo <= a·x + b <= hi for x and narrows [*x0, *x1] to it; false when no x is left.
bool NarrowLinear(double a, double b, double lo, double hi, double* x0, double* x1) {
  if (a == 0) return b >= lo && b <= hi;
  double u = (lo - b) / a, v = (hi - b) / a;
  if (u > v) std::swap(u, v);
  *x0 = std::max(*x0, u);
  *x1 = std::min(*x1, v);
  return *x0 <= *x1;
}

// The x-range of row y within distance r of the segment a-b (a capsule); false when it misses.
bool CapsuleRow(Vec a, Vec b, double r, double y, double* x0, double* x1) {
  double lo = kInfinity, hi = -kInfinity;
  for (const Vec& p : {a, b}) {
    const double dy = y - p.y, room = r * r - dy * dy;
    if (room < 0) continue;
    const double reach = std::sqrt(room);
    lo = std::min(lo, p.x - reach);
    hi = std::max(hi, p.x + reach);
  }
  const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
  if (length2 > 0) {
    double u = -kInfinity, v = kInfinity;
    const double reach = r * std::sqrt(length2);
    if (NarrowLinear(dx, (y - a.y) * dy - dx * a.x, 0, length2, &u, &v) &&
        NarrowLinear(-dy, dx * (y - a.y) + dy * a.x, -reach, reach, &u, &v)) {
      lo = std::min(lo, u);
      hi = std::max(hi, v);
    }
  }
  if (lo > hi) return false;
  *x0 = lo;
  *x1 = hi;
  return true;
}

// Paints every pixel whose centre lies within width / 2 of the polyline (closed: back to its first
// point): round caps and round joins. Rows are merged before painting, so each pixel is painted
// once and the work is bounded by the clip.
void StrokePath(const std::vector<Vec>& points, bool closed, int32_t width, uint32_t colour) {
  if (points.empty() || DrawBounds.left > DrawBounds.right) return;
  const double r = width / 2.0;
  // An even width has no middle pixel: the stroke is centred between pixel centres.
  const double shift = width % 2 == 0 ? -0.5 : 0;
  // Only the segments whose stroke can reach the clip take part.
  StrokeSegments.clear();
  double top = kInfinity, bottom = -kInfinity;
  const size_t count = points.size();
  const size_t segments = count == 1 ? 1 : (closed ? count : count - 1);
  for (size_t i = 0; i < segments; ++i) {
    const Vec a = {points[i].x + shift, points[i].y + shift};
    const Vec b = {points[(i + 1) % count].x + shift, points[(i + 1) % count].y + shift};
    const double seg_top = std::min(a.y, b.y) - r, seg_bottom = std::max(a.y, b.y) + r;
    if (seg_bottom < DrawBounds.top || seg_top > DrawBounds.bottom ||
        std::max(a.x, b.x) + r < DrawBounds.left || std::min(a.x, b.x) - r > DrawBounds.right) {
      continue;
    }
    StrokeSegments.push_back({a, b, seg_top, seg_bottom});
    top = std::min(top, seg_top);
    bottom = std::max(bottom, seg_bottom);
  }
  if (StrokeSegments.empty()) return;
  const int64_t first_row = std::max<int64_t>(DrawBounds.top, int64_t(std::ceil(top)));
  const int64_t last_row = std::min<int64_t>(DrawBounds.bottom, int64_t(std::floor(bottom)));
  for (int64_t row = first_row; row <= last_row; ++row) {
    RowSpans.clear();
    const double y = double(row);
    for (const StrokeSegment& segment : StrokeSegments) {
      if (y < segment.top || y > segment.bottom) continue;
      double x0, x1;
      if (!CapsuleRow(segment.a, segment.b, r, y, &x0, &x1)) continue;
      x0 = std::max(x0, double(DrawBounds.left) - 1);
      x1 = std::min(x1, double(DrawBounds.right) + 1);
      if (x0 > x1) continue;
      RowSpans.emplace_back(int64_t(std::ceil(x0)), int64_t(std::floor(x1)));
    }
    std::sort(RowSpans.begin(), RowSpans.end());
    int64_t run_start = 0, run_end = -1;
    bool open = false;
    for (const auto& [s, e] : RowSpans) {
      if (open && s <= run_end + 1) {
        run_end = std::max(run_end, e);
        continue;
      }
      if (open) FillSpan(row, run_start, run_end, colour);
      run_start = s;
      run_end = e;
      open = true;
    }
    if (open) FillSpan(row, run_start, run_end, colour);
  }
}

// A rectangle with elliptic corners of semi-axes ea × eb, in inclusive pixel bounds; ea or eb of
// 0 makes it a plain rectangle, half the size an ellipse. Pixel centres are whole numbers, so the
// box spans left - 0.5 to right + 0.5.
struct RoundBox {
  int64_t left, top, right, bottom;
  double ea, eb;
};

// Normalises corners (either order, right and bottom exclusive); false when the box is empty.
bool MakeBox(Rect corners, int64_t corner_width, int64_t corner_height, RoundBox* box) {
  const int64_t l = std::min(corners.left, corners.right),
                r = std::max(corners.left, corners.right);
  const int64_t t = std::min(corners.top, corners.bottom),
                b = std::max(corners.top, corners.bottom);
  if (l == r || t == b) return false;
  *box = {l,
          t,
          r - 1,
          b - 1,
          std::min(std::abs(corner_width), r - l) / 2.0,
          std::min(std::abs(corner_height), b - t) / 2.0};
  if (box->ea == 0 || box->eb == 0) box->ea = box->eb = 0;
  return true;
}

// The pixels of row y inside the box; false when there are none. Each row is symmetric about the
// box's middle, so the right end is the mirror of the left.
bool BoxRow(const RoundBox& box, int64_t y, int64_t* x0, int64_t* x1) {
  if (y < box.top || y > box.bottom) return false;
  if (box.ea <= 0) {
    *x0 = box.left;
    *x1 = box.right;
    return true;
  }
  const double corner_top = double(box.top) - 0.5 + box.eb;
  const double corner_bottom = double(box.bottom) + 0.5 - box.eb;
  const double yy = double(y);
  double dy = 0;
  if (yy < corner_top) {
    dy = yy - corner_top;
  } else if (yy > corner_bottom) {
    dy = yy - corner_bottom;
  }
  const double q = dy / box.eb;
  if (q * q > 1) return false;
  const double reach = box.ea * std::sqrt(1 - q * q);
  const int64_t left = int64_t(std::ceil(double(box.left) - 0.5 + box.ea - reach));
  const int64_t right = box.left + box.right - left;
  if (left > right) return false;
  *x0 = left;
  *x1 = right;
  return true;
}

// Clockwise (as the screen shows it, y downwards) from `start` over `sweep` radians around the
// centre; a sweep of 2π or more is everything.
struct AngleRange {
  double cx, cy, start, sweep;
};

double Wrap(double angle) {
  angle = std::fmod(angle, kTwoPi);
  return angle < 0 ? angle + kTwoPi : angle;
}

bool InsideAngle(const AngleRange& range, int64_t x, int64_t y) {
  if (range.sweep >= kTwoPi) return true;
  const double angle = std::atan2(double(y) - range.cy, double(x) - range.cx);
  return Wrap(angle - range.start) <= range.sweep;
}

void PaintOutlineRun(int64_t y, int64_t x0, int64_t x1, uint32_t colour, const AngleRange* range) {
  if (range == nullptr) {
    FillSpan(y, x0, x1, colour);
    return;
  }
  x0 = std::max<int64_t>(x0, DrawBounds.left);
  x1 = std::min<int64_t>(x1, DrawBounds.right);
  for (int64_t x = x0; x <= x1; ++x)
    if (InsideAngle(*range, x, y)) PutPixel(int32_t(x), int32_t(y), colour);
}

// Row y of the box (x0..x1) and of its inside (inner0..inner1, empty when inner0 > inner1): the
// pixels of the row with no side neighbour outside the box. False when the row is empty.
bool RingRow(const RoundBox& box, int64_t y, int64_t* x0, int64_t* x1, int64_t* inner0,
             int64_t* inner1) {
  int64_t p0, p1, n0, n1;
  if (!BoxRow(box, y, x0, x1)) return false;
  *inner0 = *x0 + 1;
  *inner1 = *x1 - 1;
  if (BoxRow(box, y - 1, &p0, &p1) && BoxRow(box, y + 1, &n0, &n1)) {
    *inner0 = std::max({*inner0, p0, n0});
    *inner1 = std::min({*inner1, p1, n1});
  } else {
    *inner1 = *inner0 - 1;
  }
  return true;
}

// The 1-pixel outline: the pixels of the box with a side neighbour outside it. With a range,
// only those whose direction from the centre lies in it.
void OutlineBox(const RoundBox& box, uint32_t colour, const AngleRange* range) {
  const int64_t first = std::max<int64_t>(box.top, DrawBounds.top);
  const int64_t last = std::min<int64_t>(box.bottom, DrawBounds.bottom);
  for (int64_t y = first; y <= last; ++y) {
    int64_t x0, x1, inner0, inner1;
    if (!RingRow(box, y, &x0, &x1, &inner0, &inner1)) continue;
    if (inner0 > inner1) {
      PaintOutlineRun(y, x0, x1, colour, range);
    } else {
      PaintOutlineRun(y, x0, inner0 - 1, colour, range);
      PaintOutlineRun(y, inner1 + 1, x1, colour, range);
    }
  }
}

void FillBox(const RoundBox& box, uint32_t colour) {
  const int64_t first = std::max<int64_t>(box.top, DrawBounds.top);
  const int64_t last = std::min<int64_t>(box.bottom, DrawBounds.bottom);
  for (int64_t y = first; y <= last; ++y) {
    int64_t x0, x1;
    if (BoxRow(box, y, &x0, &x1)) FillSpan(y, x0, x1, colour);
  }
}

int CurveSegments(double radius, double sweep) {
  const double full = kTwoPi * std::sqrt(std::max(radius, 1.0) / 0.8);
  const double wanted = std::ceil(full * sweep / kTwoPi);
  return int(std::clamp(wanted, 4.0, double(kMaxCurveSegments)));
}

// The point of the ellipse (semi-axes a, b) around c in the direction `angle` from its centre.
Vec EllipsePoint(Vec c, double a, double b, double angle) {
  const double t = std::atan2(a * std::sin(angle), b * std::cos(angle));
  return {c.x + a * std::cos(t), c.y + b * std::sin(t)};
}

// Appends the ellipse arc clockwise from the direction `start` over `sweep`, end points included.
void AppendEllipseArc(Vec c, double a, double b, double start, double sweep) {
  const double t0 = std::atan2(a * std::sin(start), b * std::cos(start));
  const double t1 = std::atan2(a * std::sin(start + sweep), b * std::cos(start + sweep));
  const double span = sweep >= kTwoPi ? kTwoPi : Wrap(t1 - t0);
  const int n = CurveSegments(std::max(a, b), span);
  for (int i = 0; i <= n; ++i) {
    const double t = t0 + span * i / n;
    PathPoints.push_back({c.x + a * std::cos(t), c.y + b * std::sin(t)});
  }
}

// The outline's centre line: half a pixel inside the box, through the centres of its edge pixels.
void AppendBoxPath(const RoundBox& box) {
  const double a = std::max(box.ea - 0.5, 0.0), b = std::max(box.eb - 0.5, 0.0);
  const double l = double(box.left), t = double(box.top);
  const double r = double(box.right), btm = double(box.bottom);
  if (a == 0 || b == 0) {
    PathPoints.insert(PathPoints.end(), {{l, t}, {r, t}, {r, btm}, {l, btm}});
    return;
  }
  AppendEllipseArc({r - a, t + b}, a, b, -kPi / 2, kPi / 2);
  AppendEllipseArc({r - a, btm - b}, a, b, 0, kPi / 2);
  AppendEllipseArc({l + a, btm - b}, a, b, kPi / 2, kPi / 2);
  AppendEllipseArc({l + a, t + b}, a, b, kPi, kPi / 2);
}

void DrawBox(const RoundBox& box, const Brush& brush) {
  if (!brush.hollow) FillBox(box, brush.colour);
  if (CosmeticPen()) {
    OutlineBox(box, DrawPen.colour, nullptr);
    return;
  }
  PathPoints.clear();
  AppendBoxPath(box);
  StrokePath(PathPoints, true, DrawPen.width, DrawPen.colour);
}

// Pixel range of a·x + b >= 0 inside [x0, x1]; false when empty.
bool HalfRow(double a, double b, int64_t x0, int64_t x1, int64_t* from, int64_t* to) {
  double lo = double(x0), hi = double(x1);
  if (a > 0) {
    lo = std::max(lo, -b / a);
  } else if (a < 0) {
    hi = std::min(hi, -b / a);
  } else if (b < 0) {
    return false;
  }
  if (lo > hi) return false;
  *from = int64_t(std::ceil(lo));
  *to = int64_t(std::floor(hi));
  return *from <= *to;
}

// A half-plane a·x + b·y + c >= 0.
struct HalfPlane {
  double a, b, c;
};

HalfPlane LeftOf(Vec from, Vec to) {
  // cross(to - from, p - from) >= 0
  const double ex = to.x - from.x, ey = to.y - from.y;
  return {-ey, ex, ey * from.x - ex * from.y};
}

// The half-plane without its boundary line, for lines through whole-pixel points: a·x + b·y + c
// is then a whole number at every pixel centre. The pixels on such a line are the outline's, and
// beyond the outline's ends they are nobody's.
HalfPlane Open(HalfPlane h) {
  return {h.a, h.b, h.c - 0.5};
}

// Two half-planes: the pixels in both, or (`any`) in either.
struct Wedge {
  HalfPlane h1, h2;
  bool any;
};

// The pixels x0..x1 of row y inside the wedge, as up to two spans; returns their number.
int WedgeRow(const Wedge& wedge, int64_t y, int64_t x0, int64_t x1, int64_t spans[2][2]) {
  const double yy = double(y);
  int64_t a0 = 0, a1 = -1, b0 = 0, b1 = -1;  // empty spans unless HalfRow fills them
  const bool in1 = HalfRow(wedge.h1.a, wedge.h1.b * yy + wedge.h1.c, x0, x1, &a0, &a1);
  const bool in2 = HalfRow(wedge.h2.a, wedge.h2.b * yy + wedge.h2.c, x0, x1, &b0, &b1);
  int count = 0;
  if (wedge.any) {
    if (in1) {
      spans[count][0] = a0;
      spans[count++][1] = a1;
    }
    if (in2) {
      spans[count][0] = b0;
      spans[count++][1] = b1;
    }
  } else if (in1 && in2 && std::max(a0, b0) <= std::min(a1, b1)) {
    spans[count][0] = std::max(a0, b0);
    spans[count++][1] = std::min(a1, b1);
  }
  return count;
}

// The ellipse through the centres of a box's edge pixels: semi-axes a, b around c.
struct CentreLine {
  Vec c;
  double a, b;
};

// Fills the box's pixels that lie in both wedges. With a centre line, the pixels of the box's
// 1-pixel outline ring are filled only inside it: those beyond an arc's ends are nobody's, and
// the outline paints the rest.
void FillBoxWedges(const RoundBox& box, const Wedge& w1, const Wedge& w2, const CentreLine* line,
                   uint32_t colour) {
  const int64_t first = std::max<int64_t>(box.top, DrawBounds.top);
  const int64_t last = std::min<int64_t>(box.bottom, DrawBounds.bottom);
  for (int64_t y = first; y <= last; ++y) {
    int64_t x0, x1, inner0, inner1;
    if (!RingRow(box, y, &x0, &x1, &inner0, &inner1)) continue;
    int64_t pieces[3][2] = {{x0, x1}};
    int count = 1;
    if (line != nullptr) {
      // The ring's pixels inside the centre line: e0..e1.
      const double dy = double(y) - line->c.y;
      const double q = line->b > 0 ? dy / line->b : (dy == 0 ? 0 : 2);
      int64_t e0 = 0, e1 = -1;
      if (q * q <= 1) {
        const double reach = line->a * std::sqrt(1 - q * q);
        e0 = int64_t(std::ceil(line->c.x - reach));
        e1 = int64_t(std::floor(line->c.x + reach));
      }
      if (inner0 > inner1) {
        pieces[0][0] = std::max(x0, e0);
        pieces[0][1] = std::min(x1, e1);
      } else {
        pieces[0][0] = std::max(x0, e0);
        pieces[0][1] = inner0 - 1;
        pieces[1][0] = inner0;
        pieces[1][1] = inner1;
        pieces[2][0] = inner1 + 1;
        pieces[2][1] = std::min(x1, e1);
        count = 3;
      }
    }
    for (int k = 0; k < count; ++k) {
      const int64_t p0 = std::max<int64_t>(pieces[k][0], DrawBounds.left);
      const int64_t p1 = std::min<int64_t>(pieces[k][1], DrawBounds.right);
      if (p0 > p1) continue;
      int64_t spans1[2][2], spans2[2][2];
      const int n1 = WedgeRow(w1, y, p0, p1, spans1), n2 = WedgeRow(w2, y, p0, p1, spans2);
      for (int i = 0; i < n1; ++i)
        for (int j = 0; j < n2; ++j)
          FillSpan(y, std::max(spans1[i][0], spans2[j][0]), std::min(spans1[i][1], spans2[j][1]),
                   colour);
    }
  }
}

Vec ToVec(Point p) {
  return {double(p.x), double(p.y)};
}
Point ToPoint(Vec v) {
  return {ClampToInt32(RoundCoordinate(v.x)), ClampToInt32(RoundCoordinate(v.y))};
}

void Line(Vec from, Vec to) {
  if (CosmeticPen()) {
    CosmeticLine(RoundCoordinate(from.x), RoundCoordinate(from.y), RoundCoordinate(to.x),
                 RoundCoordinate(to.y), DrawPen.colour);
    return;
  }
  PathPoints.clear();
  PathPoints.push_back(from);
  PathPoints.push_back(to);
  StrokePath(PathPoints, false, DrawPen.width, DrawPen.colour);
}

}  // namespace

void DrawLine(Point from, Point to) {
  Line(ToVec(from), ToVec(to));
}

void DrawDot(Point at) {
  if (CosmeticPen()) return;
  PathPoints.clear();
  PathPoints.push_back(ToVec(at));
  StrokePath(PathPoints, false, DrawPen.width, DrawPen.colour);
}

void DrawRectangle(Rect corners, const Brush& brush) {
  RoundBox box;
  if (MakeBox(corners, 0, 0, &box)) DrawBox(box, brush);
}

void DrawEllipse(Rect corners, const Brush& brush) {
  RoundBox box;
  const int64_t w = int64_t(corners.right) - corners.left;
  const int64_t h = int64_t(corners.bottom) - corners.top;
  if (MakeBox(corners, w, h, &box)) DrawBox(box, brush);
}

void DrawRoundRect(Rect corners, int32_t corner_width, int32_t corner_height, const Brush& brush) {
  RoundBox box;
  if (MakeBox(corners, corner_width, corner_height, &box)) DrawBox(box, brush);
}

void DrawArc(Rect corners, Point start_radial, Point end_radial, ArcKind kind, const Brush& brush,
             Point* arc_start, Point* arc_end) {
  RoundBox box;
  const int64_t w = int64_t(corners.right) - corners.left;
  const int64_t h = int64_t(corners.bottom) - corners.top;
  if (!MakeBox(corners, w, h, &box)) {
    if (arc_start != nullptr) *arc_start = start_radial;
    if (arc_end != nullptr) *arc_end = end_radial;
    return;
  }
  const Vec c = {(double(box.left) + double(box.right)) / 2,
                 (double(box.top) + double(box.bottom)) / 2};
  const double start = std::atan2(start_radial.y - c.y, start_radial.x - c.x);
  const double end = std::atan2(end_radial.y - c.y, end_radial.x - c.x);
  // Points on the outline's centre line, through the centres of the edge pixels.
  const double pa = std::max(box.ea - 0.5, 0.0), pb = std::max(box.eb - 0.5, 0.0);
  const Vec start_point = EllipsePoint(c, pa, pb, start);
  const Vec end_point = EllipsePoint(c, pa, pb, end);
  if (arc_start != nullptr) *arc_start = ToPoint(start_point);
  if (arc_end != nullptr) *arc_end = ToPoint(end_point);
  // Everything below runs clockwise: a counter-clockwise arc is the clockwise one from its end.
  const double cw_start = ArcCounterClockwise ? end : start;
  const double cw_end = ArcCounterClockwise ? start : end;
  double sweep = Wrap(cw_end - cw_start);
  if (sweep == 0) sweep = kTwoPi;
  const Vec cw_from = ArcCounterClockwise ? end_point : start_point;
  const Vec cw_to = ArcCounterClockwise ? start_point : end_point;
  const bool full = sweep >= kTwoPi;

  if (kind != ArcKind::kArc && !brush.hollow) {
    if (full) {
      FillBox(box, brush.colour);
    } else {
      // The straight sides run through the arc's ends and, for a pie, the centre. A 1-pixel
      // outline joins those points rounded, so the fill keeps to the same lines and shows nowhere
      // beyond them; unless rounding would turn the figure over.
      Vec from = cw_from, to = cw_to, centre = c;
      bool rounded = false;
      if (CosmeticPen()) {
        const Vec rf = ToVec(ToPoint(cw_from)), rt = ToVec(ToPoint(cw_to)), rc = ToVec(ToPoint(c));
        const auto cross = [](Vec o, Vec p, Vec q) {
          return (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x);
        };
        rounded =
            kind == ArcKind::kChord
                ? (rf.x - rt.x) * (cw_from.x - cw_to.x) + (rf.y - rt.y) * (cw_from.y - cw_to.y) > 0
                : cross(rc, rf, rt) * cross(c, cw_from, cw_to) > 0;
        if (rounded) {
          from = rf;
          to = rt;
          centre = rc;
        }
      }
      // The exact figure, cut (for a 1-pixel outline) to the one between the rounded points.
      Wedge exact, kept;
      if (kind == ArcKind::kChord) {
        // The side of the chord that holds the arc.
        const Vec middle = EllipsePoint(c, pa, pb, cw_start + sweep / 2);
        HalfPlane side = LeftOf(cw_to, cw_from), rounded_side = LeftOf(to, from);
        if (side.a * middle.x + side.b * middle.y + side.c < 0) {
          side = {-side.a, -side.b, -side.c};
          rounded_side = {-rounded_side.a, -rounded_side.b, -rounded_side.c};
        }
        exact = {side, side, false};
        kept = {Open(rounded_side), Open(rounded_side), false};
      } else {
        const Vec u = {std::cos(cw_start), std::sin(cw_start)};
        const Vec v = {std::cos(cw_end), std::sin(cw_end)};
        exact = {LeftOf(c, {c.x + u.x, c.y + u.y}), LeftOf({c.x + v.x, c.y + v.y}, c), sweep > kPi};
        kept = {Open(LeftOf(centre, from)), Open(LeftOf(to, centre)), sweep > kPi};
      }
      const CentreLine line = {c, pa, pb};
      FillBoxWedges(box, exact, rounded ? kept : exact, CosmeticPen() ? &line : nullptr,
                    brush.colour);
    }
  }

  if (CosmeticPen()) {
    const AngleRange range = {c.x, c.y, cw_start, sweep};
    OutlineBox(box, DrawPen.colour, &range);
    if (kind != ArcKind::kArc && !full) {
      if (kind == ArcKind::kChord) {
        Line(cw_to, cw_from);
      } else {
        Line(cw_to, c);
        Line(c, cw_from);
      }
      // A closed figure leaves out no end point, even where the arc's ring misses it.
      const Point closing = ToPoint(cw_from);
      PutPixel(closing.x, closing.y, DrawPen.colour);
    } else if (kind == ArcKind::kPie) {
      Line(c, start_point);
    }
    return;
  }
  PathPoints.clear();
  AppendEllipseArc(c, pa, pb, cw_start, sweep);
  if (kind == ArcKind::kPie) PathPoints.push_back(c);
  StrokePath(PathPoints, kind != ArcKind::kArc, DrawPen.width, DrawPen.colour);
}

void DrawAngleArc(Point centre, uint32_t radius, float start_degrees, float sweep_degrees) {
  double start = std::isfinite(start_degrees) ? std::fmod(double(start_degrees), 360.0) : 0;
  double sweep = std::isnan(sweep_degrees) ? 0 : std::clamp(double(sweep_degrees), -360.0, 360.0);
  const double r = double(radius);
  const Vec c = ToVec(centre);
  // Angles count counter-clockwise on the screen, whose y runs downwards.
  auto at = [&](double degrees) {
    const double angle = degrees * kPi / 180;
    return Vec{c.x + r * std::cos(angle), c.y - r * std::sin(angle)};
  };
  const Vec from = at(start), to = at(start + sweep);
  Line(ToVec(CurrentPosition), from);
  if (sweep != 0) {
    // The same arc clockwise in the screen's own angles (y downwards).
    const double cw_start = (sweep > 0 ? -(start + sweep) : -start) * kPi / 180;
    const double cw_sweep = std::abs(sweep) * kPi / 180;
    if (CosmeticPen()) {
      const int64_t ir = int64_t(radius);
      const RoundBox box = {centre.x - ir, centre.y - ir, centre.x + ir,
                            centre.y + ir, r + 0.5,       r + 0.5};
      const AngleRange range = {c.x, c.y, Wrap(cw_start), cw_sweep};
      OutlineBox(box, DrawPen.colour, &range);
    } else {
      PathPoints.clear();
      AppendEllipseArc(c, r, r, cw_start, cw_sweep);
      StrokePath(PathPoints, false, DrawPen.width, DrawPen.colour);
    }
  }
  CurrentPosition = ToPoint(to);
}

void DrawBezier(const Point points[4]) {
  const Vec p[4] = {ToVec(points[0]), ToVec(points[1]), ToVec(points[2]), ToVec(points[3])};
  double length = 0;
  for (int i = 0; i < 3; ++i) length += std::hypot(p[i + 1].x - p[i].x, p[i + 1].y - p[i].y);
  const int n = int(std::clamp(std::ceil(length / 3), 1.0, double(kMaxCurveSegments)));
  PathPoints.clear();
  for (int i = 0; i <= n; ++i) {
    const double t = double(i) / n, s = 1 - t;
    const double a = s * s * s, b = 3 * s * s * t, cc = 3 * s * t * t, d = t * t * t;
    PathPoints.push_back({a * p[0].x + b * p[1].x + cc * p[2].x + d * p[3].x,
                          a * p[0].y + b * p[1].y + cc * p[2].y + d * p[3].y});
  }
  if (!CosmeticPen()) {
    StrokePath(PathPoints, false, DrawPen.width, DrawPen.colour);
    return;
  }
  // Each piece leaves out its end, which the next piece starts with; the curve's own end is left
  // out like a line's.
  int64_t x = RoundCoordinate(PathPoints[0].x), y = RoundCoordinate(PathPoints[0].y);
  for (size_t i = 1; i < PathPoints.size(); ++i) {
    const int64_t nx = RoundCoordinate(PathPoints[i].x), ny = RoundCoordinate(PathPoints[i].y);
    if (nx == x && ny == y) continue;
    CosmeticLine(x, y, nx, ny, DrawPen.colour);
    x = nx;
    y = ny;
  }
}

void InvertInclusive(Rect rect) {
  const int32_t left = std::max(std::min(rect.left, rect.right), DrawBounds.left);
  const int32_t right = std::min(std::max(rect.left, rect.right), DrawBounds.right);
  const int32_t top = std::max(std::min(rect.top, rect.bottom), DrawBounds.top);
  const int32_t bottom = std::min(std::max(rect.top, rect.bottom), DrawBounds.bottom);
  for (int32_t y = top; y <= bottom; ++y) {
    uint32_t* row = ScreenSurface.pixels + size_t(y) * ScreenSurface.width;
    for (int32_t x = left; x <= right; ++x) row[x] ^= 0x00FFFFFF;
  }
}

}  // namespace velmora
