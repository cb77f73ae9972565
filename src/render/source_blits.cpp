// Source bitmaps to one-bit bands in the planes' format (or handed to the
// image cache), and the blits that put such bands on the planes: copies,
// the two-ink SRCAND and the inverted-source OR of one-bit masks.
#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/image_entries.h"
#include "render/brush_patterns.h"
#include "render/plane_ops.h"
#include "render/rop_blits.h"
#include "render/source_blits.h"

// 1 sends black-and-white one-bit copies to band 2 (the drum-1 plane).
const BYTE MonoCopyPlate[kSeparationModes] = {1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1};

namespace {

bool TwoPlanes(const RenderPdev* pdev) { return (pdev->flags & kPdevTwoPlanes) != 0; }

ULONG PaletteSize(ULONG format) {
  return format == BMF_1BPP ? 2 : format == BMF_4BPP ? 16 : format == BMF_8BPP ? 256 : 0;
}

// The source palette; a one-bit source without one is black on white.
ULONG SourcePalette(XLATEOBJ* xlate, ULONG format, ULONG* palette) {
  const ULONG count = PaletteSize(format);
  std::fill(palette, palette + 256, 0);
  if (count == 0) return 0;
  if (!xlate || XLATEOBJ_cGetPalette(xlate, XO_SRCPALETTE, count, palette) == 0) {
    if (format == BMF_1BPP) palette[1] = 0xFFFFFF;
  }
  return count;
}

void ClearBandFields(RenderPdev* pdev) {
  pdev->drawing.targetPlane = nullptr;
  pdev->drawing.otherPlane = nullptr;
}

}  // namespace

BOOL WhiteThenAndKernel(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                        const PdevRect& srcRect, LONG srcStride) {
  PdevRect white = dest;
  FillRectWhite(pdev, plane, white, stride);
  return AndRowsIntoPlane(pdev, plane, dest, stride, src, srcRect, srcStride);
}

SourceRects SourceRectsFor(const SURFOBJ* src, const RECTL& target, const POINTL* srcOrigin) {
  SourceRects r{PdevRect{target.left, target.top, target.right - 1, target.bottom - 1}, {}, false};
  const POINTL origin = srcOrigin ? *srcOrigin : POINTL{0, 0};
  r.source = PdevRect{origin.x, origin.y, static_cast<LONG>(origin.x + (r.dest.right - r.dest.left)),
                      static_cast<LONG>(origin.y + (r.dest.bottom - r.dest.top))};
  // Both rectangles are cut to the source bitmap: a caller's origin never
  // reads outside its bits.
  if (r.source.left < 0) r.dest.left -= r.source.left, r.source.left = 0;
  if (r.source.top < 0) r.dest.top -= r.source.top, r.source.top = 0;
  if (r.source.right > src->sizlBitmap.cx - 1)
    r.dest.right -= r.source.right - (src->sizlBitmap.cx - 1), r.source.right = src->sizlBitmap.cx - 1;
  if (r.source.bottom > src->sizlBitmap.cy - 1)
    r.dest.bottom -= r.source.bottom - (src->sizlBitmap.cy - 1), r.source.bottom = src->sizlBitmap.cy - 1;
  r.usable = !RectIsEmpty(r.dest) && !RectIsEmpty(r.source) && src->pvScan0 && src->lDelta != 0;
  return r;
}

