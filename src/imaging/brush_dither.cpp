#include "imaging/brush_dither.h"

#include "imaging/threshold_matrices.h"

namespace imaging {

BOOL DitherMatrix8x8(const BYTE* density, BYTE* pattern, const PdevRect& rect, LONG srcStep, LONG patternStride) {
  if (rect.right < rect.left || rect.bottom < rect.top) return TRUE;
  return DitherMatrix8x8Phased(density, pattern, std::int64_t{rect.right} - rect.left + 1,
                               std::int64_t{rect.bottom} - rect.top + 1, srcStep, patternStride, POINTL{0, 0});
}

BOOL DitherMatrix8x8Phased(const BYTE* density, BYTE* pattern, std::int64_t width, std::int64_t rows, LONG srcStep,
                           LONG patternStride, POINTL phase) {
  if (!density || !pattern || width <= 0 || rows <= 0) return TRUE;
  for (std::int64_t i = 0; i < rows; ++i) {
    const BYTE* d = density + i * srcStep;
    BYTE* out = pattern + i * patternStride;
    const BYTE* order = BrushDither8x8[(i + phase.y) & 7];
    for (std::int64_t byte = 0; byte * 8 < width; ++byte) {
      unsigned bits = 0;
      for (int b = 0; b < 8; ++b) {
        const std::int64_t j = byte * 8 + b;
        bits = (bits << 1) | (j >= width || !(order[(j + phase.x) & 7] < d[j]) ? 1u : 0u);
      }
      out[byte] = static_cast<BYTE>(bits);
    }
  }
  return TRUE;
}

bool PlateIsWhite(const BYTE* plate, LONG width, LONG rows, LONG stride) {
  for (LONG y = 0; y < rows; ++y) {
    const BYTE* row = plate + static_cast<std::ptrdiff_t>(y) * stride;
    for (LONG x = 0; x < width; ++x)
      if (!((row[x >> 3] >> (7 - (x & 7))) & 1)) return false;
  }
  return true;
}

}  // namespace imaging
