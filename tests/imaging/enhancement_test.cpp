// Picture enhancement: the brightness and contrast map, the tile maps and
// their clip limit, the spread against Python's decimal square root, and the
// whole equalisation against scikit-image's adaptive equalisation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "imaging/enhancement.h"
#include "imaging/image_entries.h"
#include "support/peer.h"
#include "support/python_peer.h"

using namespace imaging;

namespace {

TEST(Enhancement, BrightnessContrastMap) {
  BYTE map[256];
  BuildBrightnessContrastMap(map, 7, 4);  // slope 200 %: 1..64 go to 0, the foot with them
  for (int i = 0; i <= 64; ++i) EXPECT_EQ(map[i], 0) << i;
  EXPECT_EQ(map[65], 2);
  EXPECT_EQ(map[200], 255);
  for (int brightness : {0, 4}) {  // level 0 adds nothing, as level 4
    BuildBrightnessContrastMap(map, 4, brightness);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(map[i], i) << brightness << " " << i;
  }
  BuildBrightnessContrastMap(map, 4, 1);  // +90, the foot a straight line to map[10]
  EXPECT_EQ(map[0], 0);
  EXPECT_EQ(map[10], 100);
  EXPECT_EQ(map[5], 50);
  EXPECT_EQ(map[200], 255);
}

// A uniform tile has spread 0: the clip is 35 % times the level and colour
// factors; level 1 clips everything, so its maps are the identity.
TEST(Enhancement, ClipLimitAndIdentityTiles) {
  DWORD uniform[256] = {};
  uniform[90] = 400;
  struct Case {
    int level, colour;
    LONG percent;
  };
  for (const Case& c : {Case{1, 0, 0}, Case{2, 0, 17}, Case{3, 0, 35}, Case{4, 0, 70}, Case{5, 0, 140},
                        Case{3, 1, 28}, Case{5, 1, 112}})
    EXPECT_EQ(ComputeClipLimit(uniform, 400, c.level, c.colour), c.percent) << c.level << " " << c.colour;

  std::vector<BYTE> band(37 * 16);
  for (std::size_t i = 0; i < band.size(); ++i) band[i] = static_cast<BYTE>((i * 37) % 256);
  const LONG tile = 16, maps = (37 + tile - 1) / tile + 2;
  std::vector<BYTE> tileMaps(static_cast<std::size_t>(maps) * 256, 0);
  EqualizeTilesGray(band.data(), 37, 37, 16, tileMaps.data(), maps, tile, 1);
  for (LONG m = 1; m + 1 < maps; ++m)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(tileMaps[static_cast<std::size_t>(m) * 256 + i], i) << m;
}

// Gyakkou 0 with contrast and brightness 4 leaves a band as it is.
TEST(Enhancement, NothingAskedNothingChanged) {
  auto pdev = std::make_unique<RenderPdev>();
  pdev->contrast = pdev->brightness = 4;
  std::vector<BYTE> band(64 * 20);
  for (std::size_t i = 0; i < band.size(); ++i) band[i] = static_cast<BYTE>(i * 7);
  const std::vector<BYTE> before = band;
  EnhanceContext ctx{};
  ASSERT_TRUE(AllocEnhanceBuffers(ctx, 64, 10, 6));
  ImageParams params{};
  EXPECT_TRUE(EnhanceBandGray(band.data(), 64, 20, 64, {0, 0, 63, 19}, kBandWhole, params, kMapCompute, pdev.get(), ctx));
  EXPECT_EQ(band, before);
  EXPECT_FALSE(EnhanceBandGray(band.data(), 64, 20, 64, {0, 0, 63, 19}, kBandWhole, params, kMapCompute, nullptr, ctx));
  FreeEnhanceBuffers(ctx);
  FreeImageBuffers(pdev.get());
}

// The spread of random histograms against exact decimal arithmetic.
TEST(Enhancement, HistogramSpreadAgainstDecimalSquareRoot) {
  const std::string python = testsupport::PythonWith("decimal");
  REQUIRE_PEER(!python.empty(), "python3");
  testsupport::ScratchDir dir("spread");
  std::mt19937 rng(7);
  std::ofstream out(dir.File("h.txt"));
  std::vector<LONG> ours;
  for (int n = 0; n < 300; ++n) {
    DWORD h[256] = {};
    const int bins = 1 + static_cast<int>(rng() % 256);
    const int centre = static_cast<int>(rng() % 256);
    std::uint64_t total = 0;
    for (int k = 0; k < bins; ++k) {
      const int at = std::clamp(centre + static_cast<int>(rng() % 129) - 64, 0, 255);
      const DWORD add = rng() % (n % 3 == 0 ? 5000000 : 1000);
      h[at] += add;
      total += add;
    }
    if (total == 0) h[centre] = 1, total = 1;
    for (int i = 0; i < 256; ++i) out << h[i] << (i == 255 ? '\n' : ' ');
    ours.push_back(HistogramSpread(h, total));
  }
  out.close();
  const std::string script = R"(
import sys
from decimal import Decimal, ROUND_HALF_UP
for line in open(sys.argv[1]):
    h = [int(v) for v in line.split()]
    n = sum(h)
    s = sum(i * c for i, c in enumerate(h))
    m = (2 * s + n) // (2 * n)
    var = sum((i - m) ** 2 * c for i, c in enumerate(h)) // n
    print(int(Decimal(var).sqrt().quantize(Decimal(1), rounding=ROUND_HALF_UP)))
)";
  std::ofstream(dir.File("peer.py")) << script;
  const std::string command = python + " " + dir.File("peer.py") + " " + dir.File("h.txt") + " > " + dir.File("out.txt");
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir.File("out.txt"));
  for (std::size_t i = 0; i < ours.size(); ++i) {
    LONG theirs = -1;
    in >> theirs;
    EXPECT_EQ(ours[i], theirs) << i;
  }
}

