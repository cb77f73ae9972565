// Helpers of the source blits shared by the blit entries.
#pragma once

#include "render/render_pdev.h"

inline constexpr int kSeparationModes = 18;
// Per graphics separation mode: 1 sends black-and-white one-bit copies to
// the drum-1 plane.
extern const BYTE MonoCopyPlate[kSeparationModes];

// The inclusive destination of an exclusive target and the source rect of
// the same size from the source origin ((0, 0) without one), both cut to
// the source bitmap. usable is false when nothing is left or the source has
// no bits.
struct SourceRects {
  PdevRect dest;
  PdevRect source;
  bool usable;
};
SourceRects SourceRectsFor(const SURFOBJ* src, const RECTL& target, const POINTL* srcOrigin);

// The part of a deeper-than-one-bit source inside the clip bounds, copied
// (scaled to dest for a stretch) into a white picture of the cut-out's size,
// 4 and 8 bpp expanded to 24, and handed to SourceToPlaneFormat with caching
// allowed. done is false when the cut-out could not be made (nothing was
// handed on); band is null when the image cache took the picture; dest is
// the cut-out rectangle the band covers.
struct CutOut {
  bool done;
  BYTE* band;
  PdevRect dest;
  LONG bandStride;
};
CutOut CutOutToPlaneFormat(RenderPdev* pdev, LONG planeStride, const PdevRect& dest, const BYTE* bits,
                           const PdevRect& source, LONG srcStride, ULONG srcFormat, CLIPOBJ* clip, XLATEOBJ* xlate);
