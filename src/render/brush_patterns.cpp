// Solid-colour patterns, realized pattern brushes and the realization record.
#include "render/brush_patterns.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "imaging/image_entries.h"
#include "planes/dither_patterns.h"
#include "planes/plane_ops.h"
#include "planes/row_kernels.h"

namespace {

// The solid colour of a brush: 0xFFFFFF for one without.
ULONG SolidColour(BRUSHOBJ* brush) {
  return (brush && brush->iSolidColor != kNoSolidColor) ? brush->iSolidColor & 0xFFFFFF : 0xFFFFFF;
}

// Classifies the brush's colour with a separation mode; sets PlateSelector
// and returns new pattern bits of the form.
BYTE* SolidPattern(RenderPdev* pdev, BRUSHOBJ* brush, int mode, int objectKind, bool wide) {
  const ULONG rgb = SolidColour(brush);
  std::uint8_t plate = 2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(mode), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          objectKind, &plate, &density);
  pdev->drawing.plateSelector = plate;
  auto* bits = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 128));
  if (!bits) return nullptr;
  SolidPatternBits(density, SolidPatternForm{wide, pdev->resolutionMode, pdev->orientation},
                   std::span<std::uint8_t, 128>(bits, 128));
  return bits;
}

SIZEL NarrowSize(const RenderPdev* pdev) { return pdev->resolutionMode == 2 ? SIZEL{24, 12} : SIZEL{8, 8}; }

// The plate of a realized brush on a two-ink sheet.
std::uint16_t PatternPlate(RenderPdev* pdev, const RealizedBrush* rb) {
  const int g = std::min<int>(pdev->separationModes[1], 17);
  const std::uint16_t fallback = SeparationDefaultPlate[g] ? 2 : 1;
  const std::uint16_t other = fallback == 2 ? 1 : 2;
  if (rb->format >= static_cast<std::int32_t>(BMF_16BPP)) return other;
  if (rb->format != static_cast<std::int32_t>(BMF_1BPP) && rb->format != static_cast<std::int32_t>(BMF_4BPP))
    return fallback;
  const ULONG entries = rb->format == static_cast<std::int32_t>(BMF_1BPP) ? 2 : 16;
  if (rb->paletteCount < static_cast<std::int32_t>(entries)) return fallback;
  InkDensityPair* table = pdev->shared.paletteInk;
  PaletteToInkDensity(pdev, RealizedBrushPalette(rb), table, entries);
  const bool shared = std::all_of(table, table + entries, [&](const InkDensityPair& p) { return p.plate == table[0].plate; });
  if (!shared) return other;
  return rb->format == static_cast<std::int32_t>(BMF_1BPP) ? table[0].plate : fallback;
}

}  // namespace

BYTE* BrushToPattern(RenderPdev* pdev, BRUSHOBJ* brush, LONG, LONG, ULONG, BOOL wide) {
  pdev->drawing.keepOtherPlane = 0;
  return SolidPattern(pdev, brush, pdev->separationModes[1], kObjectKindGraphics, wide != FALSE);
}

BYTE* BrushToPatternWide(RenderPdev* pdev, BRUSHOBJ* brush, LONG, LONG, ULONG, BOOL wide) {
  pdev->drawing.keepOtherPlane = 0;
  return SolidPattern(pdev, brush, pdev->separationModes[0], kObjectKindText, wide != FALSE);
}

namespace {

// The realization of a pattern brush, or null when it has none or its size
// is out of range; sourceStride out.
const RealizedBrush* UsableRealization(BRUSHOBJ* brush, std::int64_t& sourceStride) {
  const auto* rb = static_cast<const RealizedBrush*>(brush->pvRbrush ? brush->pvRbrush : BRUSHOBJ_pvGetRbrush(brush));
  if (!rb || rb->width <= 0 || rb->height <= 0 || rb->width > 4096 || rb->height > 4096) return nullptr;
  sourceStride = RowBytesForFormat(rb->width, static_cast<ULONG>(rb->format));
  return sourceStride > 0 ? rb : nullptr;
}

const ULONG* PaletteOf(const RealizedBrush* rb, ULONG& count) {
  const bool paletted = rb->format >= static_cast<std::int32_t>(BMF_1BPP) &&
                        rb->format <= static_cast<std::int32_t>(BMF_8BPP);
  count = paletted ? static_cast<ULONG>(rb->paletteCount) : 0;
  return paletted ? RealizedBrushPalette(rb) : nullptr;
}

// Widths that are not a multiple of 8 repeat to the least common multiple
// with 8, so that the page anchoring stays whole bytes. New pattern bits
// from a plate of the brush's own size; size out.
BYTE* WidenedPattern(const BYTE* plate, LONG w, LONG h, SIZEL& size) {
  const LONG wideW = std::lcm(w, 8);
  const std::int64_t outRow = wideW / 8;
  auto* out = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(outRow * h)));
  if (!out) return nullptr;
  const std::int64_t plateRow = RowBytes1bpp(w);
  for (LONG y = 0; y < h; ++y) {
    BYTE* dst = out + y * outRow;
    std::memset(dst, 0xFF, static_cast<size_t>(outRow));
    const BYTE* src = plate + y * plateRow;
    for (LONG x = 0; x < wideW; ++x) {
      const LONG sx = x % w;
      if (!(src[sx / 8] & (0x80 >> (sx % 8)))) dst[x / 8] = static_cast<BYTE>(dst[x / 8] & ~(0x80 >> (x % 8)));
    }
  }
  size = SIZEL{wideW, h};
  return out;
}

}  // namespace

