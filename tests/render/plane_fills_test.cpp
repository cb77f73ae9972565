// ROP2 fills, rectangle kernels and lines on small hand-worked planes.
#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <vector>

#include "planes/dither_patterns.h"
#include "planes/plane_ops.h"
#include "plat/engine_draw.h"
#include "support/render_pdev.h"

namespace {

// Two planes of w x h with guard rows before and after each, all white.
struct Planes {
  static constexpr int kGuard = 16;
  int w, h;
  LONG stride;
  std::vector<BYTE> a, b;  // drum 2, drum 1
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();

  Planes(int width, int height) : w(width), h(height), stride(((width + 31) / 32) * 4) {
    a.assign(static_cast<std::size_t>(stride) * h + 2 * kGuard, 0xFF);
    b = a;
    pdev->planeWidth = w;
    pdev->planeHeight = h;
    pdev->drawing.targetPlane = A();
    pdev->drawing.otherPlane = A();
  }
  BYTE* A() { return a.data() + kGuard; }
  BYTE* B() { return b.data() + kGuard; }
  void TwoInks() {
    pdev->drawing.targetPlane = A();
    pdev->drawing.otherPlane = B();
  }
  static bool Ink(const BYTE* plane, LONG stride, int x, int y) { return testsupport::InkAt(plane, stride, x, y); }
  bool InkA(int x, int y) { return Ink(A(), stride, x, y); }
  bool InkB(int x, int y) { return Ink(B(), stride, x, y); }
  // The plane's rows as '#' (ink) and '.' text, padding bits included.
  static std::string Rows(const BYTE* plane, LONG stride, int bitsPerRow, int h) {
    std::string s;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < bitsPerRow; ++x) s += Ink(plane, stride, x, y) ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  bool GuardsWhite() const {
    for (const auto* v : {&a, &b}) {
      for (int i = 0; i < kGuard; ++i)
        if ((*v)[i] != 0xFF || (*v)[v->size() - 1 - i] != 0xFF) return false;
    }
    return true;
  }
  int InkCount(const BYTE* plane) {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += Ink(plane, stride, x, y);
    return n;
  }
};

const BYTE kBlack8x8[8] = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr SIZEL k8x8{8, 8};

TEST(Rop2Fill, EdgesOfTheRectangleAndThePlane) {
  {
    Planes p(32, 4);
    Rop2FillRect(p.pdev.get(), PdevRect{3, 2, 10, 1}, p.A(), p.stride, kBlack8x8, k8x8, R2_COPYPEN);
    EXPECT_EQ(p.InkCount(p.A()), 0) << "bottom < top draws nothing";
  }
  {
    Planes p(32, 4);
    Rop2FillRect(p.pdev.get(), PdevRect{5, 1, 5, 100}, p.A(), p.stride, kBlack8x8, k8x8, R2_COPYPEN);
    EXPECT_EQ(p.a[Planes::kGuard + 0 * p.stride], 0xFF);
    EXPECT_EQ(p.a[Planes::kGuard + 1 * p.stride], 0xFB) << "one bit in one byte";
    EXPECT_EQ(p.InkCount(p.A()), 3) << "rows 1..3, stops at the last row";
    EXPECT_TRUE(p.GuardsWhite());
  }
  {
    // A pattern 16 wide: plane byte 1 takes pattern byte 1 whatever the rect's left.
    Planes p(32, 2);
    const BYTE pattern[4] = {0xFF, 0xF8, 0xFF, 0xF8};
    Rop2FillRect(p.pdev.get(), PdevRect{13, 0, 31, 1}, p.A(), p.stride, pattern, SIZEL{16, 2}, R2_COPYPEN);
    EXPECT_EQ(p.A()[0], 0xFF);
    EXPECT_EQ(p.A()[1], 0xF8);
    EXPECT_EQ(p.A()[2], 0xFF);
    EXPECT_EQ(p.A()[3], 0xF8);
  }
}

TEST(Rop2Fill, ShapesPastEveryEdgeStayInThePlane) {
  // 21 wide: the row's padding bits and the next row must not change.
  const PdevRect rects[] = {{-40, -40, 100, 100}, {-5, 3, 4, 3}, {18, -3, 60, 2}, {0, 5, 20, 900},
                            {INT32_MIN / 2, 0, INT32_MAX / 2, 0}};
  for (const PdevRect& r : rects) {
    Planes p(21, 7);
    p.TwoInks();
    Rop2FillPlanes(p.pdev.get(), r, p.A(), p.stride, kBlack8x8, k8x8, R2_COPYPEN);
    EXPECT_TRUE(p.GuardsWhite());
    for (int y = 0; y < p.h; ++y)
      for (int x = 21; x < p.stride * 8; ++x) ASSERT_FALSE(p.InkA(x, y)) << "padding at " << x << "," << y;
    PdevRect k = r;
    FillRectInk(p.pdev.get(), p.B(), k, p.stride);
    EXPECT_GE(k.left, 0);
    EXPECT_LE(k.right, 20);
    EXPECT_LE(k.bottom, 6);
    EXPECT_TRUE(p.GuardsWhite());
    for (int y = 0; y < p.h; ++y)
      for (int x = 21; x < p.stride * 8; ++x) ASSERT_FALSE(p.InkB(x, y));
  }
}

// One byte of each plane: D = 0xCC, P = 0xAA, O = 0xF0.
struct Rop2Case {
  ULONG rop;
  BYTE target;
  BYTE other;
};

TEST(Rop2Fill, TwoPlaneTable) {
  constexpr BYTE D = 0xCC, P = 0xAA, O = 0xF0;
  const Rop2Case cases[] = {
      {R2_BLACK, 0x00, 0xFF},
      {R2_NOTMERGEPEN, BYTE(~(D | P)), 0x00},
      {R2_MASKNOTPEN, BYTE(D & ~P), 0x00},
      {R2_NOTCOPYPEN, BYTE(~P), 0x00},
      {R2_MASKPENNOT, BYTE(~D & P), BYTE(~O)},
      {R2_NOT, BYTE(~D), BYTE(~O)},
      {R2_XORPEN, BYTE(D ^ P), O},
      {0x5A, BYTE(D ^ P), O},
      {R2_NOTMASKPEN, BYTE(~(D & P)), BYTE(~O)},
      {R2_MASKPEN, BYTE(D & P), O},
      {0xA0, BYTE(D & P), O},
      {R2_NOTXORPEN, BYTE(~(D ^ P)), O},
      {R2_NOP, D, O},
      {0xAA, D, O},
      {R2_MERGENOTPEN, BYTE(~P | D), O},
      {R2_COPYPEN, P, 0xFF},
      {0xF0, P, 0xFF},
      {R2_MERGEPENNOT, BYTE(~D | P), O},
      {R2_MERGEPEN, BYTE(D | P), 0xFF},
      {R2_WHITE, 0xFF, 0xFF},
      {0, D, O},
      {17, D, O},
  };
  const BYTE pattern[1] = {P};
  for (const Rop2Case& c : cases) {
    for (bool two : {false, true}) {
      Planes p(8, 1);
      p.A()[0] = D;
      p.B()[0] = O;
      if (two) p.TwoInks();
      Rop2FillPlanes(p.pdev.get(), PdevRect{0, 0, 7, 0}, p.A(), p.stride, pattern, SIZEL{8, 1}, c.rop);
      EXPECT_EQ(p.A()[0], c.target) << "rop " << c.rop << (two ? " two planes" : " one plane");
      EXPECT_EQ(p.B()[0], two ? c.other : O) << "rop " << c.rop << (two ? " two planes" : " one plane");
    }
  }
}

// The XOR and MASKPEN rules that depend on the device state.
struct StateCase {
  ULONG rop;
  int graphicsMode;
  ULONG rop4, previousRop4;
  bool keep, maskIdiom;
  BYTE target, other;
};

TEST(Rop2Fill, XorAndMaskRulesFollowTheDeviceState) {
  constexpr BYTE D = 0xCC, P = 0xAA, O = 0xF0;
  const StateCase cases[] = {
      {R2_XORPEN, 1, 0x5A5A, 0, false, false, BYTE(D ^ P), BYTE(~O)},
      {R2_XORPEN, 1, 0x5A5A, 0, true, false, BYTE(D ^ P), O},
      {R2_XORPEN, 0, 0x0000, 0, false, false, BYTE(D ^ P), O},
      {R2_XORPEN, 2, 0x5A5A, 0, true, false, BYTE(D ^ P), BYTE(~O)},
      {R2_XORPEN, 3, 0x5A5A, 0, false, false, BYTE((D & O) ^ P), BYTE(~O | ((D & O) ^ P))},
      {R2_XORPEN, 3, 0x6666, 0, false, false, BYTE(D ^ P), O},
      {R2_MASKPEN, 1, 0, 0x5A5A, false, true, BYTE(D & P), BYTE(~P | O)},
      {R2_MASKPEN, 2, 0, 0x5A5A, false, true, BYTE(D & P), BYTE(P & O)},
      {R2_MASKPEN, 1, 0, 0x8888, false, true, BYTE(D & P), BYTE(P & O)},
      {R2_MASKPEN, 1, 0, 0, true, false, BYTE(D & P), 0xFF},
      {R2_COPYPEN, 1, 0, 0, true, false, P, O},
  };
  const BYTE pattern[1] = {P};
  for (const StateCase& c : cases) {
    Planes p(8, 1);
    p.TwoInks();
    p.A()[0] = D;
    p.B()[0] = O;
    p.pdev->separationModes[1] = static_cast<std::uint8_t>(c.graphicsMode);
    p.pdev->drawing.rop4 = c.rop4;
    p.pdev->drawing.previousRop4 = c.previousRop4;
    p.pdev->drawing.keepOtherPlane = c.keep;
    p.pdev->drawing.maskIdiom = c.maskIdiom;
    Rop2FillPlanes(p.pdev.get(), PdevRect{0, 0, 7, 0}, p.A(), p.stride, pattern, SIZEL{8, 1}, c.rop);
    EXPECT_EQ(p.A()[0], c.target) << c.rop << " mode " << c.graphicsMode << " rop4 " << c.rop4;
    EXPECT_EQ(p.B()[0], c.other) << c.rop << " mode " << c.graphicsMode << " rop4 " << c.rop4;
  }
}

TEST(Rop2Fill, NoPatternLeavesThePlanes) {
  Planes p(16, 2);
  p.TwoInks();
  Rop2FillPlanes(p.pdev.get(), PdevRect{0, 0, 15, 1}, p.A(), p.stride, nullptr, k8x8, R2_BLACK);
  EXPECT_EQ(p.InkCount(p.A()) + p.InkCount(p.B()), 0);
}

TEST(RectKernels, InkWhiteInvertAndTheirCuts) {
  Planes p(20, 3);
  PdevRect r{-3, -1, 30, 1};
  FillRectInk(p.pdev.get(), p.A(), r, p.stride);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 19);
  EXPECT_EQ(r.bottom, 1);
  EXPECT_EQ(p.InkCount(p.A()), 40);
  PdevRect w{2, 0, 9, 0};
  FillRectWhite(nullptr, p.A(), w, p.stride);
  EXPECT_EQ(p.InkCount(p.A()), 32);
  PdevRect i{0, 1, 3, 2};
  InvertRect(nullptr, p.A(), i, p.stride);
  EXPECT_EQ(Planes::Rows(p.A(), p.stride, 20, 3),
            "##........##########\n"
            "....################\n"
            "####................\n");
  PdevRect empty{5, 0, 4, 2};
  InvertRect(nullptr, p.A(), empty, p.stride);
  EXPECT_EQ(p.InkCount(p.A()), 32);
}

