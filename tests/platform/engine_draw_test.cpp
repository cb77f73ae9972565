// The engine's drawing objects and its own drawing on 1-bit surfaces: paths,
// brushes, clip lines, fills, cosmetic and geometric strokes, against cairo's
// aliased rasteriser on the same geometry.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "plat/engine_draw.h"
#include "plat/gdi.h"
#include "support/peer.h"

#ifdef HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

using plat::engine::SubPath;

POINTFIX Fx(double x, double y) { return POINTFIX{static_cast<FIX>(std::lround(x * 16)), static_cast<FIX>(std::lround(y * 16))}; }

// A white top-down 1-bit surface.
struct Surface {
  int w, h;
  HBITMAP bm;
  SURFOBJ* so;
  Surface(int width, int height) : w(width), h(height) {
    bm = EngCreateBitmap(SIZEL{w, h}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr);
    so = EngLockSurface(reinterpret_cast<HSURF>(bm));
    RECTL all{0, 0, w, h};
    EngEraseSurface(so, &all, 1);
  }
  ~Surface() {
    EngUnlockSurface(so);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
  bool Ink(int x, int y) const {
    auto* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
    return (row[x / 8] & (0x80 >> (x % 8))) == 0;
  }
  std::string Rows() const {
    std::string s;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) s += Ink(x, y) ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  int Count() const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += Ink(x, y);
    return n;
  }
};

struct Path {
  PATHOBJ* po;
  explicit Path(const std::vector<SubPath>& sp) : po(plat::engine::CreatePath(sp)) {}
  ~Path() { plat::engine::DeletePath(po); }
};

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(BRUSHOBJ* b) : bo(b) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
};

SubPath Poly(std::initializer_list<std::pair<double, double>> pts, bool closed = true, bool beziers = false) {
  SubPath sp;
  for (auto [x, y] : pts) sp.points.push_back(Fx(x, y));
  sp.closed = closed;
  sp.beziers = beziers;
  return sp;
}

TEST(EnginePath, EnumerationBoundsAndFlags) {
  Path p({Poly({{1, 1}, {5, 1}, {5, 4}}), Poly({{0, 0}, {2, 0}, {2, 2}, {0.5, 3}}, false, true)});
  EXPECT_EQ(p.po->fl & PO_BEZIERS, PO_BEZIERS);
  EXPECT_EQ(p.po->fl & PO_ALL_INTEGERS, 0u);
  PATHOBJ_vEnumStart(p.po);
  PATHDATA pd;
  EXPECT_TRUE(PATHOBJ_bEnum(p.po, &pd));
  EXPECT_EQ(pd.count, 3u);
  EXPECT_EQ(pd.flags, PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | PD_CLOSEFIGURE);
  EXPECT_EQ(pd.pptfx[1].x, 80);
  EXPECT_FALSE(PATHOBJ_bEnum(p.po, &pd)) << "the last record comes with FALSE";
  EXPECT_EQ(pd.count, 4u);
  EXPECT_EQ(pd.flags & PD_BEZIERS, PD_BEZIERS);
  EXPECT_FALSE(PATHOBJ_bEnum(p.po, &pd));
  EXPECT_EQ(pd.count, 0u);
  RECTFX b;
  PATHOBJ_vGetBounds(p.po, &b);
  EXPECT_EQ(b.xLeft, 0);
  EXPECT_EQ(b.yTop, 0);
  EXPECT_EQ(b.xRight, 80);
  EXPECT_EQ(b.yBottom, 64);
}

