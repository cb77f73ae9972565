// Lines, paths, paints and brushes drawn through the GDI front into the ink
// planes of a real device record, on one and two drums.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/source_bands.h"
#include "pdev_fixture.h"
#include "planes/plane_ops.h"
#include "plat/engine_draw.h"
#include "plat/gdi.h"
#include "render/brush_patterns.h"
#include "render/drawing_entries.h"
#include "render/driver_table.h"
#include "render/render_surface.h"
#include "support/render_pdev.h"

namespace {

using plat::engine::SubPath;

POINTFIX Fx(LONG x, LONG y) { return POINTFIX{x * 16, y * 16}; }

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(BRUSHOBJ* b) : bo(b) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
};

class DrawingPaths : public pdevtest::PrinterFixture {
 protected:
  // A device and page surface wired to the engine as a print host does.
  void Start(PrivateDevmode dm) {
    pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    plat::engine::SetDeviceDriver(hdev, render::DriverTable().data(), render::kDriverTableSize);
    plat::engine::SetDeviceHatches(hdev, patterns, 6);
    ASSERT_NE(DrvEnableSurface(reinterpret_cast<DHPDEV>(pdev)), nullptr);
    so = pdev->surfaceObject;
    page = std::make_unique<plat::gdi::Page>(so);
  }
  void TearDown() override {
    page.reset();
    if (pdev) {
      DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
      DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
    }
    PrinterFixture::TearDown();
  }
  static PrivateDevmode TwoInks(int separationMode) {
    PrivateDevmode dm = pdevtest::BaseDevmode();
    dm.Settings.ColorMode = 2;
    dm.Settings.Seihan = 2;
    dm.Settings.SeparationModeA = static_cast<std::uint8_t>(separationMode);
    dm.Settings.SeparationModeB = static_cast<std::uint8_t>(separationMode);
    return dm;
  }
  bool Ink(const BYTE* plane, LONG x, LONG y) const { return testsupport::InkAt(plane, pdev->planeStride, x, y); }
  int Count(const BYTE* plane, LONG l, LONG t, LONG r, LONG b) const {  // exclusive, cut to the plane
    return testsupport::InkCount(plane, pdev->planeStride, pdev->planeWidth, pdev->planeHeight, l, t, r, b);
  }
  int CountAll(const BYTE* plane) const { return Count(plane, 0, 0, pdev->planeWidth, pdev->planeHeight); }
  bool Logged(const std::string& line) const {
    for (const std::string& l : page->Log())
      if (l == line) return true;
    return false;
  }

  RenderPdev* pdev = nullptr;
  SURFOBJ* so = nullptr;
  std::unique_ptr<plat::gdi::Page> page;
};

TEST_F(DrawingPaths, OneInkGreyIsThirtyThreeDotsACell) {
  Start(pdevtest::BaseDevmode());
  ASSERT_EQ(pdev->drum1Plane, pdev->drum2Plane);
  Brush grey(plat::engine::CreateSolidBrush(0x808080));
  ASSERT_TRUE(page->PaintRegion({RECTL{64, 64, 128, 96}}, grey.bo, R2_COPYPEN));
  EXPECT_TRUE(Logged("DrvPaint 1 -> TRUE"));
  for (LONG y = 64; y < 96; y += 8)
    for (LONG x = 64; x < 128; x += 8) EXPECT_EQ(Count(pdev->drum2Plane, x, y, x + 8, y + 8), 33);
  EXPECT_EQ(CountAll(pdev->drum2Plane), 33 * 8 * 4);
}

TEST_F(DrawingPaths, TwoInksRouteColoursToTheirDrums) {
  Start(TwoInks(6));
  ASSERT_NE(pdev->drum1Plane, pdev->drum2Plane);
  Brush red(plat::engine::CreateSolidBrush(0x0000FF));
  Brush blue(plat::engine::CreateSolidBrush(0xFF0000));
  ASSERT_TRUE(page->PaintRegion({RECTL{0, 0, 32, 32}}, red.bo, R2_COPYPEN));
  EXPECT_EQ(Count(pdev->drum1Plane, 0, 0, 32, 32), 1024) << "red on drum 1 at density 254";
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 0, 32, 32), 0);
  ASSERT_TRUE(page->PaintRegion({RECTL{64, 0, 96, 32}}, blue.bo, R2_COPYPEN));
  EXPECT_EQ(Count(pdev->drum2Plane, 64, 0, 72, 8), 56) << "blue on drum 2 at density 226, level 56";
  EXPECT_EQ(Count(pdev->drum1Plane, 64, 0, 96, 32), 0);
  // Red over blue: the copy whitens drum 2 under it.
  ASSERT_TRUE(page->PaintRegion({RECTL{64, 0, 80, 32}}, red.bo, R2_COPYPEN));
  EXPECT_EQ(Count(pdev->drum2Plane, 64, 0, 80, 32), 0);
  EXPECT_EQ(Count(pdev->drum1Plane, 64, 0, 80, 32), 512);
  EXPECT_GT(Count(pdev->drum2Plane, 80, 0, 96, 32), 0);
}

