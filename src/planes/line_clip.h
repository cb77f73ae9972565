// Rectangles and lines of the drawing entries: the meeting of a clip and a
// bounds rectangle, lines cut to a rectangle, and the pixels of a clip-line
// run.
#pragma once

#include "planes/pdev_record.h"
#include "plat/engine_draw.h"

// out = (larger left, larger top, smaller right, smaller bottom), both
// rectangles used as given. FALSE when the result is empty.
BOOL IntersectClipBounds(PdevRect& out, const PdevRect& a, const PdevRect& b);

// Cuts the line to the inclusive rect keeping its slope (end points move
// along the line, rounded to the nearest dot). FALSE, the line unchanged,
// when no part of it lies inside.
BOOL ClipLineToRect(const PdevRect& rect, LONG& x1, LONG& y1, LONG& x2, LONG& y2);

// The end pixels of run i of a clip line: indices along the major axis from
// A, the minor axis in proportion, 28.4 rounded to the dot.
void ClipLineRunEnds(const CLIPLINE& line, ULONG i, LONG& x1, LONG& y1, LONG& x2, LONG& y2);
