// DrvBitBlt's raster path: fast paths for whole-area, copy and two-ink
// SRCAND blits, the raster-operation history that recognises transparent
// and masked image sequences, and the ROP interpreter on the planes.
#include "render/rop_blits.h"

#include <algorithm>
#include <cstring>

#include "imaging/image_entries.h"
#include "plat/engine_draw.h"
#include "render/brush_patterns.h"
#include "render/plane_ops.h"
#include "render/rop_names.h"
#include "render/source_blits.h"

namespace {

bool Meets(const PdevRect& a, const RECTL& exclusive) {
  return RectsIntersect(a, PdevRect{exclusive.left, exclusive.top, exclusive.right - 1, exclusive.bottom - 1});
}

// Plate names of PlateSelector.
constexpr std::uint16_t kPlate1 = 1;
constexpr std::uint16_t kPlate2 = 2;

struct Buffers {
  BYTE* band = nullptr;
  BYTE* pattern = nullptr;
  BYTE* work = nullptr;
  BYTE* temp = nullptr;
  ~Buffers() {
    for (BYTE* b : {band, pattern, work, temp})
      if (b) GlobalFree(b);
  }
};

BYTE* WhiteBuffer(std::size_t bytes) {
  auto* b = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
  if (b) std::memset(b, 0xFF, bytes);
  return b;
}

// The second work buffer is needed when the first xor combines two fresh
// operands.
bool NeedsTemp(const char* name) {
  const char* x = std::strchr(name, 'x');
  return x && (x[1] == 'D' || x[1] == 'P' || x[1] == 'S');
}

}  // namespace

