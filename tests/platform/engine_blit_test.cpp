// The engine's own copies and stretches.
#include <gtest/gtest.h>

#include <vector>

#include "plat/engine_blit.h"

namespace {

SURFOBJ Surface(std::vector<BYTE>& bits, LONG w, LONG h, LONG stride, ULONG format) {
  SURFOBJ so{};
  so.sizlBitmap = SIZEL{w, h};
  so.lDelta = stride;
  so.pvScan0 = bits.data();
  so.pvBits = bits.data();
  so.iBitmapFormat = format;
  return so;
}

bool Bit(const std::vector<BYTE>& bits, LONG stride, LONG x, LONG y) { return (bits[y * stride + x / 8] >> (7 - x % 8)) & 1; }

TEST(EngCopyBits, OneBitThroughThePaletteAndTheClip) {
  std::vector<BYTE> src(4 * 4, 0), dst(4 * 8, 0);
  src[0] = 0xA0;  // (0,0) and (2,0) are index 1
  SURFOBJ s = Surface(src, 16, 4, 4, BMF_1BPP), d = Surface(dst, 32, 8, 4, BMF_1BPP);
  const ULONG inverted[2] = {0xFFFFFF, 0};
  XLATEOBJ* xlate = plat::engine::CreateXlate(inverted, 2);
  RECTL target{5, 2, 9, 3};
  const RECTL clipRect{5, 0, 8, 8};
  CLIPOBJ* clip = plat::engine::CreateClip(&clipRect, 1);
  ASSERT_TRUE(EngCopyBits(&d, &s, clip, xlate, &target, nullptr));
  EXPECT_FALSE(Bit(dst, 4, 5, 2));  // index 1 -> black
  EXPECT_TRUE(Bit(dst, 4, 6, 2));
  EXPECT_FALSE(Bit(dst, 4, 7, 2));
  EXPECT_FALSE(Bit(dst, 4, 8, 2));  // outside the clip: left as it was
  EXPECT_FALSE(EngCopyBits(&d, nullptr, nullptr, nullptr, &target, nullptr));
  plat::engine::DeleteClip(clip);
  plat::engine::DeleteXlate(xlate);
}

TEST(EngStretchBlt, NearestSampleMirroredAndHalftoned) {
  std::vector<BYTE> src(12 * 1);  // 4 x 1, 24 bpp: red ramp
  for (int x = 0; x < 4; ++x) src[3 * x + 2] = static_cast<BYTE>(x * 80);
  std::vector<BYTE> dst(24 * 2);
  SURFOBJ s = Surface(src, 4, 1, 12, BMF_24BPP), d = Surface(dst, 8, 2, 24, BMF_24BPP);
  RECTL from{0, 0, 4, 1}, to{8, 0, 0, 2};  // twice the size, right to left
  ASSERT_TRUE(EngStretchBlt(&d, &s, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, COLORONCOLOR));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst[y * 24 + 3 * x + 2], (3 - x / 2) * 80) << x << "," << y;

  std::vector<BYTE> grey(3 * 1, 0x80), plane(4 * 16, 0);
  SURFOBJ g = Surface(grey, 1, 1, 3, BMF_24BPP), p = Surface(plane, 16, 16, 4, BMF_1BPP);
  RECTL one{0, 0, 1, 1}, all{0, 0, 16, 16};
  ASSERT_TRUE(EngStretchBlt(&p, &g, nullptr, nullptr, nullptr, nullptr, nullptr, &all, &one, nullptr, HALFTONE));
  int white = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) white += Bit(plane, 4, x, y);
  EXPECT_EQ(white, 128);
}

}  // namespace
