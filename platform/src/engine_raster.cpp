// The engine's rasteriser on 1-, 24- and 32-bit surfaces.
#include "engine_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

namespace plat::engine::raster {

namespace {

constexpr double kPi = 3.14159265358979323846;

// 8 x 8 ordered-dither ranks.
constexpr BYTE kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

int Density(ULONG rgb) {
  const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  return 255 - ((77 * r + 150 * g + 29 * b) >> 8);
}

// 1 white, 0 ink.
int PenBit(const Ink& ink, LONG x, LONG y) {
  ULONG rgb = ink.rgb;
  if (!ink.solid && ink.width > 0 && ink.height > 0) {
    const LONG px = ((x % ink.width) + ink.width) % ink.width;
    const LONG py = ((y % ink.height) + ink.height) % ink.height;
    rgb = ink.pixels[static_cast<std::size_t>(py) * ink.width + px];
  }
  return Density(rgb) > kBayer8[y & 7][x & 7] * 4 + 2 ? 0 : 1;
}

// Result bit of a ROP2 on a pen bit and a destination bit.
int Rop2Bit(int rop2, int pen, int dst) {
  if (rop2 < 1 || rop2 > 16) return dst;
  return ((rop2 - 1) >> ((pen << 1) | dst)) & 1;
}

// The pen's colour at a pixel: solid or the pattern repeated from the page's origin.
ULONG PenRgb(const Ink& ink, LONG x, LONG y) {
  if (ink.solid || ink.width <= 0 || ink.height <= 0) return ink.rgb;
  const LONG px = ((x % ink.width) + ink.width) % ink.width;
  const LONG py = ((y % ink.height) + ink.height) % ink.height;
  return ink.pixels[static_cast<std::size_t>(py) * ink.width + px];
}

// A ROP2 on pen and destination bytes, bit by bit.
BYTE Rop2Byte(int rop2, unsigned pen, unsigned dst) {
  if (rop2 < 1 || rop2 > 16) return static_cast<BYTE>(dst);
  const int code = rop2 - 1;
  unsigned out = 0;
  if (code & 1) out |= ~pen & ~dst;
  if (code & 2) out |= ~pen & dst;
  if (code & 4) out |= pen & ~dst;
  if (code & 8) out |= pen & dst;
  return static_cast<BYTE>(out);
}

bool Deep(const SURFOBJ* so) { return so->iBitmapFormat == BMF_24BPP || so->iBitmapFormat == BMF_32BPP; }

void PutPixel(SURFOBJ* so, LONG x, LONG y, const Ink& ink, int rop2, bool redFirst) {
  BYTE* row = static_cast<BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
  if (Deep(so)) {
    // Blue, green, red, each byte through the ROP2 with the pen's own colour.
    BYTE* px = row + static_cast<std::ptrdiff_t>(x) * (so->iBitmapFormat == BMF_24BPP ? 3 : 4);
    const ULONG rgb = PenRgb(ink, x, y);
    const int blue = redFirst ? 2 : 0, red = redFirst ? 0 : 2;
    px[blue] = Rop2Byte(rop2, (rgb >> 16) & 0xFF, px[blue]);
    px[1] = Rop2Byte(rop2, (rgb >> 8) & 0xFF, px[1]);
    px[red] = Rop2Byte(rop2, rgb & 0xFF, px[red]);
    return;
  }
  const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
  const int dst = (row[x >> 3] & bit) ? 1 : 0;
  const int out = Rop2Bit(rop2, PenBit(ink, x, y), dst);
  row[x >> 3] = static_cast<BYTE>(out ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
}

// Pixels x0..x1 - 1 of row y of a 24-bit surface: a solid copy fills bytes.
void DeepSpan(SURFOBJ* so, LONG y, LONG x0, LONG x1, const Ink& ink, int rop2, bool redFirst) {
  if (so->iBitmapFormat != BMF_24BPP || !ink.solid || rop2 != R2_COPYPEN) {
    for (LONG x = x0; x < x1; ++x) PutPixel(so, x, y, ink, rop2, redFirst);
    return;
  }
  BYTE* px = static_cast<BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta + 3 * std::ptrdiff_t{x0};
  const std::size_t n = 3 * static_cast<std::size_t>(x1 - x0);
  if (n == 0) return;
  const BYTE blue = static_cast<BYTE>(ink.rgb >> 16), green = static_cast<BYTE>(ink.rgb >> 8),
             red = static_cast<BYTE>(ink.rgb);
  const BYTE first = redFirst ? red : blue, third = redFirst ? blue : red;
  // Short spans (a stroke's) pixel by pixel; long ones double a copy.
  if (n <= 96) {
    for (std::size_t i = 0; i < n; i += 3) px[i] = first, px[i + 1] = green, px[i + 2] = third;
    return;
  }
  px[0] = first, px[1] = green, px[2] = third;
  for (std::size_t done = 3; done < n; done *= 2) std::memcpy(px + done, px, std::min(done, n - done));
}

bool InClip(const Target& t, LONG x, LONG y) {
  for (const RECTL& c : t.clip)
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) return true;
  return false;
}

struct Edge {
  double x0, y0, x1, y1;
  int dir;
};

Point Mid(Point a, Point b) { return Point{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

void FlattenBezier(Point p0, Point p1, Point p2, Point p3, int depth, Polyline& out) {
  // Distance of the control points from the chord.
  const double dx = p3.x - p0.x, dy = p3.y - p0.y;
  const double len = std::hypot(dx, dy);
  auto dist = [&](Point p) {
    if (len < 1e-9) return std::hypot(p.x - p0.x, p.y - p0.y);
    return std::fabs((p.x - p0.x) * dy - (p.y - p0.y) * dx) / len;
  };
  if (depth >= 16 || std::max(dist(p1), dist(p2)) <= 0.25) {
    out.push_back(p3);
    return;
  }
  const Point a = Mid(p0, p1), b = Mid(p1, p2), c = Mid(p2, p3);
  const Point d = Mid(a, b), e = Mid(b, c), m = Mid(d, e);
  FlattenBezier(p0, a, d, m, depth + 1, out);
  FlattenBezier(m, e, c, p3, depth + 1, out);
}

Point Add(Point a, Point b, double s) { return Point{a.x + b.x * s, a.y + b.y * s}; }

// Signed area, positive for clockwise on the page (y down).
double Area(const Polyline& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point& u = p[i];
    const Point& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

void AddPolygon(std::vector<Figure>& out, Polyline poly) {
  if (poly.size() < 3) return;
  if (Area(poly) < 0) std::reverse(poly.begin(), poly.end());
  out.push_back(Figure{std::move(poly), true, false});
}

void AddCircle(std::vector<Figure>& out, Point c, double r) {
  const int n = std::clamp(static_cast<int>(std::ceil(2 * kPi * r / 0.5)), 8, 720);
  Polyline p;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * i / n;
    p.push_back(Point{c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  AddPolygon(out, std::move(p));
}

// Removes repeated points.
Polyline Clean(const Polyline& in) {
  Polyline out;
  for (const Point& p : in)
    if (out.empty() || std::hypot(p.x - out.back().x, p.y - out.back().y) > 1e-9) out.push_back(p);
  return out;
}

// The outline of one dash or undashed figure.
void WidenPiece(std::vector<Figure>& out, Polyline pts, bool closed, const LINEATTRS& la, double hw) {
  pts = Clean(pts);
  if (closed && pts.size() > 1 && std::hypot(pts.front().x - pts.back().x, pts.front().y - pts.back().y) < 1e-9)
    pts.pop_back();
  if (pts.size() == 1) {
    // A dot: round and square caps draw it, flat caps draw nothing.
    if (la.iEndCap == ENDCAP_ROUND) AddCircle(out, pts[0], hw);
    if (la.iEndCap == ENDCAP_SQUARE)
      AddPolygon(out, {{pts[0].x - hw, pts[0].y - hw}, {pts[0].x + hw, pts[0].y - hw},
                       {pts[0].x + hw, pts[0].y + hw}, {pts[0].x - hw, pts[0].y + hw}});
    return;
  }
  if (pts.size() < 2) return;
  const std::size_t n = pts.size();
  const std::size_t segments = closed ? n : n - 1;
  auto dirOf = [&](std::size_t i) {
    const Point a = pts[i % n], b = pts[(i + 1) % n];
    const double l = std::hypot(b.x - a.x, b.y - a.y);
    return Point{(b.x - a.x) / l, (b.y - a.y) / l};
  };
  for (std::size_t i = 0; i < segments; ++i) {
    Point a = pts[i % n], b = pts[(i + 1) % n];
    const Point d = dirOf(i);
    if (!closed && la.iEndCap == ENDCAP_SQUARE) {
      if (i == 0) a = Add(a, d, -hw);
      if (i + 1 == segments) b = Add(b, d, hw);
    }
    const Point nrm{-d.y, d.x};
    AddPolygon(out, {Add(a, nrm, hw), Add(b, nrm, hw), Add(b, nrm, -hw), Add(a, nrm, -hw)});
  }
  // Joins at inner vertices (every vertex of a closed figure).
  const std::size_t firstJoin = closed ? 0 : 1;
  const std::size_t lastJoin = closed ? n : n - 1;
  for (std::size_t v = firstJoin; v < lastJoin; ++v) {
    const Point p = pts[v];
    const Point din = dirOf((v + n - 1) % n), dout = dirOf(v % n);
    const double cross = din.x * dout.y - din.y * dout.x;
    if (std::fabs(cross) < 1e-12 && din.x * dout.x + din.y * dout.y > 0) continue;
    if (la.iJoin == JOIN_ROUND) {
      AddCircle(out, p, hw);
      continue;
    }
    // The outer side turns away from the bend.
    const double side = cross > 0 ? -1 : 1;
    const Point na{-din.y * side, din.x * side}, nb{-dout.y * side, dout.x * side};
    const Point pa = Add(p, na, hw), pb = Add(p, nb, hw);
    if (la.iJoin == JOIN_MITER) {
      const double cosHalf = std::sqrt(std::max(0.0, (1 + (na.x * nb.x + na.y * nb.y)) / 2));
      const double limit = la.eMiterLimit > 1 ? la.eMiterLimit : 1;
      if (cosHalf > 1e-9 && 1 / cosHalf <= limit) {
        const Point bis{(na.x + nb.x), (na.y + nb.y)};
        const double bl = std::hypot(bis.x, bis.y);
        const Point tip = Add(p, Point{bis.x / bl, bis.y / bl}, hw / cosHalf);
        AddPolygon(out, {p, pa, tip, pb});
        continue;
      }
    }
    AddPolygon(out, {p, pa, pb});
  }
  if (!closed && la.iEndCap == ENDCAP_ROUND) {
    AddCircle(out, pts.front(), hw);
    AddCircle(out, pts.back(), hw);
  }
}

// The axis-aligned area dashes are made in.
struct DashArea {
  double left, top, right, bottom;
};

// Distance along a -> b (length seg) at which the segment first enters the
// area; seg when it never does (or only after seg), 0 when a is inside.
double DistanceToArea(Point a, Point b, double seg, const DashArea& area) {
  double enter = 0, leave = 1;
  const double delta[2] = {b.x - a.x, b.y - a.y};
  const double from[2] = {a.x, a.y};
  const double low[2] = {area.left, area.top}, high[2] = {area.right, area.bottom};
  for (int axis = 0; axis < 2; ++axis) {
    if (delta[axis] == 0) {
      if (from[axis] < low[axis] || from[axis] > high[axis]) return seg;
      continue;
    }
    double t0 = (low[axis] - from[axis]) / delta[axis], t1 = (high[axis] - from[axis]) / delta[axis];
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
  }
  return enter > leave ? seg : enter * seg;
}

// Splits a figure into its dashes (lengths in dots, cycling, starting at
// offset into the pattern). Whole pattern cycles that lie outside the area
// are stepped over without making their dashes.
std::vector<Polyline> Dashes(const Figure& f, const std::vector<double>& pattern, double offset, bool startGap,
                             const DashArea& area) {
  std::vector<Polyline> out;
  double total = 0;
  for (double v : pattern) total += v;
  if (total <= 0) return {f.points};
  Polyline pts = f.points;
  if (f.closed && !pts.empty()) pts.push_back(pts.front());
  std::size_t idx = 0;
  double left = pattern[0];
  double pos = std::fmod(std::max(0.0, offset), total);
  while (pos >= left) {
    pos -= left;
    idx = (idx + 1) % pattern.size();
    left = pattern[idx];
  }
  left -= pos;
  auto on = [&] { return ((idx % 2) == 0) != startGap; };
  Polyline cur;
  if (on() && !pts.empty()) cur.push_back(pts[0]);
  for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
    Point a = pts[i];
    const Point b = pts[i + 1];
    double seg = std::hypot(b.x - a.x, b.y - a.y);
    while (seg > 0) {
      // Outside the area until `outside` further on: the dash under way ends
      // here (its end cannot be seen) and whole cycles are stepped over.
      const double outside = DistanceToArea(a, b, seg, area);
      if (outside > left + total) {
        const double cycles = std::floor((outside - left) / total);
        if (on() && !cur.empty()) {
          if (cur.back().x != a.x || cur.back().y != a.y) cur.push_back(a);
          if (cur.size() > 1) out.push_back(cur);
          cur.clear();
        }
        const double skip = cycles * total;
        a = Point{a.x + (b.x - a.x) * (skip / seg), a.y + (b.y - a.y) * (skip / seg)};
        seg -= skip;
        if (on()) cur = {a};
      }
      if (seg < left) {
        left -= seg;
        if (on()) cur.push_back(b);
        break;
      }
      const Point m{a.x + (b.x - a.x) * (left / seg), a.y + (b.y - a.y) * (left / seg)};
      if (on()) {
        cur.push_back(m);
        if (cur.size() > 1) out.push_back(cur);
        cur.clear();
      }
      seg -= left;
      a = m;
      idx = (idx + 1) % pattern.size();
      left = pattern[idx];
      if (on()) cur = {m};
    }
  }
  if (on() && cur.size() > 1) out.push_back(std::move(cur));
  return out;
}

}  // namespace

void Span(Target& t, LONG y, LONG x0, LONG x1, const Ink& ink, int rop2) {
  const bool deep = Deep(t.surface);
  for (const RECTL& c : t.clip) {
    if (y < c.top || y >= c.bottom) continue;
    const LONG a = std::max(x0, c.left), b = std::min(x1, c.right);
    if (deep) {
      if (a < b) DeepSpan(t.surface, y, a, b, ink, rop2, t.redFirst);
      continue;
    }
    for (LONG x = a; x < b; ++x) PutPixel(t.surface, x, y, ink, rop2, t.redFirst);
  }
}

void Plot(Target& t, LONG x, LONG y, const Ink& ink, int rop2) {
  if (InClip(t, x, y)) PutPixel(t.surface, x, y, ink, rop2, t.redFirst);
}

bool MakeTarget(SURFOBJ* pso, Target& target) {
  if (!pso || (pso->iBitmapFormat != BMF_1BPP && !Deep(pso)) || !pso->pvScan0 || pso->sizlBitmap.cx <= 0 ||
      pso->sizlBitmap.cy <= 0)
    return false;
  target.surface = pso;
  target.redFirst = Deep(pso) && plat::engine::RedFirst(pso);
  target.clip = {RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy}};
  return true;
}

std::vector<Figure> Flatten(PATHOBJ* ppo) {
  std::vector<Figure> out;
  const std::vector<SubPath>* data = PathData(ppo);
  if (!data) return out;
  for (const SubPath& sp : *data) {
    Figure f;
    f.closed = sp.closed;
    if (sp.points.empty()) continue;
    auto P = [](const POINTFIX& p) { return Point{p.x / 16.0, p.y / 16.0}; };
    f.points.push_back(P(sp.points[0]));
    if (sp.beziers) {
      for (std::size_t i = 1; i + 2 < sp.points.size(); i += 3)
        FlattenBezier(P(sp.points[i - 1]), P(sp.points[i]), P(sp.points[i + 1]), P(sp.points[i + 2]), 0,
                      f.points);
    } else {
      for (std::size_t i = 1; i < sp.points.size(); ++i) f.points.push_back(P(sp.points[i]));
    }
    out.push_back(std::move(f));
  }
  return out;
}

void ForEachSpan(const std::vector<Figure>& figures, bool winding, LONG width, LONG height,
                 const std::function<void(LONG y, LONG x0, LONG x1)>& span) {
  std::vector<Edge> edges;
  for (const Figure& f : figures) {
    const std::size_t n = f.points.size();
    for (std::size_t i = 0; i < n; ++i) {
      const Point a = f.points[i], b = f.points[(i + 1) % n];
      if (a.y == b.y) continue;
      edges.push_back(a.y < b.y ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1});
    }
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  // Rows whose centre y + 0.5 lies in [y0, y1) of an edge.
  auto firstRow = [](double y) { return static_cast<LONG>(std::clamp(std::ceil(y - 0.5), -1.0, 2147483000.0)); };
  LONG y = std::max<LONG>(0, firstRow(edges.front().y0));
  double maxY = 0;
  for (const Edge& e : edges) maxY = std::max(maxY, e.y1);
  const LONG yEnd = std::min<LONG>(height, firstRow(maxY));
  std::size_t next = 0;
  std::vector<const Edge*> active;
  std::vector<std::pair<double, int>> xs;
  for (; y < yEnd; ++y) {
    const double yc = y + 0.5;
    while (next < edges.size() && edges[next].y0 <= yc) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const Edge* e) { return e->y1 <= yc; }),
                 active.end());
    xs.clear();
    for (const Edge* e : active)
      if (e->y0 <= yc) xs.emplace_back(e->x0 + (yc - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0), e->dir);
    // Most rows cross two edges: no sort call for them.
    if (xs.size() == 2) {
      if (xs[1] < xs[0]) std::swap(xs[0], xs[1]);
    } else {
      std::sort(xs.begin(), xs.end());
    }
    int wind = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      wind = winding ? wind + xs[i].second : wind ^ 1;
      if (wind == 0) continue;
      const double lo = std::clamp(xs[i].first, -1.0, static_cast<double>(width) + 1);
      const double hi = std::clamp(xs[i + 1].first, -1.0, static_cast<double>(width) + 1);
      const LONG x0 = std::max<LONG>(0, static_cast<LONG>(std::ceil(lo - 0.5)));
      const LONG x1 = std::min<LONG>(width, static_cast<LONG>(std::ceil(hi - 0.5)));
      if (x0 < x1) span(y, x0, x1);
    }
  }
}

