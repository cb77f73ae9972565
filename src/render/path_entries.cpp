// The drawing entries of lines, paths, paints and brushes: solid and pattern
// fills through the clip, width-1 lines by the library, other strokes by the
// engine on the plane of the pen's ink.
#include <algorithm>
#include <memory>

#include "imaging/image_entries.h"
#include "planes/line_clip.h"
#include "planes/plane_ops.h"
#include "planes/stroke_planes.h"
#include "render/brush_patterns.h"
#include "render/drawing_entries.h"

namespace {

// A pending image goes down before anything is drawn over it.
void FlushBeforeDrawing(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return;
  pdev->drawing.previousRop4 = pdev->drawing.rop4;
  pdev->drawing.rop4 = 0;
  FlushImageIfPending(pdev);
}

// Target and other plane of PlateSelector; the target is returned.
BYTE* ChoosePlanes(RenderPdev* pdev, LONG stride) {
  BYTE* drum1 = nullptr;
  BYTE* drum2 = nullptr;
  GetInkPlanes(pdev, stride, &drum1, &drum2);
  const bool first = pdev->drawing.plateSelector == 1;
  pdev->drawing.targetPlane = first ? drum1 : drum2;
  pdev->drawing.otherPlane = first ? drum2 : drum1;
  return pdev->drawing.targetPlane;
}

struct PatternBits {
  BYTE* bits = nullptr;
  ~PatternBits() {
    if (bits) GlobalFree(bits);
  }
};

PdevRect PlaneRect(const RenderPdev* pdev) { return PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}; }

}  // namespace

bool StrokeNeedsEngine(PATHOBJ* ppo, const LINEATTRS& la) {
  return (la.fl & LA_GEOMETRIC) || (ppo && ppo->fl == PO_BEZIERS) || la.iJoin == JOIN_MITER;
}

BOOL StrokeClipLines(RenderPdev* pdev, SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, LINEATTRS* pla,
                     MIX mix) {
  constexpr ULONG kClipLineBytes = 832;
  auto* buffer = static_cast<CLIPLINE*>(GlobalAlloc(GPTR, kClipLineBytes));
  if (!buffer) return FALSE;
  const ULONG room = static_cast<ULONG>((kClipLineBytes - offsetof(CLIPLINE, arun)) / sizeof(RUN));
  PatternBits pattern;
  pattern.bits = BrushToPattern(pdev, pbo, 32, 32, 0, TRUE);
  BYTE* target = ChoosePlanes(pdev, pso->lDelta);
  // Runs are kept inside the plane and the clip's bounds, with or without a clip.
  PdevRect limit = PlaneRect(pdev);
  if (pco && pco->iDComplexity != DC_TRIVIAL) RectIntersect(limit, InclusiveRect(pco->rclBounds), limit);
  PATHOBJ_vEnumStartClipLines(ppo, pco, pso, pla);
  BOOL more;
  do {
    buffer->c = 0;
    more = PATHOBJ_bEnumClipLines(ppo, kClipLineBytes, buffer);
    const ULONG runs = std::min(buffer->c, room);
    for (ULONG i = 0; i < runs && !RectIsEmpty(limit); ++i) {
      LONG x1, y1, x2, y2;
      ClipLineRunEnds(*buffer, i, x1, y1, x2, y2);
      x1 = std::clamp(x1, limit.left, limit.right);
      x2 = std::clamp(x2, limit.left, limit.right);
      y1 = std::clamp(y1, limit.top, limit.bottom);
      y2 = std::clamp(y2, limit.top, limit.bottom);
      DrawLine(pdev, target, x1, y1, x2, y2, 1, pso->lDelta, pattern.bits, SIZEL{32, 32}, mix & 0xFF);
    }
  } while (more);
  GlobalFree(buffer);
  return TRUE;
}