TEST_F(DrawingPaths, PaintThroughThreeHundredRectangles) {
  Start(pdevtest::BaseDevmode());
  std::vector<RECTL> clip;
  for (int i = 0; i < 300; ++i) {
    const LONG x = (i % 20) * 10, y = (i / 20) * 10;
    clip.push_back(RECTL{x, y, x + 3 + i % 5, y + 2 + i % 7});
  }
  page->SetClip(clip);
  Brush black(plat::engine::CreateSolidBrush(0));
  ASSERT_TRUE(page->PaintRegion({RECTL{-50, -50, 5000, 5000}}, black.bo, R2_COPYPEN));
  int expected = 0;
  for (const RECTL& r : clip) expected += (r.right - r.left) * (r.bottom - r.top);
  EXPECT_EQ(CountAll(pdev->drum2Plane), expected);
  EXPECT_TRUE(Logged("DrvPaint 300 -> TRUE"));
  for (const RECTL& r : clip) EXPECT_EQ(Count(pdev->drum2Plane, r.left, r.top, r.right, r.bottom), (r.right - r.left) * (r.bottom - r.top));
}

TEST_F(DrawingPaths, FillsInBothModesGoThroughPaint) {
  Start(pdevtest::BaseDevmode());
  Brush black(plat::engine::CreateSolidBrush(0));
  SubPath a{{Fx(0, 0), Fx(60, 0), Fx(60, 40), Fx(0, 40)}, true, false};
  SubPath b{{Fx(30, 20), Fx(90, 20), Fx(90, 60), Fx(30, 60)}, true, false};
  ASSERT_TRUE(page->FillPath({a, b}, black.bo, R2_COPYPEN, false));
  EXPECT_TRUE(Logged("DrvFillPath 2 -> FALSE"));
  EXPECT_EQ(Count(pdev->drum2Plane, 30, 20, 60, 40), 0) << "alternate leaves the overlap";
  EXPECT_EQ(CountAll(pdev->drum2Plane), 2400 + 2400 - 2 * 600);
  ASSERT_TRUE(page->FillPath({a, b}, black.bo, R2_COPYPEN, true));
  EXPECT_EQ(CountAll(pdev->drum2Plane), 2400 + 2400 - 600);
}

TEST_F(DrawingPaths, LineToDrawsOnceAndReturnsTrue) {
  Start(pdevtest::BaseDevmode());
  // A white pen XORed inverts: drawn twice it would vanish.
  Brush white(plat::engine::CreateSolidBrush(0xFFFFFF));
  ASSERT_TRUE(page->LineTo(10, 5, 40, 5, white.bo, R2_XORPEN));
  EXPECT_TRUE(Logged("DrvLineTo 1 -> TRUE"));
  EXPECT_EQ(page->Log().size(), 1u);
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 5, 100, 6), 32) << "10..40 and the drawer's one-dot extension";
}

TEST_F(DrawingPaths, LinesAndPaintsPastEveryEdgeStayInThePlane) {
  Start(TwoInks(6));
  const LONG w = pdev->planeWidth, h = pdev->planeHeight;
  Brush red(plat::engine::CreateSolidBrush(0x0000FF));
  // The padding bits of each row and the other plane's bytes are watched.
  const std::vector<BYTE> drum2Before(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * h);
  RECTL bounds{-100, -100, w + 100, h + 100};
  EXPECT_TRUE(DrvLineTo(so, nullptr, red.bo, -100, -100, w + 100, h + 100, &bounds, R2_COPYPEN));
  EXPECT_TRUE(DrvLineTo(so, nullptr, red.bo, w + 100, 3, -100, 3, &bounds, R2_COPYPEN));
  EXPECT_TRUE(DrvLineTo(so, nullptr, red.bo, w - 1, -50, w - 1, h + 50, &bounds, R2_COPYPEN));
  CLIPOBJ* clip = plat::engine::CreateClip(&bounds, 1);
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(DrvPaint(so, clip, red.bo, nullptr, R2_COPYPEN));
  plat::engine::DeleteClip(clip);
  EXPECT_EQ(CountAll(pdev->drum1Plane), w * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = w; x < pdev->planeStride * 8; ++x) ASSERT_FALSE(Ink(pdev->drum1Plane, x, y)) << x << "," << y;
  EXPECT_EQ(std::vector<BYTE>(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * h), drum2Before);
  // A line wholly outside its bounds returns TRUE without drawing.
  RECTL small{0, 0, 5, 5};
  EXPECT_TRUE(DrvLineTo(so, nullptr, red.bo, 10, 10, 20, 20, &small, R2_WHITE));
  EXPECT_EQ(CountAll(pdev->drum1Plane), w * h);
}

