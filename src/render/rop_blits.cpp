// DrvBitBlt's raster path: fast paths for whole-area, copy and two-ink
// SRCAND blits, the raster-operation history that recognises transparent
// and masked image sequences, and the ROP interpreter on the planes.
#include "render/rop_blits.h"
#include "render/rop_stages.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "planes/rop_names.h"
#include "plat/engine_draw.h"
#include "render/brush_patterns.h"

namespace {

bool Meets(const PdevRect& a, const RECTL& exclusive) {
  return RectsIntersect(a, InclusiveRect(exclusive));
}

// Plate names of PlateSelector.
constexpr std::uint16_t kPlate1 = 1;
constexpr std::uint16_t kPlate2 = 2;

// The second work buffer is needed when the first xor combines two fresh
// operands.
bool NeedsTemp(const char* name) {
  const char* x = std::strchr(name, 'x');
  return x && (x[1] == 'D' || x[1] == 'P' || x[1] == 'S');
}

// Left as allocated: the interpreter writes every dot of a buffer it takes
// before reading it.
BYTE* WorkBuffer(std::size_t bytes, bool localHeap) {
  return static_cast<BYTE*>(localHeap ? LocalAlloc(LMEM_FIXED, bytes) : GlobalAlloc(GMEM_FIXED, bytes));
}

BOOL Evaluate(RenderPdev* pdev, CLIPOBJ* clip, BYTE* plane, const PdevRect& dest, LONG planeStride,
              const RopOperands& op) {
  return EvalRop3Rpn(pdev, clip, plane, dest, planeStride, op.name, op.nameLength, op.source, op.bandRect,
                     op.bandStride, op.buf.pattern, op.patternSize, op.buf.work, op.buf.temp);
}

// The plane the ROP runs on: the brush's plate with a pattern; on two inks
// without one, the one-ink picture plane unless the blit renders directly;
// the mask idiom's plane in graphics separation modes 0 and 1.
BYTE* RopTargetPlane(const RenderPdev* pdev, bool pattern, bool maskIdiom, BYTE* drum1, BYTE* drum2) {
  const bool two = HasTwoPlanes(pdev);
  BYTE* plane = drum2;
  if (pattern) {
    plane = pdev->drawing.plateSelector == kPlate1 ? drum1 : drum2;
  } else if (two && pdev->shared.operation != kOperationDirect) {
    plane = OneInkPicturePlane(pdev, drum1, drum2);
  }
  if (maskIdiom && pdev->separationModes[1] <= 1) plane = pdev->separationModes[1] == 1 ? drum2 : drum1;
  return plane;
}

// The plate the transparent-image sequences draw this fill on (0: the
// brush's own); sets the keep-other-plane and mask-idiom flags they imply.
int PlateOverride(RenderPdev* pdev, ULONG rop4, const PdevRect& dest, const BrushColour& colour) {
  PdevDrawState& d = pdev->drawing;
  const PdevImageState& img = pdev->image;
  const ULONG prev = d.previousRop4;
  const BYTE imageMode = pdev->separationModes[2];
  d.keepOtherPlane = 0;
  d.maskIdiom = 0;
  int overridePlate = 0;
  const bool whiteBrush = colour.solid && (colour.rgb & 0xFFFFFF) == 0xFFFFFF;
  const bool blackBrush = colour.solid && (colour.rgb & 0xFFFFFF) == 0;
  if (rop4 == kRop4PatSelect && whiteBrush &&
      ((prev == kRop4PatSelect && RectsIntersect(dest, img.earlierRect)) ||
       (prev == kRop4PatCopy && RectsIntersect(dest, img.operationRect)))) {
    overridePlate = d.plateSelector;
  } else if (rop4 == kRop4PatAnd && (!colour.solid || blackBrush || whiteBrush) &&
             ((prev == kRop4PatAnd && img.earlierRop4 == kRop4PatInvert && RectsIntersect(dest, img.earlierRect)) ||
              (prev == kRop4PatInvert && RectsIntersect(dest, img.operationRect)))) {
    overridePlate = d.plateSelector;
    d.maskIdiom = 1;
  } else if (rop4 == kRop4PatAnd && RopIsSourceOnly(prev) && blackBrush && RectsIntersect(dest, img.operationRect)) {
    if (imageMode <= 1) {
      d.keepOtherPlane = 1;
      overridePlate = imageMode == 0 ? kPlate1 : kPlate2;
    } else {
      d.maskIdiom = 1;
    }
  }
  if (prev == kRop4SrcInvert && rop4 == kRop4PatCopy && Meets(dest, d.lastDrawnRect)) {
    d.keepOtherPlane = 1;
    if (imageMode <= 1) overridePlate = imageMode == 0 ? kPlate1 : kPlate2;
  }
  return overridePlate;
}

// The brush realised as a pattern; a source with colour of the other plate
// moves the fill there, and a picture under a transparent fill goes down
// first, on the fill's plate. False when the pattern cannot be made.
bool PreparePattern(RenderPdev* pdev, SURFOBJ* pso, ULONG rop4, const PlaneDestination& at, SURFOBJ* src,
                    const PdevRect& sourceRect, XLATEOBJ* xlate, BRUSHOBJ* brush, RopOperands& op) {
  PdevDrawState& d = pdev->drawing;
  op.buf.pattern = RealizePattern(pdev, brush, &op.patternSize, FALSE);
  if (!op.buf.pattern) return false;
  MoveFillToSourcePlate(pdev, op, src, sourceRect, xlate);
  if (rop4 == kRop4PatSelect && d.previousRop4 == kRop4SrcAnd && RectsIntersect(at.dest, pdev->image.operationRect) &&
      (pdev->flags & kPdevImagePending)) {
    const RECTL kept = d.lastDrawnRect;
    d.lastDrawnRect = at.cutTarget;
    BYTE* plane = d.plateSelector == kPlate1 ? pdev->drum1Plane : pdev->drum2Plane;
    FlushPicture(pdev, plane, pso->lDelta);
    pdev->flags &= ~kPdevImagePending;
    d.lastDrawnRect = kept;
  }
  return true;
}

// History: the operation rectangle grows while the same ROP4 repeats over
// touching rectangles (or a mask's paint meets the mask); otherwise the
// operation so far becomes the earlier one.
void AdvanceRopHistory(RenderPdev* pdev, ULONG rop4, const PdevRect& dest) {
  PdevImageState& img = pdev->image;
  const ULONG prev = pdev->drawing.previousRop4;
  const bool maskPair = (img.earlierRop4 == kRop4SrcAnd && rop4 == kRop4SrcPaint) ||
                        (img.earlierRop4 == kRop4PatInvert && rop4 == kRop4PatAnd);
  const bool continues =
      rop4 == prev && (RectsTouch(img.operationRect, dest) || (maskPair && RectsIntersect(dest, img.earlierRect)));
  if (continues) {
    RectUnion(img.operationRect, dest, img.operationRect);
  } else {
    img.earlierRect = img.operationRect;
    img.earlierRop4 = prev;
    img.operationRect = dest;
  }
}

}  // namespace

