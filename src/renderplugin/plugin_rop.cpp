// The plug-in's raster-operation and brush path: the render library's stages
// with the plug-in's own history, masking-sequence and pattern rules.
#include "renderplugin/plugin_rop.h"

#include <algorithm>
#include <cstring>

#include "imaging/brush_dither.h"
#include "imaging/source_bands.h"
#include "planes/plane_ops.h"
#include "planes/rop_names.h"
#include "planes/work_buffers.h"
#include "plat/engine_draw.h"
#include "render/brush_patterns.h"
#include "render/rop_stages.h"

namespace {

constexpr std::uint16_t kPlate1 = 1;
constexpr std::uint16_t kPlate2 = 2;

// A rectangle as the engine gave it (right and bottom exclusive), held in a
// PdevRect: the plug-in's raster-operation history compares these.
PdevRect AsGiven(const RECTL& r) { return PdevRect{r.left, r.top, r.right, r.bottom}; }

// One rectangle lies within the other, in either direction.
bool EitherContains(const PdevRect& a, const PdevRect& b) { return RectContains(a, b) || RectContains(b, a); }

// The intersection has left < right and top < bottom.
bool Overlaps(const PdevRect& a, const PdevRect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

BrushColour ColourOf(const BRUSHOBJ* brush) {
  BrushColour colour{brush != nullptr, false, 0};
  if (brush && brush->iSolidColor != kNoSolidColor) {
    colour.solid = true;
    colour.rgb = brush->iSolidColor & 0xFFFFFF;
  }
  return colour;
}

// Black, white or no solid colour (a pattern brush, or none at all).
bool BlackWhiteOrNone(const BrushColour& c) { return !c.solid || c.rgb == 0 || c.rgb == 0xFFFFFF; }

// Plate 1 for image separation mode 0, plate 2 for mode 1, none otherwise.
int ImageModePlate(const RenderPdev* pdev) {
  const BYTE mode = pdev->separationModes[2];
  return mode == 0 ? kPlate1 : mode == 1 ? kPlate2 : 0;
}

// The masking-sequence rules of MASKPEN and of PATCOPY after XOR, with the
// keep-other-plane and mask-idiom flags they set; the plate they draw on
// (0: the brush's own).
int PlateOverride(RenderPdev* pdev, ULONG rop4, const PdevRect& r, const PdevRect& given, bool lastHoldsTarget,
                  const BrushColour& colour) {
  PdevDrawState& d = pdev->drawing;
  const PdevImageState& img = pdev->image;
  const ULONG prev = d.previousRop4;
  const BYTE imageMode = pdev->separationModes[2];
  d.keepOtherPlane = 0;
  d.maskIdiom = 0;
  int overridePlate = 0;
  if (rop4 == kRop4PatAnd) {
    const bool afterPatInvert =
        (img.earlierRop4 == kRop4PatInvert && prev == kRop4PatAnd && RectsIntersect(img.earlierRect, r)) ||
        (prev == kRop4PatInvert && RectsIntersect(pdev->plugin.operationRect, given));
    const bool blackOrNone = !colour.solid || colour.rgb == 0;
    if (afterPatInvert && BlackWhiteOrNone(colour)) {
      overridePlate = d.plateSelector;
      d.maskIdiom = 1;
    } else if (RopIsSourceOnly(prev) && blackOrNone && lastHoldsTarget) {
      d.maskIdiom = 1;
      if (imageMode <= 1) {
        d.maskIdiom = 0;
        d.keepOtherPlane = 1;
        overridePlate = ImageModePlate(pdev);
      }
    }
  }
  const bool patCopyAfterXor =
      rop4 == kRop4PatCopy && ((prev == kRop4SrcInvert && lastHoldsTarget) ||
                               (prev == kRop4PatCopy && img.earlierRop4 == kRop4SrcInvert && Overlaps(img.earlierRect, given)));
  if (patCopyAfterXor) {
    d.keepOtherPlane = 1;
    if (const int plate = ImageModePlate(pdev)) overridePlate = plate;
  }
  return overridePlate;
}

// The raster-operation history over the plug-in's own operation rectangle;
// the closing XOR of a masking sequence clears the current ROP4 before it is
// drawn.
void AdvanceRopHistory(RenderPdev* pdev, ULONG rop4, const PdevRect& given, bool lastHoldsTarget) {
  PdevDrawState& d = pdev->drawing;
  PdevImageState& img = pdev->image;
  PdevRect& operationRect = pdev->plugin.operationRect;
  const ULONG prev = d.previousRop4;
  if (rop4 != prev) {
    const bool maskOrFillBefore = prev == kRop4PatAnd || prev == kRop4SrcAnd || prev == kRop4PatCopy;
    if (rop4 == kRop4SrcInvert && img.earlierRop4 == kRop4SrcInvert && maskOrFillBefore &&
        EitherContains(AsGiven(d.lastDrawnRect), img.earlierRect) && lastHoldsTarget)
      d.rop4 = 0;
  } else {
    const bool continues =
        RectsTouch(operationRect, given) ||
        (img.earlierRop4 == kRop4SrcAnd && rop4 == kRop4SrcPaint && RectsIntersect(img.earlierRect, given)) ||
        (img.earlierRop4 == kRop4PatInvert && rop4 == kRop4PatAnd && RectsIntersect(img.earlierRect, given));
    if (continues) {
      RectUnion(operationRect, given, operationRect);
      return;
    }
  }
  img.earlierRect = operationRect;
  img.earlierRop4 = prev;
  operationRect = given;
}

// The pending picture or queued objects go down first (the pending flag is
// the flush functions' to clear).
BOOL FlushPendingWork(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return TRUE;
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  return OemFlushOrMergeImage(pdev, plane, pdev->planeStride, nullptr, nullptr, nullptr, 0, nullptr, 0, 0).ok;
}

// The pattern over rect through the clip, by a ROP2, on the target plane.
void FillPattern(RenderPdev* pdev, CLIPOBJ* clip, BYTE* plane, const PdevRect& rect, LONG stride, const BYTE* pattern,
                 SIZEL size, ULONG rop2) {
  if (clip && (clip->iDComplexity == DC_RECT || clip->iDComplexity == DC_COMPLEX))
    Rop2FillClip(pdev, clip, plane, stride, pattern, size, rop2);
  else
    Rop2FillPlanes(pdev, rect, plane, stride, pattern, size, rop2);
}

}  // namespace

BOOL OemBrushBlt(ROP4 rop4, SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate, BRUSHOBJ* brush) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target) return FALSE;
  if (rop4 == kRop4PatSelect) return MaskedPatternBlt(pso, target, src, srcOrigin, clip, xlate, brush);
  PdevDrawState& d = pdev->drawing;
  const bool two = HasTwoPlanes(pdev);
  const BrushColour colour = ColourOf(brush);
  if (two && rop4 == kRop4PatCopy && colour.present && !colour.solid)
    return OemPatCopyRealized(pso, target, clip, brush);

  const std::optional<PlaneDestination> at = DestinationOnPlane(pdev, *target, srcOrigin);
  if (!at) return TRUE;
  const LONG stride = pdev->planeStride;
  const ULONG prev = d.previousRop4;
  const PdevRect r = InclusiveRect(*target);
  const PdevRect given = AsGiven(*target);
  const bool lastHoldsTarget = EitherContains(AsGiven(d.lastDrawnRect), given);
  PdevRect dest = at->dest;

  const bool maskIdiom = StartMaskIdiom(pdev, rop4, dest);
  if (const std::optional<BOOL> done = RopFastPaths(pso, rop4, *at, src, clip, xlate, OemCopyBitsToPlanes))
    return *done;

  RopOperands op{};
  op.buf.localHeap = true;
  StartRopOperands(op, rop4, dest);
  PdevRect sourceRect{};
  if (const std::optional<BOOL> ended = ConvertRopSource(pdev, src, *at, xlate, clip, stride, op, dest, sourceRect))
    return *ended;

  const int overridePlate = PlateOverride(pdev, rop4, r, given, lastHoldsTarget, colour);
  if (std::strchr(op.name, 'P') && brush) {
    op.buf.pattern = OemRealizePattern(pdev, brush, &op.patternSize, FALSE);
    if (!op.buf.pattern) return FALSE;
    MoveFillToSourcePlate(pdev, op, src, sourceRect, xlate);
  }
  AdvanceRopHistory(pdev, rop4, given, lastHoldsTarget);
  if (!AllocateWorkBuffers(pdev, op, dest)) return FALSE;
  if (overridePlate) d.plateSelector = static_cast<std::uint16_t>(overridePlate);

  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, stride, &drum1, &drum2);
  if (two && stride > 0 && drum1 != drum2) {
    const bool keepCleared = pdev->separationModes[1] <= 1 && prev == kRop4SrcAnd && lastHoldsTarget;
    SaveOrRestoreMaskedPlanes(pdev, clip, rop4, dest, maskIdiom, keepCleared, drum1, drum2, stride, op);
  }
  UpdateOperation(pdev, rop4, dest, src && src->iBitmapFormat == BMF_1BPP);
  return DrawRopOnPlanes(pdev, clip, rop4, dest, stride, maskIdiom, drum1, drum2, op);
}

