// The engine on 24-bit bitmaps (a rendering plug-in's shadow page): copies,
// stretches, affine maps and blends against pixman, ROP4s against the bit
// rule on each of blue, green and red, and drawing against the same drawing
// on a 1-bit surface and against cairo.
#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "plat/engine_blit.h"
#include "plat/engine_text.h"
#include "support/peer.h"

#ifdef HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

using plat::engine::SubPath;

// An engine bitmap, top-down or bottom-up; stride 0 lets the engine choose
// (a multiple of 4), 3 * width packs the rows so pixman cannot address them.
struct Bitmap {
  int w, h;
  HBITMAP bm;
  SURFOBJ* so;
  Bitmap(int width, int height, ULONG format = BMF_24BPP, bool topDown = true, LONG stride = 0)
      : w(width), h(height) {
    bm = EngCreateBitmap(SIZEL{w, h}, stride, format, topDown ? BMF_TOPDOWN : 0, nullptr);
    so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  }
  ~Bitmap() {
    EngUnlockSurface(so);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  int Bpp() const { return so->iBitmapFormat == BMF_32BPP ? 4 : 3; }
  BYTE* Px(int x, int y) const {
    return static_cast<BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta + Bpp() * x;
  }
  void Random(unsigned seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < Bpp(); ++c) Px(x, y)[c] = static_cast<BYTE>(rng());
  }
  void Fill(BYTE b, BYTE g, BYTE r) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Px(x, y)[0] = b, Px(x, y)[1] = g, Px(x, y)[2] = r;
  }
  // Rows top-down, w * 3 bytes each (blue, green, red).
  std::vector<BYTE> Rows() const {
    std::vector<BYTE> out;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.insert(out.end(), Px(x, y), Px(x, y) + 3);
    return out;
  }
  bool White(int x, int y) const { return Px(x, y)[0] == 0xFF && Px(x, y)[1] == 0xFF && Px(x, y)[2] == 0xFF; }
  // One-bit bitmaps: 0 is ink.
  bool Ink(int x, int y) const {
    return !((static_cast<const BYTE*>(so->pvScan0)[y * so->lDelta + x / 8] >> (7 - x % 8)) & 1);
  }
};

// A pixman r8g8b8 image holding a copy of rows (blue, green, red bytes).
struct PixmanCopy {
  int w, h, stride;
  std::vector<uint32_t> bits;
  pixman_image_t* image;
  PixmanCopy(const std::vector<BYTE>& rows, int width, int height) : w(width), h(height), stride((3 * w + 3) & ~3) {
    bits.assign(static_cast<std::size_t>(stride / 4) * h, 0);
    for (int y = 0; y < h; ++y) std::memcpy(Row(y), rows.data() + 3 * w * y, 3 * w);
    image = pixman_image_create_bits(PIXMAN_r8g8b8, w, h, bits.data(), stride);
  }
  explicit PixmanCopy(const Bitmap& b) : PixmanCopy(b.Rows(), b.w, b.h) {}
  ~PixmanCopy() { pixman_image_unref(image); }
  BYTE* Row(int y) { return reinterpret_cast<BYTE*>(bits.data()) + stride * y; }
  std::vector<BYTE> Rows() {
    std::vector<BYTE> out;
    for (int y = 0; y < h; ++y) out.insert(out.end(), Row(y), Row(y) + 3 * w);
    return out;
  }
};

struct Clip {
  CLIPOBJ* co = nullptr;
  explicit Clip(const std::vector<RECTL>& rects)
      : co(rects.empty() ? nullptr : plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size()))) {}
  ~Clip() {
    if (co) plat::engine::DeleteClip(co);
  }
};

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(BRUSHOBJ* b) : bo(b) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
};

struct Path {
  PATHOBJ* po;
  explicit Path(const std::vector<SubPath>& sp) : po(plat::engine::CreatePath(sp)) {}
  ~Path() { plat::engine::DeletePath(po); }
};

SubPath Poly(std::initializer_list<std::pair<double, double>> pts, bool closed = true) {
  SubPath sp;
  for (auto [x, y] : pts)
    sp.points.push_back(POINTFIX{static_cast<FIX>(std::lround(x * 16)), static_cast<FIX>(std::lround(y * 16))});
  sp.closed = closed;
  return sp;
}

// Pixels of the rectangle inside one of the clip rectangles (all without a clip).
bool InClip(const std::vector<RECTL>& clip, int x, int y) {
  if (clip.empty()) return true;
  for (const RECTL& c : clip)
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) return true;
  return false;
}

// The ROP3 bit rule: bit i of the result is bit (P << 2 | S << 1 | D) of the ROP.
BYTE RopBits(ULONG rop3, BYTE p, BYTE s, BYTE d) {
  BYTE out = 0;
  for (int b = 0; b < 8; ++b) {
    const int index = (((p >> b) & 1) << 2) | (((s >> b) & 1) << 1) | ((d >> b) & 1);
    out = static_cast<BYTE>(out | (((rop3 >> index) & 1) << b));
  }
  return out;
}

