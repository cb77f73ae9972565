// The image entries the drawing paths call, as they answer before the image
// caches and the blit path are built: strips handed back as direct-render
// bands, a declining blit path. (Conversions, halftoning of sources and brush
// plates have their own tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/halftone.h"
#include "imaging/image_buffer.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"

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
  void TearDown() override { FreeImageBuffers(pdev_.get()); }
  std::vector<BYTE> Record() const {
    const auto* p = reinterpret_cast<const BYTE*>(pdev_.get());
    return std::vector<BYTE>(p, p + sizeof(RenderPdev));
  }
  std::unique_ptr<RenderPdev> pdev_;
  const ULONG palette_[2] = {0, 0xFFFFFF};
  const BYTE source_[64] = {0x5A, 0xA5, 0x0F, 0xF0};
};

// Without a strip the caches flush (nothing is pending); on a two-ink sheet a
// strip comes back as two bands of the target's size in one block, picture
// flag 0; a source whose palette is too short for its
// format leaves them white. The job's screen is built before, and kept.
TEST_F(ImageEntries, CachesHandStripsBackAsWhiteBands) {
  BYTE plane[64] = {};
  EXPECT_TRUE(FlushOrMergeImage(pdev_.get(), plane, 4, nullptr, nullptr, nullptr, 0, nullptr, 0, 0).ok);
  EXPECT_TRUE(CacheImageBand(pdev_.get(), plane, plane, 4, nullptr, nullptr, nullptr, 0, nullptr, 0, 0).ok);
  EXPECT_TRUE(FlushPicture(pdev_.get(), plane, 4));
  EXPECT_EQ(pdev_->shared.pictureFlag, 1);

  const PdevRect target{100, 50, 139, 52};  // 40 x 3: 5 bytes, stride 8
  const PdevRect src{0, 0, 3, 3};
  ASSERT_NE(imaging::ScreenOnFirstUse(pdev_.get(), 600, 85, 45), nullptr);
  ASSERT_NE(imaging::BandCacheOf(pdev_.get()), nullptr);  // the cache state, kept like the screen
  for (bool twoInks : {true}) {
    pdev_->flags = twoInks ? kPdevTwoPlanes : 0;
    pdev_->shared.pictureFlag = 1;
    const std::size_t before = plat::HeapLiveBytes();
    const CacheAnswer answer =
        twoInks ? CacheImageBand(pdev_.get(), plane, plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP)
                : FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP);
    EXPECT_TRUE(answer.ok) << twoInks;
    EXPECT_EQ(pdev_->shared.pictureFlag, 0) << twoInks;
    BYTE* band1 = answer.bands.first;
    ASSERT_NE(band1, nullptr);
    EXPECT_EQ(answer.bands.second, band1 + 8 * 3) << twoInks;
    EXPECT_EQ(plat::HeapLiveBytes() - before, std::size_t{2 * 8 * 3});
    EXPECT_EQ(std::vector<BYTE>(band1, band1 + 2 * 8 * 3), std::vector<BYTE>(2 * 8 * 3, 0xFF));
    GlobalFree(band1);
    EXPECT_EQ(plat::HeapLiveBytes(), before);
  }
  // The one-ink entry on a two-ink sheet goes to the RGB cache, same answer.
  pdev_->flags = kPdevTwoPlanes;
  const CacheAnswer answer =
      FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP);
  ASSERT_TRUE(answer.ok);
  ASSERT_NE(answer.bands.first, nullptr);
  GlobalFree(answer.bands.first);
}

TEST_F(ImageEntries, StripWithoutMemoryIsNotCachedAndHasNoBands) {
  BYTE plane[64] = {};
  const PdevRect target{0, 0, 31, 7}, src{0, 0, 3, 3};
  plat::FailNthHeapAlloc(1);
  const CacheAnswer answer =
      FlushOrMergeImage(pdev_.get(), plane, 4, &target, source_, &src, 4, palette_, 2, BMF_8BPP);
  plat::FailNthHeapAlloc(0);
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(pdev_->shared.pictureFlag, 0);
  EXPECT_EQ(answer.bands.first, nullptr);
  EXPECT_EQ(answer.bands.second, nullptr);
}

// A source whose palette is too short converts nothing (its rows stay
// white); an 8-bit copy without a clip copies the bytes; a new document's
// image parameters allow caching.
TEST_F(ImageEntries, SourceCopiesAndDocumentParameters) {
  BYTE dst[48] = {};
  EXPECT_FALSE(SourceToRgb24(source_, PdevRect{0, 0, 3, 0}, 4, dst, PdevRect{0, 0, 3, 0}, 12, palette_, 2, BMF_8BPP));
  EXPECT_EQ(std::vector<BYTE>(dst, dst + 12), std::vector<BYTE>(12, 0xFF));
  BYTE copy[4] = {};
  EXPECT_TRUE(ClippedCopy(pdev_.get(), PdevRect{0, 0, 3, 0}, source_, PdevRect{0, 0, 3, 0}, 4, BMF_8BPP, nullptr, copy,
                          PdevRect{0, 0, 3, 0}, 4));
  EXPECT_EQ(std::vector<BYTE>(copy, copy + 4), std::vector<BYTE>(source_, source_ + 4));
  pdev_->shared.pictureFlag = 0;
  PrepareImageParameters(pdev_.get());
  EXPECT_EQ(pdev_->shared.pictureFlag, 1);
}

}  // namespace
