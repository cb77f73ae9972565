// Raster-operation names, the row kernels and the ROP interpreter on one
// plane, against the truth table of every ternary raster operation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "planes/plane_ops.h"
#include "planes/rop_names.h"
#include "plat/engine_draw.h"
#include "render/rop_blits.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void SetBit(BYTE* row, LONG x, bool v) {
  const BYTE m = static_cast<BYTE>(0x80 >> (x & 7));
  row[x >> 3] = static_cast<BYTE>(v ? (row[x >> 3] | m) : (row[x >> 3] & ~m));
}

// A plane of random bits with its device record.
struct Plane {
  LONG width, height, stride;
  std::vector<BYTE> bits;
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  Plane(LONG w, LONG h, std::mt19937& rng) : width(w), height(h), stride((w + 31) / 32 * 4), bits(stride * h) {
    for (BYTE& b : bits) b = static_cast<BYTE>(rng());
    pdev->planeWidth = w;
    pdev->planeHeight = h;
  }
  BYTE* Row(LONG y) { return bits.data() + y * stride; }
  bool At(LONG x, LONG y) const { return BitAt(bits.data() + y * stride, x); }
};

TEST(Rop3Names, EveryNameComputesItsCode) {
  for (int rop = 0; rop < 256; ++rop) {
    const char* name = Rop3NameTable[rop];
    ASSERT_LT(std::strlen(name), static_cast<std::size_t>(kRop3NameSlot));
    for (int i = 0; i < 8; ++i) {
      const int p = (i >> 2) & 1, s = (i >> 1) & 1, d = i & 1;
      std::vector<int> stack;
      for (const char* c = name; *c; ++c) {
        switch (*c) {
          case 'P': stack.push_back(p); break;
          case 'S': stack.push_back(s); break;
          case 'D': stack.push_back(d); break;
          case '0': stack.push_back(0); break;
          case '1': stack.push_back(1); break;
          case 'n': stack.back() ^= 1; break;
          default: {
            ASSERT_GE(stack.size(), 2u) << name;
            const int b = stack.back();
            stack.pop_back();
            int& a = stack.back();
            a = *c == 'a' ? (a & b) : *c == 'o' ? (a | b) : (a ^ b);
          }
        }
      }
      ASSERT_EQ(stack.size(), 1u) << name;
      EXPECT_EQ(stack[0], (rop >> i) & 1) << std::hex << rop << " " << name;
    }
  }
  EXPECT_STREQ(Rop3NameTable[0x88], "DSa");
  EXPECT_STREQ(Rop3NameTable[0xCC], "S");
  EXPECT_STREQ(Rop3NameTable[0xF0], "P");
}

TEST(Rop3Names, SourceAndPatternQuestionsLookAtTheLowByte) {
  struct Case {
    ULONG rop;
    BOOL sourceOnly, pattern;
  } cases[] = {{0xCCCC, TRUE, FALSE}, {0x8888, TRUE, FALSE}, {0x5A5A, FALSE, TRUE}, {0xB8B8, FALSE, TRUE},
               {0x1155, FALSE, FALSE}, {0xAA00, FALSE, FALSE}, {0x33, TRUE, FALSE}};
  for (const Case& c : cases) {
    EXPECT_EQ(RopIsSourceOnly(c.rop), c.sourceOnly) << std::hex << c.rop;
    EXPECT_EQ(RopUsesPattern(c.rop), c.pattern) << std::hex << c.rop;
  }
  const ULONG bw[] = {0, 0xFFFFFF}, wb[] = {0xFFFFFF, 0}, grey[] = {0, 0x808080};
  EXPECT_TRUE(IsBlackWhitePalette(bw));
  EXPECT_TRUE(IsBlackWhitePalette(wb));
  EXPECT_FALSE(IsBlackWhitePalette(grey));
}

