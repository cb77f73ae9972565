// Engine strokes on the plane of the pen's ink.
#include "render/stroke_planes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/image_entries.h"
#include "render/brush_patterns.h"

BOOL ColourUsesSecondPlane(RenderPdev* pdev, BRUSHOBJ* brush) {
  if (!(pdev->flags & kPdevTwoPlanes)) return FALSE;
  if (brush && brush->iSolidColor == kNoSolidColor && brush->pvRbrush) return FALSE;
  const ULONG rgb = (brush && brush->iSolidColor != kNoSolidColor) ? brush->iSolidColor & 0xFFFFFF : 0xFFFFFF;
  std::uint8_t plate = 2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(pdev->separationModes[0]), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          kObjectKindText, &plate, &density);
  return plate == 1 ? TRUE : FALSE;
}

void RestoreStrokeRows(RenderPdev* pdev) {
  PdevDrawState& ds = pdev->drawing;
  if (!ds.strokeSwapped) return;
  const std::size_t stride = static_cast<std::size_t>(pdev->planeStride);
  const std::size_t offset = static_cast<std::size_t>(ds.strokeRowsTop) * stride;
  const std::size_t bytes = static_cast<std::size_t>(ds.strokeRowsBottom - ds.strokeRowsTop + 1) * stride;
  std::memcpy(pdev->drum1Plane + offset, pdev->drum2Plane + offset, bytes);
  std::memcpy(pdev->drum2Plane + offset, ds.strokeSavedRows, bytes);
  GlobalFree(ds.strokeSavedRows);
  ds.strokeSavedRows = nullptr;
  ds.strokeSwapped = 0;
}

BOOL StrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                      LINEATTRS* plineattrs, MIX mix) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!ColourUsesSecondPlane(pdev, pbo) || pdev->drum1Plane == pdev->drum2Plane)
    return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  RestoreStrokeRows(pdev);
  // The rows the stroke can reach: the path's bounds and the pen around them.
  RECTFX bounds;
  PATHOBJ_vGetBounds(ppo, &bounds);
  double pen = 1;
  if (plineattrs && (plineattrs->fl & LA_GEOMETRIC)) {
    const double w = plineattrs->elWidth.e;
    const double miter = plineattrs->iJoin == JOIN_MITER ? std::max(1.0f, plineattrs->eMiterLimit) : 1.0;
    pen = std::isfinite(w) ? std::min(w * miter + 2, 1.0e6) : 1.0e6;
  }
  const double top = std::floor(bounds.yTop / 16.0 - pen), bottom = std::ceil(bounds.yBottom / 16.0 + pen);
  const LONG first = static_cast<LONG>(std::clamp(top, 0.0, static_cast<double>(pdev->planeHeight - 1)));
  const LONG last = static_cast<LONG>(std::clamp(bottom, 0.0, static_cast<double>(pdev->planeHeight - 1)));
  const std::size_t stride = static_cast<std::size_t>(pdev->planeStride);
  const std::size_t offset = static_cast<std::size_t>(first) * stride;
  const std::size_t bytes = static_cast<std::size_t>(last - first + 1) * stride;
  auto* saved = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
  if (!saved) return FALSE;
  std::memcpy(saved, pdev->drum2Plane + offset, bytes);
  std::memcpy(pdev->drum2Plane + offset, pdev->drum1Plane + offset, bytes);
  PdevDrawState& ds = pdev->drawing;
  ds.strokeSavedRows = saved;
  ds.strokeRowsTop = first;
  ds.strokeRowsBottom = last;
  ds.strokeSwapped = 1;
  const BOOL drawn = EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  RestoreStrokeRows(pdev);
  return drawn;
}