BYTE* SourceToPlaneFormat(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                          ULONG srcFormat, const PdevRect& bandRect, LONG* bandStride, const PdevRect& destIn,
                          XLATEOBJ* xlate, BOOL direct, LONG planeStride, CLIPOBJ* clip) {
  if (!pdev || !src || !bandStride || RectIsEmpty(srcRect)) return nullptr;
  PdevRect dest{std::min(destIn.left, destIn.right), std::min(destIn.top, destIn.bottom),
                std::max(destIn.left, destIn.right), std::max(destIn.top, destIn.bottom)};
  ULONG palette[256];
  const ULONG paletteCount = SourcePalette(xlate, srcFormat, palette);
  const std::int64_t stride = AlignTo4(RowBytes1bpp(RectWidth(bandRect)));
  const std::int64_t height = RectHeight(bandRect);
  if (stride <= 0 || stride > std::numeric_limits<LONG>::max()) return nullptr;
  *bandStride = static_cast<LONG>(stride);
  const bool two = TwoPlanes(pdev);
  const ULONG rop4 = pdev->drawing.rop4;
  const BYTE imageMode = pdev->separationModes[2];

  // 1. Pictures go to the image cache.
  if (srcFormat != BMF_1BPP && !direct && PictureOptionsOn(pdev)) {
    if (pdev->drawing.clipComplexity != DC_COMPLEX) AddClipToClipRectList(pdev, clip);
    if (two)
      CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, planeStride, &dest, src, &srcRect, srcStride, palette,
                     paletteCount, srcFormat);
    else
      FlushOrMergeImage(pdev, imageMode != 0 ? pdev->drum2Plane : pdev->drum1Plane, planeStride, &dest, src, &srcRect,
                        srcStride, palette, paletteCount, srcFormat);
    if (pdev->shared.pictureFlag) {
      ClearBandFields(pdev);
      return nullptr;
    }
    return pdev->drawing.targetPlane;
  }

  // 2. A white band block, two bands on a two-ink sheet.
  const std::int64_t bandBytes = stride * height;
  if (height <= 0 || bandBytes > (std::int64_t{1} << 40)) return nullptr;
  auto* band1 = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bandBytes * (two ? 2 : 1))));
  if (!band1) return nullptr;
  std::memset(band1, 0xFF, static_cast<std::size_t>(bandBytes * (two ? 2 : 1)));
  BYTE* band2 = two ? band1 + bandBytes : band1;
  const bool blackWhite = srcFormat == BMF_1BPP && IsBlackWhitePalette(palette);
  pdev->shared.blackWhiteSource = blackWhite ? 1 : 0;
  const POINTL origin{dest.left, dest.top};
  auto halftone = [&] {
    HalftoneSourceToPlanes(pdev, band1, bandRect, *bandStride, src, srcRect, srcStride, pdev->amiLine,
                           pdev->amiAngle, pdev->resolutionX, palette, paletteCount, srcFormat, origin);
  };
  auto moveToBand2 = [&] {
    std::memcpy(band2, band1, static_cast<std::size_t>(bandBytes));
    std::memset(band1, 0xFF, static_cast<std::size_t>(bandBytes));
  };

  if (pdev->image.blitState == kBlitDeclinedPair) {
    // 3. The declined pair of the transparent-image recogniser: rendered directly.
    halftone();
    pdev->shared.pictureRect = dest;
    pdev->shared.operation = kOperationDirect;
    pdev->image.blitState = kBlitIdle;
  } else {
    const bool deep = srcFormat == BMF_4BPP || srcFormat == BMF_16BPP || srcFormat == BMF_24BPP ||
                      srcFormat == BMF_32BPP || (srcFormat == BMF_8BPP && !(rop4 == kRop4MergePaint && imageMode <= 1)) ||
                      (srcFormat == BMF_1BPP && two && imageMode > 1 && (rop4 == kRop4SrcPaint || rop4 == kRop4SrcAnd) &&
                       !blackWhite);
    const bool screen = imageMode <= 1 && ((srcFormat == BMF_8BPP && rop4 == kRop4MergePaint) ||
                                           (srcFormat == BMF_1BPP && rop4 == kRop4SrcPaint && !blackWhite));
    const bool sameSize = RectWidth(srcRect) == RectWidth(bandRect) && RectHeight(srcRect) == RectHeight(bandRect);
    if (deep) {
      if (two && imageMode > 1 && RopIsSourceOnly(rop4))
        RenderImageTwoPlates(pdev, band2, band1, bandRect, *bandStride, origin, src, srcRect, srcStride, palette,
                             paletteCount, srcFormat, pdev->amiLine, pdev->amiAngle, pdev->resolutionX, FALSE);
      else
        halftone();
    } else if (screen) {
      ScreenSourceToPlane(pdev, band1, bandRect, *bandStride, src, srcRect, srcStride, pdev->amiLine, pdev->amiAngle,
                          pdev->resolutionX, palette, paletteCount, srcFormat, origin);
      if (rop4 == kRop4MergePaint) {
        pdev->shared.operation = kOperationDirect;
        if (two) {
          if (imageMode != 0)
            std::memcpy(band2, band1, static_cast<std::size_t>(bandBytes));
          else
            std::memcpy(band1, band2, static_cast<std::size_t>(bandBytes));
        }
      }
    } else if (blackWhite && sameSize) {
      // Black-and-white one-bit sources are copied dot for dot, never screened.
      if ((palette[0] & 0xFFFFFF) == 0xFFFFFF)
        CopyRowsInverted(nullptr, band1, bandRect, *bandStride, src, srcRect, srcStride);
      else
        WhiteThenAndKernel(nullptr, band1, bandRect, *bandStride, src, srcRect, srcStride);
      if (rop4 == kRop4Dsna || rop4 == kRop4MergePaint || rop4 == kRop4SrcPaint) pdev->shared.operation = kOperationBrushOrMask;
      if (two) {
        const bool paintAfterMask = rop4 == kRop4SrcPaint && imageMode == 0 && pdev->image.earlierRop4 == kRop4SrcAnd &&
                                    RectContains(pdev->image.earlierRect, dest);
        const bool copy = rop4 == kRop4SrcCopy || rop4 == kRop4StretchCopy;
        const BYTE graphicsMode = std::min<BYTE>(pdev->separationModes[1], kSeparationModes - 1);
        if (paintAfterMask || (copy && MonoCopyPlate[graphicsMode] == 1))
          moveToBand2();
        else if (!copy)
          std::memcpy(band2, band1, static_cast<std::size_t>(bandBytes));
      }
    } else {
      halftone();
    }
  }
  pdev->drawing.targetPlane = band1;
  pdev->drawing.otherPlane = band2;
  pdev->shared.blackWhiteSource = 0;
  return band1;
}

