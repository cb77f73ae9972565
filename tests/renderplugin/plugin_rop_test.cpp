// The plug-in's raster-operation, brush and stroke path on hand-made planes:
// the ROP truth tables, the masking-sequence rules where they differ from the
// classic path, the 8 x 8 solid patterns, coloured strokes and the density
// converter.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/density.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/source_bands.h"
#include "imaging/threshold_matrices.h"
#include "planes/plane_ops.h"
#include "planes/rop_names.h"
#include "planes/stroke_planes.h"
#include "plat/engine.h"
#include "plat/engine_clip_xlate.h"
#include "plat/engine_draw.h"
#include "render/brush_patterns.h"
#include "render/rop_blits.h"
#include "renderplugin/plugin_rop.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// One or two ink planes of a device record of either generation, with the
// render surface over the drum-2 plane.
struct Planes {
  LONG width, height, stride;
  std::vector<BYTE> bits;
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  SURFOBJ so{};
  Planes(LONG w, LONG h, bool two, bool plugin = true, BYTE fill = 0xFF)
      : width(w), height(h), stride((w + 31) / 32 * 4), bits(static_cast<std::size_t>(stride) * h * (two ? 2 : 1), fill) {
    RenderPdev& p = *pdev;
    p.headSignature = p.tailSignature = kPdevSignature;
    p.generation = plugin ? PdevGeneration::Plugin : PdevGeneration::Classic;
    p.planeWidth = w;
    p.planeHeight = h;
    p.planeStride = stride;
    p.drum2Plane = bits.data();
    p.drum1Plane = two ? bits.data() + static_cast<std::size_t>(stride) * h : bits.data();
    if (two) p.flags |= kPdevTwoPlanes;
    so.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
    so.lDelta = stride;
    so.pvScan0 = bits.data();
    so.iBitmapFormat = BMF_1BPP;
    so.sizlBitmap = SIZEL{w, h};
  }
  const BYTE* Plane(int drum) const { return drum == 1 ? pdev->drum1Plane : pdev->drum2Plane; }
  bool At(int drum, LONG x, LONG y) const { return BitAt(Plane(drum) + y * stride, x); }
  void Randomise(std::mt19937& rng) {
    for (BYTE& b : bits) b = static_cast<BYTE>(rng());
  }
  // The entries' bookkeeping around a bit-block call.
  BOOL Blit(ULONG rop4, const RECTL& target, SURFOBJ* src, BRUSHOBJ* brush, XLATEOBJ* xlate = nullptr,
            CLIPOBJ* clip = nullptr) {
    RenderPdev& p = *pdev;
    p.drawing.previousRop4 = p.drawing.rop4;
    p.drawing.rop4 = rop4;
    const BOOL ok = IsPluginPdev(&p) ? OemBrushBlt(rop4, &so, &target, src, nullptr, clip, xlate, brush)
                                     : BitBltToPlanes(rop4, &so, &target, src, nullptr, clip, xlate, brush);
    p.drawing.lastDrawnRect = target;
    return ok;
  }
};

// A one-bit source of its own.
struct Mask {
  std::vector<BYTE> bits;
  SURFOBJ so{};
  Mask(LONG w, LONG h, LONG stride) : bits(static_cast<std::size_t>(stride) * h, 0xFF) {
    so.sizlBitmap = SIZEL{w, h};
    so.lDelta = stride;
    so.pvScan0 = bits.data();
    so.iBitmapFormat = BMF_1BPP;
  }
};

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(ULONG rgb) : bo(plat::engine::CreateSolidBrush(rgb)) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
};

