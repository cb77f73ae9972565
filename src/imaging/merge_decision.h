// The merge decision that the 8-bit and RGB band caches share: whether a
// new strip continues the pending picture, and the rescaling before it does.
#pragma once

#include "imaging/image_buffer.h"
#include "planes/pdev_record.h"

namespace imaging {

// A strip as the caller hands it: pixels, source rect, stride and format,
// with its palette for the palette formats.
struct StripSource {
  const BYTE* bits;
  PdevRect rect;
  LONG stride;
  ULONG format;
  const ULONG* palette;
  ULONG paletteCount;
};

// Answers of DecideMerge.
enum MergeDecision : int {
  kMergeNew = 0,
  kMergeStrip = 1,
  kMergeStartOnly = 2,
  kMergeFlushOnly = 3,
  kMergeNothing = 4,
  kMergeContinueBand = 5,
};
inline constexpr int kCache8Bit = 1;
inline constexpr int kCacheRgb = 2;

// What to do with a new target rectangle (null: a flush request); updates
// the merged and last strip rectangles and the adjacency and merge-state
// bytes.
int DecideMerge(RenderPdev* pdev, ImageBandCache& cache, const PdevRect* newTarget, ULONG format, int kind);
// N continues L in the merged rectangle M as the next strip of a row, column
// or grid; sets the merge-state byte to 0, 1 or 2.
bool AreObjectsAdjacent(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& last, const PdevRect& next,
                        const PdevRect& merged);
// N continues the picture by the ROP and clip history; sets merge state 5
// when it does.
bool StripContinuesImage(RenderPdev* pdev, ImageBandCache& cache, const PdevRect& last, const PdevRect& next,
                         const PdevRect& merged);

// Before a strip continues a band: a cached picture held at another
// resolution is resampled to the device grid, and a strip whose source size
// differs from its target is copied at target size. 0 cannot merge, 1 merge,
// 2 merge the rescaled copy: strip and pending record then describe it, and
// the caller frees *rescaled with GlobalFree after whichever step used it.
// kind 0: the cache record holds density (filled with 0), 1: RGB (255).
int RescaleForMerge(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& cacheRecord, int kind,
                    const PdevRect& newTarget, ImageBuffer& pending, StripSource& strip, BYTE** rescaled);

// The parameter block from the pending record: packed scale, format and the
// cache's histogram.
void SetImageParams(ImageBandCache& cache);

}  // namespace imaging
