// The image branch of DrvBitBlt: the transparent-image recogniser, the
// conversion of image blits for the band caches, and the source copies
// they use.
#include <algorithm>
#include <cstring>

#include "imaging/image_band_cache.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "render/plane_ops.h"
#include "render/source_blits.h"

using namespace imaging;

BOOL SourceToRgb24(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                   LONG dstStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!src || !dst || RectIsEmpty(srcRect) || RectIsEmpty(dstRect) || srcRect.left < 0 || dstRect.left < 0)
    return FALSE;
  const std::int64_t w = std::min(RectWidth(srcRect), RectWidth(dstRect));
  const std::int64_t h = std::min(RectHeight(srcRect), RectHeight(dstRect));
  const PdevRect rowRect{srcRect.left, srcRect.top, static_cast<std::int32_t>(srcRect.left + w - 1),
                         static_cast<std::int32_t>(srcRect.top + h - 1)};
  BOOL any = FALSE;
  for (std::int64_t y = 0; y < h; ++y) {
    BYTE* out = dst + (dstRect.top + y) * std::int64_t{dstStride} + std::int64_t{dstRect.left} * 3;
    // 24-bit rows are copied as they are; a row that converts nothing is white.
    if (format == BMF_24BPP) {
      std::memmove(out, src + (srcRect.top + y) * std::int64_t{srcStride} + std::int64_t{srcRect.left} * 3,
                   static_cast<std::size_t>(w * 3));
      any = TRUE;
    } else if (ExpandRowTo24(src, rowRect, srcStride, static_cast<LONG>(y), out, palette, paletteCount, format)) {
      any = TRUE;
    } else {
      std::memset(out, 0xFF, static_cast<std::size_t>(w * 3));
    }
  }
  return any;
}

BOOL ClippedCopy(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                 ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride) {
  if (!pdev || !src || RectIsEmpty(target) || BytesPerPixel(format) == 0) return FALSE;
  const std::int64_t tw = RectWidth(target), th = RectHeight(target);
  if (pdev->drawing.rop4 == 0xFFCC && (RectWidth(srcRect) != tw || RectHeight(srcRect) != th)) {
    // A stretch: the source at the target's size first.
    const std::int64_t stride = AlignTo4(tw * BytesPerPixel(format));
    Scratch scaled(stride > 0 ? CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(th))
                              : std::nullopt);
    if (!scaled) return FALSE;
    const PdevRect scaledRect{0, 0, static_cast<std::int32_t>(tw - 1), static_cast<std::int32_t>(th - 1)};
    if (!ScaledCopy(src, srcRect, srcStride, format, scaled.data(), scaledRect, static_cast<LONG>(stride)))
      return FALSE;
    return CopyThroughClip(pdev, target, scaled.data(), scaledRect, static_cast<LONG>(stride), format, clip, dst,
                           dstRect, dstStride);
  }
  return CopyThroughClip(pdev, target, src, srcRect, srcStride, format, clip, dst, dstRect, dstStride);
}

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

// The candidate state from the ROP history (u of the recogniser).
int CandidateState(RenderPdev* pdev, ImageBandCache& cache, BYTE state, ULONG cur, ULONG prev, bool oneBit, bool equal,
                   const PdevRect& T) {
  const PdevRect L = pdev->image.earlierRect, M = pdev->image.operationRect;
  if (state == kBlitMergePaint8 && prev == 0xBBBB && cur == 0x8888 && equal) return kBlitHolePair;
  if (state == kBlitIdle && (cur == 0x8888 || cur == 0xBBBB) && oneBit) return kBlitMaskFirst;
  if (state != kBlitIdle && prev == 0xCCCC && cur == 0x8888 && oneBit) return kBlitMaskFirst;
  const bool pairRops = (prev == 0x8888 && cur == 0xEEEE) || (prev == 0xBBBB && cur == 0x8888);
  if ((state == kBlitMaskFirst || state == kBlitMaskHole) && pairRops && equal)
    return state == kBlitMaskFirst ? kBlitMaskImagePair : kBlitHolePair;
  if ((state == kBlitMaskImagePair || state == kBlitHolePair) && oneBit &&
      ((cur == 0x8888 && prev == 0xEEEE) || (cur == 0xBBBB && prev == 0x8888))) {
    const bool adjacent = AreObjectsAdjacent(pdev, cache, L, T, M);
    const bool next = cur == 0xBBBB ? adjacent : adjacent || StripContinuesImage(pdev, cache, L, T, M);
    if (next) return state == kBlitMaskImagePair ? kBlitMaskFirst : kBlitMaskHole;
  }
  return kBlitIdle;
}

}  // namespace