TEST_F(DrawingPaths, LineToLeavesComplexClipsToTheEngine) {
  Start(pdevtest::BaseDevmode());
  std::vector<RECTL> clip = {RECTL{0, 0, 20, 20}, RECTL{30, 0, 50, 20}};
  page->SetClip(clip);
  Brush black(plat::engine::CreateSolidBrush(0));
  ASSERT_TRUE(page->LineTo(0, 10, 60, 10, black.bo, R2_COPYPEN));
  EXPECT_TRUE(Logged("DrvLineTo 1 -> FALSE"));
  EXPECT_TRUE(Logged("DrvStrokePath 1 -> TRUE"));
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 10, 100, 11), 40);
  EXPECT_EQ(Count(pdev->drum2Plane, 20, 10, 30, 11), 0);
}

TEST_F(DrawingPaths, CosmeticStrokesByTheLibrary) {
  Start(pdevtest::BaseDevmode());
  Brush black(plat::engine::CreateSolidBrush(0));
  LINEATTRS la{};
  la.elWidth.l = 1;
  SubPath path{{Fx(2, 2), Fx(12, 2), Fx(12, 8)}, false, false};
  ASSERT_TRUE(page->StrokePath({path}, la, black.bo, R2_COPYPEN));
  EXPECT_TRUE(Logged("DrvStrokePath 2 -> TRUE"));
  // Runs 2..11 of the first line and 2..7 of the second, each with the
  // drawer's one-dot extension: x 2..12 on row 2, rows 2..8 at x 12.
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 2, 100, 3), 11);
  EXPECT_EQ(Count(pdev->drum2Plane, 12, 3, 13, 100), 6);
}

