// The plug-in's shadow-page workers and queued drawing objects on a small
// page: which calls are queued, merged, emitted or declined, and what the
// read-back puts on the plane.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/draw_objects.h"
#include "imaging/image_band_cache.h"
#include "imaging/merge_decision.h"
#include "imaging/rgb_band_cache.h"
#include "plat/base.h"
#include "plat/engine_clip_xlate.h"
#include "support/peer.h"
#include "support/picture_page.h"
#include "support/python_peer.h"
#include "support/render_pdev.h"

using namespace imaging;

// Rectangles compared and printed by the assertions (found with PdevRect).
static bool operator==(const PdevRect& a, const PdevRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const PdevRect& r) {
  return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

constexpr LONG kW = 64, kH = 48;

using Worker = BOOL (*)(RenderPdev*, const RECTL*, ULONG, CLIPOBJ*);

// What an object looks like after a call.
struct Shape {
  std::uint8_t kind;
  ULONG tag;
  PdevRect rect;
  std::int32_t items;
  std::uint8_t complexity;
};

// A one-ink plug-in page with a white shadow page.
struct ShadowPageFixture : testsupport::PicturePage {
  ShadowPageFixture() : PicturePage(kW, kH, 85) {
    pdev->generation = PdevGeneration::Plugin;
    shadowBits.assign(static_cast<std::size_t>(kW) * 3 * kH, 0xFF);
    shadow.sizlBitmap = SIZEL{kW, kH};
    shadow.pvScan0 = shadow.pvBits = shadowBits.data();
    shadow.lDelta = kW * 3;
    shadow.iBitmapFormat = BMF_24BPP;
    pdev->plugin.shadowObject = &shadow;
    pdev->drawing.rop4 = pdev->drawing.previousRop4 = 0;
    pdev->drawing.lastDrawnRect = RECTL{kW + 10, kH + 10, kW + 20, kH + 20};  // drawn elsewhere
    BandCacheOf(pdev.get());
  }
  ~ShadowPageFixture() {
    FreeDrawObjects(pdev.get());
    for (CLIPOBJ* c : clips) plat::engine::DeleteClip(c);
  }
  RenderPdev* P() { return pdev.get(); }

  // A blit as the drawing entries make it: the ROP4 history moves on, the
  // worker is asked, the target becomes the last drawn rectangle.
  BOOL Blit(Worker worker, ULONG rop4, const RECTL& target, ULONG format, CLIPOBJ* clip = nullptr) {
    pdev->drawing.previousRop4 = pdev->drawing.rop4;
    pdev->drawing.rop4 = rop4;
    const BOOL queued = worker(pdev.get(), &target, format, clip);
    pdev->drawing.lastDrawnRect = target;
    return queued;
  }
  // Shadow pixels of an exclusive rectangle to one grey.
  void PaintShadow(const RECTL& r, BYTE grey) {
    for (LONG y = r.top; y < r.bottom; ++y)
      std::fill_n(shadowBits.begin() + y * kW * 3 + r.left * 3, (r.right - r.left) * 3, grey);
  }
  std::vector<Shape> Objects() const {
    std::vector<Shape> out;
    for (const DrawObject* o = pdev->plugin.head; o; o = o->next)
      out.push_back(Shape{o->kind, o->tag, o->rect, o->itemCount, o->clipComplexity});
    return out;
  }
  bool PendingFlag() const { return (pdev->flags & kPdevImagePending) != 0; }
  bool Ink(LONG x, LONG y) const { return testsupport::InkAt(plane.data(), pdev->planeStride, x, y); }
  // Inked dots inside and outside an inclusive rectangle.
  std::pair<int, int> InkInOut(const PdevRect& r) const {
    int in = 0, out = 0;
    for (LONG y = 0; y < kH; ++y)
      for (LONG x = 0; x < kW; ++x)
        if (Ink(x, y)) (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom ? in : out)++;
    return {in, out};
  }
  CLIPOBJ* Clip(std::vector<RECTL> rects) {
    clips.push_back(plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size())));
    return clips.back();
  }
  DrawObject* Append(const PdevRect& r, std::uint8_t kind, std::uint8_t tag) {
    DrawObject* o = NewDrawObject(pdev.get(), r, tag, kind, nullptr, r);
    if (!pdev->plugin.head)
      pdev->plugin.head = o;
    else
      pdev->plugin.tail->next = o;
    pdev->plugin.tail = o;
    pdev->flags |= kPdevImagePending;
    return o;
  }

  std::vector<BYTE> shadowBits;
  SURFOBJ shadow{};
  std::vector<CLIPOBJ*> clips;
};

void ExpectObjects(const ShadowPageFixture& f, const std::vector<Shape>& want, const std::string& where) {
  const std::vector<Shape> got = f.Objects();
  ASSERT_EQ(got.size(), want.size()) << where;
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].kind, want[i].kind) << where << " object " << i;
    EXPECT_EQ(got[i].tag, want[i].tag) << where << " object " << i;
    EXPECT_EQ(got[i].rect, want[i].rect) << where << " object " << i;
    EXPECT_EQ(got[i].items, want[i].items) << where << " object " << i;
    EXPECT_EQ(got[i].complexity, want[i].complexity) << where << " object " << i;
  }
}