BYTE* RealizePattern(RenderPdev* pdev, BRUSHOBJ* brush, SIZEL* patternSize, BOOL wide) {
  if (!brush) return nullptr;
  if (brush->iSolidColor != kNoSolidColor) {
    if (patternSize) *patternSize = wide ? SIZEL{32, 32} : NarrowSize(pdev);
    return SolidPattern(pdev, brush, pdev->separationModes[1], kObjectKindGraphics, wide != FALSE);
  }
  std::int64_t sourceStride = 0;
  const RealizedBrush* rb = UsableRealization(brush, sourceStride);
  if (!rb) return nullptr;
  const LONG w = rb->width, h = rb->height;
  auto* plate = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(RowBytes1bpp(w) * h)));
  if (!plate) return nullptr;
  ULONG paletteCount = 0;
  const ULONG* palette = PaletteOf(rb, paletteCount);
  RealizeBrushOnePlate(pdev, plate, RealizedBrushRows(rb), SIZEL{w, h}, static_cast<LONG>(sourceStride), palette,
                       paletteCount, static_cast<ULONG>(rb->format));
  pdev->drawing.hatchMarker = 0;
  SIZEL size{};
  BYTE* out = WidenedPattern(plate, w, h, size);
  GlobalFree(plate);
  if (!out) return nullptr;
  pdev->drawing.plateSelector = (pdev->flags & kPdevTwoPlanes) ? PatternPlate(pdev, rb) : 2;
  if (patternSize) *patternSize = size;
  return out;
}

BOOL PatCopyRealized(SURFOBJ* pso, const RECTL* dest, CLIPOBJ* clip, BRUSHOBJ* brush) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !dest || !brush) return FALSE;
  std::int64_t sourceStride = 0;
  const RealizedBrush* rb = UsableRealization(brush, sourceStride);
  if (!rb) return FALSE;
  const LONG w = rb->width, h = rb->height;
  const std::int64_t plateBytes = RowBytes1bpp(w) * h;
  auto* plates = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(2 * plateBytes)));
  if (!plates) return FALSE;
  ULONG paletteCount = 0;
  const ULONG* palette = PaletteOf(rb, paletteCount);
  BYTE* plate1 = plates;
  BYTE* plate2 = plates + plateBytes;
  if (!RealizeBrushTwoPlates(pdev, plate1, plate2, RealizedBrushRows(rb), SIZEL{w, h}, static_cast<LONG>(sourceStride),
                             palette, paletteCount, static_cast<ULONG>(rb->format))) {
    GlobalFree(plates);
    return FALSE;
  }
  SIZEL size{};
  BYTE* pattern2 = WidenedPattern(plate2, w, h, size);
  BYTE* pattern1 = WidenedPattern(plate1, w, h, size);
  GlobalFree(plates);
  BOOL result = pattern1 && pattern2;
  if (result) {
    BYTE *drum1 = nullptr, *drum2 = nullptr;
    GetInkPlanes(pdev, pso->lDelta, &drum1, &drum2);
    const PdevRect inclusive = InclusiveRect(*dest);
    PdevRect cut = inclusive;
    RectIntersect(cut, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, cut);
    // Plate 2 first, then plate 1, each plane on its own.
    const std::pair<BYTE*, const BYTE*> steps[] = {{drum2, pattern2}, {drum1, pattern1}};
    for (const auto& [plane, pattern] : steps) {
      pdev->drawing.targetPlane = plane;
      pdev->drawing.otherPlane = plane;
      if (RectIsEmpty(cut)) break;
      ForEachDestPart(clip, cut, [&, plane = plane, pattern = pattern](const PdevRect& part) {
        Rop2FillPlanes(pdev, part, plane, pso->lDelta, pattern, size, R2_COPYPEN);
      });
    }
  }
  if (pattern1) GlobalFree(pattern1);
  if (pattern2) GlobalFree(pattern2);
  return result;
}

