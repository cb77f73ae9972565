// The bodies of DrvBitBlt, DrvStretchBlt, DrvCopyBits and DrvTextOut:
// validity, the ROP4 history, the image-sequence routing and the
// pending-picture flush, then the picture, raster, copy and glyph paths.
#include "render/blit_entries.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/image_entries.h"
#include "planes/glyph_output.h"
#include "planes/plane_ops.h"
#include "planes/row_kernels.h"
#include "planes/stroke_planes.h"
#include "plat/engine_blit.h"
#include "render/brush_patterns.h"
#include "render/rop_blits.h"

namespace {

bool SourceDepthAtLeast24(const SURFOBJ* src) {
  return src && (src->iBitmapFormat == BMF_24BPP || src->iBitmapFormat == BMF_32BPP);
}

SIZEL NarrowPattern(const RenderPdev* pdev) { return pdev->resolutionMode == 2 ? SIZEL{24, 12} : SIZEL{8, 8}; }

ULONG Resolution(const RenderPdev* pdev) { return (ULONG{pdev->resolutionY} << 16) | pdev->resolutionX; }

// Runs fn on each inclusive clip rectangle (null: no clip).
template <typename Fn>
void ForEachClipPiece(CLIPOBJ* clip, Fn fn) {
  if (!clip || clip->iDComplexity == DC_TRIVIAL) return fn(static_cast<const PdevRect*>(nullptr));
  if (clip->iDComplexity == DC_RECT) {
    const PdevRect r = InclusiveRect(clip->rclBounds);
    return fn(&r);
  }
  ForEachEnumeratedClipRect(clip, [&](const RECTL& e) {
    const PdevRect r = InclusiveRect(e);
    fn(&r);
  });
}

}  // namespace

BOOL BitBltBody(SURFOBJ* psoTrg, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                BRUSHOBJ* pbo, ROP4 rop4) {
  if (Rop3Of(rop4) == kRop3Dest) return TRUE;  // the destination stays as it is
  RenderPdev* pdev = ValidPdevOf(psoTrg);
  if (!pdev || !prclTrg) return pdev ? TRUE : FALSE;
  pdev->drawing.hatchMarker = 0;
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, psoTrg, *prclTrg);
  // An engine stroke that called back here left its rows exchanged.
  RestoreStrokeRows(pdev);
  NextRop4(pdev, rop4);
  const bool two = HasTwoPlanes(pdev);
  const bool imageSequence = rop4 == kRop4SrcAnd || rop4 == kRop4SrcPaint || rop4 == kRop4MergePaint ||
                             (rop4 == kRop4Dsna && SourceDepthAtLeast24(psoSrc) && two && pdev->separationModes[2] > 1);
  if (imageSequence && BitBltImage(psoTrg, prclTrg, psoSrc, pptlSrc, clip, pxlo)) {
    pdev->drawing.lastDrawnRect = *prclTrg;
    return TRUE;
  }
  const PdevRect target = InclusiveRect(*prclTrg);
  const bool keepPending = Rop3Of(rop4) == kRop3SrcCopy ||
                           (rop4 == kRop4PatSelect && pdev->drawing.previousRop4 == kRop4SrcAnd &&
                            RectsIntersect(target, pdev->image.operationRect));
  if (!keepPending) {
    const RECTL& last = pdev->drawing.lastDrawnRect;
    if (pdev->image.blitState == kBlitMaskHole && RopIsSourceOnly(rop4) &&
        RectContains(InclusiveRect(last), target))
      pdev->image.blitState = kBlitInsideHole;
    FlushImageIfPending(pdev);
  }
  const BOOL result = BitBltToPlanes(rop4, psoTrg, prclTrg, psoSrc, pptlSrc, clip, pxlo, pbo);
  pdev->drawing.lastDrawnRect = *prclTrg;
  return result;
}

BOOL CopyBitsBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc) {
  RenderPdev* pdev = ValidPdevOf(psoDest);
  if (!pdev) return FALSE;
  if (!prclDest) return TRUE;
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, psoDest, *prclDest);
  NextRop4(pdev, kRop4SrcCopy);
  if (!psoSrc) return EngCopyBits(psoDest, nullptr, clip, pxlo, prclDest, pptlSrc);
  NoteCopySource(pdev, psoSrc);
  CopyBitsToPlanes(psoDest, prclDest, psoSrc, pptlSrc, clip, pxlo, FALSE);
  return TRUE;
}