BOOL MaskedPatternBlt(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                      XLATEOBJ* xlate, BRUSHOBJ* brush) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target || !brush) return FALSE;
  PdevDrawState& d = pdev->drawing;
  const LONG stride = pdev->planeStride;
  const PdevRect r = InclusiveRect(*target);
  // |R.right - R.left| and |R.bottom - R.top| of the inclusive target.
  const std::int64_t spanX = std::abs(std::int64_t{r.right} - r.left);
  const std::int64_t spanY = std::abs(std::int64_t{r.bottom} - r.top);
  const BrushColour colour = ColourOf(brush);
  const bool white = colour.solid && colour.rgb == 0xFFFFFF;
  int overridePlate = 0;
  if (pdev->separationModes[1] >= 2 && (d.previousRop4 == kRop4PatCopy || d.previousRop4 == kRop4PatSelect) && white)
    overridePlate = d.plateSelector;

  SIZEL size{8, 8};
  BYTE* pattern = OemRealizePattern(pdev, brush, &size, FALSE);
  if (!pattern) return FALSE;
  // A small solid fill is solid ink wherever it is painted, never a dither.
  if (colour.solid && !brush->pvRbrush && spanX < 8 && spanY < 8 && !white)
    std::memset(pattern, 0, static_cast<std::size_t>(RowBytes1bpp(size.cx) * size.cy));
  if (overridePlate) d.plateSelector = static_cast<std::uint16_t>(overridePlate);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, stride, &drum1, &drum2);
  BYTE* plane = d.plateSelector == kPlate1 ? drum1 : drum2;
  d.targetPlane = plane;
  d.otherPlane = plane == drum1 ? drum2 : drum1;

  // ((D xor P) and S) xor P. The two pattern passes cancel outside the
  // source, so where one clip rectangle at most holds the blit the whole of
  // it is one pass over the source's rows.
  const SourceRects rects = src && src->pvScan0 && src->lDelta != 0 ? SourceRectsFor(src, *target, srcOrigin)
                                                                     : SourceRects{{}, {}, false};
  PictureBands bands{};
  LONG bandStride = 0;
  if (rects.usable) {
    const PdevRect bandRect{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
    bands = SourceToPlaneFormat(pdev, static_cast<const BYTE*>(src->pvScan0), rects.source, src->lDelta,
                                src->iBitmapFormat, bandRect, &bandStride, rects.dest, xlate, TRUE, stride, clip);
  }
  const char* name = Rop3Name(kRop3PatSelect);
  const int nameLength = static_cast<int>(std::strlen(name));
  const bool onePass = (!clip || clip->iDComplexity != DC_COMPLEX) &&
                       RopRunsInOnePass(pdev, name, nameLength, bands.first, pattern, size);
  BOOL result = FALSE;
  if (!onePass) FillPattern(pdev, clip, plane, r, stride, pattern, size, R2_XORPEN);
  if (bands.first) {
    const PdevRect placed{0, 0, rects.dest.right - rects.dest.left, rects.dest.bottom - rects.dest.top};
    result = onePass ? EvalRop3Rpn(pdev, clip, plane, rects.dest, stride, name, nameLength, bands.first, placed,
                                   bandStride, pattern, size, nullptr, nullptr)
                     : ForEachClipRectWithSource(pdev, plane, rects.dest, stride, bands.first, placed, bandStride,
                                                 clip, AndRowsIntoPlane);
    GlobalFree(bands.first);
  }
  // The second pass completes the blit, or undoes the first when the source
  // could not be converted.
  if (!onePass) FillPattern(pdev, clip, plane, r, stride, pattern, size, R2_XORPEN);
  GlobalFree(pattern);
  return result;
}