TEST(EngineFill, PixelCentresInsideAlternateAndWinding) {
  // Two overlapping squares drawn the same way round: winding fills the
  // overlap, alternate leaves it white.
  for (bool winding : {false, true}) {
    Surface s(10, 6);
    Path p({Poly({{0, 0}, {6, 0}, {6, 4}, {0, 4}}), Poly({{3, 2}, {9, 2}, {9, 6}, {3, 6}})});
    Brush black(plat::engine::CreateSolidBrush(0));
    ASSERT_TRUE(EngFillPath(s.so, p.po, nullptr, black.bo, nullptr, R2_COPYPEN,
                            winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
    EXPECT_EQ(s.Rows(), winding ? "######....\n"
                                  "######....\n"
                                  "#########.\n"
                                  "#########.\n"
                                  "...######.\n"
                                  "...######.\n"
                                : "######....\n"
                                  "######....\n"
                                  "###...###.\n"
                                  "###...###.\n"
                                  "...######.\n"
                                  "...######.\n");
  }
}

TEST(EngineFill, ColoursDitherByLuminanceAnchoredToThePage) {
  Surface s(32, 32);
  Path p({Poly({{0, 0}, {32, 0}, {32, 32}, {0, 32}})});
  struct Case {
    ULONG rgb;
    int dots;  // of 1024
  };
  for (const Case c : {Case{0x000000, 1024}, Case{0xFFFFFF, 0}, Case{0x808080, 512}}) {
    RECTL all{0, 0, 32, 32};
    EngEraseSurface(s.so, &all, 1);
    Brush b(plat::engine::CreateSolidBrush(c.rgb));
    ASSERT_TRUE(EngFillPath(s.so, p.po, nullptr, b.bo, nullptr, R2_COPYPEN, FP_ALTERNATEMODE));
    EXPECT_NEAR(s.Count(), c.dots, 16) << std::hex << c.rgb;
  }
}

TEST(EngineStroke, CosmeticLinesOnTheIntegerGrid) {
  Surface s(8, 5);
  Path p({Poly({{0, 0}, {5, 0}, {7, 4}}, false)});
  Brush black(plat::engine::CreateSolidBrush(0));
  ASSERT_TRUE(EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, nullptr, R2_COPYPEN));
  EXPECT_EQ(s.Rows(),
            "######..\n"
            ".....#..\n"
            "......#.\n"
            "......#.\n"
            "........\n")
      << "the last pixel of the path excluded";
  // XOR twice restores.
  const std::string once = s.Rows();
  EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, nullptr, R2_NOT);
  EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, nullptr, R2_NOT);
  EXPECT_EQ(s.Rows(), once);
}

TEST(EngineStroke, CosmeticStylesInStyleSteps) {
  Surface s(24, 1);
  Path p({Poly({{0, 0}, {24, 0}}, false)});
  Brush black(plat::engine::CreateSolidBrush(0));
  FLOAT_LONG style[2];
  style[0].l = 2;
  style[1].l = 1;
  LINEATTRS la{};
  la.fl = LA_STYLED;
  la.elWidth.l = 1;
  la.cstyle = 2;
  la.pstyle = style;
  // Without a device the style unit is one dot.
  ASSERT_TRUE(EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN));
  EXPECT_EQ(s.Rows(), "##.##.##.##.##.##.##.##.\n");
  la.fl = LA_STYLED | LA_STARTGAP;
  RECTL all{0, 0, 24, 1};
  EngEraseSurface(s.so, &all, 1);
  EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN);
  EXPECT_EQ(s.Rows(), "..#..#..#..#..#..#..#..#\n");
}

TEST(EngineClipLines, RunsOfPixelIndicesFromA) {
  Surface s(10, 10);
  // From outside the surface in, and a line wholly outside.
  Path p({Poly({{-3, 2}, {6, 2}}, false), Poly({{20, 20}, {30, 20}}, false), Poly({{4, 8}, {4, 12}}, false)});
  PATHOBJ_vEnumStartClipLines(p.po, nullptr, s.so, nullptr);
  alignas(8) BYTE buffer[sizeof(CLIPLINE) + 8 * sizeof(RUN)];
  auto* cl = reinterpret_cast<CLIPLINE*>(buffer);
  ASSERT_TRUE(PATHOBJ_bEnumClipLines(p.po, sizeof(buffer), cl));
  EXPECT_EQ(cl->ptfxA.x, -48);
  EXPECT_EQ(cl->ptfxB.x, 96);
  ASSERT_EQ(cl->c, 1u);
  EXPECT_EQ(cl->arun[0].iStart, 3);
  EXPECT_EQ(cl->arun[0].iStop, 8);
  EXPECT_FALSE(PATHOBJ_bEnumClipLines(p.po, sizeof(buffer), cl)) << "the last line comes with FALSE";
  ASSERT_EQ(cl->c, 1u);
  EXPECT_EQ(cl->arun[0].iStart, 0);
  EXPECT_EQ(cl->arun[0].iStop, 1);
  EXPECT_FALSE(PATHOBJ_bEnumClipLines(p.po, sizeof(buffer), cl));
  EXPECT_EQ(cl->c, 0u);
}