void FillFigures(Target& t, const std::vector<Figure>& figures, bool winding, const Ink& ink, int rop2) {
  ForEachSpan(figures, winding, t.surface->sizlBitmap.cx, t.surface->sizlBitmap.cy,
              [&](LONG y, LONG x0, LONG x1) { Span(t, y, x0, x1, ink, rop2); });
}

std::vector<RECTL> Region(const std::vector<Figure>& figures, bool winding, LONG width, LONG height) {
  // Spans of one row that repeat those of the row above grow their rectangle.
  std::vector<RECTL> out;
  std::vector<std::size_t> open, current;
  LONG row = -1;
  ForEachSpan(figures, winding, width, height, [&](LONG y, LONG x0, LONG x1) {
    if (y != row) {
      open = (y == row + 1) ? current : std::vector<std::size_t>{};
      current.clear();
      row = y;
    }
    for (std::size_t i : open)
      if (out[i].left == x0 && out[i].right == x1 && out[i].bottom == y) {
        out[i].bottom = y + 1;
        current.push_back(i);
        return;
      }
    out.push_back(RECTL{x0, y, x1, y + 1});
    current.push_back(out.size() - 1);
  });
  return out;
}

LONG GridLine::Count() const { return std::max(std::labs(x1 - x0), std::labs(y1 - y0)); }

