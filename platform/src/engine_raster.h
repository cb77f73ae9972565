// The engine's own rasteriser on 1-, 24- and 32-bit surfaces: polygon fills
// at pixel centres, cosmetic lines on the integer grid, widened geometric
// strokes and the inks of brushes. One-bit surfaces take the ink dithered,
// deeper ones its own colours, each byte through the mix. Internal to the
// platform library.
#pragma once

#include <vector>

#include "plat/engine_draw.h"

namespace plat::engine::raster {

struct Point {
  double x;
  double y;
};
using Polyline = std::vector<Point>;

// A flattened subpath in pixel units (28.4 / 16).
struct Figure {
  Polyline points;
  bool closed = false;
  bool resetStyle = true;
};

// What a brush inks: solid colours and patterns by an 8 x 8 ordered dither
// of their luminance density, anchored to the page.
struct Ink {
  bool solid = true;
  ULONG rgb = 0;
  // Pattern: rgb per pixel, width x height, repeated from the page's origin.
  int width = 0;
  int height = 0;
  std::vector<ULONG> pixels;
};

// The surface bits with the rectangles drawing may touch (exclusive, already
// cut to the surface).
struct Target {
  SURFOBJ* surface = nullptr;
  std::vector<RECTL> clip;
  bool redFirst = false;  // a 24- or 32-bit surface holding red, green, blue
};

// Flattens a path's subpaths; Béziers to a quarter of a dot.
std::vector<Figure> Flatten(PATHOBJ* ppo);
// The subpaths of a path as the engine stores them.
const std::vector<SubPath>* PathData(PATHOBJ* ppo);
// The ink of a brush (its colour, hatch or pattern).
Ink InkOf(BRUSHOBJ* pbo);
// A surface the rasteriser can draw on, with the whole surface as clip.
bool MakeTarget(SURFOBJ* pso, Target& target);
// Pixels x0..x1 - 1 of row y through the clip; one pixel through the clip.
void Span(Target& t, LONG y, LONG x0, LONG x1, const Ink& ink, int rop2);
void Plot(Target& t, LONG x, LONG y, const Ink& ink, int rop2);

// Fills the polygons (every figure closed) where a pixel's centre is
// inside: alternate or winding rule.
void FillFigures(Target& t, const std::vector<Figure>& figures, bool winding, const Ink& ink, int rop2);
// The pixels a fill covers as rectangles (exclusive) inside width x height.
std::vector<RECTL> Region(const std::vector<Figure>& figures, bool winding, LONG width, LONG height);
// Cosmetic one-dot lines, last pixel of each segment excluded, styled.
void StrokeCosmetic(Target& t, const std::vector<Figure>& figures, const LINEATTRS& la, LONG xStep, LONG yStep,
                    LONG denStep, const Ink& ink, int rop2);
// The outline polygons of a geometric stroke (joins, caps, dashes), to be
// filled with the winding rule. Dashes wholly outside width x height (the
// surface) are not made, so a stroke far past the surface costs what its
// visible part costs; the pattern keeps its phase.
std::vector<Figure> Widen(const std::vector<Figure>& figures, const LINEATTRS& la, LONG width, LONG height);

// The pixels of a cosmetic segment from a to b (integer grid), last excluded.
struct GridLine {
  LONG x0, y0, x1, y1;
  bool xMajor;
  LONG Count() const;
  void Pixel(LONG i, LONG& x, LONG& y) const;
};
GridLine ToGrid(Point a, Point b);

// Drops what the drawing objects keep about a device that is deleted.
void ForgetDevice(HDEV hdev);

}  // namespace plat::engine::raster
