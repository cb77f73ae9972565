// What the image paths offer the drawing paths: density conversion,
// halftoning of sources into bands, brush plates, the image band caches, the
// image blit path, the colour classes and the rectangle predicates.
//
// Conventions as in planes/plane_ops.h: PdevRect inclusive, strides in bytes
// (negative for bottom-up), palettes 0x00BBGGRR with their entry count,
// formats BMF_*. Densities are bytes, 0 no ink, 255 full ink.
#pragma once

#include "planes/colour_classes.h"
#include "planes/pdev_record.h"
#include "planes/rect_ops.h"

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

// Bands that a picture path hands back: one block from the global heap, which
// the caller frees through first; second is the other drum's band (after
// first in the block on a two-ink sheet, first itself on one ink). Both null
// when there are none.
struct PictureBands {
  BYTE* first;
  BYTE* second;
};
// A band cache's answer: ok is FALSE when a flush failed or no cache state
// could be had for a strip; bands are the direct-render bands of a strip that
// was not cached (pdev->shared.pictureFlag 0 afterwards), else null.
struct CacheAnswer {
  BOOL ok;
  PictureBands bands;
};

// The 8-bit band cache. Without a target it flushes the pending picture into
// plane; with one it takes the strip (src over srcRect) for target. On a
// two-ink sheet everything goes to CacheImageBand. A strip that is not cached
// is drawn into two white direct-render bands that come back in the answer.
CacheAnswer FlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                              const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                              ULONG paletteCount, ULONG format);
// The RGB band cache of two-ink sheets; as FlushOrMergeImage with both planes.
CacheAnswer CacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                           const PdevRect* target, const BYTE* src, const PdevRect* srcRect, LONG srcStride,
                           const ULONG* palette, ULONG paletteCount, ULONG format);
// Flushes the pending picture: into plane on one ink, into both drums' planes
// on a two-ink sheet. TRUE when nothing was pending; else the flush's result.
BOOL FlushPicture(RenderPdev* pdev, BYTE* plane, LONG planeStride);
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

// ---- sources to bands, and the blits that put them on the planes ----

// Converts a source into one band (two on a two-ink sheet, one block) of the
// band rect's size; band stride out. The bands come back (band 2 after band
// 1); none when the image cache took the source or on failure.
PictureBands SourceToPlaneFormat(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                                 ULONG srcFormat, const PdevRect& bandRect, LONG* bandStride, const PdevRect& dest,
                                 XLATEOBJ* xlate, BOOL direct, LONG planeStride, CLIPOBJ* clip);
// How a black-and-white one-bit source is read in place of its band.
enum class InPlaceSource { None, AsIs, Inverted };
// Whether the source can be read where it lies instead of being converted: a
// black-and-white one-bit source of the band rect's size on a one-ink sheet,
// which SourceToPlaneFormat would copy dot for dot (inverted when the
// palette starts white; None then unless takeInverted), and whose bits lie
// outside the planes. When it can, the conversion's effects on the device
// are applied as SourceToPlaneFormat would apply them.
InPlaceSource OneBitSourceInPlace(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride,
                                  ULONG srcFormat, const PdevRect& bandRect, const PdevRect& dest, XLATEOBJ* xlate,
                                  CLIPOBJ* clip, LONG planeStride, bool takeInverted);
// The part of a deeper-than-one-bit source inside the clip bounds, copied
// (scaled to dest for a stretch) into a white picture of the cut-out's size,
// 4 and 8 bpp expanded to 24, and handed to SourceToPlaneFormat with caching
// allowed. done is false when the cut-out could not be made (nothing was
// handed on); bands are null when the image cache took the picture; dest is
// the cut-out rectangle the bands cover.
struct CutOut {
  bool done;
  PictureBands bands;
  PdevRect dest;
  LONG bandStride;
};
CutOut CutOutToPlaneFormat(RenderPdev* pdev, LONG planeStride, const PdevRect& dest, const BYTE* bits,
                           const PdevRect& source, LONG srcStride, ULONG srcFormat, CLIPOBJ* clip, XLATEOBJ* xlate);
// The body of DrvCopyBits and of SRCCOPY blits; dest exclusive.
BOOL CopyBitsToPlanes(SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                      XLATEOBJ* xlate, BOOL flag);
// SRCAND on a two-ink sheet, and the inverted-source OR of one-bit masks;
// FALSE when no band could be made.
BOOL SrcAndToPlanes(SURFOBJ* pso, const PdevRect& dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                    XLATEOBJ* xlate);
BOOL InvertedSourceOrPlanes(SURFOBJ* pso, const PdevRect& dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                            XLATEOBJ* xlate);
// Whether the source has colour on the plate that is not the default of the
// graphics separation mode.
BOOL PaletteSourceSplit(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, ULONG srcFormat,
                        XLATEOBJ* xlate);

// ---- the pending picture ----

// Flushes the image pending in the image cache (flag 0x40) into the drum-2
// plane when the image separation mode is not 0, else the drum-1 plane, and
// clears the flag. TRUE when nothing was pending; else the flush's result.
BOOL FlushImageIfPending(RenderPdev* pdev);

// ---- the rendering plug-in's shadow-page pictures ----
//
// In picture modes, and for blends, the plug-in queues the regions of some
// blits as drawing objects and later renders them from the 24-bit shadow
// page (pdev->plugin.shadowObject). Targets exclusive; format is the
// source's BMF_*; clip may be null.

// The workers: TRUE when the call was queued (the entry then draws nothing),
// FALSE when declined (the entry draws it the ordinary way).
BOOL ShadowCopyBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip);
BOOL ShadowBlendBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip);
BOOL ShadowRopBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip);
BOOL ShadowMaskBlt(RenderPdev* pdev, const RECTL* target, ULONG format, CLIPOBJ* clip);
// The plug-in's image blit path (BitBltImage with queue-aware flushes).
BOOL OemImageBlt(SURFOBJ* pso, const RECTL* target, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                 XLATEOBJ* xlate);
// The plug-in's band caches: as FlushOrMergeImage and CacheImageBand, but a
// non-empty queue of drawing objects is flushed first.
CacheAnswer OemFlushOrMergeImage(RenderPdev* pdev, BYTE* plane, LONG planeStride, const PdevRect* target,
                                 const BYTE* src, const PdevRect* srcRect, LONG srcStride, const ULONG* palette,
                                 ULONG paletteCount, ULONG format);
CacheAnswer OemCacheImageBand(RenderPdev* pdev, BYTE* drum1Plane, BYTE* drum2Plane, LONG planeStride,
                              const PdevRect* target, const BYTE* src, const PdevRect* srcRect, LONG srcStride,
                              const ULONG* palette, ULONG paletteCount, ULONG format);
// Emits the queued objects that pdev->plugin.drawBounds touch (all of them,
// coalesced first, when the bounds are all zero). FALSE without a shadow page.
BOOL FlushDrawObjects(RenderPdev* pdev);
// Removes the cursor object (or the tail when no cursor is set).
void UnlinkDrawObject(RenderPdev* pdev);
// Frees every queued object.
void FreeDrawObjects(RenderPdev* pdev);
// 24-bit pixels of srcRect (inclusive) to one density byte each; red is byte
// 0 when pdev->plugin.rgbOrder is set, else byte 2. While the operation byte
// is 3 each pixel is classified for the plates instead. 1.
int OemRgbToDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                    LONG outStride);
