// The image branch of DrvBitBlt: the transparent-image recogniser, the
// conversion of image blits for the band caches, and the source copies
// they use.
#include <algorithm>
#include <cstring>
#include <optional>

#include "imaging/image_band_cache.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "imaging/source_bands.h"
#include "planes/plane_ops.h"

using namespace imaging;

namespace {

constexpr ULONG kWhite = 0xFFFFFF;

bool BlackWhite(const ULONG* palette, ULONG count) {
  return count >= 2 && (palette[0] & kWhite) == 0 && (palette[1] & kWhite) == kWhite;
}

bool AnyBlackWhite(const ULONG* palette, ULONG count) {
  return count >= 2 && IsBlackWhitePalette(palette);
}

// Density bytes pass through the converters with this palette: entry i is
// the grey whose density is i.
void DensityPalette(ULONG* palette) {
  for (ULONG i = 0; i < 256; ++i) {
    const ULONG g = 255 - i;
    palette[i] = g | (g << 8) | (g << 16);
  }
}

// The candidate state from the ROP history and the rectangles.
int CandidateState(RenderPdev* pdev, ImageBandCache& cache, BYTE state, ULONG cur, ULONG prev, bool oneBit, bool equal,
                   const PdevRect& targetRect) {
  const PdevRect earlierRect = pdev->image.earlierRect, operationRect = pdev->image.operationRect;
  if (state == kBlitMergePaint8 && prev == kRop4MergePaint && cur == kRop4SrcAnd && equal) return kBlitHolePair;
  if (state == kBlitIdle && (cur == kRop4SrcAnd || cur == kRop4MergePaint) && oneBit) return kBlitMaskFirst;
  if (state != kBlitIdle && prev == kRop4SrcCopy && cur == kRop4SrcAnd && oneBit) return kBlitMaskFirst;
  const bool pairRops = (prev == kRop4SrcAnd && cur == kRop4SrcPaint) || (prev == kRop4MergePaint && cur == kRop4SrcAnd);
  if ((state == kBlitMaskFirst || state == kBlitMaskHole) && pairRops && equal)
    return state == kBlitMaskFirst ? kBlitMaskImagePair : kBlitHolePair;
  if (PairsWithMask(state) && oneBit &&
      ((cur == kRop4SrcAnd && prev == kRop4SrcPaint) || (cur == kRop4MergePaint && prev == kRop4SrcAnd))) {
    const bool adjacent = AreObjectsAdjacent(pdev, cache, earlierRect, targetRect, operationRect);
    const bool next = cur == kRop4MergePaint
                          ? adjacent
                          : adjacent || StripContinuesImage(pdev, cache, earlierRect, targetRect, operationRect);
    if (next) return state == kBlitMaskImagePair ? kBlitMaskFirst : kBlitMaskHole;
  }
  return kBlitIdle;
}

// What one image blit is: its ROPs, source format and where it lands.
struct ImageBlit {
  ULONG cur;
  ULONG prev;
  ULONG format;
  bool oneBit;
  PdevRect targetRect;  // inclusive
  PdevRect lastDrawn;   // the last drawn rect, inclusive
  PdevRect operationRect;
  bool equal;  // the target is the last drawn rect on the page
};

// Sequences the ordinary path draws: true when this blit is declined.
bool DeclinedSequence(BYTE& state, const ImageBlit& b) {
  if (state == kBlitIdle && b.cur == kRop4SrcAnd &&
      ((b.prev == kRop4SrcInvert && RectsIntersect(b.lastDrawn, b.targetRect)) ||
       (b.prev == kRop4PatInvert && RectContains(b.lastDrawn, b.targetRect))))
    return true;
  if ((state == kBlitIdle || state == kBlitMaskHole) && b.prev == kRop4MergePaint && b.cur == kRop4SrcAnd && b.oneBit &&
      b.equal) {
    state = kBlitDeclinedPair;
    return true;
  }
  if (state == kBlitMaskHole && b.prev == kRop4SrcAnd && b.cur == kRop4MergePaint && b.oneBit && b.equal) {
    state = kBlitDeclinedPair;
    return true;
  }
  if (state == kBlitMaskHole && b.prev == kRop4MergePaint && b.cur == kRop4MergePaint && !b.equal) state = kBlitIdle;
  return false;
}

// The source palette of a palette format (count 0 for direct colour); false
// when it cannot be had or the format is none the path takes.
bool SourcePalette(ULONG format, XLATEOBJ* xlate, ULONG (&palette)[256], ULONG& count) {
  count = 0;
  if (format == BMF_1BPP || format == BMF_4BPP || format == BMF_8BPP) {
    count = format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : 256;
    return xlate && XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, count, palette) >= count;
  }
  return format == BMF_16BPP || format == BMF_24BPP || format == BMF_32BPP;
}

