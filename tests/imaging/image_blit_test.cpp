// The image branch of DrvBitBlt: the recogniser's states for masks and
// images, the sequences it leaves to the ordinary path, and the clip.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "imaging/image_band_cache.h"
#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

class ImageBlit : public ::testing::Test {
 protected:
  static constexpr LONG kW = 128, kH = 96;
  void SetUp() override {
    pdev_ = std::make_unique<RenderPdev>();
    RenderPdev& p = *pdev_;
    p.headSignature = p.tailSignature = kPdevSignature;
    p.planeWidth = kW;
    p.planeHeight = kH;
    p.planeStride = static_cast<LONG>(AlignTo4(RowBytes1bpp(kW)));
    plane_.assign(static_cast<std::size_t>(p.planeStride) * kH, 0xFF);
    p.drum1Plane = p.drum2Plane = plane_.data();
    p.resolutionX = p.resolutionY = 600;
    p.drawing.fixedResolutionX = p.drawing.fixedResolutionY = PdevFixed{600, 0};
    p.amiLine = 85;
    p.amiAngle = 45;
    p.photoMode = 1;
    p.contrast = p.brightness = 4;
    p.imageCaching = 1;
    p.shared.pictureFlag = 1;
    p.drawing.rop4 = p.drawing.previousRop4 = 0xCCCC;
    surface_.dhpdev = reinterpret_cast<DHPDEV>(pdev_.get());
    surface_.sizlBitmap = SIZEL{kW, kH};
    surface_.pvScan0 = plane_.data();
    surface_.lDelta = p.planeStride;
    surface_.iBitmapFormat = BMF_1BPP;
  }
  void TearDown() override {
    FreeImageBuffers(pdev_.get());
    ClearClipRectList(pdev_.get());
    if (pdev_->image.diffusionCarryRow) GlobalFree(pdev_->image.diffusionCarryRow);
    for (XLATEOBJ* x : xlates_) plat::engine::DeleteXlate(x);
  }
  // A source bitmap of w x h pixels in the format, rows 4-byte aligned.
  SURFOBJ Source(ULONG format, LONG w, LONG h, std::vector<BYTE>& bits, BYTE fill) {
    const std::int64_t stride = RowBytesForFormat(w, format);
    bits.assign(static_cast<std::size_t>(stride * h), fill);
    SURFOBJ s{};
    s.sizlBitmap = SIZEL{w, h};
    s.pvScan0 = bits.data();
    s.lDelta = static_cast<LONG>(stride);
    s.iBitmapFormat = format;
    return s;
  }
  XLATEOBJ* Xlate(std::vector<ULONG> palette) {
    xlates_.push_back(plat::engine::CreateXlate(palette.data(), static_cast<ULONG>(palette.size())));
    return xlates_.back();
  }
  // DrvBitBlt's part around the branch: ROP history and the last drawn rectangle.
  BOOL Blit(ULONG rop4, const RECTL& target, SURFOBJ& src, XLATEOBJ* xlate, CLIPOBJ* clip = nullptr) {
    pdev_->drawing.previousRop4 = pdev_->drawing.rop4;
    pdev_->drawing.rop4 = rop4;
    const POINTL origin{0, 0};
    const BOOL handled = BitBltImage(&surface_, &target, &src, &origin, clip, xlate);
    if (handled) pdev_->drawing.lastDrawnRect = target;
    return handled;
  }
  BYTE State() const { return pdev_->image.blitState; }
  std::unique_ptr<RenderPdev> pdev_;
  std::vector<BYTE> plane_;
  SURFOBJ surface_{};
  std::vector<XLATEOBJ*> xlates_;
};

TEST_F(ImageBlit, MergePaintOfAnEightBitSourceIsDrawnAtOnce) {
  std::fill(plane_.begin(), plane_.end(), 0x00);  // all ink
  std::vector<BYTE> bits;
  SURFOBJ src = Source(BMF_8BPP, 16, 8, bits, 0);  // index 0: black, a hole
  std::vector<ULONG> grey(256);
  for (ULONG i = 0; i < 256; ++i) grey[i] = i * 0x010101;
  EXPECT_TRUE(Blit(0xBBBB, RECTL{8, 8, 24, 16}, src, Xlate(grey)));
  EXPECT_EQ(State(), kBlitMergePaint8);
  EXPECT_EQ(plane_[static_cast<std::size_t>(10) * pdev_->planeStride + 1], 0xFF) << "the hole is white";
  EXPECT_FALSE(pdev_->flags & kPdevImagePending);
}

