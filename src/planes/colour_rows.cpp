// Colours to ink density and bitmap rows to 24-bit pixels.
#include <algorithm>
#include <cstring>

#include "planes/colour_classes.h"
#include "planes/plane_ops.h"

namespace {
constexpr BYTE Red(ULONG c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE Green(ULONG c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE Blue(ULONG c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// Entries a palette format reads; 0 for the direct formats.
ULONG PaletteEntriesOf(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 2;
    case BMF_4BPP: return 16;
    case BMF_8BPP: return 256;
    default: return 0;
  }
}
}  // namespace

void RgbToDensity(const ULONG* colours, BYTE* out, ULONG count) {
  for (ULONG i = 0; i < count; ++i) {
    const ULONG c = colours[i];
    out[i] = static_cast<BYTE>(255 - ((2449 * Red(c) + 4805 * Green(c) + 938 * Blue(c)) >> 13));
  }
}

void PaletteToInkDensity(RenderPdev* pdev, const ULONG* colours, InkDensityPair* out, ULONG count) {
  const int code = ClassCodeOfMode(pdev->separationModes[1]);
  for (ULONG i = 0; i < count; ++i) {
    const ULONG c = colours[i];
    (void)ClassifyColourForPlates(code, Red(c), Green(c), Blue(c), 0, &out[i].plate, &out[i].density);
  }
}

BOOL ExpandRowTo24(const BYTE* bits, const PdevRect& rect, LONG stride, LONG rowOffset, BYTE* out,
                   const ULONG* palette, ULONG paletteCount, ULONG format) {
  const ULONG needed = PaletteEntriesOf(format);
  if (!bits || !out || rect.left < 0 || format < BMF_1BPP || format > BMF_32BPP) return FALSE;
  if (needed != 0 && (!palette || paletteCount < needed)) return FALSE;
  const BYTE* row = bits + (static_cast<std::int64_t>(rect.top) + rowOffset) * static_cast<std::int64_t>(stride);
  auto putColour = [&out](ULONG c) {
    *out++ = Blue(c);
    *out++ = Green(c);
    *out++ = Red(c);
  };
  for (std::int64_t x = rect.left; x <= rect.right; ++x) {
    switch (format) {
      case BMF_1BPP: putColour(palette[(row[x / 8] & (0x80 >> (x % 8))) ? 1 : 0]); break;
      case BMF_4BPP: putColour(palette[(x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F)]); break;
      case BMF_8BPP: putColour(palette[row[x]]); break;
      case BMF_16BPP: {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        *out++ = static_cast<BYTE>((v << 3) & 0xF8);
        *out++ = static_cast<BYTE>((v >> 2) & 0xF8);
        *out++ = static_cast<BYTE>((v >> 7) & 0xF8);
        break;
      }
      case BMF_24BPP:
      case BMF_32BPP: {
        const BYTE* p = row + x * (format == BMF_24BPP ? 3 : 4);
        *out++ = p[0];
        *out++ = p[1];
        *out++ = p[2];
        break;
      }
    }
  }
  return TRUE;
}

BOOL SourceToRgb24(const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* dst, const PdevRect& dstRect,
                   LONG dstStride, const ULONG* palette, ULONG paletteCount, ULONG format) {
  if (!src || !dst || RectIsEmpty(srcRect) || RectIsEmpty(dstRect) || srcRect.left < 0 || dstRect.left < 0)
    return FALSE;
  const std::int64_t w = std::min(RectWidth(srcRect), RectWidth(dstRect));
  const std::int64_t h = std::min(RectHeight(srcRect), RectHeight(dstRect));
  const PdevRect rowRect{srcRect.left, srcRect.top, static_cast<std::int32_t>(srcRect.left + w - 1),
                         static_cast<std::int32_t>(srcRect.top + h - 1)};
  BOOL any = FALSE;
  for (std::int64_t y = 0; y < h; ++y) {
    BYTE* out = dst + (dstRect.top + y) * std::int64_t{dstStride} + std::int64_t{dstRect.left} * 3;
    // 24-bit rows are copied as they are; a row that converts nothing is white.
    if (format == BMF_24BPP) {
      std::memmove(out, src + (srcRect.top + y) * std::int64_t{srcStride} + std::int64_t{srcRect.left} * 3,
                   static_cast<std::size_t>(w * 3));
      any = TRUE;
    } else if (ExpandRowTo24(src, rowRect, srcStride, static_cast<LONG>(y), out, palette, paletteCount, format)) {
      any = TRUE;
    } else {
      std::memset(out, 0xFF, static_cast<std::size_t>(w * 3));
    }
  }
  return any;
}