// Every ROP3 the interpreter runs gives each dot (rop >> (P << 2 | S << 1 | D)) & 1,
// plain and through a complex clip (outside it the plane stays as it was).
TEST(EvalRop3Rpn, EveryRopFollowsItsTruthTableOnOnePlane) {
  std::mt19937 rng(7);
  const PdevRect dest{13, 3, 61, 21};  // odd offsets, spans several bytes
  const PdevRect bandRect{5, 1, 53, 19};
  const LONG bandStride = 12;
  std::vector<BYTE> band(bandStride * 24);
  for (BYTE& b : band) b = static_cast<BYTE>(rng());
  BYTE pattern[8];
  for (BYTE& b : pattern) b = static_cast<BYTE>(rng());
  const RECTL clipRects[] = {{0, 0, 20, 10}, {30, 12, 70, 16}, {40, 18, 50, 40}};
  CLIPOBJ* clip = plat::engine::CreateClip(clipRects, 3);
  ASSERT_NE(clip, nullptr);
  auto inClip = [&](LONG x, LONG y) {
    for (const RECTL& r : clipRects)
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
  };
  std::vector<BYTE> work(WorkBufferBytes(dest)), temp(work.size());
  ASSERT_GT(work.size(), 0u);
  for (int rop = 1; rop < 255; ++rop) {
    for (CLIPOBJ* pco : {static_cast<CLIPOBJ*>(nullptr), clip}) {
      Plane plane(80, 30, rng);
      const std::vector<BYTE> before = plane.bits;
      std::memset(work.data(), 0xFF, work.size());
      std::memset(temp.data(), 0xFF, temp.size());
      const char* name = Rop3NameTable[rop];
      ASSERT_TRUE(EvalRop3Rpn(plane.pdev.get(), pco, plane.bits.data(), dest, plane.stride, name,
                              static_cast<int>(std::strlen(name)), band.data(), bandRect, bandStride, pattern,
                              SIZEL{8, 8}, work.data(), temp.data()))
          << name;
      int wrong = 0;
      for (LONG y = 0; y < plane.height; ++y) {
        for (LONG x = 0; x < plane.width; ++x) {
          const bool d = BitAt(before.data() + y * plane.stride, x);
          bool want = d;
          const bool inside = x >= dest.left && x <= dest.right && y >= dest.top && y <= dest.bottom;
          if (inside && (!pco || inClip(x, y))) {
            const int p = BitAt(pattern + (y % 8), x % 8);
            const int s = BitAt(band.data() + (y - dest.top + bandRect.top) * bandStride, x - dest.left + bandRect.left);
            want = (rop >> ((p << 2) | (s << 1) | int{d})) & 1;
          }
          if (plane.At(x, y) != want) ++wrong;
        }
      }
      EXPECT_EQ(wrong, 0) << std::hex << rop << " " << name << (pco ? " clipped" : "");
    }
  }
  plat::engine::DeleteClip(clip);
}

TEST(EvalRop3Rpn, UnknownOrIncompleteNamesFail) {
  std::mt19937 rng(1);
  Plane plane(32, 8, rng);
  const PdevRect dest{0, 0, 15, 3};
  BYTE pattern[8] = {};
  std::vector<BYTE> work(WorkBufferBytes(dest), 0xFF), temp(work.size(), 0xFF);
  for (const char* name : {"", "0", "DSq", "DS", "Da", "DSPa"}) {
    EXPECT_FALSE(EvalRop3Rpn(plane.pdev.get(), nullptr, plane.bits.data(), dest, plane.stride, name,
                             static_cast<int>(std::strlen(name)), plane.bits.data(), dest, plane.stride, pattern,
                             SIZEL{8, 8}, work.data(), temp.data()))
        << name;
  }
}

// Work buffers hold the destination's bytes only: a blit at the foot of a
// tall plane needs (height + 5) rows of its own span.
TEST(EvalRop3Rpn, WorkBuffersAreSizedByTheDestination) {
  const PdevRect foot{1001, 70000, 1010, 70003};
  EXPECT_EQ(WorkBufferBytes(foot), 4u * (4 + 5));
  const BitView v = WorkBufferView(nullptr, foot);
  EXPECT_EQ(v.originX, 1000);
  EXPECT_EQ(v.originY, 70000);
  EXPECT_EQ(WorkBufferBytes(PdevRect{5, 5, 4, 5}), 0u);
}

struct KernelCase {
  const char* name;
  RowKernel kernel;
  int (*rule)(int d, int s);
};

// The row kernels and the rule each follows dot by dot.
const KernelCase kKernelRules[] = {
      {"and", AndRowsIntoPlane, [](int d, int s) { return d & s; }},
      {"or", OrRowsIntoPlane, [](int d, int s) { return d | s; }},
      {"xor", XorRowsIntoPlane, [](int d, int s) { return d ^ s; }},
      {"copy", CopyRowsShifted, [](int, int s) { return s; }},
      {"inverted", CopyRowsInverted, [](int, int s) { return 1 - s; }},
};

// Each kernel at odd source and destination offsets changes only the
// destination's bits, reading source bytes past the stride as 0.
TEST(RowKernels, CombineAtAnyBitOffsetAndTouchNothingElse) {
  std::vector<KernelCase> cases(std::begin(kKernelRules), std::end(kKernelRules));
  cases.push_back({"white-and", WhiteThenAndKernel, [](int, int s) { return s; }});
  std::mt19937 rng(3);
  const LONG srcStride = 3;  // 24 bits; the source rect runs past them
  std::vector<BYTE> src(srcStride * 6);
  for (BYTE& b : src) b = static_cast<BYTE>(rng());
  const PdevRect srcRect{3, 1, 29, 4};
  for (LONG destLeft : {0, 5, 8, 11}) {
    const PdevRect dest{destLeft, 2, destLeft + 26, 5};
    for (const KernelCase& c : cases) {
      Plane plane(64, 8, rng);
      const std::vector<BYTE> before = plane.bits;
      c.kernel(plane.pdev.get(), plane.bits.data(), dest, plane.stride, src.data(), srcRect, srcStride);
      for (LONG y = 0; y < 8; ++y) {
        for (LONG x = 0; x < 64; ++x) {
          int want = BitAt(before.data() + y * plane.stride, x);
          if (x >= dest.left && x <= dest.right && y >= dest.top && y <= dest.bottom) {
            const LONG sx = x - dest.left + srcRect.left;
            const int s = sx < 8 * srcStride ? BitAt(src.data() + (y - dest.top + srcRect.top) * srcStride, sx) : 0;
            want = c.rule(want, s);
          }
          ASSERT_EQ(plane.At(x, y), want != 0) << c.name << " at " << x << "," << y << " left " << destLeft;
        }
      }
    }
  }
}

