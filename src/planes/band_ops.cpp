// Finished picture bands put on the planes, by copy or by the picture's
// ROP4, and the whole-area operations BLACKNESS and WHITENESS.
#include <algorithm>
#include <cstring>
#include <vector>

#include "planes/plane_ops.h"

namespace {

BYTE* OtherPlaneOf(RenderPdev* pdev, BYTE* plane) {
  if (!(pdev->flags & kPdevTwoPlanes)) return nullptr;
  return plane == pdev->drum1Plane ? pdev->drum2Plane : pdev->drum1Plane;
}

// dest cut to the plane, the band's origin moved with it; false when empty.
bool CutBand(const RenderPdev* pdev, const PdevRect& dest, POINTL origin, PdevRect& cut, PdevRect& bandRect) {
  cut = PdevRect{std::max(dest.left, 0), std::max(dest.top, 0), std::min(dest.right, pdev->planeWidth - 1),
                 std::min(dest.bottom, pdev->planeHeight - 1)};
  if (RectIsEmpty(cut)) return false;
  bandRect = PdevRect{origin.x + (cut.left - dest.left), origin.y + (cut.top - dest.top),
                      origin.x + (cut.right - dest.left), origin.y + (cut.bottom - dest.top)};
  return true;
}

// The picture's clip rectangles not yet whitened (or else the cut rect,
// unless the picture sits in a hole) made white before the band goes in.
void WhitenPictureArea(RenderPdev* pdev, BYTE* plane, BYTE* other, const PdevRect& cut, LONG stride,
                       ClipRectList* list) {
  if (list && list->entries && list->pictureFirst != list->count) {
    for (std::uint32_t i = list->pictureFirst; i <= list->pictureLast && i < list->count; ++i) {
      ClipRectEntry& e = list->entries[i];
      if (e.nothingToBlank == 1) continue;
      PdevRect r = e.rect;
      FillRectWhite(pdev, plane, r, stride);
      if (other) {
        r = e.rect;
        FillRectWhite(pdev, other, r, stride);
      }
      e.nothingToBlank = 1;
    }
    return;
  }
  if (pdev->image.blitState == kBlitHolePair) return;
  PdevRect r = cut;
  FillRectWhite(pdev, plane, r, stride);
}

// The band's rows over bandRect inverted into a private buffer (the caller's
// band is not written).
std::vector<BYTE> InvertedBand(const BYTE* band, const PdevRect& bandRect, LONG bandStride, PdevRect& outRect,
                               LONG& outStride) {
  const std::int64_t first = bandRect.left / 8, last = bandRect.right / 8;
  outStride = static_cast<LONG>(last - first + 1);
  const std::int64_t rows = RectHeight(bandRect);
  std::vector<BYTE> out(static_cast<std::size_t>(outStride * rows));
  for (std::int64_t y = 0; y < rows; ++y) {
    const BYTE* s = band + (bandRect.top + y) * std::int64_t{bandStride} + first;
    for (LONG k = 0; k < outStride; ++k) out[static_cast<std::size_t>(y * outStride + k)] = static_cast<BYTE>(~s[k]);
  }
  outRect = PdevRect{static_cast<LONG>(bandRect.left - 8 * first), 0, static_cast<LONG>(bandRect.right - 8 * first),
                     static_cast<LONG>(rows - 1)};
  return out;
}

bool RopIn(ULONG rop4, std::initializer_list<ULONG> set) {
  for (ULONG r : set)
    if (r == rop4) return true;
  return false;
}

}  // namespace

BOOL CopyHalftoneBand(RenderPdev* pdev, const BYTE* band, POINTL bandOrigin, LONG bandStride, BYTE* plane,
                      const PdevRect& dest, LONG planeStride, ClipRectList* clipRects) {
  if (!pdev || !band || !plane) return FALSE;
  PdevRect cut, bandRect;
  if (!CutBand(pdev, dest, bandOrigin, cut, bandRect)) return TRUE;
  WhitenPictureArea(pdev, plane, OtherPlaneOf(pdev, plane), cut, planeStride, clipRects);
  return AndRowsIntoPlane(pdev, plane, cut, planeStride, band, bandRect, bandStride);
}