void GridLine::Pixel(LONG i, LONG& x, LONG& y) const {
  const long long dMajor = xMajor ? x1 - x0 : y1 - y0;
  const long long dMinor = xMajor ? y1 - y0 : x1 - x0;
  const long long adMajor = std::llabs(dMajor);
  const int sMajor = dMajor < 0 ? -1 : 1;
  // Minor offset rounded to the nearest, halves toward the start.
  const long long num = 2LL * i * dMinor;
  long long minor = 0;
  if (adMajor > 0) {
    minor = num >= 0 ? (num + adMajor - 1) / (2 * adMajor) : -((-num + adMajor - 1) / (2 * adMajor));
  }
  if (xMajor) {
    x = static_cast<LONG>(x0 + sMajor * i);
    y = static_cast<LONG>(y0 + minor);
  } else {
    y = static_cast<LONG>(y0 + sMajor * i);
    x = static_cast<LONG>(x0 + minor);
  }
}

GridLine ToGrid(Point a, Point b) {
  auto r = [](double v) { return static_cast<LONG>(std::floor(v + 0.5)); };
  GridLine g{r(a.x), r(a.y), r(b.x), r(b.y), false};
  g.xMajor = std::labs(g.x1 - g.x0) >= std::labs(g.y1 - g.y0);
  return g;
}

