// Clip rectangles, cut lines and clip-line runs.
#include "planes/line_clip.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

BOOL IntersectClipBounds(PdevRect& out, const PdevRect& a, const PdevRect& b) {
  out = PdevRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
  return (out.right < out.left || out.bottom < out.top) ? FALSE : TRUE;
}

BOOL ClipLineToRect(const PdevRect& r, LONG& x1, LONG& y1, LONG& x2, LONG& y2) {
  if (r.right < r.left || r.bottom < r.top) return FALSE;
  // Liang-Barsky on the line's parameter, in doubles: 32-bit ends cannot overflow.
  const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
  double t0 = 0, t1 = 1;
  auto edge = [&](double p, double q) {
    if (p == 0) return q >= 0;
    const double t = q / p;
    if (p < 0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
    return true;
  };
  const double left = r.left, right = r.right, top = r.top, bottom = r.bottom;
  if (!edge(-dx, x1 - left) || !edge(dx, right - x1) || !edge(-dy, y1 - top) || !edge(dy, bottom - y1))
    return FALSE;
  auto at = [&](double base, double d, double t, LONG lo, LONG hi) {
    return static_cast<LONG>(std::clamp<double>(std::floor(base + d * t + 0.5), lo, hi));
  };
  const LONG nx1 = at(x1, dx, t0, r.left, r.right), ny1 = at(y1, dy, t0, r.top, r.bottom);
  const LONG nx2 = at(x1, dx, t1, r.left, r.right), ny2 = at(y1, dy, t1, r.top, r.bottom);
  x1 = nx1;
  y1 = ny1;
  x2 = nx2;
  y2 = ny2;
  return TRUE;
}

void ClipLineRunEnds(const CLIPLINE& line, ULONG i, LONG& x1, LONG& y1, LONG& x2, LONG& y2) {
  const long long dx = static_cast<long long>(line.ptfxB.x) - line.ptfxA.x;
  const long long dy = static_cast<long long>(line.ptfxB.y) - line.ptfxA.y;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  const RUN* runs = line.arun;  // c runs follow the record
  const RUN& run = runs[i];
  auto point = [&](LONG index, LONG& x, LONG& y) {
    const long long offMajor = static_cast<long long>(index) * 16 * (major < 0 ? -1 : 1);
    long long offMinor;
    if (major == 0) {
      offMinor = -1;
    } else {
      offMinor = static_cast<long long>(index) * 16 * std::llabs(minor) / std::llabs(major);
      if (minor < 0) offMinor = -offMinor;
    }
    const long long fx = line.ptfxA.x + (xMajor ? offMajor : offMinor);
    const long long fy = line.ptfxA.y + (xMajor ? offMinor : offMajor);
    // 28.4 to the nearest dot.
    x = static_cast<LONG>(((fx >> 3) + 1) >> 1);
    y = static_cast<LONG>(((fy >> 3) + 1) >> 1);
  };
  point(run.iStart, x1, y1);
  point(run.iStop, x2, y2);
}