TEST(ShadowQueue, StripsBelowEachOtherBecomeOneObjectEmittedOnce) {
  ShadowPageFixture f;
  f.PaintShadow({0, 0, 40, 40}, 0x80);
  for (int k = 0; k < 10; ++k) {
    const RECTL strip{0, 4 * k, 40, 4 * k + 4};
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, strip, BMF_24BPP)) << k;
    ExpectObjects(f, {{kObjectCopy, BMF_24BPP, {0, 0, 40, 4 * k + 4}, k + 1, DC_TRIVIAL}}, "strip " + std::to_string(k));
    EXPECT_EQ(f.P()->plugin.kind, kObjectCopy);
    EXPECT_EQ(f.P()->plugin.tag, BMF_24BPP);
    EXPECT_TRUE(f.PendingFlag());
    EXPECT_EQ(f.P()->plugin.cursor, nullptr);
    EXPECT_EQ(f.P()->image.earlierRect, (PdevRect{0, 4 * k, 40, 4 * k + 4}));
    EXPECT_EQ(f.P()->image.operationRect, (PdevRect{0, 0, 40, 4 * k + 4}));
    EXPECT_EQ(f.InkInOut({0, 0, 63, 47}).first, 0) << "queued, not drawn";
  }
  // SendPage: everything goes down, as one grey picture in the strips' dots.
  f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
  EXPECT_TRUE(FlushDrawObjects(f.P()));
  EXPECT_TRUE(f.Objects().empty());
  EXPECT_FALSE(f.PendingFlag());
  EXPECT_EQ(f.P()->plugin.kind, 0);
  EXPECT_EQ(f.P()->plugin.tail, nullptr);
  EXPECT_EQ(f.P()->shared.clipRects.entries, nullptr);
  const auto [in, out] = f.InkInOut({0, 0, 39, 39});
  EXPECT_GT(in, 40 * 40 / 10);
  EXPECT_LT(in, 40 * 40 * 9 / 10);
  EXPECT_EQ(out, 0);
  for (int k = 0; k < 10; ++k) EXPECT_GT(f.InkInOut({0, 4 * k, 39, 4 * k + 3}).first, 0) << "strip " << k;
}

TEST(ShadowQueue, PieceStartingOnTheLastBottomRowIsAdjacentOnlyInThePlugin) {
  struct Case {
    PdevRect next;
    bool plugin;
    bool adjacent;
  };
  const PdevRect last{0, 0, 40, 10};
  for (const Case& c : {Case{{5, 10, 30, 20}, true, true}, Case{{5, 10, 30, 20}, false, false},
                        Case{{0, 10, 50, 20}, true, true}, Case{{40, 10, 60, 20}, true, false},
                        Case{{5, 0, 30, 10}, true, false}}) {
    ShadowPageFixture f;
    if (!c.plugin) f.P()->generation = PdevGeneration::Classic;
    ImageBandCache& cache = *f.P()->image.bandCache;
    cache.mergeState = 7;
    EXPECT_EQ(AreObjectsAdjacent(f.P(), cache, last, c.next, last), c.adjacent) << c.next << c.plugin;
    if (c.adjacent) {
      EXPECT_EQ(cache.mergeState, 0) << c.next;
    }
  }
}

TEST(ShadowQueue, EightBitStripTouchingA24BitPictureEmitsItFirst) {
  ShadowPageFixture f;
  f.PaintShadow({0, 0, 40, 10}, 0x60);
  ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {0, 0, 40, 10}, BMF_24BPP));
  ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {0, 10, 40, 20}, BMF_8BPP));
  ExpectObjects(f, {{kObjectCopy, BMF_8BPP, {0, 10, 40, 20}, 1, DC_TRIVIAL}}, "after the 8-bit strip");
  EXPECT_EQ(f.P()->plugin.tag, BMF_8BPP);
  EXPECT_TRUE(f.PendingFlag());
  const auto [in, out] = f.InkInOut({0, 0, 39, 9});
  EXPECT_GT(in, 0) << "the 24-bit picture went down";
  EXPECT_EQ(out, 0);
}

TEST(ShadowQueue, BlendsMergeWithoutFlushingAndApartStaySeparate) {
  struct Case {
    RECTL second;
    std::vector<Shape> want;
  };
  const std::vector<Case> cases{
      {{0, 10, 20, 20}, {{kObjectBlend, BMF_32BPP, {0, 0, 20, 20}, 2, DC_TRIVIAL}}},
      {{30, 30, 50, 40},
       {{kObjectBlend, BMF_32BPP, {0, 0, 20, 10}, 1, DC_TRIVIAL}, {kObjectBlend, BMF_32BPP, {30, 30, 50, 40}, 1, DC_TRIVIAL}}},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    f.PaintShadow({0, 0, 64, 48}, 0x40);
    ASSERT_TRUE(f.Blit(ShadowBlendBlt, 0xAACC, {0, 0, 20, 10}, BMF_32BPP));
    ASSERT_TRUE(f.Blit(ShadowBlendBlt, 0xAACC, c.second, BMF_32BPP));
    ExpectObjects(f, c.want, "second blend");
    EXPECT_EQ(f.P()->plugin.kind, kObjectBlend);
    EXPECT_EQ(f.InkInOut({0, 0, 63, 47}).first, 0) << "nothing emitted";
  }
}

