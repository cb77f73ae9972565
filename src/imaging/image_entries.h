// What the image paths offer the drawing paths: density conversion,
// halftoning of sources into bands, brush plates, the image band caches, the
// image blit path, the colour classes and the rectangle predicates.
//
// Conventions as in render/plane_ops.h: PdevRect inclusive, strides in bytes
// (negative for bottom-up), palettes 0x00BBGGRR with their entry count,
// formats BMF_*. Densities are bytes, 0 no ink, 255 full ink.
#pragma once

#include "imaging/colour_classes.h"
#include "imaging/rect_predicates.h"
#include "render/pdev_record.h"

// ---- density ----

// Each source pixel of srcRect as ToneClampDensity of its luminance density
// into out from outRect's top-left. 1; -1 for an unknown format (nothing
// written).
int ConvertToDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                     const PdevRect& outRect, LONG outStride, const ULONG* palette, ULONG paletteCount, ULONG format);
// The same per plate: each pixel's density to the image of its plate, 0 to
// the other. 1; -1 for an unknown format.
int SeparateToTwoInks(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* outPlate1,
                      BYTE* outPlate2, const PdevRect& outRect, LONG outStride, const ULONG* palette,
                      ULONG paletteCount, ULONG format);

// ---- sources straight to bands ----

// Halftones the source into band 1 (and, on a two-ink sheet, band 2, which
// follows band 1 in the same block); the bands come white. bandOrigin is the
// band's page position (screen phase). 1; 0 on allocation failure.
BOOL HalftoneSourceToPlanes(RenderPdev* pdev, BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* src,
                            const PdevRect& srcRect, LONG srcStride, LONG amiLine, LONG amiAngle, LONG resolution,
                            const ULONG* palette, ULONG paletteCount, ULONG format, POINTL bandOrigin);
// The plain screen of 8-bpp MERGEPAINT and coloured 1-bpp SRCPAINT sources.
BOOL ScreenSourceToPlane(RenderPdev* pdev, BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* src,
                         const PdevRect& srcRect, LONG srcStride, LONG amiLine, LONG amiAngle, LONG resolution,
                         const ULONG* palette, ULONG paletteCount, ULONG format, POINTL bandOrigin);
// Renders the source directly into the drum-1 and drum-2 bands of one block
// (drum-2 band first, as SourceToPlaneFormat makes them), plates exchanged
// when swapPlates. FALSE when a buffer cannot be allocated.
BOOL RenderImageTwoPlates(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, const PdevRect& targetRect,
                          LONG targetStride, POINTL bandOrigin, const BYTE* src, const PdevRect& srcRect,
                          LONG srcStride, const ULONG* palette, ULONG paletteCount, ULONG format, LONG amiLine,
                          LONG amiAngle, LONG resolution, BOOL swapPlates);

// ---- brushes ----

// One-bit plates (RowBytes1bpp(size.cx) x size.cy bytes each) of a brush's
// source pattern (rows of patternStride bytes) with its palette. FALSE only
// when the density buffer cannot be allocated.
BOOL RealizeBrushOnePlate(RenderPdev* pdev, BYTE* plate, const BYTE* pattern, SIZEL size, LONG patternStride,
                          const ULONG* palette, ULONG paletteCount, ULONG format);
BOOL RealizeBrushTwoPlates(RenderPdev* pdev, BYTE* plate1, BYTE* plate2, const BYTE* pattern, SIZEL size,
                           LONG patternStride, const ULONG* palette, ULONG paletteCount, ULONG format);

// ---- image band caches ----

// The 8-bit band cache. Without a target it flushes the pending picture into
// plane; with one it takes the strip (src over srcRect) for target. On a
// two-ink sheet everything goes to CacheImageBand. When pdev->shared.pictureFlag
// is 0 afterwards the strip was not cached: it was drawn into two white
// direct-render bands left in drawing.targetPlane and drawing.otherPlane
// (one block, freed by the caller). FALSE when a flush fails.
BOOL FlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target, const BYTE* src,
                       const PdevRect* srcRect, LONG srcStride, const ULONG* palette, ULONG paletteCount,
                       ULONG format);
// The RGB band cache of two-ink sheets; as FlushOrMergeImage with both planes.
BOOL CacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride, const PdevRect* target,
                    const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                    ULONG paletteCount, ULONG format);
// Frees the working, scaled and RGB records' buffers and forgets the others.
void FreeImageBuffers(RenderPdev* pdev);
// The image parameter block of a new document.
void PrepareImageParameters(RenderPdev* pdev);
// Kept for the document entries; the image blit path keeps no copy.
void FreeKeptTransparentImage(RenderPdev* pdev);

// ---- image blit path ----

// DrvBitBlt's image branch; target exclusive. FALSE when the ordinary raster
// path must draw the blit.
BOOL BitBltImage(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate);
// Each source row of srcRect as 24-bit pixels into dst at dstRect (a row
// that converts nothing whitened). FALSE when nothing was converted.
BOOL SourceToRgb24(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                   LONG dstStride, const ULONG* palette, ULONG paletteCount, ULONG format);
// Copies the parts of the source inside the clip into dst (placed relative to
// the clip bounds' top-left), first scaling the source to the target's size
// for a stretch. FALSE for a clip it cannot walk or a format without a byte
// size.
BOOL ClippedCopy(RenderPdev* pdev, const PdevRect& target, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                 ULONG format, CLIPOBJ* clip, BYTE* dst, const PdevRect& dstRect, LONG dstStride);
