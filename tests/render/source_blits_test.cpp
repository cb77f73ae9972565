// One-bit source copies into the planes: dot for dot at any offset, the
// {white, black} palette inverted, two-ink plate choice, sources cut to
// their bitmap.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "imaging/source_bands.h"
#include "planes/plane_ops.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

struct Device {
  static constexpr LONG kW = 96, kH = 24, kStride = 12;
  std::vector<BYTE> bits;
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  SURFOBJ surface{};
  explicit Device(bool two) : bits(kStride * kH * (two ? 2 : 1), 0xFF) {
    pdev->planeWidth = kW;
    pdev->planeHeight = kH;
    pdev->planeStride = kStride;
    pdev->drum2Plane = bits.data();
    pdev->drum1Plane = two ? bits.data() + kStride * kH : bits.data();
    if (two) pdev->flags |= kPdevTwoPlanes;
    surface.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
    surface.lDelta = kStride;
    surface.sizlBitmap = SIZEL{kW, kH};
    surface.iBitmapFormat = BMF_1BPP;
    surface.pvScan0 = bits.data();
  }
  bool White(BYTE* plane, LONG x, LONG y) const { return BitAt(plane + y * kStride, x); }
};

struct Source {
  LONG width, height, stride;
  std::vector<BYTE> bits;
  SURFOBJ so{};
  Source(LONG w, LONG h, std::mt19937& rng) : width(w), height(h), stride((w + 31) / 32 * 4), bits(stride * h) {
    for (BYTE& b : bits) b = static_cast<BYTE>(rng());
    so.sizlBitmap = SIZEL{w, h};
    so.lDelta = stride;
    so.pvScan0 = bits.data();
    so.iBitmapFormat = BMF_1BPP;
  }
  bool At(LONG x, LONG y) const { return BitAt(bits.data() + y * stride, x); }
};

// A one-bit copy lands dot for dot at odd offsets; the {white, black}
// palette prints inverted; the caller's bits stay as they were.
TEST(CopyBitsToPlanes, OneBitCopiesAtOddOffsets) {
  std::mt19937 rng(12);
  for (bool whiteFirst : {false, true}) {
    const ULONG palette[2] = {whiteFirst ? 0xFFFFFFu : 0u, whiteFirst ? 0u : 0xFFFFFFu};
    XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
    for (LONG x0 : {0, 3, 13}) {
      Device dev(false);
      Source src(40, 10, rng);
      const std::vector<BYTE> before = src.bits;
      const RECTL target{x0, 5, x0 + 35, 15};
      const POINTL origin{3, 0};
      ASSERT_TRUE(CopyBitsToPlanes(&dev.surface, &target, &src.so, &origin, nullptr, xlate, TRUE));
      for (LONG y = 0; y < Device::kH; ++y)
        for (LONG x = 0; x < Device::kW; ++x) {
          bool want = true;
          if (x >= target.left && x < target.right && y >= target.top && y < target.bottom)
            want = src.At(x - x0 + origin.x, y - 5) != whiteFirst;
          ASSERT_EQ(dev.White(dev.pdev->drum2Plane, x, y), want) << x << "," << y << " x0 " << x0;
        }
      EXPECT_EQ(src.bits, before);
    }
    plat::engine::DeleteXlate(xlate);
  }
}

// An origin or a target reaching past the source bitmap reads only its bits.
TEST(CopyBitsToPlanes, SourceRectangleIsCutToTheSourceBitmap) {
  std::mt19937 rng(1);
  Device dev(false);
  Source src(16, 4, rng);
  const RECTL target{10, 2, 60, 20};
  const POINTL origin{-2, -1};
  ASSERT_TRUE(CopyBitsToPlanes(&dev.surface, &target, &src.so, &origin, nullptr, nullptr, TRUE));
  for (LONG y = 0; y < Device::kH; ++y)
    for (LONG x = 0; x < Device::kW; ++x) {
      const LONG sx = x - 10 - 2, sy = y - 2 - 1;
      const bool want = (sx >= 0 && sx < 16 && sy >= 0 && sy < 4) ? src.At(sx, sy) : true;
      ASSERT_EQ(dev.White(dev.pdev->drum2Plane, x, y), want) << x << "," << y;
    }
}

// Black-and-white copies on two inks go to the drum-1 plane where the
// graphics separation mode says so, else to the drum-2 plane; the other
// plane is whitened under the copy.
TEST(CopyBitsToPlanes, MonoCopyPlateChoosesTheDrum) {
  std::mt19937 rng(6);
  for (BYTE mode = 0; mode < kSeparationModes; ++mode) {
    Device dev(true);
    std::fill(dev.bits.begin(), dev.bits.end(), 0x00);
    dev.pdev->separationModes[1] = mode;
    dev.pdev->drawing.rop4 = 0xCCCC;
    Source src(16, 4, rng);
    const RECTL target{8, 1, 24, 5};
    ASSERT_TRUE(CopyBitsToPlanes(&dev.surface, &target, &src.so, nullptr, nullptr, nullptr, TRUE));
    BYTE* inked = MonoCopyPlate[mode] ? dev.pdev->drum1Plane : dev.pdev->drum2Plane;
    BYTE* blank = MonoCopyPlate[mode] ? dev.pdev->drum2Plane : dev.pdev->drum1Plane;
    for (LONG y = 1; y < 5; ++y)
      for (LONG x = 8; x < 24; ++x) {
        ASSERT_EQ(dev.White(inked, x, y), src.At(x - 8, y - 1)) << int{mode};
        ASSERT_TRUE(dev.White(blank, x, y)) << int{mode};
      }
    EXPECT_FALSE(dev.White(dev.pdev->drum2Plane, 7, 1));
  }
}

// SRCAND on two inks in image mode 0: the mask inks the drum-1 plane and
// knocks the drum-2 plane's ink out under its own ink.
TEST(SrcAndToPlanes, MaskInksOnePlateAndKnocksOutTheOther) {
  std::mt19937 rng(2);
  Device dev(true);
  std::fill(dev.bits.begin(), dev.bits.begin() + Device::kStride * Device::kH, 0x00);  // drum 2 all ink
  Source src(24, 6, rng);
  ASSERT_TRUE(SrcAndToPlanes(&dev.surface, PdevRect{5, 2, 28, 7}, &src.so, nullptr, nullptr, nullptr));
  for (LONG y = 2; y <= 7; ++y)
    for (LONG x = 5; x <= 28; ++x) {
      const bool s = src.At(x - 5, y - 2);
      ASSERT_EQ(dev.White(dev.pdev->drum1Plane, x, y), s);
      ASSERT_EQ(dev.White(dev.pdev->drum2Plane, x, y), !s);
    }
}

}  // namespace