TEST(ShadowQueue, XorOverDrawnContent) {
  struct Case {
    const char* name;
    bool picture;  // a stretched 24-bit picture is queued under the XOR
    ULONG xorFormat;
    BOOL result;
    std::vector<Shape> want;
    std::uint8_t kindByte;
    bool cursor;
  };
  const std::vector<Case> cases{
      {"no sequence, not white", false, BMF_24BPP, FALSE, {}, 0, false},
      {"over a picture of its format", true, BMF_24BPP, FALSE,
       {{kObjectFirstXor, BMF_24BPP, {0, 0, 32, 32}, 2, DC_TRIVIAL}}, kObjectFirstXor, true},
      {"over a picture of another format", true, BMF_8BPP, FALSE,
       {{kObjectCopy, BMF_24BPP, {0, 0, 32, 32}, 1, DC_TRIVIAL}}, 0, false},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    f.PaintShadow({0, 0, 32, 32}, 0x70);
    if (c.picture) {
      ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4StretchCopy, {0, 0, 32, 32}, BMF_24BPP)) << c.name;
    }
    EXPECT_EQ(f.Blit(ShadowMaskBlt, kRop4SrcInvert, {8, 8, 24, 24}, c.xorFormat), c.result) << c.name;
    ExpectObjects(f, c.want, c.name);
    EXPECT_EQ(f.P()->plugin.kind, c.kindByte) << c.name;
    EXPECT_EQ(f.P()->plugin.cursor != nullptr, c.cursor) << c.name;
    // Only the picture taken over is rendered at once, before the XOR lands.
    EXPECT_EQ(f.InkInOut({0, 0, 31, 31}).first > 0, c.cursor) << c.name;
    if (c.picture && !c.cursor) {
      EXPECT_EQ(f.P()->image.operationRect, (PdevRect{8, 8, 24, 24})) << c.name;
    }
    if (c.cursor) {
      // The next blit is no AND: the entry abandons the cursor object.
      UnlinkDrawObject(f.P());
      EXPECT_TRUE(f.Objects().empty());
      EXPECT_EQ(f.P()->plugin.cursor, nullptr);
      EXPECT_FALSE(f.PendingFlag());
    }
  }
}

TEST(ShadowQueue, KindZeroOverTwoPicturesQueuesNothing) {
  ShadowPageFixture f;
  f.PaintShadow({0, 0, 64, 48}, 0x50);
  ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4StretchCopy, {0, 0, 20, 20}, BMF_24BPP));
  ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4StretchCopy, {30, 0, 50, 20}, BMF_24BPP));
  ASSERT_EQ(f.Objects().size(), 2u);
  EXPECT_FALSE(f.Blit(ShadowMaskBlt, kRop4SrcInvert, {10, 5, 40, 15}, BMF_24BPP));
  ExpectObjects(f,
                {{kObjectCopy, BMF_24BPP, {0, 0, 20, 20}, 1, DC_TRIVIAL}, {kObjectCopy, BMF_24BPP, {30, 0, 50, 20}, 1, DC_TRIVIAL}},
                "after the XOR");
  EXPECT_EQ(f.P()->plugin.cursor, nullptr);
  EXPECT_EQ(f.P()->plugin.kind, 0);
  EXPECT_EQ(f.P()->image.operationRect, (PdevRect{10, 5, 40, 15}));
}

TEST(ShadowQueue, TwoXorsInARowAbandonTheFirst) {
  ShadowPageFixture f;
  EXPECT_FALSE(f.Blit(ShadowMaskBlt, kRop4SrcInvert, {0, 0, 10, 10}, BMF_24BPP)) << "a first XOR is drawn too";
  ExpectObjects(f, {{kObjectFirstXor, BMF_24BPP, {0, 0, 10, 10}, 1, DC_TRIVIAL}}, "first XOR");
  EXPECT_EQ(f.P()->plugin.kind, kObjectFirstXor);
  EXPECT_TRUE(f.PendingFlag());
  EXPECT_FALSE(f.Blit(ShadowMaskBlt, kRop4SrcInvert, {10, 0, 20, 10}, BMF_24BPP));
  EXPECT_TRUE(f.Objects().empty());
  EXPECT_FALSE(f.PendingFlag());
  EXPECT_EQ(f.P()->plugin.kind, 0);
  EXPECT_EQ(f.P()->image.operationRect, (PdevRect{0, 0, 20, 10}));
}

TEST(ShadowQueue, XorAndXorOnWhiteComesOutAsTheShadowPage) {
  ShadowPageFixture f;
  const RECTL target{8, 8, 24, 24};
  struct Step {
    ULONG rop4;
    ULONG format;
    BOOL queued;
    std::uint8_t kind;
    std::int32_t items;
  };
  const Step steps[] = {{kRop4SrcInvert, BMF_24BPP, FALSE, kObjectFirstXor, 1},
                        {kRop4SrcAnd, BMF_1BPP, TRUE, kObjectMask, 1},
                        {kRop4SrcInvert, BMF_24BPP, TRUE, kObjectMask, 2}};
  for (const Step& s : steps) {
    EXPECT_EQ(f.Blit(ShadowMaskBlt, s.rop4, target, s.format), s.queued) << s.rop4;
    ExpectObjects(f, {{s.kind, BMF_24BPP, {8, 8, 24, 24}, s.items, DC_TRIVIAL}}, std::to_string(s.rop4));
    EXPECT_EQ(f.P()->plugin.kind, s.kind);
    EXPECT_EQ(f.P()->plugin.tag, BMF_24BPP);
    EXPECT_TRUE(f.PendingFlag());
  }
  // The planes got the first XOR; the shadow page shows the finished result:
  // a mask whose right half is white leaves ink only on the left half.
  std::fill(f.plane.begin(), f.plane.end(), 0x00);
  f.PaintShadow({8, 8, 16, 24}, 0x00);
  f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
  ASSERT_TRUE(FlushDrawObjects(f.P()));
  int left = 0, right = 0;
  for (LONG y = 8; y < 24; ++y)
    for (LONG x = 8; x < 24; ++x) (x < 16 ? left : right) += f.Ink(x, y) ? 1 : 0;
  EXPECT_GE(left, 8 * 16 * 9 / 10);
  EXPECT_EQ(right, 0);
  EXPECT_EQ(f.InkInOut({8, 8, 23, 23}).second, kW * kH - 16 * 16) << "outside the items untouched";
}