BOOL CombineHalftoneBand(RenderPdev* pdev, const BYTE* band, POINTL bandOrigin, LONG bandStride, BYTE* plane,
                         const PdevRect& dest, LONG planeStride, ClipRectList* clipRects) {
  if (!pdev || !band || !plane) return FALSE;
  PdevRect cut, bandRect;
  if (!CutBand(pdev, dest, bandOrigin, cut, bandRect)) return TRUE;
  const ULONG rop = pdev->drawing.previousRop4;  // the picture's ROP4
  BYTE* other = OtherPlaneOf(pdev, plane);
  // NOTSRCCOPY whitens the area and ANDs the inverted picture in; MERGEPAINT
  // ORs the inverted picture into what is there.
  if (rop == kRop4NotSrcCopy) WhitenPictureArea(pdev, plane, other, cut, planeStride, clipRects);
  std::vector<BYTE> inverted;
  const BYTE* rows = band;
  PdevRect rowsRect = bandRect;
  LONG rowsStride = bandStride;
  if (RopIn(rop, {kRop4Dsna, kRop4NotSrcCopy, kRop4MergePaint})) {
    inverted = InvertedBand(band, bandRect, bandStride, rowsRect, rowsStride);
    rows = inverted.data();
  }
  auto invertPlane = [&] {
    PdevRect r = cut;
    InvertRect(pdev, plane, r, planeStride);
  };
  if (RopIn(rop, {kRop4SrcErase, kRop4Sdno})) invertPlane();
  if (RopIn(rop, {kRop4Dsna, kRop4NotSrcCopy, kRop4SrcErase, kRop4Dsan, kRop4SrcAnd})) {
    AndRowsIntoPlane(pdev, plane, cut, planeStride, rows, rowsRect, rowsStride);
    if (rop == kRop4SrcAnd && other) {
      PdevRect invRect;
      LONG invStride;
      std::vector<BYTE> knockOut = InvertedBand(band, bandRect, bandStride, invRect, invStride);
      OrRowsIntoPlane(pdev, other, cut, planeStride, knockOut.data(), invRect, invStride);
    }
  }
  if (RopIn(rop, {kRop4NotSrcErase, kRop4Sdno, kRop4SrcPaint, kRop4MergePaint}))
    OrRowsIntoPlane(pdev, plane, cut, planeStride, rows, rowsRect, rowsStride);
  if (RopIn(rop, {kRop4SrcInvert, kRop4Dsxn})) XorRowsIntoPlane(pdev, plane, cut, planeStride, rows, rowsRect, rowsStride);
  if (RopIn(rop, {kRop4NotSrcErase, kRop4Dsan, kRop4Dsxn})) invertPlane();
  return TRUE;
}

BOOL BlacknessToPlanes(SURFOBJ* pso, CLIPOBJ* clip, const PdevRect& dest) {
  RenderPdev* pdev = PdevFromSurface(pso);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  ForEachClipRect(pdev, drum2, dest, pso->lDelta, clip, FillRectInk);
  if ((pdev->flags & kPdevTwoPlanes) && drum1 != drum2) ForEachClipRect(pdev, drum1, dest, pso->lDelta, clip, FillRectWhite);
  return TRUE;
}

BOOL WhitenessToPlanes(SURFOBJ* pso, CLIPOBJ* clip, const PdevRect& dest) {
  RenderPdev* pdev = PdevFromSurface(pso);
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
  ForEachClipRect(pdev, drum2, dest, pso->lDelta, clip, FillRectWhite);
  if (drum1 != drum2) ForEachClipRect(pdev, drum1, dest, pso->lDelta, clip, FillRectWhite);
  return TRUE;
}