TEST_F(DrawingPaths, WideDashedAndCurvedStrokesMatchTheEngine) {
  Start(pdevtest::BaseDevmode());
  Brush black(plat::engine::CreateSolidBrush(0));
  FLOAT_LONG dashes[2];
  dashes[0].e = 9;
  dashes[1].e = 4;
  struct Case {
    SubPath path;
    LINEATTRS la;
  };
  LINEATTRS wide{};
  wide.fl = LA_GEOMETRIC;
  wide.iJoin = JOIN_MITER;
  wide.iEndCap = ENDCAP_SQUARE;
  wide.elWidth.e = 5;
  wide.eMiterLimit = 10;
  LINEATTRS dashed = wide;
  dashed.fl |= LA_STYLED;
  dashed.cstyle = 2;
  dashed.pstyle = dashes;
  dashed.iJoin = JOIN_ROUND;
  LINEATTRS curve = wide;
  curve.iJoin = JOIN_BEVEL;
  curve.iEndCap = ENDCAP_ROUND;
  const Case cases[] = {
      {SubPath{{Fx(10, 10), Fx(120, 14), Fx(60, 90)}, false, false}, wide},
      {SubPath{{Fx(10, 50), Fx(150, 50)}, false, false}, dashed},
      {SubPath{{Fx(10, 100), Fx(40, 20), Fx(100, 20), Fx(140, 100)}, false, true}, curve},
  };
  for (const Case& c : cases) {
    RECTL all{0, 0, pdev->planeWidth, pdev->planeHeight};
    EngEraseSurface(so, &all, 1);
    ASSERT_TRUE(page->StrokePath({c.path}, c.la, black.bo, R2_COPYPEN));
    // The engine's own stroke of the same path on a bitmap of the same size.
    HBITMAP bm = EngCreateBitmap(so->sizlBitmap, so->lDelta, BMF_1BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* ref = EngLockSurface(reinterpret_cast<HSURF>(bm));
    EngEraseSurface(ref, &all, 1);
    PATHOBJ* po = plat::engine::CreatePath({c.path});
    LINEATTRS la = c.la;
    ASSERT_TRUE(EngStrokePath(ref, po, nullptr, nullptr, black.bo, nullptr, &la, R2_COPYPEN));
    plat::engine::DeletePath(po);
    // The page's outline is in 28.4, the engine's in doubles: only dots on
    // the reference's edge may differ.
    const int ink = CountAll(pdev->drum2Plane);
    EXPECT_GT(ink, 300);
    auto refInk = [&](LONG x, LONG y) {
      if (x < 0 || y < 0 || x >= pdev->planeWidth || y >= pdev->planeHeight) return false;
      return (static_cast<const BYTE*>(ref->pvScan0)[y * ref->lDelta + x / 8] & (0x80 >> (x % 8))) == 0;
    };
    int differ = 0, offEdge = 0;
    for (LONG y = 0; y < 160; ++y)
      for (LONG x = 0; x < 200; ++x) {
        if (refInk(x, y) == Ink(pdev->drum2Plane, x, y)) continue;
        ++differ;
        bool a = false, b = false;
        for (LONG dy = -1; dy <= 1; ++dy)
          for (LONG dx = -1; dx <= 1; ++dx) (refInk(x + dx, y + dy) ? a : b) = true;
        offEdge += !(a && b);
      }
    EXPECT_EQ(offEdge, 0);
    EXPECT_LT(differ, ink / 50);
    EXPECT_EQ(CountAll(pdev->drum2Plane), Count(pdev->drum2Plane, 0, 0, 200, 160));
    EngUnlockSurface(ref);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
  EXPECT_TRUE(Logged("DrvStrokePath 2 -> FALSE"));
  EXPECT_TRUE(Logged("DrvFillPath 3 -> FALSE")) << "the widened stroke goes to the fill entry";
}

TEST_F(DrawingPaths, DrumOnePenStrokesOnItsPlaneAndPutsRowsBack) {
  Start(TwoInks(6));
  Brush red(plat::engine::CreateSolidBrush(0x0000FF));
  Brush blue(plat::engine::CreateSolidBrush(0xFF0000));
  ASSERT_TRUE(page->PaintRegion({RECTL{0, 0, 64, 64}}, blue.bo, R2_COPYPEN));
  // Drum-1 ink in the exchanged rows above the stroke and beside it stays.
  ASSERT_TRUE(page->PaintRegion({RECTL{150, 26, 160, 30}, RECTL{300, 30, 310, 31}}, red.bo, R2_COPYPEN));
  const std::vector<BYTE> drum2(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * pdev->planeHeight);
  FLOAT_LONG style[2];
  style[0].l = 3;
  style[1].l = 1;
  LINEATTRS la{};
  la.fl = LA_STYLED;
  la.elWidth.l = 1;
  la.cstyle = 2;
  la.pstyle = style;
  SubPath path{{Fx(100, 30), Fx(200, 30)}, false, false};
  ASSERT_TRUE(page->StrokePath({path}, la, red.bo, R2_COPYPEN));
  EXPECT_TRUE(Logged("DrvStrokePath 1 -> TRUE"));
  // Dashes of 3 on, 1 off, red dithered by the engine.
  const int dots = Count(pdev->drum1Plane, 100, 30, 200, 31);
  EXPECT_GT(dots, 30);
  EXPECT_LE(dots, 75);
  EXPECT_EQ(Count(pdev->drum1Plane, 150, 26, 160, 30), 40);
  EXPECT_EQ(Count(pdev->drum1Plane, 300, 30, 310, 31), 10);
  EXPECT_EQ(CountAll(pdev->drum1Plane), dots + 50);
  EXPECT_EQ(std::vector<BYTE>(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * pdev->planeHeight), drum2);
  EXPECT_EQ(pdev->drawing.strokeSwapped, 0);
  EXPECT_EQ(pdev->drawing.strokeSaved, nullptr);
  EXPECT_EQ(pdev->planesSwapped, 0) << "the emitter's flag is not the stroke's";
}

// A closed square of 4 lines with a cosmetic outline.
const SubPath kSquare{{Fx(10, 10), Fx(50, 10), Fx(50, 50), Fx(10, 50)}, true, false};

LINEATTRS CosmeticPen() {
  LINEATTRS la{};
  la.elWidth.l = 1;
  return la;
}

TEST_F(DrawingPaths, StrokeAndFillOnOneDrum) {
  Start(pdevtest::BaseDevmode());
  Brush black(plat::engine::CreateSolidBrush(0));
  ASSERT_TRUE(page->StrokeAndFillPath({kSquare}, CosmeticPen(), black.bo, black.bo, R2_COPYPEN, false));
  EXPECT_TRUE(Logged("DrvStrokeAndFillPath 4 -> TRUE"));
  EXPECT_EQ(Count(pdev->drum2Plane, 10, 10, 50, 50), 1600);
  EXPECT_GT(Count(pdev->drum2Plane, 50, 10, 52, 52), 30) << "the outline's right and bottom edges";
}

TEST_F(DrawingPaths, StrokeAndFillOnTwoDrumsLeftToTheEngine) {
  Start(TwoInks(6));
  Brush red(plat::engine::CreateSolidBrush(0x0000FF));
  Brush black(plat::engine::CreateSolidBrush(0));
  ASSERT_TRUE(page->StrokeAndFillPath({kSquare}, CosmeticPen(), black.bo, red.bo, R2_COPYPEN, false));
  EXPECT_TRUE(Logged("DrvStrokeAndFillPath 4 -> FALSE"));
  EXPECT_TRUE(Logged("DrvPaint 1 -> TRUE"));
  EXPECT_TRUE(Logged("DrvStrokePath 4 -> TRUE"));
  // The red fill on drum 1; the black outline on drum 2.
  EXPECT_GT(Count(pdev->drum1Plane, 11, 11, 49, 49), 1400);
  EXPECT_EQ(Count(pdev->drum2Plane, 11, 11, 49, 49), 0);
  EXPECT_GT(Count(pdev->drum2Plane, 10, 10, 51, 11), 38);
}

TEST_F(DrawingPaths, RealizedBrushRecords) {
  Start(pdevtest::BaseDevmode());
  struct Case {
    ULONG format;
    LONG width;
    std::vector<BYTE> firstRow;  // of the pattern surface, bottom-up storage
    std::int32_t storedFormat;
    std::int32_t rowBytes;
    std::vector<BYTE> storedRow;
  };
  // 16 bpp red (5-5-5 0x7C00) and 32 bpp blue are stored blue, green, red.
  const Case cases[] = {
      {BMF_1BPP, 10, {0xC0, 0x40}, BMF_1BPP, 4, {0xC0, 0x40}},
      {BMF_4BPP, 3, {0x12, 0x30}, BMF_4BPP, 4, {0x12, 0x30}},
      {BMF_8BPP, 2, {7, 9}, BMF_8BPP, 4, {7, 9}},
      {BMF_16BPP, 1, {0x00, 0x7C}, BMF_24BPP, 4, {0x00, 0x00, 0xF8}},
      {BMF_24BPP, 1, {1, 2, 3}, BMF_24BPP, 4, {1, 2, 3}},
      {BMF_32BPP, 1, {0xFF, 0, 0, 0}, BMF_24BPP, 4, {0xFF, 0, 0}},
  };
  for (const Case& c : cases) {
    const LONG h = 3;
    HBITMAP bm = EngCreateBitmap(SIZEL{c.width, h}, 0, c.format, 0, nullptr);
    ASSERT_NE(bm, nullptr);
    SURFOBJ* pat = EngLockSurface(reinterpret_cast<HSURF>(bm));
    std::memcpy(pat->pvScan0, c.firstRow.data(), c.firstRow.size());  // the top row, stored last
    std::vector<ULONG> palette = {0x000000, 0xFFFFFF};
    palette.resize(c.format == BMF_4BPP ? 16 : c.format == BMF_8BPP ? 256 : 2, 0xFFFFFF);
    Brush b(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(bm), palette));
    plat::engine::UseBrushOn(b.bo, so);
    const auto* rb = static_cast<const RealizedBrush*>(BRUSHOBJ_pvGetRbrush(b.bo));
    ASSERT_NE(rb, nullptr) << c.format;
    EXPECT_EQ(rb->width, c.width);
    EXPECT_EQ(rb->height, h);
    EXPECT_EQ(rb->format, c.storedFormat) << c.format;
    const bool converted = c.format == BMF_16BPP || c.format == BMF_32BPP;
    EXPECT_EQ(rb->flags & BMF_TOPDOWN, converted ? BMF_TOPDOWN : 0);
    EXPECT_EQ(rb->hatch, static_cast<std::int32_t>(HS_DDI_MAX));
    EXPECT_EQ(rb->paletteOffset, 32 + c.rowBytes * h);
    EXPECT_EQ(rb->paletteCount, c.format <= BMF_8BPP ? static_cast<std::int32_t>(palette.size()) : 0);
    EXPECT_EQ(std::vector<BYTE>(RealizedBrushRows(rb), RealizedBrushRows(rb) + c.storedRow.size()), c.storedRow)
        << c.format;
    EXPECT_EQ(pdev->drawing.hatchMarker, HS_DDI_MAX + 1);
    EngUnlockSurface(pat);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
  // A hatch brush: the device's 32 x 32 surface with {colour, background}.
  Brush hatch(plat::engine::CreateHatchBrush(HS_CROSS, 0x0000FF, 0xFFFFFF));
  plat::engine::UseBrushOn(hatch.bo, so);
  const auto* rb = static_cast<const RealizedBrush*>(BRUSHOBJ_pvGetRbrush(hatch.bo));
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(rb->width, 32);
  EXPECT_EQ(rb->format, static_cast<std::int32_t>(BMF_1BPP));
  EXPECT_EQ(rb->hatch, static_cast<std::int32_t>(HS_CROSS));
  ASSERT_EQ(rb->paletteCount, 2);
  EXPECT_EQ(RealizedBrushPalette(rb)[0], 0x0000FFu);
  EXPECT_EQ(RealizedBrushPalette(rb)[1], 0xFFFFFFu);
  EXPECT_EQ(pdev->drawing.hatchMarker, HS_CROSS + 1);
}

TEST_F(DrawingPaths, PatternBrushesKeepWholeBytesAndTheirPlate) {
  Start(TwoInks(6));
  // A 10 x 10 one-bit brush of two colours on different plates.
  HBITMAP bm = EngCreateBitmap(SIZEL{10, 10}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr);
  Brush b(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(bm), {0x0000FF, 0xFF0000}));
  plat::engine::UseBrushOn(b.bo, so);
  SIZEL size{8, 8};
  BYTE* bits = RealizePattern(pdev, b.bo, &size, FALSE);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(size.cx, 40) << "widths repeat to a whole number of bytes";
  EXPECT_EQ(size.cy, 10);
  const int g = pdev->separationModes[1];
  const int defaultPlate = SeparationDefaultPlate[g] ? 2 : 1;
  EXPECT_EQ(pdev->drawing.plateSelector, defaultPlate == 2 ? 1 : 2) << "entries on both plates take the other plate";
  EXPECT_EQ(pdev->drawing.hatchMarker, 0);
  GlobalFree(bits);
  // The same with both entries red: their shared plate.
  Brush r(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(bm), {0x0000FF, 0x0000FF}));
  plat::engine::UseBrushOn(r.bo, so);
  bits = RealizePattern(pdev, r.bo, &size, FALSE);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(pdev->drawing.plateSelector, 1);
  GlobalFree(bits);
  EXPECT_TRUE(page->PaintRegion({RECTL{0, 0, 40, 40}}, r.bo, R2_COPYPEN));
  EXPECT_TRUE(Logged("DrvPaint 1 -> TRUE"));
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

// Blits, stretches and text through the front: each reaches its hooked
// entry; text inks its glyphs (white on the other drum), DSTINVERT inverts,
// a one-bit copy lands dot for dot.
TEST_F(DrawingPaths, BlitsStretchesAndTextReachTheirEntries) {
  for (bool two : {false, true}) {
    Start(two ? TwoInks(6) : pdevtest::BaseDevmode());
    if (two) {
      ASSERT_NE(pdev->drum1Plane, pdev->drum2Plane);
    }
    Brush black(plat::engine::CreateSolidBrush(0));
    FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 24);
    ASSERT_NE(font, nullptr);
    const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
    std::memset(pdev->drum1Plane, 0xFF, planeBytes);
    std::memset(pdev->drum2Plane, 0xFF, planeBytes);
    // Black goes to the drum its separation mode names; the other drum is
    // inked beforehand and comes out white under every glyph dot.
    BRUSHOBJ* probe = black.bo;
    RenderPdev& d = *pdev;
    BYTE* pattern = BrushToPatternWide(&d, probe, 8, 8, 0, FALSE);
    GlobalFree(pattern);
    BYTE* inked = d.drawing.plateSelector == 1 ? d.drum1Plane : d.drum2Plane;
    BYTE* other = inked == d.drum1Plane ? d.drum2Plane : d.drum1Plane;
    if (two) std::memset(other, 0x00, static_cast<std::size_t>(pdev->planeStride) * 40);
    ASSERT_TRUE(page->TextOut(font, u"Hi", 10, 30, black.bo));
    EXPECT_TRUE(Logged("DrvTextOut 2 -> TRUE"));
    const int glyphInk = Count(inked, 0, 0, 60, 40);
    EXPECT_GT(glyphInk, 20);
    if (two) {
      EXPECT_EQ(Count(other, 0, 0, 60, 40), 60 * 40 - glyphInk);
    }
    ASSERT_TRUE(page->PatBlt(RECTL{100, 0, 120, 10}, nullptr, 0x55));
    const BYTE* inverted = (two && d.separationModes[2] == 0) ? d.drum1Plane : d.drum2Plane;
    EXPECT_EQ(Count(inverted, 100, 0, 120, 10), 200);
    std::vector<BYTE> bits(4 * 8, 0xFF);
    bits[0] = 0x0F;  // row 0: four black dots, then white
    HBITMAP bm = EngCreateBitmap(SIZEL{16, 8}, 4, BMF_1BPP, BMF_TOPDOWN, bits.data());
    SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(bm));
    ASSERT_TRUE(page->BitBlt(src, {0x000000, 0xFFFFFF}, 203, 50, 0xCC, nullptr));
    EXPECT_TRUE(Logged("DrvCopyBits 1 -> TRUE"));
    BYTE* copied = two && MonoCopyPlate[d.separationModes[1]] ? pdev->drum1Plane : pdev->drum2Plane;
    EXPECT_EQ(Count(copied, 203, 50, 219, 58), 4);
    EXPECT_EQ(Count(copied, 203, 50, 207, 51), 4);
    ASSERT_TRUE(page->BitBlt(src, {0x000000, 0xFFFFFF}, 300, 50, 0x88, nullptr));
    EXPECT_TRUE(Logged("DrvBitBlt 1 -> TRUE"));
    ASSERT_TRUE(page->StretchBlt(src, {0x000000, 0xFFFFFF}, RECTL{432, 70, 400, 86}, RECTL{0, 0, 16, 8}));
    EXPECT_TRUE(Logged("DrvStretchBlt 1 -> TRUE"));
    EngUnlockSurface(src);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
    plat::engine::DeleteFont(font);
    TearDown();
    pdev = nullptr;
    PrinterFixture::SetUp();
  }
}

}  // namespace

