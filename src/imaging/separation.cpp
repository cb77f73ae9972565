#include "imaging/separation.h"

#include <algorithm>

#include "planes/blit_states.h"
#include "planes/colour_classes.h"
#include "planes/rop_names.h"

const SeparationModeFlags kSeparationModeFlags = {
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0},
    {0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

namespace {

int Clamp255(long long v) { return static_cast<int>(std::clamp<long long>(v, 0, 255)); }

// Tone curves are read with negative indexes at entry 0 and large ones at 255.
int Curve(const std::uint8_t* curve, int index) { return curve[std::clamp(index, 0, 255)]; }

bool IsSeparationEntryFamilyA(int mode) { return mode == 2 || mode == 5; }

}  // namespace

PlatePair GridFamilyA(int dr, int dg, int db) {
  const int c = 4 * dg + db - 5 * dr;
  int p1 = c / 5;
  int e = (db + 4 * dg + 2 * dr) / 7;
  if (p1 <= 0)
    p1 = 0;
  else if (c / 7 < e)
    e -= c / 7;
  else
    e = 0;
  return {Clamp255(p1), Clamp255(e)};
}

PlatePair GridFamilyB(int dr, int dg, int db, const std::uint8_t* curve0, const std::uint8_t* curve1) {
  const int c = 4 * dr + 2 * dg - 6 * db;
  int d = c / 6;
  const int e = (db + 2 * dr + 4 * dg) / 7;
  const int f = 4 * dg + db - 5 * dr;
  int g = f / 5;
  if (d == 0 && g == 0) {
    d = g = e;
  } else if (g < 1) {
    if (d < 1) {
      d = g = e;
    } else if (c / 7 < e) {
      g = e - c / 7;
      d += g;
    }
  } else if (d > 0) {
    const int a = (6 * dg - dr - 5 * db) / 7;
    if (a < e) {
      d += e - a;
      g += e - a;
    }
  } else if (f / 7 < e) {
    d = e - f / 7;
    g += d;
  }
  return {Curve(curve0, g), Curve(curve1, d)};
}

PlatePair GridFamilyC(int dr, int dg, int db, const std::uint8_t* curve1) {
  const int c = static_cast<int>(2.7 * dr + 0.3 * db - 3.0 * dg + 0.5);
  int d = (2 * dr + 4 * dg + db) / 7;
  int e = c / 3;
  const int b = 4 * dg - 5 * dr + db;
  int f = b / 5;
  if (e == 0 && f == 0) {
    e = d;
    f = 6 * d / 7;
  } else if (f > 0) {
    const int h = e > 0 ? (c + b) / 7 : b / 7;
    if (h < d) {
      d -= h;
      e = e > 0 ? e + d : d;
      f += 6 * d / 7;
    }
  } else if (e <= 0) {
    e = d;
    f = 6 * d / 7;
  } else if (c / 7 < d) {
    d -= c / 7;
    e += d;
    f = 6 * d / 7;
  }
  return {Clamp255(f), Curve(curve1, e)};
}

int GridCoordinateValue(int k) { return k < 32 ? 8 * k : 255; }

void EnsureSeparationGrid(SeparationGrid& grid, int mode, const SeparationCurves& curves, const std::uint8_t* preMap) {
  if (grid.built) return;
  std::size_t at = 0;
  for (int r = 0; r < SeparationGrid::kSide; ++r)
    for (int g = 0; g < SeparationGrid::kSide; ++g)
      for (int b = 0; b < SeparationGrid::kSide; ++b) {
        const int dr = 255 - GridCoordinateValue(r), dg = 255 - GridCoordinateValue(g),
                  db = 255 - GridCoordinateValue(b);
        PlatePair p;
        if (IsSeparationEntryFamilyA(mode))
          p = GridFamilyA(dr, dg, db);
        else if (mode == 3 || mode == 6)
          p = GridFamilyB(dr, dg, db, curves.curve0, curves.curve1);
        else
          p = GridFamilyC(dr, dg, db, curves.curve1);
        grid.entries[at++] = static_cast<std::uint8_t>(p.plate1);
        grid.entries[at++] = static_cast<std::uint8_t>(p.plate2);
      }
  std::copy(preMap, preMap + 256, grid.preMap.begin());
  grid.built = true;
}

const std::uint8_t* ChooseSeparationPreMap(int mode, int preset, const std::uint8_t* identity,
                                           const std::uint8_t* curve2, const std::uint8_t* curve3,
                                           const std::uint8_t* brightnessContrast) {
  if (mode > 7) return identity;
  if (preset == 1) return curve3;
  if (preset == 2) return curve2;
  return brightnessContrast;
}

namespace {

constexpr std::ptrdiff_t kStepR = 2 * 1089, kStepG = 2 * 33, kStepB = 2;

// ceil(2^32 / volume) for cells with 0..3 sides of 7 (the last cell of an
// axis runs 248..255): a sum below 2^17 times it, shifted by 32, is the
// exact quotient, with no division per pixel.
constexpr std::uint64_t kCellReciprocal[4] = {(1ull << 32) / 512, (1ull << 32) / 448 + 1, (1ull << 32) / 392 + 1,
                                              (1ull << 32) / 343 + 1};

// Both plates of a corner in one word, plate 1 in the low half: the weighted
// sums of a cell stay below 2^17 a half, so both plates add up at once.
inline std::uint64_t CornerPair(const std::uint8_t* c) { return c[0] | (std::uint64_t{c[1]} << 32); }

// Grey: only the two diagonal corners, weighted (high - v)^3 and (v - low)^3
// and normalised by their own sum.
PlatePair GreyLookup(const SeparationGrid& grid, int v) {
  const int k = v >> 3, low = 8 * k, high = k == 31 ? 255 : low + 8;
  const long long toHigh = high - v, toLow = v - low;
  const long long w0 = toHigh * toHigh * toHigh, w1 = toLow * toLow * toLow;
  const std::uint8_t* a = &grid.entries[2 * static_cast<std::size_t>(k * (1089 + 33 + 1))];
  const std::uint8_t* b = a + kStepR + kStepG + kStepB;
  return {static_cast<int>((w0 * a[0] + w1 * b[0]) / (w0 + w1)), static_cast<int>((w0 * a[1] + w1 * b[1]) / (w0 + w1))};
}

// Any other colour: each corner weighs the volume of the sub-box opposite it.
inline PlatePair CellLookup(const std::uint8_t* entries, int red, int green, int blue) {
  const int kr = red >> 3, kg = green >> 3, kb = blue >> 3;
  const std::uint64_t r1 = static_cast<std::uint64_t>(red - 8 * kr), r0 = (kr == 31 ? 7 : 8) - r1;
  const std::uint64_t g1 = static_cast<std::uint64_t>(green - 8 * kg), g0 = (kg == 31 ? 7 : 8) - g1;
  const std::uint64_t b1 = static_cast<std::uint64_t>(blue - 8 * kb), b0 = (kb == 31 ? 7 : 8) - b1;
  const std::uint8_t* c = entries + 2 * static_cast<std::ptrdiff_t>(kr * 1089 + kg * 33 + kb);
  const std::uint64_t lowRed = g0 * (b0 * CornerPair(c) + b1 * CornerPair(c + kStepB)) +
                               g1 * (b0 * CornerPair(c + kStepG) + b1 * CornerPair(c + kStepG + kStepB));
  c += kStepR;
  const std::uint64_t highRed = g0 * (b0 * CornerPair(c) + b1 * CornerPair(c + kStepB)) +
                                g1 * (b0 * CornerPair(c + kStepG) + b1 * CornerPair(c + kStepG + kStepB));
  const std::uint64_t sums = r0 * lowRed + r1 * highRed;
  const std::uint64_t reciprocal = kCellReciprocal[(kr == 31) + (kg == 31) + (kb == 31)];
  return {static_cast<int>(((sums & 0xFFFFFFFFu) * reciprocal) >> 32),
          static_cast<int>(((sums >> 32) * reciprocal) >> 32)};
}

}  // namespace

PlatePair TrilinearLookup(const SeparationGrid& grid, int red, int green, int blue) {
  if (red == green && green == blue) return GreyLookup(grid, red);
  return CellLookup(grid.entries.data(), red, green, blue);
}

int BoostOverprint(int a, int b) { return Clamp255(static_cast<long long>(b) * (26LL * a + 58395) / 58395); }

int DarkerDrumCut(int a, int b, int c) {
  const long long keep = 255 - static_cast<long long>(a - 128) * (255 - c) / 127;
  return Clamp255(keep * b / 255);
}

int DarkerDrumStrength(int drum2Lightness) {
  return drum2Lightness > 34 ? (drum2Lightness - 55) * 1115 / 100 + 255 : 32;
}

bool IsSeparationMaskMode(int blitState, std::uint32_t rop4, std::uint8_t blackWhiteSource) {
  if (PairsWithMask(static_cast<std::uint8_t>(blitState))) return false;
  if (blitState != kBlitIdle) return true;
  if (rop4 == kRop4MergePaint || rop4 == kRop4SrcPaint) return true;
  return (rop4 == kRop4SrcAnd || rop4 == kRop4SrcInvert) && blackWhiteSource == 1;
}

int SeparationToneCurveIndex(int photoMode, int resolutionMode) {
  if (photoMode == 0) return 16;
  return resolutionMode == 2 ? 18 : 17;
}

void SeparateLineTwoPlates(SeparationGrid* grid, const SeparationLine& line, const std::uint8_t* bgr,
                           std::size_t count, std::uint8_t* plate1, std::uint8_t* plate2) {
  const int mode = line.mode;
  // One-ink modes, unknown modes and a grid never built give no ink rather than reading past the grid.
  if (mode < 2 || mode > 17 || (mode <= 7 && (!grid || !grid->built))) {
    std::fill(plate1, plate1 + count, std::uint8_t{0});
    std::fill(plate2, plate2 + count, std::uint8_t{0});
    return;
  }
  if (mode >= 8) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t blue = bgr[3 * i], green = bgr[3 * i + 1], red = bgr[3 * i + 2];
      if (line.maskMode) {
        const std::uint8_t ink = (blue | green | red) == 0 ? 255 : 0;
        plate1[i] = plate2[i] = ink;
        continue;
      }
      std::uint8_t plate = 1, density = 0;
      ClassifyColourForPlates(mode + 50, red, green, blue, 0, &plate, &density);
      plate1[i] = plate == 1 ? density : 0;
      plate2[i] = plate == 1 ? 0 : density;
    }
    return;
  }
  // A masked line prints pure black on plate 1 in family 1; entry 0 is put back after the line.
  SeparationGrid& g = *grid;
  const bool patchBlack = line.maskMode && IsSeparationEntryFamilyA(mode);
  const std::uint8_t savedBlack = g.entries[0];
  if (patchBlack) g.entries[0] = 255;
  // Channel values through the pre-map, read as densities.
  std::uint8_t in[256];
  const bool usePreMap = !line.skipPreMap && !line.maskMode;
  for (int v = 0; v < 256; ++v)
    in[v] = static_cast<std::uint8_t>(usePreMap ? 255 - g.preMap[static_cast<std::size_t>(255 - v)] : v);
  const bool exchanged = kSeparationModeFlags.exchangePlanes[static_cast<std::size_t>(mode)] != 0;
  const bool cutPossible = line.drum2Lightness < line.drum1Lightness && line.drum2Lightness < 55;
  const std::uint8_t* tone = line.toneCurve;
  const std::uint8_t* entries = g.entries.data();
  // Photos run in equal colours: the previous pixel's plates are reused.
  std::uint32_t previous = 0xFFFFFFFFu;
  std::uint8_t last1 = 0, last2 = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* px = bgr + 3 * i;
    const std::uint32_t colour = px[0] | (std::uint32_t{px[1]} << 8) | (std::uint32_t{px[2]} << 16);
    if (colour != previous) {
      previous = colour;
      const int blue = in[px[0]], green = in[px[1]], red = in[px[2]];
      const PlatePair looked =
          red == green && green == blue ? GreyLookup(g, red) : CellLookup(entries, red, green, blue);
      int p1 = tone[looked.plate1];
      int p2 = tone[looked.plate2];
      if (!line.maskMode) {
        // The plate printed on drum 1 is thinned where the darker drum-2 ink is heavy.
        int onDrum1 = exchanged ? p2 : p1;
        int onDrum2 = exchanged ? p1 : p2;
        onDrum2 = BoostOverprint(onDrum1, onDrum2);
        if (cutPossible && onDrum2 > 128) onDrum1 = DarkerDrumCut(onDrum2, onDrum1, line.darkerDrumStrength);
        p1 = exchanged ? onDrum2 : onDrum1;
        p2 = exchanged ? onDrum1 : onDrum2;
      }
      last1 = static_cast<std::uint8_t>(p1);
      last2 = static_cast<std::uint8_t>(p2);
    }
    plate1[i] = last1;
    plate2[i] = last2;
  }
  if (patchBlack) g.entries[0] = savedBlack;
}