TEST(ShadowCopies, EqualPixmansSourceCopyThroughTheClip) {
  struct Case {
    bool srcTopDown, dstTopDown;
    LONG srcStride, dstStride;  // 0: aligned rows
    RECTL target;
    POINTL from;
    std::vector<RECTL> clip;
  };
  const Case cases[] = {
      {true, true, 0, 0, {3, 4, 40, 30}, {5, 1}, {}},
      {false, true, 0, 0, {0, 0, 50, 40}, {0, 0}, {}},
      {true, false, 0, 0, {10, 2, 47, 39}, {0, 7}, {{0, 0, 20, 20}, {25, 10, 50, 40}}},
      {true, true, 3 * 37, 0, {-5, -3, 30, 20}, {2, 2}, {}},  // packed source, target off the surface
      {true, true, 0, 3 * 50 + 2, {20, 10, 60, 60}, {30, 25}, {{22, 0, 44, 33}}},  // past the source's end
  };
  for (const Case& c : cases) {
    Bitmap src(37, 33, BMF_24BPP, c.srcTopDown, c.srcStride), dst(50, 40, BMF_24BPP, c.dstTopDown, c.dstStride);
    src.Random(1);
    dst.Random(2);
    PixmanCopy expect(dst), source(src);
    const RECTL sourceBox{c.target.left - c.from.x, c.target.top - c.from.y, c.target.left - c.from.x + src.w,
                          c.target.top - c.from.y + src.h};
    std::vector<RECTL> areas = c.clip.empty() ? std::vector<RECTL>{RECTL{0, 0, dst.w, dst.h}} : c.clip;
    for (const RECTL& a : areas) {
      const LONG l = std::max({a.left, c.target.left, sourceBox.left, LONG{0}}),
                 t = std::max({a.top, c.target.top, sourceBox.top, LONG{0}});
      const LONG r = std::min({a.right, c.target.right, sourceBox.right, LONG(dst.w)}),
                 b = std::min({a.bottom, c.target.bottom, sourceBox.bottom, LONG(dst.h)});
      if (l < r && t < b)
        pixman_image_composite32(PIXMAN_OP_SRC, source.image, nullptr, expect.image, c.from.x + l - c.target.left,
                                 c.from.y + t - c.target.top, 0, 0, l, t, r - l, b - t);
    }
    Clip clip(c.clip);
    RECTL target = c.target;
    POINTL from = c.from;
    ASSERT_TRUE(EngBitBlt(dst.so, src.so, nullptr, clip.co, nullptr, &target, &from, nullptr, nullptr, nullptr,
                          0xCCCC));
    EXPECT_EQ(dst.Rows(), expect.Rows()) << c.target.left << "," << c.target.top;
  }
}

TEST(ShadowCopies, OverlappingCopyOnOneSurfaceReadsThePixelsBeforeIt) {
  for (LONG stride : {LONG{0}, LONG{3 * 30}}) {
    Bitmap page(30, 20, BMF_24BPP, true, stride);
    page.Random(3);
    const std::vector<BYTE> before = page.Rows();
    RECTL target{2, 3, 30, 20};
    POINTL from{0, 0};
    ASSERT_TRUE(EngCopyBits(page.so, page.so, nullptr, nullptr, &target, &from));
    for (int y = 3; y < 20; ++y)
      for (int x = 2; x < 30; ++x)
        ASSERT_EQ(std::memcmp(page.Px(x, y), &before[3 * (30 * (y - 3) + x - 2)], 3), 0) << x << "," << y;
  }
}

// Nearest stretches at ratios where pixman's sample points lie inside
// pixels (never on their edges).
TEST(ShadowStretches, NearestEqualsPixmansScaleAtItsSamples) {
  struct Case {
    int sw, sh, dw, dh;
    bool flipX, flipY;
    LONG dstStride;
  };
  const Case cases[] = {
      {16, 12, 32, 24, false, false, 0}, {16, 12, 48, 36, false, false, 0}, {15, 9, 5, 3, false, false, 0},
      {16, 12, 32, 24, true, false, 0},  {16, 12, 32, 36, false, true, 0},  {21, 12, 7, 24, true, true, 3 * 40 + 1},
  };
  for (const Case& c : cases) {
    Bitmap src(c.sw, c.sh), dst(40, 40, BMF_24BPP, true, c.dstStride);
    src.Random(4);
    dst.Random(5);
    PixmanCopy expect(dst), source(src);
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    f.m[0][0] = (c.flipX ? -1.0 : 1.0) * c.sw / c.dw;
    f.m[0][2] = c.flipX ? c.sw : 0;
    f.m[1][1] = (c.flipY ? -1.0 : 1.0) * c.sh / c.dh;
    f.m[1][2] = c.flipY ? c.sh : 0;
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(source.image, &t);
    pixman_image_set_filter(source.image, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_composite32(PIXMAN_OP_SRC, source.image, nullptr, expect.image, 0, 0, 0, 0, 2, 3, c.dw, c.dh);
    RECTL to{2, 3, 2 + c.dw, 3 + c.dh}, from{0, 0, c.sw, c.sh};
    if (c.flipX) std::swap(to.left, to.right);
    if (c.flipY) std::swap(from.top, from.bottom);
    ASSERT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr,
                              COLORONCOLOR));
    EXPECT_EQ(dst.Rows(), expect.Rows()) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
  }
}

TEST(ShadowStretches, HalftoneAveragesTheAreaEachPixelCovers) {
  Bitmap src(6, 4), dst(6, 4);
  src.Random(6);
  // Halving: each pixel the rounded mean of its 2 x 2 block.
  RECTL to{0, 0, 3, 2}, from{0, 0, 6, 4};
  ASSERT_TRUE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, HALFTONE));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        const int sum = src.Px(2 * x, 2 * y)[ch] + src.Px(2 * x + 1, 2 * y)[ch] + src.Px(2 * x, 2 * y + 1)[ch] +
                        src.Px(2 * x + 1, 2 * y + 1)[ch];
        EXPECT_EQ(dst.Px(x, y)[ch], (sum + 2) / 4) << x << "," << y;
      }
  // Three columns onto two: weights 2:1 and 1:2.
  RECTL to2{0, 3, 2, 4}, from2{0, 0, 3, 1};
  ASSERT_TRUE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to2, &from2, nullptr, HALFTONE));
  for (int ch = 0; ch < 3; ++ch) {
    EXPECT_EQ(dst.Px(0, 3)[ch], (2 * src.Px(0, 0)[ch] + src.Px(1, 0)[ch] + 1) / 3);
    EXPECT_EQ(dst.Px(1, 3)[ch], (src.Px(1, 0)[ch] + 2 * src.Px(2, 0)[ch] + 1) / 3);
  }
  // A flat colour stays flat at any ratio, up or down, mirrored or not.
  Bitmap flat(7, 5), big(40, 40);
  flat.Fill(10, 200, 77);
  for (RECTL t : {RECTL{0, 0, 40, 40}, RECTL{3, 1, 8, 4}, RECTL{39, 0, 0, 13}}) {
    big.Random(7);
    RECTL f{0, 0, 7, 5};
    ASSERT_TRUE(EngStretchBlt(big.so, flat.so, nullptr, nullptr, nullptr, nullptr, nullptr, &t, &f, nullptr, HALFTONE));
    const RECTL o{std::min(t.left, t.right), t.top, std::max(t.left, t.right), t.bottom};
    for (int y = o.top; y < o.bottom; ++y)
      for (int x = o.left; x < o.right; ++x)
        ASSERT_TRUE(big.Px(x, y)[0] == 10 && big.Px(x, y)[1] == 200 && big.Px(x, y)[2] == 77) << x << "," << y;
  }
}

