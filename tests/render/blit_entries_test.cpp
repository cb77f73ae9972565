// The text and copy entries' bodies: clips honoured rectangle by rectangle,
// the opaque rectangle within itself and the clip.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "planes/glyph_output.h"
#include "planes/plane_ops.h"
#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "render/blit_entries.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

struct Device {
  static constexpr LONG kW = 64, kH = 20, kStride = 8;
  std::vector<BYTE> bits = std::vector<BYTE>(kStride * kH);
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  SURFOBJ so{};
  explicit Device(std::mt19937& rng) {
    for (BYTE& b : bits) b = static_cast<BYTE>(rng());
    pdev->headSignature = pdev->tailSignature = kPdevSignature;
    pdev->planeWidth = kW;
    pdev->planeHeight = kH;
    pdev->drum1Plane = pdev->drum2Plane = bits.data();
    pdev->textProcessing = 1;
    so.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
    so.lDelta = kStride;
    so.sizlBitmap = SIZEL{kW, kH};
  }
  ~Device() { FreeGlyphScratch(pdev.get()); }
};

TEST(TextOutBody, ComplexClipRectByRectAndOpaqueWithinClip) {
  std::mt19937 rng(17);
  Device dev(rng);
  const std::vector<BYTE> before = dev.bits;
  // Two solid 10 x 6 glyphs.
  std::vector<BYTE> glyphStore(offsetof(GLYPHBITS, aj) + 2 * 6, 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(glyphStore.data());
  gb->sizlBitmap = SIZEL{10, 6};
  for (int i = 0; i < 6; ++i) gb->aj[2 * i] = 0xFF, gb->aj[2 * i + 1] = 0xC0;
  GLYPHDEF def{};
  def.pgb = gb;
  GLYPHPOS positions[2] = {{1, &def, POINTL{4, 3}}, {2, &def, POINTL{30, 8}}};
  STROBJ str{};
  str.cGlyphs = 2;
  str.pgp = positions;
  const RECTL clipRects[] = {{0, 0, 8, 20}, {33, 10, 64, 12}};
  CLIPOBJ* clip = plat::engine::CreateClip(clipRects, 2);
  RECTL opaque{2, 2, 50, 11};
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0);
  // Background R2_NOTCOPYPEN of the all-ink pattern: white.
  ASSERT_TRUE(TextOutBody(&dev.so, &str, nullptr, clip, &opaque, brush, brush, (4u << 8) | 13u));
  plat::engine::DeleteBrush(brush);
  for (LONG y = 0; y < Device::kH; ++y)
    for (LONG x = 0; x < Device::kW; ++x) {
      bool inClip = false;
      for (const RECTL& r : clipRects) inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      const bool glyph = (x >= 4 && x < 14 && y >= 3 && y < 9) || (x >= 30 && x < 40 && y >= 8 && y < 14);
      const bool inOpaque = x >= opaque.left && x < opaque.right && y >= opaque.top && y < opaque.bottom;
      bool want = BitAt(before.data() + y * Device::kStride, x);
      if (inClip && inOpaque) want = true;
      if (inClip && glyph) want = false;
      ASSERT_EQ(BitAt(dev.bits.data() + y * Device::kStride, x), want) << x << "," << y;
    }
  plat::engine::DeleteClip(clip);
}

TEST(CopyBitsBody, RecordsTheSourceAndCopies) {
  std::mt19937 rng(4);
  Device dev(rng);
  std::vector<BYTE> srcBits(4 * 4, 0x00);
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{16, 4};
  src.lDelta = 4;
  src.pvScan0 = srcBits.data();
  src.iBitmapFormat = BMF_1BPP;
  src.iUniq = 77;
  RECTL target{3, 2, 19, 6};
  ASSERT_TRUE(CopyBitsBody(&dev.so, &src, nullptr, nullptr, &target, nullptr));
  EXPECT_EQ(dev.pdev->drawing.rop4, 0xCCCCu);
  EXPECT_EQ(dev.pdev->drawing.sourceId, 77u);
  for (LONG y = 2; y < 6; ++y)
    for (LONG x = 3; x < 19; ++x) ASSERT_FALSE(BitAt(dev.bits.data() + y * Device::kStride, x)) << x << "," << y;
  SURFOBJ bad{};
  EXPECT_FALSE(CopyBitsBody(&bad, &src, nullptr, nullptr, &target, nullptr));
}

}  // namespace