TEST(ShadowQueue, CoalescingAtSendPageMergesCompatibleObjects) {
  struct Case {
    std::uint8_t tags[3];
    std::vector<Shape> want;
  };
  const std::vector<Case> cases{
      {{5, 5, 5}, {{kObjectMask, 5, {0, 0, 30, 10}, 3, DC_TRIVIAL}}},
      {{5, 3, 5},
       {{kObjectMask, 5, {0, 0, 10, 10}, 1, DC_TRIVIAL},
        {kObjectCopy, 3, {10, 0, 20, 10}, 1, DC_TRIVIAL},
        {kObjectCopy, 5, {20, 0, 30, 10}, 1, DC_TRIVIAL}}},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    const std::uint8_t kinds[3] = {kObjectMask, kObjectCopy, kObjectCopy};
    for (int i = 0; i < 3; ++i) {
      DrawObject* o = f.Append({10 * i, 0, 10 * i + 10, 10}, kinds[i], c.tags[i]);
      ASSERT_TRUE(AddClipToDrawObject(f.P(), o, f.Clip({{10 * i, 0, 10 * i + 10, 10}}), o->rect));
    }
    EXPECT_TRUE(CoalesceDrawObjects(f.P()));
    ExpectObjects(f, c.want, "coalesced");
    EXPECT_EQ(f.P()->plugin.tail->rect, c.want.back().rect);
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    EXPECT_TRUE(FlushDrawObjects(f.P()));
    EXPECT_TRUE(f.Objects().empty());
    EXPECT_FALSE(f.PendingFlag());
  }
}

TEST(ShadowQueue, BoundedFlushesKeepAFirstXor) {
  struct Case {
    PdevRect bounds;
    std::vector<Shape> left;
  };
  const Shape firstXor{kObjectFirstXor, 5, {0, 0, 10, 10}, 0, DC_TRIVIAL};
  const Shape copy{kObjectCopy, 5, {20, 0, 30, 10}, 0, DC_TRIVIAL};
  for (const Case& c : {Case{{0, 0, 40, 40}, {firstXor}}, Case{{40, 40, 50, 50}, {firstXor, copy}},
                        Case{{0, 0, 0, 0}, {}}}) {
    ShadowPageFixture f;
    f.Append(firstXor.rect, kObjectFirstXor, 5);
    f.Append(copy.rect, kObjectCopy, 5);
    f.P()->plugin.kind = 2;
    f.P()->plugin.tag = 5;
    f.P()->image.operationRect = PdevRect{20, 0, 30, 10};
    f.P()->plugin.drawBounds = c.bounds;
    EXPECT_TRUE(FlushDrawObjects(f.P()));
    ExpectObjects(f, c.left, "after the flush");
    EXPECT_EQ(f.PendingFlag(), !c.left.empty());
    EXPECT_EQ(f.P()->plugin.kind, c.left.empty() ? 0 : 2);
    EXPECT_EQ(f.P()->image.operationRect, (PdevRect{20, 0, 30, 10}));
    EXPECT_EQ(f.P()->image.bandCache->adjacency, c.left.empty() ? 0 : 1);
  }
}

TEST(ShadowQueue, WithoutAShadowPageNothingIsQueuedOrFlushed) {
  ShadowPageFixture f;
  DrawObject* kept = f.Append({0, 0, 10, 10}, kObjectCopy, 5);
  f.P()->plugin.shadowObject = nullptr;
  for (Worker w : {ShadowCopyBlt, ShadowBlendBlt, ShadowRopBlt, ShadowMaskBlt})
    EXPECT_FALSE(f.Blit(w, kRop4SrcCopy, {0, 0, 10, 10}, BMF_24BPP));
  f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
  EXPECT_FALSE(FlushDrawObjects(f.P()));
  EXPECT_FALSE(EmitDrawObject(f.P()));
  EXPECT_EQ(f.P()->plugin.head, kept);
  EXPECT_EQ(f.Objects().size(), 1u);
}

// A target is cut to the page again after its edges are put in order, and a
// worker declines what is left empty.
TEST(ShadowQueue, TargetsAreCutToThePageAndEmptyOnesDeclined) {
  struct Case {
    RECTL target;
    std::vector<RECTL> clip;  // none: the trivial clip
    BOOL queued;
    PdevRect rect;
    PdevRect item;  // the piece's one item: every dot the blit can change
  };
  const Case cases[] = {
      {{100, 0, 200, 10}, {}, FALSE, {}, {}},
      {{200, 10, 100, 0}, {}, FALSE, {}, {}},
      {{50, 0, 200, 10}, {}, TRUE, {50, 0, kW - 1, 10}, {50, 0, kW - 1, 9}},
      {{200, 10, 50, 0}, {}, TRUE, {50, 0, kW - 1, 10}, {50, 0, kW - 1, 9}},
      {{-5, -5, 10, 10}, {}, TRUE, {0, 0, 10, 10}, {0, 0, 9, 9}},
      {{0, 0, 10, 10}, {{0, 20, 64, 30}}, FALSE, {}, {}},
      {{0, 0, 10, 10}, {{2, 3, 6, 9}}, TRUE, {2, 3, 6, 9}, {2, 3, 5, 8}},
      {{50, 40, kW, kH}, {}, TRUE, {50, 40, kW - 1, kH - 1}, {50, 40, kW - 1, kH - 1}},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    CLIPOBJ* clip = c.clip.empty() ? nullptr : f.Clip(c.clip);
    EXPECT_EQ(f.Blit(ShadowCopyBlt, kRop4SrcCopy, c.target, BMF_24BPP, clip), c.queued) << c.target.left;
    ASSERT_EQ(f.Objects().size(), c.queued ? 1u : 0u);
    if (c.queued) {
      EXPECT_EQ(f.Objects()[0].rect, c.rect) << c.target.left;
      ASSERT_EQ(f.P()->plugin.head->itemCount, 1);
      EXPECT_EQ(f.P()->plugin.head->items[0].rect, c.item) << c.target.left;
    }
    // Read back within the page and the RGB picture (the sanitizers watch).
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    EXPECT_TRUE(FlushDrawObjects(f.P()));
  }
}