// Parallelograms given by three points (28.4): the source's top-left,
// top-right and bottom-left corners.
TEST(ShadowAffine, PlgBltEqualsPixmansMapAtItsSamples) {
  struct Case {
    const char* name;
    double pts[6];
    LONG dstStride;
  };
  const Case cases[] = {
      {"moved", {5, 7, 21, 7, 5, 19}, 0},
      {"turned a quarter", {30, 4, 30, 20, 18, 4}, 0},
      {"mirrored", {25, 3, 9, 3, 25, 15}, 3 * 40 + 1},
      {"doubled", {2, 2, 34, 2, 2, 26}, 0},
      {"sheared", {4.5, 6.25, 20.5, 10.75, 8.5, 30.5}, 0},
  };
  Bitmap src(16, 12);
  src.Random(8);
  for (const Case& c : cases) {
    Bitmap dst(40, 36, BMF_24BPP, true, c.dstStride);
    dst.Random(9);
    PixmanCopy expect(dst);
    // The reference: pixman's own inverse of the forward map, over opaque
    // source pixels only.
    std::vector<uint32_t> argb(16 * 12);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x)
        argb[16 * y + x] = 0xFF000000u | (src.Px(x, y)[2] << 16) | (src.Px(x, y)[1] << 8) | src.Px(x, y)[0];
    pixman_image_t* source = pixman_image_create_bits(PIXMAN_a8r8g8b8, 16, 12, argb.data(), 64);
    pixman_f_transform forward, inverse;
    pixman_f_transform_init_identity(&forward);
    forward.m[0][0] = (c.pts[2] - c.pts[0]) / 16, forward.m[0][1] = (c.pts[4] - c.pts[0]) / 12, forward.m[0][2] = c.pts[0];
    forward.m[1][0] = (c.pts[3] - c.pts[1]) / 16, forward.m[1][1] = (c.pts[5] - c.pts[1]) / 12, forward.m[1][2] = c.pts[1];
    ASSERT_TRUE(pixman_f_transform_invert(&inverse, &forward));
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &inverse);
    pixman_image_set_transform(source, &t);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, expect.image, 0, 0, 0, 0, 0, 0, 40, 36);
    pixman_image_unref(source);
    POINTFIX p[3];
    for (int i = 0; i < 3; ++i)
      p[i] = POINTFIX{static_cast<FIX>(std::lround(c.pts[2 * i] * 16)), static_cast<FIX>(std::lround(c.pts[2 * i + 1] * 16))};
    RECTL all{0, 0, 16, 12};
    ASSERT_TRUE(EngPlgBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, p, &all, nullptr, COLORONCOLOR));
    EXPECT_EQ(dst.Rows(), expect.Rows()) << c.name;
  }
  // Independently of pixman: a quarter turn puts source (x, y) at (29 - y, 4 + x).
  Bitmap dst(40, 36);
  dst.Fill(0xFF, 0xFF, 0xFF);
  POINTFIX turn[3] = {{30 * 16, 4 * 16}, {30 * 16, 20 * 16}, {18 * 16, 4 * 16}};
  ASSERT_TRUE(EngPlgBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, turn, nullptr, nullptr, 0));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(std::memcmp(dst.Px(29 - y, 4 + x), src.Px(x, y), 3), 0) << x << "," << y;
  int white = 0;
  for (int y = 0; y < 36; ++y)
    for (int x = 0; x < 40; ++x) white += dst.White(x, y);
  EXPECT_EQ(white, 40 * 36 - 16 * 12);
}

TEST(ShadowBlends, ConstantAlphaWithinOneOfTheBlendAndOfPixman) {
  struct Case {
    BYTE alpha;
    int dw, dh;
    LONG dstStride;
  };
  const Case cases[] = {{128, 20, 15, 0}, {1, 20, 15, 0}, {254, 20, 15, 3 * 40 + 2}, {77, 40, 30, 0}, {255, 20, 15, 0}};
  Bitmap src(20, 15);
  src.Random(10);
  for (const Case& c : cases) {
    Bitmap dst(40, 30, BMF_24BPP, true, c.dstStride);
    dst.Random(11);
    const std::vector<BYTE> before = dst.Rows();
    PixmanCopy expect(dst), source(src);
    if (c.dw != 20) {
      pixman_transform t;
      pixman_transform_init_scale(&t, pixman_double_to_fixed(20.0 / c.dw), pixman_double_to_fixed(15.0 / c.dh));
      pixman_image_set_transform(source.image, &t);
    }
    pixman_color_t a{0, 0, 0, static_cast<uint16_t>(c.alpha * 257)};
    pixman_image_t* mask = pixman_image_create_solid_fill(&a);
    pixman_image_composite32(PIXMAN_OP_OVER, source.image, mask, expect.image, 0, 0, 0, 0, 0, 0, c.dw, c.dh);
    pixman_image_unref(mask);
    BLENDOBJ blend{{AC_SRC_OVER, 0, c.alpha, 0}};
    RECTL to{0, 0, c.dw, c.dh}, from{0, 0, 20, 15};
    ASSERT_TRUE(EngAlphaBlend(dst.so, src.so, nullptr, nullptr, &to, &from, &blend));
    const std::vector<BYTE> got = dst.Rows(), peer = expect.Rows();
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          const std::size_t i = 3 * (40 * y + x) + ch;
          ASSERT_LE(std::abs(got[i] - peer[i]), 1) << int(c.alpha) << " at " << x << "," << y;
          const bool inside = x < c.dw && y < c.dh;
          const double s = inside ? src.Px(x * 20 / c.dw, y * 15 / c.dh)[ch] : 0;
          const double want = inside ? (s * c.alpha + before[i] * (255.0 - c.alpha)) / 255 : before[i];
          ASSERT_LE(std::fabs(got[i] - want), 1.0) << int(c.alpha) << " at " << x << "," << y;
        }
  }
}