namespace {

// A 24-bit picture of red, black, white and grey 100 stretched and copied on
// a two-drum sheet in image separation mode 2: red inks drum 1 only, black
// and grey drum 2 only (grey lighter), white nothing.
class TwoInkPictures : public DrawingPaths {};

TEST_F(TwoInkPictures, SeparateOntoBothDrums) {
  PrivateDevmode dm = TwoInks(6);
  dm.Settings.SeparationModeB = 2;
  dm.Settings.SeparationKind = 1;  // the user's own mode, whatever the drums' inks
  Start(dm);
  ASSERT_EQ(pdev->separationModes[2], 2);
  const LONG w = 32, h = 8;  // four 8-dot squares: red, black, white, grey
  const LONG stride = 3 * w;
  std::vector<BYTE> bits(static_cast<std::size_t>(stride) * h);
  const BYTE colours[4][3] = {{0, 0, 255}, {0, 0, 0}, {255, 255, 255}, {100, 100, 100}};  // blue, green, red
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) std::memcpy(&bits[static_cast<std::size_t>(y * stride + 3 * x)], colours[x / 8], 3);
  HBITMAP bm = EngCreateBitmap(SIZEL{w, h}, stride, BMF_24BPP, BMF_TOPDOWN, bits.data());
  SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(bm));
  const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  for (bool stretch : {false, true}) {
    SCOPED_TRACE(stretch ? "stretched twice" : "copied");
    std::memset(pdev->drum1Plane, 0xFF, planeBytes);
    std::memset(pdev->drum2Plane, 0xFF, planeBytes);
    const LONG scale = stretch ? 2 : 1, left = 64, top = 16;
    if (stretch)
      ASSERT_TRUE(page->StretchBlt(src, {}, RECTL{left, top, left + 2 * w, top + 2 * h}, RECTL{0, 0, w, h}));
    else
      ASSERT_TRUE(page->BitBlt(src, {}, left, top, 0xCC, nullptr));
    const LONG side = 8 * scale, rows = h * scale;
    auto square = [&](const BYTE* plane, int i) { return Count(plane, left + i * side, top, left + (i + 1) * side, top + rows); };
    const int all = side * rows;
    EXPECT_GT(square(pdev->drum1Plane, 0), all * 9 / 10) << "red";
    EXPECT_EQ(square(pdev->drum2Plane, 0), 0) << "red";
    EXPECT_EQ(square(pdev->drum1Plane, 1), 0) << "black";
    EXPECT_GT(square(pdev->drum2Plane, 1), all * 9 / 10) << "black";
    EXPECT_EQ(square(pdev->drum1Plane, 2) + square(pdev->drum2Plane, 2), 0) << "white";
    EXPECT_EQ(square(pdev->drum1Plane, 3), 0) << "grey";
    EXPECT_GT(square(pdev->drum2Plane, 3), all / 4) << "grey";
    EXPECT_LT(square(pdev->drum2Plane, 3), all * 9 / 10) << "grey";
    EXPECT_EQ(CountAll(pdev->drum1Plane) + CountAll(pdev->drum2Plane),
              square(pdev->drum1Plane, 0) + square(pdev->drum2Plane, 1) + square(pdev->drum2Plane, 3))
        << "nothing outside the picture";
  }
  EngUnlockSurface(src);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