bool StartMaskIdiom(RenderPdev* pdev, ULONG rop4, const PdevRect& dest) {
  const bool maskIdiom =
      rop4 == kRop4SrcAnd && pdev->drawing.previousRop4 == kRop4PatInvert && Meets(dest, pdev->drawing.lastDrawnRect);
  pdev->shared.operation = maskIdiom ? kOperationBrushOrMask : kOperationIdle;
  if (!maskIdiom && rop4 != kRop4PatAnd && rop4 != kRop4PatInvert) FreeSavedPlanes(pdev);
  return maskIdiom;
}

std::optional<BOOL> RopFastPaths(SURFOBJ* pso, ULONG rop4, const PlaneDestination& at, SURFOBJ* src, CLIPOBJ* clip,
                                 XLATEOBJ* xlate, CopyBitsFn copyBits) {
  RenderPdev* pdev = PdevFromSurface(pso);
  POINTL origin = at.origin;
  switch (Rop3Of(rop4)) {
    case kRop3Blackness: return BlacknessToPlanes(pso, clip, at.dest);
    case kRop3Whiteness: return WhitenessToPlanes(pso, clip, at.dest);
    case kRop3Dest: return TRUE;
    case kRop3SrcCopy: return copyBits(pso, &at.cutTarget, src, &origin, clip, xlate, TRUE);
  }
  if (Rop3Of(rop4) == kRop3SrcAnd && HasTwoPlanes(pdev) && pdev->separationModes[2] <= 1 &&
      pdev->image.blitState != kBlitDeclinedPair && pdev->shared.operation == kOperationIdle)
    return SrcAndToPlanes(pso, at.dest, src, &origin, clip, xlate);
  return std::nullopt;
}