TEST(ShadowBlends, PerPixelPremultipliedAlphaOfA32BitSource) {
  Bitmap src(4, 1, BMF_32BPP), dst(4, 1);
  const BYTE alpha[4] = {0, 64, 128, 255};
  for (int x = 0; x < 4; ++x) {
    BYTE* p = src.Px(x, 0);
    p[0] = static_cast<BYTE>(alpha[x]), p[1] = 0, p[2] = static_cast<BYTE>(alpha[x] / 2), p[3] = alpha[x];
  }
  dst.Fill(200, 100, 50);
  BLENDOBJ blend{{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
  RECTL r{0, 0, 4, 1};
  ASSERT_TRUE(EngAlphaBlend(dst.so, src.so, nullptr, nullptr, &r, &r, &blend));
  for (int x = 0; x < 4; ++x) {
    const double keep = (255.0 - alpha[x]) / 255;
    EXPECT_LE(std::fabs(dst.Px(x, 0)[0] - (alpha[x] + 200 * keep)), 1.0) << x;
    EXPECT_LE(std::fabs(dst.Px(x, 0)[1] - (100 * keep)), 1.0) << x;
    EXPECT_LE(std::fabs(dst.Px(x, 0)[2] - (alpha[x] / 2 + 50 * keep)), 1.0) << x;
  }
  blend.BlendFunction.BlendOp = 1;
  EXPECT_FALSE(EngAlphaBlend(dst.so, src.so, nullptr, nullptr, &r, &r, &blend));
}

// Each ROP3 on pattern, source and destination bytes, blue, green and red
// alike, with an 8 x 8 pattern anchored at the brush origin.
TEST(ShadowRops, EveryRopByTheBitRulePerChannel) {
  Bitmap pattern(8, 8), src(30, 20);
  pattern.Random(12);
  src.Random(13);
  Brush brush(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(pattern.bm), {}));
  const std::vector<RECTL> clipRects = {{0, 0, 17, 40}, {20, 5, 40, 33}};
  for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
    const bool bottomUp = rop3 % 3 == 0;
    Bitmap dst(40, 36, BMF_24BPP, !bottomUp, rop3 % 5 == 0 ? 3 * 40 + 1 : 0);
    dst.Random(14 + rop3);
    const std::vector<BYTE> before = dst.Rows();
    Clip clip(rop3 % 2 ? clipRects : std::vector<RECTL>{});
    RECTL target{4, 6, 34, 26};
    POINTL from{0, 0}, origin{3, 5};
    ASSERT_TRUE(EngBitBlt(dst.so, src.so, nullptr, clip.co, nullptr, &target, &from, nullptr, brush.bo, &origin,
                          rop3 * 0x101))
        << rop3;
    const std::vector<BYTE> got = dst.Rows();
    for (int y = 0; y < 36; ++y)
      for (int x = 0; x < 40; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          const std::size_t i = 3 * (40 * y + x) + ch;
          const bool drawn = x >= 4 && x < 34 && y >= 6 && y < 26 && InClip(rop3 % 2 ? clipRects : std::vector<RECTL>{}, x, y);
          const BYTE want = drawn ? RopBits(rop3, pattern.Px(((x - 3) % 8 + 8) % 8, ((y - 5) % 8 + 8) % 8)[ch],
                                            src.Px(x - 4, y - 6)[ch], before[i])
                                  : before[i];
          ASSERT_EQ(got[i], want) << "rop " << rop3 << " at " << x << "," << y << " channel " << ch;
        }
  }
}

TEST(ShadowRops, MaskChoosesTheForegroundOrBackgroundRop) {
  struct Case {
    ULONG fore, back;
  };
  const Case cases[] = {{0xCC, 0xAA}, {0xAA, 0xCC}, {0xF0, 0x66}, {0xB8, 0x00}};
  Bitmap src(16, 8), mask(16, 8, BMF_1BPP);
  src.Random(20);
  std::mt19937 rng(21);
  for (int y = 0; y < 8; ++y)
    for (int i = 0; i < 2; ++i) static_cast<BYTE*>(mask.so->pvScan0)[y * mask.so->lDelta + i] = static_cast<BYTE>(rng());
  auto maskBit = [&](int x, int y) { return !mask.Ink(x, y); };
  Brush solid(plat::engine::CreateSolidBrush(0x3366CC));
  const BYTE pen[3] = {0x33, 0x66, 0xCC};  // blue, green, red
  for (const Case& c : cases) {
    Bitmap dst(20, 10);
    dst.Random(22);
    const std::vector<BYTE> before = dst.Rows();
    RECTL target{2, 1, 18, 9};
    POINTL from{0, 0}, maskAt{0, 0};
    ASSERT_TRUE(EngBitBlt(dst.so, src.so, mask.so, nullptr, nullptr, &target, &from, &maskAt, solid.bo, nullptr,
                          (c.back << 8) | c.fore));
    for (int y = 1; y < 9; ++y)
      for (int x = 2; x < 18; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          const std::size_t i = 3 * (20 * y + x) + ch;
          const ULONG rop = maskBit(x - 2, y - 1) ? c.fore : c.back;
          ASSERT_EQ(dst.Px(x, y)[ch], RopBits(rop, pen[ch], src.Px(x - 2, y - 1)[ch], before[i]))
              << c.fore << "/" << c.back << " at " << x << "," << y;
        }
  }
  // A ROP that reads a missing operand is refused.
  Bitmap dst(4, 4);
  RECTL r{0, 0, 4, 4};
  EXPECT_FALSE(EngBitBlt(dst.so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr, nullptr, 0xCCCC));
  EXPECT_FALSE(EngBitBlt(dst.so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr, nullptr, 0xF0F0));
}

TEST(ShadowRops, StretchBltRopStretchesThenCombines) {
  Bitmap src(4, 3), dst(12, 9);
  src.Random(30);
  dst.Random(31);
  const std::vector<BYTE> before = dst.Rows();
  Brush solid(plat::engine::CreateSolidBrush(0x10F0A5));
  const BYTE pen[3] = {0x10, 0xF0, 0xA5};
  RECTL to{8, 0, 0, 6}, from{0, 0, 4, 3};  // doubled, mirrored across
  ASSERT_TRUE(EngStretchBltROP(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr,
                               COLORONCOLOR, solid.bo, 0xB8B8));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        const std::size_t i = 3 * (12 * y + x) + ch;
        const BYTE want = x < 8 && y < 6 ? RopBits(0xB8, pen[ch], src.Px((7 - x) / 2, y / 2)[ch], before[i]) : before[i];
        ASSERT_EQ(dst.Px(x, y)[ch], want) << x << "," << y;
      }
}