// Items are the clip rectangles cut to the piece and the page: only they are
// whitened and read back.
TEST(ShadowQueue, ItemsAreCutToThePieceAndThePage) {
  struct Case {
    std::vector<RECTL> clip;
    std::vector<PdevRect> items;
  };
  const std::vector<Case> cases{
      {{{-50, -50, 500, 500}}, {{10, 10, 19, 19}}},
      {{{0, 0, 15, 15}, {18, 0, 64, 15}, {40, 40, 60, 60}}, {{10, 10, 14, 14}, {18, 10, 19, 14}}},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    std::fill(f.plane.begin(), f.plane.end(), 0x00);
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {10, 10, 20, 20}, BMF_24BPP, f.Clip(c.clip)));
    const DrawObject* o = f.P()->plugin.head;
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->itemCount, static_cast<std::int32_t>(c.items.size()));
    int dots = 0;
    for (std::size_t i = 0; i < c.items.size(); ++i) {
      EXPECT_EQ(o->items[i].rect, c.items[i]);
      dots += static_cast<int>(RectWidth(c.items[i]) * RectHeight(c.items[i]));
    }
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    ASSERT_TRUE(FlushDrawObjects(f.P()));
    EXPECT_EQ(f.InkInOut({0, 0, kW - 1, kH - 1}).first, kW * kH - dots) << "white shadow: only the items whitened";
  }
}

// Every routine that frees the cursor's object clears the cursor.
TEST(ShadowQueue, FreeingTheCursorObjectClearsTheCursor) {
  const std::vector<std::pair<const char*, std::function<void(ShadowPageFixture&, DrawObject*, DrawObject*)>>> routines{
      {"MergeDrawObjects", [](ShadowPageFixture& f, DrawObject* a, DrawObject* b) { MergeDrawObjects(f.P(), nullptr, a, b); }},
      {"CoalesceDrawObjects", [](ShadowPageFixture& f, DrawObject*, DrawObject*) { CoalesceDrawObjects(f.P()); }},
      {"FlushDrawObjects",
       [](ShadowPageFixture& f, DrawObject*, DrawObject*) {
         f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
         FlushDrawObjects(f.P());
       }},
      {"QueueDrawObject emit",
       [](ShadowPageFixture& f, DrawObject*, DrawObject*) {
         QueueDrawObject(f.P(), {0, 0, 10, 10}, 5, kObjectBlend, nullptr, {0, 0, 9, 9});
       }},
      {"UnlinkDrawObject", [](ShadowPageFixture& f, DrawObject*, DrawObject*) { UnlinkDrawObject(f.P()); }},
      {"FreeDrawObjects", [](ShadowPageFixture& f, DrawObject*, DrawObject*) { FreeDrawObjects(f.P()); }},
  };
  for (const auto& [name, routine] : routines) {
    ShadowPageFixture f;
    DrawObject* a = f.Append({0, 0, 10, 10}, kObjectCopy, 5);
    DrawObject* b = f.Append({5, 0, 15, 10}, kObjectCopy, 5);
    f.P()->plugin.cursor = std::string(name) == "CoalesceDrawObjects" ? b : a;
    routine(f, a, b);
    EXPECT_EQ(f.P()->plugin.cursor, nullptr) << name;
  }
}

TEST(ShadowQueue, ItemArraysGrowGeometrically) {
  ShadowPageFixture f;
  DrawObject* o = f.Append({0, 0, 64, 48}, kObjectCopy, 5);
  CLIPOBJ* clip = f.Clip({{1, 1, 3, 3}});
  int arrays = 0;
  const DrawObjectItem* seen = nullptr;
  for (int i = 0; i < 10000; ++i) {
    ASSERT_TRUE(AddClipToDrawObject(f.P(), o, clip, o->rect));
    if (o->items != seen) ++arrays, seen = o->items;
  }
  EXPECT_EQ(o->itemCount, 10000);
  EXPECT_LE(arrays, 14);
  EXPECT_LT(o->itemCapacity, 2 * 10000 + 1);
  // A merge keeps the victim's items first.
  DrawObject* other = f.Append({0, 0, 10, 10}, kObjectCopy, 5);
  ASSERT_TRUE(AddClipToDrawObject(f.P(), other, f.Clip({{4, 4, 9, 9}}), other->rect));
  ASSERT_TRUE(MergeDrawObjects(f.P(), nullptr, o, other));
  EXPECT_EQ(other->itemCount, 10001);
  EXPECT_EQ(other->items[0].rect, (PdevRect{1, 1, 2, 2}));
  EXPECT_EQ(other->items[10000].rect, (PdevRect{4, 4, 8, 8}));
  EXPECT_EQ(f.P()->plugin.head, other);
}

TEST(ShadowQueue, HeapFailures) {
  // A failed object or item array: the worker declines, nothing is queued.
  for (std::size_t n : {1u, 2u}) {
    ShadowPageFixture f;
    plat::FailNthHeapAlloc(n);
    EXPECT_FALSE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {0, 0, 10, 10}, BMF_24BPP)) << n;
    plat::FailNthHeapAlloc(0);
    EXPECT_TRUE(f.Objects().empty()) << n;
    EXPECT_FALSE(f.PendingFlag()) << n;
    EXPECT_EQ(f.P()->plugin.kind, 0) << n;
  }
  // A failed emit leaves the planes alone and still removes its object.
  for (std::size_t n : {1u, 2u, 3u}) {
    ShadowPageFixture f;
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {0, 0, 10, 10}, BMF_24BPP));
    std::fill(f.plane.begin(), f.plane.end(), 0x00);
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    plat::FailNthHeapAlloc(n);
    EXPECT_TRUE(FlushDrawObjects(f.P())) << n;
    plat::FailNthHeapAlloc(0);
    EXPECT_TRUE(f.Objects().empty()) << n;
    EXPECT_FALSE(f.PendingFlag()) << n;
    EXPECT_EQ(f.InkInOut({0, 0, kW - 1, kH - 1}).first, kW * kH) << n << ": nothing whitened";
  }
}