// Every ROP3 of a black-and-white one-bit source and a black or white brush
// follows its truth table through the plug-in's brush path on one plane,
// plainly and within a complex clip (the fast paths and 0xB8 included).
TEST(OemBrushBlt, EveryRopFollowsItsTruthTableOnOnePlane) {
  std::mt19937 rng(21);
  const LONG srcStride = 8;
  Mask src(50, 20, srcStride);
  for (BYTE& b : src.bits) b = static_cast<BYTE>(rng());
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  const RECTL clipRects[] = {{0, 0, 30, 9}, {35, 9, 90, 14}, {20, 16, 40, 40}};
  CLIPOBJ* complexClip = plat::engine::CreateClip(clipRects, 3);
  const RECTL target{11, 3, 55, 19};
  const POINTL origin{3, 2};
  for (int rop = 0; rop < 256; ++rop) {
    for (CLIPOBJ* clip : {static_cast<CLIPOBJ*>(nullptr), complexClip}) {
      const bool whiteBrush = (rop + (clip ? 1 : 0)) % 2 == 0;
      Brush brush(whiteBrush ? 0xFFFFFF : 0);
      Planes planes(80, 24, false);
      planes.Randomise(rng);
      const std::vector<BYTE> before = planes.bits;
      const ROP4 rop4 = static_cast<ROP4>(rop * 0x101);
      planes.pdev->drawing.rop4 = rop4;
      ASSERT_TRUE(OemBrushBlt(rop4, &planes.so, &target, &src.so, &origin, clip, xlate, brush.bo)) << std::hex << rop;
      int wrong = 0;
      for (LONG y = 0; y < planes.height; ++y)
        for (LONG x = 0; x < planes.width; ++x) {
          const bool d = BitAt(before.data() + y * planes.stride, x);
          bool want = d;
          bool inClip = !clip;
          for (const RECTL& r : clipRects) inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
          if (x >= target.left && x < target.right && y >= target.top && y < target.bottom && inClip) {
            const int p = whiteBrush ? 1 : 0;
            const int s = BitAt(src.bits.data() + (y - target.top + origin.y) * srcStride, x - target.left + origin.x);
            want = (rop >> ((p << 2) | (s << 1) | int{d})) & 1;
          }
          wrong += planes.At(2, x, y) != want;
        }
      EXPECT_EQ(wrong, 0) << std::hex << rop << " " << Rop3NameTable[rop] << (clip ? " clipped" : "");
    }
  }
  plat::engine::DeleteClip(complexClip);
  plat::engine::DeleteXlate(xlate);
}

// ROP4 0xB8B8 on two inks with a mask of alternating columns: the brush's
// plate shows the pattern in the mask's 0 columns and keeps its dots in the
// 1 columns; the other plate is untouched. A fill of at most 8 x 8 dots is
// solid ink where the mask is 0, however light the brush.
TEST(MaskedPatternBlt, PatternThroughAlternatingMaskColumns) {
  struct Case {
    const char* name;
    ULONG rgb;
    RECTL target;
    bool solid;  // expected pattern all ink
  } cases[] = {
      {"red 24 x 10", 0x0000FF, {5, 3, 29, 13}, false},
      {"grey 4 x 4", 0x808080, {9, 2, 13, 6}, true},
      {"grey 8 x 8", 0x808080, {8, 4, 16, 12}, true},
      {"grey 9 x 8", 0x808080, {8, 4, 17, 12}, false},
      {"grey 24 x 10", 0x808080, {5, 3, 29, 13}, false},
  };
  std::mt19937 rng(5);
  // Without a clip the blit is one pass; through a clip of two rectangles
  // that together hold the planes it is XOR, AND, XOR: both give the rule.
  const RECTL halves[] = {{0, 0, 48, 7}, {0, 7, 48, 16}};
  for (const bool complexClip : {false, true})
  for (const Case& c : cases) {
    SCOPED_TRACE(complexClip ? "complex clip" : "no clip");
    CLIPOBJ* clip = complexClip ? plat::engine::CreateClip(halves, 2) : nullptr;
    if (clip) {
      ASSERT_EQ(clip->iDComplexity, DC_COMPLEX);
    }
    Planes planes(48, 16, true);
    planes.Randomise(rng);
    const std::vector<BYTE> before = planes.bits;
    Mask mask(32, 16, 4);
    for (BYTE& b : mask.bits) b = 0x55;  // columns 0, 2, 4 ... are 0
    Brush brush(c.rgb);
    // The pattern the brush realizes, for the expectation.
    Planes probe(8, 8, true);
    SIZEL size{};
    BYTE* pattern = OemRealizePattern(probe.pdev.get(), brush.bo, &size, FALSE);
    ASSERT_NE(pattern, nullptr);
    const int drum = probe.pdev->drawing.plateSelector == 1 ? 1 : 2;
    ASSERT_TRUE(planes.Blit(0xB8B8, c.target, &mask.so, brush.bo, nullptr, clip)) << c.name;
    if (clip) plat::engine::DeleteClip(clip);
    bool anyPatternInk = false;
    for (LONG y = 0; y < planes.height; ++y)
      for (LONG x = 0; x < planes.width; ++x) {
        const bool inside = x >= c.target.left && x < c.target.right && y >= c.target.top && y < c.target.bottom;
        const bool maskZero = ((x - c.target.left) & 1) == 0;
        const bool old = BitAt(before.data() + (drum == 1 ? planes.stride * planes.height : 0) + y * planes.stride, x);
        const bool p = c.solid ? false : BitAt(pattern + (y % 8), x % 8);
        const bool want = inside && maskZero ? p : old;
        anyPatternInk |= inside && maskZero && !p;
        ASSERT_EQ(planes.At(drum, x, y), want) << c.name << " " << x << "," << y;
        const int other = drum == 1 ? 2 : 1;
        const bool otherOld =
            BitAt(before.data() + (other == 1 ? planes.stride * planes.height : 0) + y * planes.stride, x);
        ASSERT_EQ(planes.At(other, x, y), otherOld) << c.name << " other plane " << x << "," << y;
      }
    EXPECT_TRUE(anyPatternInk) << c.name;
    GlobalFree(pattern);
  }
}

