// Brushes as the drawing paths see them: the realized brush record that
// DrvRealizeBrush makes, and the default plate of pattern brushes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "planes/colour_classes.h"
#include "plat/engine_draw.h"
#include "render/render_pdev.h"

// The realization of a hatch or pattern brush, in memory the engine owns
// (BRUSHOBJ_pvAllocRbrush): this header, then height rows of rowBytes (top
// row first), then paletteCount 0x00BBGGRR entries at paletteOffset.
struct RealizedBrush {
  std::int32_t width;
  std::int32_t height;
  std::int32_t format;  // BMF_1BPP..BMF_8BPP, or BMF_24BPP (also for 16- and 32-bpp patterns)
  std::int32_t flags;  // the pattern's fjBitmap, BMF_TOPDOWN added for converted patterns
  std::int32_t paletteCount;
  std::int32_t paletteOffset;  // from the record's start: 32 + rowBytes x height
  std::int32_t hatch;  // iHatch as the engine passed it
  std::int32_t reserved;
};
static_assert(offsetof(RealizedBrush, width) == 0);
static_assert(offsetof(RealizedBrush, height) == 4);
static_assert(offsetof(RealizedBrush, format) == 8);
static_assert(offsetof(RealizedBrush, flags) == 12);
static_assert(offsetof(RealizedBrush, paletteCount) == 16);
static_assert(offsetof(RealizedBrush, paletteOffset) == 20);
static_assert(offsetof(RealizedBrush, hatch) == 24);
inline constexpr std::size_t kRealizedBrushRows = 32;  // offset of the first row
static_assert(sizeof(RealizedBrush) == kRealizedBrushRows);

inline const BYTE* RealizedBrushRows(const RealizedBrush* rb) {
  return reinterpret_cast<const BYTE*>(rb) + kRealizedBrushRows;
}
inline const ULONG* RealizedBrushPalette(const RealizedBrush* rb) {
  return reinterpret_cast<const ULONG*>(reinterpret_cast<const BYTE*>(rb) + rb->paletteOffset);
}

// Row bytes of a realized pattern of width pixels in its stored format
// (16- and 32-bpp patterns are stored at 24 bits): whole 32-bit words; -1
// for another format or a size out of range.
std::int64_t RealizedRowBytes(std::int64_t width, ULONG patternFormat);

// Makes the realization of a pattern surface into the brush. FALSE when the
// pattern cannot be read, its size is out of range or the engine gives no
// memory.
BOOL RealizeBrushRecord(BRUSHOBJ* brush, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch);

// New pattern bits (128 bytes) for a solid-colour brush, colour classified
// with the graphics (BrushToPattern) or text (BrushToPatternWide) separation
// mode; sets PlateSelector. resolution is (y << 16) | x. NULL on failure.
BYTE* BrushToPattern(RenderPdev* pdev, BRUSHOBJ* brush, LONG patternWidth, LONG patternHeight, ULONG resolution,
                     BOOL wide);
BYTE* BrushToPatternWide(RenderPdev* pdev, BRUSHOBJ* brush, LONG patternWidth, LONG patternHeight, ULONG resolution,
                         BOOL wide);
// New one-bit pattern bits for a brush; patternSize in: the size asked for,
// out: the pattern's size. NULL when the brush cannot be realized.
BYTE* RealizePattern(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* patternSize, BOOL wide);
// PATCOPY of a pattern brush on a two-ink sheet; dest exclusive.
BOOL PatCopyRealized(SURFOBJ* pso, const RECTL* dest, CLIPOBJ* clip, BRUSHOBJ* brush);