CutOut CutOutToPlaneFormat(RenderPdev* pdev, LONG planeStride, const PdevRect& dest, const BYTE* bits,
                           const PdevRect& source, LONG srcStride, ULONG srcFormat, CLIPOBJ* clip, XLATEOBJ* xlate) {
  CutOut out{false, nullptr, dest, 0};
  if (!clip) return out;
  PdevRect cut;
  RectIntersect(dest, PdevRect{clip->rclBounds.left, clip->rclBounds.top, clip->rclBounds.right - 1,
                               clip->rclBounds.bottom - 1},
                cut);
  const bool expand = srcFormat == BMF_4BPP || srcFormat == BMF_8BPP;
  const ULONG format = expand ? BMF_24BPP : srcFormat;
  const std::int64_t cutStride = RowBytesForFormat(RectWidth(cut), format);
  if (RectIsEmpty(cut) || cutStride <= 0) return out;
  const std::int64_t cutBytes = cutStride * RectHeight(cut);
  auto* cutBits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(cutBytes)));
  BYTE* expanded = nullptr;
  const BYTE* from = bits;
  PdevRect fromRect = source;
  LONG fromStride = srcStride;
  bool ok = cutBits != nullptr;
  if (ok) std::memset(cutBits, 0xFF, static_cast<std::size_t>(cutBytes));
  if (ok && expand) {
    const std::int64_t wideStride = RowBytesForFormat(RectWidth(source), BMF_24BPP);
    expanded = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(wideStride * RectHeight(source))));
    ULONG palette[256];
    const ULONG count = SourcePalette(xlate, srcFormat, palette);
    const PdevRect wideRect{0, 0, static_cast<LONG>(RectWidth(source) - 1), static_cast<LONG>(RectHeight(source) - 1)};
    ok = expanded && SourceToRgb24(bits, source, srcStride, expanded, wideRect, static_cast<LONG>(wideStride), palette,
                                   count, srcFormat);
    from = expanded, fromRect = wideRect, fromStride = static_cast<LONG>(wideStride);
  }
  const PdevRect cutRect{0, 0, static_cast<LONG>(RectWidth(cut) - 1), static_cast<LONG>(RectHeight(cut) - 1)};
  if (ok && ClippedCopy(pdev, dest, from, fromRect, fromStride, format, clip, cutBits, cutRect,
                        static_cast<LONG>(cutStride))) {
    out.band = SourceToPlaneFormat(pdev, cutBits, cutRect, static_cast<LONG>(cutStride), format, cutRect,
                                   &out.bandStride, cut, xlate, FALSE, planeStride, clip);
    out.dest = cut;
    out.done = true;
  }
  if (expanded) GlobalFree(expanded);
  if (cutBits) GlobalFree(cutBits);
  return out;
}