BOOL TextOutBody(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                 BRUSHOBJ* pboOpaque, MIX mix) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  if (pdev->flags & kPdevImagePending) {
    NextRop4(pdev, 0);
    FlushImageIfPending(pdev);
  }
  return TextToPlanes(pdev, pso, pstro, pfo, pco, prclOpaque, pboFore, pboOpaque, mix);
}

void NoteCopySource(RenderPdev* pdev, const SURFOBJ* src) {
  pdev->drawing.previousClipComplexity = pdev->drawing.clipComplexity;
  pdev->drawing.previousSourceId = pdev->drawing.sourceId;
  pdev->drawing.sourceId = src->iUniq;
}

BOOL TextToPlanes(RenderPdev* pdev, SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque,
                  BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, MIX mix) {
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  auto choosePlanes = [&] {
    pdev->drawing.targetPlane = pdev->drawing.plateSelector == 1 ? drum1 : drum2;
    pdev->drawing.otherPlane = pdev->drawing.plateSelector == 1 ? drum2 : drum1;
    return pdev->drawing.targetPlane;
  };
  if (pboOpaque && prclOpaque) {
    // The opaque rectangle is filled within itself and the clip.
    const SIZEL size = NarrowPattern(pdev);
    if (BYTE* pattern = BrushToPatternWide(pdev, pboOpaque, size.cx, size.cy, Resolution(pdev), FALSE)) {
      BYTE* target = choosePlanes();
      PdevRect opaque = InclusiveRect(*prclOpaque);
      RectIntersect(opaque, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, opaque);
      ForEachClipPiece(pco, [&](const PdevRect* piece) {
        PdevRect r = opaque;
        if (piece) RectIntersect(r, *piece, r);
        if (!RectIsEmpty(r)) Rop2FillPlanes(pdev, r, target, pso->lDelta, pattern, size, (mix >> 8) & 0xFF);
      });
      GlobalFree(pattern);
    }
  }
  const bool narrow = pdev->textProcessing == 1 || pdev->textProcessing == 2;
  const SIZEL size = narrow ? NarrowPattern(pdev) : SIZEL{32, 32};
  BYTE* pattern = pboFore ? BrushToPatternWide(pdev, pboFore, size.cx, size.cy, Resolution(pdev), narrow ? FALSE : TRUE)
                          : nullptr;
  BYTE* target = choosePlanes();
  // A complex clip is honoured rectangle by rectangle.
  ForEachClipPiece(pco, [&](const PdevRect* piece) {
    DrawGlyphs(pdev, pstro, pfo, piece, target, pso->lDelta, pattern, size.cx, size.cy);
  });
  if (pattern) GlobalFree(pattern);
  return TRUE;
}

namespace {

int BitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
  }
  return 0;
}

// The source rectangle (inclusive, inside the bitmap) as rows of its own
// size: the caller's rows where nothing is reversed and whole bytes start the
// rectangle, otherwise a copy with columns and rows reversed as asked.
struct PrivateSource {
  std::vector<BYTE> owned;
  const BYTE* bits = nullptr;
  LONG stride = 0;
  PdevRect rect{};
};

bool SourceRows(const SURFOBJ* src, const PdevRect& region, bool mirrorX, bool flipY, PrivateSource& out) {
  const int bitsPerPixel = BitsPerPixel(src->iBitmapFormat);
  if (bitsPerPixel == 0) return false;
  const LONG width = region.right - region.left + 1, height = region.bottom - region.top + 1;
  const std::int64_t stride = RowBytesForFormat(width, src->iBitmapFormat);
  if (stride <= 0) return false;
  out.rect = PdevRect{0, 0, width - 1, height - 1};
  if (!mirrorX && !flipY && bitsPerPixel >= 8) {
    out.bits = static_cast<const BYTE*>(src->pvScan0) + std::int64_t{region.top} * src->lDelta +
               std::int64_t{region.left} * (bitsPerPixel / 8);
    out.stride = src->lDelta;
    return true;
  }
  out.stride = static_cast<LONG>(stride);
  out.owned.assign(static_cast<std::size_t>(stride * height), 0);
  out.bits = out.owned.data();
  for (LONG row = 0; row < height; ++row) {
    const std::int64_t sourceRow = region.top + (flipY ? height - 1 - row : row);
    const BYTE* from = static_cast<const BYTE*>(src->pvScan0) + sourceRow * src->lDelta;
    BYTE* to = out.owned.data() + std::int64_t{row} * stride;
    for (LONG column = 0; column < width; ++column) {
      const std::int64_t sourceColumn = region.left + (mirrorX ? width - 1 - column : column);
      if (bitsPerPixel >= 8) {
        const int pixelBytes = bitsPerPixel / 8;
        std::memcpy(to + std::int64_t{column} * pixelBytes, from + sourceColumn * pixelBytes,
                    static_cast<std::size_t>(pixelBytes));
      } else {
        const std::int64_t fromBit = sourceColumn * bitsPerPixel, toBit = std::int64_t{column} * bitsPerPixel;
        const unsigned mask = (1u << bitsPerPixel) - 1;
        const unsigned value = (from[fromBit / 8] >> (8 - bitsPerPixel - fromBit % 8)) & mask;
        to[toBit / 8] = static_cast<BYTE>(to[toBit / 8] | (value << (8 - bitsPerPixel - toBit % 8)));
      }
    }
  }
  return true;
}