TEST(EngineBrush, RealizedOnceThroughTheDriverTable) {
  static int calls = 0;
  static ULONG lastHatch = 0;
  struct Driver {
    static BOOL Realize(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ*, ULONG hatch) {
      ++calls;
      lastHatch = hatch;
      auto* r = static_cast<LONG*>(BRUSHOBJ_pvAllocRbrush(pbo, 8));
      if (!r) return FALSE;
      r[0] = pattern->sizlBitmap.cx;
      r[1] = pattern->sizlBitmap.cy;
      return TRUE;
    }
  };
  HDEV dev = plat::engine::CreateDevice(nullptr);
  DRVFN table[] = {{INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&Driver::Realize)}};
  plat::engine::SetDeviceDriver(dev, table, 1);
  HBITMAP hatchBits = EngCreateBitmap(SIZEL{32, 32}, 4, BMF_1BPP, BMF_TOPDOWN, nullptr);
  std::vector<HSURF> hatches(6, reinterpret_cast<HSURF>(hatchBits));
  plat::engine::SetDeviceHatches(dev, hatches.data(), 6);
  Surface s(16, 16);
  ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(s.bm), dev, 0));

  Brush solid(plat::engine::CreateSolidBrush(0x0000FF));
  EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(solid.bo), 0x0000FFu);
  plat::engine::UseBrushOn(solid.bo, s.so);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(solid.bo), nullptr);

  Brush hatch(plat::engine::CreateHatchBrush(HS_CROSS, 0xFF0000, 0xFFFFFF));
  EXPECT_EQ(hatch.bo->iSolidColor, 0xFFFFFFFFu);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(hatch.bo), nullptr) << "no surface yet";
  plat::engine::UseBrushOn(hatch.bo, s.so);
  auto* r = static_cast<LONG*>(BRUSHOBJ_pvGetRbrush(hatch.bo));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r[0], 32);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(hatch.bo), r);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lastHatch, HS_CROSS);

  HBITMAP pat = EngCreateBitmap(SIZEL{10, 10}, 0, BMF_8BPP, BMF_TOPDOWN, nullptr);
  Brush pattern(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(pat), {0, 0xFFFFFF}));
  plat::engine::UseBrushOn(pattern.bo, s.so);
  r = static_cast<LONG*>(BRUSHOBJ_pvGetRbrush(pattern.bo));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r[0], 10);
  EXPECT_EQ(lastHatch, HS_DDI_MAX);
  EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(pattern.bo, 0), nullptr);

  EngDeleteSurface(reinterpret_cast<HSURF>(pat));
  EngDeleteSurface(reinterpret_cast<HSURF>(hatchBits));
  plat::engine::DeleteDevice(dev);
}

// A device that gives no hatch surfaces gets the engine's own 8 x 8 hatch
// lines, bit 0 the hatch colour.
TEST(EngineBrush, OwnHatchesForADeviceWithout) {
  static std::string rows;
  static ULONG lastHatch = 0;
  struct Driver {
    static BOOL Realize(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ*, ULONG hatch) {
      lastHatch = hatch;
      rows.clear();
      for (LONG y = 0; y < pattern->sizlBitmap.cy; ++y) {
        const BYTE* row = static_cast<const BYTE*>(pattern->pvScan0) + static_cast<std::ptrdiff_t>(y) * pattern->lDelta;
        for (LONG x = 0; x < pattern->sizlBitmap.cx; ++x) rows += (row[x / 8] & (0x80 >> (x % 8))) ? '.' : '#';
        rows += '\n';
      }
      return BRUSHOBJ_pvAllocRbrush(pbo, 8) != nullptr;
    }
  };
  HDEV dev = plat::engine::CreateDevice(nullptr);
  DRVFN table[] = {{INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&Driver::Realize)}};
  plat::engine::SetDeviceDriver(dev, table, 1);
  const HSURF none[6] = {};
  plat::engine::SetDeviceHatches(dev, none, 6);
  Surface s(16, 16);
  ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(s.bm), dev, 0));
  const std::size_t surfaces = plat::engine::LiveSurfaceCount();
  Brush hatch(plat::engine::CreateHatchBrush(HS_FDIAGONAL, 0xFF0000, 0xFFFFFF));
  plat::engine::UseBrushOn(hatch.bo, s.so);
  ASSERT_NE(BRUSHOBJ_pvGetRbrush(hatch.bo), nullptr);
  EXPECT_EQ(lastHatch, HS_FDIAGONAL);
  EXPECT_EQ(rows, "#.......\n.#......\n..#.....\n...#....\n....#...\n.....#..\n......#.\n.......#\n");
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), surfaces) << "the engine's own hatch surface is gone again";
  plat::engine::DeleteDevice(dev);
}