TEST(ShadowQueue, PluginClipListBlanksComplexClipsOfQueuedWork) {
  struct Case {
    bool plugin;
    ULONG rop4;
    std::uint8_t kind;
    bool complex;
    std::uint8_t nothingToBlank;
  };
  const Case cases[] = {
      {false, kRop4SrcInvert, 2, true, 1}, {true, kRop4SrcInvert, 0, true, 1}, {true, kRop4SrcInvert, 2, true, 0},
      {true, kRop4SrcCopy, 0, true, 0},    {true, kRop4SrcInvert, 2, false, 1},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    if (!c.plugin) f.P()->generation = PdevGeneration::Classic;
    f.P()->drawing.rop4 = c.rop4;
    f.P()->plugin.kind = c.kind;
    CLIPOBJ* clip = c.complex ? f.Clip({{0, 0, 4, 4}, {10, 10, 20, 20}}) : f.Clip({{0, 0, 4, 4}});
    ASSERT_TRUE(AddClipToClipRectList(f.P(), clip));
    const ClipRectList& list = f.P()->shared.clipRects;
    ASSERT_GT(list.count, 0u);
    for (std::uint32_t i = 0; i < list.count; ++i) EXPECT_EQ(list.entries[i].nothingToBlank, c.nothingToBlank);
  }
}

TEST(ShadowQueue, RopBlitsOfTheSourceOnly) {
  struct Case {
    const char* name;
    ULONG previous;
    ULONG rop4;
    BOOL queued;
    std::int32_t objects;
  };
  const Case cases[] = {
      {"a pattern ROP", kRop4SrcCopy, kRop4PatCopy, FALSE, 0},
      {"an AND after a pattern inversion over it", kRop4PatInvert, kRop4SrcAnd, FALSE, 0},
      {"an AND", 0, kRop4SrcAnd, TRUE, 1},
      {"a NOTSRCCOPY", 0, kRop4NotSrcCopy, TRUE, 1},
  };
  for (const Case& c : cases) {
    ShadowPageFixture f;
    f.P()->drawing.rop4 = c.previous;
    f.P()->drawing.lastDrawnRect = RECTL{0, 0, 40, 40};
    EXPECT_EQ(f.Blit(ShadowRopBlt, c.rop4, {4, 4, 20, 20}, BMF_24BPP), c.queued) << c.name;
    ASSERT_EQ(f.Objects().size(), static_cast<std::size_t>(c.objects)) << c.name;
    if (c.objects) {
      EXPECT_EQ(f.Objects()[0].kind, kObjectRop) << c.name;
    }
  }
  // Strips of one stretched picture with the same ROP merge.
  ShadowPageFixture f;
  ASSERT_TRUE(f.Blit(ShadowRopBlt, kRop4SrcAnd, {0, 0, 20, 10}, BMF_8BPP));
  ASSERT_TRUE(f.Blit(ShadowRopBlt, kRop4SrcAnd, {0, 10, 20, 20}, BMF_8BPP));
  ExpectObjects(f, {{kObjectRop, BMF_8BPP, {0, 0, 20, 20}, 2, DC_TRIVIAL}}, "two strips");
}

// On a two-ink sheet the read-back goes to the drum of the image separation
// mode, or is separated onto both.
TEST(ShadowQueue, TwoInkReadBack) {
  struct Case {
    std::uint8_t mode;
    bool drum1;
    bool drum2;
  };
  for (const Case& c : {Case{0, true, false}, Case{1, false, true}, Case{2, true, true}}) {
    ShadowPageFixture f;
    std::vector<BYTE> second(f.plane.size(), 0xFF);
    f.P()->drum1Plane = second.data();
    f.P()->flags |= kPdevTwoPlanes;
    f.P()->separationModes[2] = c.mode;
    f.PaintShadow({8, 8, 40, 40}, 0x30);
    for (LONG y = 8; y < 40; ++y)
      for (LONG x = 8; x < 24; ++x) f.shadowBits[(y * kW + x) * 3] = 0xE0;  // reddish on the left
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {8, 8, 40, 40}, BMF_24BPP));
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    ASSERT_TRUE(FlushDrawObjects(f.P()));
    const auto drum2 = f.InkInOut({8, 8, 39, 39});
    int drum1In = 0, drum1Out = 0;
    for (LONG y = 0; y < kH; ++y)
      for (LONG x = 0; x < kW; ++x) {
        const bool ink = testsupport::InkAt(second.data(), f.P()->planeStride, x, y);
        if (ink) (x >= 8 && x < 40 && y >= 8 && y < 40 ? drum1In : drum1Out)++;
      }
    EXPECT_EQ(drum1In > 0, c.drum1) << int(c.mode);
    EXPECT_EQ(drum2.first > 0, c.drum2) << int(c.mode);
    EXPECT_EQ(drum1Out + drum2.second, 0) << int(c.mode);
  }
}