TEST(DrawLine, HandWorkedLines) {
  struct Case {
    LONG x1, y1, x2, y2, width;
    const char* rows;  // 12 x 6
  };
  const Case cases[] = {
      {2, 1, 7, 1, 1,
       "............\n"
       "..#######...\n"
       "............\n"
       "............\n"
       "............\n"
       "............\n"},
      {3, 4, 3, 1, 2,
       "............\n"
       "...##.......\n"
       "...##.......\n"
       "...##.......\n"
       "...##.......\n"
       "...##.......\n"},
      // Two rows over four columns: q 0, r 2, error from 1 passes 4 at columns 2 and 4.
      {1, 0, 4, 1, 1,
       ".##.........\n"
       "..###.......\n"
       "....#.......\n"
       "............\n"
       "............\n"
       "............\n"},
      // Reversed ends draw the same; a steep line runs two rows a column.
      {2, 5, 0, 0, 1,
       "#...........\n"
       "#...........\n"
       "##..........\n"
       ".#..........\n"
       ".##.........\n"
       "..#.........\n"},
  };
  for (const Case& c : cases) {
    Planes p(12, 6);
    DrawLine(p.pdev.get(), p.A(), c.x1, c.y1, c.x2, c.y2, c.width, p.stride, kBlack8x8, k8x8, R2_COPYPEN);
    EXPECT_EQ(Planes::Rows(p.A(), p.stride, 12, 6), c.rows) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
  }
}