// Tile equalisation of a low-contrast photograph at Gyakkou 3 against
// scikit-image's equalize_adapthist with the same kernel: both raise the
// spread, and they rank the pixels alike.
TEST(Enhancement, EqualisationAgainstAdaptiveHistogramEqualisation) {
  const std::string python = testsupport::PythonWith("numpy, scipy, skimage");
  REQUIRE_PEER(!python.empty(), "python3-skimage");
  const LONG w = 192, h = 128;
  std::vector<BYTE> density(static_cast<std::size_t>(w) * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      const double v = 110 + 25 * std::sin(x / 17.0) * std::cos(y / 13.0) + 10.0 * x / w + 3 * ((x * 7 + y * 3) % 5);
      density[static_cast<std::size_t>(y) * w + x] = static_cast<BYTE>(v);
    }
  testsupport::ScratchDir dir("clahe");
  const auto write = [&](const std::string& name, const std::vector<BYTE>& image) {
    std::ofstream f(dir.File(name), std::ios::binary);
    f << "P5\n" << w << " " << h << "\n255\n";
    f.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  };
  write("in.pgm", density);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->contrast = pdev->brightness = 4;
  pdev->backlight = 3;
  std::vector<BYTE> band = density;
  DWORD histogram[256] = {};
  for (BYTE v : density) ++histogram[v];
  ImageParams params{};
  params.histogram = histogram;
  EnhanceContext ctx{};
  const LONG tile = h;
  ASSERT_TRUE(AllocEnhanceBuffers(ctx, w, (tile + 1) / 2, (w + tile - 1) / tile + 2));
  // One band: the tiles are h x h; a smaller kernel uses bands of 32 rows.
  ASSERT_TRUE(EnhanceBandGray(band.data(), w, h, w, {0, 0, w - 1, h - 1}, kBandWhole, params, kMapCompute, pdev.get(),
                              ctx));
  FreeEnhanceBuffers(ctx);
  FreeImageBuffers(pdev.get());
  write("ours.pgm", band);
  const std::string script = R"(
import sys, numpy as np
from scipy.stats import spearmanr
from skimage import exposure
def read(p):
    data = open(p, 'rb').read()
    parts = data.split(b'\n', 3)
    w, h = map(int, parts[1].split())
    return np.frombuffer(parts[3], dtype=np.uint8).reshape(h, w).astype(float)
src = read(sys.argv[1]); ours = read(sys.argv[2])
theirs = exposure.equalize_adapthist(src / 255.0, kernel_size=int(sys.argv[3]), clip_limit=0.01) * 255
print(src.std(), ours.std(), theirs.std(), spearmanr(ours.ravel(), theirs.ravel()).correlation)
)";
  std::ofstream(dir.File("peer.py")) << script;
  const std::string command = python + " " + dir.File("peer.py") + " " + dir.File("in.pgm") + " " +
                              dir.File("ours.pgm") + " " + std::to_string(tile) + " > " + dir.File("out.txt");
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir.File("out.txt"));
  double source = 0, ourSpread = 0, theirSpread = 0, rank = 0;
  in >> source >> ourSpread >> theirSpread >> rank;
  EXPECT_GT(ourSpread, source);
  EXPECT_GT(theirSpread, source);
  EXPECT_GE(rank, 0.9);
}

}  // namespace

