// The kernels below the picture paths that draw on the ink planes: ROP2
// fills, clip walks, per-rectangle and row kernels, band placement, colour
// and row conversions, rectangle and unit helpers, brush pattern bits and the
// ROP interpreter. The drawing entries and the picture paths call them;
// they call neither.
//
// Planes are one bit a pixel, top-down, bit 7 leftmost, 1 = white, 0 = ink.
// Rectangles (PdevRect) are inclusive; RECTL arguments are the engine's,
// exclusive. Strides are bytes (LONG); a negative stride walks bottom-up.
// Palettes are 0x00BBGGRR entries; formats are BMF_*. Unless said otherwise a
// routine returns TRUE. Pattern and band buffers that a routine returns come
// from the global heap and are freed by the caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "planes/pdev_record.h"

// ---- fills, clip walks, per-rectangle kernels, lines ----

// ROP2 (low byte; also 0xAA, 0x5A, 0xA0, 0xF0) of the pattern over rect on one
// plane; nothing for bottom < top; stops at the plane's last row.
BOOL Rop2FillRect(RenderPdev* pdev, const PdevRect& rect, BYTE* plane, LONG stride, const BYTE* pattern,
                  SIZEL patternSize, ULONG rop2);
// The same on the target plane with the matching change of the other plane
// (pdev->drawing.otherPlane); one plane when target and other are the same.
BOOL Rop2FillPlanes(RenderPdev* pdev, const PdevRect& rect, BYTE* target, LONG stride, const BYTE* pattern,
                    SIZEL patternSize, ULONG rop2);
// Rop2FillPlanes over the clip region.
BOOL Rop2FillClip(RenderPdev* pdev, CLIPOBJ* clip, BYTE* target, LONG stride, const BYTE* pattern,
                  SIZEL patternSize, ULONG rop2);

// A per-rectangle kernel: device or null, plane, inclusive rect (may be cut in
// place), stride.
using RectKernel = BOOL (*)(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);
// Runs the kernel on rect cut by each clip rectangle (once without a clip).
BOOL ForEachClipRect(RenderPdev* pdev, BYTE* plane, const PdevRect& rect, LONG stride, CLIPOBJ* clip,
                     RectKernel kernel);
// Ink, whiten, invert the rect. With a device, FillRectInk and FillRectWhite
// first cut rect to the plane (in place).
BOOL FillRectInk(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);
BOOL FillRectWhite(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);
BOOL InvertRect(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);

// A line of squares of side width from (x1, y1) to (x2, y2).
BOOL DrawLine(RenderPdev* pdev, BYTE* target, LONG x1, LONG y1, LONG x2, LONG y2, LONG width, LONG stride,
              const BYTE* pattern, SIZEL patternSize, ULONG rop2);

// ---- colours and rows ----

// 8-bit ink density of each colour: 255 - ((2449 R + 4805 G + 938 B) >> 13).
void RgbToDensity(const ULONG* colours, BYTE* out, ULONG count);
// (density, plate) of each colour, classified with the graphics separation
// mode as object kind 0.
void PaletteToInkDensity(RenderPdev* pdev, const ULONG* colours, InkDensityPair* out, ULONG count);
// Row rect.top + rowOffset of the source, columns rect.left..rect.right, as
// 24-bit pixels (blue, green, red) into out (3 x RectWidth(rect) bytes).
// palette is read for BMF_1BPP (2 entries), BMF_4BPP (16) and BMF_8BPP (256):
// paletteCount must cover them. FALSE, writing nothing, for another format, a
// short palette or a row left of column 0.
BOOL ExpandRowTo24(const BYTE* bits, const PdevRect& rect, LONG stride, LONG rowOffset, BYTE* out,
                   const ULONG* palette, ULONG paletteCount, ULONG format);
// Each source row of srcRect as 24-bit pixels into dst at dstRect (a row
// that converts nothing whitened). FALSE when nothing was converted.
BOOL SourceToRgb24(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                   LONG dstStride, const ULONG* palette, ULONG paletteCount, ULONG format);

// ---- planes, ROP names, palettes ----

// The drum-1 and drum-2 plane addresses for the surface stride, moved to the
// last row for a negative stride.
void GetInkPlanes(RenderPdev* pdev, LONG stride, BYTE** drum1Plane, BYTE** drum2Plane);
// {0, 0xFFFFFF} or {0xFFFFFF, 0}; the palette has two entries.
BOOL IsBlackWhitePalette(const ULONG* palette);