// With a device the kernels stay inside the plane: a destination hanging
// over every edge writes only the plane's bits, from the matching source.
TEST(RowKernels, DestinationIsCutToThePlane) {
  std::mt19937 rng(5);
  Plane plane(20, 6, rng);
  std::vector<BYTE> guard(64, 0xA5);
  plane.bits.insert(plane.bits.end(), guard.begin(), guard.end());
  std::vector<BYTE> src(8 * 20, 0x00);  // all ink
  SetBit(src.data() + 3 * 8, 5, true);  // source (5, 3) is white -> plane (2, 1)
  CopyRowsShifted(plane.pdev.get(), plane.bits.data(), PdevRect{-3, -2, 40, 17}, plane.stride, src.data(),
                  PdevRect{0, 0, 43, 19}, 8);
  for (LONG y = 0; y < 6; ++y)
    for (LONG x = 0; x < 20; ++x) EXPECT_EQ(plane.At(x, y), x == 2 && y == 1) << x << "," << y;
  EXPECT_TRUE(std::equal(guard.begin(), guard.end(), plane.bits.end() - 64));
}

// A complex clip runs the kernel per rectangle with the source moved along;
// a rectangle clip moves each source edge with its destination edge.
TEST(ForEachClipRectWithSource, SourceFollowsEachClipRectangle) {
  std::mt19937 rng(9);
  std::vector<BYTE> src(4 * 16);
  for (BYTE& b : src) b = static_cast<BYTE>(rng());
  const PdevRect dest{10, 2, 29, 13}, srcRect{1, 0, 20, 11};
  const RECTL one[] = {{12, 0, 25, 7}};
  const RECTL many[] = {{0, 0, 15, 5}, {20, 8, 40, 20}, {11, 14, 12, 15}};
  for (auto [rects, count] : {std::pair{one, 1u}, std::pair{static_cast<const RECTL*>(many), 3u}}) {
    CLIPOBJ* clip = plat::engine::CreateClip(rects, count);
    Plane plane(48, 16, rng);
    const std::vector<BYTE> before = plane.bits;
    ForEachClipRectWithSource(plane.pdev.get(), plane.bits.data(), dest, plane.stride, src.data(), srcRect, 4, clip,
                              CopyRowsShifted);
    for (LONG y = 0; y < 16; ++y) {
      for (LONG x = 0; x < 48; ++x) {
        bool inside = false;
        for (ULONG i = 0; i < count; ++i)
          inside |= x >= rects[i].left && x < rects[i].right && y >= rects[i].top && y < rects[i].bottom;
        inside &= x >= dest.left && x <= dest.right && y >= dest.top && y <= dest.bottom;
        const bool want = inside ? BitAt(src.data() + (y - dest.top) * 4, x - dest.left + srcRect.left)
                                 : BitAt(before.data() + y * plane.stride, x);
        ASSERT_EQ(plane.At(x, y), want) << x << "," << y << " rects " << count;
      }
    }
    plat::engine::DeleteClip(clip);
  }
}

