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
