// printjob's built-in test page, drawn through the engine's GDI front: bars,
// a checkerboard, small text-like blocks, a frame of lines, a curve, titles at
// 10 and 24 points, inverting, pattern and source blits, a hatched fill, a
// stretched and mirrored picture, dashed strokes and one mark per page
// number, in black, red and blue.
#pragma once

#include "plat/engine.h"

namespace printjob {

// Draws page `index` (0-based) onto the page surface of a print host whose
// device resolution is dpi. FALSE when a call fails.
BOOL DrawTestPage(SURFOBJ* surface, int index, ULONG dpi, bool paintAsBlt = false);

}  // namespace printjob