TEST(DrawLine, HorizontalAndVerticalExtensions) {
  Planes p(32, 16);
  DrawLine(p.pdev.get(), p.A(), 20, 3, 10, 3, 1, p.stride, kBlack8x8, k8x8, R2_COPYPEN);
  for (int x = 0; x < 32; ++x) EXPECT_EQ(p.InkA(x, 3), x >= 10 && x <= 21) << x;
  DrawLine(p.pdev.get(), p.A(), 1, 5, 1, 9, 1, p.stride, kBlack8x8, k8x8, R2_COPYPEN);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(p.InkA(1, y), y >= 5 && y <= 10) << y;
  // At the plane's right edge the extension stays in the row.
  Planes q(21, 3);
  DrawLine(q.pdev.get(), q.A(), 15, 1, 20, 1, 1, q.stride, kBlack8x8, k8x8, R2_COPYPEN);
  EXPECT_EQ(q.InkCount(q.A()), 6);
  for (int x = 21; x < 32; ++x) EXPECT_FALSE(q.InkA(x, 1));
  EXPECT_TRUE(q.GuardsWhite());
}

TEST(DrawLine, XorTwiceRestores) {
  Planes p(40, 40);
  DrawLine(p.pdev.get(), p.A(), 3, 37, 35, 2, 3, p.stride, kBlack8x8, k8x8, R2_COPYPEN);
  const auto before = p.a;
  const BYTE white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  DrawLine(p.pdev.get(), p.A(), 0, 0, 39, 39, 1, p.stride, white, k8x8, R2_XORPEN);
  EXPECT_NE(p.a, before);
  DrawLine(p.pdev.get(), p.A(), 0, 0, 39, 39, 1, p.stride, white, k8x8, R2_XORPEN);
  EXPECT_EQ(p.a, before);
}

