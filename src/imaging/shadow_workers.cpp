// The plug-in's shadow-page workers: which blits become queued drawing
// objects instead of being drawn, and the flushes that the queued work needs;
// the plug-in's band cache entries and the colour test of the read-back.
#include <algorithm>
#include <optional>

#include "imaging/density.h"
#include "imaging/draw_objects.h"
#include "imaging/image_band_cache.h"
#include "imaging/merge_decision.h"
#include "imaging/rgb_band_cache.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

bool Pending(const RenderPdev* pdev) { return (pdev->flags & kPdevImagePending) != 0; }

PdevRect Fields(const RECTL& r) { return PdevRect{r.left, r.top, r.right, r.bottom}; }

// The worker's target N: cut to the page, optionally put in order, cut to the
// clip bounds. Right and bottom stay exclusive.
PdevRect TargetRect(const RenderPdev* pdev, const RECTL& target, bool order, const CLIPOBJ& clip) {
  PdevRect N = Fields(target);
  const auto toPage = [&] {
    N.left = std::max(N.left, 0);
    N.top = std::max(N.top, 0);
    if (N.right >= pdev->planeWidth) N.right = pdev->planeWidth - 1;
    if (N.bottom >= pdev->planeHeight) N.bottom = pdev->planeHeight - 1;
  };
  toPage();
  if (order) {
    if (N.top > N.bottom) std::swap(N.top, N.bottom);
    if (N.left > N.right) std::swap(N.left, N.right);
    // Edges exchanged from beyond the page are cut again.
    toPage();
  }
  N.left = std::max(N.left, clip.rclBounds.left);
  N.top = std::max(N.top, clip.rclBounds.top);
  N.right = std::min(N.right, clip.rclBounds.right);
  N.bottom = std::min(N.bottom, clip.rclBounds.bottom);
  return N;
}

bool Empty(const PdevRect& N) { return N.right <= N.left || N.bottom <= N.top; }

// The dots the blit can change: its target in order, inclusive, on the page.
PdevRect Reach(const RenderPdev* pdev, const RECTL& target) {
  PdevRect r{std::min(target.left, target.right), std::min(target.top, target.bottom),
             std::max(target.left, target.right) - 1, std::max(target.top, target.bottom) - 1};
  RectIntersect(r, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, r);
  return r;
}

// The clip the worker goes by: the caller's, or a trivial one over the target.
CLIPOBJ ClipOf(CLIPOBJ* clip, const RECTL& target) {
  if (clip) return *clip;
  CLIPOBJ trivial{};
  trivial.rclBounds = RECTL{std::min(target.left, target.right), std::min(target.top, target.bottom),
                            std::max(target.left, target.right), std::max(target.top, target.bottom)};
  trivial.iDComplexity = DC_TRIVIAL;
  return trivial;
}

// What every worker works out first: the target N, what the blit can reach,
// the clip it goes by and the band cache.
struct Piece {
  CLIPOBJ clip;
  CLIPOBJ* callerClip;
  PdevRect N;
  PdevRect reach;
  ImageBandCache* cache;
  // The clip object handed on: the caller's (its enumeration), or the trivial one.
  CLIPOBJ* Handed() { return callerClip ? callerClip : &clip; }
};

// None (the worker declines) without a shadow page, for an empty N or
// without the band cache.
std::optional<Piece> PieceOf(RenderPdev* pdev, const RECTL* target, CLIPOBJ* clip, bool order) {
  if (!pdev || !target || !pdev->plugin.shadowObject) return std::nullopt;
  Piece p{ClipOf(clip, *target), clip, {}, Reach(pdev, *target), nullptr};
  p.N = TargetRect(pdev, *target, order, p.clip);
  if (Empty(p.N)) return std::nullopt;
  p.cache = BandCacheOf(pdev);
  if (!p.cache) return std::nullopt;
  return p;
}

// A picture pending in the band cache with nothing queued goes down.
void CacheFlush(RenderPdev* pdev) {
  if (Pending(pdev) && !pdev->plugin.head) FlushImageIfPending(pdev);
}

// Pending work under the clip bounds.
void WorkFlush(RenderPdev* pdev, const CLIPOBJ& clip) {
  if (!Pending(pdev)) return;
  pdev->plugin.drawBounds = Fields(clip.rclBounds);
  FlushImageIfPending(pdev);
}

