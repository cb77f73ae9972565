// DrvBitBlt, DrvCopyBits and DrvTextOut: validity, the ROP4 history, the
// image-sequence routing and the pending-image flush, then the raster, copy
// and glyph paths.
#include "render/blit_entries.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/image_entries.h"
#include "plat/engine_blit.h"
#include "render/glyph_output.h"
#include "render/plane_ops.h"
#include "render/rop_blits.h"
#include "render/row_kernels.h"
#include "render/source_blits.h"

namespace {

void NextRop4(RenderPdev* pdev, ULONG rop4) {
  pdev->drawing.previousRop4 = pdev->drawing.rop4;
  pdev->drawing.rop4 = rop4;
}

PdevRect Inclusive(const RECTL& r) { return PdevRect{r.left, r.top, r.right - 1, r.bottom - 1}; }

// A missing clip becomes a trivial one over the target cut to the surface.
struct DefaultClip {
  CLIPOBJ* made = nullptr;
  CLIPOBJ* Use(CLIPOBJ* given, const SURFOBJ* pso, const RECTL& target) {
    if (given) return given;
    const RECTL cut{std::max<LONG>(target.left, 0), std::max<LONG>(target.top, 0),
                    std::min(target.right, pso->sizlBitmap.cx), std::min(target.bottom, pso->sizlBitmap.cy)};
    made = plat::engine::CreateTrivialClip(cut);
    return made;
  }
  ~DefaultClip() {
    if (made) plat::engine::DeleteClip(made);
  }
};

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
    const PdevRect r = Inclusive(clip->rclBounds);
    return fn(&r);
  }
  ForEachEnumeratedClipRect(clip, [&](const RECTL& e) {
    const PdevRect r = Inclusive(e);
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
  if (pdev->planesSwapped) {
    // An engine stroke moved the drum-1 plane into the surface: swap back.
    BYTE *drum1 = nullptr, *drum2 = nullptr;
    GetInkPlanes(pdev, psoTrg->lDelta, &drum1, &drum2);
    const std::size_t bytes = static_cast<std::size_t>(std::abs(psoTrg->lDelta)) * pdev->planeHeight;
    if (auto* scratch = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes))) {
      BYTE* low1 = psoTrg->lDelta < 0 ? drum1 + std::int64_t{psoTrg->lDelta} * (pdev->planeHeight - 1) : drum1;
      BYTE* low2 = psoTrg->lDelta < 0 ? drum2 + std::int64_t{psoTrg->lDelta} * (pdev->planeHeight - 1) : drum2;
      std::memcpy(scratch, low1, bytes);
      std::memcpy(low1, low2, bytes);
      std::memcpy(low2, scratch, bytes);
      GlobalFree(scratch);
      pdev->planesSwapped = 0;
    }
  }
  NextRop4(pdev, rop4);
  const bool two = (pdev->flags & kPdevTwoPlanes) != 0;
  const bool imageSequence = rop4 == kRop4SrcAnd || rop4 == kRop4SrcPaint || rop4 == kRop4MergePaint ||
                             (rop4 == kRop4Dsna && SourceDepthAtLeast24(psoSrc) && two && pdev->separationModes[2] > 1);
  if (imageSequence && BitBltImage(psoTrg, prclTrg, psoSrc, pptlSrc, clip, pxlo)) {
    pdev->drawing.lastDrawnRect = *prclTrg;
    return TRUE;
  }
  const PdevRect target = Inclusive(*prclTrg);
  const bool keepPending = Rop3Of(rop4) == kRop3SrcCopy ||
                           (rop4 == kRop4PatSelect && pdev->drawing.previousRop4 == kRop4SrcAnd &&
                            RectsIntersect(target, pdev->image.operationRect));
  if (!keepPending) {
    const RECTL& last = pdev->drawing.lastDrawnRect;
    if (pdev->image.blitState == kBlitMaskHole && RopIsSourceOnly(rop4) &&
        RectContains(Inclusive(last), target))
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
  pdev->drawing.previousClipComplexity = pdev->drawing.clipComplexity;
  pdev->drawing.previousSourceId = pdev->drawing.sourceId;
  pdev->drawing.sourceId = psoSrc->iUniq;
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
      PdevRect opaque = Inclusive(*prclOpaque);
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

bool SourceRows(const SURFOBJ* src, const PdevRect& r, bool mirrorX, bool flipY, PrivateSource& out) {
  const int bpp = BitsPerPixel(src->iBitmapFormat);
  if (bpp == 0) return false;
  const LONG w = r.right - r.left + 1, h = r.bottom - r.top + 1;
  const std::int64_t stride = RowBytesForFormat(w, src->iBitmapFormat);
  if (stride <= 0) return false;
  out.rect = PdevRect{0, 0, w - 1, h - 1};
  if (!mirrorX && !flipY && bpp >= 8) {
    out.bits = static_cast<const BYTE*>(src->pvScan0) + std::int64_t{r.top} * src->lDelta +
               std::int64_t{r.left} * (bpp / 8);
    out.stride = src->lDelta;
    return true;
  }
  out.stride = static_cast<LONG>(stride);
  out.owned.assign(static_cast<std::size_t>(stride * h), 0);
  out.bits = out.owned.data();
  for (LONG y = 0; y < h; ++y) {
    const BYTE* s = static_cast<const BYTE*>(src->pvScan0) + std::int64_t{r.top + (flipY ? h - 1 - y : y)} * src->lDelta;
    BYTE* d = out.owned.data() + std::int64_t{y} * stride;
    for (LONG x = 0; x < w; ++x) {
      const std::int64_t sx = r.left + (mirrorX ? w - 1 - x : x);
      if (bpp >= 8) {
        std::memcpy(d + std::int64_t{x} * (bpp / 8), s + sx * (bpp / 8), static_cast<std::size_t>(bpp / 8));
      } else {
        const std::int64_t sbit = sx * bpp, dbit = std::int64_t{x} * bpp;
        const unsigned mask = (1u << bpp) - 1;
        const unsigned v = (s[sbit / 8] >> (8 - bpp - sbit % 8)) & mask;
        d[dbit / 8] = static_cast<BYTE>(d[dbit / 8] | (v << (8 - bpp - dbit % 8)));
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

}  // namespace

BOOL StretchBltBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                    COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                    ULONG iMode) {
  RenderPdev* pdev = ValidPdevOf(psoDest);
  if (!pdev) return FALSE;
  auto engine = [&] {
    return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, HALFTONE);
  };
  (void)iMode;
  FreeSavedPlanes(pdev);
  NextRop4(pdev, kRop4StretchCopy);
  if (!psoSrc || !prclDest || !prclSrc || !psoSrc->pvScan0 || psoSrc->lDelta == 0) return engine();
  const RECTL destEx{std::min(prclDest->left, prclDest->right), std::min(prclDest->top, prclDest->bottom),
                     std::max(prclDest->left, prclDest->right), std::max(prclDest->top, prclDest->bottom)};
  DefaultClip defaultClip;
  CLIPOBJ* clip = defaultClip.Use(pco, psoDest, destEx);
  pdev->drawing.clipComplexity = clip->iDComplexity;

  // Normalised rectangles; flips and mirrors are taken by the private copy.
  const bool flipY = prclDest->bottom < prclDest->top;
  const bool mirrorX = prclDest->right < prclDest->left;
  PdevRect dest = Inclusive(destEx);
  PdevRect source{std::min(prclSrc->left, prclSrc->right), std::min(prclSrc->top, prclSrc->bottom),
                  std::max(prclSrc->left, prclSrc->right) - 1, std::max(prclSrc->top, prclSrc->bottom) - 1};
  RectIntersect(source, PdevRect{0, 0, psoSrc->sizlBitmap.cx - 1, psoSrc->sizlBitmap.cy - 1}, source);
  if (RectIsEmpty(dest) || RectIsEmpty(source)) return TRUE;
  PrivateSource copy;
  if (!SourceRows(psoSrc, source, mirrorX, flipY, copy)) return engine();
  pdev->drawing.destinationFlipped = flipY ? 1 : 0;

  PdevDrawState& d = pdev->drawing;
  const bool sameRop = Rop3Of(d.previousRop4) == Rop3Of(d.rop4);
  if (!sameRop && pdev->image.blitState != kBlitMaskImagePair && pdev->image.blitState != kBlitHolePair)
    FlushImageIfPending(pdev);
  const bool onePixel = RectWidth(dest) == 1 || RectHeight(dest) == 1 || RectWidth(source) == 1 || RectHeight(source) == 1;
  const bool refused = onePixel && !(sameRop && RectsTouch(dest, pdev->image.operationRect));
  if (refused) FlushImageIfPending(pdev);
  const bool caching = !refused && CachesPictures(pdev);

  // A rectangular clip that is the visible destination: the stretch is cut
  // to it, the source in proportion.
  DefaultClip cutClip;
  bool cutToClip = false;
  if (caching && clip->iDComplexity == DC_RECT && !flipY) {
    const RECTL visible{std::max<LONG>(destEx.left, 0), std::max<LONG>(destEx.top, 0),
                        std::min(destEx.right, psoDest->sizlBitmap.cx), std::min(destEx.bottom, psoDest->sizlBitmap.cy)};
    const RECTL& b = clip->rclBounds;
    const bool visibleIsClip =
        visible.left == b.left && visible.top == b.top && visible.right == b.right && visible.bottom == b.bottom;
    const bool fits = !(pdev->flags & kPdevImagePending) || (d.previousRop4 == d.rop4 && ContinuesPicture(pdev, destEx, b));
    if (visibleIsClip && fits) {
      const PdevRect callerDest{prclDest->left, prclDest->top, prclDest->right, prclDest->bottom};
      const PdevRect callerSrc{prclSrc->left, prclSrc->top, prclSrc->right, prclSrc->bottom};
      const float scaleX = static_cast<float>(RectWidth(callerDest)) / static_cast<float>(RectWidth(callerSrc));
      const float scaleY = static_cast<float>(RectHeight(callerDest)) / static_cast<float>(RectHeight(callerSrc));
      PdevRect cutSource = copy.rect;
      cutSource.left += static_cast<LONG>(static_cast<float>(b.left - destEx.left) / scaleX);
      cutSource.right -= static_cast<LONG>(static_cast<float>(destEx.right - b.right) / scaleX);
      cutSource.top += static_cast<LONG>(static_cast<float>(b.top - destEx.top) / scaleY);
      cutSource.bottom -= static_cast<LONG>(static_cast<float>(destEx.bottom - b.bottom) / scaleY);
      if (!RectIsEmpty(cutSource)) {
        copy.rect = cutSource;
        dest = Inclusive(b);
        clip = cutClip.Use(nullptr, psoDest, b);
        cutToClip = true;
      }
    }
  }

  LONG bandStride = 0;
  BYTE* band = nullptr;
  PdevRect bandDest = dest;
  bool viaCutOut = false;
  if (caching && !cutToClip && psoSrc->iBitmapFormat != BMF_1BPP &&
      (PairsWithMask(pdev->image.blitState) ||
       clip->iDComplexity == DC_RECT || clip->iDComplexity == DC_COMPLEX)) {
    // Only the part inside the clip goes to the picture.
    const CutOut cut = CutOutToPlaneFormat(pdev, psoDest->lDelta, dest, copy.bits, copy.rect, copy.stride,
                                           psoSrc->iBitmapFormat, clip, pxlo);
    if (cut.done) {
      viaCutOut = true;
      band = cut.band;
      bandStride = cut.bandStride;
      bandDest = cut.dest;
      if (PairsWithMask(pdev->image.blitState)) d.rop4 = kRop4SrcCopy;
    }
  }
  if (!viaCutOut) {
    const PdevRect bandRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
    const bool allowCache = caching && (!flipY || clip->iDComplexity == DC_TRIVIAL);
    band = SourceToPlaneFormat(pdev, copy.bits, copy.rect, copy.stride, psoSrc->iBitmapFormat, bandRect,
                               &bandStride, dest, pxlo, allowCache ? FALSE : TRUE, psoDest->lDelta, clip);
  }
  d.destinationFlipped = 0;
  d.lastDrawnRect = *prclDest;
  if (!band) {
    if (pdev->image.blitState == kBlitHolePair) WhitenessToPlanes(psoDest, clip, dest);
    return TRUE;
  }
  BYTE* band2 = d.otherPlane;
  FlushImageIfPending(pdev);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, psoDest->lDelta, &drum1, &drum2);
  const PdevRect placed{0, 0, bandDest.right - bandDest.left, bandDest.bottom - bandDest.top};
  BOOL result =
      ForEachClipRectWithSource(pdev, drum2, bandDest, psoDest->lDelta, band, placed, bandStride, clip, WhiteThenAndKernel);
  if ((pdev->flags & kPdevTwoPlanes) && band2 && band2 != band)
    result = ForEachClipRectWithSource(pdev, drum1, bandDest, psoDest->lDelta, band2, placed, bandStride, clip,
                                       WhiteThenAndKernel);
  GlobalFree(band);
  return result ? TRUE : engine();
}