TEST(ClipWalks, EveryRectangleOfEveryBatch) {
  // 300 rectangles come in two batches of a 4100-byte buffer; the second
  // comes with FALSE and is drawn too.
  std::vector<RECTL> rects;
  for (int i = 0; i < 300; ++i) rects.push_back(RECTL{(i % 30) * 3, (i / 30) * 3, (i % 30) * 3 + 2, (i / 30) * 3 + 1});
  CLIPOBJ* complex = plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
  ASSERT_NE(complex, nullptr);
  ASSERT_EQ(complex->iDComplexity, DC_COMPLEX);
  const RECTL one{2, 1, 6, 4};
  CLIPOBJ* rect = plat::engine::CreateClip(&one, 1);
  ASSERT_EQ(rect->iDComplexity, DC_RECT);
  struct Case {
    CLIPOBJ* clip;
    int dots;
  };
  for (const Case& c : {Case{nullptr, 90 * 30}, Case{rect, 4 * 3}, Case{complex, 300 * 2}}) {
    Planes p(90, 30);
    ForEachClipRect(p.pdev.get(), p.A(), PdevRect{0, 0, 200, 200}, p.stride, c.clip, FillRectInk);
    EXPECT_EQ(p.InkCount(p.A()), c.dots);
    Planes q(90, 30);
    Rop2FillClip(q.pdev.get(), c.clip, q.A(), q.stride, kBlack8x8, k8x8, R2_COPYPEN);
    EXPECT_EQ(q.InkCount(q.A()), c.clip ? c.dots : 0) << "a paint without a region draws nothing";
  }
  plat::engine::DeleteClip(complex);
  plat::engine::DeleteClip(rect);
}

