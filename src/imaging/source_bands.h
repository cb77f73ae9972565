// Source bitmaps to one-bit bands in the planes' format (or handed to the
// image cache), and the blits that put such bands on the planes.
#pragma once

#include "imaging/image_entries.h"

// Per graphics separation mode: 1 sends black-and-white one-bit copies to
// the drum-1 plane.
extern const BYTE MonoCopyPlate[kSeparationModes];