// 300 x 600 drawing: at orientation 90 a copy starting on an odd pair row
// fills the row above too; a one-bit paint over its mask at orientation 0
// makes every bit pair uniform.
TEST(RowKernels, ResolutionModeTwoPairRules) {
  std::mt19937 rng(2);
  const BYTE src[4] = {0x0F, 0x0F, 0x0F, 0x0F};
  {
    Plane plane(32, 9, rng);  // top 4 + height 9 is odd
    std::memset(plane.bits.data(), 0xFF, plane.bits.size());
    plane.pdev->resolutionMode = 2;
    plane.pdev->orientation = 90;
    plane.pdev->drawing.rop4 = 0xCCCC;
    CopyRowsShifted(plane.pdev.get(), plane.bits.data(), PdevRect{0, 4, 7, 4}, plane.stride, src, PdevRect{0, 0, 7, 0},
                    1);
    EXPECT_EQ(plane.Row(4)[0], 0x0F);
    EXPECT_EQ(plane.Row(3)[0], 0x0F);
    plane.pdev->drawing.rop4 = 0x8888;
    AndRowsIntoPlane(plane.pdev.get(), plane.bits.data(), PdevRect{8, 6, 15, 6}, plane.stride, src,
                     PdevRect{0, 0, 7, 0}, 1);
    EXPECT_EQ(plane.Row(5)[1], 0xFF);  // not a copy: no pair row
  }
  {
    Plane plane(32, 8, rng);
    std::memset(plane.bits.data(), 0x00, plane.bits.size());
    RenderPdev& p = *plane.pdev;
    p.resolutionMode = 2;
    p.orientation = 0;
    p.drawing.previousRop4 = 0x8888;
    p.drawing.rop4 = 0xEEEE;
    p.drawing.lastDrawnRect = RECTL{0, 1, 8, 2};
    const BYTE odd[1] = {0x41};  // 01 00 00 01
    OrRowsIntoPlane(&p, plane.bits.data(), PdevRect{0, 1, 7, 1}, plane.stride, odd, PdevRect{0, 0, 7, 0}, 1);
    EXPECT_EQ(plane.Row(1)[0], 0xC3);
    p.drawing.lastDrawnRect = RECTL{0, 2, 9, 3};  // not this blit: plain OR
    OrRowsIntoPlane(&p, plane.bits.data(), PdevRect{0, 2, 7, 2}, plane.stride, odd, PdevRect{0, 0, 7, 0}, 1);
    EXPECT_EQ(plane.Row(2)[0], 0x41);
  }
}

}  // namespace

namespace {

// Through the whole raster path (fast paths included): every ROP3 of a
// black-and-white one-bit source and a black or white brush on one plane
// follows its truth table, plainly and within a complex clip.
TEST(BitBltToPlanes, EveryRopThroughTheRasterPathOnOnePlane) {
  std::mt19937 rng(21);
  const LONG srcW = 50, srcH = 20, srcStride = 8;
  std::vector<BYTE> srcBits(srcStride * srcH);
  for (BYTE& b : srcBits) b = static_cast<BYTE>(rng());
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{srcW, srcH};
  src.lDelta = srcStride;
  src.pvScan0 = srcBits.data();
  src.iBitmapFormat = BMF_1BPP;
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  const RECTL clipRects[] = {{0, 0, 30, 9}, {35, 9, 90, 14}, {20, 16, 40, 40}};
  CLIPOBJ* complexClip = plat::engine::CreateClip(clipRects, 3);
  const RECTL target{11, 3, 55, 19};  // odd x, 44 x 16
  const POINTL origin{3, 2};
  for (int rop = 0; rop < 256; ++rop) {
    for (CLIPOBJ* clip : {static_cast<CLIPOBJ*>(nullptr), complexClip}) {
      const bool whiteBrush = (rop + (clip ? 1 : 0)) % 2 == 0;
      BRUSHOBJ* brush = plat::engine::CreateSolidBrush(whiteBrush ? 0xFFFFFF : 0);
      Plane plane(80, 24, rng);
      const std::vector<BYTE> before = plane.bits;
      SURFOBJ so{};
      so.dhpdev = reinterpret_cast<DHPDEV>(plane.pdev.get());
      so.lDelta = plane.stride;
      plane.pdev->drum1Plane = plane.pdev->drum2Plane = plane.bits.data();
      plane.pdev->drawing.rop4 = static_cast<ULONG>(rop * 0x101);
      ASSERT_TRUE(BitBltToPlanes(static_cast<ROP4>(rop * 0x101), &so, &target, &src, &origin, clip, xlate, brush))
          << std::hex << rop;
      plat::engine::DeleteBrush(brush);
      int wrong = 0;
      for (LONG y = 0; y < plane.height; ++y)
        for (LONG x = 0; x < plane.width; ++x) {
          const bool d = BitAt(before.data() + y * plane.stride, x);
          bool want = d;
          bool inClip = !clip;
          for (const RECTL& r : clipRects) inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
          if (x >= target.left && x < target.right && y >= target.top && y < target.bottom && inClip) {
            const int p = whiteBrush ? 1 : 0;
            const int s = BitAt(srcBits.data() + (y - target.top + origin.y) * srcStride, x - target.left + origin.x);
            want = (rop >> ((p << 2) | (s << 1) | int{d})) & 1;
          }
          wrong += plane.At(x, y) != want;
        }
      EXPECT_EQ(wrong, 0) << std::hex << rop << " " << Rop3NameTable[rop] << (clip ? " clipped" : "");
    }
  }
  plat::engine::DeleteClip(complexClip);
  plat::engine::DeleteXlate(xlate);
}

}  // namespace

