// Source bitmaps to one-bit bands in the planes' format (or handed to the
// image cache), and the blits that put such bands on the planes: copies,
// the two-ink SRCAND and the inverted-source OR of one-bit masks.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "imaging/image_band_cache.h"
#include "imaging/image_copy.h"
#include "imaging/image_entries.h"
#include "imaging/source_bands.h"
#include "planes/colour_classes.h"
#include "planes/plane_ops.h"
#include "planes/work_buffers.h"

void DrawBoundsFromClip(RenderPdev* pdev, const CLIPOBJ* clip, const PdevRect& dest) {
  if (clip) {
    const RECTL& b = clip->rclBounds;
    pdev->plugin.drawBounds = PdevRect{b.left, b.top, b.right, b.bottom};
  } else {
    const RECTL t = ExclusiveRect(dest);
    pdev->plugin.drawBounds = PdevRect{t.left, t.top, t.right, t.bottom};
  }
}

// 1 sends black-and-white one-bit copies to band 2 (the drum-1 plane).
const BYTE MonoCopyPlate[kSeparationModes] = {1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1};

namespace {


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

// The source of a conversion and the band it becomes, as SourceToPlaneFormat
// received them.
struct SourceConversion {
  const BYTE* src;
  const PdevRect& srcRect;
  LONG srcStride;
  ULONG srcFormat;
  const PdevRect& bandRect;
  LONG bandStride;
  const PdevRect& dest;  // on the page, edges ordered
  const ULONG* palette;
  ULONG paletteCount;
};

// The white bands a conversion draws into: one block, the drum-2 band
// following the first on a two-ink sheet (second == first on one ink).
struct WhiteBands {
  BYTE* first = nullptr;
  BYTE* second = nullptr;
  std::int64_t bytes = 0;  // of one band
};

WhiteBands AllocateWhiteBands(std::int64_t stride, std::int64_t height, bool twoInks) {
  WhiteBands bands;
  bands.bytes = stride * height;
  if (height <= 0 || bands.bytes > (std::int64_t{1} << 40)) return bands;
  const std::int64_t blockBytes = bands.bytes * (twoInks ? 2 : 1);
  bands.first = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(blockBytes)));
  if (!bands.first) return bands;
  std::memset(bands.first, 0xFF, static_cast<std::size_t>(blockBytes));
  bands.second = twoInks ? bands.first + bands.bytes : bands.first;
  return bands;
}

// Which kernel converts the source, by its format, the ROP and the sheet.
enum class SourceKernel { Halftone, TwoPlates, Screen, DotForDot };

SourceKernel ChooseSourceKernel(const RenderPdev* pdev, const SourceConversion& c, bool blackWhite) {
  const bool twoInks = HasTwoPlanes(pdev);
  const ULONG rop4 = pdev->drawing.rop4;
  const BYTE imageMode = pdev->separationModes[2];
  const ULONG format = c.srcFormat;
  // The plug-in screens an 8-bpp MERGEPAINT source in every image mode.
  const bool screensMergePaint = imageMode <= 1 || IsPluginPdev(pdev);
  const bool deep = format == BMF_4BPP || format == BMF_16BPP || format == BMF_24BPP || format == BMF_32BPP ||
                    (format == BMF_8BPP && !(rop4 == kRop4MergePaint && screensMergePaint)) ||
                    (format == BMF_1BPP && twoInks && imageMode > 1 && (rop4 == kRop4SrcPaint || rop4 == kRop4SrcAnd) &&
                     !blackWhite);
  if (deep) return twoInks && imageMode > 1 && RopIsSourceOnly(rop4) ? SourceKernel::TwoPlates : SourceKernel::Halftone;
  const bool screen = (screensMergePaint && format == BMF_8BPP && rop4 == kRop4MergePaint) ||
                      (imageMode <= 1 && format == BMF_1BPP && rop4 == kRop4SrcPaint && !blackWhite);
  if (screen) return SourceKernel::Screen;
  const bool sameSize =
      RectWidth(c.srcRect) == RectWidth(c.bandRect) && RectHeight(c.srcRect) == RectHeight(c.bandRect);
  return blackWhite && sameSize ? SourceKernel::DotForDot : SourceKernel::Halftone;
}

