// Clip enumeration and colour translation as drawing entries use them.
#include <gtest/gtest.h>

#include <vector>

#include "plat/engine.h"

namespace {

// The drawing paths' enumeration buffer: a count and 256 rectangles.
constexpr ULONG kEnumBytes = 4100;

std::vector<std::vector<RECTL>> EnumerateAll(CLIPOBJ* clip, ULONG bufferBytes, std::vector<BOOL>& more) {
  std::vector<std::vector<RECTL>> batches;
  std::vector<ULONG> buffer(bufferBytes / sizeof(ULONG));
  for (int guard = 0; guard < 100; ++guard) {
    const BOOL again = CLIPOBJ_bEnum(clip, bufferBytes, buffer.data());
    const auto* batch = reinterpret_cast<const ENUMRECTS*>(buffer.data());
    batches.emplace_back(batch->arcl, batch->arcl + batch->c);
    more.push_back(again);
    if (!again) break;
  }
  return batches;
}

TEST(ClipObject, ComplexClipComesInWholeBatchesLastWithFalse) {
  std::vector<RECTL> rects;
  for (LONG i = 0; i < 600; ++i) rects.push_back(RECTL{i, 2 * i, i + 3, 2 * i + 1});
  CLIPOBJ* clip = plat::engine::CreateClip(rects.data(), 600);
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->iDComplexity, DC_COMPLEX);
  EXPECT_EQ(clip->iFComplexity, FC_COMPLEX);
  EXPECT_EQ(clip->rclBounds.left, 0);
  EXPECT_EQ(clip->rclBounds.top, 0);
  EXPECT_EQ(clip->rclBounds.right, 602);
  EXPECT_EQ(clip->rclBounds.bottom, 1199);
  EXPECT_EQ(CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 0), 600u);
  std::vector<BOOL> more;
  const auto batches = EnumerateAll(clip, kEnumBytes, more);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].size(), 256u);
  EXPECT_EQ(batches[1].size(), 256u);
  EXPECT_EQ(batches[2].size(), 88u);
  EXPECT_EQ(more, (std::vector<BOOL>{TRUE, TRUE, FALSE}));
  std::size_t k = 0;
  for (const auto& batch : batches)
    for (const RECTL& r : batch) {
      ASSERT_EQ(r.left, rects[k].left) << k;
      ASSERT_EQ(r.bottom, rects[k].bottom) << k;
      ++k;
    }
  // After the last batch: empty batches; a new start begins again.
  std::vector<ULONG> buffer(kEnumBytes / 4);
  EXPECT_FALSE(CLIPOBJ_bEnum(clip, kEnumBytes, buffer.data()));
  EXPECT_EQ(reinterpret_cast<ENUMRECTS*>(buffer.data())->c, 0u);
  EXPECT_EQ(CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 100), CLIPOBJ_ENUM_LIMIT);
  more.clear();
  EXPECT_EQ(EnumerateAll(clip, kEnumBytes, more)[0].size(), 256u);
  plat::engine::DeleteClip(clip);
}

TEST(ClipObject, TrivialAndRectangleClipsGiveTheirBounds) {
  CLIPOBJ* trivial = plat::engine::CreateTrivialClip(RECTL{5, 6, 50, 60});
  const RECTL one{1, 2, 3, 4};
  CLIPOBJ* rect = plat::engine::CreateClip(&one, 1);
  CLIPOBJ stack{};  // a clip the driver makes itself for a call without one
  stack.iDComplexity = DC_TRIVIAL;
  stack.rclBounds = RECTL{0, 0, 8, 8};
  ASSERT_NE(trivial, nullptr);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(trivial->iDComplexity, DC_TRIVIAL);
  EXPECT_EQ(rect->iDComplexity, DC_RECT);
  EXPECT_NE(trivial->iUniq, rect->iUniq);
  for (CLIPOBJ* clip : {trivial, rect, &stack}) {
    EXPECT_EQ(CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 0), 1u);
    std::vector<BOOL> more;
    const auto batches = EnumerateAll(clip, kEnumBytes, more);
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].size(), 1u);
    EXPECT_EQ(batches[0][0].left, clip->rclBounds.left);
    EXPECT_EQ(batches[0][0].bottom, clip->rclBounds.bottom);
    EXPECT_FALSE(more[0]);
  }
  // A buffer without room for one rectangle is refused.
  ULONG small[4] = {};
  SetLastError(0);
  EXPECT_FALSE(CLIPOBJ_bEnum(rect, 16, small));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::engine::CreateClip(&one, 0), nullptr);
  plat::engine::DeleteClip(trivial);
  plat::engine::DeleteClip(rect);
}

TEST(XlateObject, PalettesOfTwoSixteenAndTwoHundredFiftySixEntries) {
  for (ULONG count : {2u, 16u, 256u}) {
    std::vector<ULONG> palette(count);
    for (ULONG i = 0; i < count; ++i) palette[i] = (i * 0x010203u) & 0xFFFFFF;
    XLATEOBJ* xlate = plat::engine::CreateXlate(palette.data(), count);
    ASSERT_NE(xlate, nullptr);
    EXPECT_EQ(xlate->flXlate & XO_TABLE, XO_TABLE);
    EXPECT_EQ(xlate->cEntries, count);
    EXPECT_EQ(XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, 0, nullptr), count);
    std::vector<ULONG> got(256, 0xDEADBEEF);
    EXPECT_EQ(XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, count, got.data()), count);
    EXPECT_EQ(std::vector<ULONG>(got.begin(), got.begin() + count), palette);
    if (count < 256) {
      EXPECT_EQ(got[count], 0xDEADBEEFu);  // nothing past the palette
    }
    // A smaller buffer takes the first entries only.
    std::vector<ULONG> two(2, 0);
    EXPECT_EQ(XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, 2, two.data()), 2u);
    EXPECT_EQ(two[1], palette[1]);
    EXPECT_EQ(XLATEOBJ_cGetPalette(xlate, XO_DESTPALETTE, count, got.data()), 0u);
    EXPECT_EQ(XLATEOBJ_iXlate(xlate, count - 1), palette[count - 1]);
    EXPECT_EQ(XLATEOBJ_iXlate(xlate, count), 0u);
    plat::engine::DeleteXlate(xlate);
  }
}

TEST(XlateObject, TrivialTranslationPassesColours) {
  XLATEOBJ* xlate = plat::engine::CreateXlate(nullptr, 0);
  ASSERT_NE(xlate, nullptr);
  EXPECT_EQ(xlate->flXlate, XO_TRIVIAL);
  EXPECT_EQ(XLATEOBJ_iXlate(xlate, 0x123456), 0x123456u);
  EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 7), 7u);
  EXPECT_EQ(XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, 0, nullptr), 0u);
  plat::engine::DeleteXlate(xlate);
}

}  // namespace
