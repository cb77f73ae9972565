// 1,000 dashed strokes 3 dots wide and 400 dots long at random places and
// angles on a page (dashes 18 on, 9 off, mitred, butt ends): as engine paths
// with their line attributes, and drawn by cairo (RGB24, no antialiasing)
// as the peer.
#pragma once

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <random>
#include <vector>

#include "plat/engine_draw.h"

namespace benchsupport {

struct Stroke {
  double x0, y0, x1, y1;
};

inline constexpr double kDashes[2] = {18, 9};

inline std::vector<Stroke> RandomStrokes(double width, double height) {
  std::vector<Stroke> out;
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> x(200, width - 200), y(200, height - 200), a(0, 6.283185307179586);
  for (int i = 0; i < 1000; ++i) {
    const double cx = x(rng), cy = y(rng), angle = a(rng);
    out.push_back({cx - 200 * std::cos(angle), cy - 200 * std::sin(angle), cx + 200 * std::cos(angle),
                   cy + 200 * std::sin(angle)});
  }
  return out;
}

// The strokes as engine paths, with their dashed 3-dot line attributes.
struct StrokePaths {
  std::vector<PATHOBJ*> paths;
  FLOAT_LONG style[2];
  LINEATTRS la{};
  explicit StrokePaths(const std::vector<Stroke>& strokes) {
    for (const Stroke& s : strokes) {
      plat::engine::SubPath sp;
      sp.points = {POINTFIX{static_cast<FIX>(s.x0 * 16), static_cast<FIX>(s.y0 * 16)},
                   POINTFIX{static_cast<FIX>(s.x1 * 16), static_cast<FIX>(s.y1 * 16)}};
      paths.push_back(plat::engine::CreatePath({sp}));
    }
    style[0].e = static_cast<FLOATL>(kDashes[0]);
    style[1].e = static_cast<FLOATL>(kDashes[1]);
    la.fl = LA_GEOMETRIC | LA_STYLED;
    la.iJoin = JOIN_MITER;
    la.iEndCap = ENDCAP_BUTT;
    la.elWidth.e = 3;
    la.eMiterLimit = 10;
    la.cstyle = 2;
    la.pstyle = style;
  }
  StrokePaths(const StrokePaths&) = delete;
  StrokePaths& operator=(const StrokePaths&) = delete;
  ~StrokePaths() {
    for (PATHOBJ* p : paths) plat::engine::DeletePath(p);
  }
};

// The peer: cairo strokes the same geometry in one colour on a page.
inline void CairoDashedStrokes(benchmark::State& state, int width, int height, double r, double g, double b,
                               const std::vector<Stroke>& strokes) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_set_line_width(cr, 3);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_dash(cr, kDashes, 2, 0);
  for (auto _ : state)
    for (const Stroke& s : strokes) {
      cairo_move_to(cr, s.x0, s.y0);
      cairo_line_to(cr, s.x1, s.y1);
      cairo_stroke(cr);
    }
  cairo_surface_flush(surface);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace benchsupport
