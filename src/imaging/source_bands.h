// Source bitmaps to one-bit bands in the planes' format (or handed to the
// image cache), and the blits that put such bands on the planes.
#pragma once

#include "imaging/image_entries.h"

// Per graphics separation mode: 1 sends black-and-white one-bit copies to
// the drum-1 plane.
extern const BYTE MonoCopyPlate[kSeparationModes];

// The plug-in's drawing bounds (what a queue-aware flush may emit): the clip
// bounds as the engine gave them, or the inclusive dest made exclusive
// without a clip.
void DrawBoundsFromClip(RenderPdev* pdev, const CLIPOBJ* clip, const PdevRect& dest);

// The body of CopyBitsToPlanes with the planes addressed by planeStride and
// the pending picture flushed by flushPending before the band goes down;
// dest exclusive.
BOOL CopySourceToPlanes(SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                        XLATEOBJ* xlate, LONG planeStride, BOOL (*flushPending)(RenderPdev*));