std::int64_t RealizedRowBytes(std::int64_t width, ULONG patternFormat) {
  int bits = 0;
  switch (patternFormat) {
    case BMF_1BPP: bits = 1; break;
    case BMF_4BPP: bits = 4; break;
    case BMF_8BPP: bits = 8; break;
    case BMF_16BPP: case BMF_24BPP: case BMF_32BPP: bits = 24; break;
    default: return -1;
  }
  if (width <= 0 || width > (1 << 20)) return -1;
  return ((width * bits + 31) / 32) * 4;
}

BOOL RealizeBrushRecord(BRUSHOBJ* brush, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch) {
  const ULONG format = pattern->iBitmapFormat;
  const LONG w = pattern->sizlBitmap.cx, h = pattern->sizlBitmap.cy;
  const std::int64_t rowBytes = RealizedRowBytes(w, format);
  if (rowBytes < 0 || h <= 0 || h > (1 << 20) || !pattern->pvScan0) return FALSE;
  const ULONG paletteCount = (xlate && (xlate->flXlate & XO_TABLE) && xlate->pulXlate) ? xlate->cEntries : 0;
  const std::int64_t total = static_cast<std::int64_t>(kRealizedBrushRows) + rowBytes * h + 4LL * paletteCount;
  if (paletteCount > 65536 || total > (64LL << 20)) return FALSE;
  auto* rb = static_cast<RealizedBrush*>(BRUSHOBJ_pvAllocRbrush(brush, static_cast<ULONG>(total)));
  if (!rb) return FALSE;
  const bool converted = format == BMF_16BPP || format == BMF_32BPP;
  *rb = RealizedBrush{w,
                      h,
                      static_cast<std::int32_t>(converted ? BMF_24BPP : format),
                      static_cast<std::int32_t>(pattern->fjBitmap | (converted ? BMF_TOPDOWN : 0)),
                      static_cast<std::int32_t>(paletteCount),
                      static_cast<std::int32_t>(kRealizedBrushRows + rowBytes * h),
                      static_cast<std::int32_t>(hatch),
                      0};
  BYTE* rows = reinterpret_cast<BYTE*>(rb) + kRealizedBrushRows;
  if (paletteCount) std::memcpy(reinterpret_cast<BYTE*>(rb) + rb->paletteOffset, xlate->pulXlate, 4 * paletteCount);
  const std::int64_t sourceRow = std::llabs(static_cast<long long>(pattern->lDelta));
  for (LONG y = 0; y < h; ++y) {
    const BYTE* src = static_cast<const BYTE*>(pattern->pvScan0) + static_cast<std::ptrdiff_t>(y) * pattern->lDelta;
    BYTE* dst = rows + y * rowBytes;
    std::memset(dst, 0, static_cast<size_t>(rowBytes));
    if (!converted) {
      std::memcpy(dst, src, static_cast<size_t>(std::min(sourceRow, rowBytes)));
      continue;
    }
    const bool trivial = !xlate || !(xlate->flXlate & XO_TABLE);
    for (LONG x = 0; x < w; ++x) {
      ULONG v = format == BMF_16BPP ? static_cast<ULONG>(src[2 * x] | (src[2 * x + 1] << 8))
                                    : static_cast<ULONG>(src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16));
      ULONG rgb;
      if (!trivial) {
        rgb = XLATEOBJ_iXlate(xlate, v);
      } else if (format == BMF_16BPP) {
        // 5-5-5 bits.
        rgb = ((v >> 7) & 0xF8) | (((v >> 2) & 0xF8) << 8) | (((v << 3) & 0xF8) << 16);
      } else {
        // Bytes blue, green, red.
        rgb = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
      }
      dst[3 * x] = static_cast<BYTE>((rgb >> 16) & 0xFF);
      dst[3 * x + 1] = static_cast<BYTE>((rgb >> 8) & 0xFF);
      dst[3 * x + 2] = static_cast<BYTE>(rgb & 0xFF);
    }
  }
  brush->pvRbrush = rb;
  return TRUE;
}
