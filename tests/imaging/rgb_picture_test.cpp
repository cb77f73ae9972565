// 24-bit picture kernels of the RGB band cache and the plates put on the
// planes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "imaging/rgb_picture.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

std::vector<BYTE> Random24(LONG h, LONG stride, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<BYTE> p(size_t(stride) * h);
  for (BYTE& b : p) b = BYTE(random());
  return p;
}

TEST(Copy24Reduce, KeepsTheLastPixelOfEachGroup) {
  // 5 x 3 pixels, each pixel's bytes (10 y + x, 100 + x, 200 + y).
  const LONG w = 5, h = 3, stride = 16;
  std::vector<BYTE> src(size_t(stride) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      BYTE* p = &src[size_t(y) * stride + 3 * size_t(x)];
      p[0] = BYTE(10 * y + x), p[1] = BYTE(100 + x), p[2] = BYTE(200 + y);
    }
  // 5 -> 2 columns keeps columns 1 and 4 (the step counter's rule of the
  // byte copy); rows 3 -> 3 all.
  std::vector<BYTE> dst(2 * 3 * 3, 0);
  ASSERT_EQ(Copy24Reduce(src.data(), {0, 0, w - 1, h - 1}, stride, dst.data(), {0, 0, 1, 2}, 6), 1);
  std::vector<BYTE> bytes(size_t(w), 0), kept(2);
  for (LONG x = 0; x < w; ++x) bytes[x] = BYTE(x);
  ASSERT_EQ(CopyRectReduce(bytes.data(), {0, 0, w - 1, 0}, w, kept.data(), {0, 0, 1, 0}, 2), 1);
  for (LONG y = 0; y < 3; ++y)
    for (LONG x = 0; x < 2; ++x) {
      const BYTE* p = &dst[size_t(y) * 6 + 3 * size_t(x)];
      EXPECT_EQ(p[0], 10 * y + kept[x]);
      EXPECT_EQ(p[1], 100 + kept[x]);
      EXPECT_EQ(p[2], 200 + y);
    }
  // Larger both ways, and equal sizes onto the same buffer: -1.
  EXPECT_EQ(Copy24Reduce(src.data(), {0, 0, 1, 1}, stride, dst.data(), {0, 0, 2, 2}, 9), -1);
  EXPECT_EQ(Copy24Reduce(src.data(), {0, 0, 1, 1}, stride, src.data(), {0, 0, 1, 1}, stride), -1);
  // Equal sizes at an offset copy rows.
  std::vector<BYTE> placed(size_t(stride) * 4, 7);
  ASSERT_EQ(Copy24Reduce(src.data(), {1, 1, 2, 2}, stride, placed.data(), {2, 2, 3, 3}, stride), 1);
  EXPECT_EQ(placed[size_t(2) * stride + 6], src[size_t(1) * stride + 3]);
  EXPECT_EQ(placed[size_t(3) * stride + 11], src[size_t(2) * stride + 8]);
  EXPECT_EQ(placed[size_t(2) * stride + 5], 7);
}

TEST(Copy24Rect, CopiesTheCommonPart) {
  const std::vector<BYTE> src = Random24(4, 12, 1);
  std::vector<BYTE> dst(size_t(9) * 3, 0);
  Copy24Rect(src.data(), {1, 1, 3, 3}, 12, dst.data(), {0, 0, 1, 2}, 9);
  for (LONG y = 0; y < 3; ++y) {
    for (LONG i = 0; i < 6; ++i) EXPECT_EQ(dst[size_t(y) * 9 + i], src[size_t(y + 1) * 12 + 3 + i]);
    for (LONG i = 6; i < 9; ++i) EXPECT_EQ(dst[size_t(y) * 9 + i], 0);
  }
}

TEST(FillRect24White, ClipsAtZero) {
  std::vector<BYTE> p(size_t(12) * 3, 0);
  FillRect24White(p.data(), {-2, -1, 1, 0}, 12);
  for (size_t i = 0; i < p.size(); ++i) EXPECT_EQ(p[i], i < 6 ? 255 : 0) << i;
}