BOOL OemCopyBitsToPlanes(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                         XLATEOBJ* xlate, BOOL) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target) return FALSE;
  DrawBoundsFromClip(pdev, clip, InclusiveRect(*target));
  return CopySourceToPlanes(pso, target, src, srcOrigin, clip, xlate, pdev->planeStride, FlushPendingWork);
}

BYTE* OemRealizePattern(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* size, BOOL wide) {
  if (!pdev || !brush) return nullptr;
  if (brush->iSolidColor == kNoSolidColor || wide) return RealizePattern(pdev, brush, size, wide);
  // Solid brushes: an 8 x 8 pattern in every resolution mode, dithered from
  // the pattern's own corner.
  const ULONG rgb = brush->iSolidColor & 0xFFFFFF;
  std::uint8_t plate = kPlate2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(pdev->separationModes[1]), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          kObjectKindGraphics, &plate, &density);
  pdev->drawing.plateSelector = plate;
  auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 8));
  if (!bits) return nullptr;
  if (rgb == 0) {
    std::memset(bits, 0x00, 8);
  } else if (rgb == 0xFFFFFF) {
    std::memset(bits, 0xFF, 8);
  } else {
    BYTE block[64];
    std::memset(block, density, sizeof(block));
    imaging::DitherMatrix8x8(block, bits, PdevRect{0, 0, 7, 7}, 8, 1);
  }
  if (size) *size = SIZEL{8, 8};
  return bits;
}

BOOL OemPatCopyRealized(SURFOBJ* pso, const RECTL* target, CLIPOBJ* clip, BRUSHOBJ* brush) {
  return PatCopyRealized(pso, target, clip, brush);
}

BOOL OemPaletteSourceSplit(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                           ULONG srcFormat, XLATEOBJ* xlate) {
  return PaletteSourceSplit(pdev, src, srcRect, srcStride, srcFormat, xlate);
}
