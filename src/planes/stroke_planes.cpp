// Engine strokes on the plane of the pen's ink.
#include "planes/stroke_planes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "planes/colour_classes.h"
#include "planes/plane_ops.h"

BOOL ColourUsesSecondPlane(RenderPdev* pdev, BRUSHOBJ* brush) {
  if (!HasTwoPlanes(pdev)) return FALSE;
  if (brush && brush->iSolidColor == kNoSolidColor && brush->pvRbrush) return FALSE;
  const ULONG rgb = (brush && brush->iSolidColor != kNoSolidColor) ? brush->iSolidColor & 0xFFFFFF : 0xFFFFFF;
  std::uint8_t plate = 2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(pdev->separationModes[0]), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          kObjectKindText, &plate, &density);
  return plate == 1 ? TRUE : FALSE;
}

namespace {

// Copies the bytes of rect's rows that hold its dots between a plane and a
// packed block; to the block when toBlock.
void CopyRectBytes(const RenderPdev* pdev, BYTE* plane, BYTE* block, const PdevRect& r, bool toBlock) {
  const std::size_t stride = static_cast<std::size_t>(pdev->planeStride);
  const std::size_t first = static_cast<std::size_t>(r.left / 8);
  const std::size_t width = static_cast<std::size_t>(r.right / 8) - first + 1;
  for (std::int32_t y = r.top; y <= r.bottom; ++y, block += width) {
    BYTE* row = plane + static_cast<std::size_t>(y) * stride + first;
    if (toBlock)
      std::memcpy(block, row, width);
    else
      std::memcpy(row, block, width);
  }
}

// Copies rect's bytes from one plane to the other.
void CopyPlaneBytes(const RenderPdev* pdev, const BYTE* from, BYTE* to, const PdevRect& r) {
  const std::size_t stride = static_cast<std::size_t>(pdev->planeStride);
  const std::size_t first = static_cast<std::size_t>(r.left / 8);
  const std::size_t width = static_cast<std::size_t>(r.right / 8) - first + 1;
  for (std::int32_t y = r.top; y <= r.bottom; ++y) {
    const std::size_t at = static_cast<std::size_t>(y) * stride + first;
    std::memcpy(to + at, from + at, width);
  }
}

}  // namespace

void RestoreStrokeRows(RenderPdev* pdev) {
  PdevDrawState& ds = pdev->drawing;
  if (!ds.strokeSwapped) return;
  CopyPlaneBytes(pdev, pdev->drum2Plane, pdev->drum1Plane, ds.strokeRect);
  CopyRectBytes(pdev, pdev->drum2Plane, ds.strokeSaved, ds.strokeRect, false);
  GlobalFree(ds.strokeSaved);
  ds.strokeSaved = nullptr;
  ds.strokeSwapped = 0;
}

PdevRect StrokeReach(const RenderPdev* pdev, PATHOBJ* ppo, const LINEATTRS* plineattrs) {
  RECTFX bounds;
  PATHOBJ_vGetBounds(ppo, &bounds);
  double pen = 2;
  if (plineattrs && (plineattrs->fl & LA_GEOMETRIC)) {
    const double w = plineattrs->elWidth.e;
    const double miter = plineattrs->iJoin == JOIN_MITER ? std::max(1.0f, plineattrs->eMiterLimit) : 1.0;
    pen = std::isfinite(w) ? std::min(w * miter + 2, 1.0e6) : 1.0e6;
  }
  auto clamp = [](double v, std::int32_t hi) {
    return static_cast<std::int32_t>(std::clamp(v, 0.0, static_cast<double>(std::max(hi, 0))));
  };
  return PdevRect{clamp(std::floor(bounds.xLeft / 16.0 - pen), pdev->planeWidth - 1),
                  clamp(std::floor(bounds.yTop / 16.0 - pen), pdev->planeHeight - 1),
                  clamp(std::ceil(bounds.xRight / 16.0 + pen), pdev->planeWidth - 1),
                  clamp(std::ceil(bounds.yBottom / 16.0 + pen), pdev->planeHeight - 1)};
}

BOOL ExchangeStrokeRows(RenderPdev* pdev, const PdevRect& r) {
  const std::size_t bytes =
      static_cast<std::size_t>(r.right / 8 - r.left / 8 + 1) * static_cast<std::size_t>(r.bottom - r.top + 1);
  auto* saved = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes));
  if (!saved) return FALSE;
  CopyRectBytes(pdev, pdev->drum2Plane, saved, r, true);
  CopyPlaneBytes(pdev, pdev->drum1Plane, pdev->drum2Plane, r);
  PdevDrawState& ds = pdev->drawing;
  ds.strokeSaved = saved;
  ds.strokeRect = r;
  ds.strokeSwapped = 1;
  return TRUE;
}

BOOL StrokeOnDrumOneRows(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                         POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  RenderPdev* pdev = PdevFromSurface(pso);
  RestoreStrokeRows(pdev);
  if (!ExchangeStrokeRows(pdev, StrokeReach(pdev, ppo, plineattrs))) return FALSE;
  const BOOL drawn = EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  RestoreStrokeRows(pdev);
  return drawn;
}

BOOL StrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                      LINEATTRS* plineattrs, MIX mix) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!ColourUsesSecondPlane(pdev, pbo) || pdev->drum1Plane == pdev->drum2Plane)
    return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
  return StrokeOnDrumOneRows(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}
