// The image entries the drawing paths call, as they answer before the image
// paths are built: no ink from conversions, white bands and plates, strips
// handed back as white direct-render bands, a declining blit path.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/image_entries.h"
#include "render/plane_ops.h"

namespace {

class ImageEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    pdev_ = std::make_unique<RenderPdev>();
    pdev_->amiLine = 85;
    pdev_->amiAngle = 45;
    pdev_->resolutionX = 600;
    pdev_->shared.pictureFlag = 1;
  }
  std::vector<BYTE> Record() const {
    const auto* p = reinterpret_cast<const BYTE*>(pdev_.get());
    return std::vector<BYTE>(p, p + sizeof(RenderPdev));
  }
  std::unique_ptr<RenderPdev> pdev_;
  const ULONG palette_[2] = {0, 0xFFFFFF};
  const BYTE source_[64] = {0x5A, 0xA5, 0x0F, 0xF0};
};

TEST_F(ImageEntries, ConversionsWriteNoInk) {
  // A 3 x 2 source into an 8-byte-stride image at (2, 1): only those bytes
  // become 0.
  std::vector<BYTE> out(8 * 4, 0x77), plate2(8 * 4, 0x66);
  const PdevRect src{0, 0, 2, 1}, outRect{2, 1, 6, 3};
  EXPECT_EQ(ConvertToDensity(pdev_.get(), source_, src, 4, out.data(), outRect, 8, palette_, 2, BMF_8BPP), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(out[static_cast<std::size_t>(y * 8 + x)], (y >= 1 && y <= 2 && x >= 2 && x <= 4) ? 0 : 0x77)
          << x << "," << y;
  std::vector<BYTE> plate1(8 * 4, 0x55);
  EXPECT_EQ(SeparateToTwoInks(pdev_.get(), source_, src, 4, plate1.data(), plate2.data(), outRect, 8, palette_, 2,
                              BMF_24BPP),
            1);
  EXPECT_EQ(plate1[1 * 8 + 2], 0);
  EXPECT_EQ(plate2[2 * 8 + 4], 0);
  EXPECT_EQ(plate2[3 * 8 + 4], 0x66);
  // An unknown format writes nothing.
  std::vector<BYTE> untouched(8 * 4, 0x77);
  EXPECT_EQ(ConvertToDensity(pdev_.get(), source_, src, 4, untouched.data(), outRect, 8, palette_, 2, BMF_8RLE), -1);
  EXPECT_EQ(SeparateToTwoInks(pdev_.get(), source_, src, 4, untouched.data(), untouched.data(), outRect, 8, palette_,
                              2, 0),
            -1);
  EXPECT_EQ(untouched, std::vector<BYTE>(8 * 4, 0x77));
}

TEST_F(ImageEntries, HalftoningLeavesBandsAndPlatesWhite) {
  const PdevRect band{0, 0, 15, 3};
  std::vector<BYTE> bands(2 * 4 * 4, 0xFF);
  const std::vector<BYTE> white = bands;
  EXPECT_TRUE(HalftoneSourceToPlanes(pdev_.get(), bands.data(), band, 4, source_, PdevRect{0, 0, 3, 3}, 4, 85, 45, 600,
                                     palette_, 2, BMF_8BPP, POINTL{10, 20}));
  EXPECT_TRUE(ScreenSourceToPlane(pdev_.get(), bands.data(), band, 4, source_, PdevRect{0, 0, 3, 3}, 4, 85, 45, 600,
                                  palette_, 2, BMF_8BPP, POINTL{10, 20}));
  EXPECT_TRUE(RenderImageTwoPlates(pdev_.get(), bands.data() + 16, bands.data(), band, 4, POINTL{0, 0}, source_,
                                   PdevRect{0, 0, 3, 3}, 4, palette_, 2, BMF_24BPP, 85, 45, 600, FALSE));
  EXPECT_EQ(bands, white);
  // 16 x 3 plates of 2-byte rows come back white whatever they held.
  std::vector<BYTE> one(6, 0), two(6, 0x12), three(6, 0x34);
  EXPECT_TRUE(RealizeBrushOnePlate(pdev_.get(), one.data(), source_, SIZEL{16, 3}, 4, palette_, 2, BMF_1BPP));
  EXPECT_TRUE(RealizeBrushTwoPlates(pdev_.get(), two.data(), three.data(), source_, SIZEL{16, 3}, 4, palette_, 2,
                                    BMF_1BPP));
  EXPECT_EQ(one, std::vector<BYTE>(6, 0xFF));
  EXPECT_EQ(two, std::vector<BYTE>(6, 0xFF));
  EXPECT_EQ(three, std::vector<BYTE>(6, 0xFF));
}

// Without a strip the caches flush (nothing is pending); a strip comes back
// as two white bands of the target's size in one block, picture flag 0, on
// one-ink and two-ink sheets alike.
TEST_F(ImageEntries, CachesHandStripsBackAsWhiteBands) {
  BYTE plane[64] = {};
  EXPECT_TRUE(FlushOrMergeImage(pdev_.get(), plane, 4, nullptr, nullptr, nullptr, 0, nullptr, 0, 0));
  EXPECT_TRUE(CacheImageBand(pdev_.get(), plane, plane, 4, nullptr, nullptr, nullptr, 0, nullptr, 0, 0));
  EXPECT_EQ(pdev_->shared.pictureFlag, 1);

  const PdevRect target{100, 50, 139, 52};  // 40 x 3: 5 bytes, stride 8
  const PdevRect src{0, 0, 3, 3};
  for (bool twoInks : {false, true}) {
    pdev_->flags = twoInks ? kPdevTwoPlanes : 0;
    pdev_->shared.pictureFlag = 1;
    const std::size_t before = plat::HeapLiveBytes();
    BOOL ok = twoInks ? CacheImageBand(pdev_.get(), plane, plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP)
                      : FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP);
    EXPECT_TRUE(ok) << twoInks;
    EXPECT_EQ(pdev_->shared.pictureFlag, 0) << twoInks;
    BYTE* band1 = pdev_->drawing.targetPlane;
    ASSERT_NE(band1, nullptr);
    EXPECT_EQ(pdev_->drawing.otherPlane, band1 + 8 * 3) << twoInks;
    EXPECT_EQ(plat::HeapLiveBytes() - before, std::size_t{2 * 8 * 3});
    EXPECT_EQ(std::vector<BYTE>(band1, band1 + 2 * 8 * 3), std::vector<BYTE>(2 * 8 * 3, 0xFF));
    GlobalFree(band1);
    EXPECT_EQ(plat::HeapLiveBytes(), before);
  }
  // The one-ink entry on a two-ink sheet goes to the RGB cache, same answer.
  pdev_->flags = kPdevTwoPlanes;
  ASSERT_TRUE(FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP));
  ASSERT_NE(pdev_->drawing.targetPlane, nullptr);
  GlobalFree(pdev_->drawing.targetPlane);
}