void StrokeCosmetic(Target& t, const std::vector<Figure>& figures, const LINEATTRS& la, LONG xStep, LONG yStep,
                    LONG denStep, const Ink& ink, int rop2) {
  std::vector<long long> style;
  if ((la.fl & LA_STYLED) && la.pstyle && la.cstyle > 0)
    for (ULONG i = 0; i < la.cstyle && i < 64; ++i) style.push_back(std::max<LONG>(0, la.pstyle[i].l));
  long long cycle = 0;
  for (long long v : style) cycle += v * std::max<LONG>(1, denStep);
  const bool alternate = (la.fl & LA_ALTERNATE) != 0;
  long long pos = la.elStyleState.l;
  for (const Figure& f : figures) {
    if (f.resetStyle) pos = la.elStyleState.l;
    Polyline pts = f.points;
    if (f.closed && pts.size() > 1) pts.push_back(pts.front());
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
      const GridLine g = ToGrid(pts[i], pts[i + 1]);
      const LONG count = g.Count();
      const LONG step = std::max<LONG>(1, g.xMajor ? xStep : yStep);
      for (LONG k = 0; k < count; ++k, pos += step) {
        bool on = true;
        if (alternate) {
          on = (pos / step) % 2 == 0;
        } else if (cycle > 0) {
          long long p = pos % cycle;
          std::size_t e = 0;
          while (p >= style[e] * std::max<LONG>(1, denStep)) p -= style[e++] * std::max<LONG>(1, denStep);
          on = ((e % 2) == 0) != ((la.fl & LA_STARTGAP) != 0);
        }
        if (!on) continue;
        LONG x, y;
        g.Pixel(k, x, y);
        if (InClip(t, x, y)) PutPixel(t.surface, x, y, ink, rop2, t.redFirst);
      }
    }
  }
}

