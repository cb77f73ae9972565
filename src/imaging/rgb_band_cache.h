// The RGB band cache of two-ink sheets: strips of one picture merged as
// 24-bit RGB into one pending picture (raster operations between strips on
// the RGB values); the flush enhances, sharpens, separates and halftones it
// into two plates put onto the two ink planes. Entered by CacheImageBand.
#pragma once

#include "imaging/image_band_cache.h"

namespace imaging {

// The cached picture enhanced in bands of a centimetre of rows (at least one
// row a band) when it is a picture of several levels, at least 15 mm each
// way or continuing a band; the auto-contrast map computed, kept or reset by
// its size and the band continuation. Unenhanced when the buffers cannot be
// had.
void EnhanceCachedImage(RenderPdev* pdev, ImageBandCache& cache);
// The pending RGB picture onto both planes (modes 0 and 1: one-ink, onto the
// drum of the mode). FALSE, with the records freed and nothing pending,
// when nothing is pending or a buffer cannot be had.
BOOL FlushImageBandCache(RenderPdev* pdev, ImageBandCache& cache, BYTE* drum1Plane, BYTE* drum2Plane,
                         LONG planeStride);
// Flushes the cache's pending picture onto the drums' planes (the device's
// own for null); TRUE when nothing was pending.
BOOL FlushRgbCache(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride);

}  // namespace imaging

// The plug-in's flush of the RGB band cache onto the device's planes.
BOOL OemFlushImageBandCache(RenderPdev* pdev);
// The 256 luminance-density counts of the 24-bit pixels (blue, green, red)
// of rect (inclusive).
void LumaHistogram(const BYTE* pixels, const PdevRect& rect, LONG stride, DWORD histogram[256]);
// Counts the record's picture into the cache histogram; a picture of one
// level clears the picture flag and sets the operation byte to 1. TRUE.
BOOL ClassifyRgbImage(RenderPdev* pdev, const imaging::ImageBuffer& rgb);
