// Fixed threshold matrices: the screens of the two-ink separation modes that
// classify colours per pixel, and the dither of pattern brushes.
#pragma once

#include "plat/base.h"

namespace imaging {

// Resolution mode 2 at orientation 0: every threshold covers two columns.
extern const BYTE FixedScreen12x12Wide[12][12];
// Resolution mode 2 at orientation 90: every threshold covers two rows. Not
// the transpose of the wide matrix.
extern const BYTE FixedScreen12x12Tall[12][12];
// The other resolution modes. 3 + 4k except that 187 and 251 stand twice and
// 183 and 255 do not occur, so density 255 is solid ink.
extern const BYTE FixedScreen8x8[8][8];
// The brush dither holds the same 64 values.
extern const BYTE (&BrushDither8x8)[8][8];

}  // namespace imaging