namespace {

// Auto-contrast of pictures of millions of pixels: the clip (pixels x
// percent) and the map's sums are exact 64-bit integers, so a picture's map
// does not depend on how many times each level occurs, only on the
// proportions, and its darkest level maps to full ink.
TEST(Enhancement, AutoContrastOfLargePictures) {
  // Light and dark levels of uneven counts, none reaching the clip (a third
  // above the mean count at this spread), so scaling every count leaves the
  // map as it is.
  DWORD small[256] = {};
  std::uint64_t total = 0;
  for (int i = 0; i < 256; ++i)
    if (i < 50 || i > 205) total += small[i] = static_cast<DWORD>(20 + (i % 7) * 2);
  BYTE reference[256];
  ComputeAutoContrastMap(small, reference, 0);
  EXPECT_EQ(reference[255], 255);
  EXPECT_GT(reference[49], 100) << "the map follows the counts, not the levels";
  for (DWORD k : {2100u, 4000u, 40000u}) {  // 5.4 to 104 million pixels
    DWORD large[256];
    for (int i = 0; i < 256; ++i) large[i] = small[i] * k;
    BYTE map[256];
    ComputeAutoContrastMap(large, map, 0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(map[i], reference[i]) << total * k << " pixels, level " << i;
  }
  // Single precision made 255 x S / S come out 254 for one total in seven
  // from 65,795 pixels on: the top of the map is 255 whatever the total.
  for (DWORD n = 65795; n < 65795 + 200; ++n) {
    DWORD h[256] = {};
    h[10] = n / 3;
    h[100] = n / 3;
    h[180] = n - 2 * (n / 3);
    BYTE map[256];
    ComputeAutoContrastMap(h, map, 0);
    ASSERT_EQ(map[255], 255) << n;
  }
}

// Tile maps of tiles far beyond 460 dpi's (a 600 x 600 tile): the sums times
// 255 are exact, so a tile of every level equally often maps each level to
// itself within a step, and the map rises to 255.
TEST(Enhancement, TileMapsOfLargeTiles) {
  const LONG tile = 600, width = 600, rows = 600;
  std::vector<BYTE> band(static_cast<std::size_t>(width) * rows);
  for (std::size_t i = 0; i < band.size(); ++i) band[i] = static_cast<BYTE>(i % 256 == 0 ? 1 : i % 256);
  const LONG maps = 3;
  std::vector<BYTE> tileMaps(static_cast<std::size_t>(maps) * 256, 0);
  EqualizeTilesGray(band.data(), width, width, rows, tileMaps.data(), maps, tile, 3);
  const BYTE* map = tileMaps.data() + 256;
  for (int i = 1; i < 256; ++i) {
    ASSERT_GE(map[i], map[i - 1]) << i;
    ASSERT_LE(std::abs(map[i] - i), 1) << i;
  }
  EXPECT_EQ(map[255], 255);
}

}  // namespace
