#include "imaging/separation.h"

#include <algorithm>

#include "imaging/colour_classes.h"

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

PlatePair TrilinearLookup(const SeparationGrid& grid, int red, int green, int blue) {
  const int v[3] = {red, green, blue};
  int k[3], low[3], high[3];
  for (int i = 0; i < 3; ++i) {
    k[i] = v[i] >> 3;
    low[i] = 8 * k[i];
    high[i] = k[i] == 31 ? 255 : low[i] + 8;
  }
  auto entry = [&](int dr, int dg, int db) {
    return &grid.entries[2 * static_cast<std::size_t>((k[0] + dr) * 1089 + (k[1] + dg) * 33 + (k[2] + db))];
  };
  if (red == green && green == blue) {
    // Greys stay on the diagonal; the weights are normalised by their own sum.
    const long long toHigh = high[0] - red, toLow = red - low[0];
    const long long w0 = toHigh * toHigh * toHigh, w1 = toLow * toLow * toLow;
    const std::uint8_t* a = entry(0, 0, 0);
    const std::uint8_t* b = entry(1, 1, 1);
    return {static_cast<int>((w0 * a[0] + w1 * b[0]) / (w0 + w1)),
            static_cast<int>((w0 * a[1] + w1 * b[1]) / (w0 + w1))};
  }
  // Each corner weighs the volume of the sub-box opposite it.
  const int r1 = v[0] - low[0], r0 = high[0] - v[0];
  const int g1 = v[1] - low[1], g0 = high[1] - v[1];
  const int b1 = v[2] - low[2], b0 = high[2] - v[2];
  const std::uint8_t* e = entry(0, 0, 0);
  constexpr std::ptrdiff_t kR = 2 * 1089, kG = 2 * 33, kB = 2;
  int sums[2];
  for (int p = 0; p < 2; ++p) {
    const std::uint8_t* c = e + p;
    const int lowRed = g0 * (b0 * c[0] + b1 * c[kB]) + g1 * (b0 * c[kG] + b1 * c[kG + kB]);
    const int highRed = g0 * (b0 * c[kR] + b1 * c[kR + kB]) + g1 * (b0 * c[kR + kG] + b1 * c[kR + kG + kB]);
    sums[p] = r0 * lowRed + r1 * highRed;
  }
  const int volume = (high[0] - low[0]) * (high[1] - low[1]) * (high[2] - low[2]);
  return {sums[0] / volume, sums[1] / volume};
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
  if (blitState == 2 || blitState == 4) return false;
  if (blitState != 0) return true;
  if (rop4 == 0xBBBB || rop4 == 0xEEEE) return true;
  return (rop4 == 0x8888 || rop4 == 0x6666) && blackWhiteSource == 1;
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
  const bool usePreMap = !line.skipPreMap && !line.maskMode;
  const bool exchanged = kSeparationModeFlags.exchangePlanes[static_cast<std::size_t>(mode)] != 0;
  const bool cutPossible = line.drum2Lightness < line.drum1Lightness && line.drum2Lightness < 55;
  for (std::size_t i = 0; i < count; ++i) {
    int blue = bgr[3 * i], green = bgr[3 * i + 1], red = bgr[3 * i + 2];
    if (usePreMap) {
      blue = 255 - g.preMap[static_cast<std::size_t>(255 - blue)];
      green = 255 - g.preMap[static_cast<std::size_t>(255 - green)];
      red = 255 - g.preMap[static_cast<std::size_t>(255 - red)];
    }
    const PlatePair looked = TrilinearLookup(g, red, green, blue);
    int p1 = line.toneCurve[looked.plate1];
    int p2 = line.toneCurve[looked.plate2];
    if (!line.maskMode) {
      // The plate printed on drum 1 is thinned where the darker drum-2 ink is heavy.
      int& onDrum2 = exchanged ? p1 : p2;
      int& onDrum1 = exchanged ? p2 : p1;
      onDrum2 = BoostOverprint(onDrum1, onDrum2);
      if (cutPossible && onDrum2 > 128) onDrum1 = DarkerDrumCut(onDrum2, onDrum1, line.darkerDrumStrength);
    }
    plate1[i] = static_cast<std::uint8_t>(p1);
    plate2[i] = static_cast<std::uint8_t>(p2);
  }
  if (patchBlack) g.entries[0] = savedBlack;
}