TEST_F(ImageBlit, MergePaintMaskThenSrcAndMaskIsDeclined) {
  std::vector<BYTE> bits;
  SURFOBJ mask = Source(BMF_1BPP, 32, 16, bits, 0x0F);
  XLATEOBJ* bw = Xlate({0x000000, 0xFFFFFF});
  const RECTL at{16, 16, 48, 32};
  EXPECT_TRUE(Blit(0xBBBB, at, mask, bw));
  EXPECT_EQ(State(), kBlitMaskHole);
  EXPECT_FALSE(Blit(0x8888, at, mask, bw));
  EXPECT_EQ(State(), kBlitDeclinedPair);
}

// A SRCAND picture, then a one-bit SRCPAINT over it: state 12, left to the
// ordinary path; the flush that follows marks a paint over a fresh mask.
TEST_F(ImageBlit, OneBitPaintOverAPictureIsLeftToTheRasterPath) {
  std::vector<BYTE> picture, mask;
  SURFOBJ rgb = Source(BMF_24BPP, 32, 16, picture, 0x60);
  SURFOBJ one = Source(BMF_1BPP, 32, 16, mask, 0xF0);
  EXPECT_TRUE(Blit(0x8888, RECTL{16, 16, 48, 32}, rgb, nullptr));
  EXPECT_EQ(State(), kBlitSrcAndNew);
  EXPECT_TRUE(pdev_->flags & kPdevImagePending);
  EXPECT_FALSE(Blit(0xEEEE, RECTL{20, 20, 52, 36}, one, Xlate({0x0000FF, 0xFFFFFF})));
  EXPECT_EQ(State(), kBlitPaintOverMask);
  EXPECT_EQ(pdev_->shared.blackWhiteSource, 1);
  ASSERT_TRUE(FlushImageIfPending(pdev_.get()));
  EXPECT_EQ(pdev_->image.earlierRop4, 0x8888u);
  EXPECT_EQ(State(), kBlitIdle);
}

// Declined before anything is drawn: caching off, or a palette source
// without a palette.
TEST_F(ImageBlit, DeclinedWithoutCachingOrPalette) {
  std::vector<BYTE> picture, grey;
  SURFOBJ rgb = Source(BMF_24BPP, 32, 16, picture, 0x60);
  SURFOBJ eight = Source(BMF_8BPP, 32, 16, grey, 7);
  pdev_->imageCaching = 0;
  EXPECT_FALSE(Blit(0x8888, RECTL{16, 16, 48, 32}, rgb, nullptr));
  EXPECT_FALSE(pdev_->flags & kPdevImagePending);
  pdev_->imageCaching = 1;
  EXPECT_FALSE(Blit(0x8888, RECTL{16, 16, 48, 32}, eight, nullptr));
  EXPECT_FALSE(pdev_->flags & kPdevImagePending);
  EXPECT_EQ(std::count(plane_.begin(), plane_.end(), 0xFF), static_cast<long>(plane_.size()));
}

// Through a complex clip only the visible rectangles reach the picture; the
// rest has SRCAND's neutral background (no ink). A rectangle that misses the
// target adds nothing.
TEST_F(ImageBlit, ComplexClipKeepsTheVisibleRectangles) {
  std::vector<BYTE> picture;
  SURFOBJ rgb = Source(BMF_24BPP, 32, 16, picture, 0x00);  // black: full ink
  const RECTL rects[] = {{16, 16, 24, 32}, {40, 16, 48, 24}, {100, 80, 110, 90}};
  CLIPOBJ* clip = plat::engine::CreateClip(rects, 3);
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(Blit(0x8888, RECTL{16, 16, 48, 32}, rgb, nullptr, clip));
  const ImageBuffer& w = pdev_->image.bandCache->working;
  ASSERT_NE(w.buffer, nullptr);
  ASSERT_EQ(ImageWidth(w), 32);
  ASSERT_EQ(ImageHeight(w), 16);
  const auto at = [&](int x, int y) { return w.buffer[static_cast<std::size_t>(y) * w.stride + x]; };
  EXPECT_EQ(at(0, 0), 255);
  EXPECT_EQ(at(7, 15), 255);
  EXPECT_EQ(at(8, 0), 0);
  EXPECT_EQ(at(24, 7), 255);
  EXPECT_EQ(at(24, 8), 0);
  EXPECT_EQ(pdev_->shared.clipRects.count, 2u);
  plat::engine::DeleteClip(clip);
}

}  // namespace