// A masked pattern whose source cannot be converted fails and leaves the
// plane as it was (the first pattern pass undone).
TEST(MaskedPatternBlt, UnconvertibleSourceLeavesThePlane) {
  std::mt19937 rng(6);
  Planes planes(48, 16, false);
  planes.Randomise(rng);
  const std::vector<BYTE> before = planes.bits;
  Brush brush(0x0000FF);
  Mask noBits(16, 8, 4);
  noBits.so.pvScan0 = nullptr;
  for (SURFOBJ* src : {static_cast<SURFOBJ*>(nullptr), &noBits.so}) {
    EXPECT_FALSE(planes.Blit(0xB8B8, RECTL{3, 2, 40, 12}, src, brush.bo));
    EXPECT_EQ(planes.bits, before);
  }
}

// XOR, AND, XOR over one rectangle: the closing XOR clears the current ROP4
// before it is drawn. An AND then XOR that did not open with an XOR is not
// a masking sequence for the plug-in; the classic path clears it after
// drawing whenever the XOR meets the AND.
TEST(OemBrushBlt, ClosingXorOfAMaskingSequence) {
  struct Case {
    const char* name;
    bool plugin;
    std::vector<ULONG> rops;
    ULONG lastRop4;  // the current ROP4 after the last call
  } cases[] = {
      {"plug-in XOR AND XOR", true, {0x6666, 0x8888, 0x6666}, 0},
      {"plug-in PATCOPY AND XOR", true, {0xF0F0, 0x8888, 0x6666}, 0x6666},
      {"classic XOR AND XOR", false, {0x6666, 0x8888, 0x6666}, 0},
      {"classic PATCOPY AND XOR", false, {0xF0F0, 0x8888, 0x6666}, 0},
  };
  const RECTL target{8, 2, 40, 12};
  for (const Case& c : cases) {
    Planes planes(64, 16, false, c.plugin);
    Mask src(40, 16, 8);
    Brush brush(0);
    for (ULONG rop : c.rops) ASSERT_TRUE(planes.Blit(rop, target, &src.so, brush.bo)) << c.name;
    EXPECT_EQ(planes.pdev->drawing.rop4, c.lastRop4) << c.name;
  }
}

// PATCOPY right after an XOR over the same rectangle keeps the other plane's
// rule and draws on the plate of the image separation mode (1 for mode 0, 2
// for mode 1), the other plane whitened. The plug-in asks that the XOR holds
// the PATCOPY, where the classic path is content with a meeting one, and
// also takes a repeated PATCOPY over the XOR's rectangle.
TEST(OemBrushBlt, PatCopyAfterXorBySeparationMode) {
  struct Case {
    const char* name;
    bool plugin;
    BYTE imageMode;
    std::vector<std::pair<ULONG, RECTL>> blits;  // the last one is checked
    bool keep;
    int plate;  // 0: the brush's own
  } cases[] = {
      {"mode 0", true, 0, {{0x6666, {8, 2, 40, 12}}, {0xF0F0, {8, 2, 40, 12}}}, true, 1},
      {"mode 1", true, 1, {{0x6666, {8, 2, 40, 12}}, {0xF0F0, {10, 4, 30, 10}}}, true, 2},
      {"meeting only", true, 0, {{0x6666, {8, 2, 40, 12}}, {0xF0F0, {30, 8, 50, 14}}}, false, 0},
      {"classic meeting", false, 0, {{0x6666, {8, 2, 40, 12}}, {0xF0F0, {30, 8, 50, 14}}}, true, 1},
      {"repeated PATCOPY", true, 1, {{0x6666, {8, 2, 40, 12}}, {0xF0F0, {44, 2, 60, 6}}, {0xF0F0, {20, 6, 30, 14}}},
       true, 2},
  };
  for (const Case& c : cases) {
    Planes planes(64, 16, true, c.plugin, 0x00);
    planes.pdev->separationModes[2] = c.imageMode;
    Mask src(64, 16, 8);
    Brush brush(0x0000FF);
    for (const auto& [rop, target] : c.blits) ASSERT_TRUE(planes.Blit(rop, target, &src.so, brush.bo)) << c.name;
    EXPECT_EQ(planes.pdev->drawing.keepOtherPlane != 0, c.keep) << c.name;
    if (c.plate == 0) continue;
    EXPECT_EQ(planes.pdev->drawing.plateSelector, c.plate) << c.name;
    // Red on the plate drawn is a dither with ink; the plug-in whitens the
    // other plane (the classic fill keeps it).
    const RECTL t = c.blits.back().second;
    const int other = c.plate == 1 ? 2 : 1;
    bool ink = false;
    for (LONG y = t.top; y < t.bottom; ++y)
      for (LONG x = t.left; x < t.right; ++x) {
        ink |= !planes.At(c.plate, x, y);
        if (c.plugin) {
          ASSERT_TRUE(planes.At(other, x, y)) << c.name << " " << x << "," << y;
        }
      }
    EXPECT_TRUE(ink) << c.name;
  }
}