// Regions reach a device surface that does not hook paints as pattern blits
// (the mix's ROP2s as the ROP4); with paint-as-blt any surface does.
TEST(GdiPage, RegionsAsPatternBlitsOnDeviceSurfaces) {
  static std::vector<std::string> calls;
  struct Driver {
    static BOOL Paint(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX mix) {
      calls.push_back("Paint " + std::to_string(mix));
      return TRUE;
    }
    static BOOL BitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ*, RECTL* prcl, POINTL*, POINTL*,
                       BRUSHOBJ*, POINTL*, ROP4 rop4) {
      char text[80];
      std::snprintf(text, sizeof text, "BitBlt %lx %ld,%ld,%ld,%ld clip %d", static_cast<unsigned long>(rop4),
                    static_cast<long>(prcl->left), static_cast<long>(prcl->top), static_cast<long>(prcl->right),
                    static_cast<long>(prcl->bottom), pco ? pco->iDComplexity : -1);
      calls.push_back(text);
      return TRUE;
    }
  };
  HDEV dev = plat::engine::CreateDevice(nullptr);
  DRVFN table[] = {{INDEX_DrvPaint, reinterpret_cast<PFN>(&Driver::Paint)},
                   {INDEX_DrvBitBlt, reinterpret_cast<PFN>(&Driver::BitBlt)}};
  plat::engine::SetDeviceDriver(dev, table, 2);
  struct Case {
    USHORT type;
    FLONG hooks;
    bool asBlt;
    MIX mix;
    const char* call;
  };
  const Case cases[] = {
      {STYPE_BITMAP, HOOK_PAINT | HOOK_BITBLT, false, 13, "Paint 13"},
      {STYPE_DEVICE, HOOK_PAINT | HOOK_BITBLT, false, 13, "Paint 13"},
      {STYPE_DEVICE, HOOK_BITBLT, false, 13, "BitBlt f0f0 2,3,12,9 clip 3"},
      {STYPE_BITMAP, HOOK_PAINT | HOOK_BITBLT, true, 7, "BitBlt 5a5a 2,3,12,9 clip 3"},
      {STYPE_BITMAP, HOOK_BITBLT, true, 0x0D06, "BitBlt f055 2,3,12,9 clip 3"},
      {STYPE_BITMAP, HOOK_BITBLT, true, 1, "BitBlt 0 2,3,12,9 clip 3"},
  };
  for (const Case& c : cases) {
    Surface s(16, 16);
    ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(s.bm), dev, c.hooks));
    s.so->iType = c.type;
    calls.clear();
    plat::gdi::Page page(s.so);
    page.SetPaintAsBlt(c.asBlt);
    Brush black(plat::engine::CreateSolidBrush(0));
    EXPECT_TRUE(page.PaintRegion({RECTL{2, 3, 6, 9}, RECTL{8, 3, 12, 5}}, black.bo, c.mix));
    EXPECT_EQ(calls, std::vector<std::string>{c.call}) << c.mix;
    s.so->iType = STYPE_BITMAP;
  }
  plat::engine::DeleteDevice(dev);
}