// The plug-in's image blit flushes queued objects where the classic one has
// nothing to flush.
TEST(ShadowQueue, ImageBlitFlushesTheQueueFirst) {
  struct Case {
    const char* name;
    ULONG previous;
    ULONG rop4;
    ULONG format;
    std::uint8_t state;
    bool emitted;
  };
  const Case cases[] = {
      {"an 8-bit MERGEPAINT", kRop4SrcCopy, kRop4MergePaint, BMF_8BPP, kBlitIdle, true},
      {"an 8-bit MERGEPAINT after the AND of a hole pair", kRop4SrcAnd, kRop4MergePaint, BMF_8BPP, kBlitHolePair,
       false},
      {"a 24-bit SRCAND picture", kRop4SrcCopy, kRop4SrcAnd, BMF_24BPP, kBlitIdle, true},
  };
  for (const Case& c : cases) {
    for (bool plugin : {false, true}) {
      ShadowPageFixture f;
      f.PaintShadow({40, 30, 60, 44}, 0x00);
      DrawObject* queued = f.Append({40, 30, 60, 44}, kObjectCopy, BMF_24BPP);
      ASSERT_TRUE(AddClipToDrawObject(f.P(), queued, f.Clip({{40, 30, 60, 44}}), queued->rect));
      if (!plugin) f.P()->generation = PdevGeneration::Classic;
      f.P()->image.blitState = c.state;
      f.P()->drawing.rop4 = c.previous;
      f.P()->drawing.lastDrawnRect = RECTL{0, 0, 16, 8};
      SURFOBJ surface{};
      surface.dhpdev = reinterpret_cast<DHPDEV>(f.P());
      surface.sizlBitmap = SIZEL{kW, kH};
      surface.pvScan0 = f.plane.data();
      surface.lDelta = f.P()->planeStride;
      surface.iBitmapFormat = BMF_1BPP;
      std::vector<BYTE> bits(static_cast<std::size_t>(RowBytesForFormat(16, c.format)) * 8, 0x80);
      SURFOBJ src{};
      src.sizlBitmap = SIZEL{16, 8};
      src.pvScan0 = bits.data();
      src.lDelta = static_cast<LONG>(RowBytesForFormat(16, c.format));
      src.iBitmapFormat = c.format;
      std::vector<ULONG> grey(256);
      for (ULONG i = 0; i < 256; ++i) grey[i] = i * 0x010101;
      XLATEOBJ* xlate = plat::engine::CreateXlate(grey.data(), 256);
      f.P()->drawing.previousRop4 = f.P()->drawing.rop4;
      f.P()->drawing.rop4 = c.rop4;
      const POINTL origin{0, 0};
      const RECTL target{0, 0, 16, 8};
      (plugin ? OemImageBlt : BitBltImage)(&surface, &target, &src, &origin, nullptr, xlate);
      plat::engine::DeleteXlate(xlate);
      const bool emitted = f.P()->plugin.head == nullptr;
      EXPECT_EQ(emitted, plugin && c.emitted) << c.name << (plugin ? " plug-in" : " classic");
      EXPECT_EQ(f.InkInOut({40, 30, 59, 43}).first > 0, plugin && c.emitted) << c.name;
      FreeImageBuffers(f.P());
    }
  }
}

TEST(ShadowQueue, PluginCacheEntriesFlushTheQueueFirst) {
  for (bool two : {false, true}) {
    ShadowPageFixture f;
    if (two) f.P()->flags |= kPdevTwoPlanes;
    f.PaintShadow({0, 0, 10, 10}, 0x00);
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {0, 0, 10, 10}, BMF_24BPP));
    f.P()->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    const CacheAnswer answer = two ? OemCacheImageBand(f.P(), f.plane.data(), f.plane.data(), f.P()->planeStride,
                                                       nullptr, nullptr, nullptr, 0, nullptr, 0, 0)
                                   : OemFlushOrMergeImage(f.P(), f.plane.data(), f.P()->planeStride, nullptr, nullptr,
                                                          nullptr, 0, nullptr, 0, 0);
    EXPECT_TRUE(answer.ok) << two;
    EXPECT_EQ(f.P()->plugin.head, nullptr) << two;
    EXPECT_FALSE(f.PendingFlag()) << two;
    EXPECT_GT(f.InkInOut({0, 0, 9, 9}).first, 0) << two;
    // Without a shadow page the queue cannot be flushed, and says so.
    ASSERT_TRUE(f.Blit(ShadowCopyBlt, kRop4SrcCopy, {20, 20, 30, 30}, BMF_24BPP));
    f.P()->plugin.shadowObject = nullptr;
    EXPECT_FALSE(OemFlushOrMergeImage(f.P(), f.plane.data(), f.P()->planeStride, nullptr, nullptr, nullptr, 0, nullptr,
                                      0, 0)
                     .ok);
    EXPECT_NE(f.P()->plugin.head, nullptr);
  }
}

// The plug-in's RGB cache flush tests the picture by its luminance levels
// and renders a photo as the classic flush does.
TEST(ShadowColour, PluginRgbCacheFlushRendersPhotosAsTheClassicOne) {
  struct Case {
    const char* name;
    bool photo;
  };
  for (const Case& c : {Case{"a photo", true}, Case{"one grey", false}}) {
    std::vector<BYTE> planes[2];
    for (bool plugin : {false, true}) {
      ShadowPageFixture f;
      if (!plugin) f.P()->generation = PdevGeneration::Classic;
      std::vector<BYTE> drum1(f.plane.size(), 0xFF);
      f.P()->drum1Plane = drum1.data();
      f.P()->flags |= kPdevTwoPlanes;
      f.P()->separationModes[2] = 2;
      f.P()->drawing.rop4 = f.P()->drawing.previousRop4 = kRop4SrcCopy;
      const LONG w = 40, h = 30;
      std::vector<BYTE> photo(static_cast<std::size_t>(w) * 3 * h);
      for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
          for (int k = 0; k < 3; ++k)
            photo[(y * w + x) * 3 + k] = c.photo ? static_cast<BYTE>(40 + 4 * x + 2 * y + 30 * k) : 0x80;
      const PdevRect target{4, 4, 4 + w - 1, 4 + h - 1}, source{0, 0, w - 1, h - 1};
      CLIPOBJ* clip = f.Clip({ExclusiveRect(target)});
      ASSERT_TRUE(AddClipToClipRectList(f.P(), clip));
      ASSERT_TRUE(CacheImageBand(f.P(), f.P()->drum1Plane, f.P()->drum2Plane, f.P()->planeStride, &target, photo.data(),
                                 &source, w * 3, nullptr, 0, BMF_24BPP)
                      .ok);
      ASSERT_TRUE(f.PendingFlag()) << c.name;
      // The page end's flush, through the cache as every flush goes.
      ASSERT_TRUE(FlushImageIfPending(f.P()));
      planes[plugin] = drum1;
      planes[plugin].insert(planes[plugin].end(), f.plane.begin(), f.plane.end());
    }
    EXPECT_EQ(planes[0], planes[1]) << c.name;
  }
  // The plug-in's own entry to the flush.
  ShadowPageFixture f;
  EXPECT_FALSE(OemFlushImageBandCache(f.P())) << "nothing pending";
}