BOOL PaintPlanes(RenderPdev* pdev, SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, MIX mix, PatternRealizer realize) {
  SIZEL size = pdev->resolutionMode == 2 ? SIZEL{24, 12} : SIZEL{8, 8};
  PatternBits pattern;
  if (pbo && pbo->iSolidColor == kNoSolidColor) {
    pattern.bits = realize(pdev, pbo, &size, FALSE);
    if (!pattern.bits) return FALSE;
  } else {
    pattern.bits = BrushToPattern(pdev, pbo, size.cx, size.cy, 0, FALSE);
  }
  BYTE* target = ChoosePlanes(pdev, pso->lDelta);
  Rop2FillClip(pdev, pco, target, pso->lDelta, pattern.bits, size, mix & 0xFF);
  return TRUE;
}

BOOL LineToPlanes(RenderPdev* pdev, SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                  const RECTL* prclBounds, MIX mix, PatternRealizer realize) {
  // A complex clip is the engine's to break down.
  if (pco && pco->iDComplexity == DC_COMPLEX) return FALSE;
  PdevRect rect = PlaneRect(pdev);
  if (prclBounds && !IntersectClipBounds(rect, InclusiveRect(*prclBounds), rect)) return TRUE;
  if (pco && pco->iDComplexity == DC_RECT && !IntersectClipBounds(rect, InclusiveRect(pco->rclBounds), rect)) return TRUE;
  if (RectIsEmpty(rect) || !ClipLineToRect(rect, x1, y1, x2, y2)) return TRUE;
  SIZEL size{32, 32};
  PatternBits pattern;
  pattern.bits = realize(pdev, pbo, &size, TRUE);
  BYTE* target = ChoosePlanes(pdev, pso->lDelta);
  DrawLine(pdev, target, x1, y1, x2, y2, 1, pso->lDelta, pattern.bits, size, mix & 0xFF);
  return TRUE;
}

BOOL DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ*, XLATEOBJ* pxlo, ULONG iHatch) {
  RenderPdev* pdev = ValidPdevOf(psoTarget);
  if (!pdev) return FALSE;
  if (!psoPattern || !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!RealizeBrushRecord(pbo, psoPattern, pxlo, iHatch)) return FALSE;
  pdev->drawing.hatchMarker = static_cast<std::uint8_t>(iHatch + 1);
  return TRUE;
}

BOOL DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  FlushBeforeDrawing(pdev);
  return PaintPlanes(pdev, pso, pco, pbo, mix, RealizePattern);
}

BOOL DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* prclBounds,
               MIX mix) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  FlushBeforeDrawing(pdev);
  return LineToPlanes(pdev, pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix, RealizePattern);
}

BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                   LINEATTRS* plineattrs, MIX mix) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  FlushBeforeDrawing(pdev);
  LINEATTRS cosmetic{};
  cosmetic.elWidth.l = 1;
  const LINEATTRS& la = plineattrs ? *plineattrs : cosmetic;
  const bool styledArray = (la.fl & LA_STYLED) && la.pstyle;
  if ((pco && pco->iDComplexity == DC_COMPLEX) || styledArray) {
    if (StrokeNeedsEngine(ppo, la)) return FALSE;
    return StrokeOnInkPlane(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  }
  if (StrokeNeedsEngine(ppo, la)) return FALSE;
  if (la.elWidth.l != 1) return StrokeOnInkPlane(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  return StrokeClipLines(pdev, pso, ppo, pco, pbo, plineattrs, mix);
}

BOOL DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                          LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                          FLONG flOptions) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  // On two planes the engine routes the fill and the stroke to the entries
  // that put each colour on its plane.
  if (HasTwoPlanes(pdev)) return FALSE;
  EngFillPath(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions);
  if (!DrvStrokePath(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill))
    EngStrokePath(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill);
  return TRUE;
}

BOOL DrvFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
  // The engine breaks fills down into paints.
  if (!IsValidPdev(PdevFromSurface(pso))) SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
