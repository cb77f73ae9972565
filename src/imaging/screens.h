// Generated clustered-dot screens: a cell spanned by the screen vector and its
// perpendicular, doubled, given sub-levels and repeated over a square tile of
// thresholds (a pixel inks where its threshold is below its density).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "plat/base.h"

namespace imaging {

struct ScreenVector {
  int x;
  int y;
};

// The screen as a job asks for it.
struct ScreenSpec {
  int dpi = 600;  // horizontal device resolution
  int lines = 100;  // lines per inch
  int angle = 45;  // degrees
  int resolutionMode = 0;
  int orientation = 0;  // 0 or 90
  bool smooth = false;  // sub-levels (KaityoSmooth)
  bool fixedMatrix = false;  // two planes and a per-pixel separation mode (8..17)
};

// The doubled cell works in arrays of side 100: x + y may not exceed 49.
inline constexpr int kScreenCellLimit = 49;

// From dpi, lines and angle (theta = angle x 3.1416 / 180). A line count of 0
// or less, or a vector with x + y of 0 or above 49, is replaced by 100 lines
// at 45 degrees (then clamped into range); angles outside 0..90 are folded
// into 0..89. Resolution mode 2 raises odd components to even.
ScreenVector ComputeScreenVector(int dpi, int lines, int angle, int resolutionMode);
// The angle a screen takes: outside 0..90 folded into 0..89.
int FoldScreenAngle(int angle);
// Whether ComputeScreenVector keeps the line count asked (else it takes 100
// lines at 45 degrees).
bool ScreenTakesLines(int dpi, int lines, int angle, int resolutionMode);

int GreatestCommonDivisor(int a, int b);

// Thresholds of the cell pixels in the order they are taken: level[0] = 1,
// then steps of about 256 / N, never above 254. Writes s = the cell's pixel
// count entries (x^2 + y^2, halved in resolution mode 2) and returns s.
int ScreenLevels(ScreenVector v, int resolutionMode, BYTE* levels, int capacity);

// Side of the generated tile: ((2x)^2 + (2y)^2) / gcd(2x, 2y).
int ScreenTileSide(ScreenVector v);
// The side the tile of the parameters will have (the fixed matrix's when it applies)
// and the bytes to allocate for it: max(generated side, matrix side)^2.
int ScreenSide(const ScreenSpec& params);
std::optional<std::size_t> ScreenTileBytes(const ScreenSpec& params);

// Builds the tile into the caller's zeroed buffer of tileBytes and writes its
// side. coverage, when given (side^2 bytes, zeroed), counts how often each
// tile position was written. False, building nothing, when the buffer is too
// small or the working memory cannot be had.
bool BuildScreen(const ScreenSpec& params, BYTE* tile, std::size_t tileBytes, LONG* side, BYTE* coverage = nullptr);

}  // namespace imaging