// MASKPEN after a source-only ROP4: the plug-in takes a black brush or one
// without a solid colour when the last blit holds the fill; in image modes
// 0 and 1 the fill keeps the other plane on the mode's plate.
TEST(OemBrushBlt, MaskPenAfterSourceOnlyRop) {
  struct Case {
    const char* name;
    bool plugin;
    RECTL fill;
    bool keep;
  } cases[] = {
      {"plug-in held", true, {8, 2, 40, 12}, true},
      {"plug-in meeting", true, {30, 8, 50, 14}, false},
      {"classic meeting", false, {30, 8, 50, 14}, true},
  };
  for (const Case& c : cases) {
    Planes planes(64, 16, true, c.plugin);
    planes.pdev->separationModes[2] = 1;
    Mask src(64, 16, 8);
    Brush brush(0);
    ASSERT_TRUE(planes.Blit(0x6666, RECTL{8, 2, 40, 12}, &src.so, brush.bo));
    ASSERT_TRUE(planes.Blit(0xA0A0, c.fill, nullptr, brush.bo));
    EXPECT_EQ(planes.pdev->drawing.keepOtherPlane != 0, c.keep) << c.name;
    if (c.keep) {
      EXPECT_EQ(planes.pdev->drawing.plateSelector, 2) << c.name;
    }
  }
}

// A PATINVERT after a SRCAND in graphics modes 0 and 1 keeps the other
// plane unless the SRCAND holds it (plug-in) or meets it (classic).
TEST(OemBrushBlt, PatInvertAfterSrcAndKeepsTheOtherPlane) {
  struct Case {
    const char* name;
    bool plugin;
    RECTL second;
    bool keep;
  } cases[] = {
      {"plug-in held", true, {10, 4, 30, 10}, false},
      {"plug-in meeting", true, {30, 8, 50, 14}, true},
      {"classic meeting", false, {30, 8, 50, 14}, false},
  };
  for (const Case& c : cases) {
    Planes planes(64, 16, true, c.plugin);
    planes.pdev->separationModes[2] = 2;  // SRCAND through the interpreter
    Mask src(64, 16, 8);
    Brush brush(0);
    ASSERT_TRUE(planes.Blit(0x8888, RECTL{8, 2, 40, 12}, &src.so, brush.bo));
    ASSERT_TRUE(planes.Blit(0x5A5A, c.second, nullptr, brush.bo));
    EXPECT_EQ(planes.pdev->drawing.keepOtherPlane != 0, c.keep) << c.name;
  }
}

// The operation rectangle is the plug-in's own: the image cache's merged
// rectangle stays as it was, and the rectangle grows while one ROP4 repeats
// over touching targets (as given, right and bottom exclusive).
TEST(OemBrushBlt, OperationRectangleOfItsOwn) {
  Planes planes(64, 16, false);
  planes.pdev->image.operationRect = PdevRect{1, 2, 3, 4};
  Mask src(64, 16, 8);
  Brush brush(0);
  ASSERT_TRUE(planes.Blit(0x6666, RECTL{8, 2, 20, 6}, &src.so, brush.bo));
  ASSERT_TRUE(planes.Blit(0x6666, RECTL{20, 2, 30, 6}, &src.so, brush.bo));
  const PdevRect& op = planes.pdev->plugin.operationRect;
  EXPECT_EQ(op.left, 8);
  EXPECT_EQ(op.right, 30);
  EXPECT_EQ(op.bottom, 6);
  EXPECT_EQ(planes.pdev->image.operationRect.right, 3);
}

// The interpreter's work buffers are the target's bytes for (height + 5)
// rows, not the page's: a long ROP at the foot of a tall plane.
TEST(OemBrushBlt, WorkBuffersAreTheTargetsSize) {
  Planes planes(64, 20000, false);
  Mask src(64, 16, 8);
  Brush brush(0x808080);
  const int rop = 0x1B;  // "SDPSxax"
  ASSERT_GT(std::strlen(Rop3NameTable[rop]), 3u);
  plat::ResetHeapPeak();
  const std::size_t base = plat::HeapLiveBytes();
  ASSERT_TRUE(planes.Blit(rop * 0x101, RECTL{3, 19980, 40, 19990}, &src.so, brush.bo));
  EXPECT_LT(plat::HeapPeakBytes() - base, 4096u);
}