BOOL BitBltWithBrush(ROP4 r, SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                     XLATEOBJ* xlate, BRUSHOBJ* brush, const BrushColour& colour) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !target) return FALSE;
  PdevDrawState& d = pdev->drawing;
  PdevImageState& img = pdev->image;
  const bool two = (pdev->flags & kPdevTwoPlanes) != 0;
  const BYTE imageMode = pdev->separationModes[2];
  const ULONG prev = d.previousRop4;
  if (two && r == 0xF0F0 && colour.present && !colour.solid) return PatCopyRealized(pso, target, clip, brush);

  // The destination, cut to the plane; the source origin moves with it.
  PdevRect dest{target->left, target->top, target->right - 1, target->bottom - 1};
  POINTL origin = srcOrigin ? *srcOrigin : POINTL{0, 0};
  const PdevRect whole = dest;
  RectIntersect(dest, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, dest);
  if (RectIsEmpty(dest)) return TRUE;
  origin.x += dest.left - whole.left;
  origin.y += dest.top - whole.top;
  const RECTL cutTarget{dest.left, dest.top, dest.right + 1, dest.bottom + 1};

  // SRCAND right after PATINVERT over the same place: a masked image.
  const bool maskIdiom = r == 0x8888 && prev == 0x5A5A && Meets(dest, d.lastDrawnRect);
  pdev->shared.operation = maskIdiom ? kOperationBrushOrMask : kOperationIdle;
  if (!maskIdiom && r != 0xA0A0 && r != 0x5A5A) FreeSavedPlanes(pdev);

  switch (r & 0xFF) {
    case 0x00: return BlacknessToPlanes(pso, clip, dest);
    case 0xFF: return WhitenessToPlanes(pso, clip, dest);
    case 0xAA: return TRUE;
    case 0xCC: return CopyBitsToPlanes(pso, &cutTarget, src, &origin, clip, xlate, TRUE);
  }
  if ((r & 0xFF) == 0x88 && two && imageMode <= 1 && img.blitState != kBlitDeclinedPair &&
      pdev->shared.operation == kOperationIdle)
    return SrcAndToPlanes(pso, dest, src, &origin, clip, xlate);

  const char* name = Rop3Name(r);
  const int nameLength = static_cast<int>(std::strlen(name));
  Buffers buf;
  LONG bandStride = 0;
  PdevRect bandRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
  BYTE* band2 = nullptr;
  PdevRect sourceRect{};
  if (std::strchr(name, 'S') && src) {
    if (!src->pvScan0 || src->lDelta == 0) return FALSE;
    const SourceRects rects = SourceRectsFor(src, cutTarget, &origin);
    if (!rects.usable) return TRUE;
    dest = rects.dest;
    sourceRect = rects.source;
    bandRect = PdevRect{0, 0, dest.right - dest.left, dest.bottom - dest.top};
    buf.band = SourceToPlaneFormat(pdev, static_cast<const BYTE*>(src->pvScan0), rects.source, src->lDelta,
                                   src->iBitmapFormat, bandRect, &bandStride, dest, xlate, TRUE, pso->lDelta, clip);
    if (!buf.band) return FALSE;
    band2 = d.otherPlane;
  }

  // Plate overrides of the transparent-image sequences.
  d.keepOtherPlane = 0;
  d.maskIdiom = 0;
  int overridePlate = 0;
  const bool whiteBrush = colour.solid && (colour.rgb & 0xFFFFFF) == 0xFFFFFF;
  const bool blackBrush = colour.solid && (colour.rgb & 0xFFFFFF) == 0;
  if (r == 0xB8B8 && whiteBrush &&
      ((prev == 0xB8B8 && RectsIntersect(dest, img.earlierRect)) ||
       (prev == 0xF0F0 && RectsIntersect(dest, img.operationRect)))) {
    overridePlate = d.plateSelector;
  } else if (r == 0xA0A0 && (!colour.solid || blackBrush || whiteBrush) &&
             ((prev == 0xA0A0 && img.earlierRop4 == 0x5A5A && RectsIntersect(dest, img.earlierRect)) ||
              (prev == 0x5A5A && RectsIntersect(dest, img.operationRect)))) {
    overridePlate = d.plateSelector;
    d.maskIdiom = 1;
  } else if (r == 0xA0A0 && RopIsSourceOnly(prev) && blackBrush && RectsIntersect(dest, img.operationRect)) {
    if (imageMode <= 1) {
      d.keepOtherPlane = 1;
      overridePlate = imageMode == 0 ? kPlate1 : kPlate2;
    } else {
      d.maskIdiom = 1;
    }
  }
  if (prev == 0x6666 && r == 0xF0F0 && Meets(dest, d.lastDrawnRect)) {
    d.keepOtherPlane = 1;
    if (imageMode <= 1) overridePlate = imageMode == 0 ? kPlate1 : kPlate2;
  }

  SIZEL patternSize{8, 8};
  const bool usesPattern = std::strchr(name, 'P') != nullptr;
  if (usesPattern && colour.present) {
    buf.pattern = RealizePattern(pdev, brush, &patternSize, FALSE);
    if (!buf.pattern) return FALSE;
    // A source with colour of the other plate draws the fill there.
    const int g = std::min<int>(pdev->separationModes[1], kSeparationModes - 1);
    const std::uint16_t defaultPlate = SeparationDefaultPlate[g] == 1 ? kPlate2 : kPlate1;
    if (two && buf.band && g >= 2 && d.plateSelector == defaultPlate &&
        PaletteSourceSplit(pdev, static_cast<const BYTE*>(src->pvScan0), sourceRect, src->lDelta,
                           src->iBitmapFormat, xlate))
      d.plateSelector = defaultPlate == kPlate1 ? kPlate2 : kPlate1;
    if (r == 0xB8B8 && prev == 0x8888 && RectsIntersect(dest, img.operationRect) &&
        (pdev->flags & kPdevImagePending)) {
      // The picture under a transparent fill goes down first, on the fill's plate.
      const RECTL kept = d.lastDrawnRect;
      d.lastDrawnRect = cutTarget;
      BYTE* plane = d.plateSelector == kPlate1 ? pdev->drum1Plane : pdev->drum2Plane;
      FlushOrMergeImage(pdev, plane, pso->lDelta, nullptr, nullptr, nullptr, 0, nullptr, 0, 0);
      pdev->flags &= ~kPdevImagePending;
      d.lastDrawnRect = kept;
    }
  }

  // History: the operation rectangle grows while the same ROP4 repeats over
  // touching rectangles.
  const bool continues =
      r == prev && (RectsTouch(img.operationRect, dest) ||
                    (((img.earlierRop4 == 0x8888 && r == 0xEEEE) || (img.earlierRop4 == 0x5A5A && r == 0xA0A0)) &&
                     RectsIntersect(dest, img.earlierRect)));
  if (continues) {
    RectUnion(img.operationRect, dest, img.operationRect);
  } else {
    img.earlierRect = img.operationRect;
    img.earlierRop4 = prev;
    img.operationRect = dest;
  }

  if (nameLength > 3) {
    const std::size_t bytes = WorkBufferBytes(dest);
    if (bytes == 0) return FALSE;
    buf.work = WhiteBuffer(bytes);
    if (!buf.work) return FALSE;
    if (NeedsTemp(name)) {
      buf.temp = WhiteBuffer(bytes);
      if (!buf.temp) return FALSE;
    }
  }
  if (overridePlate) d.plateSelector = static_cast<std::uint16_t>(overridePlate);

  // Two inks: the PATINVERT that opens a masked-image idiom is also drawn
  // into a copy of both planes, which the idiom's SRCAND puts back.
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  const BYTE graphicsMode = pdev->separationModes[1];
  if (two && pso->lDelta > 0 && drum1 != drum2) {
    const std::size_t planeBytes = static_cast<std::size_t>(pso->lDelta) * static_cast<std::size_t>(pdev->planeHeight);
    if (r == 0x5A5A && img.earlierRop4 != 0xA0A0 && !(prev == 0x8888 && Meets(dest, d.lastDrawnRect))) {
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
        EvalRop3Rpn(pdev, clip, d.targetPlane, dest, pso->lDelta, name, nameLength, buf.band, bandRect, bandStride,
                    buf.pattern, patternSize, buf.work, buf.temp);
      }
      d.keepOtherPlane = graphicsMode <= 1 ? 1 : 0;
    } else if ((r == 0xA0A0 && prev == 0x5A5A && d.maskIdiom && graphicsMode > 1) || maskIdiom) {
      if (d.savedPlanes) {
        std::memcpy(drum2, d.savedPlanes, planeBytes);
        std::memcpy(drum1, d.savedPlanes + planeBytes, planeBytes);
      }
      FreeSavedPlanes(pdev);
    } else {
      if (r == 0x5A5A)
        d.keepOtherPlane = (graphicsMode <= 1 && prev == 0x8888 && Meets(dest, d.lastDrawnRect)) ? 0 : 1;
      FreeSavedPlanes(pdev);
    }
  }

  // Operation byte: a one-bit SRCPAINT after a SRCAND renders directly.
  BYTE& operation = pdev->shared.operation;
  const bool oneBit = src && src->iBitmapFormat == BMF_1BPP;
  if (operation != kOperationBrushOrMask) {
    if (r == 0xEEEE && oneBit && img.earlierRop4 == 0x8888) operation = kOperationDirect;
  } else if (r == 0xEEEE && img.earlierRop4 == 0x8888 && RectsIntersect(dest, img.earlierRect)) {
    operation = kOperationIdle;
  }

  BYTE* plane = drum2;
  if (buf.pattern) {
    plane = d.plateSelector == kPlate1 ? drum1 : drum2;
  } else if (two && operation != kOperationDirect) {
    plane = imageMode != 0 ? drum2 : drum1;
  }
  if (maskIdiom && pdev->separationModes[1] <= 1) plane = pdev->separationModes[1] == 1 ? drum2 : drum1;
  BYTE* other = plane == drum1 ? drum2 : drum1;
  d.targetPlane = plane;
  d.otherPlane = other;
  BOOL result = EvalRop3Rpn(pdev, clip, plane, dest, pso->lDelta, name, nameLength, buf.band, bandRect, bandStride,
                            buf.pattern, patternSize, buf.work, buf.temp);
  if (two && !buf.pattern && (imageMode > 1 || operation != kOperationIdle) && other != plane) {
    if (buf.work) std::memset(buf.work, 0xFF, WorkBufferBytes(dest));
    if (buf.temp) std::memset(buf.temp, 0xFF, WorkBufferBytes(dest));
    if (r == 0x2222 && imageMode <= 1 && operation == kOperationBrushOrMask)
      result = EvalRop3Rpn(pdev, clip, other, dest, pso->lDelta, "DSo", 3, buf.band, bandRect, bandStride, nullptr,
                           patternSize, buf.work, buf.temp);
    else
      result = EvalRop3Rpn(pdev, clip, other, dest, pso->lDelta, name, nameLength, band2 ? band2 : buf.band, bandRect,
                           bandStride, nullptr, patternSize, buf.work, buf.temp);
  }
  if ((prev == 0x8888 || prev == 0xA0A0) && d.rop4 == 0x6666 && Meets(dest, d.lastDrawnRect)) d.rop4 = 0;
  operation = kOperationIdle;
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