// Whether the last drawn rectangle continues a cached picture at dest: the
// strip above, the strip to the left, or the next row of tiles.
bool ContinuesPicture(const RenderPdev* pdev, const RECTL& dest, const RECTL& clipBounds) {
  const RECTL& last = pdev->drawing.lastDrawnRect;
  const bool above = last.bottom == dest.top && last.left == dest.left && last.right == dest.right;
  const bool left = last.right == dest.left && last.top == dest.top && last.bottom == dest.bottom;
  const bool nextRow = pdev->image.operationRect.left == clipBounds.left && last.left == dest.right &&
                       last.bottom == dest.top;
  return above || left || nextRow;
}

// The caller's stretch, normalised: edges ordered, the destination
// inclusive, the source cut to its bitmap. Flips and mirrors are taken by the
// private copy of the source.
struct StretchGeometry {
  RECTL orderedDest{};  // exclusive
  PdevRect dest{};
  PdevRect source{};
  bool flipY = false;
  bool mirrorX = false;
};

StretchGeometry NormaliseStretch(const RECTL& callerDest, const RECTL& callerSource, const SURFOBJ* src) {
  StretchGeometry geometry;
  geometry.orderedDest = RECTL{std::min(callerDest.left, callerDest.right), std::min(callerDest.top, callerDest.bottom),
                               std::max(callerDest.left, callerDest.right), std::max(callerDest.top, callerDest.bottom)};
  geometry.flipY = callerDest.bottom < callerDest.top;
  geometry.mirrorX = callerDest.right < callerDest.left;
  geometry.dest = InclusiveRect(geometry.orderedDest);
  geometry.source = PdevRect{std::min(callerSource.left, callerSource.right), std::min(callerSource.top, callerSource.bottom),
                             std::max(callerSource.left, callerSource.right) - 1,
                             std::max(callerSource.top, callerSource.bottom) - 1};
  RectIntersect(geometry.source, PdevRect{0, 0, src->sizlBitmap.cx - 1, src->sizlBitmap.cy - 1}, geometry.source);
  return geometry;
}

// On the picture path, a rectangular clip that is the visible destination:
// the stretch is cut to the clip's bounds, the source in proportion to the
// caller's scale. True when it was cut (dest and copyRect changed).
bool CutStretchToVisibleClip(const RenderPdev* pdev, const SURFOBJ* psoDest, const RECTL& callerDest,
                             const RECTL& callerSource, const RECTL& orderedDest, const CLIPOBJ* clip, PdevRect& dest,
                             PdevRect& copyRect) {
  const PdevDrawState& drawing = pdev->drawing;
  const RECTL visible{std::max<LONG>(orderedDest.left, 0), std::max<LONG>(orderedDest.top, 0),
                      std::min(orderedDest.right, psoDest->sizlBitmap.cx),
                      std::min(orderedDest.bottom, psoDest->sizlBitmap.cy)};
  const RECTL& clipBounds = clip->rclBounds;
  const bool visibleIsClip = visible.left == clipBounds.left && visible.top == clipBounds.top &&
                             visible.right == clipBounds.right && visible.bottom == clipBounds.bottom;
  const bool continuesPending = !(pdev->flags & kPdevImagePending) ||
                                (drawing.previousRop4 == drawing.rop4 && ContinuesPicture(pdev, orderedDest, clipBounds));
  if (!visibleIsClip || !continuesPending) return false;
  const PdevRect callerDestEdges{callerDest.left, callerDest.top, callerDest.right, callerDest.bottom};
  const PdevRect callerSourceEdges{callerSource.left, callerSource.top, callerSource.right, callerSource.bottom};
  const float scaleX = static_cast<float>(RectWidth(callerDestEdges)) / static_cast<float>(RectWidth(callerSourceEdges));
  const float scaleY =
      static_cast<float>(RectHeight(callerDestEdges)) / static_cast<float>(RectHeight(callerSourceEdges));
  PdevRect cutSource = copyRect;
  cutSource.left += static_cast<LONG>(static_cast<float>(clipBounds.left - orderedDest.left) / scaleX);
  cutSource.right -= static_cast<LONG>(static_cast<float>(orderedDest.right - clipBounds.right) / scaleX);
  cutSource.top += static_cast<LONG>(static_cast<float>(clipBounds.top - orderedDest.top) / scaleY);
  cutSource.bottom -= static_cast<LONG>(static_cast<float>(orderedDest.bottom - clipBounds.bottom) / scaleY);
  if (RectIsEmpty(cutSource)) return false;
  copyRect = cutSource;
  dest = InclusiveRect(clipBounds);
  return true;
}