// A screened 8-bpp MERGEPAINT source lands on both bands alike.
void ScreenIntoBands(RenderPdev* pdev, const SourceConversion& c, const WhiteBands& bands, POINTL origin) {
  ScreenSourceToPlane(pdev, bands.first, c.bandRect, c.bandStride, c.src, c.srcRect, c.srcStride, pdev->amiLine,
                      pdev->amiAngle, pdev->resolutionX, c.palette, c.paletteCount, c.srcFormat, origin);
  if (pdev->drawing.rop4 != kRop4MergePaint) return;
  pdev->shared.operation = kOperationDirect;
  if (!HasTwoPlanes(pdev)) return;
  // The plug-in puts the screened source on both bands in every mode.
  if (pdev->separationModes[2] != 0 || IsPluginPdev(pdev))
    std::memcpy(bands.second, bands.first, static_cast<std::size_t>(bands.bytes));
  else
    std::memcpy(bands.first, bands.second, static_cast<std::size_t>(bands.bytes));
}

// A dot-for-dot copy for a mask's paint opens a brush-or-mask operation.
void MarkDotForDotOperation(RenderPdev* pdev) {
  const ULONG rop4 = pdev->drawing.rop4;
  if (rop4 == kRop4Dsna || rop4 == kRop4MergePaint || rop4 == kRop4SrcPaint) pdev->shared.operation = kOperationBrushOrMask;
}

// Whether the source's rows share bytes with either plane (a blit from the
// device's own surface), which only a copy into a band keeps apart.
bool SourceMeetsPlanes(const RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                       LONG planeStride) {
  auto span = [](const BYTE* base, std::int64_t firstRow, std::int64_t lastRow, LONG stride) {
    const std::int64_t a = firstRow * stride, b = lastRow * stride;
    const auto lo = reinterpret_cast<std::uintptr_t>(base) + static_cast<std::uintptr_t>(std::min(a, b));
    const auto bytes = static_cast<std::uintptr_t>((a < b ? b - a : a - b) + std::abs(std::int64_t{stride}));
    return std::pair<std::uintptr_t, std::uintptr_t>{lo, lo + bytes};
  };
  const auto s = span(src, srcRect.top, srcRect.bottom, srcStride);
  for (const BYTE* plane : {pdev->drum1Plane, pdev->drum2Plane}) {
    if (!plane || pdev->planeHeight <= 0) continue;
    const auto p = span(plane, 0, pdev->planeHeight - 1, std::abs(planeStride));
    if (s.first < p.second && p.first < s.second) return true;
  }
  return false;
}

// Black-and-white one-bit sources are copied dot for dot, never screened;
// on two inks the copy goes to the drum its ROP and the graphics mode pick.
void CopyDotForDot(RenderPdev* pdev, const SourceConversion& c, const WhiteBands& bands) {
  if ((c.palette[0] & 0xFFFFFF) == 0xFFFFFF)
    CopyRowsInverted(nullptr, bands.first, c.bandRect, c.bandStride, c.src, c.srcRect, c.srcStride);
  else
    WhiteThenAndKernel(nullptr, bands.first, c.bandRect, c.bandStride, c.src, c.srcRect, c.srcStride);
  MarkDotForDotOperation(pdev);
  if (!HasTwoPlanes(pdev)) return;
  const ULONG rop4 = pdev->drawing.rop4;
  const bool paintAfterMask = rop4 == kRop4SrcPaint && pdev->separationModes[2] == 0 &&
                              pdev->image.earlierRop4 == kRop4SrcAnd && RectContains(pdev->image.earlierRect, c.dest);
  const bool copy = rop4 == kRop4SrcCopy || rop4 == kRop4StretchCopy;
  const BYTE graphicsMode = std::min<BYTE>(pdev->separationModes[1], kSeparationModes - 1);
  if (paintAfterMask || (copy && MonoCopyPlate[graphicsMode] == 1)) {
    std::memcpy(bands.second, bands.first, static_cast<std::size_t>(bands.bytes));
    std::memset(bands.first, 0xFF, static_cast<std::size_t>(bands.bytes));
  } else if (!copy) {
    std::memcpy(bands.second, bands.first, static_cast<std::size_t>(bands.bytes));
  }
}

}  // namespace

InPlaceSource OneBitSourceInPlace(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                                  ULONG srcFormat, const PdevRect& bandRect, const PdevRect& dest, XLATEOBJ* xlate,
                                  CLIPOBJ* clip, LONG planeStride, bool takeInverted) {
  if (!pdev || !src || srcStride == 0 || srcFormat != BMF_1BPP || HasTwoPlanes(pdev) ||
      pdev->image.blitState == kBlitDeclinedPair || RectIsEmpty(srcRect) || RectIsEmpty(bandRect))
    return InPlaceSource::None;
  if (RectWidth(srcRect) != RectWidth(bandRect) || RectHeight(srcRect) != RectHeight(bandRect))
    return InPlaceSource::None;
  ULONG palette[256];
  SourcePalette(xlate, srcFormat, palette);
  if (!IsBlackWhitePalette(palette)) return InPlaceSource::None;
  const bool inverted = (palette[0] & 0xFFFFFF) == 0xFFFFFF;
  if ((inverted && !takeInverted) || SourceMeetsPlanes(pdev, src, srcRect, srcStride, planeStride))
    return InPlaceSource::None;
  if (IsPluginPdev(pdev)) DrawBoundsFromClip(pdev, clip, dest);
  pdev->shared.blackWhiteSource = 0;
  MarkDotForDotOperation(pdev);
  return inverted ? InPlaceSource::Inverted : InPlaceSource::AsIs;
}