// The state of an image the recogniser's pairs do not name: masks and paints
// that start or continue a picture. nullopt: the blit is declined (the state
// may have moved to a paint over a mask).
std::optional<int> SequenceState(RenderPdev* pdev, ImageBandCache& cache, BYTE& state, const ImageBlit& b,
                                 const ULONG* palette, ULONG paletteCount) {
  const PdevRect earlierRect = pdev->image.earlierRect;
  const ULONG cur = b.cur, prev = b.prev;
  if (cur == kRop4SrcAnd && b.oneBit && prev == kRop4SrcAnd && state == kBlitMaskHole &&
      BlackWhite(palette, paletteCount) && StripContinuesImage(pdev, cache, earlierRect, b.targetRect, b.operationRect))
    return kBlitMaskHole;
  if (cur == kRop4SrcPaint && b.oneBit && (state == kBlitMaskHole || state == kBlitOneBitInPicture) &&
      RectContains(b.operationRect, b.targetRect))
    return kBlitOneBitInPicture;
  if (cur == kRop4SrcPaint && b.oneBit) {
    if (prev == kRop4SrcAnd && RectsIntersect(b.operationRect, b.targetRect)) {
      state = kBlitPaintOverMask;
      pdev->shared.blackWhiteSource = 1;
    }
    return std::nullopt;
  }
  const bool continues = StripContinuesImage(pdev, cache, earlierRect, b.targetRect, b.operationRect);
  if (cur == kRop4SrcAnd) {
    if (prev != kRop4SrcAnd || !continues) return kBlitSrcAndNew;
    if (state != kBlitMaskFirst && state != kBlitMaskHole && state != kBlitSrcAndNew && state != kBlitSrcAndMore)
      return std::nullopt;
    return kBlitSrcAndMore;
  }
  if (cur == kRop4SrcPaint && prev == kRop4SrcPaint && continues) {
    if (state == kBlitPaintOnMaskNew || state == kBlitPaintOnMaskMore) return kBlitPaintOnMaskMore;
    if (state == kBlitSrcPaintNew || state == kBlitSrcPaintMore) return kBlitSrcPaintMore;
    return std::nullopt;
  }
  if (cur == kRop4SrcPaint) {
    if ((prev == kRop4SrcAnd || prev == kRop4Dsna) && RectsIntersect(b.operationRect, b.targetRect)) {
      state = kBlitPaintOverMask;
      pdev->shared.blackWhiteSource = static_cast<BYTE>(b.format);
      return kBlitPaintOnMaskNew;
    }
    return kBlitSrcPaintNew;
  }
  if (cur == kRop4Dsna) {
    if (prev != kRop4Dsna || !continues) return kBlitDsnaNew;
    if (state == kBlitDsnaNew || state == kBlitDsnaMore) return kBlitDsnaMore;
    return std::nullopt;
  }
  return std::nullopt;
}

// A pending picture that this blit does not continue goes down first. The
// plug-in keeps a pending paint-on-mask picture queued with the DSna that
// follows, and flushes before a mask over a hole pair's MERGEPAINT.
void FlushUnlessContinued(RenderPdev* pdev, ImageBandCache& cache, BYTE state, int candidate, const ImageBlit& b,
                          bool plugin) {
  if (!(pdev->flags & kPdevImagePending)) return;
  bool flush = candidate == kBlitSrcAndNew || candidate == kBlitSrcPaintNew || candidate == kBlitPaintOnMaskNew ||
               (candidate == kBlitDsnaNew && !plugin);
  const bool startsMask = candidate == kBlitMaskFirst || candidate == kBlitMaskHole;
  if (startsMask && state == kBlitIdle && b.prev != kRop4SrcCopy) flush = true;
  if (candidate == kBlitMaskFirst && state == kBlitIdle && b.prev == kRop4SrcCopy &&
      !AreObjectsAdjacent(pdev, cache, pdev->image.earlierRect, b.targetRect, b.operationRect))
    flush = true;
  if (plugin && candidate == kBlitMaskFirst && state == kBlitHolePair && b.cur == kRop4MergePaint) flush = true;
  if (flush) FlushImageIfPending(pdev);
}

// The image as the band caches take it: 24-bit RGB on two-ink sheets,
// density on one-ink ones (the palette then maps density to grey).
struct CacheImage : StripSource {
  Scratch storage{std::nullopt};
  ULONG densityPalette[256];
};