// Reference sharpening over a copy of the whole picture.
std::vector<BYTE> SharpenedByCopy(std::vector<BYTE> p, LONG w, LONG h, LONG stride, int s) {
  const std::vector<BYTE> o = p;
  auto at = [&](LONG x, LONG y, int c) { return int(o[size_t(y) * stride + 3 * size_t(x) + c]); };
  auto put = [&](LONG x, LONG y, int c, int v) { p[size_t(y) * stride + 3 * size_t(x) + c] = BYTE(std::clamp(v, 0, 255)); };
  if (s == 1) {
    for (LONG y = 1; y + 1 < h; ++y)
      for (LONG x = 1; x + 1 < w; ++x)
        for (int c = 0; c < 3; ++c)
          put(x, y, c, (8 * at(x, y, c) - at(x - 1, y, c) - at(x + 1, y, c) - at(x, y - 1, c) - at(x, y + 1, c)) / 4);
    return p;
  }
  auto mean = [&](LONG bx, LONG by, int c) {
    int sum = 0;
    for (int dy = 0; dy < s; ++dy)
      for (int dx = 0; dx < s; ++dx) sum += at(bx * s + dx, by * s + dy, c);
    return sum / (s * s);
  };
  for (LONG by = 1; by + 1 < h / s; ++by)
    for (LONG bx = 1; bx + 1 < w / s; ++bx)
      for (int c = 0; c < 3; ++c) {
        const int around = (mean(bx - 1, by, c) + mean(bx + 1, by, c) + mean(bx, by - 1, c) + mean(bx, by + 1, c)) / 4;
        for (int dy = 0; dy < s; ++dy)
          for (int dx = 0; dx < s; ++dx) put(bx * s + dx, by * s + dy, c, 2 * at(bx * s + dx, by * s + dy, c) - around);
      }
  return p;
}

TEST(SharpenImage, RollingRowsGiveTheWholeCopysResult) {
  const LONG w = 41, h = 37, stride = 124;
  struct Case {
    LONG dpi, targetW, targetH;
    int side;
  };
  // r = max(dpi (w - 1) / (Tw - 1), dpi (h - 1) / (Th - 1)).
  const Case cases[] = {{100, w, h, 1}, {600, 121, 200, 2}, {600, 2 * w, 100, 3}, {600, w, h, 6}, {300, 81, 37, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.dpi * 1000 + k.targetW);
    std::vector<BYTE> p = Random24(h, stride, unsigned(k.targetW));
    const std::vector<BYTE> want = SharpenedByCopy(p, w, h, stride, k.side);
    ASSERT_TRUE(SharpenImage(p.data(), w, h, stride, {0, 0, k.targetW - 1, k.targetH - 1}, k.dpi, k.dpi));
    EXPECT_EQ(p, want);
  }
}

TEST(SharpenImage, HandWorkedPixelAndBlockSides) {
  // A 3 x 3 picture: centre 100, neighbours 40, 60, 80, 100: (800 - 280) / 4 = 130.
  std::vector<BYTE> p(27, 0);
  auto set = [&](int x, int y, BYTE v) { std::fill_n(&p[size_t(y) * 9 + 3 * size_t(x)], 3, v); };
  set(1, 1, 100), set(0, 1, 40), set(2, 1, 60), set(1, 0, 80), set(1, 2, 100);
  ASSERT_TRUE(SharpenImage(p.data(), 3, 3, 9, {0, 0, 2, 2}, 100, 100));
  EXPECT_EQ(p[12], 130);
  struct Side {
    std::int64_t r;
    int side;
  };
  for (const Side& k : {Side{0, 1}, Side{149, 1}, Side{150, 2}, Side{249, 2}, Side{250, 3}, Side{449, 4},
                        Side{450, 5}, Side{549, 5}, Side{550, 6}, Side{5000, 6}})
    EXPECT_EQ(SharpenBlockSide(k.r), k.side) << k.r;
}

TEST(SharpenImage, TargetOnePixelWideOrHighIsLeftAlone) {
  const LONG w = 8, h = 8, stride = 24;
  for (const PdevRect target : {PdevRect{0, 0, 0, 7}, PdevRect{0, 0, 7, 0}}) {
    std::vector<BYTE> p = Random24(h, stride, 3);
    const std::vector<BYTE> before = p;
    EXPECT_TRUE(SharpenImage(p.data(), w, h, stride, target, 600, 600));
    EXPECT_EQ(p, before);
  }
}

TEST(SharpenImage, NoRowsNoChange) {
  const LONG w = 8, h = 8, stride = 24;
  std::vector<BYTE> p = Random24(h, stride, 4);
  const std::vector<BYTE> before = p;
  plat::FailNthHeapAlloc(1);
  EXPECT_FALSE(SharpenImage(p.data(), w, h, stride, {0, 0, w - 1, h - 1}, 100, 100));
  plat::FailNthHeapAlloc(0);
  EXPECT_EQ(p, before);
}