// A dashed wide stroke running millions of dots past the surface costs what
// its visible part costs, and its dashes keep their phase: it draws what the
// same pattern over a short path draws (both start a whole number of
// 14-dot cycles before x = 4).
TEST(EngineStroke, DashesFarPastTheSurfaceKeepTheirPhase) {
  constexpr double kFar = 14.0 * 1000000;
  struct Case {
    const char* what;
    std::pair<double, double> from, to, shortFrom, shortTo;
  } cases[] = {
      {"from far left", {4 - kFar, 32}, {60, 32}, {4 - 28, 32}, {60, 32}},
      {"to far right", {4, 32}, {4 + kFar, 32}, {4, 32}, {4 + 14 * 8, 32}},
      {"far down", {4, 4}, {4, 4 + kFar}, {4, 4}, {4, 4 + 14 * 8}},
  };
  for (const Case& c : cases) {
    std::vector<FLOAT_LONG> style(2);
    style[0].e = 9;
    style[1].e = 5;
    LINEATTRS la{};
    la.fl = LA_GEOMETRIC | LA_STYLED;
    la.iJoin = JOIN_ROUND;
    la.iEndCap = ENDCAP_ROUND;
    la.elWidth.e = 4;
    la.eMiterLimit = 10;
    la.cstyle = 2;
    la.pstyle = style.data();
    Brush black(plat::engine::CreateSolidBrush(0));
    Surface reference(64, 64), far(64, 64);
    Path shortPath({Poly({c.shortFrom, c.shortTo}, false)}), farPath({Poly({c.from, c.to}, false)});
    ASSERT_TRUE(EngStrokePath(reference.so, shortPath.po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(EngStrokePath(far.so, farPath.po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(far.Rows(), reference.Rows()) << c.what;
    EXPECT_GT(far.Count(), 100) << c.what;
    EXPECT_LT(seconds, 2.0) << c.what;
  }
}

#ifdef HAVE_CAIRO
// The same geometry through cairo, aliased, on an A1 surface.
struct CairoPicture {
  int w, h;
  cairo_surface_t* surface;
  cairo_t* cr;
  CairoPicture(int width, int height) : w(width), h(height) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_A1, w, h);
    cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_tolerance(cr, 0.05);
  }
  ~CairoPicture() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  bool Ink(int x, int y) {
    cairo_surface_flush(surface);
    const auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(row)[x / 32];
    return ((word >> (x % 32)) & 1) != 0;
  }
  void Trace(const std::vector<SubPath>& subpaths) {
    for (const SubPath& sp : subpaths) {
      auto P = [](const POINTFIX& p) { return std::pair<double, double>{p.x / 16.0, p.y / 16.0}; };
      cairo_move_to(cr, P(sp.points[0]).first, P(sp.points[0]).second);
      if (sp.beziers) {
        for (std::size_t i = 1; i + 2 < sp.points.size(); i += 3)
          cairo_curve_to(cr, sp.points[i].x / 16.0, sp.points[i].y / 16.0, sp.points[i + 1].x / 16.0,
                         sp.points[i + 1].y / 16.0, sp.points[i + 2].x / 16.0, sp.points[i + 2].y / 16.0);
      } else {
        for (std::size_t i = 1; i < sp.points.size(); ++i)
          cairo_line_to(cr, sp.points[i].x / 16.0, sp.points[i].y / 16.0);
      }
      if (sp.closed) cairo_close_path(cr);
    }
  }
};

// Pixels that differ must sit on the outline: cairo's own picture has both
// ink and white within one dot of them.
int OffEdgeDifferences(const Surface& s, CairoPicture& c, int* total) {
  int off = 0;
  *total = 0;
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) {
      if (s.Ink(x, y) == c.Ink(x, y)) continue;
      ++*total;
      bool ink = false, white = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= s.w || ny >= s.h) continue;
          (c.Ink(nx, ny) ? ink : white) = true;
        }
      if (!(ink && white)) ++off;
    }
  return off;
}