PictureBands SourceToPlaneFormat(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                                 ULONG srcFormat, const PdevRect& bandRect, LONG* bandStride, const PdevRect& destIn,
                                 XLATEOBJ* xlate, BOOL direct, LONG planeStride, CLIPOBJ* clip) {
  if (!pdev || !src || !bandStride || RectIsEmpty(srcRect)) return {};
  if (IsPluginPdev(pdev)) DrawBoundsFromClip(pdev, clip, destIn);
  const PdevRect dest{std::min(destIn.left, destIn.right), std::min(destIn.top, destIn.bottom),
                      std::max(destIn.left, destIn.right), std::max(destIn.top, destIn.bottom)};
  ULONG palette[256];
  const ULONG paletteCount = SourcePalette(xlate, srcFormat, palette);
  const std::int64_t stride = AlignTo4(RowBytes1bpp(RectWidth(bandRect)));
  if (stride <= 0 || stride > std::numeric_limits<LONG>::max()) return {};
  *bandStride = static_cast<LONG>(stride);
  const SourceConversion conversion{src,  srcRect, srcStride,   srcFormat,   bandRect, *bandStride,
                                    dest, palette, paletteCount};

  if (srcFormat != BMF_1BPP && !direct && PictureOptionsOn(pdev))
    return SubmitImageToCache(pdev, src, srcRect, srcStride, srcFormat, dest, palette, paletteCount, planeStride, clip);

  const WhiteBands bands = AllocateWhiteBands(stride, RectHeight(bandRect), HasTwoPlanes(pdev));
  if (!bands.first) return {};
  const bool blackWhite = srcFormat == BMF_1BPP && IsBlackWhitePalette(palette);
  pdev->shared.blackWhiteSource = blackWhite ? 1 : 0;
  const POINTL origin{dest.left, dest.top};
  auto halftone = [&] {
    HalftoneSourceToPlanes(pdev, bands.first, bandRect, *bandStride, src, srcRect, srcStride, pdev->amiLine,
                           pdev->amiAngle, pdev->resolutionX, palette, paletteCount, srcFormat, origin);
  };
  if (pdev->image.blitState == kBlitDeclinedPair) {
    // The declined pair of the transparent-image recogniser is rendered directly.
    halftone();
    pdev->shared.pictureRect = dest;
    pdev->shared.operation = kOperationDirect;
    pdev->image.blitState = kBlitIdle;
  } else {
    switch (ChooseSourceKernel(pdev, conversion, blackWhite)) {
      case SourceKernel::TwoPlates:
        RenderImageTwoPlates(pdev, bands.second, bands.first, bandRect, *bandStride, origin, src, srcRect, srcStride,
                             palette, paletteCount, srcFormat, pdev->amiLine, pdev->amiAngle, pdev->resolutionX,
                             FALSE);
        break;
      case SourceKernel::Screen: ScreenIntoBands(pdev, conversion, bands, origin); break;
      case SourceKernel::DotForDot: CopyDotForDot(pdev, conversion, bands); break;
      case SourceKernel::Halftone: halftone(); break;
    }
  }
  pdev->shared.blackWhiteSource = 0;
  return PictureBands{bands.first, bands.second};
}

CutOut CutOutToPlaneFormat(RenderPdev* pdev, LONG planeStride, const PdevRect& dest, const BYTE* bits,
                           const PdevRect& source, LONG srcStride, ULONG srcFormat, CLIPOBJ* clip, XLATEOBJ* xlate) {
  CutOut out{false, {}, dest, 0};
  if (!clip) return out;
  PdevRect cut;
  RectIntersect(dest, InclusiveRect(clip->rclBounds), cut);
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
    out.bands = SourceToPlaneFormat(pdev, cutBits, cutRect, static_cast<LONG>(cutStride), format, cutRect,
                                    &out.bandStride, cut, xlate, FALSE, planeStride, clip);
    out.dest = cut;
    out.done = true;
  }
  if (expanded) GlobalFree(expanded);
  if (cutBits) GlobalFree(cutBits);
  return out;
}