// PATCOPY of a two-colour pattern brush on two inks: black on one drum, red
// on the other, each only inside the destination and the page's clip.
TEST_F(DrawingPaths, PatCopyOfAPatternBrushPutsEachColourOnItsDrum) {
  Start(TwoInks(6));
  std::vector<BYTE> rows(4 * 8, 0);
  for (int y = 0; y < 8; ++y) rows[4 * y] = 0x0F;  // columns 0..3 index 0 (black), 4..7 index 1 (red)
  HBITMAP bm = EngCreateBitmap(SIZEL{8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, rows.data());
  Brush b(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(bm), {0x000000, 0x0000FF}));
  const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  std::memset(pdev->drum1Plane, 0xFF, planeBytes);
  std::memset(pdev->drum2Plane, 0xFF, planeBytes);
  page->SetClip({RECTL{0, 0, 40, 200}, RECTL{56, 0, 200, 200}});
  ASSERT_TRUE(page->PatBlt(RECTL{16, 8, 80, 40}, b.bo, 0xF0));
  EXPECT_TRUE(Logged("DrvBitBlt 1 -> TRUE"));
  const bool blackOnDrum1 = Ink(pdev->drum1Plane, 16, 8);
  const BYTE* blackPlane = blackOnDrum1 ? pdev->drum1Plane : pdev->drum2Plane;
  const BYTE* redPlane = blackOnDrum1 ? pdev->drum2Plane : pdev->drum1Plane;
  int red = 0;
  for (LONG y = 0; y < 60; ++y)
    for (LONG x = 0; x < 120; ++x) {
      const bool inside = x >= 16 && x < 80 && y >= 8 && y < 40 && (x < 40 || x >= 56);
      const bool blackDot = x % 8 < 4;
      ASSERT_EQ(Ink(blackPlane, x, y), inside && blackDot) << x << "," << y;
      if (!inside || blackDot) {
        ASSERT_FALSE(Ink(redPlane, x, y)) << x << "," << y;
      }
      red += Ink(redPlane, x, y);
    }
  EXPECT_GT(red, 0);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

// A cached stretch whose rectangular clip is the visible part of a
// destination hanging off the page is cut to the clip, the source in
// proportion: the picture's black half lands where it would have.
TEST_F(DrawingPaths, CachedStretchIsCutToItsRectangularClip) {
  Start(pdevtest::BaseDevmode());
  pdev->imageCaching = 1;
  pdev->photoMode = 1;
  // 24 bpp, 20 x 10: columns 0..9 black, 10..19 white.
  const LONG w = 20, h = 10, stride = 60;
  std::vector<BYTE> bits(stride * h, 0xFF);
  for (LONG y = 0; y < h; ++y) std::memset(bits.data() + y * stride, 0, 30);
  HBITMAP bm = EngCreateBitmap(SIZEL{w, h}, stride, BMF_24BPP, BMF_TOPDOWN, bits.data());
  SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(bm));
  const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  std::memset(pdev->drum2Plane, 0xFF, planeBytes);
  page->SetClip({RECTL{0, 0, 30, 20}});
  ASSERT_TRUE(page->StretchBlt(src, {}, RECTL{-10, 0, 30, 20}, RECTL{0, 0, w, h}));
  ASSERT_TRUE(FlushImageIfPending(pdev));  // the cached picture goes down
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 0, 10, 20), 200);
  EXPECT_EQ(Count(pdev->drum2Plane, 10, 0, 40, 30), 0);
  EXPECT_EQ(Count(pdev->drum2Plane, 0, 20, 10, 30), 0);
  EngUnlockSurface(src);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}