std::optional<PlaneDestination> DestinationOnPlane(const RenderPdev* pdev, const RECTL& target,
                                                   const POINTL* srcOrigin) {
  const PdevRect whole = InclusiveRect(target);
  PdevRect dest;
  RectIntersect(whole, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, dest);
  if (RectIsEmpty(dest)) return std::nullopt;
  POINTL origin = srcOrigin ? *srcOrigin : POINTL{0, 0};
  origin.x += dest.left - whole.left;
  origin.y += dest.top - whole.top;
  return PlaneDestination{dest, origin, ExclusiveRect(dest)};
}

RopBuffers::~RopBuffers() {
  for (BYTE* b : {band, pattern})
    if (b) GlobalFree(b);
  for (BYTE* b : {work, temp})
    if (b) localHeap ? static_cast<void>(LocalFree(b)) : static_cast<void>(GlobalFree(b));
}

void StartRopOperands(RopOperands& op, ULONG rop4, const PdevRect& dest) {
  op.name = Rop3Name(rop4);
  op.nameLength = static_cast<int>(std::strlen(op.name));
  op.bandRect = PdevRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
  op.bandStride = 0;
  op.patternSize = SIZEL{8, 8};
}

std::optional<BOOL> ConvertRopSource(RenderPdev* pdev, SURFOBJ* src, const PlaneDestination& at, XLATEOBJ* xlate,
                                     CLIPOBJ* clip, LONG planeStride, RopOperands& op, PdevRect& dest,
                                     PdevRect& sourceRect) {
  if (!std::strchr(op.name, 'S') || !src) return std::nullopt;
  if (!src->pvScan0 || src->lDelta == 0) return FALSE;
  const SourceRects rects = SourceRectsFor(src, at.cutTarget, &at.origin);
  if (!rects.usable) return TRUE;
  dest = rects.dest;
  sourceRect = rects.source;
  op.bandRect = PdevRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
  const auto* bits = static_cast<const BYTE*>(src->pvScan0);
  if (OneBitSourceInPlace(pdev, bits, rects.source, src->lDelta, src->iBitmapFormat, op.bandRect, dest, xlate, clip,
                          planeStride, false) == InPlaceSource::AsIs) {
    op.source = bits;
    op.bandRect = rects.source;
    op.bandStride = src->lDelta;
    return std::nullopt;
  }
  const PictureBands bands =
      SourceToPlaneFormat(pdev, static_cast<const BYTE*>(src->pvScan0), rects.source, src->lDelta,
                          src->iBitmapFormat, op.bandRect, &op.bandStride, dest, xlate, TRUE, planeStride, clip);
  op.buf.band = bands.first;
  op.buf.secondBand = bands.second;
  op.source = op.buf.band;
  if (!op.buf.band) return FALSE;
  return std::nullopt;
}

void MoveFillToSourcePlate(RenderPdev* pdev, const RopOperands& op, SURFOBJ* src, const PdevRect& sourceRect,
                           XLATEOBJ* xlate) {
  PdevDrawState& d = pdev->drawing;
  const int graphicsMode = std::min<int>(pdev->separationModes[1], kSeparationModes - 1);
  const std::uint16_t defaultPlate = SeparationDefaultPlate[graphicsMode] == 1 ? kPlate2 : kPlate1;
  if (HasTwoPlanes(pdev) && op.source && src && graphicsMode >= 2 && d.plateSelector == defaultPlate &&
      PaletteSourceSplit(pdev, static_cast<const BYTE*>(src->pvScan0), sourceRect, src->lDelta, src->iBitmapFormat,
                         xlate))
    d.plateSelector = defaultPlate == kPlate1 ? kPlate2 : kPlate1;
}

