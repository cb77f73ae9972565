#include "imaging/screens.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "imaging/scratch.h"
#include "imaging/threshold_matrices.h"

namespace imaging {

namespace {

constexpr int kGrid = 100;  // side of the working arrays
constexpr int kMaxLevels = 3000;

ScreenVector RawVector(int dpi, int lines, int angle, int resolutionMode) {
  const double theta = angle * 3.1416 / 180;
  ScreenVector v{static_cast<int>(std::cos(theta) * dpi / lines + 0.5), static_cast<int>(std::sin(theta) * dpi / lines + 0.5)};
  if (resolutionMode == 2) {
    v.x += v.x & 1;
    v.y += v.y & 1;
  }
  return v;
}

bool Usable(ScreenVector v) { return v.x >= 0 && v.y >= 0 && v.x + v.y > 0 && v.x + v.y <= kScreenCellLimit; }

// Working arrays of one build; one per call, never shared.
struct CellWork {
  BYTE threshold[kGrid][kGrid];  // the cell, then the stretched cell in mode 2
  BYTE doubled[kGrid][kGrid];
  BYTE doubledInside[kGrid][kGrid];
  BYTE levels[kMaxLevels];
  std::int64_t order[kGrid * kGrid];  // spot value << 16 | row-major index
  // ScreenLevelScratch: per threshold value, present, four sub-levels, use counter.
  BYTE present[256];
  BYTE sub[256][4];
  std::uint32_t uses[256];
};

int SquaredDistance(int c0, int r0, int c1, int r1) { return (c0 - c1) * (c0 - c1) + (r0 - r1) * (r0 - r1); }

// The cell on the grid (columns c, rows r); in resolution mode 2 on the
// half-resolution grid of the orientation, then stretched back.
void BuildScreenCell(ScreenVector v, int resolutionMode, int orientation, CellWork& w) {
  const int x = v.x, y = v.y, span = x + y;
  const int s = x * x + y * y;
  const bool half = resolutionMode == 2;
  const bool halfColumns = half && orientation != 90;
  const bool halfRows = half && orientation == 90;
  const int cols = halfColumns ? span / 2 : span;
  const int rows = halfRows ? span / 2 : span;
  // Corners O, U, V, W and the centre, on the working grid.
  const int hc = halfColumns ? 2 : 1, hr = halfRows ? 2 : 1;
  const int corners[4][2] = {{0, x / hr}, {x / hc, span / hr}, {y / hc, 0}, {span / hc, y / hr}};
  const int h = span / 2;
  const int centreC = h / hc, centreR = h / hr;

  std::memset(w.threshold, 0, sizeof w.threshold);
  int count = 0;
  for (int r = 0; r <= rows; ++r)
    for (int c = 0; c <= cols; ++c) {
      const int fc = halfColumns ? 2 * c : c;
      const int fr = halfRows ? 2 * r : r;
      const int a = fc * x + (fr - x) * y;
      const int b = fc * y - (fr - x) * x;
      if (a < 0 || a >= s || b < 0 || b >= s) continue;
      int spot;
      if (std::abs(2 * a - s) + std::abs(2 * b - s) <= s) {
        spot = SquaredDistance(c, r, centreC, centreR);
      } else {
        int nearest = SquaredDistance(c, r, corners[0][0], corners[0][1]);
        for (int k = 1; k < 4; ++k) nearest = std::min(nearest, SquaredDistance(c, r, corners[k][0], corners[k][1]));
        spot = 10000 - nearest;
      }
      w.order[count++] = (std::int64_t{spot} << 16) | (r * kGrid + c);
    }
  // Smallest spot first, ties in row-major order.
  std::sort(w.order, w.order + count);
  const int levelCount = ScreenLevels(v, resolutionMode, w.levels, kMaxLevels);
  for (int k = 0; k < count; ++k) {
    const int index = static_cast<int>(w.order[k] & 0xFFFF);
    w.threshold[index / kGrid][index % kGrid] = w.levels[std::min(k, levelCount - 1)];
  }
  if (!half) return;

  // Stretch the half-resolution cell back: each column (or row) twice.
  BYTE halfCell[kGrid][kGrid];
  std::memcpy(halfCell, w.threshold, sizeof halfCell);
  std::memset(w.threshold, 0, sizeof w.threshold);
  if (halfColumns) {
    for (int r = 0; r <= span; ++r)
      for (int c = 0; c < span / 2; ++c) w.threshold[r][2 * c] = w.threshold[r][2 * c + 1] = halfCell[r][c];
  } else {
    const int shift = y == 0 ? 1 : 0;  // the first occupied row comes first
    for (int r = 0; r < span / 2; ++r)
      for (int c = 0; c <= span; ++c) w.threshold[2 * r][c] = w.threshold[2 * r + 1][c] = halfCell[r + shift][c];
  }
}

// Sub-levels of every present threshold value for L sub-levels (1, 2 or 4).
void BuildSubLevels(CellWork& w, int L) {
  bool first = true;
  for (int v = 0; v < 256; ++v) {
    if (!w.present[v]) continue;
    if (first) {  // the smallest keeps its own value
      std::fill(w.sub[v], w.sub[v] + 4, static_cast<BYTE>(v));
      first = false;
      continue;
    }
    int next = v + 1;
    while (next < 256 && !w.present[next]) ++next;
    const bool last = next == 256;
    const int g = next - v;
    int sub[4] = {v, v, v, v};
    for (int m = 1; m < L; ++m) sub[m] = last ? v + (2 * m * g + L) / (2 * L) : v + m * g / L;
    for (int& s : sub) s = std::min(s, 255);
    if (L == 4) {
      const BYTE reordered[4] = {BYTE(sub[0]), BYTE(sub[3]), BYTE(sub[2]), BYTE(sub[1])};
      std::copy(reordered, reordered + 4, w.sub[v]);
    } else if (L == 2) {
      const BYTE paired[4] = {BYTE(sub[0]), BYTE(sub[1]), BYTE(sub[1]), BYTE(sub[0])};
      std::copy(paired, paired + 4, w.sub[v]);
    } else {
      std::fill(w.sub[v], w.sub[v] + 4, static_cast<BYTE>(v));
    }
  }
}

void BuildScreenTile(const ScreenSpec& params, ScreenVector v, CellWork& w, BYTE* tile, int n, BYTE* coverage) {
  const int x = v.x, y = v.y, span = x + y, f = 2 * span;
  std::memset(w.doubled, 0, sizeof w.doubled);
  std::memset(w.doubledInside, 0, sizeof w.doubledInside);
  const int offsets[4][2] = {{0, x}, {x, span}, {y, 0}, {span, y}};  // (column, row)
  for (const auto& o : offsets)
    for (int r = 0; r <= span; ++r)
      for (int c = 0; c <= span; ++c)
        if (w.threshold[r][c]) {
          w.doubled[r + o[1]][c + o[0]] = w.threshold[r][c];
          w.doubledInside[r + o[1]][c + o[0]] = 1;
        }

  std::memset(w.present, 0, sizeof w.present);
  std::memset(w.uses, 0, sizeof w.uses);
  int distinct = 0;
  for (int r = 0; r <= f; ++r)
    for (int c = 0; c <= f; ++c)
      if (w.doubledInside[r][c] && !w.present[w.doubled[r][c]]) {
        w.present[w.doubled[r][c]] = 1;
        ++distinct;
      }
  const int L = distinct >= 128 || !params.smooth ? 1 : distinct < 64 ? 4 : 2;
  BuildSubLevels(w, L);
  const int period = L == 1 ? 1 : 4;

  // Distribution in row-major order; in resolution mode 2 both pixels of a
  // pair take one sub-level.
  const bool pairs = params.resolutionMode == 2;
  const bool pairedRows = pairs && params.orientation == 90;
  BYTE distributed[kGrid][kGrid] = {};
  for (int r = 0; r <= f; ++r)
    for (int c = 0; c <= f; ++c) {
      if (!w.doubledInside[r][c]) continue;
      if (pairs && !pairedRows && (c & 1) && w.doubledInside[r][c - 1]) {
        distributed[r][c] = distributed[r][c - 1];
      } else if (pairedRows && (r & 1) && w.doubledInside[r - 1][c]) {
        distributed[r][c] = distributed[r - 1][c];
      } else {
        const BYTE t = w.doubled[r][c];
        distributed[r][c] = w.sub[t][w.uses[t]++ % period];
      }
    }

  // Repeat the doubled cell by 2u = (2x, 2y) and 2v = (2y, -2x) over the tile.
  const std::int64_t det = 2 * std::int64_t{x * x + y * y};
  const std::int64_t reach = (std::int64_t{n} + f + 1) * span / det + 2;
  for (std::int64_t a = -reach; a <= reach; ++a)
    for (std::int64_t b = -reach; b <= reach; ++b) {
      const std::int64_t ox = 2 * (a * x + b * y), oy = 2 * (a * y - b * x);
      if (ox > n - 1 || oy > n - 1 || ox + f < 0 || oy + f < 0) continue;
      for (int r = 0; r <= f; ++r) {
        const std::int64_t ty = oy + r;
        if (ty < 0 || ty >= n) continue;
        for (int c = 0; c <= f; ++c) {
          const std::int64_t tx = ox + c;
          if (tx < 0 || tx >= n || !w.doubledInside[r][c]) continue;
          const std::size_t at = static_cast<std::size_t>(ty) * n + static_cast<std::size_t>(tx);
          tile[at] = distributed[r][c];
          if (coverage) ++coverage[at];
        }
      }
    }
}

}  // namespace

int FoldScreenAngle(int angle) { return angle >= 0 && angle <= 90 ? angle : ((angle % 90) + 90) % 90; }

bool ScreenTakesLines(int dpi, int lines, int angle, int resolutionMode) {
  return lines > 0 && Usable(RawVector(dpi, lines, FoldScreenAngle(angle), resolutionMode));
}

ScreenVector ComputeScreenVector(int dpi, int lines, int angle, int resolutionMode) {
  angle = FoldScreenAngle(angle);
  ScreenVector v = lines > 0 ? RawVector(dpi, lines, angle, resolutionMode) : ScreenVector{0, 0};
  if (Usable(v)) return v;
  v = RawVector(dpi, 100, 45, resolutionMode);
  if (Usable(v)) return v;
  const int least = resolutionMode == 2 ? 2 : 1, most = 24;
  return {std::clamp(v.x, least, most), std::clamp(v.y, least, most)};
}

int GreatestCommonDivisor(int a, int b) {
  a = std::abs(a);
  b = std::abs(b);
  while (b != 0) a = std::exchange(b, a % b);
  return a;
}

int ScreenLevels(ScreenVector v, int resolutionMode, BYTE* levels, int capacity) {
  const int s = resolutionMode == 2 ? (v.x * v.x + v.y * v.y) / 2 : v.x * v.x + v.y * v.y;
  const int N = s + 1;
  int count = std::min(s, capacity);
  if (count <= 0) return 0;
  levels[0] = 1;
  // inc[i] = floor(256 (i + 1) / N) - floor(256 i / N) = (256 i mod N + 256) / N.
  int remainder = 256 % N;
  int level = 1;
  for (int i = 1; i < count; ++i) {
    remainder += 256;
    const int step = remainder / N;
    remainder %= N;
    level = std::min(level + step, 254);
    levels[i] = static_cast<BYTE>(level);
  }
  return count;
}

int ScreenTileSide(ScreenVector v) {
  const int gcd = GreatestCommonDivisor(2 * v.x, 2 * v.y);
  return gcd == 0 ? 0 : (4 * v.x * v.x + 4 * v.y * v.y) / gcd;
}

namespace {

int MatrixSide(const ScreenSpec& params) { return params.resolutionMode == 2 ? 12 : 8; }

}  // namespace

int ScreenSide(const ScreenSpec& params) {
  if (params.fixedMatrix) return MatrixSide(params);
  return ScreenTileSide(ComputeScreenVector(params.dpi, params.lines, params.angle, params.resolutionMode));
}

std::optional<std::size_t> ScreenTileBytes(const ScreenSpec& params) {
  const int generated = ScreenTileSide(ComputeScreenVector(params.dpi, params.lines, params.angle, params.resolutionMode));
  const int side = params.fixedMatrix ? std::max(generated, MatrixSide(params)) : generated;
  return CheckedBytes(static_cast<std::uint64_t>(side), static_cast<std::uint64_t>(side));
}

bool BuildScreen(const ScreenSpec& params, BYTE* tile, std::size_t tileBytes, LONG* side, BYTE* coverage) {
  if (!tile || !side) return false;
  const int n = ScreenSide(params);
  if (n <= 0 || static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n) > tileBytes) return false;
  if (params.fixedMatrix) {
    const BYTE* matrix = params.resolutionMode != 2 ? &FixedScreen8x8[0][0]
                         : params.orientation == 90 ? &FixedScreen12x12Tall[0][0]
                                                  : &FixedScreen12x12Wide[0][0];
    std::memcpy(tile, matrix, static_cast<std::size_t>(n) * n);
    if (coverage) std::fill(coverage, coverage + static_cast<std::size_t>(n) * n, 1);
    *side = n;
    return true;
  }
  Scratch work(sizeof(CellWork));
  if (!work) return false;
  CellWork& w = *work.as<CellWork>();
  const ScreenVector v = ComputeScreenVector(params.dpi, params.lines, params.angle, params.resolutionMode);
  BuildScreenCell(v, params.resolutionMode, params.orientation, w);
  BuildScreenTile(params, v, w, tile, n, coverage);
  *side = n;
  return true;
}

}  // namespace imaging