TEST_F(ImageEntries, StripWithoutMemoryIsNotCachedAndHasNoBands) {
  BYTE plane[64] = {};
  const PdevRect target{0, 0, 31, 7}, src{0, 0, 3, 3};
  pdev_->drawing.targetPlane = plane;
  plat::FailNthHeapAlloc(1);
  EXPECT_FALSE(FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP));
  plat::FailNthHeapAlloc(0);
  EXPECT_EQ(pdev_->shared.pictureFlag, 0);
  EXPECT_EQ(pdev_->drawing.targetPlane, nullptr);
  EXPECT_EQ(pdev_->drawing.otherPlane, nullptr);
}

TEST_F(ImageEntries, BlitPathDeclinesAndStateRoutinesKeepTheRecord) {
  EXPECT_FALSE(BitBltImage(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  BYTE dst[48] = {};
  EXPECT_FALSE(SourceToRgb24(source_, PdevRect{0, 0, 3, 0}, 4, dst, PdevRect{0, 0, 3, 0}, 12, palette_, 2, BMF_8BPP));
  EXPECT_FALSE(ClippedCopy(pdev_.get(), PdevRect{0, 0, 3, 0}, source_, PdevRect{0, 0, 3, 0}, 4, BMF_8BPP, nullptr, dst,
                           PdevRect{0, 0, 3, 0}, 4));
  EXPECT_EQ(std::vector<BYTE>(dst, dst + 48), std::vector<BYTE>(48, 0));
  const std::vector<BYTE> before = Record();
  FreeImageBuffers(pdev_.get());
  PrepareImageParameters(pdev_.get());
  FreeKeptTransparentImage(pdev_.get());
  EXPECT_EQ(Record(), before);
}

}  // namespace
