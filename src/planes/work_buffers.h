// Geometry of the ROP interpreter's work buffers: the destination's bytes
// only, (height + 5) rows, so a blit near the foot of the page needs no more
// than its own size.
#pragma once

#include <cstddef>

#include "planes/row_kernels.h"

// Bytes of one work buffer for an inclusive, non-empty destination; 0 when
// it would not fit a LONG stride.
std::size_t WorkBufferBytes(const PdevRect& dest);
// Whether EvalRop3Rpn draws the name in one pass without work buffers: the
// pattern where the source is 0, with a band and a pattern, outside 300 x 600
// output.
bool RopRunsInOnePass(const RenderPdev* pdev, const char* name, int nameLength, const BYTE* band,
                      const BYTE* pattern, SIZEL patternSize);
// The work buffer seen in page coordinates.
BitView WorkBufferView(BYTE* buffer, const PdevRect& dest);

// Frees the copy of both planes that the PATINVERT idiom keeps.
void FreeSavedPlanes(RenderPdev* pdev);