// Solid brushes realize to 8 x 8 patterns in every resolution mode, black
// as all ink, white as none, others dithered from the pattern's corner;
// the classic path makes 24 x 12 in resolution mode 2.
TEST(OemRealizePattern, SolidBrushesAreEightByEight) {
  for (ULONG rgb : {0x000000u, 0xFFFFFFu, 0x808080u, 0x0000FFu}) {
    for (BYTE mode : {0, 2}) {
      Planes planes(16, 16, true);
      planes.pdev->resolutionMode = mode;
      Brush brush(rgb);
      SIZEL size{};
      BYTE* bits = OemRealizePattern(planes.pdev.get(), brush.bo, &size, FALSE);
      ASSERT_NE(bits, nullptr);
      EXPECT_EQ(size.cx, 8);
      EXPECT_EQ(size.cy, 8);
      std::uint8_t plate = 0, density = 0;
      ClassifyColourForPlates(ClassCodeOfMode(0), rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF,
                              kObjectKindGraphics, &plate, &density);
      EXPECT_EQ(planes.pdev->drawing.plateSelector, plate);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const bool want = rgb == 0 ? false : rgb == 0xFFFFFF ? true : !(imaging::BrushDither8x8[y][x] < density);
          ASSERT_EQ(BitAt(bits + y, x), want) << std::hex << rgb << " mode " << int{mode} << " " << x << "," << y;
        }
      GlobalFree(bits);
      if (mode == 2) {
        SIZEL classic{};
        BYTE* c = RealizePattern(planes.pdev.get(), brush.bo, &classic, FALSE);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(classic.cx, 24);
        EXPECT_EQ(classic.cy, 12);
        GlobalFree(c);
      }
    }
  }
}

// An 8 x 8 solid fill in resolution mode 2 repeats every 8 dots.
TEST(OemBrushBlt, SolidFillInResolutionModeTwoRepeatsEveryEightDots) {
  Planes planes(64, 32, false);
  planes.pdev->resolutionMode = 2;
  Brush brush(0x808080);
  ASSERT_TRUE(planes.Blit(0xF0F0, RECTL{0, 0, 64, 32}, nullptr, brush.bo));
  for (LONG y = 0; y < 32; ++y)
    for (LONG x = 0; x < 64; ++x) ASSERT_EQ(planes.At(2, x, y), planes.At(2, x % 8, y % 8)) << x << "," << y;
}

// The plug-in's row kernels at 300 x 600 and orientation 90 copy no pair
// rows (AND and XOR, the OR's last row); the classic ones do.
TEST(PluginBranches, NoPairRowsAtOrientationNinety) {
  const BYTE src[1] = {0x0F};
  struct Case {
    const char* name;
    RowKernel kernel;
    ULONG rop4;
    LONG top;
    LONG pairRow;  // row the classic kernel copies into
  } cases[] = {{"and", AndRowsIntoPlane, 0xCCCC, 4, 3}, {"xor", XorRowsIntoPlane, 0x6666, 4, 3},
               {"or", OrRowsIntoPlane, 0xEEEE, 5, 6}};
  for (const Case& c : cases) {
    for (bool plugin : {true, false}) {
      Planes planes(32, 9, false, plugin, 0x00);
      if (c.kernel != OrRowsIntoPlane) std::memset(planes.bits.data(), 0xFF, planes.bits.size());
      planes.pdev->resolutionMode = 2;
      planes.pdev->orientation = 90;
      planes.pdev->drawing.rop4 = c.rop4;
      const BYTE before = planes.bits[c.pairRow * planes.stride];
      c.kernel(planes.pdev.get(), planes.bits.data(), PdevRect{0, c.top, 7, c.top}, planes.stride, src,
               PdevRect{0, 0, 7, 0}, 1);
      const BYTE drawn = planes.bits[c.top * planes.stride];
      EXPECT_EQ(planes.bits[c.pairRow * planes.stride], plugin ? before : drawn) << c.name << " plug-in " << plugin;
    }
  }
}

// PATCOPY on two planes: with the keep-other-plane flag the plug-in copies
// the pattern to the other plane as well in image modes 2 and up and
// whitens it below; the classic fill keeps it.
TEST(PluginBranches, CopyPenOnTheOtherPlane) {
  struct Case {
    bool plugin;
    std::uint32_t keep;
    BYTE imageMode;
    int other;  // 0 white, 1 pattern, 2 kept
  } cases[] = {{true, 1, 2, 1}, {true, 1, 0, 0}, {true, 0, 2, 0}, {false, 1, 2, 2}, {false, 0, 0, 0}};
  const BYTE pattern[8] = {0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0};
  for (const Case& c : cases) {
    Planes planes(16, 8, true, c.plugin, 0x00);
    RenderPdev& p = *planes.pdev;
    p.drawing.keepOtherPlane = c.keep;
    p.separationModes[2] = c.imageMode;
    p.drawing.otherPlane = p.drum1Plane;
    Rop2FillPlanes(&p, PdevRect{0, 0, 7, 7}, p.drum2Plane, planes.stride, pattern, SIZEL{8, 8}, R2_COPYPEN);
    for (LONG y = 0; y < 8; ++y) {
      EXPECT_EQ(p.drum2Plane[y * planes.stride], pattern[y]);
      const BYTE want = c.other == 0 ? 0xFF : c.other == 1 ? pattern[y] : 0x00;
      EXPECT_EQ(p.drum1Plane[y * planes.stride], want) << c.plugin << " keep " << c.keep << " mode " << int{c.imageMode};
    }
  }
}