BOOL CopyBitsToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                      XLATEOBJ* xlate, BOOL) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target || !src) return FALSE;
  FreeSavedPlanes(pdev);
  const SourceRects rects = SourceRectsFor(src, *target, srcOrigin);
  if (!rects.usable) return TRUE;
  pdev->drawing.clipComplexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  const bool caching = CachesPictures(pdev);
  BYTE savedComplexity = pdev->drawing.clipComplexity;
  const auto* bits = static_cast<const BYTE*>(src->pvScan0);
  PdevRect bandDest = rects.dest;
  LONG bandStride = 0;
  BYTE* band = nullptr;
  const PdevRect bandRect{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  if (caching && clip && (clip->iDComplexity == DC_RECT || clip->iDComplexity == DC_COMPLEX) &&
      src->iBitmapFormat != BMF_1BPP) {
    // Only the part inside the clip goes to the picture.
    const CutOut cut = CutOutToPlaneFormat(pdev, pso->lDelta, rects.dest, bits, rects.source, src->lDelta,
                                           src->iBitmapFormat, clip, xlate);
    if (cut.done) {
      if (!cut.band) return TRUE;
      band = cut.band;
      bandStride = cut.bandStride;
      bandDest = cut.dest;
    }
  }
  if (!band) {
    band = SourceToPlaneFormat(pdev, bits, rects.source, src->lDelta, src->iBitmapFormat, bandRect, &bandStride,
                               rects.dest, xlate, caching ? FALSE : TRUE, pso->lDelta, clip);
  }
  if (!band) return TRUE;
  FlushImageIfPending(pdev);
  BYTE* band2 = pdev->drawing.otherPlane;
  if (clip) clip->iDComplexity = savedComplexity;
  const PdevRect placed{0, 0, bandDest.right - bandDest.left, bandDest.bottom - bandDest.top};
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  ForEachClipRectWithSource(pdev, drum2, bandDest, pso->lDelta, band, placed, bandStride, clip, WhiteThenAndKernel);
  if (TwoPlanes(pdev) && band2 && band2 != band)
    ForEachClipRectWithSource(pdev, drum1, bandDest, pso->lDelta, band2, placed, bandStride, clip, WhiteThenAndKernel);
  GlobalFree(band);
  return TRUE;
}

// A direct one-bit band of the source over dest; null when none was made.
static BYTE* DirectBand(RenderPdev* pdev, SURFOBJ* pso, const SourceRects& rects, SURFOBJ* src, XLATEOBJ* xlate,
                        CLIPOBJ* clip, LONG* bandStride) {
  const PdevRect bandRect{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  return SourceToPlaneFormat(pdev, static_cast<const BYTE*>(src->pvScan0), rects.source, src->lDelta,
                             src->iBitmapFormat, bandRect, bandStride, rects.dest, xlate, TRUE, pso->lDelta, clip);
}

BOOL SrcAndToPlanes(SURFOBJ* pso, const PdevRect& dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                    XLATEOBJ* xlate) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !src) return FALSE;
  const SourceRects rects =
      SourceRectsFor(src, RECTL{dest.left, dest.top, dest.right + 1, dest.bottom + 1}, srcOrigin);
  if (!rects.usable) return FALSE;
  LONG stride = 0;
  BYTE* band = DirectBand(pdev, pso, rects, src, xlate, clip, &stride);
  if (!band) return FALSE;
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  BYTE* inkPlane = OneInkPicturePlane(pdev, drum1, drum2);
  BYTE* other = inkPlane == drum2 ? drum1 : drum2;
  const PdevRect placed{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  BOOL result = ForEachClipRectWithSource(pdev, inkPlane, rects.dest, pso->lDelta, band, placed, stride, clip,
                                          AndRowsIntoPlane);
  const RECTL& last = pdev->drawing.lastDrawnRect;
  const bool overPatInvert = pdev->drawing.previousRop4 == kRop4PatInvert && src->iBitmapFormat == BMF_1BPP &&
                             RectContains(PdevRect{last.left, last.top, last.right - 1, last.bottom - 1}, rects.dest);
  if (overPatInvert) {
    result = ForEachClipRectWithSource(pdev, other, rects.dest, pso->lDelta, band, placed, stride, clip,
                                       AndRowsIntoPlane);
  } else {
    // The mask's ink knocks the other ink out.
    const std::int64_t bytes = std::int64_t{stride} * RectHeight(placed);
    for (std::int64_t i = 0; i < bytes; ++i) band[i] = static_cast<BYTE>(~band[i]);
    result = ForEachClipRectWithSource(pdev, other, rects.dest, pso->lDelta, band, placed, stride, clip,
                                       OrRowsIntoPlane);
  }
  GlobalFree(band);
  return result;
}

