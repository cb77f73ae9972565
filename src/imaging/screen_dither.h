// Screen dithers: 8-bit ink density to the one-bit form of an ink plane
// (bit 1 = white, most significant bit first) through a threshold tile whose
// phase is the absolute page position, so pieces drawn apart join without
// seams.
#pragma once

#include <cstddef>
#include <cstdint>

#include "planes/pdev_record.h"
#include "plat/base.h"

namespace imaging {

// Density rows, 255 = full ink. A band of a taller picture holds only some
// of its rows: data is then row firstRow of the picture, height stays the
// picture's, and the kernels read only rows the band holds.
struct DensityImage {
  const BYTE* data = nullptr;
  LONG width = 0;
  LONG height = 0;
  LONG stride = 0;  // bytes from one row to the next
  LONG firstRow = 0;
  const BYTE* Row(LONG index) const { return data + static_cast<std::ptrdiff_t>(index - firstRow) * stride; }
};

// The one-bit destination: rows bytes of stride, and the page position of
// its first pixel. Nothing is written outside it.
struct BandBuffer {
  BYTE* bits = nullptr;
  LONG stride = 0;
  LONG rows = 0;
  POINTL origin = {0, 0};
};

struct ScreenTile {
  const BYTE* data = nullptr;  // side x side thresholds, row-major
  LONG side = 0;
};

// What picks the dither and its pairing.
struct DitherContext {
  int resolutionMode = 0;
  int orientation = 0;  // 0 or 90
  bool ontoMask = false;  // painted onto a mask: the plain screen in every mode
  LONG pageHeight = 0;  // pixels; its parity sets the interlaced row pairs
  int carryKind = 0;  // non-zero: an image continued from the band above
};

// The target rectangle is inclusive, in buffer coordinates; rows and columns
// outside the buffer are computed but not written. Target pixel k takes
// source pixel floor(k S / T) in each direction. Bits left of the rectangle
// in its first byte keep their value; bits right of it in its last byte turn
// white. Each returns TRUE.
BOOL DitherScreenPlain(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile);
// Resolution mode 2 at orientation 0: pixel pairs by absolute column decide together.
BOOL DitherScreenSmooth(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile);
// Resolution mode 2 at orientation 90: row pairs by absolute row decide together.
BOOL DitherScreenInterlaced(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile,
                            LONG pageHeight, int carryKind);
// The dither of the resolution mode; FALSE, drawing nothing, for modes 3 and up.
BOOL DitherByScreen(const DitherContext& context, const DensityImage& src, const BandBuffer& band, const PdevRect& target,
                    const ScreenTile& tile);

}  // namespace imaging
