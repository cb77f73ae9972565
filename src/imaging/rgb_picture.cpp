#include "imaging/rgb_picture.h"

#include <algorithm>
#include <cstring>

#include "imaging/scratch.h"
#include "planes/plane_ops.h"

namespace imaging {

LONG Copy24Reduce(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                  LONG dstStride) {
  return CopyPixelRectReduce(src, srcRect, srcStride, dst, dstRect, dstStride, 3);
}

namespace {

// A 24-bit rect as the byte rect of its rows.
PdevRect BytesOf(const PdevRect& r) {
  const std::int32_t left = std::min(r.left, r.right), right = std::max(r.left, r.right);
  return {3 * left, std::min(r.top, r.bottom), 3 * right + 2, std::max(r.top, r.bottom)};
}

}  // namespace

void Copy24Rect(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                LONG dstStride) {
  CopyRectOverlap(dst, BytesOf(dstRect), dstStride, src, BytesOf(srcRect), srcStride);
}

void FillRect24White(BYTE* buffer, const PdevRect& rect, LONG stride) {
  if (!buffer) return;
  const std::int64_t left = std::max(rect.left, 0), top = std::max(rect.top, 0);
  if (rect.right < left || rect.bottom < top) return;
  const auto bytes = static_cast<std::size_t>(3 * (std::int64_t{rect.right} - left + 1));
  for (std::int64_t y = top; y <= rect.bottom; ++y) std::memset(buffer + y * stride + 3 * left, 0xFF, bytes);
}

int SharpenBlockSide(std::int64_t resolution) {
  if (resolution < 150) return 1;
  return static_cast<int>(std::min<std::int64_t>(6, (resolution - 150) / 100 + 2));
}

namespace {

inline BYTE Clamp(int v) { return static_cast<BYTE>(std::clamp(v, 0, 255)); }

// Pixel by pixel: 8c less the four neighbours, over 4, from the original rows.
bool SharpenPixels(BYTE* picture, LONG width, LONG height, LONG stride) {
  if (width < 3 || height < 3) return true;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  Scratch rows(CheckedBytes(rowBytes, 3));
  if (!rows) return false;
  BYTE* window[3] = {rows.data(), rows.data() + rowBytes, rows.data() + 2 * rowBytes};
  auto row = [&](LONG y) { return picture + static_cast<std::ptrdiff_t>(y) * stride; };
  std::memcpy(window[0], row(0), rowBytes);
  std::memcpy(window[1], row(1), rowBytes);
  for (LONG y = 1; y + 1 < height; ++y) {
    std::memcpy(window[2], row(y + 1), rowBytes);
    const BYTE *up = window[0], *own = window[1], *down = window[2];
    BYTE* out = row(y);
    for (std::size_t i = 3; i + 3 < rowBytes; ++i)
      out[i] = Clamp((8 * own[i] - own[i - 3] - own[i + 3] - up[i] - down[i]) / 4);
    std::rotate(window, window + 1, window + 3);
  }
  return true;
}

// Block by block: each inner block's pixels become 2c less the mean of the
// four neighbouring blocks' means, the means taken from the original.
bool SharpenBlocks(BYTE* picture, LONG width, LONG height, LONG stride, int side) {
  const LONG across = width / side, down = height / side;
  if (across < 3 || down < 3) return true;
  const std::size_t rowMeans = static_cast<std::size_t>(across) * 3;
  Scratch memory(CheckedBytes(rowMeans, 3, sizeof(int)));
  if (!memory) return false;
  int* window[3] = {memory.as<int>(), memory.as<int>() + rowMeans, memory.as<int>() + 2 * rowMeans};
  const int area = side * side;
  auto means = [&](LONG blockRow, int* out) {
    std::fill(out, out + rowMeans, 0);
    for (int dy = 0; dy < side; ++dy) {
      const BYTE* row = picture + static_cast<std::ptrdiff_t>(blockRow * side + dy) * stride;
      for (LONG bx = 0; bx < across; ++bx)
        for (int dx = 0; dx < side; ++dx)
          for (int c = 0; c < 3; ++c) out[3 * bx + c] += row[3 * (bx * side + dx) + c];
    }
    for (std::size_t i = 0; i < rowMeans; ++i) out[i] /= area;
  };
  means(0, window[0]);
  means(1, window[1]);
  for (LONG by = 1; by + 1 < down; ++by) {
    means(by + 1, window[2]);
    const int *up = window[0], *own = window[1], *below = window[2];
    for (int dy = 0; dy < side; ++dy) {
      BYTE* row = picture + static_cast<std::ptrdiff_t>(by * side + dy) * stride;
      for (LONG bx = 1; bx + 1 < across; ++bx)
        for (int c = 0; c < 3; ++c) {
          const LONG i = 3 * bx + c;
          const int around = (own[i - 3] + own[i + 3] + up[i] + below[i]) / 4;
          for (int dx = 0; dx < side; ++dx) {
            BYTE& p = row[3 * (bx * side + dx) + c];
            p = Clamp(2 * p - around);
          }
        }
    }
    std::rotate(window, window + 1, window + 3);
  }
  return true;
}

}  // namespace

bool SharpenImage(BYTE* picture, LONG width, LONG height, LONG stride, const PdevRect& target, LONG dpiX,
                  LONG dpiY) {
  const std::int64_t targetWidth = RectWidth(target), targetHeight = RectHeight(target);
  if (!picture || width <= 0 || height <= 0 || targetWidth < 2 || targetHeight < 2) return true;
  const std::int64_t r = std::max(std::int64_t{dpiX} * (width - 1) / (targetWidth - 1),
                                  std::int64_t{dpiY} * (height - 1) / (targetHeight - 1));
  const int side = SharpenBlockSide(r);
  return side == 1 ? SharpenPixels(picture, width, height, stride) : SharpenBlocks(picture, width, height, stride, side);
}

namespace {

// dest cut to the page; false when nothing is left.
bool CutToPage(const RenderPdev* pdev, const PdevRect& dest, PdevRect& cut, PdevRect& plateRect) {
  cut = PdevRect{std::max(dest.left, 0), std::max(dest.top, 0), std::min(dest.right, pdev->planeWidth - 1),
                 std::min(dest.bottom, pdev->planeHeight - 1)};
  if (RectIsEmpty(cut)) return false;
  plateRect = PdevRect{cut.left - dest.left, cut.top - dest.top, cut.right - dest.left, cut.bottom - dest.top};
  return true;
}

}  // namespace

BOOL CopyBandPlates(RenderPdev* pdev, const BYTE* plate1, const BYTE* plate2, LONG bandStride, const PdevRect& dest,
                    BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride) {
  if (!pdev || !plate1 || !plate2 || !drum1Plane || !drum2Plane) return FALSE;
  // The first copy whitens the clip rectangles on both planes and marks them.
  ClipRectList* list = &pdev->shared.clipRects;
  return CopyHalftoneBand(pdev, plate1, {0, 0}, bandStride, drum1Plane, dest, planeStride, list) &&
         CopyHalftoneBand(pdev, plate2, {0, 0}, bandStride, drum2Plane, dest, planeStride, list);
}

BOOL CombineBandPlates(RenderPdev* pdev, const BYTE* plate1, const BYTE* plate2, LONG bandStride,
                       const PdevRect& dest, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride) {
  if (!pdev || !plate1 || !plate2 || !drum1Plane || !drum2Plane) return FALSE;
  if (pdev->drawing.previousRop4 == kRop4SrcAnd) {
    // Each plate masks its own plane; no plate knocks out the other ink.
    PdevRect cut, plateRect;
    if (!CutToPage(pdev, dest, cut, plateRect)) return TRUE;
    AndRowsIntoPlane(pdev, drum1Plane, cut, planeStride, plate1, plateRect, bandStride);
    AndRowsIntoPlane(pdev, drum2Plane, cut, planeStride, plate2, plateRect, bandStride);
    return TRUE;
  }
  ClipRectList* list = &pdev->shared.clipRects;
  return CombineHalftoneBand(pdev, plate1, {0, 0}, bandStride, drum1Plane, dest, planeStride, list) &&
         CombineHalftoneBand(pdev, plate2, {0, 0}, bandStride, drum2Plane, dest, planeStride, list);
}

}  // namespace imaging
