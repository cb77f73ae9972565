// Dither tables of the solid-colour patterns.
#include "planes/dither_patterns.h"

#include <algorithm>
#include <vector>

namespace {

// Order in which the 8 x 8 levels gain ink, (row, column).
constexpr std::uint8_t kOrder8x8[64][2] = {
    {1, 1}, {5, 5}, {2, 2}, {6, 6}, {2, 1}, {6, 5}, {1, 2}, {5, 6}, {1, 3}, {5, 7}, {2, 3}, {6, 7}, {3, 3},
    {7, 7}, {3, 2}, {7, 6}, {3, 1}, {7, 5}, {3, 0}, {7, 4}, {2, 0}, {6, 4}, {1, 0}, {5, 4}, {0, 0}, {4, 4},
    {0, 1}, {4, 5}, {0, 2}, {4, 6}, {0, 3}, {4, 7}, {4, 0}, {3, 7}, {4, 1}, {3, 6}, {4, 2}, {3, 5}, {4, 3},
    {3, 4}, {5, 3}, {2, 4}, {6, 3}, {1, 4}, {7, 3}, {0, 4}, {7, 2}, {0, 5}, {7, 1}, {0, 6}, {7, 0}, {0, 7},
    {6, 0}, {1, 7}, {5, 0}, {2, 7}, {5, 2}, {2, 6}, {6, 2}, {2, 5}, {6, 1}, {1, 5}, {1, 6}, {5, 1}};

// Ink pixels of each 32 x 32 level.
constexpr int kCounts32x32[32] = {0,   36,  63,  93,  154, 186, 220, 250, 282, 307, 337,
                                  373, 399, 435, 463, 494, 520, 554, 585, 616, 650, 677,
                                  708, 769, 801, 833, 861, 893, 920, 952, 987, 1024};

// Rank of (x, y) in the dispersed (Bayer) order of an n x n square, n a power of two.
int BayerRank(int x, int y, int n) {
  int rank = 0;
  // The finest bit decides most: neighbours are far apart in the order.
  for (int bit = 1; bit < n; bit *= 2) {
    const int xb = (x & bit) ? 1 : 0;
    const int yb = (y & bit) ? 1 : 0;
    rank = rank * 4 + (((xb ^ yb) << 1) | yb);
  }
  return rank;
}

void SetBit(std::uint8_t* rows, int rowBytes, int x, int y) {
  rows[y * rowBytes + x / 8] = static_cast<std::uint8_t>(rows[y * rowBytes + x / 8] | (0x80 >> (x % 8)));
}

std::array<std::uint8_t, 64 * 8> Build8x8() {
  std::array<std::uint8_t, 64 * 8> t{};
  for (int level = 0; level < 64; ++level) {
    const int n = level == 46 ? 45 : level == 63 ? 64 : level;
    for (int i = 0; i < n; ++i) SetBit(&t[level * 8], 1, kOrder8x8[i][1], kOrder8x8[i][0]);
  }
  return t;
}

std::array<std::uint8_t, 32 * 128> Build32x32() {
  std::array<std::uint8_t, 32 * 128> t{};
  for (int level = 0; level < 32; ++level)
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (BayerRank(x, y, 32) < kCounts32x32[level]) SetBit(&t[level * 128], 4, x, y);
  return t;
}

// Four clusters of 36 pairs each (the 24 x 12 tile split in four cells of
// 6 x 6 pairs), each growing from its cell's centre by distance.
std::array<std::uint8_t, 64 * 36> Build24x12(bool landscape) {
  struct Pair {
    int x, y;  // first pixel of the pair
    double distance;
  };
  // Cell sizes in pixels: portrait pairs are 2 x 1, landscape pairs 1 x 2.
  const int cellW = landscape ? 6 : 12;
  const int cellH = landscape ? 12 : 6;
  const int cellsAcross = 24 / cellW;
  std::vector<Pair> cells[4];
  for (int c = 0; c < 4; ++c) {
    const int ox = (c % cellsAcross) * cellW;
    const int oy = (c / cellsAcross) * cellH;
    for (int py = 0; py < cellH; py += landscape ? 2 : 1)
      for (int px = 0; px < cellW; px += landscape ? 1 : 2) {
        const double cx = px + (landscape ? 0.5 : 1.0) - cellW / 2.0;
        const double cy = py + (landscape ? 1.0 : 0.5) - cellH / 2.0;
        cells[c].push_back(Pair{ox + px, oy + py, cx * cx + cy * cy + 1e-3 * (py * cellW + px)});
      }
    std::stable_sort(cells[c].begin(), cells[c].end(),
                     [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
  }
  std::array<std::uint8_t, 64 * 36> t;
  t.fill(0xFF);
  for (int level = 0; level < 64; ++level) {
    const int pairs = (36 * level + 31) / 63;
    std::uint8_t* rows = &t[level * 36];
    for (int c = 0; c < 4; ++c)
      for (int i = 0; i < pairs; ++i) {
        const Pair& p = cells[c][i];
        for (int k = 0; k < 2; ++k) {
          const int x = landscape ? p.x : p.x + k;
          const int y = landscape ? p.y + k : p.y;
          rows[y * 3 + x / 8] = static_cast<std::uint8_t>(rows[y * 3 + x / 8] & ~(0x80 >> (x % 8)));
        }
      }
  }
  return t;
}

}  // namespace

const std::array<std::uint8_t, 64 * 8>& DitherPattern8x8() {
  static const auto table = Build8x8();
  return table;
}

const std::array<std::uint8_t, 32 * 128>& DitherPattern32x32() {
  static const auto table = Build32x32();
  return table;
}

const std::array<std::uint8_t, 64 * 36>& DitherPattern24x12(bool landscape) {
  static const auto portrait = Build24x12(false);
  static const auto across = Build24x12(true);
  return landscape ? across : portrait;
}

std::size_t SolidPatternBits(std::uint8_t density, SolidPatternForm form, std::span<std::uint8_t, 128> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
  if (form.wide) {
    const std::uint8_t* level = &DitherPattern32x32()[(density / 8) * 128];
    for (int i = 0; i < 128; ++i) out[i] = static_cast<std::uint8_t>(~level[i]);
    return 128;
  }
  const int level = (density > 0 && density < 4) ? 1 : density / 4;
  if (form.resolutionMode == 2) {
    const std::uint8_t* rows = &DitherPattern24x12(form.orientation != 0)[level * 36];
    std::copy(rows, rows + 36, out.begin());
    return 36;
  }
  const std::uint8_t* rows = &DitherPattern8x8()[level * 8];
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(~rows[i]);
  return 8;
}