BOOL InvertedSourceOrPlanes(SURFOBJ* pso, const PdevRect& dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                            XLATEOBJ* xlate) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !src) return FALSE;
  const SourceRects rects =
      SourceRectsFor(src, RECTL{dest.left, dest.top, dest.right + 1, dest.bottom + 1}, srcOrigin);
  if (!rects.usable) return FALSE;
  LONG stride = 0;
  BYTE* band = DirectBand(pdev, pso, rects, src, xlate, clip, &stride);
  if (!band) return FALSE;
  BYTE* band2 = pdev->drawing.otherPlane;
  const PdevRect placed{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  const std::int64_t bytes = std::int64_t{stride} * RectHeight(placed) * (band2 != band ? 2 : 1);
  for (std::int64_t i = 0; i < bytes; ++i) band[i] = static_cast<BYTE>(~band[i]);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  BOOL result =
      ForEachClipRectWithSource(pdev, drum2, rects.dest, pso->lDelta, band, placed, stride, clip, OrRowsIntoPlane);
  if (TwoPlanes(pdev) && band2 != band)
    result = ForEachClipRectWithSource(pdev, drum1, rects.dest, pso->lDelta, band2, placed, stride, clip,
                                       OrRowsIntoPlane);
  GlobalFree(band);
  return result;
}

BOOL PaletteSourceSplit(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG srcFormat,
                        XLATEOBJ* xlate) {
  if (!pdev || !src) return FALSE;
  const int g = std::min<int>(pdev->separationModes[1], kSeparationModes - 1);
  const std::uint8_t wanted = SeparationDefaultPlate[g] == 1 ? 1 : 2;
  const int code = ClassCodeOfMode(g);
  const bool skipWhite = g == 12 || g == 13;
  auto onWantedPlate = [&](BYTE red, BYTE green, BYTE blue, bool whiteCounts) {
    if (!whiteCounts && red == 255 && green == 255 && blue == 255) return false;
    std::uint8_t plate = 0, density = 0;
    ClassifyColourForPlates(code, red, green, blue, kObjectKindImage, &plate, &density);
    return plate == wanted;
  };
  if (srcFormat == BMF_1BPP || srcFormat == BMF_4BPP || srcFormat == BMF_8BPP) {
    ULONG palette[256];
    const ULONG count = SourcePalette(xlate, srcFormat, palette);
    InkDensityPair* table = pdev->shared.paletteInk;
    PaletteToInkDensity(pdev, palette, table, count);
    for (ULONG i = 0; i < count; ++i) {
      if (skipWhite && (palette[i] & 0xFFFFFF) == 0xFFFFFF) continue;
      if (table[i].plate == wanted) return TRUE;
    }
    return FALSE;
  }
  if (srcFormat != BMF_16BPP && srcFormat != BMF_24BPP && srcFormat != BMF_32BPP) return FALSE;
  if (RectIsEmpty(srcRect) || srcRect.left < 0) return FALSE;
  const int bytes = srcFormat == BMF_16BPP ? 2 : srcFormat == BMF_24BPP ? 3 : 4;
  for (std::int64_t y = srcRect.top; y <= srcRect.bottom; ++y) {
    const BYTE* row = src + y * srcStride;
    for (std::int64_t x = srcRect.left; x <= srcRect.right; ++x) {
      const BYTE* p = row + x * bytes;
      if (bytes == 2) {
        const unsigned v = p[0] | (p[1] << 8);
        if (onWantedPlate(static_cast<BYTE>((v >> 7) & 0xF8), static_cast<BYTE>((v >> 2) & 0xF8),
                          static_cast<BYTE>((v << 3) & 0xF8), true))
          return TRUE;
      } else if (onWantedPlate(p[2], p[1], p[0], !skipWhite)) {
        return TRUE;
      }
    }
  }
  return FALSE;
}