int Ones(const BYTE* bytes, std::size_t n) {
  int c = 0;
  for (std::size_t i = 0; i < n; ++i) c += std::popcount(static_cast<unsigned>(bytes[i]));
  return c;
}

TEST(DitherPatterns, CountsAndNesting) {
  const auto& t8 = DitherPattern8x8();
  for (int level = 0; level < 64; ++level) {
    const int n = level == 46 ? 45 : level == 63 ? 64 : level;
    EXPECT_EQ(Ones(&t8[level * 8], 8), n) << level;
    if (level > 0) {
      for (int i = 0; i < 8; ++i) EXPECT_EQ(t8[(level - 1) * 8 + i] & ~t8[level * 8 + i], 0) << level;
    }
  }
  EXPECT_EQ(t8[8 + 1], 0x40) << "level 1 inks (row 1, column 1)";
  const int counts32[32] = {0,   36,  63,  93,  154, 186, 220, 250, 282, 307, 337, 373, 399, 435, 463, 494,
                            520, 554, 585, 616, 650, 677, 708, 769, 801, 833, 861, 893, 920, 952, 987, 1024};
  for (int level = 0; level < 32; ++level)
    EXPECT_EQ(Ones(&DitherPattern32x32()[level * 128], 128), counts32[level]) << level;
  // Level 2 of 32 x 32 is dispersed: no two ink pixels touch side by side.
  const BYTE* l2 = &DitherPattern32x32()[2 * 128];
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 31; ++x)
      EXPECT_FALSE(Planes::Ink(l2, 4, x, y) == false && Planes::Ink(l2, 4, x + 1, y) == false) << x << "," << y;
  for (bool landscape : {false, true}) {
    const auto& t = DitherPattern24x12(landscape);
    for (int level = 0; level < 64; ++level) {
      const BYTE* rows = &t[level * 36];
      EXPECT_EQ(288 - Ones(rows, 36), 8 * ((36 * level + 31) / 63)) << level;
      if (level > 0) {
        for (int i = 0; i < 36; ++i) EXPECT_EQ(rows[i] & ~t[(level - 1) * 36 + i], 0) << "nested " << level;
      }
      // Every ink pixel has its partner.
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 24; ++x)
          if (Planes::Ink(rows, 3, x, y)) {
            const bool partner = landscape ? Planes::Ink(rows, 3, x, y ^ 1) : Planes::Ink(rows, 3, x ^ 1, y);
            ASSERT_TRUE(partner) << level << " at " << x << "," << y;
          }
    }
  }
}

TEST(DitherPatterns, SolidPatternForms) {
  std::array<std::uint8_t, 128> out{};
  EXPECT_EQ(SolidPatternBits(2, {false, 0, 0}, out), 8u);
  EXPECT_EQ(128 * 8 - Ones(out.data(), 128), 1) << "density 2 gives one ink dot";
  EXPECT_EQ(SolidPatternBits(0, {false, 0, 0}, out), 8u);
  EXPECT_EQ(Ones(out.data(), 8), 64);
  EXPECT_EQ(SolidPatternBits(133, {false, 0, 0}, out), 8u);
  EXPECT_EQ(64 - Ones(out.data(), 8), 33) << "grey 133: 33 dots per 8 x 8 cell";
  EXPECT_EQ(SolidPatternBits(255, {true, 0, 0}, out), 128u);
  EXPECT_EQ(Ones(out.data(), 128), 0);
  EXPECT_EQ(SolidPatternBits(100, {false, 2, 90}, out), 36u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 36, &DitherPattern24x12(true)[25 * 36]))
      << "resolution mode 2 copies the table of the orientation as stored";
}

}  // namespace