// The source columns (or rows) shown by destination offsets first..last of
// a destination destSpan long, for a source from sourceStart sourceSpan long:
// each destination dot shows the source dot its offset scales to.
std::pair<LONG, LONG> SourceSpanShown(std::int64_t first, std::int64_t last, std::int64_t destSpan, LONG sourceStart,
                                      std::int64_t sourceSpan) {
  return {static_cast<LONG>(sourceStart + first * sourceSpan / destSpan),
          static_cast<LONG>(sourceStart + last * sourceSpan / destSpan)};
}

// The destination cut to the page and the clip's bounds, the source in
// proportion: only what can be seen is converted, so the work is bounded by
// the page whatever rectangle the caller gave. False when nothing is visible.
bool CutStretchToPage(const SURFOBJ* psoDest, const CLIPOBJ* clip, PdevRect& dest, PdevRect& source) {
  PdevRect visible{};
  RectIntersect(dest, PdevRect{0, 0, psoDest->sizlBitmap.cx - 1, psoDest->sizlBitmap.cy - 1}, visible);
  if (clip && clip->iDComplexity != DC_TRIVIAL) RectIntersect(visible, InclusiveRect(clip->rclBounds), visible);
  if (RectIsEmpty(visible)) return false;
  if (visible.left == dest.left && visible.top == dest.top && visible.right == dest.right &&
      visible.bottom == dest.bottom)
    return true;
  const auto [sourceLeft, sourceRight] = SourceSpanShown(visible.left - dest.left, visible.right - dest.left,
                                                         RectWidth(dest), source.left, RectWidth(source));
  const auto [sourceTop, sourceBottom] = SourceSpanShown(visible.top - dest.top, visible.bottom - dest.top,
                                                         RectHeight(dest), source.top, RectHeight(source));
  source = PdevRect{sourceLeft, sourceTop, sourceRight, sourceBottom};
  dest = visible;
  return true;
}

// Converts the copy over dest: on the picture path with a clip, only the part
// inside the clip; otherwise the whole of dest.
StretchBands ConvertStretch(RenderPdev* pdev, SURFOBJ* psoDest, const SURFOBJ* psoSrc, const PrivateSource& copy,
                            const PdevRect& dest, CLIPOBJ* clip, XLATEOBJ* xlate, bool caching, bool cutToClip,
                            bool flipY) {
  StretchBands out{nullptr, nullptr, 0, dest};
  const bool pairWithMask = PairsWithMask(pdev->image.blitState);
  if (caching && !cutToClip && psoSrc->iBitmapFormat != BMF_1BPP &&
      (pairWithMask || clip->iDComplexity == DC_RECT || clip->iDComplexity == DC_COMPLEX)) {
    const CutOut cut = CutOutToPlaneFormat(pdev, psoDest->lDelta, dest, copy.bits, copy.rect, copy.stride,
                                           psoSrc->iBitmapFormat, clip, xlate);
    if (cut.done) {
      if (pairWithMask) pdev->drawing.rop4 = kRop4SrcCopy;
      return StretchBands{cut.bands.first, cut.bands.second, cut.bandStride, cut.dest};
    }
  }
  const PdevRect bandRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
  const bool allowCache = caching && (!flipY || clip->iDComplexity == DC_TRIVIAL);
  const PictureBands converted =
      SourceToPlaneFormat(pdev, copy.bits, copy.rect, copy.stride, psoSrc->iBitmapFormat, bandRect, &out.stride, dest,
                          xlate, allowCache ? FALSE : TRUE, psoDest->lDelta, clip);
  out.band = converted.first;
  out.secondBand = converted.second;
  return out;
}

}  // namespace

