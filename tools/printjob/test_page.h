// printjob's built-in test page, drawn with the engine's own fills: bars, a
// checkerboard and small text-like blocks, and one mark per page number.
#pragma once

#include "plat/engine.h"

namespace printjob {

// Draws page `index` (0-based) onto the surface. Ink is the fill colour 0 on a
// one-bit surface (bit 1 is white). FALSE when a fill fails.
BOOL DrawTestPage(SURFOBJ* surface, int index);

}  // namespace printjob