namespace {

// PATINVERT, SRCAND, PATINVERT over one rectangle on two inks: the first
// PATINVERT is also drawn into a copy of both planes, the SRCAND puts the
// copy back and is drawn on both planes, the copy is then gone.
TEST(BitBltToPlanes, PatInvertMaskIdiomOnTwoInks) {
  std::mt19937 rng(33);
  const LONG w = 64, h = 16, stride = 8;
  std::vector<BYTE> bits(stride * h * 2);
  for (BYTE& b : bits) b = static_cast<BYTE>(rng());
  auto pdev = std::make_unique<RenderPdev>();
  pdev->planeWidth = w;
  pdev->planeHeight = h;
  pdev->drum2Plane = bits.data();
  pdev->drum1Plane = bits.data() + stride * h;
  pdev->flags |= kPdevTwoPlanes;
  SURFOBJ so{};
  so.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
  so.lDelta = stride;
  std::vector<BYTE> maskBits(4 * 10);
  for (BYTE& b : maskBits) b = static_cast<BYTE>(rng());
  SURFOBJ mask{};
  mask.sizlBitmap = SIZEL{20, 10};
  mask.lDelta = 4;
  mask.pvScan0 = maskBits.data();
  mask.iBitmapFormat = BMF_1BPP;
  const RECTL target{9, 3, 29, 13};
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x0000FF);
  auto blit = [&](ULONG rop4, SURFOBJ* src) {
    pdev->drawing.previousRop4 = pdev->drawing.rop4;
    pdev->drawing.rop4 = rop4;
    const BOOL ok = BitBltToPlanes(rop4, &so, &target, src, nullptr, nullptr, nullptr, brush);
    pdev->drawing.lastDrawnRect = target;
    return ok;
  };
  ASSERT_TRUE(blit(0x5A5A, nullptr));
  ASSERT_NE(pdev->drawing.savedPlanes, nullptr);
  const std::vector<BYTE> copy(pdev->drawing.savedPlanes, pdev->drawing.savedPlanes + bits.size());
  BYTE* drawnOn = pdev->drawing.plateSelector == 1 ? pdev->drum1Plane : pdev->drum2Plane;
  const BYTE* copyOf = copy.data() + (drawnOn == pdev->drum1Plane ? stride * h : 0);
  EXPECT_TRUE(std::equal(copyOf, copyOf + stride * h, drawnOn));
  ASSERT_TRUE(blit(0x8888, &mask));
  EXPECT_EQ(pdev->drawing.savedPlanes, nullptr);
  for (int half = 0; half < 2; ++half)
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) {
        const bool in = x >= target.left && x < target.right && y >= target.top && y < target.bottom;
        const bool c = BitAt(copy.data() + (half * h + y) * stride, x);
        const bool want = in ? c && BitAt(maskBits.data() + (y - 3) * 4, x - 9) : c;
        ASSERT_EQ(BitAt(bits.data() + (half * h + y) * stride, x), want) << half << " " << x << "," << y;
      }
  ASSERT_TRUE(blit(0x5A5A, nullptr));
  EXPECT_EQ(pdev->drawing.savedPlanes, nullptr);
  FreeSavedPlanes(pdev.get());
  plat::engine::DeleteBrush(brush);
}

}  // namespace

namespace {

// A clip of more rectangles than one enumeration batch holds: the rows of the
// last batch are drawn as well as the first.
TEST(ForEachClipRectWithSource, LastEnumerationBatchIsDrawn) {
  std::mt19937 rng(41);
  const LONG rows = 300;
  std::vector<RECTL> rects;
  for (LONG y = 0; y < rows; ++y) rects.push_back(RECTL{y % 2, y, 16 - y % 2, y + 1});
  CLIPOBJ* clip = plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
  ASSERT_NE(clip, nullptr);
  Plane plane(16, rows, rng);
  std::memset(plane.bits.data(), 0xFF, plane.bits.size());
  const std::vector<BYTE> ink(4 * rows, 0x00);
  ForEachClipRectWithSource(plane.pdev.get(), plane.bits.data(), PdevRect{0, 0, 15, rows - 1}, plane.stride,
                            ink.data(), PdevRect{0, 0, 15, rows - 1}, 4, clip, CopyRowsShifted);
  for (LONG y = 0; y < rows; ++y)
    for (LONG x = 0; x < 16; ++x) ASSERT_EQ(plane.At(x, y), y % 2 == 1 && (x == 0 || x == 15)) << x << "," << y;
  plat::engine::DeleteClip(clip);
}

// A blit hanging over every edge of the plane, without a clip object, writes
// only the plane: the bytes after it stay as they were, and inside it the
// ROP's rule holds with the source moved along.
TEST(BitBltToPlanes, TargetsOverThePlaneEdgesWriteOnlyThePlane) {
  std::mt19937 rng(43);
  const LONG srcW = 64, srcH = 40, srcStride = 8;
  std::vector<BYTE> srcBits(srcStride * srcH);
  for (BYTE& b : srcBits) b = static_cast<BYTE>(rng());
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{srcW, srcH};
  src.lDelta = srcStride;
  src.pvScan0 = srcBits.data();
  src.iBitmapFormat = BMF_1BPP;
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0);
  const RECTL target{-5, -3, 35, 23};
  const POINTL origin{9, 4};
  for (int rop : {0x55, 0x66, 0xCC, 0x33, 0xB8, 0x00, 0xF0}) {
    Plane plane(24, 12, rng);
    const std::vector<BYTE> guard(40, 0xA5);
    plane.bits.insert(plane.bits.end(), guard.begin(), guard.end());
    const std::vector<BYTE> before = plane.bits;
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(plane.pdev.get());
    so.lDelta = plane.stride;
    so.sizlBitmap = SIZEL{plane.width, plane.height};
    plane.pdev->drum1Plane = plane.pdev->drum2Plane = plane.bits.data();
    ASSERT_TRUE(BitBltToPlanes(static_cast<ROP4>(rop * 0x101), &so, &target, &src, &origin, nullptr, xlate, brush));
    EXPECT_TRUE(std::equal(guard.begin(), guard.end(), plane.bits.end() - 40)) << std::hex << rop;
    for (LONG y = 0; y < plane.height; ++y)
      for (LONG x = 0; x < plane.width; ++x) {
        const int d = BitAt(before.data() + y * plane.stride, x);
        const int s = BitAt(srcBits.data() + (y - target.top + origin.y) * srcStride, x - target.left + origin.x);
        ASSERT_EQ(plane.At(x, y), ((rop >> (s << 1 | d)) & 1) != 0) << std::hex << rop << " at " << x << "," << y;
      }
  }
  plat::engine::DeleteBrush(brush);
  plat::engine::DeleteXlate(xlate);
}

}  // namespace