TEST(ShadowColour, LumaHistogramCountsTheLuminanceDensity) {
  struct Case {
    BYTE pixel[3];  // blue, green, red
    int bin;
  };
  const Case cases[] = {{{0xFF, 0xFF, 0xFF}, 0},
                        {{0, 0, 0}, 255},
                        {{0, 0, 0xFF}, 179},
                        {{0, 0xFF, 0}, 106},
                        {{0xFF, 0, 0}, 226}};
  for (const Case& c : cases) {
    std::vector<BYTE> pixels;
    for (int i = 0; i < 12; ++i) pixels.insert(pixels.end(), c.pixel, c.pixel + 3);
    DWORD histogram[256];
    std::fill_n(histogram, 256, 99);
    LumaHistogram(pixels.data(), {0, 0, 3, 2}, 12, histogram);
    for (int b = 0; b < 256; ++b) ASSERT_EQ(histogram[b], b == c.bin ? 12u : 0u) << c.bin << " bin " << b;
  }
  DWORD histogram[256];
  std::fill_n(histogram, 256, 99);
  const BYTE one[3] = {0, 0, 0};
  LumaHistogram(one, {0, 0, 0, -1}, 3, histogram);
  EXPECT_EQ(std::count(histogram, histogram + 256, 0u), 256) << "an empty range counts nothing";
}

TEST(ShadowColour, ClassifyRgbImageClearsThePictureFlagOfOneLevel) {
  struct Case {
    std::vector<BYTE> greys;
    bool picture;
  };
  const std::vector<Case> cases{{{0xFF}, false}, {{0x00}, false}, {{0xFF, 0x00}, false}, {{0xFF, 0x80}, true},
                                {{0x20, 0x80, 0xC0}, true}};
  for (const Case& c : cases) {
    ShadowPageFixture f;
    ImageBuffer rgb{};
    ASSERT_TRUE(ImageBufferAlloc(rgb, 6, 2, FixedFromInt(600), FixedFromInt(600), kFormat24Bpp));
    for (LONG x = 0; x < 6; ++x)
      for (LONG y = 0; y < 2; ++y) std::fill_n(rgb.buffer + y * rgb.stride + 3 * x, 3, c.greys[x % c.greys.size()]);
    f.P()->shared.pictureFlag = 1;
    f.P()->shared.operation = kOperationIdle;
    EXPECT_TRUE(ClassifyRgbImage(f.P(), rgb));
    EXPECT_EQ(f.P()->shared.pictureFlag, c.picture ? 1 : 0);
    EXPECT_EQ(f.P()->shared.operation, c.picture ? kOperationIdle : kOperationBrushOrMask);
    ImageBufferFree(rgb);
  }
}

TEST(ShadowColour, ImagetoolLumaAgainstNumpy) {
  const std::string python = testsupport::PythonWith("numpy");
  REQUIRE_PEER(!python.empty(), "python3-numpy");
  testsupport::ScratchDir dir("luma");
  std::mt19937 random(34);
  for (int picture = 0; picture < 3; ++picture) {
    const int w = 37 + picture * 20, h = 23 + picture * 7;
    std::vector<BYTE> pixels(static_cast<std::size_t>(w) * h * 3);
    for (BYTE& b : pixels) b = static_cast<BYTE>(random() & 0xFF);
    {
      std::ofstream out(dir.File("in.ppm"), std::ios::binary);
      out << "P6\n" << w << " " << h << "\n255\n";
      out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    }
    const std::string tool = std::string(BIN_DIR_STR) + "/imagetool";
    ASSERT_EQ(std::system((tool + " luma " + dir.File("in.ppm") + " > " + dir.File("ours.txt")).c_str()), 0);
    const std::string script = R"(
import sys, numpy as np
data = open(sys.argv[1], 'rb').read()
parts = data.split(b'\n', 3)
w, h = map(int, parts[1].split())
p = np.frombuffer(parts[3], dtype=np.uint8).reshape(h * w, 3).astype(np.int64)
bins = ((2449 * p[:, 0] + 4805 * p[:, 1] + 938 * p[:, 2]) >> 13) ^ 0xFF
for n in np.bincount(bins, minlength=256):
    print(n)
)";
    std::ofstream(dir.File("peer.py")) << script;
    ASSERT_EQ(std::system((python + " " + dir.File("peer.py") + " " + dir.File("in.ppm") + " > " + dir.File("theirs.txt"))
                              .c_str()),
              0);
    std::ifstream ours(dir.File("ours.txt")), theirs(dir.File("theirs.txt"));
    std::vector<long> a{std::istream_iterator<long>(ours), {}}, b{std::istream_iterator<long>(theirs), {}};
    ASSERT_EQ(a.size(), 256u);
    EXPECT_EQ(a, b) << "picture " << picture;
  }
}

}  // namespace