std::vector<Figure> Widen(const std::vector<Figure>& figures, const LINEATTRS& la, LONG surfaceWidth,
                          LONG surfaceHeight) {
  std::vector<Figure> out;
  const double width = la.elWidth.e > 0 ? la.elWidth.e : 1.0;
  const double hw = width / 2;
  // A dash within a pen's reach (and a miter's) of the surface may show.
  const double reach = hw * std::max(1.0, static_cast<double>(la.eMiterLimit)) + 2;
  const DashArea area{-reach, -reach, surfaceWidth + reach, surfaceHeight + reach};
  std::vector<double> pattern;
  if ((la.fl & LA_STYLED) && la.pstyle && la.cstyle > 0)
    for (ULONG i = 0; i < la.cstyle && i < 64; ++i) pattern.push_back(std::max(0.0f, la.pstyle[i].e));
  double total = 0;
  for (double v : pattern) total += v;
  for (const Figure& f : figures) {
    if (total > 0) {
      for (Polyline& dash : Dashes(f, pattern, la.elStyleState.e, (la.fl & LA_STARTGAP) != 0, area))
        WidenPiece(out, std::move(dash), false, la, hw);
    } else {
      WidenPiece(out, f.points, f.closed, la, hw);
    }
  }
  return out;
}

}  // namespace plat::engine::raster
