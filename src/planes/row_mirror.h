// Mirrors bitmap rows in place for right-to-left destinations.
#pragma once

#include "plat/engine.h"

// Mirrors the first width pixels of each of height rows (row y at
// bits + y x stride; stride may be negative) so that pixel x moves to
// width - 1 - x; padding bits of a partial last byte end as 0. 1 for
// BMF_1BPP..BMF_32BPP, 0 (nothing done) for other formats.
int ReverseRowPixels(BYTE* bits, LONG width, LONG height, LONG stride, ULONG format);
