// Picture bands put on the planes by copy and by the picture's ROP4, and the
// whole-area operations.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "planes/plane_ops.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

struct TwoPlanes {
  static constexpr LONG kW = 48, kH = 20, kStride = 8;
  std::vector<BYTE> bits = std::vector<BYTE>(kStride * kH * 2);
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  explicit TwoPlanes(std::mt19937& rng, bool two = true) {
    for (BYTE& b : bits) b = static_cast<BYTE>(rng());
    pdev->planeWidth = kW;
    pdev->planeHeight = kH;
    pdev->drum2Plane = bits.data();
    pdev->drum1Plane = two ? bits.data() + kStride * kH : bits.data();
    if (two) pdev->flags |= kPdevTwoPlanes;
  }
};

// Every picture ROP4 gives the ternary operation's value of band and plane,
// inside the band's rectangle cut to the plane; NOTSRCCOPY prints the
// inverted picture and MERGEPAINT ORs it into the plane.
TEST(CombineHalftoneBand, EachRopFollowsItsTruthTable) {
  std::mt19937 rng(4);
  const LONG bandStride = 4;
  std::vector<BYTE> band(bandStride * 12);
  for (BYTE& b : band) b = static_cast<BYTE>(rng());
  const std::vector<BYTE> bandBefore = band;
  const PdevRect dest{37, 14, 60, 25};  // runs past the plane's right and bottom
  const POINTL origin{3, 1};
  for (ULONG rop : {0x1111u, 0x2222u, 0x3333u, 0x4444u, 0x6666u, 0x7777u, 0x8888u, 0x9999u, 0xBBBBu, 0xDDDDu,
                    0xEEEEu}) {
    TwoPlanes p(rng);
    const std::vector<BYTE> before = p.bits;
    p.pdev->drawing.previousRop4 = rop;
    ASSERT_TRUE(CombineHalftoneBand(p.pdev.get(), band.data(), origin, bandStride, p.pdev->drum2Plane, dest,
                                    TwoPlanes::kStride, nullptr));
    for (LONG y = 0; y < TwoPlanes::kH; ++y)
      for (LONG x = 0; x < TwoPlanes::kW; ++x) {
        const bool d = BitAt(before.data() + y * TwoPlanes::kStride, x);
        const bool o = BitAt(before.data() + (TwoPlanes::kH + y) * TwoPlanes::kStride, x);
        bool want = d, wantOther = o;
        if (x >= dest.left && y >= dest.top) {
          const int s = BitAt(band.data() + (y - dest.top + origin.y) * bandStride, x - dest.left + origin.x);
          want = (rop >> ((s << 1) | int{d})) & 1;
          if (rop == 0x8888) wantOther = o || !s;
        }
        ASSERT_EQ(BitAt(p.bits.data() + y * TwoPlanes::kStride, x), want) << std::hex << rop << " " << x << "," << y;
        ASSERT_EQ(BitAt(p.bits.data() + (TwoPlanes::kH + y) * TwoPlanes::kStride, x), wantOther)
            << std::hex << rop << " other " << x << "," << y;
      }
  }
  EXPECT_EQ(band, bandBefore);
}

// A copy whitens the picture's clip rectangles not yet whitened, on both
// planes, marks them, and ANDs the band in; without a list it whitens the
// band's own rectangle.
TEST(CopyHalftoneBand, WhitensThePictureAreaThenAndsTheBand) {
  std::mt19937 rng(8);
  std::vector<BYTE> band(4 * 8, 0xFF);
  band[4 * 2] = 0x0F;  // band row 2: four ink dots
  TwoPlanes p(rng);
  std::fill(p.bits.begin(), p.bits.end(), 0x00);
  ClipRectEntry entries[2] = {{PdevRect{0, 0, 7, 3}, 0}, {PdevRect{16, 0, 23, 3}, 1}};
  ClipRectList list{entries, 2, 2, 0, 0, 1};
  ASSERT_TRUE(CopyHalftoneBand(p.pdev.get(), band.data(), POINTL{0, 0}, 4, p.pdev->drum2Plane, PdevRect{0, 0, 31, 7},
                               TwoPlanes::kStride, &list));
  EXPECT_EQ(entries[0].nothingToBlank, 1);
  EXPECT_EQ(p.bits[0], 0xFF);  // whitened, band white
  EXPECT_EQ(p.bits[2 * TwoPlanes::kStride], 0x0F);  // band ink ANDed
  EXPECT_EQ(p.bits[2], 0x00);  // marked entry left alone
  EXPECT_EQ(p.bits[TwoPlanes::kStride * TwoPlanes::kH], 0xFF);  // other plane whitened too
  EXPECT_EQ(p.bits[TwoPlanes::kStride * TwoPlanes::kH + 2], 0x00);

  TwoPlanes q(rng);
  std::fill(q.bits.begin(), q.bits.end(), 0x00);
  ASSERT_TRUE(CopyHalftoneBand(q.pdev.get(), band.data(), POINTL{0, 0}, 4, q.pdev->drum2Plane, PdevRect{8, 0, 15, 7},
                               TwoPlanes::kStride, nullptr));
  EXPECT_EQ(q.bits[1], 0xFF);
  EXPECT_EQ(q.bits[2 * TwoPlanes::kStride + 1], 0x0F);
  EXPECT_EQ(q.bits[0], 0x00);
}

TEST(BlacknessWhiteness, InkDrumTwoAndWhitenDrumOneThroughTheClip) {
  std::mt19937 rng(3);
  TwoPlanes p(rng);
  std::fill(p.bits.begin(), p.bits.end(), 0x55);
  SURFOBJ so{};
  so.dhpdev = reinterpret_cast<DHPDEV>(p.pdev.get());
  so.lDelta = TwoPlanes::kStride;
  const RECTL rect{8, 2, 16, 4};
  CLIPOBJ* clip = plat::engine::CreateClip(&rect, 1);
  BlacknessToPlanes(&so, clip, PdevRect{0, 0, 47, 19});
  EXPECT_EQ(p.bits[2 * TwoPlanes::kStride + 1], 0x00);
  EXPECT_EQ(p.bits[2 * TwoPlanes::kStride], 0x55);
  EXPECT_EQ(p.bits[TwoPlanes::kStride * (TwoPlanes::kH + 2) + 1], 0xFF);
  WhitenessToPlanes(&so, nullptr, PdevRect{0, 0, 47, 19});
  for (LONG row = 0; row < 2 * TwoPlanes::kH; ++row)
    for (LONG k = 0; k < TwoPlanes::kW / 8; ++k) ASSERT_EQ(p.bits[row * TwoPlanes::kStride + k], 0xFF) << row;
  plat::engine::DeleteClip(clip);
}

}  // namespace