bool AllocateWorkBuffers(const RenderPdev* pdev, RopOperands& op, const PdevRect& dest) {
  if (op.nameLength <= 3 ||
      RopRunsInOnePass(pdev, op.name, op.nameLength, op.source, op.buf.pattern, op.patternSize))
    return true;
  const std::size_t bytes = WorkBufferBytes(dest);
  if (bytes == 0) return false;
  op.buf.work = WorkBuffer(bytes, op.buf.localHeap);
  if (!op.buf.work) return false;
  if (NeedsTemp(op.name)) {
    op.buf.temp = WorkBuffer(bytes, op.buf.localHeap);
    if (!op.buf.temp) return false;
  }
  return true;
}

void SaveOrRestoreMaskedPlanes(RenderPdev* pdev, CLIPOBJ* clip, ULONG rop4, const PdevRect& dest, bool maskIdiom,
                               bool keepCleared, BYTE* drum1, BYTE* drum2, LONG planeStride, RopOperands& op) {
  PdevDrawState& d = pdev->drawing;
  const ULONG prev = d.previousRop4;
  const BYTE graphicsMode = pdev->separationModes[1];
  const std::size_t planeBytes = static_cast<std::size_t>(planeStride) * static_cast<std::size_t>(pdev->planeHeight);
  if (rop4 == kRop4PatInvert && pdev->image.earlierRop4 != kRop4PatAnd &&
      !(prev == kRop4SrcAnd && Meets(dest, d.lastDrawnRect))) {
    if (!d.savedPlanes) {
      d.savedPlanes = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 2 * planeBytes));
      if (d.savedPlanes) {
        std::memcpy(d.savedPlanes, drum2, planeBytes);
        std::memcpy(d.savedPlanes + planeBytes, drum1, planeBytes);
      }
    }
    if (d.savedPlanes) {
      BYTE* copy2 = d.savedPlanes;
      BYTE* copy1 = d.savedPlanes + planeBytes;
      d.targetPlane = d.plateSelector == kPlate1 ? copy1 : copy2;
      d.otherPlane = d.plateSelector == kPlate1 ? copy2 : copy1;
      d.keepOtherPlane = graphicsMode > 1 ? 1 : 0;
      Evaluate(pdev, clip, d.targetPlane, dest, planeStride, op);
    }
    d.keepOtherPlane = graphicsMode <= 1 ? 1 : 0;
  } else if ((rop4 == kRop4PatAnd && prev == kRop4PatInvert && d.maskIdiom && graphicsMode > 1) || maskIdiom) {
    if (d.savedPlanes) {
      std::memcpy(drum2, d.savedPlanes, planeBytes);
      std::memcpy(drum1, d.savedPlanes + planeBytes, planeBytes);
    }
    FreeSavedPlanes(pdev);
  } else {
    if (rop4 == kRop4PatInvert) d.keepOtherPlane = keepCleared ? 0 : 1;
    FreeSavedPlanes(pdev);
  }
}

void UpdateOperation(RenderPdev* pdev, ULONG rop4, const PdevRect& dest, bool oneBit) {
  BYTE& operation = pdev->shared.operation;
  const PdevImageState& img = pdev->image;
  if (operation != kOperationBrushOrMask) {
    if (rop4 == kRop4SrcPaint && oneBit && img.earlierRop4 == kRop4SrcAnd) operation = kOperationDirect;
  } else if (rop4 == kRop4SrcPaint && img.earlierRop4 == kRop4SrcAnd && RectsIntersect(dest, img.earlierRect)) {
    operation = kOperationIdle;
  }
}

