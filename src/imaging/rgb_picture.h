// Kernels over 24-bit pictures (blue, green, red; 255 full light) of the RGB
// band cache: reducing and plain copies, white fills and sharpening; and the
// two finished plates put onto the ink planes.
#pragma once

#include "planes/pdev_record.h"

namespace imaging {

// The source rect into the destination rect, pixels of 3 bytes: equal sizes
// copy rows, a smaller destination drops rows and columns (the last of each
// group kept). 1; -1 when the destination is larger in both directions or
// equal sizes are copied onto the same buffer.
LONG Copy24Reduce(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                  LONG dstStride);
// The common size of two 24-bit rects, from their top-left corners.
void Copy24Rect(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                LONG dstStride);
// Sets the rect (negative left and top raised to 0) to white.
void FillRect24White(BYTE* buffer, const PdevRect& rect, LONG stride);

// Side of the sharpening blocks at an effective resolution r (dpi): 1 below
// 150, then one more per 100 dpi up to 6.
int SharpenBlockSide(std::int64_t resolution);
// Sharpens the picture (width x height pixels, rows stride bytes apart) in
// place for its target rect at the device resolution: pixel by pixel below
// 150 dpi, else block by block against the four neighbouring blocks' means.
// Keeps three (block) rows of the original, not a copy of the picture. A
// target one pixel wide or high is left alone, as is everything when the
// rows cannot be allocated (false).
bool SharpenImage(BYTE* picture, LONG width, LONG height, LONG stride, const PdevRect& target, LONG dpiX,
                  LONG dpiY);

// The two plates of a finished band (one-bit, (0, 0)-based, bandStride bytes
// a row) onto the drum-1 and drum-2 planes at dest (the band's page rect, cut
// to the page): the picture's clip rectangles not yet whitened (or dest,
// outside blit state 4) whitened on both planes, then each plate ANDed in.
BOOL CopyBandPlates(RenderPdev* pdev, const BYTE* plate1, const BYTE* plate2, LONG bandStride, const PdevRect& dest,
                    BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride);
// The same by the picture's ROP4 (the previous ROP4) on both planes:
// NOTSRCCOPY whitens as a copy does and ANDs the inverted plates; DSna ANDs
// and MERGEPAINT ORs the inverted plates; SRCERASE / SDno invert the planes,
// then AND / OR; DSan / NOTSRCERASE AND / OR, then invert; SRCAND ANDs;
// SRCPAINT ORs; SRCINVERT XORs; DSxn XORs and inverts; any other ROP4 draws
// nothing.
BOOL CombineBandPlates(RenderPdev* pdev, const BYTE* plate1, const BYTE* plate2, LONG bandStride,
                       const PdevRect& dest, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride);

}  // namespace imaging