bool LowBytesEqual(ULONG a, ULONG b) { return Rop3Of(a) == Rop3Of(b); }

// Every pixel of N (exclusive) on the shadow page is white.
bool ShadowAllWhite(const RenderPdev* pdev, const PdevRect& N) {
  const SURFOBJ* shadow = pdev->plugin.shadowObject;
  const auto* base = static_cast<const BYTE*>(shadow->pvScan0);
  if (!base) return false;
  const LONG right = std::min(N.right, shadow->sizlBitmap.cx), bottom = std::min(N.bottom, shadow->sizlBitmap.cy);
  for (LONG y = std::max(N.top, 0); y < bottom; ++y) {
    const BYTE* row = base + std::int64_t{y} * shadow->lDelta;
    for (std::int64_t i = 3 * std::int64_t{std::max(N.left, 0)}; i < 3 * std::int64_t{right}; ++i)
      if (row[i] != 0xFF) return false;
  }
  return true;
}

}  // namespace

BOOL ShadowCopyBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip) {
  std::optional<Piece> piece = PieceOf(pdev, target, clip, true);
  if (!piece) return FALSE;
  const PdevRect& N = piece->N;
  ImageBandCache* cache = piece->cache;
  CacheFlush(pdev);
  const PdevDrawState& d = pdev->drawing;
  const PdevRect M = pdev->image.operationRect, L = pdev->image.earlierRect;
  const bool sameTag = pdev->plugin.tag == format;
  if (pdev->plugin.kind == kObjectCopy && LowBytesEqual(d.rop4, d.previousRop4)) {
    bool keep;
    if (RectContains(M, N)) {
      keep = (d.rop4 == kRop4StretchCopy && d.previousRop4 == kRop4StretchCopy && sameTag) ||
             (sameTag && AreObjectsAdjacent(pdev, *cache, L, N, M)) || (sameTag && RectContains(L, N));
    } else {
      const bool rowsWithin = InRange(M.top, M.bottom, N.top) && InRange(M.top, M.bottom, N.bottom);
      const bool oneSide = (M.left < N.left && N.left < M.right && M.right < N.right) ||
                           (N.left < M.left && M.left < N.right && N.right < M.right);
      keep = (sameTag && AreObjectsAdjacent(pdev, *cache, L, N, M)) || (sameTag && rowsWithin && oneSide) ||
             !RectsOverlap(N, M) || (sameTag && d.clipComplexity == DC_COMPLEX);
    }
    if (!keep) WorkFlush(pdev, piece->clip);
  }
  const BOOL queued =
      QueueDrawObject(pdev, N, static_cast<std::uint8_t>(format), kObjectCopy, piece->Handed(), piece->reach);
  pdev->drawing.clipComplexity = piece->clip.iDComplexity;
  return queued;
}

BOOL ShadowBlendBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip) {
  std::optional<Piece> piece = PieceOf(pdev, target, clip, false);
  if (!piece) return FALSE;
  CacheFlush(pdev);
  const PdevDrawState& d = pdev->drawing;
  if (d.rop4 == d.previousRop4 && pdev->plugin.tag == format)
    AreObjectsAdjacent(pdev, *piece->cache, pdev->image.earlierRect, piece->N, pdev->image.operationRect);
  if (!(pdev->plugin.kind == kObjectBlend && d.rop4 == d.previousRop4)) WorkFlush(pdev, piece->clip);
  return QueueDrawObject(pdev, piece->N, static_cast<std::uint8_t>(format), kObjectBlend, piece->Handed(),
                         piece->reach);
}