// What the engine draws on a 24-bit page covers the pixels it covers on a
// 1-bit one, in the brush's own colour.
TEST(ShadowSpans, SamePixelsAsTheOneBitDrawing) {
  const std::vector<SubPath> star = {Poly({{32, 2}, {50, 60}, {3, 24}, {61, 24}, {14, 60}})};
  const std::vector<SubPath> zigzag = {Poly({{4, 8}, {58, 12}, {10, 40}, {60, 55}}, false)};
  std::vector<FLOAT_LONG> dashes(2);
  dashes[0].e = 7, dashes[1].e = 4;
  std::vector<FLOAT_LONG> cosmeticDashes(2);
  cosmeticDashes[0].l = 3, cosmeticDashes[1].l = 2;
  const std::vector<RECTL> clipRects = {{0, 0, 30, 64}, {34, 10, 64, 50}};
  enum Kind { kFillAlternate, kFillWinding, kWideDashed, kCosmeticStyled, kLine, kPaint };
  struct Case {
    const char* name;
    Kind kind;
    bool clipped;
  };
  const Case cases[] = {{"fill alternate", kFillAlternate, false}, {"fill winding", kFillWinding, true},
                        {"wide dashed stroke", kWideDashed, false}, {"styled cosmetic stroke", kCosmeticStyled, true},
                        {"line", kLine, true},                      {"paint", kPaint, true}};
  for (const Case& c : cases) {
    Bitmap mono(64, 64, BMF_1BPP), page(64, 64, BMF_24BPP, false);
    RECTL all{0, 0, 64, 64};
    EngEraseSurface(mono.so, &all, 1);
    page.Fill(0xFF, 0xFF, 0xFF);
    Brush black(plat::engine::CreateSolidBrush(0)), colour(plat::engine::CreateSolidBrush(0x2080F0));
    Clip clip(c.clipped ? clipRects : std::vector<RECTL>{});
    auto draw = [&](SURFOBJ* so, BRUSHOBJ* bo) {
      Path p(c.kind == kFillAlternate || c.kind == kFillWinding ? star : zigzag);
      LINEATTRS la{};
      switch (c.kind) {
        case kFillAlternate: return EngFillPath(so, p.po, clip.co, bo, nullptr, R2_COPYPEN, FP_ALTERNATEMODE);
        case kFillWinding: return EngFillPath(so, p.po, clip.co, bo, nullptr, R2_COPYPEN, FP_WINDINGMODE);
        case kWideDashed:
          la.fl = LA_GEOMETRIC | LA_STYLED, la.elWidth.e = 3.5f, la.iJoin = JOIN_MITER, la.eMiterLimit = 10;
          la.cstyle = 2, la.pstyle = dashes.data();
          return EngStrokePath(so, p.po, clip.co, nullptr, bo, nullptr, &la, R2_COPYPEN);
        case kCosmeticStyled:
          la.fl = LA_STYLED, la.elWidth.l = 1, la.cstyle = 2, la.pstyle = cosmeticDashes.data();
          return EngStrokePath(so, p.po, clip.co, nullptr, bo, nullptr, &la, R2_COPYPEN);
        case kLine: return EngLineTo(so, clip.co, bo, 3, 60, 61, 5, nullptr, R2_COPYPEN);
        case kPaint: return EngPaint(so, clip.co, bo, nullptr, R2_COPYPEN);
      }
      return FALSE;
    };
    ASSERT_TRUE(draw(mono.so, black.bo)) << c.name;
    ASSERT_TRUE(draw(page.so, colour.bo)) << c.name;
    int inked = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const bool monoInk = mono.Ink(x, y);
        inked += monoInk;
        const BYTE* px = page.Px(x, y);
        if (monoInk)
          ASSERT_TRUE(px[0] == 0x20 && px[1] == 0x80 && px[2] == 0xF0) << c.name << " at " << x << "," << y;
        else
          ASSERT_TRUE(page.White(x, y)) << c.name << " at " << x << "," << y;
      }
    EXPECT_GT(inked, 40) << c.name;
  }
}

TEST(ShadowSpans, MixesApplyBitByBitToEachChannel) {
  struct Case {
    MIX mix;
    BYTE (*want)(BYTE pen, BYTE dst);
  };
  const Case cases[] = {
      {R2_XORPEN, [](BYTE p, BYTE d) { return static_cast<BYTE>(p ^ d); }},
      {R2_MASKPEN, [](BYTE p, BYTE d) { return static_cast<BYTE>(p & d); }},
      {R2_MERGENOTPEN, [](BYTE p, BYTE d) { return static_cast<BYTE>(~p | d); }},
      {R2_NOT, [](BYTE, BYTE d) { return static_cast<BYTE>(~d); }},
      {R2_NOP, [](BYTE, BYTE d) { return d; }},
  };
  Brush colour(plat::engine::CreateSolidBrush(0x5A3C96));
  const BYTE pen[3] = {0x5A, 0x3C, 0x96};
  for (const Case& c : cases) {
    Bitmap page(16, 4);
    page.Random(40);
    const std::vector<BYTE> before = page.Rows();
    ASSERT_TRUE(EngPaint(page.so, nullptr, colour.bo, nullptr, c.mix | (c.mix << 8)));
    for (int i = 0; i < 16 * 4 * 3; ++i) ASSERT_EQ(page.Rows()[i], c.want(pen[i % 3], before[i])) << c.mix << " " << i;
  }
}