// The plug-in's conversion of sources sets the drawing bounds to the clip
// bounds, and screens an 8-bpp MERGEPAINT source onto both bands in every
// image mode (operation byte 3).
TEST(PluginBranches, SourceToPlaneFormatBoundsAndScreen) {
  Planes planes(64, 16, true);
  RenderPdev& p = *planes.pdev;
  p.separationModes[2] = 3;
  p.drawing.rop4 = kRop4MergePaint;
  p.amiLine = 100;
  p.resolutionX = 600;
  std::vector<BYTE> grey(16 * 8, 128);
  ULONG palette[256];
  for (ULONG i = 0; i < 256; ++i) palette[i] = i | (i << 8) | (i << 16);
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 256);
  const RECTL bounds{2, 1, 30, 9};
  CLIPOBJ* clip = plat::engine::CreateClip(&bounds, 1);
  LONG bandStride = 0;
  const PdevRect rect{0, 0, 15, 7};
  const PictureBands bands = SourceToPlaneFormat(&p, grey.data(), rect, 16, BMF_8BPP, rect, &bandStride,
                                                 PdevRect{4, 2, 19, 9}, xlate, TRUE, planes.stride, clip);
  ASSERT_NE(bands.first, nullptr);
  EXPECT_EQ(p.plugin.drawBounds.left, 2);
  EXPECT_EQ(p.plugin.drawBounds.right, 30);
  EXPECT_EQ(p.shared.operation, kOperationDirect);
  EXPECT_EQ(0, std::memcmp(bands.first, bands.second, static_cast<std::size_t>(bandStride) * 8));
  bool ink = false, white = false;
  for (LONG i = 0; i < bandStride * 8; ++i) ink |= bands.first[i] != 0xFF, white |= bands.first[i] != 0;
  EXPECT_TRUE(ink && white);
  GlobalFree(bands.first);
  imaging::FreeJobScreens(&p);
  plat::engine::DeleteClip(clip);
  plat::engine::DeleteXlate(xlate);
}

// 24-bit pixels to density: white 0, black 255 in either byte order; red
// and blue exchange with the order; while the operation byte is 3 each
// pixel is classified for the plates instead.
TEST(OemRgbToDensity, TableOfPixelsAndOrders) {
  const BYTE pixels[] = {255, 255, 255, 0, 0, 0, 200, 0, 0, 0, 0, 200};
  const PdevRect rect{0, 0, 3, 0};
  auto luma = [](int r, int g, int b) { return static_cast<BYTE>(255 - ((2449 * r + 4805 * g + 938 * b) >> 13)); };
  struct Case {
    int rgbOrder;
    BYTE want[4];
  } cases[] = {{0, {0, 255, luma(0, 0, 200), luma(200, 0, 0)}}, {1, {0, 255, luma(200, 0, 0), luma(0, 0, 200)}}};
  for (const Case& c : cases) {
    Planes planes(8, 1, true);
    planes.pdev->contrast = 4;  // tone as it is
    planes.pdev->brightness = 4;
    planes.pdev->plugin.rgbOrder = c.rgbOrder;
    BYTE out[4] = {1, 1, 1, 1};
    EXPECT_EQ(OemRgbToDensity(planes.pdev.get(), pixels, rect, 12, out, 4), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.want[i]) << "order " << c.rgbOrder << " pixel " << i;
    // ConvertToDensity of the plug-in goes the same way.
    BYTE viaConvert[4] = {};
    ConvertToDensity(planes.pdev.get(), pixels, rect, 12, viaConvert, PdevRect{0, 0, 3, 0}, 4, nullptr, 0,
                     BMF_24BPP);
    EXPECT_EQ(0, std::memcmp(viaConvert, out, 4)) << "order " << c.rgbOrder;
  }
  Planes planes(8, 1, true);
  planes.pdev->plugin.rgbOrder = 1;
  planes.pdev->shared.operation = kOperationDirect;
  planes.pdev->separationModes[1] = 2;
  BYTE out[4] = {};
  OemRgbToDensity(planes.pdev.get(), pixels, rect, 12, out, 4);
  for (int i = 0; i < 4; ++i) {
    const BYTE* px = pixels + 3 * i;
    std::uint8_t plate = 0, density = 0;
    ClassifyColourForPlates(ClassCodeOfMode(2), px[0], px[1], px[2], 0, &plate, &density);
    EXPECT_EQ(out[i], density) << i;
    if (i == 3) {
      EXPECT_EQ(planes.pdev->drawing.plateSelector, plate);
    }
  }
}