// ---- row kernels and band placement ----

// A row kernel: source rows srcRect.top..bottom onto destination rows from
// dest.top, source bits aligned to dest.left, only dest.left..dest.right
// changed; bytes beyond |srcStride| read as 0. The device (or null) enables
// the resolution-mode-2 row rules.
using RowKernel = BOOL (*)(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                           const PdevRect& srcRect, LONG srcStride);
BOOL AndRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride);
BOOL OrRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                     const PdevRect& srcRect, LONG srcStride);
BOOL XorRowsIntoPlane(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride);
BOOL CopyRowsShifted(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                     const PdevRect& srcRect, LONG srcStride);
BOOL CopyRowsInverted(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                      const PdevRect& srcRect, LONG srcStride);
// FillRectWhite of dest, then AndRowsIntoPlane; the device (or null) goes to both.
BOOL WhiteThenAndKernel(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                        const PdevRect& srcRect, LONG srcStride);
// Runs the row kernel through the clip, moving the source rect with dest.
BOOL ForEachClipRectWithSource(RenderPdev* pdev, BYTE* plane, const PdevRect& dest, LONG stride, const BYTE* src,
                               const PdevRect& srcRect, LONG srcStride, CLIPOBJ* clip, RowKernel kernel);

// The clip rectangles of the pending picture (pdev->shared.clipRects).
// AddClipToClipRectList appends the clip's rectangles (none for a null clip);
// FALSE when the list cannot grow (the list is left as it was).
BOOL AddClipToClipRectList(RenderPdev* pdev, CLIPOBJ* clip);
// Frees the entries; count and indices 0.
void ClearClipRectList(RenderPdev* pdev);
BOOL ClipRectListIsEmpty(const RenderPdev* pdev);

// Put a halftoned picture band on the planes: by copy (whitening the
// picture's clip rectangles first), or by the ROP4 of the picture.
BOOL CopyHalftoneBand(RenderPdev* pdev, const BYTE* band, POINTL bandOrigin, LONG bandStride, BYTE* plane,
                      const PdevRect& dest, LONG planeStride, ClipRectList* clipRects);
BOOL CombineHalftoneBand(RenderPdev* pdev, const BYTE* band, POINTL bandOrigin, LONG bandStride, BYTE* plane,
                         const PdevRect& dest, LONG planeStride, ClipRectList* clipRects);
// Ink (and whiten on the drum-1 plane) / whiten the inclusive dest through
// the clip.
BOOL BlacknessToPlanes(SURFOBJ* pso, CLIPOBJ* clip, const PdevRect& dest);
BOOL WhitenessToPlanes(SURFOBJ* pso, CLIPOBJ* clip, const PdevRect& dest);

// ---- brushes ----

// The one-colour form of one-bit hatch and pattern brushes: the brush rows
// (width / 8 bytes of each 4-byte row, height rows) copied to out (height rows
// of width / 8 bytes), inverted for a hatch style of 6 or more; hatch styles
// 0..5 take their grey-level hatch row instead, other patterns are ANDed with
// the grey level row by row on every 8-row block. Level = 3 - density / 64.
// FALSE, writing nothing, for a width that is not a positive multiple of 8 or
// a height that is not positive.
BOOL BuildBrushPatternBits(BYTE density, ULONG hatchStyle, SIZEL patternSize, const BYTE* brushRows, BYTE* out);
// Grey levels 0..3 (rows 0..3) and hatch style s at level L (row 4 + 4s + L)
// of 8 x 8 one-bit patterns, ink = 1.
inline constexpr int kHatchGreyRows = 28;
extern const BYTE HatchGreyPatterns[kHatchGreyRows][8];

// ---- raster operations ----

// Evaluates the ROP's reverse-Polish name on the target plane; W and T are
// the work buffers, whose contents do not matter (each dot is written before
// it is read), not needed where RopRunsInOnePass. FALSE for an unknown name.
BOOL EvalRop3Rpn(RenderPdev* pdev, CLIPOBJ* clip, BYTE* target, const PdevRect& dest, LONG stride, const char* name,
                 int nameLength, const BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* pattern,
                 SIZEL patternSize, BYTE* work, BYTE* temp);