BOOL ShadowRopBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip) {
  if (!pdev) return FALSE;
  const PdevDrawState& d = pdev->drawing;
  if (Rop3Of(d.rop4) != kRop3SrcCopy && !RopIsSourceOnly(d.rop4)) return FALSE;
  std::optional<Piece> piece = PieceOf(pdev, target, clip, false);
  if (!piece) return FALSE;
  const PdevRect& N = piece->N;
  ImageBandCache* cache = piece->cache;
  const PdevRect O = Fields(*target), D = Fields(d.lastDrawnRect);
  if (d.previousRop4 == kRop4PatInvert && d.rop4 == kRop4SrcAnd && RectContains(D, O)) return FALSE;
  const PdevRect M = pdev->image.operationRect, L = pdev->image.earlierRect;
  const std::uint8_t kind = pdev->plugin.kind;
  const bool keep =
      (d.rop4 == d.previousRop4 && pdev->plugin.tag == format && kind == kObjectRop &&
       AreObjectsAdjacent(pdev, *cache, L, N, M)) ||
      (Rop3Of(d.previousRop4) == kRop3SrcCopy && kind == kObjectCopy && RectsIntersect(N, M)) ||
      (RopIsSourceOnly(d.previousRop4) && kind == kObjectRop && d.rop4 != d.previousRop4 &&
       (RectContains(D, N) || RectContains(O, D) || RectContains(M, N)));
  if (!keep) WorkFlush(pdev, piece->clip);
  return QueueDrawObject(pdev, N, static_cast<std::uint8_t>(format), kObjectRop, piece->Handed(), piece->reach);
}

BOOL ShadowMaskBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip) {
  std::optional<Piece> piece = PieceOf(pdev, target, clip, true);
  if (!piece) return FALSE;
  const PdevRect& N = piece->N;
  const PdevRect& reach = piece->reach;
  ImageBandCache* cache = piece->cache;
  CLIPOBJ* handed = piece->Handed();
  const CLIPOBJ& c = piece->clip;
  const PdevDrawState& d = pdev->drawing;
  const ULONG cur = d.rop4, prev = d.previousRop4;
  const PdevRect O = Fields(*target), D = Fields(d.lastDrawnRect);
  PdevRect& M = pdev->image.operationRect;
  const PdevRect L = pdev->image.earlierRect;
  std::uint8_t& kindByte = pdev->plugin.kind;
  const auto decline = [&](bool startOver) {
    if (startOver) {
      M = N;
      kindByte = 0;
    }
    return FALSE;
  };
  const bool xor_ = cur == kRop4SrcInvert;
  const bool andAfterXor = cur == kRop4SrcAnd && prev == kRop4SrcInvert;
  const bool xorAfterAnd = cur == kRop4SrcInvert && prev == kRop4SrcAnd;
  const bool copy = Rop3Of(cur) == kRop3SrcCopy;

  // Rule 1: an XOR over the last drawing that follows neither a mask nor a copy.
  if (RectsOverlap(N, D) && xor_ && prev != kRop4SrcAnd && Rop3Of(prev) != kRop3SrcCopy) return decline(true);
  // Rule 2.
  if (kindByte == 0 && (andAfterXor || xorAfterAnd) && (RectContains(D, N) || RectContains(N, D))) {
    M = N;
    return FALSE;
  }
  // Rule 3: a second XOR in a row abandons the sequence.
  if (xor_ && prev == kRop4SrcInvert && (kindByte == 0 || kindByte == kObjectFirstXor) && RectsTouch(N, M)) {
    kindByte = 0;
    const DrawObject* tail = pdev->plugin.tail;
    if (tail && Pending(pdev) && tail->kind == kObjectFirstXor) UnlinkDrawObject(pdev);
    RectUnion(M, N, M);
    return FALSE;
  }

  enum class Next { Continue, First, Examine, Drawn } next;
  std::uint8_t K = 0;
  if (kindByte == kObjectFirstXor && andAfterXor && RectContains(D, O)) {
    // Rule 4: the AND completes the first XOR.
    M = D;
    kindByte = kObjectMask;
    K = kObjectMask;
    next = Next::Continue;
  } else if (kindByte == kObjectMask) {
    // Rule 5.
    if ((xor_ && prev == kRop4SrcInvert && AreObjectsAdjacent(pdev, *cache, L, N, M)) ||
        (andAfterXor && RectContains(D, O)) || (xorAfterAnd && (RectContains(D, O) || RectContains(O, D))) ||
        (copy && (prev == kRop4SrcInvert || Rop3Of(prev) == kRop3SrcCopy) && RectsTouch(N, M))) {
      K = kObjectMask;
      next = Next::Continue;
    } else if (xor_ && Rop3Of(prev) == kRop3SrcCopy) {
      next = Next::First;
    } else if (xor_) {
      next = Next::Examine;
    } else {
      next = Next::Drawn;
    }
  } else {
    next = Next::Examine;
  }
  if (next == Next::Examine) {
    // Rule 6: an XOR that is not over the last drawing starts a sequence on white paper only.
    next = xor_ && !(RectContains(D, O) || RectContains(O, D)) && ShadowAllWhite(pdev, N) ? Next::First : Next::Drawn;
  }
  bool lastCasesOnly = false;
  if (next == Next::Continue) {
    // Rule 9.
    if (cur != kRop4SrcAnd && pdev->plugin.tag != format) {
      next = Next::Drawn;
      lastCasesOnly = true;
    }
  }
  if (next == Next::First) {
    // Rule 7: the first XOR.
    K = kObjectFirstXor;
    if (Pending(pdev)) WorkFlush(pdev, c);
  }
  if (next == Next::Drawn) {
    // Rule 8.
    if (!Pending(pdev)) kindByte = 0;
    if (!lastCasesOnly && Pending(pdev) && xor_) {
      // An XOR over drawn content: an overlapped picture is rendered before it lands.
      if (prev != kRop4SrcInvert && prev != kRop4SrcAnd && prev != kRop4StretchCopy && RectsOverlap(O, D))
        return decline(true);
      if (!QueueDrawObject(pdev, N, static_cast<std::uint8_t>(format), kObjectLook, handed, reach)) return decline(true);
      return FALSE;
    }
    if (kindByte == kObjectMask && (xor_ || copy)) {
      if (!Pending(pdev)) {
        kindByte = 0;
        return FALSE;
      }
      K = copy ? kObjectCopy : kObjectMask;
    } else {
      if (!Pending(pdev)) kindByte = 0;
      return FALSE;
    }
  }
  // Rule 10.
  CacheFlush(pdev);
  return QueueDrawObject(pdev, N, static_cast<std::uint8_t>(format), K, handed, reach);
}

