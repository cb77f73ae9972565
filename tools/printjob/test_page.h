// printjob's built-in test page, drawn through the engine's GDI front: bars,
// a checkerboard, small text-like blocks, a frame of lines, a curve and one
// mark per page number, in black and a colour.
#pragma once

#include "plat/engine.h"

namespace printjob {

// Draws page `index` (0-based) onto the page surface of a print host. FALSE
// when a call fails.
BOOL DrawTestPage(SURFOBJ* surface, int index);

}  // namespace printjob
