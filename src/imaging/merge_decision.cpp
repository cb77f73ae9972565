// The merge decision shared by the 8-bit and RGB band caches: whether a new
// strip continues the pending picture, and the resampling that lets it.
#include <algorithm>
#include <cstring>

#include "imaging/image_copy.h"
#include "imaging/merge_decision.h"
#include "imaging/scratch.h"
#include "planes/plane_ops.h"
#include "planes/rect_ops.h"

namespace imaging {

namespace {

constexpr PdevRect kEmptyRect{0, 0, -1, -1};

bool Complex(BYTE complexity) { return complexity == DC_COMPLEX; }
bool LowBytesEqual(std::uint32_t a, std::uint32_t b) { return Rop3Of(a) == Rop3Of(b); }

bool Pending(const ImageBandCache& cache, int kind) {
  return kind == kCacheRgb ? cache.rgb.buffer != nullptr : cache.target.buffer != nullptr;
}

// min..max of the two edges.
std::pair<std::int32_t, std::int32_t> Span(std::int32_t a, std::int32_t b) { return {std::min(a, b), std::max(a, b)}; }

bool Within(std::int32_t lo, std::int32_t hi, std::int32_t v) { return lo <= v && v <= hi; }

// Directly after, or overlapping the last row or column.
bool Follows(std::int32_t next, std::int32_t lastEnd) { return next == lastEnd + 1 || next <= lastEnd; }

// The horizontal spans share more than an end point.
bool SpansShareMore(const PdevRect& L, const PdevRect& N) {
  const bool nHoldsL = N.left <= L.left && L.right <= N.right;
  const bool lHoldsN = L.left <= N.left && N.right <= L.right;
  return nHoldsL || lHoldsN || (N.left < L.right && N.right > L.left);
}

}  // namespace

bool AreObjectsAdjacent(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& L, const PdevRect& N,
                        const PdevRect& M) {
  cache.mergeState = 0;
  const auto [lx0, lx1] = Span(L.left, L.right);
  const auto [ly0, ly1] = Span(L.top, L.bottom);
  const auto [nx0, nx1] = Span(N.left, N.right);
  const auto [ny0, ny1] = Span(N.top, N.bottom);
  if (Within(lx0, lx1, nx0) && Within(lx0, lx1, nx1) && Within(ly0, ly1, ny0) && Within(ly0, ly1, ny1)) return false;
  if (RectsTouch(L, N)) {
    // The plug-in's pieces keep their exclusive bottom: the next strip starts
    // on the last one's bottom row.
    if (IsPluginPdev(pdev) && N.top == L.bottom && N.top > L.top && SpansShareMore(L, N)) return true;
    if (N.left == L.left && std::abs(L.right - N.right) <= 1 && M.left == N.left && std::abs(M.right - N.right) <= 1)
      return true;
    if (N.top == L.top && std::abs(L.bottom - N.bottom) <= 1 && M.top == N.top && std::abs(M.bottom - N.bottom) <= 1)
      return true;
    if (N.left == M.left && Follows(N.top, L.bottom) && N.right <= L.right) {
      if (L.top < N.top && N.right <= L.left) cache.mergeState = kMergeNextRowLeft;
      return true;
    }
    if (L.top == N.top && L.bottom == N.bottom && L.left < N.left && Follows(N.left, L.right)) return true;
    if (N.top == M.top && Follows(N.left, L.right) && N.bottom <= L.bottom) return true;
    if (L.left == N.left && L.right == N.right && L.top < N.top && Follows(N.top, L.bottom)) return true;
    return false;
  }
  if (N.left == M.left && L.top < N.top && Follows(N.top, L.bottom) && N.right <= L.left) {
    cache.mergeState = kMergeNextRowLeft;
    return true;
  }
  if (N.top == M.top && L.left < N.left && Follows(N.left, L.right) && N.bottom <= L.bottom) return true;
  if (N.right <= M.right && (N.left == L.right || N.left == L.right + 1) && N.bottom <= L.top) {
    cache.mergeState = kMergeNextRightAbove;
    return true;
  }
  return false;
}

bool StripContinuesImage(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& L, const PdevRect& N,
                         const PdevRect& M) {
  const PdevDrawState& d = pdev->drawing;
  const bool copies = d.rop4 == kRop4SrcCopy && d.previousRop4 == kRop4SrcCopy;
  bool answer;
  if (copies && !Complex(d.clipComplexity)) {
    if (N.left == M.left && N.right == M.right && L.left == M.left && L.right == M.right && N.bottom < M.top &&
        std::int64_t{L.bottom} - M.top >= std::int64_t{M.top} - N.top)
      answer = true;  // a strip stacked above
    else
      answer = RectsTouch(M, N);
  } else if (!Complex(d.clipComplexity) && pdev->image.blitState == kBlitIdle) {
    answer = false;
  } else {
    const PdevRect n{N.left, N.top, N.right + 1, N.bottom + 1};
    const PdevRect m{M.left, M.top, M.right + 1, M.bottom + 1};
    answer = RectsTouch(m, n) || (copies && Complex(d.clipComplexity) && Complex(d.previousClipComplexity) &&
                                  d.sourceId == d.previousSourceId + 1);
  }
  if (answer) cache.mergeState = kMergeContinues;
  return answer;
}

int DecideMerge(RenderPdev* pdev, ImageBandCache& cache, const PdevRect* newTarget, ULONG format, int kind) {
  PdevRect& M = pdev->image.operationRect;
  PdevRect& L = pdev->image.earlierRect;
  const PdevDrawState& d = pdev->drawing;
  const bool pending = Pending(cache, kind);
  if (!newTarget) {
    if (!pending) return kMergeNothing;
    M = kEmptyRect;
    cache.adjacency = 0;
    L = PdevRect{0, 0, 0, 0};
    return kMergeFlushOnly;
  }
  const PdevRect N = *newTarget;
  const bool complex = Complex(d.clipComplexity);
  const bool sameFormat = cache.pending.format == format;
  const bool equalLow = LowBytesEqual(d.rop4, d.previousRop4);
  if (!complex && RectHeight(N) <= 2 && RectsTouch(M, N) && sameFormat && equalLow) {
    cache.mergeState = 0;
    cache.adjacency = 1;
    RectUnion(M, N, M);
    return kMergeContinueBand;
  }
  bool f = false, e = false;
  if (RectsTouch(M, N)) {
    f = AreObjectsAdjacent(pdev, cache, L, N, M);
    e = StripContinuesImage(pdev, cache, L, N, M);
    cache.adjacency = 1;
    RectUnion(M, N, M);
  } else {
    e = StripContinuesImage(pdev, cache, L, N, M);
    if (e) {
      cache.adjacency = 1;
      RectUnion(M, N, M);
    } else {
      cache.adjacency = 0;
      M = N;
    }
  }
  if (!pending) {
    if (f) {
      cache.adjacency = 1;
      L = N;
    } else {
      L = N;
      cache.adjacency = 0;
      M = N;
    }
    return kMergeStartOnly;
  }
  const BYTE state = pdev->image.blitState;
  if (state == kBlitOneBitInPicture) return kMergeStrip;
  if (sameFormat && d.rop4 == kRop4SrcCopy && d.previousRop4 == kRop4SrcCopy && e && cache.mergeState == kMergeContinues &&
      !complex)
    return kMergeStrip;
  if (state >= kBlitMaskFirst && state <= kBlitHolePair) {
    const bool eitherCopy = d.rop4 == kRop4SrcCopy || d.previousRop4 == kRop4SrcCopy;
    if (!eitherCopy || (f || e)) return kMergeStrip;
  }
  if (sameFormat) {
    if (d.rop4 == kRop4SrcAnd && (f || e)) return kMergeStrip;
    if (complex && (f || e)) return kMergeContinueBand;
  }
  if (RectsTouch(FixedRectToRect(cache.target.area), N) && sameFormat && equalLow && f) return kMergeContinueBand;
  L = N;
  cache.adjacency = 0;
  M = N;
  return kMergeNew;
}

int RescaleForMerge(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& cacheRecord, int kind,
                    const PdevRect& newTarget, ImageBuffer& pending, StripSource& strip, BYTE** rescaled) {
  if (rescaled) *rescaled = nullptr;
  const FixedMilli deviceX = target.resolutionX, deviceY = target.resolutionY;
  const BYTE white = kind == 1 ? 0xFF : 0x00;
  const ULONG cacheFormat = kind == 1 ? BMF_24BPP : BMF_8BPP;
  if (cacheRecord.buffer &&
      (!FixedEqual(cacheRecord.resolutionX, deviceX) || !FixedEqual(cacheRecord.resolutionY, deviceY))) {
    // The cached picture to the device grid, at the target area's size.
    const LONG w = ImageWidth(target), h = ImageHeight(target);
    ImageBuffer resampled{};
    const std::size_t limit = (kind == 1 ? 3 : 1) * WorkingImageLimit(pdev);  // RGB: three bytes a pixel
    if (w <= 0 || h <= 0 ||
        !ImageBufferAlloc(resampled, w, h, deviceX, deviceY, cacheRecord.format, limit))
      return 0;
    if (white) std::memset(resampled.buffer, white, resampled.blockBytes);
    if (!ScaledCopy(cacheRecord.buffer, ImageRect(cacheRecord), cacheRecord.stride, cacheFormat, resampled.buffer,
                    ImageRect(resampled), resampled.stride)) {
      ImageBufferFree(resampled);
      return 0;
    }
    ImageBufferFree(cacheRecord);
    cacheRecord = resampled;
    cacheRecord.filled = cacheRecord.area;
  }
  const std::int64_t tw = RectWidth(newTarget), th = RectHeight(newTarget);
  if (RectWidth(strip.rect) == tw && RectHeight(strip.rect) == th) return 1;
  const LONG bpp = BytesPerPixel(strip.format);
  if (bpp == 0) return 0;
  const std::int64_t stride = tw * bpp;
  const auto bytes = CheckedBytes(static_cast<std::uint64_t>(stride), static_cast<std::uint64_t>(th));
  if (!bytes || stride > 0x7FFFFFFF || th > 0x7FFFFFFF) return 0;
  auto* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *bytes));
  if (!copy) return 0;
  std::memset(copy, 0xFF, *bytes);
  const PdevRect copyRect{0, 0, static_cast<std::int32_t>(tw - 1), static_cast<std::int32_t>(th - 1)};
  if (!ScaledCopy(strip.bits, strip.rect, strip.stride, strip.format, copy, copyRect, static_cast<LONG>(stride))) {
    GlobalFree(copy);
    return 1;
  }
  strip.bits = copy;
  strip.rect = copyRect;
  strip.stride = static_cast<LONG>(stride);
  pending.buffer = copy;
  pending.block = nullptr;
  pending.stride = strip.stride;
  ImageBufferInit(pending, 0, 0, static_cast<LONG>(tw), static_cast<LONG>(th), deviceX, deviceY,
                  static_cast<BYTE>(strip.format));
  if (rescaled) *rescaled = copy;
  return 2;
}

void SetImageParams(ImageBandCache& cache) {
  const auto clamp16 = [](std::int32_t v) { return static_cast<DWORD>(std::clamp(v, 0, 0xFFFF)); };
  cache.params.packedScale =
      (clamp16(FixedRound(cache.pending.resolutionY)) << 16) | clamp16(FixedRound(cache.pending.resolutionX));
  cache.params.sourceFormat = cache.pending.format;
  cache.params.histogram = cache.histogram;
}

}  // namespace imaging