// Puts the bands on the ink planes through the clip; frees them.
BOOL PlaceStretchBands(RenderPdev* pdev, SURFOBJ* psoDest, const StretchBands& bands, CLIPOBJ* clip) {
  BYTE* secondBand = bands.secondBand;
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, psoDest->lDelta, &drum1, &drum2);
  const PdevRect placed{0, 0, bands.dest.right - bands.dest.left, bands.dest.bottom - bands.dest.top};
  BOOL result = ForEachClipRectWithSource(pdev, drum2, bands.dest, psoDest->lDelta, bands.band, placed, bands.stride,
                                          clip, WhiteThenAndKernel);
  if (HasTwoPlanes(pdev) && secondBand && secondBand != bands.band)
    result = ForEachClipRectWithSource(pdev, drum1, bands.dest, psoDest->lDelta, secondBand, placed, bands.stride,
                                       clip, WhiteThenAndKernel);
  GlobalFree(bands.band);
  return result;
}

BOOL StretchBltBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                    COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                    ULONG iMode) {
  RenderPdev* pdev = ValidPdevOf(psoDest);
  if (!pdev) return FALSE;
  return StretchBltToPlanes(pdev, psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask,
                            iMode, StretchRules{FlushImageIfPending, nullptr});
}

BOOL StretchBltToPlanes(RenderPdev* pdev, SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                        POINTL* pptlMask, ULONG iMode, const StretchRules& rules) {
  auto engine = [&] {
    return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, HALFTONE);
  };
  (void)iMode;
  FreeSavedPlanes(pdev);
  NextRop4(pdev, kRop4StretchCopy);
  if (!psoSrc || !prclDest || !prclSrc || !psoSrc->pvScan0 || psoSrc->lDelta == 0) return engine();
  StretchGeometry geometry = NormaliseStretch(*prclDest, *prclSrc, psoSrc);
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, psoDest, geometry.orderedDest);
  pdev->drawing.clipComplexity = clip->iDComplexity;
  if (rules.queue && rules.queue(pdev, geometry.orderedDest, psoSrc, clip)) {
    pdev->drawing.lastDrawnRect = *prclDest;
    return TRUE;
  }
  if (RectIsEmpty(geometry.dest) || RectIsEmpty(geometry.source)) return TRUE;
  PrivateSource copy;
  if (!SourceRows(psoSrc, geometry.source, geometry.mirrorX, geometry.flipY, copy)) return engine();
  pdev->drawing.destinationFlipped = geometry.flipY ? 1 : 0;

  // The pending picture is flushed unless this stretch may continue it.
  PdevDrawState& drawing = pdev->drawing;
  const bool sameRop = Rop3Of(drawing.previousRop4) == Rop3Of(drawing.rop4);
  if (!sameRop && pdev->image.blitState != kBlitMaskImagePair && pdev->image.blitState != kBlitHolePair)
    rules.flush(pdev);
  const bool onePixel = RectWidth(geometry.dest) == 1 || RectHeight(geometry.dest) == 1 ||
                        RectWidth(geometry.source) == 1 || RectHeight(geometry.source) == 1;
  const bool refused = onePixel && !(sameRop && RectsTouch(geometry.dest, pdev->image.operationRect));
  if (refused) rules.flush(pdev);
  const bool caching = !refused && CachesPictures(pdev);

  PdevRect dest = geometry.dest;
  DefaultClip cutClip;
  bool cutToClip = false;
  if (caching && clip->iDComplexity == DC_RECT && !geometry.flipY &&
      CutStretchToVisibleClip(pdev, psoDest, *prclDest, *prclSrc, geometry.orderedDest, clip, dest, copy.rect)) {
    clip = cutClip.Use(nullptr, psoDest, clip->rclBounds);
    cutToClip = true;
  }
  const bool visible = CutStretchToPage(psoDest, clip, dest, copy.rect);
  const StretchBands bands = visible ? ConvertStretch(pdev, psoDest, psoSrc, copy, dest, clip, pxlo, caching, cutToClip,
                                                      geometry.flipY)
                                     : StretchBands{};
  drawing.destinationFlipped = 0;
  drawing.lastDrawnRect = *prclDest;
  if (!bands.band) {
    if (visible && pdev->image.blitState == kBlitHolePair) WhitenessToPlanes(psoDest, clip, dest);
    return TRUE;
  }
  rules.flush(pdev);
  return PlaceStretchBands(pdev, psoDest, bands, clip) ? TRUE : engine();
}