BOOL CopySourceToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                        XLATEOBJ* xlate, LONG planeStride, BOOL (*flushPending)(RenderPdev*)) {
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
  PictureBands bands{};
  const PdevRect bandRect{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  // A black-and-white one-bit copy goes straight from the source to the
  // plane; the plug-in's 300 x 600 rows are paired differently after a copy
  // than after the AND that places a band, so its bands stay.
  const bool pluginPairs = IsPluginPdev(pdev) && pdev->resolutionMode == 2;
  const InPlaceSource inPlace =
      pluginPairs ? InPlaceSource::None
                  : OneBitSourceInPlace(pdev, bits, rects.source, src->lDelta, src->iBitmapFormat, bandRect,
                                        rects.dest, xlate, clip, planeStride, true);
  if (inPlace != InPlaceSource::None) {
    flushPending(pdev);
    if (clip) clip->iDComplexity = savedComplexity;
    BYTE* drum2 = nullptr;
    GetInkPlanes(pdev, planeStride, nullptr, &drum2);
    ForEachClipRectWithSource(pdev, drum2, rects.dest, planeStride, bits, rects.source, src->lDelta, clip,
                              inPlace == InPlaceSource::AsIs ? CopyRowsShifted : CopyRowsInverted);
    return TRUE;
  }
  if (caching && clip && (clip->iDComplexity == DC_RECT || clip->iDComplexity == DC_COMPLEX) &&
      src->iBitmapFormat != BMF_1BPP) {
    // Only the part inside the clip goes to the picture.
    const CutOut cut = CutOutToPlaneFormat(pdev, planeStride, rects.dest, bits, rects.source, src->lDelta,
                                           src->iBitmapFormat, clip, xlate);
    if (cut.done) {
      if (!cut.bands.first) return TRUE;
      bands = cut.bands;
      bandStride = cut.bandStride;
      bandDest = cut.dest;
    }
  }
  if (!bands.first) {
    bands = SourceToPlaneFormat(pdev, bits, rects.source, src->lDelta, src->iBitmapFormat, bandRect, &bandStride,
                                rects.dest, xlate, caching ? FALSE : TRUE, planeStride, clip);
  }
  BYTE* band = bands.first;
  BYTE* band2 = bands.second;
  if (!band) return TRUE;
  flushPending(pdev);
  if (clip) clip->iDComplexity = savedComplexity;
  const PdevRect placed{0, 0, bandDest.right - bandDest.left, bandDest.bottom - bandDest.top};
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, planeStride, &drum1, &drum2);
  ForEachClipRectWithSource(pdev, drum2, bandDest, planeStride, band, placed, bandStride, clip, WhiteThenAndKernel);
  if (HasTwoPlanes(pdev) && band2 && band2 != band)
    ForEachClipRectWithSource(pdev, drum1, bandDest, planeStride, band2, placed, bandStride, clip, WhiteThenAndKernel);
  GlobalFree(band);
  return TRUE;
}

BOOL CopyBitsToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                      XLATEOBJ* xlate, BOOL) {
  return CopySourceToPlanes(pso, target, src, srcOrigin, clip, xlate, pso ? pso->lDelta : 0, FlushImageIfPending);
}

// Direct one-bit bands of the source over dest; none when none were made.
static PictureBands DirectBands(RenderPdev* pdev, SURFOBJ* pso, const SourceRects& rects, SURFOBJ* src, XLATEOBJ* xlate,
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
      SourceRectsFor(src, ExclusiveRect(dest), srcOrigin);
  if (!rects.usable) return FALSE;
  LONG stride = 0;
  BYTE* band = DirectBands(pdev, pso, rects, src, xlate, clip, &stride).first;
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
                             RectContains(InclusiveRect(last), rects.dest);
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
      SourceRectsFor(src, ExclusiveRect(dest), srcOrigin);
  if (!rects.usable) return FALSE;
  LONG stride = 0;
  const PictureBands bands = DirectBands(pdev, pso, rects, src, xlate, clip, &stride);
  BYTE* band = bands.first;
  BYTE* band2 = bands.second;
  if (!band) return FALSE;
  const PdevRect placed{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
  const std::int64_t bytes = std::int64_t{stride} * RectHeight(placed) * (band2 != band ? 2 : 1);
  for (std::int64_t i = 0; i < bytes; ++i) band[i] = static_cast<BYTE>(~band[i]);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  BOOL result =
      ForEachClipRectWithSource(pdev, drum2, rects.dest, pso->lDelta, band, placed, stride, clip, OrRowsIntoPlane);
  if (HasTwoPlanes(pdev) && band2 != band)
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
