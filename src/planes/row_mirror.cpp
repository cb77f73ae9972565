// Row mirroring of 1- to 32-bit rows.
#include "planes/row_mirror.h"

#include <algorithm>

int ReverseRowPixels(BYTE* bits, LONG width, LONG height, LONG stride, ULONG format) {
  int bytesPerPixel = 0;
  switch (format) {
    case BMF_1BPP: case BMF_4BPP: break;
    case BMF_8BPP: bytesPerPixel = 1; break;
    case BMF_16BPP: bytesPerPixel = 2; break;
    case BMF_24BPP: bytesPerPixel = 3; break;
    case BMF_32BPP: bytesPerPixel = 4; break;
    default: return 0;
  }
  if (!bits || width <= 0 || height <= 0) return 1;
  for (LONG y = 0; y < height; ++y) {
    BYTE* row = bits + static_cast<std::ptrdiff_t>(y) * stride;
    if (format == BMF_1BPP || format == BMF_4BPP) {
      const int bpp = format == BMF_1BPP ? 1 : 4;
      const int perByte = 8 / bpp;
      const BYTE mask = static_cast<BYTE>((1 << bpp) - 1);
      auto get = [&](LONG x) { return (row[x / perByte] >> (8 - bpp * (x % perByte + 1))) & mask; };
      auto put = [&](LONG x, int v) {
        const int shift = 8 - bpp * (x % perByte + 1);
        row[x / perByte] = static_cast<BYTE>((row[x / perByte] & ~(mask << shift)) | (v << shift));
      };
      for (LONG a = 0, b = width - 1; a < b; ++a, --b) {
        const int va = get(a), vb = get(b);
        put(a, vb);
        put(b, va);
      }
      for (LONG x = width; x % perByte != 0; ++x) put(x, 0);
      continue;
    }
    for (LONG a = 0, b = width - 1; a < b; ++a, --b)
      std::swap_ranges(row + a * bytesPerPixel, row + (a + 1) * bytesPerPixel, row + b * bytesPerPixel);
  }
  return 1;
}
