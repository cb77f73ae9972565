// Rectangle, unit and byte-rectangle helpers of the plane routines. Sizes are
// 64-bit so that no width or height from a caller can wrap.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "planes/plane_ops.h"

namespace {
constexpr std::int64_t kMaxStride = std::numeric_limits<LONG>::max();

// Element j of a run of n taken from a run of total by the step counter:
// for each source element the sum grows by n, and an element is taken each
// time the sum reaches total, so the last of each group survives.
template <typename Fn>
void ForEachKept(std::int64_t total, std::int64_t n, Fn take) {
  std::int64_t sum = 0;
  std::int64_t out = 0;
  for (std::int64_t i = 0; i < total && out < n; ++i) {
    sum += n;
    if (sum >= total) {
      take(i, out++);
      sum -= total;
    }
  }
}
}  // namespace

ULONG DotsToMillimetres(ULONG dots, USHORT dpi) {
  if (dpi == 0) return 0;
  std::uint64_t den = std::uint64_t{dpi} * 10;
  return static_cast<ULONG>((std::uint64_t{dots} * 254 + den - 1) / den);
}

std::int64_t RectWidth(const PdevRect& r) {
  return std::abs(static_cast<std::int64_t>(r.right) - r.left) + 1;
}
std::int64_t RectHeight(const PdevRect& r) {
  return std::abs(static_cast<std::int64_t>(r.bottom) - r.top) + 1;
}

void RectIntersect(const PdevRect& a, const PdevRect& b, PdevRect& out) {
  out = PdevRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

void RectUnion(const PdevRect& a, const PdevRect& b, PdevRect& out) {
  out = PdevRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                 std::max(a.bottom, b.bottom)};
}

BOOL RectIsEmpty(const PdevRect& r) { return (r.right < r.left || r.bottom < r.top) ? TRUE : FALSE; }

std::int64_t AlignTo4(std::int64_t n) {
  if (n < 0 || n > std::numeric_limits<std::int64_t>::max() - 3) return -1;
  return (n + 3) & ~std::int64_t{3};
}

std::int64_t RowBytes1bpp(std::int64_t width) {
  if (width < 0 || width > std::numeric_limits<std::int64_t>::max() - 7) return -1;
  return (width + 7) / 8;
}

std::int64_t RowBytesForFormat(std::int64_t width, ULONG format) {
  if (width < 0 || width > kMaxStride) return -1;
  std::int64_t bytes = 0;
  switch (format) {
    case BMF_1BPP: bytes = (width + 7) / 8; break;
    case BMF_4BPP: bytes = (width + 1) / 2; break;
    case BMF_8BPP: bytes = width; break;
    case BMF_16BPP: bytes = 2 * width; break;
    case BMF_24BPP: bytes = 3 * width; break;
    case BMF_32BPP: bytes = 4 * width; break;
    default: return 0;
  }
  bytes = AlignTo4(bytes);
  return bytes > kMaxStride ? -1 : bytes;
}

LONG CopyPixelRectReduce(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                         LONG dstStride, LONG pixelBytes) {
  if (!src || !dst || pixelBytes <= 0) return -1;
  const std::int64_t W = RectWidth(srcRect), H = RectHeight(srcRect);
  const std::int64_t w = RectWidth(dstRect), h = RectHeight(dstRect);
  if (W < w && H < h) return -1;
  const std::int64_t n = pixelBytes;
  const std::int64_t sx = std::min(srcRect.left, srcRect.right), sy = std::min(srcRect.top, srcRect.bottom);
  const std::int64_t dx = std::min(dstRect.left, dstRect.right), dy = std::min(dstRect.top, dstRect.bottom);
  auto srcRow = [&](std::int64_t i) { return src + (sy + i) * std::int64_t{srcStride} + sx * n; };
  auto dstRow = [&](std::int64_t k) { return dst + (dy + k) * std::int64_t{dstStride} + dx * n; };
  if (W == w && H == h) {
    if (src == dst) return -1;
    for (std::int64_t i = 0; i < H; ++i) std::memmove(dstRow(i), srcRow(i), static_cast<std::size_t>(W * n));
    return 1;
  }
  // A destination larger in one direction keeps the source size there.
  auto copyRow = [&](std::int64_t i, std::int64_t k) {
    const BYTE* s = srcRow(i);
    BYTE* d = dstRow(k);
    if (w < W && n == 1)
      ForEachKept(W, w, [&](std::int64_t j, std::int64_t m) { d[m] = s[j]; });
    else if (w < W)
      ForEachKept(W, w, [&](std::int64_t j, std::int64_t m) { std::memcpy(d + m * n, s + j * n, static_cast<std::size_t>(n)); });
    else
      std::memmove(d, s, static_cast<std::size_t>(W * n));
  };
  if (h < H)
    ForEachKept(H, h, copyRow);
  else
    for (std::int64_t i = 0; i < H; ++i) copyRow(i, i);
  return 1;
}

LONG CopyRectReduce(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                    LONG dstStride) {
  return CopyPixelRectReduce(src, srcRect, srcStride, dst, dstRect, dstStride, 1);
}

void CopyRectOverlap(BYTE* dst, const PdevRect& dstRect, LONG dstStride, const BYTE* src, const PdevRect& srcRect,
                     LONG srcStride) {
  if (!src || !dst) return;
  const std::int64_t width = std::min(RectWidth(srcRect), RectWidth(dstRect));
  const std::int64_t height = std::min(RectHeight(srcRect), RectHeight(dstRect));
  const std::int64_t sx = std::min(srcRect.left, srcRect.right), sy = std::min(srcRect.top, srcRect.bottom);
  const std::int64_t dx = std::min(dstRect.left, dstRect.right), dy = std::min(dstRect.top, dstRect.bottom);
  for (std::int64_t y = 0; y < height; ++y)
    std::memmove(dst + (dy + y) * std::int64_t{dstStride} + dx, src + (sy + y) * std::int64_t{srcStride} + sx,
                 static_cast<std::size_t>(width));
}

SourceRects SourceRectsFor(const SURFOBJ* src, const RECTL& target, const POINTL* srcOrigin) {
  SourceRects r{InclusiveRect(target), {}, false};
  const POINTL origin = srcOrigin ? *srcOrigin : POINTL{0, 0};
  r.source = PdevRect{origin.x, origin.y, static_cast<LONG>(origin.x + (r.dest.right - r.dest.left)),
                      static_cast<LONG>(origin.y + (r.dest.bottom - r.dest.top))};
  // Both rectangles are cut to the source bitmap: a caller's origin never
  // reads outside its bits.
  if (r.source.left < 0) r.dest.left -= r.source.left, r.source.left = 0;
  if (r.source.top < 0) r.dest.top -= r.source.top, r.source.top = 0;
  if (r.source.right > src->sizlBitmap.cx - 1)
    r.dest.right -= r.source.right - (src->sizlBitmap.cx - 1), r.source.right = src->sizlBitmap.cx - 1;
  if (r.source.bottom > src->sizlBitmap.cy - 1)
    r.dest.bottom -= r.source.bottom - (src->sizlBitmap.cy - 1), r.source.bottom = src->sizlBitmap.cy - 1;
  r.usable = !RectIsEmpty(r.dest) && !RectIsEmpty(r.source) && src->pvScan0 && src->lDelta != 0;
  return r;
}