BYTE* SubmitImageToCache(RenderPdev* pdev, const BYTE* image, const PdevRect& rect, LONG stride, ULONG format,
                         const PdevRect& target, const ULONG* palette, ULONG paletteCount, LONG planeStride,
                         CLIPOBJ* clip) {
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, planeStride, &drum1, &drum2);
  if (pdev->drawing.clipComplexity != DC_COMPLEX) AddClipToClipRectList(pdev, clip);
  if (pdev->flags & kPdevTwoPlanes)
    CacheImageBand(pdev, drum1, drum2, planeStride, &target, image, &rect, stride, palette, paletteCount, format);
  else
    FlushOrMergeImage(pdev, pdev->separationModes[2] != 0 ? drum2 : drum1, planeStride, &target, image, &rect, stride,
                      palette, paletteCount, format);
  if (pdev->shared.pictureFlag != 1) return pdev->drawing.targetPlane;
  pdev->drawing.targetPlane = nullptr;
  pdev->drawing.otherPlane = nullptr;
  return nullptr;
}

BOOL BitBltImage(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!IsValidPdev(pdev) || !target || !src) return FALSE;
  ImageBandCache* cache = BandCacheOf(pdev);
  if (!cache) return FALSE;
  PdevDrawState& d = pdev->drawing;
  BYTE& state = pdev->image.blitState;
  const ULONG cur = d.rop4, prev = d.previousRop4;
  const ULONG format = src->iBitmapFormat;
  const bool oneBit = format == BMF_1BPP;
  PdevRect T{std::min(target->left, target->right), std::min(target->top, target->bottom),
             std::max(target->left, target->right) - 1, std::max(target->top, target->bottom) - 1};
  const RECTL& k = d.lastDrawnRect;
  const PdevRect K{k.left, k.top, k.right - 1, k.bottom - 1};
  const PdevRect M = pdev->image.operationRect;
  const bool equal = RectsEqualOnPage(pdev, K, T);

  // 1. Sequences the ordinary path draws.
  if (state == kBlitIdle && cur == 0x8888 &&
      ((prev == 0x6666 && RectsIntersect(K, T)) || (prev == 0x5A5A && RectContains(K, T))))
    return FALSE;
  if ((state == kBlitIdle || state == kBlitMaskHole) && prev == 0xBBBB && cur == 0x8888 && oneBit && equal) {
    state = kBlitDeclinedPair;
    return FALSE;
  }
  if (state == kBlitMaskHole && prev == 0x8888 && cur == 0xBBBB && oneBit && equal) {
    state = kBlitDeclinedPair;
    return FALSE;
  }
  if (state == kBlitMaskHole && prev == 0xBBBB && cur == 0xBBBB && !equal) state = kBlitIdle;

  // 2. An 8-bit MERGEPAINT: its dark pixels become white holes at once.
  if (cur == 0xBBBB && format == BMF_8BPP) {
    if (!InvertedSourceOrPlanes(pso, T, src, srcOrigin, clip, xlate)) return FALSE;
    state = kBlitMergePaint8;
    return TRUE;
  }

  int u = CandidateState(pdev, *cache, state, cur, prev, oneBit, equal, T);

  // 4. The palette of a palette source; without one the blit is declined.
  ULONG palette[256] = {};
  ULONG paletteCount = 0;
  if (format == BMF_1BPP || format == BMF_4BPP || format == BMF_8BPP) {
    paletteCount = format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : 256;
    if (!xlate || XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, paletteCount, palette) < paletteCount) return FALSE;
  } else if (format != BMF_16BPP && format != BMF_24BPP && format != BMF_32BPP) {
    return FALSE;
  }

  // 5. Images of the recogniser's sequences.
  if (u == kBlitIdle) {
    const PdevRect L = pdev->image.earlierRect;
    if (cur == 0x8888 && oneBit && prev == 0x8888 && state == kBlitMaskHole && BlackWhite(palette, paletteCount) &&
        StripContinuesImage(pdev, *cache, L, T, M)) {
      u = kBlitMaskHole;
    } else if (cur == 0xEEEE && oneBit && (state == kBlitMaskHole || state == kBlitOneBitInPicture) &&
               RectContains(M, T)) {
      u = kBlitOneBitInPicture;
    } else if (cur == 0xEEEE && oneBit) {
      if (prev == 0x8888 && RectsIntersect(M, T)) {
        state = kBlitPaintOverMask;
        pdev->shared.blackWhiteSource = 1;
      }
      return FALSE;
    } else {
      const bool w = StripContinuesImage(pdev, *cache, L, T, M);
      if (cur == 0x8888 && (prev != 0x8888 || !w)) {
        u = kBlitSrcAndNew;
      } else if (cur == 0x8888) {
        if (state != kBlitMaskFirst && state != kBlitMaskHole && state != kBlitSrcAndNew && state != kBlitSrcAndMore)
          return FALSE;
        u = kBlitSrcAndMore;
      } else if (cur == 0xEEEE && prev == 0xEEEE && w) {
        if (state == kBlitPaintOnMaskNew || state == kBlitPaintOnMaskMore)
          u = kBlitPaintOnMaskMore;
        else if (state == kBlitSrcPaintNew || state == kBlitSrcPaintMore)
          u = kBlitSrcPaintMore;
        else
          return FALSE;
      } else if (cur == 0xEEEE) {
        u = kBlitSrcPaintNew;
        if ((prev == 0x8888 || prev == 0x2222) && RectsIntersect(M, T)) {
          state = kBlitPaintOverMask;
          pdev->shared.blackWhiteSource = static_cast<BYTE>(format);
          u = kBlitPaintOnMaskNew;
        }
      } else if (cur == 0x2222) {
        if (prev != 0x2222 || !w)
          u = kBlitDsnaNew;
        else if (state == kBlitDsnaNew || state == kBlitDsnaMore)
          u = kBlitDsnaMore;
        else
          return FALSE;
      } else {
        return FALSE;
      }
    }
  }

  // 6. A picture that this blit does not continue goes down first.
  if (pdev->flags & kPdevImagePending) {
    bool flush = u == kBlitSrcAndNew || u == kBlitSrcPaintNew || u == kBlitPaintOnMaskNew || u == kBlitDsnaNew;
    if ((u == kBlitMaskFirst || u == kBlitMaskHole) && state == kBlitIdle && prev != 0xCCCC) flush = true;
    if (u == kBlitMaskFirst && state == kBlitIdle && prev == 0xCCCC &&
        !AreObjectsAdjacent(pdev, *cache, pdev->image.earlierRect, T, M))
      flush = true;
    if (flush) FlushImageIfPending(pdev);
  }

  // 7. Masks become white holes at once.
  const bool mask = u == kBlitMaskFirst || u == kBlitMaskHole || (u == kBlitSrcAndNew && oneBit) ||
                    ((cur == 0x8888 || cur == 0xBBBB) && oneBit && AnyBlackWhite(palette, paletteCount));
  if (mask) {
    d.rop4 = 0xBBBB;
    const BOOL drawn = InvertedSourceOrPlanes(pso, T, src, srcOrigin, clip, xlate);
    d.rop4 = cur;
    if (!drawn) return FALSE;
    pdev->shared.operation = kOperationIdle;
    u = kBlitMaskHole;
  }

  // 8.
  state = static_cast<BYTE>(u);
  if (u == kBlitMaskHole && cur == 0xBBBB) return TRUE;

  // 9. The image converted: 24-bit RGB on two-ink sheets, density on one.
  const SourceRects rects = SourceRectsFor(src, RECTL{T.left, T.top, T.right + 1, T.bottom + 1}, srcOrigin);
  if (!rects.usable) return TRUE;
  T = rects.dest;
  const auto* bits = static_cast<const BYTE*>(src->pvScan0);
  const bool two = (pdev->flags & kPdevTwoPlanes) != 0;
  const std::int64_t sw = RectWidth(rects.source), sh = RectHeight(rects.source);
  Scratch converted(std::nullopt);
  const BYTE* image = bits;
  PdevRect imageRect = rects.source;
  LONG imageStride = src->lDelta;
  ULONG imageFormat = format;
  ULONG densityPalette[256];
  const ULONG* imagePalette = palette;
  ULONG imagePaletteCount = paletteCount;
  const PdevRect whole{0, 0, static_cast<LONG>(sw - 1), static_cast<LONG>(sh - 1)};
  if (two) {
    if (format != BMF_24BPP) {
      const std::int64_t stride = AlignTo4(sw * 3);
      if (stride <= 0 || stride > 0x7FFFFFFF ||
          !converted.Allocate(CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(sh))))
        return FALSE;
      if (!SourceToRgb24(bits, rects.source, src->lDelta, converted.data(), whole, static_cast<LONG>(stride), palette,
                         paletteCount, format))
        return FALSE;
      image = converted.data();
      imageRect = whole;
      imageStride = static_cast<LONG>(stride);
      imageFormat = BMF_24BPP;
      imagePalette = nullptr;
      imagePaletteCount = 0;
    }
  } else {
    std::memset(pdev->shared.paletteInk, 0, sizeof(pdev->shared.paletteInk));
    if (paletteCount) PaletteToInkDensity(pdev, palette, pdev->shared.paletteInk, paletteCount);
    const std::int64_t stride = AlignTo4(sw);
    if (stride <= 0 || stride > 0x7FFFFFFF ||
        !converted.Allocate(CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(sh))))
      return FALSE;
    ConvertToDensity(pdev, bits, rects.source, src->lDelta, converted.data(), whole, static_cast<LONG>(stride), palette,
                     paletteCount, format);
    DensityPalette(densityPalette);
    image = converted.data();
    imageRect = whole;
    imageStride = static_cast<LONG>(stride);
    imageFormat = BMF_8BPP;
    imagePalette = densityPalette;
    imagePaletteCount = 256;
  }

  // 10. The clip: a rectangle cuts the target, a complex clip copies the
  // visible parts onto the operation's neutral background.
  const BYTE complexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  d.clipComplexity = complexity;
  Scratch clipped(std::nullopt);
  if (complexity == DC_RECT) {
    PdevRect cut;
    RectIntersect(T, PdevRect{clip->rclBounds.left, clip->rclBounds.top, clip->rclBounds.right - 1,
                              clip->rclBounds.bottom - 1},
                  cut);
    if (RectIsEmpty(cut)) return TRUE;
    imageRect = PdevRect{imageRect.left + (cut.left - T.left), imageRect.top + (cut.top - T.top),
                         imageRect.left + (cut.right - T.left), imageRect.top + (cut.bottom - T.top)};
    T = cut;
  } else if (complexity == DC_COMPLEX) {
    PdevRect bounds;
    RectIntersect(T, PdevRect{clip->rclBounds.left, clip->rclBounds.top, clip->rclBounds.right - 1,
                              clip->rclBounds.bottom - 1},
                  bounds);
    if (RectIsEmpty(bounds)) return TRUE;
    const LONG bpp = BytesPerPixel(imageFormat);
    const std::int64_t bw = RectWidth(bounds), bh = RectHeight(bounds);
    const std::int64_t stride = AlignTo4(bw * bpp);
    if (stride <= 0 || stride > 0x7FFFFFFF ||
        !clipped.Allocate(CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(bh))))
      return FALSE;
    const bool paint = cur == 0xEEEE;
    std::memset(clipped.data(), two ? (paint ? 0 : 0xFF) : (paint ? 0xFF : 0), clipped.size());
    const PdevRect clipRect{0, 0, static_cast<LONG>(bw - 1), static_cast<LONG>(bh - 1)};
    if (!ClippedCopy(pdev, T, image, imageRect, imageStride, imageFormat, clip, clipped.data(), clipRect,
                     static_cast<LONG>(stride)))
      return FALSE;
    image = clipped.data();
    imageRect = clipRect;
    imageStride = static_cast<LONG>(stride);
    T = bounds;
  }

  // 11. To the cache; a strip it would not keep goes the ordinary way.
  if (BYTE* direct = SubmitImageToCache(pdev, image, imageRect, imageStride, imageFormat, T, imagePalette,
                                        imagePaletteCount, pso->lDelta, clip)) {
    GlobalFree(direct);
    pdev->drawing.targetPlane = nullptr;
    pdev->drawing.otherPlane = nullptr;
    return FALSE;
  }
  return TRUE;
}