TEST(EngineAgainstCairo, FillsExactForIntegerRectanglesNearElsewhere) {
  struct Case {
    std::vector<SubPath> path;
    bool winding;
    bool exact;
  };
  const Case cases[] = {
      {{Poly({{3, 4}, {40, 4}, {40, 30}, {3, 30}}), Poly({{10, 10}, {20, 10}, {20, 50}, {10, 50}})}, true, true},
      {{Poly({{3, 4}, {40, 4}, {40, 30}, {3, 30}}), Poly({{10, 10}, {20, 10}, {20, 50}, {10, 50}})}, false, true},
      // A five-pointed star: the centre differs between the rules.
      {{Poly({{32, 2}, {50, 60}, {3, 24}, {61, 24}, {14, 60}})}, true, false},
      {{Poly({{32, 2}, {50, 60}, {3, 24}, {61, 24}, {14, 60}})}, false, false},
      {{Poly({{5.3, 7.7}, {58.1, 3.2}, {44.4, 61.9}, {9.9, 40.25}})}, false, false},
      {{Poly({{4, 60}, {4, 4}, {60, 4}, {60, 60}}, true, true)}, true, false},
  };
  for (const Case& c : cases) {
    Surface s(64, 64);
    Path p(c.path);
    Brush black(plat::engine::CreateSolidBrush(0));
    ASSERT_TRUE(EngFillPath(s.so, p.po, nullptr, black.bo, nullptr, R2_COPYPEN,
                            c.winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
    CairoPicture cp(64, 64);
    cp.Trace(c.path);
    cairo_set_fill_rule(cp.cr, c.winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cp.cr);
    int total = 0;
    EXPECT_EQ(OffEdgeDifferences(s, cp, &total), 0);
    if (c.exact) {
      EXPECT_EQ(total, 0);
    }
    EXPECT_GT(s.Count(), 100);
  }
}

TEST(EngineAgainstCairo, WideDashedAndCurvedStrokes) {
  struct Case {
    std::vector<SubPath> path;
    float width;
    ULONG join, cap;
    std::vector<float> dashes;
  };
  const Case cases[] = {
      {{Poly({{8, 8}, {56, 8}, {56, 40}, {20, 56}}, false)}, 6, JOIN_ROUND, ENDCAP_ROUND, {}},
      {{Poly({{8, 8}, {56, 8}, {56, 40}, {20, 56}}, false)}, 6, JOIN_BEVEL, ENDCAP_SQUARE, {}},
      {{Poly({{8, 8}, {56, 8}, {56, 40}, {20, 56}}, false)}, 6, JOIN_MITER, ENDCAP_BUTT, {}},
      {{Poly({{10, 10}, {54, 14}, {30, 54}})}, 5, JOIN_MITER, ENDCAP_BUTT, {}},
      {{Poly({{4, 32}, {60, 32}}, false)}, 4, JOIN_ROUND, ENDCAP_BUTT, {9, 5}},
      {{Poly({{6, 50}, {10, 0}, {54, 0}, {58, 50}}, false, true)}, 3, JOIN_ROUND, ENDCAP_ROUND, {}},
  };
  for (const Case& c : cases) {
    Surface s(64, 64);
    Path p(c.path);
    Brush black(plat::engine::CreateSolidBrush(0));
    std::vector<FLOAT_LONG> style(c.dashes.size());
    for (std::size_t i = 0; i < c.dashes.size(); ++i) style[i].e = c.dashes[i];
    LINEATTRS la{};
    la.fl = LA_GEOMETRIC | (c.dashes.empty() ? 0 : LA_STYLED);
    la.iJoin = c.join;
    la.iEndCap = c.cap;
    la.elWidth.e = c.width;
    la.eMiterLimit = 10;
    la.cstyle = static_cast<ULONG>(style.size());
    la.pstyle = style.empty() ? nullptr : style.data();
    ASSERT_TRUE(EngStrokePath(s.so, p.po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN));
    CairoPicture cp(64, 64);
    cp.Trace(c.path);
    cairo_set_line_width(cp.cr, c.width);
    cairo_set_line_join(cp.cr, c.join == JOIN_ROUND   ? CAIRO_LINE_JOIN_ROUND
                               : c.join == JOIN_BEVEL ? CAIRO_LINE_JOIN_BEVEL
                                                      : CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(cp.cr, c.cap == ENDCAP_ROUND    ? CAIRO_LINE_CAP_ROUND
                              : c.cap == ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                       : CAIRO_LINE_CAP_BUTT);
    cairo_set_miter_limit(cp.cr, 10);
    std::vector<double> d(c.dashes.begin(), c.dashes.end());
    if (!d.empty()) cairo_set_dash(cp.cr, d.data(), static_cast<int>(d.size()), 0);
    cairo_stroke(cp.cr);
    int total = 0;
    EXPECT_EQ(OffEdgeDifferences(s, cp, &total), 0) << "width " << c.width << " join " << c.join;
    EXPECT_LT(total, s.Count() / 4) << "width " << c.width << " join " << c.join;
  }
}
#else
TEST(EngineAgainstCairo, NeedsCairo) { REQUIRE_PEER(false, "libcairo2-dev"); }
#endif

}  // namespace