TEST(ShadowText, GlyphsOnTheSamePixelsAsOnAOneBitSurface) {
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 24);
  REQUIRE_PEER(font != nullptr, "fonts-dejavu-core");
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  ASSERT_TRUE(plat::engine::LayoutText(font, u"Agx!", 4, 26, glyphs, positions));
  Brush black(plat::engine::CreateSolidBrush(0)), red(plat::engine::CreateSolidBrush(0x0000FF)),
      grey(plat::engine::CreateSolidBrush(0x808080)), white(plat::engine::CreateSolidBrush(0xFFFFFF));
  for (bool glyphArray : {true, false}) {
    plat::engine::StringOptions options;
    options.glyphArray = glyphArray;
    options.glyphDefs = glyphArray;
    options.batch = 2;
    STROBJ* str = plat::engine::CreateString(font, glyphs, positions, options);
    ASSERT_NE(str, nullptr);
    Bitmap mono(80, 36, BMF_1BPP), page(80, 36);
    RECTL all{0, 0, 80, 36}, opaque{2, 2, 70, 34};
    EngEraseSurface(mono.so, &all, 1);
    page.Fill(0xFF, 0xFF, 0xFF);
    ASSERT_TRUE(EngTextOut(mono.so, str, font, nullptr, nullptr, nullptr, black.bo, nullptr, nullptr, R2_COPYPEN));
    ASSERT_TRUE(EngTextOut(page.so, str, font, nullptr, nullptr, &opaque, red.bo, grey.bo, nullptr, R2_COPYPEN));
    int inked = 0;
    for (int y = 0; y < 36; ++y)
      for (int x = 0; x < 80; ++x) {
        const bool ink = mono.Ink(x, y);
        inked += ink;
        const BYTE* px = page.Px(x, y);
        const bool inOpaque = x >= 2 && x < 70 && y >= 2 && y < 34;
        const BYTE want[3] = {BYTE(ink ? 0 : inOpaque ? 0x80 : 0xFF), BYTE(ink ? 0 : inOpaque ? 0x80 : 0xFF),
                              BYTE(ink ? 0xFF : inOpaque ? 0x80 : 0xFF)};
        ASSERT_EQ(std::memcmp(px, want, 3), 0) << x << "," << y;
      }
    EXPECT_GT(inked, 60);
    plat::engine::DeleteString(str);
  }
  plat::engine::DeleteFont(font);
}

TEST(ShadowGradients, RectanglesWithinOneOfPixmansLinearGradient) {
  for (ULONG mode : {GRADIENT_FILL_RECT_H, GRADIENT_FILL_RECT_V}) {
    Bitmap page(64, 48);
    page.Fill(1, 2, 3);
    TRIVERTEX v[2] = {{4, 6, 0xFF00, 0x1000, 0x0000, 0}, {60, 40, 0x0000, 0xF000, 0x8000, 0}};
    GRADIENT_RECT mesh{0, 1};
    const RECTL clipRect{0, 0, 50, 48};
    Clip clip({clipRect});
    ASSERT_TRUE(EngGradientFill(page.so, clip.co, nullptr, v, 2, &mesh, 1, nullptr, nullptr, mode));
    // pixman's gradient from the first corner's colour to the second's.
    const bool across = mode == GRADIENT_FILL_RECT_H;
    pixman_gradient_stop_t stops[2] = {{0, {0xFF00, 0x1000, 0x0000, 0xFFFF}}, {pixman_int_to_fixed(1), {0x0000, 0xF000, 0x8000, 0xFFFF}}};
    pixman_point_fixed_t p1{pixman_int_to_fixed(4), pixman_int_to_fixed(6)};
    pixman_point_fixed_t p2{pixman_int_to_fixed(across ? 60 : 4), pixman_int_to_fixed(across ? 6 : 40)};
    pixman_image_t* gradient = pixman_image_create_linear_gradient(&p1, &p2, stops, 2);
    std::vector<uint32_t> expect(64 * 48);
    pixman_image_t* out = pixman_image_create_bits(PIXMAN_a8r8g8b8, 64, 48, expect.data(), 64 * 4);
    pixman_image_composite32(PIXMAN_OP_SRC, gradient, nullptr, out, 0, 0, 0, 0, 0, 0, 64, 48);
    pixman_image_unref(out);
    pixman_image_unref(gradient);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const BYTE* px = page.Px(x, y);
        if (x < 4 || x >= 50 || y < 6 || y >= 40) {
          ASSERT_TRUE(px[0] == 1 && px[1] == 2 && px[2] == 3) << x << "," << y;
          continue;
        }
        const uint32_t e = expect[64 * y + x];
        ASSERT_LE(std::abs(px[2] - int((e >> 16) & 0xFF)), 1) << x << "," << y;
        ASSERT_LE(std::abs(px[1] - int((e >> 8) & 0xFF)), 1) << x << "," << y;
        ASSERT_LE(std::abs(px[0] - int(e & 0xFF)), 1) << x << "," << y;
      }
  }
}

TEST(ShadowGradients, TrianglesShadeBetweenTheirVertices) {
  Bitmap page(40, 40);
  page.Fill(0xFF, 0xFF, 0xFF);
  TRIVERTEX v[3] = {{0, 0, 0xFF00, 0, 0, 0}, {40, 0, 0, 0xFF00, 0, 0}, {0, 40, 0, 0, 0xFF00, 0}};
  GRADIENT_TRIANGLE tri{0, 1, 2};
  ASSERT_TRUE(EngGradientFill(page.so, nullptr, nullptr, v, 3, &tri, 1, nullptr, nullptr, GRADIENT_FILL_TRIANGLE));
  // Near each corner its own colour; the far half untouched; red + green +
  // blue near 255 everywhere inside.
  EXPECT_GT(page.Px(0, 0)[2], 240);
  EXPECT_GT(page.Px(38, 0)[1], 240);
  EXPECT_GT(page.Px(0, 38)[0], 240);
  EXPECT_TRUE(page.White(30, 30));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x + y < 39; ++x) {
      const int sum = page.Px(x, y)[0] + page.Px(x, y)[1] + page.Px(x, y)[2];
      ASSERT_NEAR(sum, 255, 3) << x << "," << y;
    }
  GRADIENT_TRIANGLE bad{0, 1, 3};
  EXPECT_FALSE(EngGradientFill(page.so, nullptr, nullptr, v, 3, &bad, 1, nullptr, nullptr, GRADIENT_FILL_TRIANGLE));
}

