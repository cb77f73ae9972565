// The pending picture of the 8-bit cache to ink: density from the strip,
// direct halftoning, sharpening and the banded enhancement walk.
#pragma once

#include "imaging/image_buffer.h"
#include "planes/pdev_record.h"

namespace imaging {

// The pending strip into the working image at its saved place (through the
// scaled record when the source is larger than its target). 1.
int ConvertImageBufferToDensity(RenderPdev* pdev, ImageBuffer& working, ImageBuffer& scaled, ImageBuffer& pending,
                                const ULONG* palette, ULONG paletteCount);
// Caching off: the pending strip converted and halftoned into the target
// record's one-bit buffer. 1; 0 when the halftone fails.
int HalftoneImageBufferDirect(ImageBuffer& target, ImageBuffer& density, ImageBuffer& scaled, ImageBuffer& pending,
                              const ULONG* palette, ULONG paletteCount, RenderPdev* pdev);
// Edge enhancement in place of a density image of rowLength x rows (rows
// stride bytes apart), by the effective resolution against the target rect
// (at (0, 0)). The rolling rows it needs come from the heap; nothing changes
// without them.
void SharpenDensityImage(BYTE* image, LONG rowLength, LONG rows, LONG stride, const PdevRect& target,
                         RenderPdev* pdev);
// One enhanced picture: sharpening, tone curve, then diffusion or the screen.
BOOL HalftoneScaled(RenderPdev* pdev, BYTE* target, LONG targetStride, LONG targetRows, const PdevRect& targetRect,
                    BYTE* density, LONG densityStride, const PdevRect& densityRect, LONG amiLine, LONG amiAngle,
                    LONG resolution);
// The enhancement walk over the density record in bands of about a
// centimetre of the target (at least a row): the gray pipeline per band, map
// kind on the first. The density record's vertical resolution is left at the
// band scale. FALSE when the buffers cannot be had or a band fails.
bool EnhanceInBands(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& density, ImageParams& params, int mapKind);
// The flush's halftone of the density record into the one-bit target record:
// banded enhancement when the picture qualifies, else HalftoneToPlanes. A
// failed enhancement renders the picture unenhanced. 1; 0 when the halftone
// itself fails.
int HalftoneImageBands(RenderPdev* pdev, ImageBuffer& target, ImageBuffer& density, ImageParams& params, int flag);

// Histogram of the working image; a single-level picture clears the picture
// flag and sets the operation byte to 1.
BOOL ClassifyPendingImage(RenderPdev* pdev, ImageBandCache& cache);

}  // namespace imaging
