// Error diffusion of 8-bit ink density into the one-bit form of an ink plane,
// with a four-neighbour pull kernel over signed 8-bit error rows that live
// for one call.
#pragma once

#include <cstdint>

#include "imaging/screen_dither.h"

namespace imaging {

// The source row an interlaced image leaves for its next band, when a band
// ends on the first row of a pair. Kind 1 continues by rectangle (buffer
// coordinates), kind 2 by band origin (page coordinates); the caller sets
// the kind, the diffusion keeps the row and the rectangle.
struct DiffusionCarry {
  BYTE* row = nullptr;  // heap block, freed by FreeDiffusionCarry
  std::uint32_t size = 0;
  std::uint8_t kind = 0;
  PdevRect saved = {0, 0, -1, -1};
};

void FreeDiffusionCarry(DiffusionCarry& carry);

struct DiffusionContext {
  int resolutionMode = 0;
  int orientation = 0;  // 0 or 90
  int blitState = 0;
  LONG pageHeight = 0;  // pixels; its parity sets the row pairs
  DiffusionCarry* carry = nullptr;  // used by resolution mode 2 at orientation 90
};

// Diffuses the source into the target rectangle (inclusive, buffer
// coordinates; target pixel k takes source pixel floor(k S / T)). Rows and
// columns outside the buffer are computed but not written; bits right of the
// rectangle in its last byte turn white. False, drawing nothing, when the
// error rows cannot be allocated.
bool DiffuseError(const DiffusionContext& context, const DensityImage& src, const BandBuffer& band, const PdevRect& target);

}  // namespace imaging