// The transparent colour is compared with the source pixel as its format
// holds it: an index, not the colour the index stands for.
TEST(ShadowTransparent, KeyInTheSourcesOwnFormat) {
  Bitmap indexed(4, 1, BMF_8BPP), deep(4, 1);
  BYTE* row = static_cast<BYTE*>(indexed.so->pvScan0);
  row[0] = 1, row[1] = 2, row[2] = 1, row[3] = 3;
  const ULONG palette[4] = {0, 0x0000FF, 0x0000FF, 0x00FF00};  // 1 and 2 both red
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 4);
  Bitmap page(8, 2);
  page.Fill(0xFF, 0xFF, 0xFF);
  RECTL to{0, 0, 8, 2}, from{0, 0, 4, 1};  // doubled
  ASSERT_TRUE(EngTransparentBlt(page.so, indexed.so, nullptr, xlate, &to, &from, 1, 0));
  const char* expect = "..rr..gg";
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      const BYTE* px = page.Px(x, y);
      const char got = page.White(x, y) ? '.' : px[2] == 0xFF && px[1] == 0 ? 'r' : px[1] == 0xFF ? 'g' : '?';
      EXPECT_EQ(got, expect[x]) << x << "," << y;
    }
  plat::engine::DeleteXlate(xlate);
  // A 24-bit source's key is its colour.
  deep.Fill(0x00, 0x00, 0xFF);
  deep.Px(1, 0)[0] = 0xFF;
  page.Fill(0xFF, 0xFF, 0xFF);
  RECTL to2{0, 0, 4, 1};
  ASSERT_TRUE(EngTransparentBlt(page.so, deep.so, nullptr, nullptr, &to2, &from, 0x0000FF, 0));
  EXPECT_TRUE(page.White(0, 0));
  EXPECT_FALSE(page.White(1, 0));
  EXPECT_TRUE(page.White(2, 0));
}

// A device whose driver gave no hatch surfaces (a rendering plug-in clears
// them) has its hatch brushes realized from the engine's own 8 x 8 hatches.
TEST(ShadowBrushes, EngineHatchesForADeviceWithoutHatchSurfaces) {
  static std::vector<BYTE> seen;
  static ULONG seenHatch = 99;
  struct Driver {
    static BOOL Realize(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ*, ULONG hatch) {
      seenHatch = hatch;
      seen.clear();
      for (LONG y = 0; y < pattern->sizlBitmap.cy; ++y)
        seen.push_back(static_cast<const BYTE*>(pattern->pvScan0)[y * pattern->lDelta]);
      return BRUSHOBJ_pvAllocRbrush(pbo, 4) != nullptr;
    }
  };
  HDEV dev = plat::engine::CreateDevice(nullptr);
  DRVFN table[] = {{INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&Driver::Realize)}};
  plat::engine::SetDeviceDriver(dev, table, 1);
  plat::engine::SetDeviceHatches(dev, nullptr, 0);
  Bitmap page(16, 16);
  ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(page.bm), dev, 0));
  const std::size_t live = plat::engine::LiveSurfaceCount();
  struct Case {
    ULONG hatch;
    std::vector<BYTE> rows;  // bit 0: the hatch colour
  };
  const Case cases[] = {
      {HS_HORIZONTAL, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF}},
      {HS_VERTICAL, {0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7}},
      {HS_FDIAGONAL, {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE}},
      {HS_BDIAGONAL, {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F}},
      {HS_CROSS, {0xF7, 0xF7, 0xF7, 0xF7, 0x00, 0xF7, 0xF7, 0xF7}},
      {HS_DIAGCROSS, {0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E}},
  };
  for (const Case& c : cases) {
    Brush hatch(plat::engine::CreateHatchBrush(c.hatch, 0, 0xFFFFFF));
    plat::engine::UseBrushOn(hatch.bo, page.so);
    EXPECT_NE(BRUSHOBJ_pvGetRbrush(hatch.bo), nullptr) << c.hatch;
    EXPECT_EQ(seenHatch, c.hatch);
    EXPECT_EQ(seen, c.rows) << c.hatch;
  }
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), live) << "the engine's hatch surfaces are freed";
  const std::uint64_t before = plat::engine::CheckAbortCalls();
  EngCheckAbort(page.so);
  EngCheckAbort(nullptr);
  EXPECT_EQ(plat::engine::CheckAbortCalls(), before + 2);
  plat::engine::DeleteDevice(dev);
}