// ---- strokes ----

// An engine device whose 24-bit surfaces hold red first, as the core's.
struct Device {
  HDEV hdev = plat::engine::CreateDevice(nullptr);
  HPALETTE palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  Device() {
    plat::engine::SetDevicePalette(hdev, palette);
    plat::engine::SetDeviceStyleSteps(hdev, 1, 1, 1);
  }
  ~Device() {
    plat::engine::DeleteDevice(hdev);
    EngDeletePalette(palette);
  }
};

// A dashed line of the given pen from (x0, y) to (x1, y).
struct DashedLine {
  PATHOBJ* path;
  FLOAT_LONG style[2];
  LINEATTRS la{};
  DashedLine(LONG x0, LONG y0, LONG x1, LONG y1, float width) {
    path = plat::engine::CreatePath({{{POINTFIX{x0 * 16, y0 * 16}, POINTFIX{x1 * 16, y1 * 16}}, false, false}});
    la.fl = LA_GEOMETRIC | LA_STYLED;
    la.iJoin = JOIN_ROUND;
    la.iEndCap = ENDCAP_ROUND;
    la.elWidth.e = width;
    style[0].e = 6;
    style[1].e = 4;
    la.cstyle = 2;
    la.pstyle = style;
  }
  ~DashedLine() { plat::engine::DeletePath(path); }
};

// Pixels a stroke covers, drawn by the engine on a page-sized 24-bit page.
std::vector<bool> StrokePixels(HDEV hdev, LONG w, LONG h, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush,
                               LINEATTRS* la) {
  HSURF s = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{w, h}, (w * 3 + 3) & ~3, BMF_24BPP, BMF_TOPDOWN, nullptr));
  EngAssociateSurface(s, hdev, 0);
  SURFOBJ* so = EngLockSurface(s);
  EngStrokePath(so, path, clip, nullptr, brush, nullptr, la, 0x0D0D);
  std::vector<bool> out(static_cast<std::size_t>(w) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      const BYTE* p = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x;
      out[static_cast<std::size_t>(y) * w + x] = (p[0] | p[1] | p[2]) != 0;
    }
  EngUnlockSurface(so);
  EngDeleteSurface(s);
  return out;
}

// A dashed red line in clips 33 and 65 dots wide, in one past the page's
// right edge and without one: the red
// plate's plane takes the page-anchored dither of red under the stroke, the
// other plane turns white there, and nothing else changes.
TEST(StrokeColouredPath, DashedRedLineIsHalftonedOnItsPlate) {
  Device device;
  const LONG w = 160, h = 40;
  struct Case {
    const char* name;
    LONG clipWidth;  // 0: no clip object
    LONG clipLeft;
  } cases[] = {{"clip 33", 33, 11}, {"clip 65", 65, 11}, {"no clip", 0, 11}, {"to the right edge", 40, 123}};
  for (const Case& c : cases) {
    Planes planes(w, h, true, true, 0x00);
    planes.so.hdev = device.hdev;
    planes.pdev->engineDevice = device.hdev;
    Brush red(0x0000FF);
    DashedLine line(5, 17, 150, 23, 3.0f);
    const RECTL clipRect{c.clipLeft, 3, c.clipLeft + c.clipWidth, 37};
    CLIPOBJ* clip = c.clipWidth ? plat::engine::CreateClip(&clipRect, 1) : nullptr;
    const std::vector<bool> stroke = StrokePixels(device.hdev, w, h, line.path, clip, red.bo, &line.la);
    ASSERT_TRUE(OemStrokeOnInkPlane(&planes.so, line.path, clip, nullptr, red.bo, nullptr, &line.la, 0x0D0D))
        << c.name;
    std::uint8_t plate = 0, density = 0;
    ClassifyColourForPlates(ClassCodeOfMode(0), 0xFF, 0, 0, 0, &plate, &density);
    const int other = plate == 1 ? 2 : 1;
    int strokeDots = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) {
        const bool on = stroke[static_cast<std::size_t>(y) * w + x];
        strokeDots += on;
        const bool want = on && !(imaging::BrushDither8x8[y & 7][x & 7] < density);
        ASSERT_EQ(planes.At(plate, x, y), want) << c.name << " plate " << x << "," << y;
        ASSERT_EQ(planes.At(other, x, y), on) << c.name << " other " << x << "," << y;
      }
    EXPECT_GT(strokeDots, 3 * 10) << c.name;
    if (clip) plat::engine::DeleteClip(clip);
  }
}

