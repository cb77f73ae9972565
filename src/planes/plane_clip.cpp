// Fills and kernels through clip objects, and the plane addresses of a
// surface stride.
#include <algorithm>

#include "planes/plane_ops.h"
#include "planes/row_kernels.h"
#include "plat/engine_draw.h"

namespace {


// Calls f with each enumerated rectangle of a clip, made inclusive.
template <typename F>
void ForEachEnumeratedRect(CLIPOBJ* clip, F f) {
  ForEachEnumeratedClipRect(clip, [&](const RECTL& r) { f(InclusiveRect(r)); });
}

}  // namespace

BOOL Rop2FillClip(RenderPdev* pdev, CLIPOBJ* clip, BYTE* target, LONG stride, const BYTE* pattern,
                  SIZEL patternSize, ULONG rop2) {
  if (!clip) return TRUE;
  const PdevRect bounds = InclusiveRect(clip->rclBounds);
  if (clip->iDComplexity == DC_RECT) return Rop2FillPlanes(pdev, bounds, target, stride, pattern, patternSize, rop2);
  ForEachEnumeratedRect(clip, [&](const PdevRect& r) {
    PdevRect cut;
    RectIntersect(r, bounds, cut);
    if (!RectIsEmpty(cut)) Rop2FillPlanes(pdev, cut, target, stride, pattern, patternSize, rop2);
  });
  return TRUE;
}

BOOL ForEachClipRect(RenderPdev* pdev, BYTE* plane, const PdevRect& rect, LONG stride, CLIPOBJ* clip,
                     RectKernel kernel) {
  if (!kernel) return TRUE;
  if (!clip || clip->iDComplexity == DC_TRIVIAL) {
    PdevRect r = rect;
    return kernel(pdev, plane, r, stride);
  }
  if (clip->iDComplexity == DC_RECT) {
    PdevRect r;
    RectIntersect(rect, InclusiveRect(clip->rclBounds), r);
    return RectIsEmpty(r) ? TRUE : kernel(pdev, plane, r, stride);
  }
  ForEachEnumeratedRect(clip, [&](const PdevRect& c) {
    PdevRect r;
    RectIntersect(rect, c, r);
    if (!RectIsEmpty(r)) kernel(pdev, plane, r, stride);
  });
  return TRUE;
}

void GetInkPlanes(RenderPdev* pdev, LONG stride, BYTE** drum1Plane, BYTE** drum2Plane) {
  BYTE* one = pdev->drum1Plane;
  BYTE* two = pdev->drum2Plane;
  if (stride < 0 && pdev->planeHeight > 0) {
    const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(pdev->planeHeight - 1) * -static_cast<std::ptrdiff_t>(stride);
    if (one) one += last;
    if (two) two += last;
  }
  if (drum1Plane) *drum1Plane = one;
  if (drum2Plane) *drum2Plane = two;
}