// False when the converted image cannot be allocated.
bool ConvertForCache(RenderPdev* pdev, SURFOBJ* src, const PdevRect& sourceRect, const ULONG* palette,
                     ULONG paletteCount, CacheImage& out) {
  const auto* bits = static_cast<const BYTE*>(src->pvScan0);
  const ULONG format = src->iBitmapFormat;
  const std::int64_t sourceWidth = RectWidth(sourceRect), sourceHeight = RectHeight(sourceRect);
  out.bits = bits;
  out.rect = sourceRect;
  out.stride = src->lDelta;
  out.format = format;
  out.palette = palette;
  out.paletteCount = paletteCount;
  const PdevRect whole{0, 0, static_cast<LONG>(sourceWidth - 1), static_cast<LONG>(sourceHeight - 1)};
  const bool two = HasTwoPlanes(pdev);
  if (two && format == BMF_24BPP) return true;
  if (!two) {
    std::memset(pdev->shared.paletteInk, 0, sizeof(pdev->shared.paletteInk));
    if (paletteCount) PaletteToInkDensity(pdev, palette, pdev->shared.paletteInk, paletteCount);
  }
  const std::int64_t stride = AlignTo4(two ? sourceWidth * 3 : sourceWidth);
  if (stride <= 0 || stride > 0x7FFFFFFF ||
      !out.storage.Allocate(CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(sourceHeight))))
    return false;
  if (two) {
    if (!SourceToRgb24(bits, sourceRect, src->lDelta, out.storage.data(), whole, static_cast<LONG>(stride), palette,
                       paletteCount, format))
      return false;
    out.format = BMF_24BPP;
    out.palette = nullptr;
    out.paletteCount = 0;
  } else {
    ConvertToDensity(pdev, bits, sourceRect, src->lDelta, out.storage.data(), whole, static_cast<LONG>(stride), palette,
                     paletteCount, format);
    DensityPalette(out.densityPalette);
    out.format = BMF_8BPP;
    out.palette = out.densityPalette;
    out.paletteCount = 256;
  }
  out.bits = out.storage.data();
  out.rect = whole;
  out.stride = static_cast<LONG>(stride);
  return true;
}

enum class ClipOutcome { Visible, Hidden, Failed };

// The clip: a rectangle cuts the target (the image rect in step), a complex
// clip copies the visible parts onto the operation's neutral background
// (white for a paint on one ink, black on two, the reverse otherwise).
ClipOutcome ClipForCache(RenderPdev* pdev, CLIPOBJ* clip, ULONG cur, PdevRect& targetRect, CacheImage& image,
                         Scratch& clipped) {
  const BYTE complexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  pdev->drawing.clipComplexity = complexity;
  if (complexity != DC_RECT && complexity != DC_COMPLEX) return ClipOutcome::Visible;
  const RECTL& b = clip->rclBounds;
  PdevRect cut;
  RectIntersect(targetRect, InclusiveRect(b), cut);
  if (RectIsEmpty(cut)) return ClipOutcome::Hidden;
  if (complexity == DC_RECT) {
    const PdevRect& r = image.rect;
    image.rect = PdevRect{r.left + (cut.left - targetRect.left), r.top + (cut.top - targetRect.top),
                          r.left + (cut.right - targetRect.left), r.top + (cut.bottom - targetRect.top)};
    targetRect = cut;
    return ClipOutcome::Visible;
  }
  const LONG bpp = BytesPerPixel(image.format);
  const std::int64_t cutWidth = RectWidth(cut), cutHeight = RectHeight(cut);
  const std::int64_t stride = AlignTo4(cutWidth * bpp);
  if (stride <= 0 || stride > 0x7FFFFFFF ||
      !clipped.Allocate(CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(cutHeight))))
    return ClipOutcome::Failed;
  const bool two = HasTwoPlanes(pdev);
  const bool paint = cur == kRop4SrcPaint;
  std::memset(clipped.data(), two ? (paint ? 0 : 0xFF) : (paint ? 0xFF : 0), clipped.size());
  const PdevRect clipRect{0, 0, static_cast<LONG>(cutWidth - 1), static_cast<LONG>(cutHeight - 1)};
  if (!ClippedCopy(pdev, targetRect, image.bits, image.rect, image.stride, image.format, clip, clipped.data(), clipRect,
                   static_cast<LONG>(stride)))
    return ClipOutcome::Failed;
  image.bits = clipped.data();
  image.rect = clipRect;
  image.stride = static_cast<LONG>(stride);
  targetRect = cut;
  return ClipOutcome::Visible;
}