// A stretch is converted only where the page and the clip can show it: a
// 1 x 1 picture stretched to 16,000,000 rows takes no more memory than a
// page-high stretch (converted whole it took 1.6 GB), and a source cut in
// proportion keeps what lands where.
TEST_F(DrawingPaths, StretchFarPastThePageTakesWhatAPageHighStretchTakes) {
  Start(pdevtest::BaseDevmode());
  const LONG pageHeight = pdev->planeHeight;
  // 24 bpp, 1 x 2: black above white.
  const LONG stride = 4;
  std::vector<BYTE> bits(stride * 2, 0);
  std::memset(bits.data() + stride, 0xFF, 3);
  HBITMAP bm = EngCreateBitmap(SIZEL{1, 2}, stride, BMF_24BPP, BMF_TOPDOWN, bits.data());
  SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(bm));
  const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  // The heap the call takes at its peak beyond what was in use before it.
  auto stretch = [&](const RECTL& to, const RECTL& from) {
    std::memset(pdev->drum2Plane, 0xFF, planeBytes);
    plat::ResetHeapPeak();
    const std::size_t live = plat::HeapLiveBytes();
    EXPECT_TRUE(page->StretchBlt(src, {}, to, from));
    return plat::HeapPeakBytes() - live;
  };
  const RECTL black{0, 0, 1, 1};
  const std::size_t pageHigh = stretch(RECTL{100, 0, 140, pageHeight}, black);
  EXPECT_EQ(Count(pdev->drum2Plane, 100, 0, 140, pageHeight), 40 * pageHeight);
  const std::size_t farPast = stretch(RECTL{100, -8000000, 140, 8000000}, black);
  EXPECT_EQ(Count(pdev->drum2Plane, 100, 0, 140, pageHeight), 40 * pageHeight);
  EXPECT_EQ(CountAll(pdev->drum2Plane), 40 * pageHeight) << "nothing outside the destination";
  EXPECT_LE(farPast, pageHigh + planeBytes) << "page-high " << pageHigh << " bytes";
  // The lower half of a destination hanging above the page shows the
  // source's lower (white) row; one hanging below shows its black row.
  stretch(RECTL{100, -pageHeight, 140, pageHeight}, RECTL{0, 0, 1, 2});
  EXPECT_EQ(CountAll(pdev->drum2Plane), 0);
  stretch(RECTL{100, 0, 140, 2 * pageHeight}, RECTL{0, 0, 1, 2});
  EXPECT_EQ(Count(pdev->drum2Plane, 100, 0, 140, pageHeight), 40 * pageHeight);
  EngUnlockSurface(src);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

}  // namespace

