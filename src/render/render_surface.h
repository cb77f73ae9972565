// The page surface: one buffer holding the one or two InkPlanes of a sheet,
// shown to the engine as a one-bit bitmap over the drum 2 plane.
#pragma once

#include "planes/pdev_record.h"

// Hooked drawing calls of the page surface.
inline constexpr FLONG kPageSurfaceHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT |
                                           HOOK_STROKEPATH | HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_LINETO |
                                           HOOK_COPYBITS;
static_assert(kPageSurfaceHooks == 0x5FB);

// Whether the sheet has two planes: two inks on both drums, no duplex and no
// alternating-drum separation.
bool UsesTwoPlanes(const RenderPdev* pdev);

// Makes the page surface: planes of the printable area, white, rows of a
// multiple of 4 bytes; drum 2 plane first, drum 1 plane behind it. NULL when
// the planes would be empty, too large for the stream's 16-bit positions, or
// there is no memory (nothing is left behind).
HSURF DrvEnableSurface(DHPDEV dhpdev);
// Releases the surface, the planes and the per-surface image buffers and
// clears the page, sheet and output counters.
void DrvDisableSurface(DHPDEV dhpdev);