CacheAnswer OemFlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                                 const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                                 ULONG paletteCount, ULONG format) {
  if (!pdev) return CacheAnswer{FALSE, {}};
  if (pdev->plugin.head) {
    const BOOL flushed = FlushDrawObjects(pdev);
    if (!target || !srcRect) return CacheAnswer{flushed, {}};
  }
  if (HasTwoPlanes(pdev))
    return OemCacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, target, src, srcRect, srcStride,
                             palette, paletteCount, format);
  return FlushOrMergeImage(pdev, plane, planeStride, target, src, srcRect, srcStride, palette, paletteCount, format);
}

CacheAnswer OemCacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                              const PdevRect* target, const BYTE* src, const PdevRect* srcRect, LONG srcStride,
                              const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!pdev) return CacheAnswer{FALSE, {}};
  if (pdev->plugin.head) {
    const BOOL flushed = FlushDrawObjects(pdev);
    if (!target || !srcRect) return CacheAnswer{flushed, {}};
  }
  return CacheImageBand(pdev, drum1Plane, drum2Plane, planeStride, target, src, srcRect, srcStride, palette,
                        paletteCount, format);
}

PictureBands SubmitImageToCache(RenderPdev* pdev, const BYTE* image, const PdevRect& rect, LONG stride, ULONG format,
                                const PdevRect& target, const ULONG* palette, ULONG paletteCount, LONG planeStride,
                                CLIPOBJ* clip) {
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, planeStride, &drum1, &drum2);
  if (pdev->drawing.clipComplexity != DC_COMPLEX) AddClipToClipRectList(pdev, clip);
  // The plug-in's caches first flush the drawing objects queued there.
  const bool plugin = IsPluginPdev(pdev);
  const CacheAnswer answer =
      HasTwoPlanes(pdev)
          ? (plugin ? OemCacheImageBand : CacheImageBand)(pdev, drum1, drum2, planeStride, &target, image, &rect,
                                                           stride, palette, paletteCount, format)
          : (plugin ? OemFlushOrMergeImage : FlushOrMergeImage)(pdev, OneInkPicturePlane(pdev, drum1, drum2),
                                                                 planeStride, &target, image, &rect, stride, palette,
                                                                 paletteCount, format);
  if (pdev->shared.pictureFlag == 1) return {};
  return answer.bands;
}