// The plates on a 16 x 2 page: row 0 of each plane and plate holds the bit
// pattern under test.
struct Page {
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  std::vector<BYTE> planes = std::vector<BYTE>(16, 0xFF);  // two planes of 2 rows x 4 bytes
  Page() {
    pdev->flags = kPdevTwoPlanes;
    pdev->planeWidth = 16;
    pdev->planeHeight = 2;
    pdev->drum1Plane = planes.data();
    pdev->drum2Plane = planes.data() + 8;
    pdev->drawing.rop4 = 0xCCCC;
  }
};

// What a ROP4 makes of plane bits P and plate bits S (1 = white).
BYTE RopOf(ULONG rop, BYTE P, BYTE S) {
  switch (rop) {
    case 0x8888: return BYTE(P & S);
    case 0xEEEE: return BYTE(P | S);
    case 0x6666: return BYTE(P ^ S);
    case 0x9999: return BYTE(~(P ^ S));
    case 0x2222: return BYTE(P & ~S);
    case 0xBBBB: return BYTE(P | ~S);
    case 0x4444: return BYTE(~P & S);
    case 0xDDDD: return BYTE(~P | S);
    case 0x7777: return BYTE(~(P & S));
    case 0x1111: return BYTE(~(P | S));
    case 0x3333: return BYTE(~S);  // the negative, not a white area
    default: return P;
  }
}

TEST(CombineBandPlates, EachRop) {
  const BYTE p = 0xCC, s = 0xAA;
  for (ULONG rop : {0x8888u, 0xEEEEu, 0x6666u, 0x9999u, 0x2222u, 0xBBBBu, 0x4444u, 0xDDDDu, 0x7777u, 0x1111u,
                    0x3333u, 0x5A5Au}) {
    SCOPED_TRACE(testing::Message() << std::hex << rop);
    Page page;
    page.pdev->drawing.previousRop4 = rop;
    for (int plane = 0; plane < 2; ++plane) page.planes[size_t(plane) * 8] = page.planes[size_t(plane) * 8 + 1] = p;
    // Plate 1 inks in its first byte, plate 2 in its second: each plane sees
    // its own plate only.
    const BYTE plate1[4] = {s, 0xFF, 0xFF, 0xFF}, plate2[4] = {0xFF, s, 0xFF, 0xFF};
    ASSERT_TRUE(CombineBandPlates(page.pdev.get(), plate1, plate2, 4, {0, 0, 15, 0}, page.pdev->drum1Plane,
                                  page.pdev->drum2Plane, 4));
    EXPECT_EQ(page.planes[0], RopOf(rop, p, s)) << "drum 1 under plate 1";
    EXPECT_EQ(page.planes[1], RopOf(rop, p, 0xFF)) << "drum 1 beside plate 1";
    EXPECT_EQ(page.planes[8], RopOf(rop, p, 0xFF)) << "drum 2 beside plate 2";
    EXPECT_EQ(page.planes[9], RopOf(rop, p, s)) << "drum 2 under plate 2";
    EXPECT_EQ(page.planes[4], 0xFF) << "row 1 is outside the band";
    EXPECT_EQ(page.planes[12], 0xFF);
  }
}

TEST(CopyBandPlates, WhitensTheBandThenAndsEachPlate) {
  Page page;
  std::fill(page.planes.begin(), page.planes.end(), BYTE{0x0F});
  const BYTE plate1[8] = {0xF0, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF};
  const BYTE plate2[8] = {0xFF, 0x3C, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF};
  // The band's page rect runs past the page on the right and below: cut.
  ASSERT_TRUE(CopyBandPlates(page.pdev.get(), plate1, plate2, 4, {8, 0, 30, 5}, page.pdev->drum1Plane,
                             page.pdev->drum2Plane, 4));
  // Columns 8..15 (byte 1) of both rows whitened, then ANDed with plate
  // columns 0..7 (byte 0).
  const std::vector<BYTE> want = {0x0F, 0xF0, 0x0F, 0x0F, 0x0F, 0x00, 0x0F, 0x0F,
                                  0x0F, 0xFF, 0x0F, 0x0F, 0x0F, 0xFF, 0x0F, 0x0F};
  EXPECT_EQ(page.planes, want);
}

}  // namespace