BOOL DrawRopOnPlanes(RenderPdev* pdev, CLIPOBJ* clip, ULONG rop4, const PdevRect& dest, LONG planeStride,
                     bool maskIdiom, BYTE* drum1, BYTE* drum2, RopOperands& op) {
  PdevDrawState& d = pdev->drawing;
  RopBuffers& buf = op.buf;
  const BYTE imageMode = pdev->separationModes[2];
  BYTE* plane = RopTargetPlane(pdev, buf.pattern != nullptr, maskIdiom, drum1, drum2);
  BYTE* other = plane == drum1 ? drum2 : drum1;
  d.targetPlane = plane;
  d.otherPlane = other;
  BOOL result = Evaluate(pdev, clip, plane, dest, planeStride, op);
  BYTE& operation = pdev->shared.operation;
  if (HasTwoPlanes(pdev) && !buf.pattern && (imageMode > 1 || operation != kOperationIdle) && other != plane) {
    // The other plane, without the pattern; the interpreter takes the work
    // buffers afresh.
    if (rop4 == kRop4Dsna && imageMode <= 1 && operation == kOperationBrushOrMask) {
      result = EvalRop3Rpn(pdev, clip, other, dest, planeStride, "DSo", 3, op.source, op.bandRect, op.bandStride,
                           nullptr, op.patternSize, buf.work, buf.temp);
    } else {
      result = EvalRop3Rpn(pdev, clip, other, dest, planeStride, op.name, op.nameLength,
                           buf.secondBand ? buf.secondBand : op.source, op.bandRect, op.bandStride, nullptr,
                           op.patternSize, buf.work, buf.temp);
    }
  }
  operation = kOperationIdle;
  return result;
}

BOOL BitBltWithBrush(ROP4 rop4, SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin,
                     CLIPOBJ* clip, XLATEOBJ* xlate, BRUSHOBJ* brush, const BrushColour& colour) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target) return FALSE;
  PdevDrawState& d = pdev->drawing;
  const bool two = HasTwoPlanes(pdev);
  const ULONG prev = d.previousRop4;
  if (two && rop4 == kRop4PatCopy && colour.present && !colour.solid) return PatCopyRealized(pso, target, clip, brush);

  const std::optional<PlaneDestination> at = DestinationOnPlane(pdev, *target, srcOrigin);
  if (!at) return TRUE;
  PdevRect dest = at->dest;

  const bool maskIdiom = StartMaskIdiom(pdev, rop4, dest);
  if (const std::optional<BOOL> done = RopFastPaths(pso, rop4, *at, src, clip, xlate, CopyBitsToPlanes)) return *done;

  // The source as a band the size of the destination (which shrinks to the
  // source); on two inks the second plate's band comes back beside it.
  RopOperands op{};
  StartRopOperands(op, rop4, dest);
  PdevRect sourceRect{};
  if (const std::optional<BOOL> ended =
          ConvertRopSource(pdev, src, *at, xlate, clip, pso->lDelta, op, dest, sourceRect))
    return *ended;

  const int overridePlate = PlateOverride(pdev, rop4, dest, colour);
  if (std::strchr(op.name, 'P') && colour.present &&
      !PreparePattern(pdev, pso, rop4, *at, src, sourceRect, xlate, brush, op))
    return FALSE;
  AdvanceRopHistory(pdev, rop4, dest);
  if (!AllocateWorkBuffers(pdev, op, dest)) return FALSE;
  if (overridePlate) d.plateSelector = static_cast<std::uint16_t>(overridePlate);

  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  if (two && pso->lDelta > 0 && drum1 != drum2) {
    const bool keepCleared =
        pdev->separationModes[1] <= 1 && prev == kRop4SrcAnd && Meets(dest, d.lastDrawnRect);
    SaveOrRestoreMaskedPlanes(pdev, clip, rop4, dest, maskIdiom, keepCleared, drum1, drum2, pso->lDelta, op);
  }
  UpdateOperation(pdev, rop4, dest, src && src->iBitmapFormat == BMF_1BPP);

  const BOOL result = DrawRopOnPlanes(pdev, clip, rop4, dest, pso->lDelta, maskIdiom, drum1, drum2, op);
  if ((prev == kRop4SrcAnd || prev == kRop4PatAnd) && d.rop4 == kRop4SrcInvert && Meets(dest, d.lastDrawnRect))
    d.rop4 = 0;
  return result;
}

BOOL BitBltToPlanes(ROP4 rop4, SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                    XLATEOBJ* xlate, BRUSHOBJ* brush) {
  BrushColour colour{brush != nullptr, false, 0};
  if (brush && brush->iSolidColor != kNoSolidColor) {
    colour.solid = true;
    colour.rgb = brush->iSolidColor & 0xFFFFFF;
  }
  return BitBltWithBrush(rop4, pso, dest, src, srcOrigin, clip, xlate, brush, colour);
}