#ifdef HAVE_CAIRO
// cairo's aliased RGB24 fill of the same polygon, in colour.
TEST(ShadowAgainstCairo, ColourFillsOnTheSamePixels) {
  struct Case {
    std::vector<SubPath> path;
    bool winding;
  };
  const Case cases[] = {
      {{Poly({{3, 4}, {40, 4}, {40, 30}, {3, 30}}), Poly({{10, 10}, {20, 10}, {20, 50}, {10, 50}})}, false},
      {{Poly({{32, 2}, {50, 60}, {3, 24}, {61, 24}, {14, 60}})}, true},
      // Edges whose |dx| + |dy| is odd pass through no pixel centre.
      {{Poly({{3, 62}, {60, 2}, {58, 61}, {30, 58}})}, false},
  };
  for (const Case& c : cases) {
    Bitmap page(64, 64);
    page.Fill(0xFF, 0xFF, 0xFF);
    Path p(c.path);
    Brush colour(plat::engine::CreateSolidBrush(0x30A0E0));
    ASSERT_TRUE(EngFillPath(page.so, p.po, nullptr, colour.bo, nullptr, R2_COPYPEN,
                            c.winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    for (const SubPath& sp : c.path) {
      cairo_move_to(cr, sp.points[0].x / 16.0, sp.points[0].y / 16.0);
      for (std::size_t i = 1; i < sp.points.size(); ++i) cairo_line_to(cr, sp.points[i].x / 16.0, sp.points[i].y / 16.0);
      cairo_close_path(cr);
    }
    cairo_set_fill_rule(cr, c.winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgb(cr, 0xE0 / 255.0, 0xA0 / 255.0, 0x30 / 255.0);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    const BYTE* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint32_t px = *reinterpret_cast<const uint32_t*>(data + stride * y + 4 * x);
        const BYTE* ours = page.Px(x, y);
        ASSERT_EQ(ours[0], px & 0xFF) << x << "," << y << " case " << (&c - cases);
        ASSERT_EQ(ours[1], (px >> 8) & 0xFF) << x << "," << y;
        ASSERT_EQ(ours[2], (px >> 16) & 0xFF) << x << "," << y;
      }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
}
#else
TEST(ShadowAgainstCairo, NeedsCairo) { REQUIRE_PEER(false, "libcairo2-dev"); }
#endif

}  // namespace

namespace {

// A device whose palette is PAL_RGB keeps its 24-bit surfaces red, green,
// blue: every call draws there what it draws on a blue, green, red surface,
// with the first and third byte of each pixel exchanged.
TEST(ShadowByteOrder, RedFirstOnAPalRgbDeviceSameColoursAsBlueFirst) {
  HDEV dev = plat::engine::CreateDevice(nullptr);
  HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  plat::engine::SetDevicePalette(dev, rgb);
  Bitmap src(12, 10), pattern(8, 8);
  src.Random(50);
  pattern.Random(51);
  Brush patterned(plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(pattern.bm), {}));
  Brush colour(plat::engine::CreateSolidBrush(0x123456));
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 14);
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  if (font) plat::engine::LayoutText(font, u"Ab", 2, 14, glyphs, positions);
  STROBJ* str = font ? plat::engine::CreateString(font, glyphs, positions, {}) : nullptr;
  TRIVERTEX v[2] = {{2, 2, 0xFF00, 0x8000, 0x1000, 0}, {30, 20, 0x1000, 0x2000, 0xF000, 0}};
  GRADIENT_RECT mesh{0, 1};
  using Draw = std::function<BOOL(SURFOBJ*)>;
  struct Case {
    const char* name;
    Draw draw;
  };
  const Case cases[] = {
      {"erase", [](SURFOBJ* so) { RECTL r{3, 4, 20, 9}; return EngEraseSurface(so, &r, 0x00332211); }},
      {"fill xor", [&](SURFOBJ* so) {
         Path p({Poly({{2, 2}, {30, 5}, {12, 28}})});
         return EngFillPath(so, p.po, nullptr, colour.bo, nullptr, R2_XORPEN, FP_ALTERNATEMODE);
       }},
      {"line", [&](SURFOBJ* so) { return EngLineTo(so, nullptr, colour.bo, 1, 1, 30, 25, nullptr, R2_COPYPEN); }},
      {"copy", [&](SURFOBJ* so) {
         RECTL r{5, 5, 17, 15};
         POINTL o{0, 0};
         return EngBitBlt(so, src.so, nullptr, nullptr, nullptr, &r, &o, nullptr, nullptr, nullptr, 0xCCCC);
       }},
      {"scroll", [&](SURFOBJ* so) {
         RECTL r{3, 2, 32, 28};
         POINTL o{0, 0};
         return EngCopyBits(so, so, nullptr, nullptr, &r, &o);
       }},
      {"rop with pattern", [&](SURFOBJ* so) {
         RECTL r{1, 3, 13, 13};
         POINTL o{0, 0};
         return EngBitBlt(so, src.so, nullptr, nullptr, nullptr, &r, &o, nullptr, patterned.bo, &o, 0xB8B8);
       }},
      {"stretch", [&](SURFOBJ* so) {
         RECTL to{0, 0, 24, 20}, from{0, 0, 12, 10};
         return EngStretchBlt(so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, COLORONCOLOR);
       }},
      {"halftone", [&](SURFOBJ* so) {
         RECTL to{0, 0, 7, 5}, from{0, 0, 12, 10};
         return EngStretchBlt(so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, HALFTONE);
       }},
      {"blend", [&](SURFOBJ* so) {
         RECTL to{4, 4, 28, 24}, from{0, 0, 12, 10};
         BLENDOBJ b{{AC_SRC_OVER, 0, 100, 0}};
         return EngAlphaBlend(so, src.so, nullptr, nullptr, &to, &from, &b);
       }},
      {"affine", [&](SURFOBJ* so) {
         POINTFIX p[3] = {{20 * 16, 2 * 16}, {20 * 16, 14 * 16}, {10 * 16, 2 * 16}};
         return EngPlgBlt(so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, p, nullptr, nullptr, 0);
       }},
      {"transparent", [&](SURFOBJ* so) {
         RECTL to{0, 0, 12, 10}, from{0, 0, 12, 10};
         const BYTE* k = src.Px(0, 0);
         return EngTransparentBlt(so, src.so, nullptr, nullptr, &to, &from, k[2] | (k[1] << 8) | (k[0] << 16), 0);
       }},
      {"gradient", [&](SURFOBJ* so) {
         return EngGradientFill(so, nullptr, nullptr, v, 2, &mesh, 1, nullptr, nullptr, GRADIENT_FILL_RECT_V);
       }},
      {"text", [&](SURFOBJ* so) {
         return str ? EngTextOut(so, str, font, nullptr, nullptr, nullptr, colour.bo, nullptr, nullptr, R2_COPYPEN)
                    : TRUE;
       }},
  };
  for (LONG stride : {LONG{0}, LONG{3 * 33}}) {
    for (const Case& c : cases) {
      Bitmap blueFirst(33, 30, BMF_24BPP, true, stride), redFirst(33, 30, BMF_24BPP, false, stride);
      ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(redFirst.bm), dev, 0));
      ASSERT_TRUE(plat::engine::RedFirst(redFirst.so));
      ASSERT_FALSE(plat::engine::RedFirst(blueFirst.so));
      blueFirst.Random(52);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 33; ++x)
          for (int ch = 0; ch < 3; ++ch) redFirst.Px(x, y)[ch] = blueFirst.Px(x, y)[2 - ch];
      ASSERT_TRUE(c.draw(blueFirst.so)) << c.name;
      ASSERT_TRUE(c.draw(redFirst.so)) << c.name;
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 33; ++x)
          for (int ch = 0; ch < 3; ++ch)
            ASSERT_EQ(redFirst.Px(x, y)[ch], blueFirst.Px(x, y)[2 - ch]) << c.name << " at " << x << "," << y;
      // Read back onto a blue-first bitmap, the colours are the same.
      Bitmap back(33, 30);
      RECTL all{0, 0, 33, 30};
      POINTL o{0, 0};
      ASSERT_TRUE(EngCopyBits(back.so, redFirst.so, nullptr, nullptr, &all, &o));
      EXPECT_EQ(back.Rows(), blueFirst.Rows()) << c.name;
    }
  }
  if (str) plat::engine::DeleteString(str);
  if (font) plat::engine::DeleteFont(font);
  EngDeletePalette(rgb);
  plat::engine::DeleteDevice(dev);
}

}  // namespace