namespace {

// Rows long enough for the kernels' eight-byte steps, at shifts 0 to 7 both
// ways and a source rect running past its row: each kernel against its rule,
// nothing outside dest changed.
TEST(RowKernels, LongRowsAtEveryShiftFollowTheRule) {
  const auto& cases = kKernelRules;
  std::mt19937 rng(11);
  const LONG srcStride = 40;  // 320 bits
  std::vector<BYTE> src(srcStride * 4);
  for (BYTE& b : src) b = static_cast<BYTE>(rng());
  for (LONG srcLeft : {0, 3, 13}) {
    for (LONG destLeft : {0, 1, 5, 8, 16, 23}) {
      for (LONG width : {70, 201, 315}) {
        const PdevRect srcRect{srcLeft, 1, srcLeft + width - 1, 3};
        const PdevRect dest{destLeft, 1, destLeft + width - 1, 3};
        for (const KernelCase& c : cases) {
          Plane plane(352, 5, rng);
          const std::vector<BYTE> before = plane.bits;
          c.kernel(plane.pdev.get(), plane.bits.data(), dest, plane.stride, src.data(), srcRect, srcStride);
          int wrong = 0;
          for (LONG y = 0; y < plane.height; ++y)
            for (LONG x = 0; x < plane.width; ++x) {
              int want = BitAt(before.data() + y * plane.stride, x);
              if (x >= dest.left && x <= dest.right && y >= dest.top && y <= dest.bottom) {
                const LONG sx = x - dest.left + srcRect.left;
                const int s = sx < 8 * srcStride ? BitAt(src.data() + (y - dest.top + srcRect.top) * srcStride, sx) : 0;
                want = c.rule(want, s);
              }
              wrong += plane.At(x, y) != (want != 0);
            }
          EXPECT_EQ(wrong, 0) << c.name << " source " << srcLeft << " dest " << destLeft << " width " << width;
        }
      }
    }
  }
}

// The work buffers are handed over as allocated: whatever they hold, every
// ROP leaves the plane it leaves with white buffers.
TEST(EvalRop3Rpn, WorkBufferContentsDoNotReachThePlane) {
  std::mt19937 rng(31);
  const PdevRect dest{5, 2, 140, 17};
  const PdevRect bandRect{3, 1, 138, 16};
  const LONG bandStride = 20;
  std::vector<BYTE> band(bandStride * 20);
  for (BYTE& b : band) b = static_cast<BYTE>(rng());
  BYTE pattern[8];
  for (BYTE& b : pattern) b = static_cast<BYTE>(rng());
  const RECTL clipRects[] = {{0, 0, 50, 9}, {30, 8, 150, 20}};
  CLIPOBJ* clip = plat::engine::CreateClip(clipRects, 2);
  const std::size_t bytes = WorkBufferBytes(dest);
  for (int rop = 0; rop < 256; ++rop) {
    const char* name = Rop3NameTable[rop];
    Plane white(160, 20, rng), garbage(160, 20, rng);
    garbage.bits = white.bits;
    std::vector<BYTE> whiteWork(bytes, 0xFF), whiteTemp(bytes, 0xFF), work(bytes), temp(bytes);
    for (BYTE& b : work) b = static_cast<BYTE>(rng());
    for (BYTE& b : temp) b = static_cast<BYTE>(rng());
    for (auto [plane, w, t] : {std::tuple{&white, whiteWork.data(), whiteTemp.data()},
                               std::tuple{&garbage, work.data(), temp.data()}})
      EvalRop3Rpn(plane->pdev.get(), clip, plane->bits.data(), dest, plane->stride, name,
                  static_cast<int>(std::strlen(name)), band.data(), bandRect, bandStride, pattern, SIZEL{8, 8}, w, t);
    EXPECT_EQ(garbage.bits, white.bits) << std::hex << rop << " " << name;
  }
  plat::engine::DeleteClip(clip);
}

// The pattern-where-the-source-is-0 ROP, drawn in one pass, leaves the same
// plane as the same function spelt so that the interpreter runs it through
// its work buffers: odd offsets and widths, patterns one and two bytes
// wide, a band shorter than the destination, and clips of one rectangle,
// several, and several that overlap by a dot in picture mode.
TEST(EvalRop3Rpn, PatSelectInOnePassMatchesTheWorkBuffers) {
  const char* onePass = Rop3Name(kRop3PatSelect);
  const char* buffered = "DPxSaPx";  // ((D ^ P) & S) ^ P
  std::mt19937 rng(17);
  const LONG bandStride = 36;
  std::vector<BYTE> band(bandStride * 40);
  for (BYTE& b : band) b = static_cast<BYTE>(rng());
  BYTE pattern[2 * 8];
  for (BYTE& b : pattern) b = static_cast<BYTE>(rng());
  const RECTL oneRect[] = {{40, 5, 171, 30}};
  const RECTL several[] = {{0, 0, 60, 12}, {70, 8, 300, 20}, {21, 22, 90, 40}};
  struct Case {
    PdevRect dest, bandRect;
    SIZEL patternSize;
    const RECTL* clipRects;
    ULONG clipCount;
    BYTE photoMode;
  } cases[] = {
      {{3, 2, 250, 33}, {0, 0, 247, 31}, {8, 8}, nullptr, 0, 0},
      {{0, 0, 263, 35}, {5, 3, 268, 38}, {8, 8}, nullptr, 0, 0},
      {{16, 1, 216, 30}, {8, 0, 208, 29}, {16, 3}, nullptr, 0, 0},
      {{11, 4, 15, 20}, {2, 1, 6, 17}, {8, 8}, nullptr, 0, 0},
      {{9, 2, 230, 36}, {1, 0, 222, 20}, {8, 8}, nullptr, 0, 0},  // band ends at row 22
      {{7, 3, 201, 36}, {13, 2, 207, 35}, {8, 8}, oneRect, 1, 0},
      {{7, 3, 201, 36}, {13, 2, 207, 35}, {16, 3}, several, 3, 0},
      {{7, 3, 201, 36}, {13, 2, 207, 35}, {8, 8}, several, 3, 1},
  };
  for (const Case& c : cases) {
    CLIPOBJ* clip = c.clipRects ? plat::engine::CreateClip(c.clipRects, c.clipCount) : nullptr;
    Plane fast(280, 40, rng);
    Plane general(280, 40, rng);
    general.bits = fast.bits;
    fast.pdev->photoMode = general.pdev->photoMode = c.photoMode;
    std::vector<BYTE> work(WorkBufferBytes(c.dest), 0xFF), temp(work.size(), 0xFF);
    ASSERT_TRUE(EvalRop3Rpn(fast.pdev.get(), clip, fast.bits.data(), c.dest, fast.stride, onePass,
                            static_cast<int>(std::strlen(onePass)), band.data(), c.bandRect, bandStride, pattern,
                            c.patternSize, nullptr, nullptr));
    ASSERT_TRUE(EvalRop3Rpn(general.pdev.get(), clip, general.bits.data(), c.dest, general.stride, buffered,
                            static_cast<int>(std::strlen(buffered)), band.data(), c.bandRect, bandStride, pattern,
                            c.patternSize, work.data(), temp.data()));
    EXPECT_EQ(fast.bits, general.bits) << "dest " << c.dest.left << "," << c.dest.top << " pattern "
                                       << c.patternSize.cx << " clip " << c.clipCount << " photo "
                                       << int{c.photoMode};
    if (clip) plat::engine::DeleteClip(clip);
  }
}

// One-bit black-and-white sources are read in place by SRCCOPY and by the
// pattern-where-the-source-is-0 ROP. The copy leaves the source's bits (or
// their inverse for a palette starting white) inside dest and clip and
// nothing else; the ROP leaves what the band path leaves for the same dots
// (a palette starting white with inverted bits, which is converted).
TEST(BitBltToPlanes, OneBitSourcesReadInPlaceDrawAsTheirBands) {
  std::mt19937 rng(29);
  const LONG srcW = 230, srcH = 30, srcStride = 32;
  std::vector<BYTE> srcBits(srcStride * srcH);
  for (BYTE& b : srcBits) b = static_cast<BYTE>(rng());
  std::vector<BYTE> invertedBits(srcBits.size());
  for (std::size_t i = 0; i < srcBits.size(); ++i) invertedBits[i] = static_cast<BYTE>(~srcBits[i]);
  const ULONG blackFirst[2] = {0, 0xFFFFFF}, whiteFirst[2] = {0xFFFFFF, 0};
  XLATEOBJ* asIs = plat::engine::CreateXlate(blackFirst, 2);
  XLATEOBJ* inverse = plat::engine::CreateXlate(whiteFirst, 2);
  BRUSHOBJ* grey = plat::engine::CreateSolidBrush(0x808080);
  const RECTL clipRects[] = {{0, 0, 90, 14}, {60, 10, 260, 22}, {5, 24, 120, 40}};
  CLIPOBJ* complexClip = plat::engine::CreateClip(clipRects, 3);
  CLIPOBJ* rectClip = plat::engine::CreateClip(clipRects + 1, 1);
  struct Case {
    RECTL target;
    POINTL origin;
    bool bottomUp;
  } cases[] = {
      {{0, 0, 224, 28}, {0, 0}, false}, {{3, 1, 210, 29}, {0, 0}, false}, {{13, 2, 240, 26}, {5, 1}, false},
      {{8, 0, 17, 30}, {3, 4}, false},  {{5, 3, 200, 27}, {11, 2}, true},  {{-6, -2, 100, 12}, {0, 0}, false},
  };
  auto blit = [&](ULONG rop3, const Case& c, CLIPOBJ* clip, XLATEOBJ* xlate, std::vector<BYTE>& bits,
                  const std::vector<BYTE>& start) {
    Plane plane(256, 32, rng);
    plane.bits = start;
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(plane.pdev.get());
    so.lDelta = plane.stride;
    so.sizlBitmap = SIZEL{plane.width, plane.height};
    plane.pdev->drum1Plane = plane.pdev->drum2Plane = plane.bits.data();
    plane.pdev->drawing.rop4 = Rop4Of(rop3);
    SURFOBJ src{};
    src.sizlBitmap = SIZEL{srcW, srcH};
    src.iBitmapFormat = BMF_1BPP;
    src.lDelta = c.bottomUp ? -srcStride : srcStride;
    src.pvScan0 = c.bottomUp ? bits.data() + (srcH - 1) * srcStride : bits.data();
    EXPECT_TRUE(BitBltToPlanes(Rop4Of(rop3), &so, &c.target, &src, &c.origin, clip, xlate,
                               rop3 == kRop3SrcCopy ? nullptr : grey));
    return plane.bits;
  };
  for (const Case& c : cases) {
    for (CLIPOBJ* clip : {static_cast<CLIPOBJ*>(nullptr), rectClip, complexClip}) {
      const std::string what = "target " + std::to_string(c.target.left) + "," + std::to_string(c.target.top) +
                               (c.bottomUp ? " bottom-up" : "") + (clip ? " clipped" : "");
      Plane start(256, 32, rng);
      for (XLATEOBJ* xlate : {asIs, inverse}) {
        const std::vector<BYTE> after = blit(kRop3SrcCopy, c, clip, xlate, srcBits, start.bits);
        int wrong = 0;
        for (LONG y = 0; y < start.height; ++y)
          for (LONG x = 0; x < start.width; ++x) {
            bool want = start.At(x, y);
            bool inClip = !clip;
            for (const RECTL& r : clip == rectClip ? std::vector<RECTL>{clipRects[1]}
                                                   : std::vector<RECTL>(clipRects, clipRects + 3))
              inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            const LONG sx = x - c.target.left + c.origin.x, sy = y - c.target.top + c.origin.y;
            if (x >= c.target.left && x < c.target.right && y >= c.target.top && y < c.target.bottom && inClip &&
                sx >= 0 && sx < srcW && sy >= 0 && sy < srcH) {
              const LONG row = c.bottomUp ? srcH - 1 - sy : sy;
              want = BitAt(srcBits.data() + row * srcStride, sx) != (xlate == inverse);
            }
            wrong += BitAt(after.data() + y * start.stride, x) != want;
          }
        EXPECT_EQ(wrong, 0) << "SRCCOPY " << what << (xlate == inverse ? " white first" : "");
      }
      EXPECT_EQ(blit(kRop3PatSelect, c, clip, asIs, srcBits, start.bits),
                blit(kRop3PatSelect, c, clip, inverse, invertedBits, start.bits))
          << "PSDPxax " << what;
    }
  }
  plat::engine::DeleteClip(rectClip);
  plat::engine::DeleteClip(complexClip);
  plat::engine::DeleteBrush(grey);
  plat::engine::DeleteXlate(inverse);
  plat::engine::DeleteXlate(asIs);
}

}  // namespace