namespace {

// A ROP4 whose low byte is 0xAA returns at once, even without a device;
// PATINVERT flushes a pending picture; the ROP4 history moves.
TEST(BitBltBody, NoOpTestFlushRulesAndHistory) {
  SURFOBJ none{};
  RECTL target{0, 0, 8, 8};
  EXPECT_TRUE(BitBltBody(&none, nullptr, nullptr, nullptr, &target, nullptr, nullptr, 0x11AA));
  EXPECT_FALSE(BitBltBody(&none, nullptr, nullptr, nullptr, &target, nullptr, nullptr, 0x5A5A));

  std::mt19937 rng(9);
  Device dev(rng);
  std::vector<BYTE> srcBits(4 * 8, 0xFF);
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{16, 8};
  src.lDelta = 4;
  src.pvScan0 = srcBits.data();
  src.iBitmapFormat = BMF_1BPP;
  dev.pdev->drawing.rop4 = 0x8888;
  dev.pdev->flags |= kPdevImagePending;
  EXPECT_TRUE(BitBltBody(&dev.so, &src, nullptr, nullptr, &target, nullptr, nullptr, 0xCCCC));
  EXPECT_EQ(dev.pdev->drawing.previousRop4, 0x8888u);
  EXPECT_EQ(dev.pdev->drawing.rop4, 0xCCCCu);
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0);
  dev.pdev->flags |= kPdevImagePending;
  EXPECT_TRUE(BitBltBody(&dev.so, nullptr, nullptr, nullptr, &target, nullptr, brush, 0x5A5A));
  EXPECT_FALSE(dev.pdev->flags & kPdevImagePending);
  EXPECT_EQ(dev.pdev->drawing.lastDrawnRect.right, 8);
  plat::engine::DeleteBrush(brush);
}

// The emitter's exchanged-drums flag is no stroke's: a blit leaves both
// planes outside its target, and the flag, as they were.
TEST(BitBltBody, TheEmittersDrumFlagExchangesNothing) {
  std::mt19937 rng(5);
  Device dev(rng);
  std::vector<BYTE> drum1(dev.bits.size());
  for (BYTE& b : drum1) b = static_cast<BYTE>(rng());
  dev.pdev->drum1Plane = drum1.data();
  dev.pdev->planesSwapped = 1;
  const std::vector<BYTE> before1 = drum1, before2 = dev.bits;
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0);
  RECTL target{0, 0, 8, 8};
  EXPECT_TRUE(BitBltBody(&dev.so, nullptr, nullptr, nullptr, &target, nullptr, brush, 0xF0F0));
  plat::engine::DeleteBrush(brush);
  const std::size_t below = 8 * Device::kStride;
  EXPECT_TRUE(std::equal(drum1.begin() + below, drum1.end(), before1.begin() + below));
  EXPECT_TRUE(std::equal(dev.bits.begin() + below, dev.bits.end(), before2.begin() + below));
  EXPECT_EQ(dev.pdev->planesSwapped, 1);
}

}  // namespace

namespace {

// Mirrored and flipped stretches at equal size read a private mirrored copy:
// the plane shows the reversed source and the caller's bits stay as they were.
TEST(StretchBltBody, MirrorsAndFlipsWithoutWritingTheCallersBits) {
  std::mt19937 rng(23);
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  for (bool mirror : {false, true})
    for (bool flip : {false, true}) {
      Device dev(rng);
      std::fill(dev.bits.begin(), dev.bits.end(), 0xFF);
      std::vector<BYTE> srcBits(4 * 8);
      for (BYTE& b : srcBits) b = static_cast<BYTE>(rng());
      const std::vector<BYTE> callers = srcBits;
      SURFOBJ src{};
      src.sizlBitmap = SIZEL{24, 8};
      src.lDelta = 4;
      src.pvScan0 = srcBits.data();
      src.iBitmapFormat = BMF_1BPP;
      RECTL from{3, 1, 23, 7};  // 20 x 6
      RECTL to{mirror ? 31 : 11, flip ? 10 : 4, mirror ? 11 : 31, flip ? 4 : 10};
      ASSERT_TRUE(StretchBltBody(&dev.so, &src, nullptr, nullptr, xlate, nullptr, nullptr, &to, &from, nullptr, HALFTONE));
      EXPECT_EQ(srcBits, callers);
      for (LONG y = 4; y < 10; ++y)
        for (LONG x = 11; x < 31; ++x) {
          const LONG sx = 3 + (mirror ? 30 - x : x - 11), sy = 1 + (flip ? 9 - y : y - 4);
          ASSERT_EQ(BitAt(dev.bits.data() + y * Device::kStride, x), BitAt(srcBits.data() + sy * 4, sx))
              << x << "," << y << " mirror " << mirror << " flip " << flip;
        }
      EXPECT_EQ(dev.pdev->drawing.rop4, 0xFFCCu);
    }
  plat::engine::DeleteXlate(xlate);
}

}  // namespace