namespace {

// On two inks a ROP of pattern and source whose source palette holds a colour
// of the other plate draws the brush on that plate; a black-and-white source
// leaves it on the brush's own.
TEST_F(DrawingPaths, PatternAndSourceRopFollowsTheSourceColourToItsDrum) {
  Start(TwoInks(6));
  Brush black(plat::engine::CreateSolidBrush(0));
  GlobalFree(BrushToPattern(pdev, black.bo, 8, 8, 0, FALSE));
  const int blackPlate = pdev->drawing.plateSelector;
  ASSERT_EQ(blackPlate, SeparationDefaultPlate[pdev->separationModes[1]] ? 2 : 1) << "black on the mode's default plate";
  std::vector<BYTE> bits(4 * 8, 0xFF);  // every dot index 1, white
  HBITMAP bm = EngCreateBitmap(SIZEL{16, 8}, 4, BMF_1BPP, BMF_TOPDOWN, bits.data());
  SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(bm));
  const std::size_t planeBytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  for (ULONG first : {0x000000u, 0x0000FFu}) {
    std::memset(pdev->drum1Plane, 0xFF, planeBytes);
    std::memset(pdev->drum2Plane, 0xFF, planeBytes);
    ASSERT_TRUE(page->BitBlt(src, {first, 0xFFFFFF}, 100, 100, 0xC0, black.bo));  // MERGECOPY: P and S
    const BYTE* own = blackPlate == 1 ? pdev->drum1Plane : pdev->drum2Plane;
    const BYTE* other = blackPlate == 1 ? pdev->drum2Plane : pdev->drum1Plane;
    const bool moved = first != 0;
    EXPECT_EQ(Count(moved ? other : own, 100, 100, 116, 108), 128) << std::hex << first;
    EXPECT_EQ(Count(moved ? own : other, 0, 0, 200, 200), 0) << std::hex << first;
  }
  EngUnlockSurface(src);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

}  // namespace
