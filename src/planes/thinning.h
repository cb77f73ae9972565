// Solid-area dot thinning of a whole sheet plane (duplex pages), so that
// large solid areas do not over-ink the master.
#pragma once

#include <cstdint>

#include "plat/base.h"

namespace imaging {

// The 15x15 window coverage (0..225 ink pixels) mapped to a removal level
// 0..50; photo mode raises the coverage threshold from 25 % to 52 %.
void BuildThinningCurve(bool photoMode, DWORD curve[226]);

// Order of dot removal inside solid areas (levels 1..100).
extern const BYTE ThinningOrder8x8[8][8];

// Thins an inverted plane (bit 1 = ink, most significant bit first) in place.
// stride: bytes per row; rows: row count. The last 15 rows stay as they are.
// Returns false, leaving the plane untouched, when its buffers cannot be had.
bool ThinSolidAreas(bool photoMode, BYTE* data, LONG stride, LONG rows);

}  // namespace imaging