// A coloured stroke needs a copy mix; one off the page draws nothing.
TEST(StrokeColouredPath, OtherMixesFailAndOffPageStrokesDrawNothing) {
  Device device;
  Planes planes(64, 16, true);
  planes.so.hdev = device.hdev;
  planes.pdev->engineDevice = device.hdev;
  Brush red(0x0000FF);
  DashedLine line(2, 5, 60, 5, 3.0f);
  EXPECT_FALSE(StrokeColouredPath(&planes.so, line.path, nullptr, nullptr, red.bo, nullptr, &line.la, 0x0707));
  DashedLine away(200, 50, 300, 60, 3.0f);
  const std::vector<BYTE> before = planes.bits;
  EXPECT_TRUE(StrokeColouredPath(&planes.so, away.path, nullptr, nullptr, red.bo, nullptr, &away.la, 0x0D0D));
  EXPECT_EQ(planes.bits, before);
}

// A styled black line with a copy mix whose colour belongs on the drum-1
// plane is drawn there and whitens the drum-2 plane under it; the rows kept
// meanwhile are the stroke's, not the page's.
TEST(OemStrokeOnInkPlane, StyledBlackLineOnDrumOneWhitensDrumTwo) {
  Device device;
  const LONG w = 96, h = 4000;
  Planes probe(8, 8, true);
  BYTE textMode = 0;
  Brush black(0);
  for (; textMode < kSeparationModes; ++textMode) {
    probe.pdev->separationModes[0] = textMode;
    if (ColourUsesSecondPlane(probe.pdev.get(), black.bo)) break;
  }
  ASSERT_LT(textMode, kSeparationModes) << "no mode puts black on drum 1";
  Planes planes(w, h, true, true);
  std::memset(planes.bits.data(), 0x00, static_cast<std::size_t>(planes.stride) * h);  // drum 2 all ink
  planes.so.hdev = device.hdev;
  planes.pdev->engineDevice = device.hdev;
  planes.pdev->separationModes[0] = textMode;
  DashedLine line(4, 20, 90, 30, 1.0f);
  line.la.fl = LA_STYLED;
  line.la.elWidth.l = 1;
  line.style[0].l = 3;
  line.style[1].l = 2;
  // The stroke on a white one-bit page: its dots.
  Planes reference(w, h, false);
  reference.so.hdev = device.hdev;
  ASSERT_TRUE(EngStrokePath(&reference.so, line.path, nullptr, nullptr, black.bo, nullptr, &line.la, 0x0D0D));
  plat::ResetHeapPeak();
  const std::size_t base = plat::HeapLiveBytes();
  ASSERT_TRUE(OemStrokeOnInkPlane(&planes.so, line.path, nullptr, nullptr, black.bo, nullptr, &line.la, 0x0D0D));
  EXPECT_LT(plat::HeapPeakBytes() - base, static_cast<std::size_t>(planes.stride) * 100);
  int dots = 0;
  for (LONG y = 0; y < 40; ++y)
    for (LONG x = 0; x < w; ++x) {
      const bool on = !reference.At(2, x, y);
      dots += on;
      ASSERT_EQ(planes.At(1, x, y), !on) << x << "," << y;
      ASSERT_EQ(planes.At(2, x, y), on) << x << "," << y;
    }
  EXPECT_GT(dots, 20);
  EXPECT_EQ(planes.pdev->drawing.strokeSwapped, 0);
}

}  // namespace

namespace {

// The plug-in's copy sets the drawing bounds to the clip bounds before
// anything is flushed, and puts the source down as the classic copy does.
TEST(OemCopyBitsToPlanes, DrawingBoundsAreTheClipBounds) {
  std::mt19937 rng(8);
  Planes planes(64, 16, true);
  Mask src(40, 10, 8);
  for (BYTE& b : src.bits) b = static_cast<BYTE>(rng());
  const RECTL clipRect{10, 3, 37, 11};
  CLIPOBJ* clip = plat::engine::CreateClip(&clipRect, 1);
  const RECTL target{6, 2, 46, 12};
  const POINTL origin{0, 0};
  ASSERT_TRUE(OemCopyBitsToPlanes(&planes.so, &target, &src.so, &origin, clip, nullptr, TRUE));
  const PdevRect& b = planes.pdev->plugin.drawBounds;
  EXPECT_EQ(b.left, 10);
  EXPECT_EQ(b.top, 3);
  EXPECT_EQ(b.right, 37);
  EXPECT_EQ(b.bottom, 11);
  // The same copy by the classic path on classic planes.
  Planes classic(64, 16, true, false);
  ASSERT_TRUE(CopyBitsToPlanes(&classic.so, &target, &src.so, &origin, clip, nullptr, TRUE));
  EXPECT_EQ(planes.bits, classic.bits);
  bool drawn = false;
  for (BYTE v : planes.bits) drawn |= v != 0xFF;
  EXPECT_TRUE(drawn);
  plat::engine::DeleteClip(clip);
}

}  // namespace
