// Raster operations of two operands (ROP2) laying a repeating pattern on one
// InkPlane or on both planes of a two-ink sheet, the per-rectangle kernels
// (ink, white, invert) and the line drawer. Planes are one bit a pixel,
// top-down, bit 7 the leftmost pixel, 1 = white. Rectangles are inclusive.
// Patterns: height rows of width / 8 bytes in plane convention, width a
// multiple of 8, anchored to the page (pixel (x, y) takes pattern pixel
// (x mod width, y mod height)). A null pattern leaves the planes unchanged.
#pragma once

#include "plat/engine_draw.h"
#include "render/render_pdev.h"

// Size of a pattern in pixels.
struct PatternSize {
  std::int32_t width;
  std::int32_t height;
};

// ROP2 of the pattern onto one plane over the rect, cut to the device's
// plane (0, 0, width - 1, height - 1). The ROP2 is the low byte of rop; the
// ROP3 bytes 0xAA, 0x5A, 0xA0 and 0xF0 stand for NOP, XORPEN, MASKPEN and
// COPYPEN. TRUE.
BOOL Rop2FillRect(RenderPdev* pdev, const PdevRect& rect, BYTE* plane, LONG stride, const BYTE* pattern,
                  PatternSize size, ULONG rop);
// The same ROP2 on the target plane and the matching change of the other
// plane (the device's otherPlane); one plane when both are the same. TRUE.
BOOL Rop2FillPlanes(RenderPdev* pdev, const PdevRect& rect, BYTE* target, LONG stride, const BYTE* pattern,
                    PatternSize size, ULONG rop);

// Per-rectangle kernels. FillRectInk and FillRectWhite raise a negative left
// or top to 0 and, given a device, lower right and bottom into the plane; the
// rect is changed in place. An empty rect is left alone. InvertRect cuts the
// same way when given a device. TRUE.
BOOL FillRectInk(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);
BOOL FillRectWhite(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);
BOOL InvertRect(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride);

// A line of squares of side width from (x1, y1) to (x2, y2), each square a
// Rop2FillPlanes call: a horizontal line covers x1..x2 + 1, a vertical one
// min y..max y + 1. TRUE.
BOOL DrawLine(RenderPdev* pdev, BYTE* target, LONG x1, LONG y1, LONG x2, LONG y2, LONG width, LONG stride,
              const BYTE* pattern, PatternSize size, ULONG rop);