// The image blit of both generations. The plug-in's flushes are queue-aware
// (FlushImageIfPending) with all-zero drawing bounds, so that every queued
// object goes down first.
BOOL BlitImage(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
               XLATEOBJ* xlate, bool plugin) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!IsValidPdev(pdev) || !target || !src) return FALSE;
  if (plugin) pdev->plugin.drawBounds = PdevRect{0, 0, 0, 0};
  ImageBandCache* cache = BandCacheOf(pdev);
  if (!cache) return FALSE;
  PdevDrawState& d = pdev->drawing;
  BYTE& state = pdev->image.blitState;
  ImageBlit b;
  b.cur = d.rop4;
  b.prev = d.previousRop4;
  b.format = src->iBitmapFormat;
  b.oneBit = b.format == BMF_1BPP;
  b.targetRect = PdevRect{std::min(target->left, target->right), std::min(target->top, target->bottom),
                          std::max(target->left, target->right) - 1, std::max(target->top, target->bottom) - 1};
  b.lastDrawn = InclusiveRect(d.lastDrawnRect);
  b.operationRect = pdev->image.operationRect;
  b.equal = RectsEqualOnPage(pdev, b.lastDrawn, b.targetRect);

  if (DeclinedSequence(state, b)) return FALSE;

  // An 8-bit MERGEPAINT: its dark pixels become white holes at once.
  if (b.cur == kRop4MergePaint && b.format == BMF_8BPP) {
    if (plugin && !(b.prev == kRop4SrcAnd && state == kBlitHolePair)) FlushImageIfPending(pdev);
    if (!InvertedSourceOrPlanes(pso, b.targetRect, src, srcOrigin, clip, xlate)) return FALSE;
    state = kBlitMergePaint8;
    return TRUE;
  }

  int candidate = CandidateState(pdev, *cache, state, b.cur, b.prev, b.oneBit, b.equal, b.targetRect);
  ULONG palette[256] = {};
  ULONG paletteCount = 0;
  if (!SourcePalette(b.format, xlate, palette, paletteCount)) return FALSE;
  if (candidate == kBlitIdle) {
    const std::optional<int> sequence = SequenceState(pdev, *cache, state, b, palette, paletteCount);
    if (!sequence) return FALSE;
    candidate = *sequence;
  }
  FlushUnlessContinued(pdev, *cache, state, candidate, b, plugin);

  // Masks become white holes at once.
  const bool mask = candidate == kBlitMaskFirst || candidate == kBlitMaskHole ||
                    (candidate == kBlitSrcAndNew && b.oneBit) ||
                    ((b.cur == kRop4SrcAnd || b.cur == kRop4MergePaint) && b.oneBit &&
                     AnyBlackWhite(palette, paletteCount));
  if (mask) {
    d.rop4 = kRop4MergePaint;
    const BOOL drawn = InvertedSourceOrPlanes(pso, b.targetRect, src, srcOrigin, clip, xlate);
    d.rop4 = b.cur;
    if (!drawn) return FALSE;
    pdev->shared.operation = kOperationIdle;
    candidate = kBlitMaskHole;
  }
  state = static_cast<BYTE>(candidate);
  if (candidate == kBlitMaskHole && b.cur == kRop4MergePaint) return TRUE;

  const SourceRects rects =
      SourceRectsFor(src, ExclusiveRect(b.targetRect),
                     srcOrigin);
  if (!rects.usable) return TRUE;
  PdevRect targetRect = rects.dest;
  CacheImage image;
  if (!ConvertForCache(pdev, src, rects.source, palette, paletteCount, image)) return FALSE;
  Scratch clipped(std::nullopt);
  const ClipOutcome visibility = ClipForCache(pdev, clip, b.cur, targetRect, image, clipped);
  if (visibility == ClipOutcome::Failed) return FALSE;
  if (visibility == ClipOutcome::Hidden) return TRUE;

  // To the cache; a strip it would not keep goes the ordinary way.
  const PictureBands direct = SubmitImageToCache(pdev, image.bits, image.rect, image.stride, image.format, targetRect,
                                                 image.palette, image.paletteCount, pso->lDelta, clip);
  if (direct.first) {
    GlobalFree(direct.first);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL BitBltImage(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate) {
  return BlitImage(pso, target, src, srcOrigin, clip, xlate, false);
}

BOOL OemImageBlt(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate) {
  return BlitImage(pso, target, src, srcOrigin, clip, xlate, true);
}
