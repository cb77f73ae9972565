// The 8x8 dither of pattern brushes and the realizing of a brush's source
// pattern as one or two one-bit plates.
#pragma once

#include "planes/pdev_record.h"
#include "plat/base.h"

namespace imaging {

// Pixel (i, j) of rect, counted from its top-left corner (the pattern's own
// phase), inks when BrushDither8x8[i mod 8][j mod 8] < its density. density
// rows are srcStep bytes apart, pattern rows patternStride. Bits right of the
// rectangle in its last byte turn white. Always TRUE.
BOOL DitherMatrix8x8(const BYTE* density, BYTE* pattern, const PdevRect& rect, LONG srcStep, LONG patternStride);
// The same over width x rows densities with the matrix phased by phase
// (pixel (i, j) takes BrushDither8x8[(i + phase.y) mod 8][(j + phase.x) mod 8]):
// a band anchored to its page position.
BOOL DitherMatrix8x8Phased(const BYTE* density, BYTE* pattern, std::int64_t width, std::int64_t rows, LONG srcStep,
                           LONG patternStride, POINTL phase);

// True when every bit of the first width pixels of each row is white.
bool PlateIsWhite(const BYTE* plate, LONG width, LONG rows, LONG stride);

}  // namespace imaging
