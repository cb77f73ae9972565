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

// The error rows of one picture diffused band by band: each call continues
// at the target row where the previous one stopped, so the bits equal those
// of one call over the whole picture. A band's target rectangle is the whole
// picture's, moved with the band buffer. Made by AllocDiffusionRows for the
// target width, freed by FreeDiffusionRows.
struct DiffusionRows {
  BYTE* block = nullptr;  // two error rows and the row of decisions
  std::int64_t width = 0;
  std::int64_t nextRow = 0;  // rows of the picture done so far
  bool previousFirst = true;  // which error row holds the row above
  PdevRect key = {0, 0, -1, -1};  // the picture's carry key, taken at its first row
};
bool AllocDiffusionRows(DiffusionRows& rows, std::int64_t width);
void FreeDiffusionRows(DiffusionRows& rows);

struct DiffusionContext {
  int resolutionMode = 0;
  int orientation = 0;  // 0 or 90
  bool ontoMask = false;  // painted onto a mask: rows and columns stay unpaired
  LONG pageHeight = 0;  // pixels; its parity sets the row pairs
  DiffusionCarry* carry = nullptr;  // used by resolution mode 2 at orientation 90
  DiffusionRows* rows = nullptr;  // a picture diffused in bands; null: the whole picture in this call
};

// Diffuses the source into the target rectangle (inclusive, buffer
// coordinates; target pixel k takes source pixel floor(k S / T)). Rows and
// columns outside the buffer are computed but not written; bits right of the
// rectangle in its last byte turn white. False, drawing nothing, when the
// error rows cannot be allocated.
bool DiffuseError(const DiffusionContext& context, const DensityImage& src, const BandBuffer& band, const PdevRect& target);

}  // namespace imaging
